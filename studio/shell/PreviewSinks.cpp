#include "studio/shell/PreviewSinks.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace zolvex {
namespace studio {

namespace {

GstElement* Make(const char* factory, const char* name, std::string* error)
{
    GstElement* e = gst_element_factory_make(factory, name);
    if (!e && error)
        *error = std::string("The GStreamer element \"") + factory + "\" is missing.";
    return e;
}

// A bin of `elements`, linked in order, with a ghost "sink" pad; the elements go
// with it when any is missing.
GstElement* Chain(const char* name, std::initializer_list<GstElement*> elements, std::string* error)
{
    for (GstElement* e : elements) {
        if (!e) {
            for (GstElement* other : elements)
                if (other)
                    gst_object_unref(gst_object_ref_sink(other));
            return nullptr;
        }
    }
    GstElement* bin = gst_bin_new(name);
    GstElement* previous = nullptr;
    for (GstElement* e : elements) {
        gst_bin_add(GST_BIN(bin), e);
        if (previous && !gst_element_link(previous, e)) {
            if (error)
                *error = "The preview's sink elements could not be linked.";
            gst_object_unref(gst_object_ref_sink(bin));
            return nullptr;
        }
        previous = e;
    }
    GstPad* target = gst_element_get_static_pad(*elements.begin(), "sink");
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", target));
    gst_object_unref(target);
    return bin;
}

void Deliver(GstSample* sample, IPreviewListener* listener)
{
    if (!sample)
        return;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstCaps* caps = gst_sample_get_caps(sample);
    GstVideoInfo info;
    GstMapInfo map;
    if (listener && buffer && caps && gst_video_info_from_caps(&info, caps) &&
        gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        PreviewFrame picture;
        picture.width = GST_VIDEO_INFO_WIDTH(&info);
        picture.height = GST_VIDEO_INFO_HEIGHT(&info);
        picture.stride = size_t(GST_VIDEO_INFO_PLANE_STRIDE(&info, 0));
        if (map.size >= picture.stride * size_t(picture.height) && picture.width > 0 && picture.height > 0) {
            picture.bgr = map.data;
            const GstSegment* segment = gst_sample_get_segment(sample);
            const GstClockTime pts = GST_BUFFER_PTS(buffer);
            if (GST_CLOCK_TIME_IS_VALID(pts)) {
                const guint64 t =
                    segment ? gst_segment_to_stream_time(segment, GST_FORMAT_TIME, pts) : guint64(pts);
                if (t != guint64(-1))
                    picture.time = int64_t(t / 100);
            }
            listener->PreviewPicture(picture);
        }
        gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(sample);
}

GstFlowReturn OnPreroll(GstAppSink* sink, gpointer data)
{
    Deliver(gst_app_sink_pull_preroll(sink), static_cast<IPreviewListener*>(data));
    return GST_FLOW_OK;
}

GstFlowReturn OnSample(GstAppSink* sink, gpointer data)
{
    Deliver(gst_app_sink_pull_sample(sink), static_cast<IPreviewListener*>(data));
    return GST_FLOW_OK;
}

// The first sound sink that opens its device, or nullptr.
GstElement* OpenSoundDevice()
{
    const char* wanted = std::getenv("ZOLVEX_AUDIO_SINK");
    if (wanted && std::strcmp(wanted, "fake") == 0)
        return nullptr;
    for (const char* factory : {"pulsesink", "alsasink"}) {
        GstElement* sink = gst_element_factory_make(factory, nullptr);
        if (!sink)
            continue;
        gst_object_ref_sink(sink);
        // Opening the device is the step from NULL to READY; a sink that cannot is
        // no use, and neither is a sound server that is not there.
        const bool opens = gst_element_set_state(sink, GST_STATE_READY) == GST_STATE_CHANGE_SUCCESS;
        gst_element_set_state(sink, GST_STATE_NULL);
        if (opens)
            return sink;  // the bin takes over the reference
        gst_object_unref(sink);
    }
    return nullptr;
}

}  // namespace

GstElement* MakePictureSink(IPreviewListener* listener, std::string* error)
{
    GstElement* convert = Make("videoconvert", nullptr, error);
    GstElement* sink = Make("appsink", "pictures", error);
    if (sink) {
        GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGR", nullptr);
        g_object_set(sink, "caps", caps, "sync", TRUE, "max-buffers", 1u, "drop", TRUE, "emit-signals", FALSE,
                     nullptr);
        gst_caps_unref(caps);
        GstAppSinkCallbacks callbacks;
        std::memset(&callbacks, 0, sizeof callbacks);
        callbacks.new_preroll = OnPreroll;
        callbacks.new_sample = OnSample;
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, listener, nullptr);
    }
    return Chain("picture-sink", {convert, sink}, error);
}

GstElement* MakeSoundSink(bool* silent, std::string* error)
{
    GstElement* device = OpenSoundDevice();
    if (silent)
        *silent = device == nullptr;
    GstElement* sink = device;
    if (!sink) {
        // No device: the sound is taken at the clock's pace, so the pictures keep theirs.
        sink = Make("fakesink", nullptr, error);
        if (sink)
            g_object_set(sink, "sync", TRUE, nullptr);
    }
    GstElement* bin = Chain("sound-sink", {Make("audioconvert", nullptr, error), Make("volume", "volume", error),
                                           Make("audioconvert", nullptr, error), Make("audioresample", nullptr, error),
                                           sink},
                            error);
    if (device)
        gst_object_unref(device);  // the bin holds it now
    return bin;
}

int VolumeHundredths(int index)
{
    index = std::clamp(index, 0, 100);
    return (index * 5000 - 500000) / 100;
}

double LinearVolume(int hundredths)
{
    if (hundredths <= -5000)
        return 0.0;
    return std::pow(10.0, double(std::min(hundredths, 0)) / 2000.0);
}

void SetSinkVolume(GstElement* bin, double linear)
{
    if (!bin)
        return;
    // Found inside child bins too.
    GstElement* volume = GST_IS_BIN(bin) ? gst_bin_get_by_name(GST_BIN(bin), "volume") : nullptr;
    if (volume) {
        g_object_set(volume, "volume", linear, nullptr);
        gst_object_unref(volume);
    }
}

}  // namespace studio
}  // namespace zolvex
