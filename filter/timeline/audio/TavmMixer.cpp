#include "filter/timeline/audio/TavmMixer.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "filter/timeline/model/TimelineObjects.h"
#include "filter/timeline/model/TimelineTime.h"
#include "platform/RegularFile.h"

namespace zolvex {

namespace {

// visit(op) for every music object, in list order; stops when visit returns false.
template <class Visit>
bool ForEachMusic(const TimelineLists& lists, Visit&& visit)
{
    return ForEachTimelineObject(lists, [&](int kind, void* record) {
        return kind != OBJ_MUSIC || visit(static_cast<AudioOp*>(record));
    });
}

int16_t Saturate(int32_t v)
{
    return int16_t(std::min<int32_t>(std::max<int32_t>(v, INT16_MIN), INT16_MAX));
}

}  // namespace

CTavmMixer::CTavmMixer(int channels) : slots_(new CTavmAudioSource[kSlots])
{
    SetChannels(channels);
    SetTimeline(TimelineLists());
    sum_.assign(kBlockBytes / 2, 0);
}

CTavmMixer::~CTavmMixer() = default;

PcmFormat CTavmMixer::Format() const
{
    return Pcm16(channels_.load(), kSampleRate);
}

void CTavmMixer::SetChannels(int channels)
{
    if (channels >= 1 && channels <= kMaxOutputChannels)
        channels_.store(channels);
}

void CTavmMixer::SetMusicVolume(int percent)
{
    if (percent >= 0 && percent <= 100)
        volume_.store(percent);
}

void CTavmMixer::ClearSceneFlags()
{
    ForEachScene(lists_, [](SceneRecord* scene, const SceneSpan&) {
        if (scene)
            scene->bAudioOpen = 0;
        return true;
    });
}

void CTavmMixer::SetTimeline(const TimelineLists& lists)
{
    lists_ = lists;
    projectSeconds_ = ProjectLength(lists.pScenes, lists.pSpans);
    int music = 0;
    ForEachMusic(lists_, [&](AudioOp* op) {
        op->bOpen = 0;
        ++music;
        return true;
    });
    ClearSceneFlags();
    channelCount_ = 1 + std::min(music, kSlots - 1);
    channelData_.assign(size_t(channelCount_) * (kBlockBytes / 2), 0);
    hasData_.assign(size_t(channelCount_), 0);
}

void CTavmMixer::SetOutputBuffer(unsigned char* buffer, int size)
{
    out_ = buffer;
    outBytes_ = buffer ? std::max(size, 0) : 0;
}

bool CTavmMixer::ChannelHasData(int channel) const
{
    return channel >= 0 && channel < channelCount_ && hasData_[size_t(channel)];
}

bool CTavmMixer::DecodeScene(double t)
{
    // At the seam of two scenes both match; the later one is heard.
    SceneRecord* chosen = nullptr;
    double source = 0, start = 0;
    const bool whole = ForEachScene(lists_, [&](SceneRecord* scene, const SceneSpan& span) {
        if (gate_.AbortRequested())
            return false;
        const double length = SceneLength(span);
        if (scene && scene->nMediaType == MEDIA_TYPE_VIDEO && length > 0 && start <= t && t <= start + length &&
            PathFieldNamesData(scene->szPath)) {
            chosen = scene;
            source = span.dIn + (t - start);
        }
        start += length;
        return true;
    });
    if (!whole)
        return false;
    if (!chosen)
        return true;
    const bool opened = chosen->bAudioOpen != 0;
    CTavmAudioSource& slot = slots_[0];
    slot.Decode(opened, chosen->szPath, source, kBlockBytes, Format());
    if (!opened) {
        ClearSceneFlags();
        chosen->bAudioOpen = 1;
    }
    std::memcpy(channelData_.data(), slot.Block(), kBlockBytes);
    hasData_[0] = 1;
    return true;
}

bool CTavmMixer::DecodeMusic(double t)
{
    int k = 0;
    const PcmFormat format = Format();
    return ForEachMusic(lists_, [&](AudioOp* op) {
        if (gate_.AbortRequested())
            return false;
        // Music objects past the last slot are not heard.
        if (++k >= std::min(channelCount_, kSlots))
            return k < kSlots;
        if (!(op->dStartTime <= t && t <= op->dEndTime))
            return true;
        if (!PathFieldNamesData(op->szPath)) {
            if (problems_ && !op->bOpen) {
                const bool named = std::memchr(op->szPath, 0, sizeof op->szPath) != nullptr;
                problems_->Add(named ? op->szPath : "",
                               named ? RegularFileProblem(op->szPath) : "the music's file name is damaged");
            }
            return true;
        }
        double e = t - op->dStartTime;
        // A track shorter than its object starts over; a length that is not a
        // positive number (a damaged project) cannot loop.
        const double length = op->dLength;
        if (std::isfinite(length) && length > 0 && e > length)
            e -= std::trunc(e / length) * length;
        const bool opened = op->bOpen != 0;
        CTavmAudioSource& slot = slots_[k];
        if (!slot.Decode(opened, op->szPath, e, kBlockBytes, format, true) && !opened && problems_ &&
            !slot.OpenError().empty())
            problems_->Add(op->szPath, slot.OpenError());
        if (!opened) {
            // The scene sound reopens on the next block and finds its place again.
            ClearSceneFlags();
            op->bOpen = 1;
        }
        std::memcpy(&channelData_[size_t(k) * (kBlockBytes / 2)], slot.Block(), kBlockBytes);
        hasData_[size_t(k)] = 1;
        return true;
    });
}

void CTavmMixer::AddChannels()
{
    const int samples = std::min(outBytes_, kBlockBytes) / 2;
    const int volume = volume_.load();
    std::fill(sum_.begin(), sum_.end(), 0);
    for (int c = 0; c < channelCount_; ++c) {
        const int weight = c == 0 ? 100 - volume : volume;
        if (!hasData_[size_t(c)] || weight == 0)
            continue;
        const int16_t* src = &channelData_[size_t(c) * (kBlockBytes / 2)];
        int32_t* sum = sum_.data();
        if (weight == 100) {
            for (int i = 0; i < samples; ++i)
                sum[i] += src[i];
        } else {
            // Each weighted sample truncated towards zero, as the sum of the
            // truncated shares.
            for (int i = 0; i < samples; ++i)
                sum[i] += src[i] * weight / 100;
        }
    }
    // Loud sources together are held at full scale: wrapping round would turn
    // the loudest passage into noise.
    for (int i = 0; i < samples; ++i) {
        const int16_t v = Saturate(sum_[size_t(i)]);
        std::memcpy(out_ + 2 * size_t(i), &v, 2);
    }
    if (outBytes_ > 2 * samples)
        std::memset(out_ + 2 * size_t(samples), 0, size_t(outBytes_ - 2 * samples));
}

void CTavmMixer::MixBlock(int64_t position)
{
    RenderGate::Call call(gate_);
    if (!call.entered() || !out_ || outBytes_ <= 0)
        return;
    const auto began = std::chrono::steady_clock::now();
    const double t = double(position / 10000) / 1000.0;
    std::fill(hasData_.begin(), hasData_.end(), 0);
    if (!DecodeScene(t) || !DecodeMusic(t)) {
        std::memset(out_, 0, size_t(outBytes_));
        return;
    }
    AddChannels();
    lastMixSeconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
}

}  // namespace zolvex
