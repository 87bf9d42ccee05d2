// What the two output streams share when a movie is being written: one lock around
// the movie encoder, so that only one stream is inside it at a time, the rule that
// keeps the two streams interleaved, and the small interfaces through which each
// stream hands its frame or block over.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
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

    // Interleaving. Encoding runs as fast as the machine allows, but neither stream
    // may run more than kMaxLead of stream time ahead of the other, or the
    // multiplexer would hold minutes of one stream waiting for the other. A stream
    // that does not take part (not started, or ended) is never waited for.
    enum Stream { kVideo = 0, kAudio = 1 };
    static constexpr int64_t kMaxLead = 10000000;  // one second, 100-ns units

    // The stream starts at `position` and takes part from now on.
    void Join(Stream s, int64_t position) { Update(s, position, true); }
    // The stream ended: the other runs on freely.
    void Leave(Stream s) { Update(s, 0, false); }
    // Where the stream stands after its last hand-over.
    void Advance(Stream s, int64_t position) { Update(s, position, active_[s]); }
    // Waits while `position` lies more than kMaxLead ahead of the other stream, or
    // until `abort` says to stop waiting.
    void WaitTurn(Stream s, int64_t position, const std::function<bool()>& abort)
    {
        const int other = 1 - s;
        std::unique_lock<std::mutex> lock(mutex_);
        while (active_[other] && position - position_[other] > kMaxLead && !(abort && abort()))
            moved_.wait_for(lock, std::chrono::milliseconds(10));
    }

private:
    void Update(Stream s, int64_t position, bool active)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            position_[s] = position;
            active_[s] = active;
        }
        moved_.notify_all();
    }

    std::atomic<bool> held_{false};
    std::mutex mutex_;
    std::condition_variable moved_;
    int64_t position_[2] = {0, 0};
    bool active_[2] = {false, false};
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
