#include "filter/timeline/stream/StreamLoop.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "filter/timeline/audio/TavmMixer.h"
#include "filter/timeline/model/TimelineTime.h"
#include "filter/timeline/video/TavmRenderer.h"

namespace zolvex {

// ---- what both streams share ----------------------------------------------------------

void StreamLoop::StartStreaming(int64_t start)
{
    std::lock_guard<std::mutex> guard(mutex_);
    first_ = true;
    discontinuity_ = true;
    position_ = start;
    sampleTime_ = 0;
    OnStartStreaming();
    if (lock_)
        lock_->Join(stream_, start);
}

void StreamLoop::Halt()
{
    if (lock_)
        lock_->Leave(stream_);
}

void StreamLoop::MarkDiscontinuity()
{
    std::lock_guard<std::mutex> guard(mutex_);
    discontinuity_ = true;
}

void StreamLoop::Reposition(int64_t start)
{
    std::lock_guard<std::mutex> guard(mutex_);
    position_ = start;
    sampleTime_ = 0;
    discontinuity_ = true;
    if (lock_)
        lock_->Join(stream_, start);
}

void StreamLoop::SetStop(int64_t stop)
{
    std::lock_guard<std::mutex> guard(mutex_);
    stop_ = stop;
}

bool StreamLoop::SetRate(double rate)
{
    if (!(rate > 0) || !std::isfinite(rate))
        return false;
    std::lock_guard<std::mutex> guard(mutex_);
    rate_ = rate;
    return true;
}

int64_t StreamLoop::Position() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return position_;
}

int64_t StreamLoop::SampleTime() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return sampleTime_;
}

int64_t StreamLoop::Stop() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return stop_;
}

bool StreamLoop::ReachedEnd()
{
    if (position_ < stop_)
        return false;
    if (lock_)
        lock_->Leave(stream_);
    return true;
}

void StreamLoop::Advance(StreamTimes& out, int64_t duration)
{
    out.llStart = int64_t(double(sampleTime_) / rate_);
    out.llStop = out.llStart + int64_t(double(duration) / rate_);
    sampleTime_ += duration;
    position_ += duration;
    out.bDiscontinuity = discontinuity_;
    discontinuity_ = false;
}

// ---- the video stream ---------------------------------------------------------------

VideoFrameLoop::VideoFrameLoop(CTavmRenderer& renderer)
    : StreamLoop(EncoderLock::kVideo, renderer.Gate()),
      renderer_(renderer),
      sleep_([](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); })
{
}

void VideoFrameLoop::SetEncoder(IVideoEncoderSink* sink, EncoderLock* lock)
{
    std::lock_guard<std::mutex> guard(mutex_);
    sink_ = sink;
    lock_ = lock;
}

void VideoFrameLoop::SetSleeper(std::function<void(int)> sleep)
{
    std::lock_guard<std::mutex> guard(mutex_);
    if (sleep)
        sleep_ = std::move(sleep);
}

void VideoFrameLoop::OnStartStreaming()
{
    frameDuration_ = kPreviewPeriod;
    encodeCounter_ = 0;
    lastEncoded_ = nullptr;
    handedOut_ = {};
}

void VideoFrameLoop::SetFrameDuration(int64_t duration)
{
    if (duration <= 0)
        return;
    std::lock_guard<std::mutex> guard(mutex_);
    frameDuration_ = duration;
}

void VideoFrameLoop::SetFullMotion(bool on)
{
    std::lock_guard<std::mutex> guard(mutex_);
    fullMotion_ = on;
}

int64_t VideoFrameLoop::FrameDuration() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return frameDuration_;
}

void VideoFrameLoop::Encode(const unsigned char* buffer, bool held)
{
    if (!sink_)
        return;
    const int W = renderer_.Width(), H = renderer_.Height();
    HandOver(frameDuration_, [&] { sink_->EncodeRenderedFrame(buffer, W, H, held); });
}

VideoFrame VideoFrameLoop::NextFrame(unsigned char* buffer)
{
    VideoFrame out;
    std::lock_guard<std::mutex> guard(mutex_);
    const bool first = first_;
    if (first) {
        renderer_.ClearFrame(buffer);
        renderer_.SetOutputBuffer(buffer);
        first_ = false;
    }
    if (ReachedEnd()) {
        out.bEndOfStream = true;
        return out;
    }
    const bool encoding = renderer_.Mode() == kEncodeMode;
    if (!Aborted()) {
        if (!encoding) {
            if (!first) {
                renderer_.ClearFrame(buffer);
                renderer_.RenderFrame(position_);
            }
        } else {
            // Higher frame rates render every second or third frame and write each
            // rendered picture that many times: the stream has one sample buffer.
            bool held = false;
            if (!first) {
                encodeCounter_ = encodeCounter_ >= 1000 ? 0 : encodeCounter_ + 1;
                const int64_t fps = kUnitsPerSecond / frameDuration_;
                const int every = fullMotion_ || fps <= 10 ? 1 : (fps <= 20 ? 2 : 3);
                if (encodeCounter_ % every == 0) {
                    renderer_.ClearFrame(buffer);
                    renderer_.RenderFrame(position_);
                } else {
                    // Untouched since it was written: the encoder may take it as it stands.
                    held = buffer == lastEncoded_;
                }
            }
            // The first, black frame is written too, so that pictures and sound start
            // together.
            Encode(buffer, held);
            lastEncoded_ = buffer;
        }
    }
    // A preview frame takes at least its own time on the clock at the playing rate:
    // 15 frames a second unless a smoother rate was asked for, and twice as many at
    // double speed, so the pictures keep up with the sound. The time counts from the
    // last frame's hand-out: what the sink spent waiting for the clock is part of
    // it, or the stream would fall a little further behind with every frame.
    if (!encoding) {
        const int64_t period = int64_t(double(frameDuration_) / rate_);
        int64_t spent = renderer_.RenderTime();
        if (handedOut_ != std::chrono::steady_clock::time_point{})
            spent = std::max<int64_t>(spent, std::chrono::duration_cast<std::chrono::microseconds>(
                                                 std::chrono::steady_clock::now() - handedOut_)
                                                     .count() * 10);
        if (spent < period)
            sleep_(int((period - spent) / 10000));
        handedOut_ = std::chrono::steady_clock::now();
    }
    Advance(out, frameDuration_);
    return out;
}

// ---- the audio stream ---------------------------------------------------------------

AudioBlockLoop::AudioBlockLoop(CTavmMixer& mixer) : StreamLoop(EncoderLock::kAudio, mixer.Gate()), mixer_(mixer)
{
    StartStreaming(0);
}

void AudioBlockLoop::SetEncoder(IAudioEncoderSink* sink, EncoderLock* lock)
{
    std::lock_guard<std::mutex> hold(mutex_);
    sink_ = sink;
    lock_ = lock;
}

void AudioBlockLoop::OnStartStreaming()
{
    blockDuration_ = int64_t(CTavmMixer::kBlockBytes) * kUnitsPerSecond / mixer_.Format().nAvgBytesPerSec;
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
    if (ReachedEnd()) {
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
    bool aborted = Aborted();
    if (!first_) {
        if (aborted)
            std::memset(buffer, 0, size_t(size));  // a block without time carries no sound
        else
            mixer_.MixBlock(position_);
        aborted = aborted || Aborted();
    }
    // The first, silent block goes into the movie too, so that the movie's sound
    // keeps its place against the pictures. While an abort is raised the clock
    // stands still.
    const int64_t d = aborted ? 0 : int64_t(length) * kUnitsPerSecond / format.nAvgBytesPerSec;
    if (mixer_.Mode() == kEncodeMode && !aborted && sink_)
        HandOver(d, [&] { sink_->EncodeAudioBlock(buffer, length, format.nChannels, CTavmMixer::kSampleRate); });
    first_ = false;

    block.nBytes = length;
    Advance(block, d);
    return block;
}

}  // namespace zolvex
