#include "filter/timeline/gst/TavmGraph.h"

#include <gst/gst.h>

#include "filter/timeline/gst/GstTavmSource.h"
#include "filter/timeline/stream/TavmSource.h"

namespace zolvex {

namespace {

constexpr char kGraphName[] = "Tavm Album";

GstElement* Make(const char* factory, const char* name, std::string* error)
{
    GstElement* e = gst_element_factory_make(factory, name);
    if (!e && error)
        *error = std::string("The GStreamer element \"") + factory + "\" is missing.";
    return e;
}

// The sink chain of one stream, as a bin with a ghost sink pad.
GstElement* SinkChain(bool video, CTavmGraph::Sinks sinks, std::string* error)
{
    GstElement* bin = gst_bin_new(video ? "video-sink" : "audio-sink");
    GstElement* first = nullptr;
    if (sinks == CTavmGraph::kDiscardingSinks) {
        GstElement* sink = Make("fakesink", nullptr, error);
        if (!sink) {
            gst_object_unref(bin);
            return nullptr;
        }
        g_object_set(sink, "sync", FALSE, nullptr);
        gst_bin_add(GST_BIN(bin), sink);
        first = sink;
    } else {
        GstElement* convert = Make(video ? "videoconvert" : "audioconvert", nullptr, error);
        GstElement* resample = video ? nullptr : Make("audioresample", nullptr, error);
        GstElement* sink = Make(video ? "autovideosink" : "autoaudiosink", nullptr, error);
        if (!convert || !sink || (!video && !resample)) {
            for (GstElement* e : {convert, resample, sink})
                if (e)
                    gst_object_unref(e);
            gst_object_unref(bin);
            return nullptr;
        }
        gst_bin_add_many(GST_BIN(bin), convert, sink, nullptr);
        if (resample) {
            gst_bin_add(GST_BIN(bin), resample);
            gst_element_link_many(convert, resample, sink, nullptr);
        } else {
            gst_element_link(convert, sink);
        }
        first = convert;
    }
    GstPad* target = gst_element_get_static_pad(first, "sink");
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", target));
    gst_object_unref(target);
    return bin;
}

}  // namespace

std::unique_ptr<CTavmGraph> CTavmGraph::Build(IUnknown* filter, Sinks sinks, std::string* error)
{
    GstElement* videoSink = SinkChain(true, sinks, error);
    GstElement* audioSink = videoSink ? SinkChain(false, sinks, error) : nullptr;
    if (CTavmSource* source = dynamic_cast<CTavmSource*>(filter))
        source->SetPicturesWatched(sinks != kDiscardingSinks);
    return Build(filter, videoSink, audioSink, error);
}

std::unique_ptr<CTavmGraph> CTavmGraph::Build(IUnknown* filter, GstElement* videoSink, GstElement* audioSink,
                                              std::string* error)
{
    auto drop = [&] {
        for (GstElement* e : {videoSink, audioSink})
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
    };
    CTavmSource* source = dynamic_cast<CTavmSource*>(filter);
    if (!source) {
        if (error)
            *error = "The object is not the rendering filter.";
        drop();
        return nullptr;
    }
    if (!videoSink || !audioSink) {
        drop();
        return nullptr;  // the sink's maker said why
    }
    if (!RegisterTavmElement()) {
        if (error)
            *error = "The rendering filter's GStreamer element could not be registered.";
        drop();
        return nullptr;
    }
    std::unique_ptr<CTavmGraph> graph(new CTavmGraph());
    graph->pipeline_ = gst_pipeline_new(kGraphName);
    graph->source_ = Make(kTavmElementName, "tavm", error);
    if (!graph->source_) {
        drop();
        return nullptr;
    }
    g_object_set(graph->source_, "filter", static_cast<gpointer>(source), nullptr);
    gst_bin_add_many(GST_BIN(graph->pipeline_), graph->source_, videoSink, audioSink, nullptr);
    if (!gst_element_link_pads(graph->source_, "video", videoSink, "sink") ||
        !gst_element_link_pads(graph->source_, "audio", audioSink, "sink")) {
        if (error)
            *error = "The rendering filter's streams could not be connected.";
        return nullptr;
    }
    return graph;
}

CTavmGraph::~CTavmGraph()
{
    if (pipeline_) {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        gst_object_unref(pipeline_);
    }
}

bool CTavmGraph::WaitForState(int state, int timeoutMs)
{
    GstState current = GST_STATE_NULL, pending = GST_STATE_NULL;
    const GstStateChangeReturn r =
        gst_element_get_state(pipeline_, &current, &pending, GstClockTime(timeoutMs) * GST_MSECOND);
    return r != GST_STATE_CHANGE_FAILURE && r != GST_STATE_CHANGE_ASYNC && current == GstState(state);
}

bool CTavmGraph::Pause(int timeoutMs)
{
    if (gst_element_set_state(pipeline_, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE)
        return false;
    return WaitForState(GST_STATE_PAUSED, timeoutMs);
}

bool CTavmGraph::Run() { return gst_element_set_state(pipeline_, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE; }

bool CTavmGraph::Stop()
{
    return gst_element_set_state(pipeline_, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE &&
           WaitForState(GST_STATE_READY, 10000);
}

bool CTavmGraph::Seek(int64_t position, double rate)
{
    const gboolean sent =
        gst_element_seek(pipeline_, rate, GST_FORMAT_TIME, GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                         GST_SEEK_TYPE_SET, GstClockTime(position) * 100, GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
    // A flushing seek prerolls anew; wait for it so the caller sees a settled graph.
    GstState current, pending;
    gst_element_get_state(pipeline_, &current, &pending, 10 * GST_SECOND);
    return sent;
}

bool CTavmGraph::WaitForEnd(int timeoutMs, std::string* error)
{
    const Outcome outcome = PollEnd(timeoutMs, error);
    if (outcome == Outcome::kRunning && error)
        *error = "The streams did not end in time.";
    return outcome == Outcome::kEnded;
}

CTavmGraph::Outcome CTavmGraph::PollEnd(int timeoutMs, std::string* error)
{
    GstBus* bus = gst_element_get_bus(pipeline_);
    GstMessage* message = gst_bus_timed_pop_filtered(bus, GstClockTime(timeoutMs) * GST_MSECOND,
                                                     GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    gst_object_unref(bus);
    if (!message)
        return Outcome::kRunning;
    const bool ended = GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
    if (!ended && error) {
        GError* e = nullptr;
        gst_message_parse_error(message, &e, nullptr);
        *error = e ? e->message : "GStreamer reported an error.";
        if (e)
            g_error_free(e);
    }
    gst_message_unref(message);
    return ended ? Outcome::kEnded : Outcome::kFailed;
}

}  // namespace zolvex
