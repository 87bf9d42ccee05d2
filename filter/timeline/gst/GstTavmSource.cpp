// The GStreamer element "zolvexsrc": a bin with two source elements, one per pin,
// exposed as the ghost pads "video" and "audio". GStreamer's base source gives each
// its streaming task; the element maps the framework onto the pins: caps ↔ media
// types, task start ↔ streaming-thread creation, flushing seeks ↔ repositioning,
// QoS events ↔ quality notices, the duration query ↔ the stream length.
#include "filter/timeline/gst/GstTavmSource.h"

#include <gst/audio/audio.h>
#include <gst/base/gstbasesrc.h>
#include <gst/gst.h>
#include <gst/video/gstvideopool.h>
#include <gst/video/video.h>

#include <cmath>
#include <cstring>

#include "filter/timeline/stream/TavmSource.h"

using zolvex::AudioBlock;
using zolvex::CTavmSource;
using zolvex::MediaType;
using zolvex::VideoFrame;

namespace {

constexpr int64_t kNsPerUnit = 100;  // the pins count in 100-ns units

// Every log line of the element and its two sources goes to one category, so
// GST_DEBUG=zolvexsrc:5 shows what the timeline's streams do.
GST_DEBUG_CATEGORY_STATIC(zolvex_src_debug);
#define GST_CAT_DEFAULT zolvex_src_debug

void InitDebugCategory() { GST_DEBUG_CATEGORY_INIT(zolvex_src_debug, "zolvexsrc", 0, "Zolvex timeline source"); }

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

// The audio pads' template names the mixer's rate, which a static template could
// only repeat as a literal.
void AddAudioTemplate(GstElementClass* element, const char* name)
{
    GstCaps* caps = gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "rate", G_TYPE_INT,
                                        zolvex::CTavmMixer::kSampleRate, nullptr);
    gst_element_class_add_pad_template(element, gst_pad_template_new(name, GST_PAD_SRC, GST_PAD_ALWAYS, caps));
    gst_caps_unref(caps);
}

// ---- one pin's source element ------------------------------------------------------

// What both pads' sources share; ZolvexVideoPinSrc and ZolvexAudioPinSrc fill in
// what tells a stream of frames from a stream of blocks.
struct ZolvexPinSrc {
    GstBaseSrc parent;
    CTavmSource* source;  // the bin holds the reference
    gboolean startPlay;   // the next buffer starts playing
};

struct ZolvexPinSrcClass {
    GstBaseSrcClass parent_class;

    zolvex::CTavmPin& (*pin)(CTavmSource& source);
    GstCaps* (*caps)(const MediaType& type);
    // The fields of agreed caps written into the pin's type; FALSE when missing.
    gboolean (*read_caps)(const GstStructure* s, MediaType* type);
    // Whether `type` is the one agreed last; `agree` notes a new agreement.
    gboolean (*agreed)(ZolvexPinSrc* self, const MediaType& type);
    void (*agree)(ZolvexPinSrc* self, const MediaType& type);
    // A fresh pool for buffers of the agreed format, and the size of its buffers.
    GstBufferPool* (*new_pool)(ZolvexPinSrc* self, guint* size);
    // The pin makes its next piece in its own buffer ...
    void (*next)(ZolvexPinSrc* self, zolvex::StreamTimes* times);
    // ... which goes into `data` (`size` bytes): the bytes used, -1 when it cannot.
    gssize (*copy)(ZolvexPinSrc* self, guint8* data, gsize size);
};

G_DEFINE_ABSTRACT_TYPE_WITH_CODE(ZolvexPinSrc, zolvex_pin_src, GST_TYPE_BASE_SRC, InitDebugCategory())

ZolvexPinSrc* AsPin(GstBaseSrc* src) { return G_TYPE_CHECK_INSTANCE_CAST(src, zolvex_pin_src_get_type(), ZolvexPinSrc); }
ZolvexPinSrcClass* PinClass(ZolvexPinSrc* self)
{
    return G_TYPE_INSTANCE_GET_CLASS(self, zolvex_pin_src_get_type(), ZolvexPinSrcClass);
}

GstCaps* PinGetCaps(GstBaseSrc* src, GstCaps* filter)
{
    ZolvexPinSrc* self = AsPin(src);
    GstCaps* caps = nullptr;
    if (!self->source) {
        caps = gst_pad_get_pad_template_caps(GST_BASE_SRC_PAD(src));
    } else {
        MediaType type;
        ZolvexPinSrcClass* klass = PinClass(self);
        klass->pin(*self->source).GetMediaType(0, &type);
        caps = klass->caps(type);
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
    ZolvexPinSrc* self = AsPin(src);
    if (!self->source || gst_caps_get_size(caps) < 1)
        return FALSE;
    ZolvexPinSrcClass* klass = PinClass(self);
    zolvex::CTavmPin& pin = klass->pin(*self->source);
    MediaType type;
    pin.GetMediaType(0, &type);
    if (!klass->read_caps(gst_caps_get_structure(caps, 0), &type) || pin.CheckMediaType(type) != S_OK) {
        GST_WARNING_OBJECT(self, "refusing caps %" GST_PTR_FORMAT, caps);
        return FALSE;
    }
    if (!klass->agreed(self, type)) {
        if (pin.SetMediaType(type) != S_OK) {
            GST_WARNING_OBJECT(self, "the pin did not take caps %" GST_PTR_FORMAT, caps);
            return FALSE;
        }
        klass->agree(self, type);
        GST_DEBUG_OBJECT(self, "agreed caps %" GST_PTR_FORMAT, caps);
    }
    return TRUE;
}

// Our own pool always: a downstream pool's buffers need not have the layout the
// copy writes. Downstream's wish for buffers in flight still counts. The base class
// activates the pool once the format is agreed and deactivates it on flushes and
// when the task stops; a new size brings a new pool.
gboolean PinDecideAllocation(GstBaseSrc* src, GstQuery* query)
{
    ZolvexPinSrc* self = AsPin(src);
    GstCaps* caps = nullptr;
    gst_query_parse_allocation(query, &caps, nullptr);
    if (!caps) {
        GST_WARNING_OBJECT(self, "allocation without caps");
        return FALSE;
    }
    guint size = 0, min = 0, max = 0;
    GstBufferPool* pool = PinClass(self)->new_pool(self, &size);
    const bool offered = gst_query_get_n_allocation_pools(query) > 0;
    if (offered) {
        guint offeredSize = 0;
        gst_query_parse_nth_allocation_pool(query, 0, nullptr, &offeredSize, &min, &max);
    }
    GstStructure* config = gst_buffer_pool_get_config(pool);
    gst_buffer_pool_config_set_params(config, caps, size, min, 0);
    if (!gst_buffer_pool_set_config(pool, config)) {
        GST_WARNING_OBJECT(self, "the pool refused buffers of %u bytes", size);
        gst_object_unref(pool);
        return FALSE;
    }
    if (offered)
        gst_query_set_nth_allocation_pool(query, 0, pool, size, min, 0);
    else
        gst_query_add_allocation_pool(query, pool, size, min, 0);
    gst_object_unref(pool);
    GST_DEBUG_OBJECT(self, "a pool of %u-byte buffers, at least %u", size, min);
    return TRUE;
}

gboolean PinStart(GstBaseSrc* src)
{
    ZolvexPinSrc* self = AsPin(src);
    if (!self->source)
        return FALSE;
    PinClass(self)->pin(*self->source).OnThreadCreate();
    self->startPlay = TRUE;
    return TRUE;
}

// The task stops or is flushed: a stream waiting for the other must not wait on.
gboolean PinHalt(GstBaseSrc* src)
{
    ZolvexPinSrc* self = AsPin(src);
    if (self->source)
        PinClass(self)->pin(*self->source).OnThreadHalt();
    return TRUE;
}

gboolean PinUnlockStop(GstBaseSrc*) { return TRUE; }

gboolean PinIsSeekable(GstBaseSrc*) { return TRUE; }

// A seek repositions the pin. The pin's time stamps restart at 0 from the new start
// and already carry the rate, so the segment sent downstream says exactly that.
gboolean PinDoSeek(GstBaseSrc* src, GstSegment* segment)
{
    ZolvexPinSrc* self = AsPin(src);
    if (!self->source || segment->format != GST_FORMAT_TIME)
        return FALSE;
    const double rate = segment->rate * segment->applied_rate;
    bool restart = false;
    zolvex::CTavmPin& pin = PinClass(self)->pin(*self->source);
    if (pin.ChangeRate(rate, &restart) != S_OK) {
        GST_WARNING_OBJECT(self, "refusing the rate %f", rate);
        return FALSE;
    }
    pin.ChangeStart(int64_t(segment->start) / kNsPerUnit);
    GST_DEBUG_OBJECT(self, "seek to %" GST_TIME_FORMAT " at rate %f", GST_TIME_ARGS(segment->start), rate);
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
    ZolvexPinSrc* self = AsPin(src);
    if (!self->source)
        return GST_FLOW_FLUSHING;
    ZolvexPinSrcClass* klass = PinClass(self);
    if (self->startPlay) {
        klass->pin(*self->source).OnThreadStartPlay();
        self->startPlay = FALSE;
    }
    zolvex::StreamTimes times;
    klass->next(self, &times);
    if (times.bEndOfStream) {
        GST_DEBUG_OBJECT(self, "end of the stream");
        return GST_FLOW_EOS;
    }

    GstBufferPool* pool = gst_base_src_get_buffer_pool(src);
    if (!pool) {
        GST_ELEMENT_ERROR(self, CORE, NEGOTIATION, ("The stream has no buffers to fill."),
                          ("no buffer pool after negotiation"));
        return GST_FLOW_ERROR;
    }
    GstBuffer* buffer = nullptr;
    const GstFlowReturn acquired = gst_buffer_pool_acquire_buffer(pool, &buffer, nullptr);
    gst_object_unref(pool);
    if (acquired == GST_FLOW_FLUSHING)
        return acquired;  // a flush or the stop: not a failure
    if (acquired != GST_FLOW_OK) {
        GST_ELEMENT_ERROR(self, RESOURCE, FAILED, ("Could not get a buffer for the stream."),
                          ("the buffer pool answered %s", gst_flow_get_name(acquired)));
        return GST_FLOW_ERROR;
    }
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        const gsize size = gst_buffer_get_size(buffer);
        gst_buffer_unref(buffer);
        GST_ELEMENT_ERROR(self, RESOURCE, WRITE, ("Could not write into the stream's buffer."),
                          ("mapping a buffer of %" G_GSIZE_FORMAT " bytes for writing failed", size));
        return GST_FLOW_ERROR;
    }
    const gsize capacity = map.size;
    const gssize used = klass->copy(self, map.data, capacity);
    gst_buffer_unmap(buffer, &map);
    if (used < 0) {
        gst_buffer_unref(buffer);
        GST_ELEMENT_ERROR(self, STREAM, FAILED, ("The stream's piece does not fit its buffer."),
                          ("%" G_GSIZE_FORMAT "-byte buffer", capacity));
        return GST_FLOW_ERROR;
    }
    if (gsize(used) != capacity)
        gst_buffer_set_size(buffer, used);
    GST_BUFFER_PTS(buffer) = GstClockTime(times.llStart * kNsPerUnit);
    GST_BUFFER_DURATION(buffer) = GstClockTime((times.llStop - times.llStart) * kNsPerUnit);
    if (times.bDiscontinuity)
        GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
    *out = buffer;
    return GST_FLOW_OK;
}

gboolean PinQuery(GstBaseSrc* src, GstQuery* query)
{
    ZolvexPinSrc* self = AsPin(src);
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
    return GST_BASE_SRC_CLASS(zolvex_pin_src_parent_class)->query(src, query);
}

void zolvex_pin_src_init(ZolvexPinSrc* self)
{
    self->source = nullptr;
    self->startPlay = TRUE;
    gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_TIME);
    gst_base_src_set_live(GST_BASE_SRC(self), FALSE);
}

void zolvex_pin_src_class_init(ZolvexPinSrcClass* klass)
{
    GstBaseSrcClass* base = GST_BASE_SRC_CLASS(klass);
    base->get_caps = PinGetCaps;
    base->set_caps = PinSetCaps;
    base->decide_allocation = PinDecideAllocation;
    base->start = PinStart;
    base->stop = PinHalt;
    base->unlock = PinHalt;
    base->unlock_stop = PinUnlockStop;
    base->is_seekable = PinIsSeekable;
    base->do_seek = PinDoSeek;
    base->create = PinCreate;
    base->query = PinQuery;
}

void SetPinMetadata(GstElementClass* element, const char* name)
{
    gst_element_class_set_static_metadata(element, name, "Source", "One stream of the Zolvex timeline",
                                          "Zolvex Video Studio");
}

// ---- the video pad: frames ---------------------------------------------------------

struct ZolvexVideoPinSrc {
    ZolvexPinSrc parent;
    GstVideoInfo info;  // the agreed frame: size, stride
};

struct ZolvexVideoPinSrcClass {
    ZolvexPinSrcClass parent_class;
};

G_DEFINE_TYPE(ZolvexVideoPinSrc, zolvex_video_pin_src, zolvex_pin_src_get_type())

ZolvexVideoPinSrc* AsVideo(ZolvexPinSrc* self) { return reinterpret_cast<ZolvexVideoPinSrc*>(self); }
zolvex::CTavmVideoPin& VideoPin(ZolvexPinSrc* self) { return self->source->VideoPin(); }

zolvex::CTavmPin& VideoPinOf(CTavmSource& source) { return source.VideoPin(); }

GstCaps* VideoTypeCaps(const MediaType& type)
{
    return VideoCaps(type.video.bmiHeader.biWidth, type.video.bmiHeader.biHeight);
}

gboolean VideoReadCaps(const GstStructure* s, MediaType* type)
{
    int width = 0, height = 0;
    if (!gst_structure_get_int(s, "width", &width) || !gst_structure_get_int(s, "height", &height))
        return FALSE;
    type->video.bmiHeader.biWidth = width;
    type->video.bmiHeader.biHeight = height;
    return TRUE;
}

gboolean VideoAgreed(ZolvexPinSrc* self, const MediaType& type)
{
    const GstVideoInfo& info = AsVideo(self)->info;
    return GST_VIDEO_INFO_WIDTH(&info) == type.video.bmiHeader.biWidth &&
           GST_VIDEO_INFO_HEIGHT(&info) == type.video.bmiHeader.biHeight;
}

void VideoAgree(ZolvexPinSrc* self, const MediaType& type)
{
    gst_video_info_set_format(&AsVideo(self)->info, GST_VIDEO_FORMAT_BGR, guint(type.video.bmiHeader.biWidth),
                              guint(type.video.bmiHeader.biHeight));
}

GstBufferPool* VideoNewPool(ZolvexPinSrc* self, guint* size)
{
    *size = guint(GST_VIDEO_INFO_SIZE(&AsVideo(self)->info));
    return gst_video_buffer_pool_new();
}

void VideoNext(ZolvexPinSrc* self, zolvex::StreamTimes* times) { *times = VideoPin(self).FillBuffer(); }

gssize VideoCopy(ZolvexPinSrc* self, guint8* data, gsize size)
{
    const GstVideoInfo& info = AsVideo(self)->info;
    const int w = GST_VIDEO_INFO_WIDTH(&info), h = GST_VIDEO_INFO_HEIGHT(&info);
    const size_t stride = size_t(GST_VIDEO_INFO_PLANE_STRIDE(&info, 0));
    if (size < GST_VIDEO_INFO_SIZE(&info))
        return -1;
    const zolvex::CTavmVideoPin& pin = VideoPin(self);
    if (!self->source->PicturesWatched() && pin.Width() == w && pin.Height() == h)
        return gssize(size);  // nobody looks: the buffer carries only the time
    if (pin.Width() == w && pin.Height() == h) {
        // GStreamer's rows run from the top; the producer's from the bottom, unpadded.
        const size_t row = size_t(w) * 3;
        for (int y = 0; y < h; ++y)
            std::memcpy(data + size_t(y) * stride, pin.Buffer() + size_t(h - 1 - y) * row, row);
    } else {
        std::memset(data, 0, size);  // a new size waits for its agreement
        gst_pad_mark_reconfigure(GST_BASE_SRC_PAD(&self->parent));
    }
    return gssize(size);
}

// A quality notice from downstream goes to the producer.
gboolean VideoEvent(GstBaseSrc* src, GstEvent* event)
{
    ZolvexPinSrc* self = AsPin(src);
    if (GST_EVENT_TYPE(event) == GST_EVENT_QOS && self->source) {
        GstQOSType type;
        gdouble proportion = 1.0;
        GstClockTimeDiff diff;
        GstClockTime timestamp;
        gst_event_parse_qos(event, &type, &proportion, &diff, &timestamp);
        // GStreamer's proportion is the time downstream needs per unit of stream
        // time; the pin's is the share of the stream it can take, in thousandths.
        const long share = proportion > 0 ? long(std::lround(1000.0 / proportion)) : 0;
        GST_DEBUG_OBJECT(self, "quality notice: proportion %f", proportion);
        VideoPin(self).Notify(share);
        return TRUE;
    }
    return GST_BASE_SRC_CLASS(zolvex_video_pin_src_parent_class)->event(src, event);
}

GstStaticPadTemplate g_videoTemplate = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS("video/x-raw, format=(string)BGR"));

void zolvex_video_pin_src_init(ZolvexVideoPinSrc* self) { gst_video_info_init(&self->info); }

void zolvex_video_pin_src_class_init(ZolvexVideoPinSrcClass* klass)
{
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(element, &g_videoTemplate);
    SetPinMetadata(element, "Tavm Video");
    GST_BASE_SRC_CLASS(klass)->event = VideoEvent;
    ZolvexPinSrcClass* pin = &klass->parent_class;
    pin->pin = VideoPinOf;
    pin->caps = VideoTypeCaps;
    pin->read_caps = VideoReadCaps;
    pin->agreed = VideoAgreed;
    pin->agree = VideoAgree;
    pin->new_pool = VideoNewPool;
    pin->next = VideoNext;
    pin->copy = VideoCopy;
}

// ---- the audio pad: blocks ---------------------------------------------------------

struct ZolvexAudioPinSrc {
    ZolvexPinSrc parent;
    int agreedChannels;
    int blockBytes;  // of the block the pin made last
};

struct ZolvexAudioPinSrcClass {
    ZolvexPinSrcClass parent_class;
};

G_DEFINE_TYPE(ZolvexAudioPinSrc, zolvex_audio_pin_src, zolvex_pin_src_get_type())

ZolvexAudioPinSrc* AsAudio(ZolvexPinSrc* self) { return reinterpret_cast<ZolvexAudioPinSrc*>(self); }
zolvex::CTavmAudioPin& AudioPin(ZolvexPinSrc* self) { return self->source->AudioPin(); }

zolvex::CTavmPin& AudioPinOf(CTavmSource& source) { return source.AudioPin(); }

GstCaps* AudioTypeCaps(const MediaType& type) { return AudioCaps(type.audio.nChannels); }

gboolean AudioReadCaps(const GstStructure* s, MediaType* type)
{
    int channels = 0;
    if (!gst_structure_get_int(s, "channels", &channels))
        return FALSE;
    type->audio.nChannels = uint16_t(channels);
    return TRUE;
}

gboolean AudioAgreed(ZolvexPinSrc* self, const MediaType& type)
{
    return AsAudio(self)->agreedChannels == type.audio.nChannels;
}

void AudioAgree(ZolvexPinSrc* self, const MediaType& type) { AsAudio(self)->agreedChannels = type.audio.nChannels; }

GstBufferPool* AudioNewPool(ZolvexPinSrc* self, guint* size)
{
    *size = AudioPin(self).BufferSize();
    return gst_buffer_pool_new();
}

void AudioNext(ZolvexPinSrc* self, zolvex::StreamTimes* times)
{
    const AudioBlock block = AudioPin(self).FillBuffer();
    AsAudio(self)->blockBytes = block.nBytes;
    *times = block;
}

gssize AudioCopy(ZolvexPinSrc* self, guint8* data, gsize size)
{
    const int bytes = AsAudio(self)->blockBytes;
    if (bytes < 0 || gsize(bytes) > size)
        return -1;
    std::memcpy(data, AudioPin(self).Buffer(), size_t(bytes));
    return bytes;
}

void zolvex_audio_pin_src_init(ZolvexAudioPinSrc* self) { self->agreedChannels = self->blockBytes = 0; }

void zolvex_audio_pin_src_class_init(ZolvexAudioPinSrcClass* klass)
{
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    AddAudioTemplate(element, "src");
    SetPinMetadata(element, "Tavm Audio");
    ZolvexPinSrcClass* pin = &klass->parent_class;
    pin->pin = AudioPinOf;
    pin->caps = AudioTypeCaps;
    pin->read_caps = AudioReadCaps;
    pin->agreed = AudioAgreed;
    pin->agree = AudioAgree;
    pin->new_pool = AudioNewPool;
    pin->next = AudioNext;
    pin->copy = AudioCopy;
}

// ---- the bin -------------------------------------------------------------------------

struct Bridge;

struct ZolvexTavmSource {
    GstBin parent;
    CTavmSource* source;
    GstElement* video;
    GstElement* audio;
    Bridge* bridge;
};

struct ZolvexTavmSourceClass {
    GstBinClass parent_class;
};

G_DEFINE_TYPE_WITH_CODE(ZolvexTavmSource, zolvex_tavm_source, GST_TYPE_BIN, InitDebugCategory())

ZolvexTavmSource* AsBin(gpointer object)
{
    return G_TYPE_CHECK_INSTANCE_CAST(object, zolvex_tavm_source_get_type(), ZolvexTavmSource);
}

enum { kPropFilter = 1 };

// What the filter asks of its host, done on the two source elements.
struct Bridge : zolvex::IStreamHost {
    ZolvexTavmSource* bin;
    explicit Bridge(ZolvexTavmSource* b) : bin(b) {}

    void RestartStreams() override
    {
        const int64_t position = bin->source ? bin->source->VideoPin().Position() : 0;
        GST_DEBUG_OBJECT(bin, "restarting both streams at %" G_GINT64_FORMAT, position);
        for (GstElement* child : {bin->video, bin->audio})
            gst_element_seek(child, 1.0, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH, GST_SEEK_TYPE_SET,
                             position * kNsPerUnit, GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
    }
    void RenegotiateVideo() override
    {
        GST_DEBUG_OBJECT(bin, "the frame size changed");
        gst_pad_mark_reconfigure(GST_BASE_SRC_PAD(bin->video));
    }
};

void Attach(ZolvexTavmSource* self, CTavmSource* source)
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
    ZolvexTavmSource* self = AsBin(object);
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
    ZolvexTavmSource* self = AsBin(object);
    if (id != kPropFilter) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
        return;
    }
    g_value_set_pointer(value, self->source);
}

GstStateChangeReturn BinChangeState(GstElement* element, GstStateChange transition)
{
    ZolvexTavmSource* self = AsBin(element);
    if (transition == GST_STATE_CHANGE_NULL_TO_READY && !self->source) {
        // Made by name with no filter given: the element makes its own.
        CTavmSource* source = CTavmSource::Create();
        if (!source) {
            GST_ELEMENT_ERROR(self, RESOURCE, FAILED, ("Could not make the rendering filter."),
                              ("CTavmSource::Create failed"));
            return GST_STATE_CHANGE_FAILURE;
        }
        GST_DEBUG_OBJECT(self, "made its own filter");
        Attach(self, source);
        source->Release();
    }
    return GST_ELEMENT_CLASS(zolvex_tavm_source_parent_class)->change_state(element, transition);
}

// The children still exist here (the bin's own dispose drops them), so they can be
// told that the filter goes.
void BinDispose(GObject* object)
{
    ZolvexTavmSource* self = AsBin(object);
    if (self->video && self->audio)
        Attach(self, nullptr);
    self->video = self->audio = nullptr;
    G_OBJECT_CLASS(zolvex_tavm_source_parent_class)->dispose(object);
}

void BinFinalize(GObject* object)
{
    ZolvexTavmSource* self = AsBin(object);
    delete self->bridge;
    G_OBJECT_CLASS(zolvex_tavm_source_parent_class)->finalize(object);
}

GstStaticPadTemplate g_binVideo = GST_STATIC_PAD_TEMPLATE("video", GST_PAD_SRC, GST_PAD_ALWAYS,
                                                          GST_STATIC_CAPS("video/x-raw, format=(string)BGR"));

void zolvex_tavm_source_class_init(ZolvexTavmSourceClass* klass)
{
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
    AddAudioTemplate(element, "audio");
    gst_element_class_set_static_metadata(element, zolvex::kTavmFilterName, "Source/Video/Audio",
                                          "Renders a Zolvex timeline as a video and an audio stream",
                                          "Zolvex Video Studio");
}

void zolvex_tavm_source_init(ZolvexTavmSource* self)
{
    self->source = nullptr;
    self->bridge = new Bridge(self);
    self->video = GST_ELEMENT(g_object_new(zolvex_video_pin_src_get_type(), "name", "video", nullptr));
    self->audio = GST_ELEMENT(g_object_new(zolvex_audio_pin_src_get_type(), "name", "audio", nullptr));
    gst_bin_add_many(GST_BIN(self), self->video, self->audio, nullptr);
    for (GstElement* child : {self->video, self->audio}) {
        GstPad* target = gst_element_get_static_pad(child, "src");
        GstPad* ghost = gst_ghost_pad_new(child == self->video ? "video" : "audio", target);
        gst_pad_set_active(ghost, TRUE);
        gst_element_add_pad(GST_ELEMENT(self), ghost);
        gst_object_unref(target);
    }
}

}  // namespace

namespace zolvex {

bool RegisterTavmElement()
{
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
    return gst_element_register(nullptr, kTavmElementName, GST_RANK_NONE, zolvex_tavm_source_get_type());
}

}  // namespace zolvex
