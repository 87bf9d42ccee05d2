// CTavmControl: the filter's control interface and the settings it holds. It keeps
// the timeline lists and the settings, works out the stream length, and passes each
// request on to the parts it drives: the frame producer, the audio mixer, the movie
// output and the two streams. Parts are attached by their owner (the filter) and may
// be replaced; a part that is not attached is simply not told.
#pragma once

#include <atomic>
#include <cstdint>

#include "filter/timeline/stream/ITavmControl.h"
#include "filter/encoder/EncoderSinks.h"
#include "filter/media/MediaProblems.h"
#include "filter/timeline/audio/ITimelineAudio.h"
#include "filter/timeline/video/ITimelineVideo.h"
#include "platform/Export.h"

namespace zolvex {

// What the control interface asks of the filter's two output streams.
class IStreamPins {
public:
    virtual ~IStreamPins() = default;
    // Stream length and stop time of both streams, 100-ns units.
    virtual void SetStreamLength(int64_t length) = 0;
    virtual void SetVideoSize(int width, int height) = 0;
    virtual void SetFrameDuration(int64_t duration) = 0;
    virtual void SetAudioFormat(int channels, int sampleRate, int bitsPerSample) = 0;
    virtual void SetAbort(bool abort) = 0;
    virtual void SetMode(int mode) = 0;
    virtual void SetFullMotion(bool on) = 0;
    // The video stream's time of its next frame.
    virtual int64_t GetPosition() = 0;
    virtual void SetPosition(int64_t position) = 0;
};

// Settings held by the filter, with their defaults.
struct ControlSettings {
    int32_t nOutputWidth = 320, nOutputHeight = 240;
    int32_t nSrcWidth = 0, nSrcHeight = 0;          // must be set before the first timeline
    int32_t nAspectNumerator = 0, nAspectDenominator = 0;
    int64_t llFrameDuration = 666666;               // 100-ns units: 15 frames per second
    int32_t nAniFrameRate = 12;
    double dTransition = 1.0;                       // as the last SetTimeline passed it
    double dPictureTime = 0.0;
    int32_t nMusicVolume = 50;
    int32_t nMode = kPreviewMode;
    bool bAbort = false;
    bool bFullMotion = false;
};

class ZVF_API CTavmControl : public ITavmControl {
public:
    // Starts with one reference, held by the creator.
    CTavmControl();

    void AttachVideo(ITimelineVideo* video) { video_ = video; }
    void AttachAudio(ITimelineAudio* audio) { audio_ = audio; }
    void AttachOutput(IMovieOutput* output) { output_ = output; }
    void AttachPins(IStreamPins* pins) { pins_ = pins; }
    // The list of unusable media, emptied with every new timeline.
    void AttachProblems(MediaProblemList* problems) { problems_ = problems; }

    const ControlSettings& Settings() const { return settings_; }
    const OutputFormat& Format() const { return format_; }
    const TimelineLists& Lists() const { return lists_; }
    const SideLists& Sides() const { return sides_; }
    double ProjectSeconds() const { return projectSeconds_; }

    // IUnknown
    HRESULT QueryInterface(const GUID& iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // ITavmControl
    HRESULT SetTimeline(SceneList* scenes, SpanList* spans, ObjectList* objects, KindList* kinds, double dTransition,
                        double dPictureTime) override;
    HRESULT SetOutputSize(int width, int height) override;
    HRESULT SetSrcVideoSize(int width, int height) override;
    HRESULT SetDisplayAspect(int numerator, int denominator) override;
    HRESULT SetMusicVolume(int percent) override;
    HRESULT SetOutputFormat(int frameRate, int width, int height, int videoCodec, int videoBitRate, int audioCodec,
                            int audioBitRate, int channels, int sampleRate, int quality, const char* path,
                            const char* preset, int aspectNumerator, int aspectDenominator) override;
    HRESULT SetAbort(int flag) override;
    HRESULT IsIdle(int* idle) override;
    HRESULT SetAnimationLibrary(CTavmArray<void*>* entries, CTavmArray<void*>* tags) override;
    HRESULT SetScreenMasks(CTavmArray<void*>* masks, CTavmArray<tagSIZE>* sizes) override;
    HRESULT SetPictureList(PictureList* pictures) override;
    HRESULT SetMode(int mode) override;
    HRESULT SetFrameRate(double fps) override;
    HRESULT GetDuration(int64_t* duration) override;
    HRESULT GetPosition(int64_t* position) override;
    HRESULT SetPosition(int64_t position) override;
    HRESULT GetProgress(float* percent) override;
    HRESULT FinishOutput() override;
    HRESULT GetOutputError(char* text, int size) override;
    HRESULT SetFullMotion(int on) override;

protected:
    virtual ~CTavmControl();

private:
    void ApplyFrameSize(int width, int height);

    std::atomic<ULONG> refs_{1};
    ControlSettings settings_;
    OutputFormat format_;
    TimelineLists lists_;
    SideLists sides_;
    double projectSeconds_ = 0.0;
    int64_t streamLength_ = 0;
    int64_t position_ = 0;  // kept for when no streams are attached
    ITimelineVideo* video_ = nullptr;
    ITimelineAudio* audio_ = nullptr;
    IMovieOutput* output_ = nullptr;
    IStreamPins* pins_ = nullptr;
    MediaProblemList* problems_ = nullptr;
};

// Largest frame side the filter accepts.
constexpr int kMaxFrameSide = 8192;
// Most sound channels the mixer can make.
constexpr int kMaxChannels = 8;

}  // namespace zolvex
