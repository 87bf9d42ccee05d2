// What the two output streams share when a movie is being written: one lock around
// the movie encoder, so that only one stream is inside it at a time, and the rule
// that keeps the two streams interleaved.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace zolvex {

class EncoderLock {
public:
    // The holder is inside the encoder for a few milliseconds at a time; a stream
    // that wants in sleeps until the holder leaves.
    bool TryLock()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (held_)
            return false;
        held_ = true;
        return true;
    }
    void Lock()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        free_.wait(lock, [this] { return !held_; });
        held_ = true;
    }
    void Unlock()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            held_ = false;
        }
        free_.notify_one();
    }
    bool IsHeld() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return held_;
    }

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
    void Advance(Stream s, int64_t position)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        position_[s] = position;
        moved_.notify_all();
    }
    // Waits while `position` lies more than kMaxLead ahead of the other stream, or
    // until `abort` says to stop waiting. The abort is a flag of the stream's own
    // that nobody signals here, so the wait looks at it every 10 ms. A stream that
    // left (halted while it waited, as a stop halts both) stops waiting too: the
    // other stream may have halted first and will never move again.
    void WaitTurn(Stream s, int64_t position, const std::function<bool()>& abort)
    {
        const int other = 1 - s;
        std::unique_lock<std::mutex> lock(mutex_);
        while (active_[s] && active_[other] && position - position_[other] > kMaxLead && !(abort && abort()))
            moved_.wait_for(lock, std::chrono::milliseconds(10));
    }

private:
    void Update(Stream s, int64_t position, bool active)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        position_[s] = position;
        active_[s] = active;
        moved_.notify_all();
    }

    mutable std::mutex mutex_;
    std::condition_variable free_;   // the lock was let go
    std::condition_variable moved_;  // a stream moved, joined or left
    bool held_ = false;
    int64_t position_[2] = {0, 0};
    bool active_[2] = {false, false};
};

}  // namespace zolvex
