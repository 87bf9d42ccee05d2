#include "studio/recording/VoiceRecorder.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

namespace zolvex {
namespace studio {

namespace {

constexpr double kSilence = -90.0;

struct BusState {
    std::atomic<bool> ended{false};
    std::atomic<double>* level = nullptr;
    // The first error the device or the chain reported.
    std::mutex lock;
    bool failed = false;
    int code = 0;
    std::string text;
};

// The loudest channel's level, from the level element's messages.
void ReadLevel(const GstStructure* s, std::atomic<double>& level)
{
    const GValue* rms = gst_structure_get_value(s, "rms");
    if (!rms || !G_VALUE_HOLDS(rms, G_TYPE_VALUE_ARRAY))
        return;
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    const GValueArray* values = static_cast<const GValueArray*>(g_value_get_boxed(rms));
    double loudest = kSilence;
    for (guint i = 0; values && i < values->n_values; ++i) {
        const double db = g_value_get_double(g_value_array_get_nth(const_cast<GValueArray*>(values), i));
        if (std::isfinite(db))
            loudest = std::max(loudest, db);
    }
    G_GNUC_END_IGNORE_DEPRECATIONS
    // Silence is shown as silence, not as minus infinity.
    level.store(std::clamp(loudest, kSilence, 0.0));
}

GstBusSyncReply OnBus(GstBus*, GstMessage* message, gpointer data)
{
    auto* state = static_cast<BusState*>(data);
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        {
            std::lock_guard<std::mutex> hold(state->lock);
            if (!state->failed) {
                state->failed = true;
                state->code = error ? error->code : 0;
                state->text = error && error->message ? error->message : "";
            }
        }
        if (error)
            g_error_free(error);
        state->ended.store(true);
    } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS)
        state->ended.store(true);
    else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ELEMENT) {
        const GstStructure* s = gst_message_get_structure(message);
        if (s && gst_structure_has_name(s, "level") && state->level)
            ReadLevel(s, *state->level);
    }
    gst_message_unref(message);
    return GST_BUS_DROP;
}

BusState* StateOf(GstElement* pipeline)
{
    return static_cast<BusState*>(g_object_get_data(G_OBJECT(pipeline), "zolvex-bus-state"));
}

}  // namespace

std::vector<CapsRange> RangesOfCaps(const GstCaps* caps)
{
    std::vector<CapsRange> ranges;
    if (!caps)
        return ranges;
    if (gst_caps_is_any(caps)) {
        CapsRange all;
        all.minRate = 1, all.maxRate = INT32_MAX, all.minChannels = 1, all.maxChannels = 64;
        all.u8 = all.s16 = true;
        ranges.push_back(all);
        return ranges;
    }
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* s = gst_caps_get_structure(caps, i);
        if (!gst_structure_has_name(s, "audio/x-raw"))
            continue;
        CapsRange r;
        auto bounds = [s](const char* field, int& lo, int& hi) {
            const GValue* v = gst_structure_get_value(s, field);
            if (!v) {
                lo = 1, hi = INT32_MAX;
            } else if (G_VALUE_HOLDS_INT(v)) {
                lo = hi = g_value_get_int(v);
            } else if (GST_VALUE_HOLDS_INT_RANGE(v)) {
                lo = gst_value_get_int_range_min(v), hi = gst_value_get_int_range_max(v);
            } else if (GST_VALUE_HOLDS_LIST(v) && gst_value_list_get_size(v) > 0) {
                lo = INT32_MAX, hi = 0;
                for (guint k = 0; k < gst_value_list_get_size(v); ++k) {
                    const GValue* e = gst_value_list_get_value(v, k);
                    if (G_VALUE_HOLDS_INT(e))
                        lo = std::min(lo, g_value_get_int(e)), hi = std::max(hi, g_value_get_int(e));
                }
            }
        };
        bounds("rate", r.minRate, r.maxRate);
        bounds("channels", r.minChannels, r.maxChannels);
        const GValue* format = gst_structure_get_value(s, "format");
        auto takes = [format](const char* name) {
            if (!format)
                return true;
            if (G_VALUE_HOLDS_STRING(format))
                return std::strcmp(g_value_get_string(format), name) == 0;
            if (GST_VALUE_HOLDS_LIST(format))
                for (guint k = 0; k < gst_value_list_get_size(format); ++k) {
                    const GValue* e = gst_value_list_get_value(format, k);
                    if (G_VALUE_HOLDS_STRING(e) && std::strcmp(g_value_get_string(e), name) == 0)
                        return true;
                }
            return false;
        };
        // What the device gives in other sample formats is converted on the way; a
        // device of any raw format can be recorded in both widths.
        r.u8 = r.s16 = takes("U8") || takes("S16LE") || takes("S32LE") || takes("F32LE") || takes("S24LE");
        if (r.maxRate >= r.minRate && r.maxChannels >= r.minChannels && (r.u8 || r.s16))
            ranges.push_back(r);
    }
    return ranges;
}

bool DefaultInputDevice(InputDevice* device)
{
    gst_init(nullptr, nullptr);
    GstDeviceMonitor* monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, "Audio/Source", nullptr);
    GList* devices = gst_device_monitor_get_devices(monitor);
    // The sound server's default input when it names one, else the first input.
    GstDevice* chosen = nullptr;
    for (GList* l = devices; l; l = l->next) {
        GstDevice* d = GST_DEVICE(l->data);
        GstStructure* props = gst_device_get_properties(d);
        const gchar* kind = props ? gst_structure_get_string(props, "device.class") : nullptr;
        const bool monitorOnly = kind && std::strcmp(kind, "monitor") == 0;
        gboolean isDefault = FALSE;
        if (props)
            gst_structure_get_boolean(props, "is-default", &isDefault);
        if (props)
            gst_structure_free(props);
        if (monitorOnly)
            continue;
        if (!chosen || isDefault)
            chosen = d;
        if (isDefault)
            break;
    }
    if (chosen && device) {
        gchar* name = gst_device_get_display_name(chosen);
        GstCaps* caps = gst_device_get_caps(chosen);
        device->name = name ? name : "";
        device->ranges = RangesOfCaps(caps);
        std::shared_ptr<GstDevice> held(GST_DEVICE(gst_object_ref(chosen)),
                                        [](GstDevice* d) { gst_object_unref(d); });
        device->source = [held] { return gst_device_create_element(held.get(), nullptr); };
        g_free(name);
        if (caps)
            gst_caps_unref(caps);
    }
    const bool found = chosen != nullptr;
    g_list_free_full(devices, gst_object_unref);
    gst_object_unref(monitor);
    return found;
}

VoiceRecorder::VoiceRecorder(SourceMaker source) : source_(std::move(source)) {}

VoiceRecorder::~VoiceRecorder()
{
    std::string ignored;
    if (pipeline_)
        Stop(&ignored);
}

bool VoiceRecorder::Start(const WAVEFORMATEX& format, const std::string& path, std::string* error)
{
    auto fail = [error](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    if (pipeline_)
        return fail("a recording is running already");
    if (format.wFormatTag != WAVE_FORMAT_PCM || (format.wBitsPerSample != 8 && format.wBitsPerSample != 16) ||
        format.nChannels < 1 || format.nChannels > 2 || format.nBlockAlign == 0)
        return fail("the recording format is not one of ours");
    gst_init(nullptr, nullptr);
    listening_ = path.empty();
    if (!listening_ && !wav_.Create(path, format))
        return fail("Error Creating Sound File");
    GstElement* source = source_ ? source_() : gst_element_factory_make("autoaudiosrc", nullptr);
    GstElement* pipeline = gst_pipeline_new("voice");
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    // The meter reads the input before any narrowing to 8 bits, which it does not take.
    GstElement* level = gst_element_factory_make("level", "meter");
    GstElement* convert2 = gst_element_factory_make("audioconvert", nullptr);
    GstElement* resample = gst_element_factory_make("audioresample", nullptr);
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    if (!source || !pipeline || !convert || !level || !convert2 || !resample || !filter || !sink) {
        for (GstElement* e : {source, pipeline, convert, level, convert2, resample, filter, sink})
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        wav_.Close();
        return fail("the sound elements are missing");
    }
    GstCaps* caps = gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING,
                                        format.wBitsPerSample == 8 ? "U8" : "S16LE", "layout", G_TYPE_STRING,
                                        "interleaved", "rate", G_TYPE_INT, int(format.nSamplesPerSec), "channels",
                                        G_TYPE_INT, int(format.nChannels), nullptr);
    g_object_set(filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
    g_object_set(level, "post-messages", TRUE, "interval", guint64(100 * GST_MSECOND), nullptr);
    g_object_set(sink, "sync", FALSE, "emit-signals", FALSE, nullptr);
    GstAppSinkCallbacks callbacks;
    std::memset(&callbacks, 0, sizeof callbacks);
    callbacks.new_sample = [](GstAppSink* s, gpointer self) { return GstFlowReturn(OnSample(s, self)); };
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
    gst_bin_add_many(GST_BIN(pipeline), source, convert, level, convert2, resample, filter, sink, nullptr);
    if (!gst_element_link_many(source, convert, level, convert2, resample, filter, sink, nullptr)) {
        gst_object_unref(pipeline);
        wav_.Close();
        return fail("the sound elements could not be linked");
    }
    auto* state = new BusState;
    state->level = &level_;
    g_object_set_data_full(G_OBJECT(pipeline), "zolvex-bus-state", state,
                           [](gpointer p) { delete static_cast<BusState*>(p); });
    GstBus* bus = gst_element_get_bus(pipeline);
    gst_bus_set_sync_handler(bus, OnBus, state, nullptr);
    gst_object_unref(bus);
    blockBytes_ = size_t(format.nBlockAlign) * kBlockFrames;
    block_.clear();
    block_.reserve(blockBytes_);
    writeFailed_ = false;
    level_ = kSilence;
    pipeline_ = pipeline;
    started_ = std::chrono::steady_clock::now();
    // Recording begins when the pipeline is playing; a stop sent while the change is
    // still under way would hold the pipeline's state against the change it waits for.
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE ||
        gst_element_get_state(pipeline, nullptr, nullptr, 5 * GST_SECOND) == GST_STATE_CHANGE_FAILURE) {
        DeviceError failure = Failure();
        if (failure.text.empty())
            failure.text = "the input device could not be started";
        std::string ignored;
        Stop(&ignored);
        return fail(WaveInMessage(failure.code, failure.text, "Error in StartAudioRecording()"));
    }
    return true;
}

int VoiceRecorder::OnSample(GstAppSink* sink, void* data)
{
    auto* self = static_cast<VoiceRecorder*>(data);
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample)
        return GST_FLOW_EOS;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        self->Take(map.data, map.size);
        gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

void VoiceRecorder::Take(const uint8_t* data, size_t bytes)
{
    if (listening_)
        return;
    std::lock_guard<std::mutex> hold(lock_);
    while (bytes > 0 && !writeFailed_) {
        const size_t k = std::min(bytes, blockBytes_ - block_.size());
        block_.insert(block_.end(), data, data + k);
        data += k, bytes -= k;
        // Each full block goes to the file; one that cannot be written ends the taking.
        if (block_.size() == blockBytes_) {
            if (!wav_.Write(block_.data(), block_.size()))
                writeFailed_ = true;
            block_.clear();
        }
    }
}

bool VoiceRecorder::Stop(std::string* error)
{
    if (!pipeline_)
        return false;
    // The end goes down the stream, so that everything recorded reaches the file
    // before the pipeline is taken down.
    BusState* state = StateOf(pipeline_);
    // The meter has nothing more to say, and one stopped before the stream began
    // would otherwise report on a stream it never saw.
    if (GstElement* meter = gst_bin_get_by_name(GST_BIN(pipeline_), "meter")) {
        g_object_set(meter, "post-messages", FALSE, nullptr);
        gst_object_unref(meter);
    }
    gst_element_get_state(pipeline_, nullptr, nullptr, 5 * GST_SECOND);
    gst_element_send_event(pipeline_, gst_event_new_eos());
    for (int waited = 0; state && !state->ended.load() && waited < 5000; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    GstBus* bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_object_unref(bus);
    gst_object_unref(pipeline_);
    pipeline_ = nullptr;
    if (listening_)
        return true;
    bool ok = !writeFailed_;
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (!block_.empty() && !writeFailed_)
            ok = wav_.Write(block_.data(), block_.size());
        block_.clear();
    }
    ok = wav_.Close() && ok;
    if (!ok && error)
        *error = "Error Writing Sound File";
    return ok;
}

VoiceRecorder::DeviceError VoiceRecorder::Failure() const
{
    DeviceError failure;
    BusState* state = pipeline_ ? StateOf(pipeline_) : nullptr;
    if (!state)
        return failure;
    std::lock_guard<std::mutex> hold(state->lock);
    failure.failed = state->failed;
    failure.code = state->code;
    failure.text = state->text;
    return failure;
}

std::string WaveInMessage(int code, const std::string& text, const std::string& context)
{
    // The system's text is cut where a message box line would end, but never inside
    // a character.
    size_t keep = std::min<size_t>(text.size(), 100);
    while (keep > 0 && keep < text.size() && (uint8_t(text[keep]) & 0xC0) == 0x80)
        --keep;
    char line[256];
    std::snprintf(line, sizeof line, "WAVEIN:%x:%s %s", unsigned(code), text.substr(0, keep).c_str(), context.c_str());
    return line;
}

double VoiceRecorder::Elapsed() const
{
    return pipeline_ ? std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count() : 0.0;
}

}  // namespace studio
}  // namespace zolvex
