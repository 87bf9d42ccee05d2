// The abort/idle handshake between the studio's window thread and a producer's
// streaming thread. A producer holds the gate for one whole render call and checks
// AbortRequested() between items; the studio raises the abort flag and waits until the
// gate is no longer busy before it changes the timeline.
#pragma once

#include <atomic>

namespace zolvex {

class RenderGate {
public:
    void SetAbort(bool abort) { abort_.store(abort); }
    bool AbortRequested() const { return abort_.load(); }
    bool IsBusy() const { return busy_.load(); }

    // Starts a render call; false (and not busy) when an abort is raised. Busy is set
    // before the abort flag is read, so the studio either sees the call busy or the
    // call sees the abort: never neither.
    bool Enter()
    {
        busy_.store(true);
        if (abort_.load()) {
            busy_.store(false);
            return false;
        }
        return true;
    }
    void Leave() { busy_.store(false); }

    // One render call: busy for the lifetime of the object when entered() is true.
    class Call {
    public:
        explicit Call(RenderGate& gate) : gate_(gate), entered_(gate.Enter()) {}
        ~Call()
        {
            if (entered_)
                gate_.Leave();
        }
        Call(const Call&) = delete;
        Call& operator=(const Call&) = delete;
        bool entered() const { return entered_; }

    private:
        RenderGate& gate_;
        bool entered_;
    };

private:
    std::atomic<bool> abort_{false};
    std::atomic<bool> busy_{false};
};

}  // namespace zolvex
