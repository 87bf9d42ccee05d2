// The fill steps of the filter's two output streams. StreamLoop is what both share:
// the position on the timeline, the stream's own sample time, the stop, the rate, the
// discontinuity flag, the end of the stream, the abort, and the hand-over to the movie
// encoder under the lock that keeps the two streams interleaved. VideoFrameLoop asks
// the frame producer for one frame per call, AudioBlockLoop the mixer for one block.
// None of them knows the media framework; the stream calls them from its streaming
// thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "filter/common/RenderGate.h"
#include "filter/encoder/EncoderSinks.h"
#include "filter/timeline/stream/EncoderLock.h"
#include "platform/Export.h"

namespace zolvex {

class CTavmRenderer;
class CTavmMixer;

// What a stream sends downstream with each piece: its time stamps and flags.
struct StreamTimes {
    int64_t llStart = 0;        // stream time stamps, 100-ns units
    int64_t llStop = 0;
    bool bEndOfStream = false;  // nothing to send: the stream has ended
    bool bDiscontinuity = false;
    bool bSyncPoint = true;
};

// One frame as the video stream sends it downstream.
struct VideoFrame : StreamTimes {};

// One block as the audio stream sends it downstream.
struct AudioBlock : StreamTimes {
    int nBytes = 0;  // data length: whole sample frames
};

class ZVF_API StreamLoop {
public:
    virtual ~StreamLoop() = default;
    StreamLoop(const StreamLoop&) = delete;
    StreamLoop& operator=(const StreamLoop&) = delete;

    // The streaming thread was created: sample time 0, position = start, and the next
    // piece is the first one (black or silent), marked as a discontinuity.
    void StartStreaming(int64_t start);
    // Streaming stops or is flushed: the other stream must not wait for this one.
    // Safe from any thread while a fill step runs.
    void Halt();
    // Running starts or the stream was repositioned: the next piece says so.
    void MarkDiscontinuity();
    // A new start while streaming: sample time 0, position = start.
    void Reposition(int64_t start);
    void SetStop(int64_t stop);
    // Playback rate; values that are not positive are refused.
    bool SetRate(double rate);

    int64_t Position() const;
    int64_t SampleTime() const;
    int64_t Stop() const;

protected:
    StreamLoop(EncoderLock::Stream stream, RenderGate& gate) : stream_(stream), gate_(gate) {}

    // Stream-specific state to reset at StartStreaming; runs under mutex_.
    virtual void OnStartStreaming() {}

    // The steps of a fill, all under mutex_.
    // True (and the other stream no longer waits for this one) at the stop.
    bool ReachedEnd();
    bool Aborted() const { return gate_.AbortRequested(); }
    // Hands a piece of `duration` to the encoder: waits while this stream is too far
    // ahead of the other, encodes under the encoder lock, and says where it stands.
    template <class Encode>
    void HandOver(int64_t duration, Encode&& encode)
    {
        if (!lock_) {
            encode();
            return;
        }
        lock_->WaitTurn(stream_, position_, [this] { return Aborted(); });
        {
            EncoderLock::Guard held(*lock_);
            encode();
        }
        lock_->Advance(stream_, position_ + duration);
    }
    // Stamps `out` with the piece's stream times (scaled by the rate) and moves the
    // stream on by `duration`.
    void Advance(StreamTimes& out, int64_t duration);

    mutable std::mutex mutex_;  // the stream's lock: position fields and the fill step
    EncoderLock* lock_ = nullptr;
    bool first_ = true;
    bool discontinuity_ = false;
    int64_t position_ = 0, sampleTime_ = 0, stop_ = 0;
    double rate_ = 1.0;

private:
    const EncoderLock::Stream stream_;
    RenderGate& gate_;
};

// The video stream's fill step: frame by frame, time stamps, preview pacing, and in
// encode mode the hand-over of every frame to the movie encoder. Frames are W × H × 3
// bytes, blue-green-red, bottom-up, without padding.
class ZVF_API VideoFrameLoop : public StreamLoop {
public:
    explicit VideoFrameLoop(CTavmRenderer& renderer);

    // The movie encoder and the lock it shares with the audio stream (which also keeps
    // the two streams within a second of each other); without a sink, encode mode
    // renders only.
    void SetEncoder(IVideoEncoderSink* sink, EncoderLock* lock);
    // Waits of preview pacing; tests record them instead.
    void SetSleeper(std::function<void(int milliseconds)> sleep);
    void SetFrameDuration(int64_t duration);
    int64_t FrameDuration() const;
    // Encode mode renders every frame (on) or keeps to the rule of the rates (off).
    void SetFullMotion(bool on);

    // Fills `buffer` (the stream's sample buffer, W × H × 3 bytes) with the next frame.
    VideoFrame NextFrame(unsigned char* buffer);

    // The preview's frame period unless a frame rate is set: 15 frames per second.
    static constexpr int64_t kPreviewPeriod = 666666;

private:
    // The frame duration goes back to 666,666 and the encode-mode frame count to 0.
    void OnStartStreaming() override;
    void Encode(const unsigned char* buffer, bool held);

    CTavmRenderer& renderer_;
    IVideoEncoderSink* sink_ = nullptr;
    std::function<void(int)> sleep_;
    int64_t frameDuration_ = kPreviewPeriod;
    int encodeCounter_ = 0;
    bool fullMotion_ = false;
    const unsigned char* lastEncoded_ = nullptr;  // the buffer of the last frame written
    // When the last preview frame was handed out (none yet after a start).
    std::chrono::steady_clock::time_point handedOut_{};
};

// The audio stream's fill step: block by block, time stamps, and in encode mode the
// hand-over of every block to the movie encoder.
class ZVF_API AudioBlockLoop : public StreamLoop {
public:
    explicit AudioBlockLoop(CTavmMixer& mixer);

    // The movie encoder and the lock it shares with the video stream; without a
    // sink, encode mode only paces the stream.
    void SetEncoder(IAudioEncoderSink* sink, EncoderLock* lock);
    // Length of a full block in 100-ns units, as worked out at StartStreaming.
    int64_t BlockDuration() const;

    // Fills `buffer` (the stream's sample buffer of `size` bytes) with the next block.
    AudioBlock NextBlock(unsigned char* buffer, int size);

private:
    // The block length follows the mixer's format.
    void OnStartStreaming() override;

    CTavmMixer& mixer_;
    IAudioEncoderSink* sink_ = nullptr;
    int64_t blockDuration_ = 0;
    unsigned char* registered_ = nullptr;
    int registeredSize_ = 0;
};

}  // namespace zolvex
