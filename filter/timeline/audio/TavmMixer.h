// CTavmMixer: the project's sound. Each block it decodes the scene under the
// timeline position and every music or voice track laid over it, each in its own
// decoder slot, and adds them with one volume balance between scene sound and music.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "filter/common/RenderGate.h"
#include "filter/media/MediaProblems.h"
#include "filter/media/TavmAudioSource.h"
#include "filter/timeline/audio/ITimelineAudio.h"
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
    // Where a music file that cannot be used is named (none: only the log hears of it).
    void SetMediaProblems(MediaProblemList* problems) { problems_ = problems; }

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
    MediaProblemList* problems_ = nullptr;
};

}  // namespace zolvex
