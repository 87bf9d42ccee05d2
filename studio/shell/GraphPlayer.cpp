#include "studio/shell/GraphPlayer.h"

#include <gst/gst.h>

#include <algorithm>

namespace zolvex {
namespace studio {

namespace {

// A seek that has not settled in this time is taken as lost, so that the next one
// is not held back for ever.
constexpr auto kSeekPatience = std::chrono::milliseconds(1500);

}  // namespace

GraphPlayer::~GraphPlayer() { Detach(); }

void GraphPlayer::Attach(GstElement* pipeline)
{
    Detach();
    pipeline_ = pipeline;
    if (!pipeline_)
        return;
    GstBus* bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(
        bus, [](GstBus* b, GstMessage* m, gpointer self) { return GstBusSyncReply(OnBus(b, m, self)); }, this,
        nullptr);
    gst_object_unref(bus);
    SetVolume(volume_);
}

void GraphPlayer::Detach()
{
    if (pipeline_) {
        // Quiet before the bus goes: nothing reports from a graph on its way out.
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        GstBus* bus = gst_element_get_bus(pipeline_);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
    }
    pipeline_ = nullptr;
    knownDuration_ = 0;
    state_ = kStopped;
    rate_ = 1.0;
    seeking_ = ended_ = false;
    pending_ = -1;
}

int GraphPlayer::OnBus(_GstBus*, _GstMessage* message, void* data)
{
    auto* self = static_cast<GraphPlayer*>(data);
    int news = 0;
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ASYNC_DONE: news = kNewsSettled; break;
    case GST_MESSAGE_EOS: news = kNewsEnded; break;
    case GST_MESSAGE_ERROR: {
        GError* e = nullptr;
        gst_message_parse_error(message, &e, nullptr);
        {
            std::lock_guard<std::mutex> lock(self->busLock_);
            self->busError_ = e && e->message ? e->message : "The preview graph failed.";
        }
        if (e)
            g_error_free(e);
        news = kNewsFailed;
        break;
    }
    default: break;
    }
    if (news && self->listener_)
        self->listener_->PreviewNews(news);
    // Nothing waits on this bus: the listener has what matters.
    gst_message_unref(message);
    return GST_BUS_DROP;
}

void GraphPlayer::HandleNews(int news)
{
    if (!pipeline_)
        return;
    switch (news) {
    case kNewsSettled:
        seeking_ = false;
        if (pending_ >= 0)
            SendSeek();
        break;
    case kNewsEnded: ended_ = true; break;
    case kNewsFailed: {
        std::lock_guard<std::mutex> lock(busLock_);
        error_ = busError_;
        break;
    }
    default: break;
    }
}

void GraphPlayer::Poll()
{
    if (pipeline_ && seeking_ && pending_ >= 0 && std::chrono::steady_clock::now() - seekSent_ > kSeekPatience)
        SendSeek();
}

void GraphPlayer::PlayPause()
{
    if (state_ == kRunning)
        Pause();
    else if (state_ == kPaused)
        Run();
}

void GraphPlayer::Run()
{
    if (pipeline_ && gst_element_set_state(pipeline_, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE)
        state_ = kRunning;
}

void GraphPlayer::Pause()
{
    if (pipeline_ && gst_element_set_state(pipeline_, GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE)
        state_ = kPaused;
}

void GraphPlayer::Stop()
{
    if (!pipeline_ || state_ == kStopped)
        return;
    // Paused at the start rather than torn down: the first picture stays on the
    // screen and the next Play starts at once.
    gst_element_set_state(pipeline_, GST_STATE_PAUSED);
    Seek(0);
    state_ = kStopped;
}

int64_t GraphPlayer::Duration() const
{
    if (!pipeline_)
        return -1;
    // A graph in the middle of a seek may not answer: it still lasts as long.
    gint64 d = -1;
    if (gst_element_query_duration(pipeline_, GST_FORMAT_TIME, &d) && d >= 0)
        knownDuration_ = d / 100;
    return knownDuration_;
}

int64_t GraphPlayer::Position() const
{
    // A seek not yet settled is where the user asked to be.
    if (seeking_ || pending_ >= 0)
        return pending_ >= 0 ? pending_ : lastTarget_;
    gint64 p = 0;
    if (!pipeline_ || !gst_element_query_position(pipeline_, GST_FORMAT_TIME, &p) || p < 0)
        return 0;
    return p / 100;
}

void GraphPlayer::Seek(int64_t position)
{
    if (!pipeline_)
        return;
    pending_ = std::max<int64_t>(position, 0);
    ended_ = false;
    if (!seeking_ || std::chrono::steady_clock::now() - seekSent_ > kSeekPatience)
        SendSeek();
}

void GraphPlayer::SendSeek()
{
    const int64_t target = pending_;
    pending_ = -1;
    lastTarget_ = target;
    seekSent_ = std::chrono::steady_clock::now();
    ++seeksSent_;
    seeking_ = gst_element_seek(pipeline_, rate_, GST_FORMAT_TIME,
                                GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), GST_SEEK_TYPE_SET,
                                GstClockTime(target) * 100, GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
}

int GraphPlayer::SetVolume(int index)
{
    volume_ = std::clamp(index, 0, 100);
    const int hundredths = VolumeHundredths(volume_);
    if (pipeline_)
        SetSinkVolume(pipeline_, LinearVolume(hundredths));
    return hundredths;
}

bool GraphPlayer::IncreaseRate()
{
    if (!CanIncreaseRate())
        return false;
    rate_ = std::min(rate_ * 2.0, kMaxRate);
    Seek(Position());
    return true;
}

bool GraphPlayer::DecreaseRate()
{
    if (!CanDecreaseRate())
        return false;
    rate_ = std::max(rate_ / 2.0, kMinRate);
    Seek(Position());
    return true;
}

}  // namespace studio
}  // namespace zolvex
