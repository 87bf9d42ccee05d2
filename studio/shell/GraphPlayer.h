// What the two previews share: a graph that plays, pauses, stops, seeks, changes
// its rate and its volume, and tells the window its news. Every call comes from the
// window's thread; the graph streams on its own threads and reports through the
// listener, whose news the window hands back to HandleNews.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "studio/shell/PreviewSinks.h"

struct _GstBus;
struct _GstMessage;

namespace zolvex {
namespace studio {

class GraphPlayer {
public:
    enum PlayState { kRunning = 0, kPaused = 1, kStopped = 2 };
    static constexpr double kMinRate = 0.25;
    static constexpr double kMaxRate = 4.0;

    explicit GraphPlayer(IPreviewListener* listener = nullptr) : listener_(listener) {}
    virtual ~GraphPlayer();
    GraphPlayer(const GraphPlayer&) = delete;
    GraphPlayer& operator=(const GraphPlayer&) = delete;

    // Who is shown the pictures and told the news; set before the graph is made.
    void SetListener(IPreviewListener* listener) { listener_ = listener; }
    bool Built() const { return pipeline_ != nullptr; }
    // True when the sound only keeps time: there is no sound device.
    bool Silent() const { return silent_; }

    void PlayPause();
    void Run();
    void Pause();
    // Back to the start and stopped (the first picture stays on the screen).
    void Stop();
    PlayState State() const { return state_; }

    // 100-ns units: the length (−1 without a graph) and where the preview stands
    // (0 without one).
    int64_t Duration() const;
    int64_t Position() const;
    // Moves to `position`; while a seek is still settling only the newest target is
    // kept and follows once it has.
    void Seek(int64_t position);
    // True from the end of the streams until the next seek or stop.
    bool Ended() const { return ended_; }

    // Volume index 0..100; returns what it set in hundredths of a decibel.
    int SetVolume(int index);
    int Volume() const { return volume_; }

    double Rate() const { return rate_; }
    // Doubling and halving within 0.25 … 4; false when already at the end.
    bool IncreaseRate();
    bool DecreaseRate();
    bool CanIncreaseRate() const { return rate_ < kMaxRate; }
    bool CanDecreaseRate() const { return rate_ > kMinRate; }

    // News of the listener, on the window's thread.
    void HandleNews(int news);
    // Called now and then by the window: a target still waiting on a seek whose news
    // never came goes out after all.
    void Poll();
    // The last error the graph reported (empty when none).
    const std::string& LastError() const { return error_; }
    // Seeks sent to the graph (coalesced ones are not).
    int64_t SeeksSent() const { return seeksSent_; }

protected:
    // The graph played from here on (nullptr: none); its bus reports to the listener.
    void Attach(struct _GstElement* pipeline);
    void Detach();
    IPreviewListener* Listener() const { return listener_; }
    void SetSilent(bool silent) { silent_ = silent; }
    void SetState(PlayState state) { state_ = state; }

private:
    void SendSeek();
    static int OnBus(_GstBus* bus, _GstMessage* message, void* self);

    IPreviewListener* listener_ = nullptr;
    struct _GstElement* pipeline_ = nullptr;
    PlayState state_ = kStopped;
    double rate_ = 1.0;
    int volume_ = 100;
    bool silent_ = false;
    bool ended_ = false;
    bool seeking_ = false;
    int64_t pending_ = -1;  // the target waiting for the seek in flight
    int64_t lastTarget_ = 0;
    mutable int64_t knownDuration_ = 0;
    std::chrono::steady_clock::time_point seekSent_;
    std::string error_;
    std::mutex busLock_;  // the bus's error text, written on a streaming thread
    std::string busError_;
    int64_t seeksSent_ = 0;
};

}  // namespace studio
}  // namespace zolvex
