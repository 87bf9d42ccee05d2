// CTavmMixer: the project's sound. Each block it decodes the scene under the
// timeline position and every music or voice track laid over it, each in its own
// decoder slot, and adds them with one volume balance between scene sound and music.
//
// AudioBlockLoop is the audio stream's fill step around it: block by block, time
// stamps, the end of the stream, and in encode mode the hand-over of every block to
// the movie encoder. It knows nothing of the media framework; the stream calls it
// from its streaming thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "filter/timeline/EncoderLock.h"
#include "filter/timeline/RenderGate.h"
#include "filter/timeline/TavmAudioSource.h"
#include "filter/timeline/TimelineSeams.h"
#include "platform/Export.h"

namespace zolvex {

class ZVF_API CTavmMixer : public ITimelineAudio {
public:
    static constexpr int kBlockBytes = 8192;
    static constexpr int kSampleRate = 44100;
    // Slot 0 plays the scenes, slot k the k-th music object.
    static constexpr int kSlots = 500;

    explicit CTavmMixer(int channels = 2);
    ~CTavmMixer() override;
    CTavmMixer(const CTavmMixer&) = delete;
    CTavmMixer& operator=(const CTavmMixer&) = delete;

    // ITimelineAudio. SetTimeline and SetChannels run only while no block is being
    // mixed (the abort handshake, or the stream stopped).
    void SetTimeline(const TimelineLists& lists) override;
    void SetMusicVolume(int percent) override;
    // 1 to kMaxOutputChannels; other counts are refused and change nothing.
    void SetChannels(int channels) override;
    void SetMode(int mode) override { mode_.store(mode); }
    RenderGate& Gate() override { return gate_; }

    // The stream's sample buffer, which MixBlock fills.
    void SetOutputBuffer(unsigned char* buffer, int size);
    // Mixes the block that starts at `position` (100-ns units of timeline time)
    // into the output buffer. Returns at once while an abort is raised; an abort
    // that arrives during the call leaves the buffer silent.
    void MixBlock(int64_t position);

    PcmFormat Format() const;
    int Mode() const { return mode_.load(); }
    int MusicVolume() const { return volume_.load(); }
    double ProjectSeconds() const { return projectSeconds_; }
    // Channel 0 holds the scene sound, channel k music object k.
    int ChannelCount() const { return channelCount_; }
    bool ChannelHasData(int channel) const;
    const CTavmAudioSource& Slot(int k) const { return slots_[size_t(k)]; }
    // How long the last MixBlock took, seconds.
    double LastMixSeconds() const { return lastMixSeconds_; }

private:
    bool DecodeScene(double t);
    bool DecodeMusic(double t);
    void ClearSceneFlags();
    void AddChannels();

    RenderGate gate_;
    std::atomic<int> mode_{0};
    std::atomic<int> volume_{50};
    std::atomic<int> channels_{2};
    TimelineLists lists_;
    double projectSeconds_ = 0;
    std::unique_ptr<CTavmAudioSource[]> slots_;
    int channelCount_ = 0;
    std::vector<int16_t> channelData_;  // channelCount_ blocks, one after the other
    std::vector<uint8_t> hasData_;
    std::vector<int32_t> sum_;
    unsigned char* out_ = nullptr;
    int outBytes_ = 0;
    double lastMixSeconds_ = 0;
};

// One block as the audio stream sends it downstream.
struct AudioBlock {
    int nBytes = 0;            // data length: whole sample frames
    int64_t llStart = 0;       // stream time stamps, 100-ns units
    int64_t llStop = 0;
    bool bEndOfStream = false; // nothing to send: the stream has ended
    bool bDiscontinuity = false;
    bool bSyncPoint = true;
};

class ZVF_API AudioBlockLoop {
public:
    explicit AudioBlockLoop(CTavmMixer& mixer);

    // The movie encoder and the lock it shares with the video stream; without a
    // sink, encode mode only paces the stream.
    void SetEncoder(IAudioEncoderSink* sink, EncoderLock* lock);

    // The streaming thread was created: sample time 0, position = start, and the
    // next block is the first (silent) one.
    void StartStreaming(int64_t start);
    // Streaming stops or is flushed: the video stream must not wait for this one.
    // Safe from any thread while NextBlock runs.
    void Halt();
    // Running starts or the stream was repositioned: the next block says so.
    void MarkDiscontinuity();
    // A new start while streaming: sample time 0, position = start.
    void Reposition(int64_t start);
    void SetStop(int64_t stop);
    // Playback rate; values that are not positive are refused.
    bool SetRate(double rate);

    int64_t Position() const;
    int64_t SampleTime() const;
    int64_t Stop() const;
    // Length of a full block in 100-ns units, as worked out at StartStreaming.
    int64_t BlockDuration() const;

    // Fills `buffer` (the stream's sample buffer of `size` bytes) with the next block.
    AudioBlock NextBlock(unsigned char* buffer, int size);


private:
    CTavmMixer& mixer_;
    mutable std::mutex mutex_;  // the stream's lock: position fields and the fill step
    IAudioEncoderSink* sink_ = nullptr;
    EncoderLock* lock_ = nullptr;
    bool first_ = true;
    bool discontinuity_ = false;
    int64_t position_ = 0, sampleTime_ = 0, stop_ = 0;
    int64_t blockDuration_ = 0;
    double rate_ = 1.0;
    unsigned char* registered_ = nullptr;
    int registeredSize_ = 0;
};

}  // namespace zolvex
