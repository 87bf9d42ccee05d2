// The GStreamer element "zolvexsrc": a bin with two source elements, one per pin,
// exposed as the ghost pads "video" and "audio". GStreamer's base source gives each
// its streaming task; the element maps the framework onto the pins: caps ↔ media
// types, task start ↔ streaming-thread creation, flushing seeks ↔ repositioning,
// QoS events ↔ quality notices, the duration query ↔ the stream length.
#include "filter/timeline/gst/GstTavmSource.h"

#include <gst/audio/audio.h>
#include <gst/base/gstbasesrc.h>
#include <gst/gst.h>

#include <cmath>
#include <cstring>

#include "filter/timeline/stream/TavmSource.h"

using zolvex::AudioBlock;
using zolvex::CTavmSource;
using zolvex::MediaType;
using zolvex::VideoFrame;

namespace {

constexpr int64_t kNsPerUnit = 100;  // the pins count in 100-ns units

// ---- one pin's source element ------------------------------------------------------

struct PinSrc {
    GstBaseSrc parent;
    CTavmSource* source;  // the bin holds the reference
    gboolean startPlay;   // the next buffer starts playing
    int agreedWidth, agreedHeight, agreedChannels;
};

struct PinSrcClass {
    GstBaseSrcClass parent_class;
};

GType VideoPinSrcType();
GType AudioPinSrcType();

PinSrc* AsPin(GstBaseSrc* src) { return reinterpret_cast<PinSrc*>(src); }
bool IsVideo(GstBaseSrc* src) { return G_TYPE_CHECK_INSTANCE_TYPE(src, VideoPinSrcType()); }

GstCaps* VideoCaps(int width, int height)
{
    return gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGR", "width", G_TYPE_INT, width, "height",
                               G_TYPE_INT, height, "framerate", GST_TYPE_FRACTION, 0, 1, "pixel-aspect-ratio",
                               GST_TYPE_FRACTION, 1, 1, nullptr);
}

GstCaps* AudioCaps(int channels)
{
    GstCaps* caps = gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "layout", G_TYPE_STRING,
                                        "interleaved", "rate", G_TYPE_INT, zolvex::CTavmMixer::kSampleRate,
                                        "channels", G_TYPE_INT, channels, nullptr);
    if (channels > 2)
        gst_caps_set_simple(caps, "channel-mask", GST_TYPE_BITMASK,
                            gst_audio_channel_get_fallback_mask(channels), nullptr);
    return caps;
}

GstCaps* PinGetCaps(GstBaseSrc* src, GstCaps* filter)
{
    PinSrc* self = AsPin(src);
    GstCaps* caps = nullptr;
    if (!self->source) {
        caps = gst_pad_get_pad_template_caps(GST_BASE_SRC_PAD(src));
    } else {
        MediaType type;
        if (IsVideo(src)) {
            self->source->VideoPin().GetMediaType(0, &type);
            caps = VideoCaps(type.video.bmiHeader.biWidth, type.video.bmiHeader.biHeight);
        } else {
            self->source->AudioPin().GetMediaType(0, &type);
            caps = AudioCaps(type.audio.nChannels);
        }
    }
    if (filter) {
        GstCaps* both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
        gst_caps_unref(caps);
        caps = both;
    }
    return caps;
}

// Agreeing a type replaces the pin's producer or mixer; the same type again (a
// renegotiation after a seek, say) is no new agreement, so the timeline handed to
// the producer stays.
gboolean PinSetCaps(GstBaseSrc* src, GstCaps* caps)
{
    PinSrc* self = AsPin(src);
    if (!self->source || gst_caps_get_size(caps) < 1)
        return FALSE;
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    MediaType type;
    if (IsVideo(src)) {
        int width = 0, height = 0;
        if (!gst_structure_get_int(s, "width", &width) || !gst_structure_get_int(s, "height", &height))
            return FALSE;
        zolvex::CTavmVideoPin& pin = self->source->VideoPin();
        pin.GetMediaType(0, &type);
        type.video.bmiHeader.biWidth = width;
        type.video.bmiHeader.biHeight = height;
        if (pin.CheckMediaType(type) != S_OK)
            return FALSE;
        if (width != self->agreedWidth || height != self->agreedHeight) {
            if (pin.SetMediaType(type) != S_OK)
                return FALSE;
            self->agreedWidth = width;
            self->agreedHeight = height;
        }
    } else {
        int channels = 0;
        if (!gst_structure_get_int(s, "channels", &channels))
            return FALSE;
        zolvex::CTavmAudioPin& pin = self->source->AudioPin();
        pin.GetMediaType(0, &type);
        type.audio.nChannels = uint16_t(channels);
        if (pin.CheckMediaType(type) != S_OK)
            return FALSE;
        if (channels != self->agreedChannels) {
            if (pin.SetMediaType(type) != S_OK)
                return FALSE;
            self->agreedChannels = channels;
        }
    }
    return TRUE;
}

gboolean PinStart(GstBaseSrc* src)
{
    PinSrc* self = AsPin(src);
    if (!self->source)
        return FALSE;
    if (IsVideo(src))
        self->source->VideoPin().OnThreadCreate();
    else
        self->source->AudioPin().OnThreadCreate();
    self->startPlay = TRUE;
    return TRUE;
}

// The task stops or is flushed: a stream waiting for the other must not wait on.
gboolean PinHalt(GstBaseSrc* src)
{
    PinSrc* self = AsPin(src);
    if (self->source) {
        if (IsVideo(src))
            self->source->VideoPin().OnThreadHalt();
        else
            self->source->AudioPin().OnThreadHalt();
    }
    return TRUE;
}

gboolean PinUnlockStop(GstBaseSrc*) { return TRUE; }

gboolean PinIsSeekable(GstBaseSrc*) { return TRUE; }

// A seek repositions the pin. The pin's time stamps restart at 0 from the new start
// and already carry the rate, so the segment sent downstream says exactly that.
gboolean PinDoSeek(GstBaseSrc* src, GstSegment* segment)
{
    PinSrc* self = AsPin(src);
    if (!self->source || segment->format != GST_FORMAT_TIME)
        return FALSE;
    const double rate = segment->rate * segment->applied_rate;
    bool restart = false;
    const int64_t start = int64_t(segment->start) / kNsPerUnit;
    if (IsVideo(src)) {
        zolvex::CTavmVideoPin& pin = self->source->VideoPin();
        if (pin.ChangeRate(rate, &restart) != S_OK)
            return FALSE;
        pin.ChangeStart(start);
    } else {
        zolvex::CTavmAudioPin& pin = self->source->AudioPin();
        if (pin.ChangeRate(rate, &restart) != S_OK)
            return FALSE;
        pin.ChangeStart(start);
    }
    segment->applied_rate = rate;
    segment->rate = 1.0;
    segment->time = segment->start;
    segment->start = 0;
    segment->position = 0;
    segment->stop = GST_CLOCK_TIME_NONE;
    self->startPlay = TRUE;
    return TRUE;
}

GstFlowReturn PinCreate(GstBaseSrc* src, guint64, guint, GstBuffer** out)
{
    PinSrc* self = AsPin(src);
    if (!self->source)
        return GST_FLOW_FLUSHING;
    int64_t start = 0, stop = 0;
    bool discontinuity = false;
    GstBuffer* buffer = nullptr;
    if (IsVideo(src)) {
        zolvex::CTavmVideoPin& pin = self->source->VideoPin();
        if (self->startPlay) {
            pin.OnThreadStartPlay();
            self->startPlay = FALSE;
        }
        const VideoFrame frame = pin.FillBuffer();
        if (frame.bEndOfStream)
            return GST_FLOW_EOS;
        const int w = self->agreedWidth, h = self->agreedHeight;
        const size_t row = size_t(w) * 3, stride = (row + 3) & ~size_t(3);
        buffer = gst_buffer_new_allocate(nullptr, stride * size_t(h), nullptr);
        GstMapInfo map;
        if (!buffer || !gst_buffer_map(buffer, &map, GST_MAP_WRITE))
            return GST_FLOW_ERROR;
        if (pin.Width() == w && pin.Height() == h) {
            // GStreamer's rows run from the top; the producer's from the bottom.
            for (int y = 0; y < h; ++y)
                std::memcpy(map.data + size_t(y) * stride, pin.Buffer() + size_t(h - 1 - y) * row, row);
        } else {
            std::memset(map.data, 0, map.size);  // a new size waits for its agreement
            gst_pad_mark_reconfigure(GST_BASE_SRC_PAD(src));
        }
        gst_buffer_unmap(buffer, &map);
        start = frame.llStart;
        stop = frame.llStop;
        discontinuity = frame.bDiscontinuity;
    } else {
        zolvex::CTavmAudioPin& pin = self->source->AudioPin();
        if (self->startPlay) {
            pin.OnThreadStartPlay();
            self->startPlay = FALSE;
        }
        const AudioBlock block = pin.FillBuffer();
        if (block.bEndOfStream)
            return GST_FLOW_EOS;
        buffer = gst_buffer_new_allocate(nullptr, size_t(block.nBytes), nullptr);
        if (!buffer)
            return GST_FLOW_ERROR;
        gst_buffer_fill(buffer, 0, pin.Buffer(), size_t(block.nBytes));
        start = block.llStart;
        stop = block.llStop;
        discontinuity = block.bDiscontinuity;
    }
    GST_BUFFER_PTS(buffer) = GstClockTime(start * kNsPerUnit);
    GST_BUFFER_DURATION(buffer) = GstClockTime((stop - start) * kNsPerUnit);
    if (discontinuity)
        GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
    *out = buffer;
    return GST_FLOW_OK;
}

gboolean PinEvent(GstBaseSrc* src, GstEvent* event)
{
    PinSrc* self = AsPin(src);
    if (GST_EVENT_TYPE(event) == GST_EVENT_QOS && self->source && IsVideo(src)) {
        GstQOSType type;
        gdouble proportion = 1.0;
        GstClockTimeDiff diff;
        GstClockTime timestamp;
        gst_event_parse_qos(event, &type, &proportion, &diff, &timestamp);
        // GStreamer's proportion is the time downstream needs per unit of stream
        // time; the pin's is the share of the stream it can take, in thousandths.
        const long share = proportion > 0 ? long(std::lround(1000.0 / proportion)) : 0;
        self->source->VideoPin().Notify(share);
        return TRUE;
    }
    return GST_BASE_SRC_CLASS(g_type_class_peek_parent(G_OBJECT_GET_CLASS(src)))->event(src, event);
}

gboolean PinQuery(GstBaseSrc* src, GstQuery* query)
{
    PinSrc* self = AsPin(src);
    if (GST_QUERY_TYPE(query) == GST_QUERY_DURATION && self->source) {
        GstFormat format;
        gst_query_parse_duration(query, &format, nullptr);
        if (format == GST_FORMAT_TIME) {
            int64_t length = 0;
            self->source->Control().GetDuration(&length);
            gst_query_set_duration(query, GST_FORMAT_TIME, length * kNsPerUnit);
            return TRUE;
        }
    }
    return GST_BASE_SRC_CLASS(g_type_class_peek_parent(G_OBJECT_GET_CLASS(src)))->query(src, query);
}

void PinInit(PinSrc* self)
{
    self->source = nullptr;
    self->startPlay = TRUE;
    self->agreedWidth = self->agreedHeight = self->agreedChannels = 0;
    gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_TIME);
    gst_base_src_set_live(GST_BASE_SRC(self), FALSE);
}

void PinClassInit(gpointer klass, GstStaticPadTemplate* templ, const char* name)
{
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    GstBaseSrcClass* base = GST_BASE_SRC_CLASS(klass);
    gst_element_class_add_static_pad_template(element, templ);
    gst_element_class_set_static_metadata(element, name, "Source", "One stream of the Zolvex timeline",
                                          "Zolvex Video Studio");
    base->get_caps = PinGetCaps;
    base->set_caps = PinSetCaps;
    base->start = PinStart;
    base->stop = PinHalt;
    base->unlock = PinHalt;
    base->unlock_stop = PinUnlockStop;
    base->is_seekable = PinIsSeekable;
    base->do_seek = PinDoSeek;
    base->create = PinCreate;
    base->event = PinEvent;
    base->query = PinQuery;
}

GstStaticPadTemplate g_videoTemplate = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS("video/x-raw, format=(string)BGR"));
GstStaticPadTemplate g_audioTemplate = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS("audio/x-raw, format=(string)S16LE, rate=(int)44100"));

void VideoClassInit(gpointer klass, gpointer) { PinClassInit(klass, &g_videoTemplate, "Tavm Video"); }
void AudioClassInit(gpointer klass, gpointer) { PinClassInit(klass, &g_audioTemplate, "Tavm Audio"); }
void PinInstanceInit(GTypeInstance* instance, gpointer) { PinInit(reinterpret_cast<PinSrc*>(instance)); }

GType RegisterPinType(const char* name, GClassInitFunc classInit)
{
    const GTypeInfo info = {sizeof(PinSrcClass), nullptr, nullptr, classInit, nullptr, nullptr,
                            sizeof(PinSrc),      0,       PinInstanceInit, nullptr};
    return g_type_register_static(GST_TYPE_BASE_SRC, name, &info, GTypeFlags(0));
}

GType VideoPinSrcType()
{
    static const GType type = RegisterPinType("ZolvexVideoPinSrc", VideoClassInit);
    return type;
}

GType AudioPinSrcType()
{
    static const GType type = RegisterPinType("ZolvexAudioPinSrc", AudioClassInit);
    return type;
}

// ---- the bin -------------------------------------------------------------------------

struct Bridge;

struct TavmBin {
    GstBin parent;
    CTavmSource* source;
    GstElement* video;
    GstElement* audio;
    Bridge* bridge;
};

struct TavmBinClass {
    GstBinClass parent_class;
};

GType TavmBinType();
GstElementClass* g_binParent = nullptr;

enum { kPropFilter = 1 };

// What the filter asks of its host, done on the two source elements.
struct Bridge : zolvex::IStreamHost {
    TavmBin* bin;
    explicit Bridge(TavmBin* b) : bin(b) {}

    void RestartStreams() override
    {
        const int64_t position = bin->source ? bin->source->VideoPin().Position() : 0;
        for (GstElement* child : {bin->video, bin->audio})
            gst_element_seek(child, 1.0, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH, GST_SEEK_TYPE_SET,
                             position * kNsPerUnit, GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
    }
    void RenegotiateVideo() override { gst_pad_mark_reconfigure(GST_BASE_SRC_PAD(bin->video)); }
};

void Attach(TavmBin* self, CTavmSource* source)
{
    if (self->source == source)
        return;
    if (source)
        source->AddRef();
    if (self->source) {
        self->source->SetHost(nullptr);
        self->source->Release();
    }
    self->source = source;
    AsPin(GST_BASE_SRC(self->video))->source = source;
    AsPin(GST_BASE_SRC(self->audio))->source = source;
    if (source)
        source->SetHost(self->bridge);
}

void BinSetProperty(GObject* object, guint id, const GValue* value, GParamSpec* spec)
{
    TavmBin* self = reinterpret_cast<TavmBin*>(object);
    if (id != kPropFilter) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
        return;
    }
    GST_OBJECT_LOCK(self);
    if (self->video && self->audio)
        Attach(self, static_cast<CTavmSource*>(g_value_get_pointer(value)));
    GST_OBJECT_UNLOCK(self);
}

void BinGetProperty(GObject* object, guint id, GValue* value, GParamSpec* spec)
{
    TavmBin* self = reinterpret_cast<TavmBin*>(object);
    if (id != kPropFilter) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
        return;
    }
    g_value_set_pointer(value, self->source);
}

GstStateChangeReturn BinChangeState(GstElement* element, GstStateChange transition)
{
    TavmBin* self = reinterpret_cast<TavmBin*>(element);
    if (transition == GST_STATE_CHANGE_NULL_TO_READY && !self->source) {
        // Made by name with no filter given: the element makes its own.
        CTavmSource* source = CTavmSource::Create();
        if (!source)
            return GST_STATE_CHANGE_FAILURE;
        Attach(self, source);
        source->Release();
    }
    return g_binParent->change_state(element, transition);
}

// The children still exist here (the bin's own dispose drops them), so they can be
// told that the filter goes.
void BinDispose(GObject* object)
{
    TavmBin* self = reinterpret_cast<TavmBin*>(object);
    if (self->video && self->audio)
        Attach(self, nullptr);
    self->video = self->audio = nullptr;
    G_OBJECT_CLASS(g_binParent)->dispose(object);
}

void BinFinalize(GObject* object)
{
    TavmBin* self = reinterpret_cast<TavmBin*>(object);
    delete self->bridge;
    G_OBJECT_CLASS(g_binParent)->finalize(object);
}

GstStaticPadTemplate g_binVideo = GST_STATIC_PAD_TEMPLATE("video", GST_PAD_SRC, GST_PAD_ALWAYS,
                                                          GST_STATIC_CAPS("video/x-raw, format=(string)BGR"));
GstStaticPadTemplate g_binAudio = GST_STATIC_PAD_TEMPLATE(
    "audio", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS("audio/x-raw, format=(string)S16LE, rate=(int)44100"));

void BinClassInit(gpointer klass, gpointer)
{
    g_binParent = GST_ELEMENT_CLASS(g_type_class_peek_parent(klass));
    GObjectClass* object = G_OBJECT_CLASS(klass);
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    object->set_property = BinSetProperty;
    object->get_property = BinGetProperty;
    object->dispose = BinDispose;
    object->finalize = BinFinalize;
    g_object_class_install_property(
        object, kPropFilter,
        g_param_spec_pointer("filter", "Filter", "The rendering filter (an IUnknown of the Tavm source)",
                             GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    element->change_state = BinChangeState;
    gst_element_class_add_static_pad_template(element, &g_binVideo);
    gst_element_class_add_static_pad_template(element, &g_binAudio);
    gst_element_class_set_static_metadata(element, zolvex::kTavmFilterName, "Source/Video/Audio",
                                          "Renders a Zolvex timeline as a video and an audio stream",
                                          "Zolvex Video Studio");
}

void BinInstanceInit(GTypeInstance* instance, gpointer)
{
    TavmBin* self = reinterpret_cast<TavmBin*>(instance);
    self->source = nullptr;
    self->bridge = new Bridge(self);
    self->video = GST_ELEMENT(g_object_new(VideoPinSrcType(), "name", "video", nullptr));
    self->audio = GST_ELEMENT(g_object_new(AudioPinSrcType(), "name", "audio", nullptr));
    gst_bin_add_many(GST_BIN(self), self->video, self->audio, nullptr);
    for (GstElement* child : {self->video, self->audio}) {
        GstPad* target = gst_element_get_static_pad(child, "src");
        GstPad* ghost = gst_ghost_pad_new(child == self->video ? "video" : "audio", target);
        gst_pad_set_active(ghost, TRUE);
        gst_element_add_pad(GST_ELEMENT(self), ghost);
        gst_object_unref(target);
    }
}

GType TavmBinType()
{
    static const GType type = [] {
        const GTypeInfo info = {sizeof(TavmBinClass), nullptr, nullptr, BinClassInit, nullptr, nullptr,
                                sizeof(TavmBin),      0,       BinInstanceInit, nullptr};
        return g_type_register_static(GST_TYPE_BIN, "ZolvexTavmSource", &info, GTypeFlags(0));
    }();
    return type;
}

}  // namespace

namespace zolvex {

bool RegisterTavmElement()
{
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
    return gst_element_register(nullptr, kTavmElementName, GST_RANK_NONE, TavmBinType());
}

}  // namespace zolvex
