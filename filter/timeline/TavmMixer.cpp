#include "filter/timeline/TavmMixer.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "filter/timeline/TimelineObjects.h"
#include "filter/timeline/TimelineTime.h"

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

// A path field that is terminated and names a regular file with something in it.
bool FileHasData(const char (&path)[260])
{
    if (!std::memchr(path, 0, sizeof path) || !path[0])
        return false;
    struct stat st;
    return ::stat(path, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
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
            FileHasData(scene->szPath)) {
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
        if (!(op->dStartTime <= t && t <= op->dEndTime) || !FileHasData(op->szPath))
            return true;
        double e = t - op->dStartTime;
        // A track shorter than its object starts over; a length that is not a
        // positive number (a damaged project) cannot loop.
        const double length = op->dLength;
        if (std::isfinite(length) && length > 0 && e > length)
            e -= std::trunc(e / length) * length;
        const bool opened = op->bOpen != 0;
        CTavmAudioSource& slot = slots_[k];
        slot.Decode(opened, op->szPath, e, kBlockBytes, format, true);
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

// ---- the audio stream's fill step ---------------------------------------------

AudioBlockLoop::AudioBlockLoop(CTavmMixer& mixer) : mixer_(mixer)
{
    StartStreaming(0);
}

void AudioBlockLoop::SetEncoder(IAudioEncoderSink* sink, EncoderLock* lock)
{
    std::lock_guard<std::mutex> hold(mutex_);
    sink_ = sink;
    lock_ = lock;
}

void AudioBlockLoop::StartStreaming(int64_t start)
{
    std::lock_guard<std::mutex> hold(mutex_);
    position_ = start;
    sampleTime_ = 0;
    blockDuration_ = int64_t(CTavmMixer::kBlockBytes) * kUnitsPerSecond / mixer_.Format().nAvgBytesPerSec;
    first_ = true;
    if (lock_)
        lock_->Join(EncoderLock::kAudio, start);
}

void AudioBlockLoop::Halt()
{
    if (lock_)
        lock_->Leave(EncoderLock::kAudio);
}

void AudioBlockLoop::MarkDiscontinuity()
{
    std::lock_guard<std::mutex> hold(mutex_);
    discontinuity_ = true;
}

void AudioBlockLoop::Reposition(int64_t start)
{
    std::lock_guard<std::mutex> hold(mutex_);
    position_ = start;
    sampleTime_ = 0;
    if (lock_)
        lock_->Join(EncoderLock::kAudio, start);
}

void AudioBlockLoop::SetStop(int64_t stop)
{
    std::lock_guard<std::mutex> hold(mutex_);
    stop_ = stop;
}

bool AudioBlockLoop::SetRate(double rate)
{
    if (!(rate > 0) || !std::isfinite(rate))
        return false;
    std::lock_guard<std::mutex> hold(mutex_);
    rate_ = rate;
    return true;
}

int64_t AudioBlockLoop::Position() const
{
    std::lock_guard<std::mutex> hold(mutex_);
    return position_;
}

int64_t AudioBlockLoop::SampleTime() const
{
    std::lock_guard<std::mutex> hold(mutex_);
    return sampleTime_;
}

int64_t AudioBlockLoop::Stop() const
{
    std::lock_guard<std::mutex> hold(mutex_);
    return stop_;
}

int64_t AudioBlockLoop::BlockDuration() const
{
    std::lock_guard<std::mutex> hold(mutex_);
    return blockDuration_;
}

AudioBlock AudioBlockLoop::NextBlock(unsigned char* buffer, int size)
{
    AudioBlock block;
    if (!buffer || size <= 0) {
        block.bEndOfStream = true;
        return block;
    }
    std::lock_guard<std::mutex> hold(mutex_);
    if (first_)
        std::memset(buffer, 0, size_t(size));
    if (buffer != registered_ || size != registeredSize_) {
        mixer_.SetOutputBuffer(buffer, size);
        registered_ = buffer;
        registeredSize_ = size;
    }
    if (position_ >= stop_) {
        if (lock_)
            lock_->Leave(EncoderLock::kAudio);
        block.bEndOfStream = true;
        return block;
    }

    const PcmFormat format = mixer_.Format();
    // Whole sample frames only: with 3, 5, 6 or 7 channels 8,192 bytes would end
    // inside a frame and shift every later block by a channel.
    int length = std::min(size, CTavmMixer::kBlockBytes);
    length -= length % format.nBlockAlign;
    if (length <= 0) {
        // Not one sample frame fits: a block without time would never end the stream.
        block.bEndOfStream = true;
        return block;
    }
    bool aborted = mixer_.Gate().AbortRequested();
    if (!first_) {
        if (aborted)
            std::memset(buffer, 0, size_t(size));  // a block without time carries no sound
        else
            mixer_.MixBlock(position_);
        aborted = aborted || mixer_.Gate().AbortRequested();
    }
    // The first, silent block goes into the movie too, so that the movie's sound
    // keeps its place against the pictures.
    // While an abort is raised the clock stands still.
    const int64_t d = aborted ? 0 : int64_t(length) * kUnitsPerSecond / format.nAvgBytesPerSec;
    if (mixer_.Mode() == kEncodeMode && !aborted && sink_) {
        if (lock_) {
            lock_->WaitTurn(EncoderLock::kAudio, position_, [this] { return mixer_.Gate().AbortRequested(); });
            EncoderLock::Guard held(*lock_);
            sink_->EncodeAudioBlock(buffer, length, format.nChannels, CTavmMixer::kSampleRate);
        } else {
            sink_->EncodeAudioBlock(buffer, length, format.nChannels, CTavmMixer::kSampleRate);
        }
        if (lock_)
            lock_->Advance(EncoderLock::kAudio, position_ + d);
    }
    first_ = false;

    block.nBytes = length;
    block.llStart = int64_t(double(sampleTime_) / rate_);
    block.llStop = block.llStart + int64_t(double(d) / rate_);
    sampleTime_ += d;
    position_ += d;
    block.bDiscontinuity = discontinuity_;
    discontinuity_ = false;
    return block;
}

}  // namespace zolvex
