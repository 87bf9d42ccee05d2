// The rendering filter as a media source: CTavmSource with its video pin and audio
// pin. These classes hold the source's behaviour (identity, media types, buffer
// sizes, the producer and mixer they own, streaming-thread creation, play start,
// quality notices, repositioning, the movie encoder shared by both pins) without
// knowing the media framework; a host (the GStreamer element) maps the framework's
// negotiation, threads, seeks and events onto them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "filter/encoder/TavmEncoder.h"
#include "filter/media/MediaProblems.h"
#include "filter/timeline/audio/TavmMixer.h"
#include "filter/timeline/stream/EncoderLock.h"
#include "filter/timeline/stream/ITavmMediaProblems.h"
#include "filter/timeline/stream/StreamLoop.h"
#include "filter/timeline/stream/TavmControl.h"
#include "filter/timeline/video/TavmRenderer.h"
#include "platform/Export.h"
#include "platform/Unknown.h"

namespace zolvex {

// {C546D975-F486-4DAA-943B-C5B4236A9AA8}
constexpr GUID CLSID_TavmSource = {0xC546D975, 0xF486, 0x4DAA, {0x94, 0x3B, 0xC5, 0xB4, 0x23, 0x6A, 0x9A, 0xA8}};
// The framework's identifiers of the types the pins offer.
constexpr GUID MEDIATYPE_Video = {0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr GUID MEDIATYPE_Audio = {0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr GUID MEDIASUBTYPE_RGB24 = {0xE436EB7D, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr GUID MEDIASUBTYPE_PCM = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr GUID FORMAT_VideoInfo = {0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
constexpr GUID FORMAT_WaveFormatEx = {0x05589F81, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};

constexpr char kTavmFilterName[] = "Tavm Video";
constexpr char kTavmAudioFactoryName[] = "Tavm Audio";
constexpr char kTavmPinName[] = "OutPut";

struct VideoInfo {
    tagRECT rcSource{};  // empty: the whole frame
    tagRECT rcTarget{};
    int64_t llAvgTimePerFrame = 0;
    BITMAPINFOHEADER bmiHeader{};
};

// A media type as the pins offer and accept it; `formattype` says which of the two
// format blocks it carries (GUID_NULL: none).
struct MediaType {
    GUID majortype{};
    GUID subtype{};
    GUID formattype{};
    uint32_t lSampleSize = 0;
    bool bTemporalCompression = false;
    VideoInfo video;
    PcmFormat audio;
};

// Stream time positions of a repositioning (100-ns units).
struct StreamSegment {
    int64_t start = 0;
    int64_t stop = 0;
    double rate = 1.0;
};

class CTavmSource;

// What both pins share: the pin lock, the segment asked for, the stream loop that
// serves it (frames or blocks), and the streaming thread's life.
class ZVF_API CTavmPin {
public:
    // Slower than a quarter of the normal pace no stream is played.
    static constexpr double kSlowestRate = 0.25;

    virtual ~CTavmPin();
    CTavmPin(const CTavmPin&) = delete;
    CTavmPin& operator=(const CTavmPin&) = delete;

    const char* Name() const { return kTavmPinName; }
    // Position 0 only; any other position is an invalid argument.
    virtual HRESULT GetMediaType(int position, MediaType* type) const = 0;
    virtual HRESULT CheckMediaType(const MediaType& type) const = 0;
    // The agreed type: a fresh producer or mixer for it.
    virtual HRESULT SetMediaType(MediaType& type) = 0;
    // Bytes of the one sample buffer; an allocator granting fewer buffers or bytes
    // is refused.
    virtual uint32_t BufferSize() const = 0;
    HRESULT CheckAllocation(int buffers, uint32_t bytes) const;
    const unsigned char* Buffer() const { return buffer_.data(); }

    // The streaming thread was created (the graph left the stopped state).
    virtual void OnThreadCreate();
    // Running starts: the segment to announce downstream.
    StreamSegment OnThreadStartPlay();
    // The streaming thread stops or is flushed.
    void OnThreadHalt();

    // Repositioning; each returns whether streaming must restart. ChangeStop
    // returns whether the stream already stands at or beyond the new stop.
    bool ChangeStart(int64_t start);
    bool ChangeStop(int64_t stop);
    HRESULT ChangeRate(double rate, bool* restart);

    // The stream's time of its next piece.
    int64_t Position() const;

protected:
    explicit CTavmPin(CTavmSource& filter) : filter_(filter) {}

    CTavmSource& filter_;
    mutable std::mutex lock_;  // the pin lock: the fill step and the producer
    int64_t start_ = 0, stop_ = 0;
    double rate_ = 1.0;
    std::unique_ptr<StreamLoop> loop_;
    std::vector<unsigned char> buffer_;
};

class ZVF_API CTavmVideoPin : public CTavmPin {
public:
    explicit CTavmVideoPin(CTavmSource& filter);
    ~CTavmVideoPin() override;

    HRESULT GetMediaType(int position, MediaType* type) const override;
    // Video, RGB24, with a format block, of the producer's frame size.
    HRESULT CheckMediaType(const MediaType& type) const override;
    // A fresh producer of the type's size (and in encode mode the frame time stored
    // in the type).
    HRESULT SetMediaType(MediaType& type) override;
    uint32_t BufferSize() const override;

    void OnThreadCreate() override;
    // Fills the pin's sample buffer with the next frame (W × H × 3, bottom-up).
    VideoFrame FillBuffer();

    // A quality notice from downstream: proportion 1,000 = on time.
    HRESULT Notify(long proportion);

    int Width() const { return width_; }
    int Height() const { return height_; }
    int64_t FrameDuration() const;
    CTavmRenderer& Producer() { return *renderer_; }

private:
    friend class CTavmSource;
    VideoFrameLoop& Frames() const { return static_cast<VideoFrameLoop&>(*loop_); }
    void SetSize(int width, int height);
    void SetFrameDuration(int64_t duration);
    void SetFullMotion(bool on);
    void Replace(int width, int height);

    int width_ = 320, height_ = 240;
    int64_t frameDuration_ = 666666;
    std::unique_ptr<CTavmRenderer> renderer_;
};

class ZVF_API CTavmAudioPin : public CTavmPin {
public:
    explicit CTavmAudioPin(CTavmSource& filter);
    ~CTavmAudioPin() override;

    static constexpr uint32_t kBufferBytes = 8192;

    HRESULT GetMediaType(int position, MediaType* type) const override;
    // Audio with a wave-format block.
    HRESULT CheckMediaType(const MediaType& type) const override;
    HRESULT SetMediaType(MediaType& type) override;
    uint32_t BufferSize() const override { return kBufferBytes; }

    AudioBlock FillBuffer();

    int Channels() const { return channels_; }
    int64_t BlockDuration() const;
    CTavmMixer& Mixer() { return *mixer_; }

private:
    friend class CTavmSource;
    AudioBlockLoop& Blocks() const { return static_cast<AudioBlockLoop&>(*loop_); }
    void SetChannels(int channels);
    void Replace(int channels);

    int channels_ = 2;
    std::unique_ptr<CTavmMixer> mixer_;
};

// What the source asks of the framework that hosts it.
class IStreamHost {
public:
    virtual ~IStreamHost() = default;
    // Flush, stop and restart both streams' loops (a repositioning through the
    // control interface); the video pin's size changed and must be agreed anew.
    virtual void RestartStreams() = 0;
    virtual void RenegotiateVideo() = 0;
};

class ZVF_API CTavmSource : public IUnknown, private IStreamPins {
public:
    // Builds the filter with its pins, producer and mixer; nullptr when out of memory.
    static CTavmSource* Create();

    // IUnknown: ITavmControl and ITavmMediaProblems are answered by interfaces
    // reference-counted with the filter.
    HRESULT QueryInterface(const GUID& iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    CTavmVideoPin& VideoPin() { return *video_; }
    CTavmAudioPin& AudioPin() { return *audio_; }
    CTavmControl& Control() { return *control_; }
    CTavmEncoder& Encoder() { return encoder_; }
    EncoderLock& Lock() { return lock_; }
    // The files the producer and the mixer could not use (ITavmMediaProblems).
    MediaProblemList& Problems() { return problems_; }
    void SetHost(IStreamHost* host) { host_ = host; }
    // Whether anyone downstream looks at the pictures; a graph that discards them
    // (a headless render) saves the copy into each stream buffer.
    void SetPicturesWatched(bool watched) { picturesWatched_ = watched; }
    bool PicturesWatched() const { return picturesWatched_; }

    // Filters alive in the process.
    static long LiveObjects();

    // The filter lock: the host holds it around state changes.
    std::mutex& FilterLock() { return filterLock_; }

private:
    friend class CTavmVideoPin;
    friend class CTavmAudioPin;
    CTavmSource();
    ~CTavmSource();

    // IStreamPins (driven by the control interface).
    void SetStreamLength(int64_t length) override;
    void SetVideoSize(int width, int height) override;
    void SetFrameDuration(int64_t duration) override;
    void SetAudioFormat(int channels, int sampleRate, int bitsPerSample) override;
    void SetAbort(bool abort) override;
    void SetMode(int mode) override;
    void SetFullMotion(bool on) override;
    int64_t GetPosition() override;
    void SetPosition(int64_t position) override;

    std::atomic<ULONG> refs_{1};
    std::mutex filterLock_;
    CTavmEncoder encoder_;
    EncoderLock lock_;
    CTavmControl* control_ = nullptr;
    MediaProblemList problems_;
    ITavmMediaProblems* problemsInterface_ = nullptr;
    std::unique_ptr<CTavmVideoPin> video_;
    std::unique_ptr<CTavmAudioPin> audio_;
    IStreamHost* host_ = nullptr;
    int mode_ = kPreviewMode;
    bool abort_ = false;
    bool fullMotion_ = false;
    std::atomic<bool> picturesWatched_{true};
};

}  // namespace zolvex
