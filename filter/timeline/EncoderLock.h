// What the two output streams share when a movie is being written: one lock around
// the movie encoder, so that only one stream is inside it at a time, and the small
// interfaces through which each stream hands its frame or block over.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

namespace zolvex {

// A flag taken by polling in 1 ms steps: the holder is inside the encoder for a
// few milliseconds at a time, and neither stream must ever block the other for good.
class EncoderLock {
public:
    bool TryLock()
    {
        bool expected = false;
        return held_.compare_exchange_strong(expected, true, std::memory_order_acquire);
    }
    void Lock()
    {
        while (!TryLock())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void Unlock() { held_.store(false, std::memory_order_release); }
    bool IsHeld() const { return held_.load(); }

    class Guard {
    public:
        explicit Guard(EncoderLock& lock) : lock_(lock) { lock_.Lock(); }
        ~Guard() { lock_.Unlock(); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        EncoderLock& lock_;
    };

private:
    std::atomic<bool> held_{false};
};

// The movie encoder's audio input: 16-bit signed interleaved PCM. Called under the
// encoder lock.
class IAudioEncoderSink {
public:
    virtual ~IAudioEncoderSink() = default;
    virtual void EncodeAudioBlock(const unsigned char* samples, int bytes, int channels, int sampleRate) = 0;
};

// The movie encoder's video input: width × height × 3 bytes, red-green-blue, top row
// first. Called under the encoder lock.
class IVideoEncoderSink {
public:
    virtual ~IVideoEncoderSink() = default;
    virtual void EncodeVideoFrame(const unsigned char* rgb, int width, int height) = 0;
};

}  // namespace zolvex
