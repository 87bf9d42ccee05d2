// The rendering filter as a media source: its pins' types, buffers, quality notices
// and repositioning; creation through the class registry; and the GStreamer element
// in a real pipeline: time stamps, a seek on both pads, the end of the stream.
#include <gtest/gtest.h>

#include <cairo.h>
#include <gst/gst.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "filter/timeline/gst/GstTavmSource.h"
#include "filter/timeline/gst/TavmGraph.h"
#include "filter/timeline/gst/TavmEntryPoints.h"
#include "filter/timeline/stream/TavmSource.h"
#include "platform/ClassRegistry.h"

using namespace zolvex;

namespace {

struct SourceRef {
    CTavmSource* p = CTavmSource::Create();
    ~SourceRef() { p->Release(); }
    CTavmSource* operator->() { return p; }
};

// A timeline of one picture scene (by default a file that does not exist: black
// frames of a known length, enough for timing).
struct PictureTimeline {
    SceneList scenes{5};
    SpanList spans{5};
    ObjectList objects{5};
    KindList kinds{5};
    SceneRecord record{};
    explicit PictureTimeline(double seconds, const char* path = "/nonexistent/black.png")
    {
        std::snprintf(record.szPath, sizeof record.szPath, "%s", path);
        record.nMediaType = MEDIA_TYPE_PICTURE;
        record.dDuration = record.dOutPoint = seconds;
        scenes.Add(&record);
        spans.Add(SceneSpan{0.0, seconds});
    }
    void Apply(ITavmControl& c) { c.SetTimeline(&scenes, &spans, &objects, &kinds, 1.0, 3.0); }
};

}  // namespace

TEST(SourcePins, MediaTypesBuffersAndAgreement)
{
    SourceRef source;
    CTavmVideoPin& video = source->VideoPin();
    MediaType type;
    EXPECT_EQ(video.GetMediaType(1, &type), E_INVALIDARG) << "invalid argument, not no-more-items";
    ASSERT_EQ(video.GetMediaType(0, &type), S_OK);
    EXPECT_EQ(type.video.bmiHeader.biWidth, 320);
    EXPECT_EQ(type.video.bmiHeader.biHeight, 240) << "positive: bottom-up rows";
    EXPECT_EQ(type.video.bmiHeader.biBitCount, 24);
    EXPECT_EQ(type.lSampleSize, 320u * 240 * 3);
    EXPECT_STREQ(video.Name(), "OutPut");

    MediaType other = type;
    other.video.bmiHeader.biWidth = 640;
    EXPECT_NE(video.CheckMediaType(other), S_OK) << "a size other than the producer's";
    other = type;
    other.subtype = MEDIASUBTYPE_PCM;
    EXPECT_NE(video.CheckMediaType(other), S_OK);
    EXPECT_EQ(video.CheckAllocation(1, 320 * 240 * 3), S_OK);
    EXPECT_NE(video.CheckAllocation(1, 320 * 240 * 3 - 1), S_OK);
    EXPECT_NE(video.CheckAllocation(0, 320 * 240 * 3), S_OK);

    // The control's size setters change the producer; agreeing that type makes a
    // fresh producer of that size.
    ASSERT_EQ(source->Control().SetOutputSize(720, 480), S_OK);
    ASSERT_EQ(video.GetMediaType(0, &type), S_OK);
    ASSERT_EQ(video.CheckMediaType(type), S_OK);
    CTavmRenderer* before = &video.Producer();
    ASSERT_EQ(video.SetMediaType(type), S_OK);
    EXPECT_NE(&video.Producer(), before);
    EXPECT_EQ(video.Producer().Width(), 720);
    EXPECT_EQ(video.Producer().Height(), 480);

    CTavmAudioPin& audio = source->AudioPin();
    EXPECT_EQ(audio.GetMediaType(1, &type), E_INVALIDARG);
    ASSERT_EQ(audio.GetMediaType(0, &type), S_OK);
    EXPECT_EQ(type.audio.nAvgBytesPerSec, 176400u);
    EXPECT_EQ(type.lSampleSize, 8192u);
    EXPECT_NE(audio.CheckAllocation(1, 8191), S_OK);
    audio.OnThreadCreate();
    EXPECT_EQ(audio.BlockDuration(), 464399);
}

TEST(SourcePins, RatesAndQualityNotices)
{
    SourceRef source;
    CTavmVideoPin& video = source->VideoPin();
    bool restart = false;
    EXPECT_EQ(video.ChangeRate(0.2, &restart), E_INVALIDARG);
    EXPECT_EQ(video.ChangeRate(0.25, &restart), S_OK);
    EXPECT_TRUE(restart);
    EXPECT_EQ(source->AudioPin().ChangeRate(0.2, &restart), E_INVALIDARG);

    video.OnThreadCreate();
    EXPECT_EQ(video.FrameDuration(), 666666);
    EXPECT_EQ(video.Notify(500), S_OK);  // downstream keeps up with half
    EXPECT_EQ(video.FrameDuration(), 1333332);
    EXPECT_EQ(video.Notify(0), S_OK);
    EXPECT_EQ(video.FrameDuration(), 10000000);
    EXPECT_EQ(video.Notify(1000000), S_OK);
    EXPECT_EQ(video.FrameDuration(), 100000) << "kept above 100,000";
    source->Control().SetMode(kEncodeMode);
    EXPECT_NE(video.Notify(500), S_OK) << "a slow renderer must not change a movie's rate";
    EXPECT_EQ(video.FrameDuration(), 100000);
}

TEST(SourceRegistration, CreatedByClassIdentifierWithTheControlInterface)
{
    ASSERT_EQ(DllRegisterServer(), S_OK);
    int entries = 0;
    for (const ClassEntry& e : RegisteredClasses())
        if (std::memcmp(&e.clsid, &CLSID_TavmSource, sizeof(GUID)) == 0) {
            ++entries;
            EXPECT_EQ(e.threading, "Both");
        }
    EXPECT_EQ(entries, 2) << "\"Tavm Video\" and \"Tavm Audio\"";

    ITavmControl* control = nullptr;
    ASSERT_EQ(CreateInstance(CLSID_TavmSource, IID_ITavmControl, reinterpret_cast<void**>(&control)), S_OK);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(control->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_NE(dynamic_cast<CTavmSource*>(unknown), nullptr) << "the control's references are the filter's";
    unknown->Release();
    EXPECT_EQ(control->SetOutputSize(640, 480), S_OK);
    control->Release();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);

    IUnknown* nothing = nullptr;
    EXPECT_EQ(DllGetClassObject(IID_IUnknown, IID_IClassFactory, reinterpret_cast<void**>(&nothing)),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(DllUnregisterServer(), S_OK);
    EXPECT_EQ(CreateInstance(CLSID_TavmSource, IID_IUnknown, reinterpret_cast<void**>(&nothing)),
              REGDB_E_CLASSNOTREG);
}

// Neither stream hands the encoder anything more than a second ahead of the other.
TEST(SourceInterleave, NeitherStreamRunsMoreThanASecondAhead)
{
    EncoderLock lock;
    lock.Join(EncoderLock::kVideo, 0);
    lock.Join(EncoderLock::kAudio, 0);
    std::atomic<int64_t> video{0}, audio{0};
    std::atomic<int64_t> worstLead{0};
    std::thread fast([&] {
        for (int64_t p = 0; p < 60000000; p += 400000) {
            lock.WaitTurn(EncoderLock::kVideo, p, nullptr);
            const int64_t lead = p - audio.load();
            if (lead > worstLead)
                worstLead = lead;
            video = p + 400000;
            lock.Advance(EncoderLock::kVideo, p + 400000);
        }
        lock.Leave(EncoderLock::kVideo);
    });
    std::thread slow([&] {
        for (int64_t p = 0; p < 60000000; p += 464399) {
            std::this_thread::sleep_for(std::chrono::microseconds(300));
            audio = p + 464399;
            lock.Advance(EncoderLock::kAudio, p + 464399);
        }
        lock.Leave(EncoderLock::kAudio);
    });
    fast.join();
    slow.join();
    EXPECT_LE(worstLead.load(), EncoderLock::kMaxLead + 464399);
    EXPECT_GT(worstLead.load(), 0);
}

// A stop halts both streams in either order. The stream that waits for its turn
// must stop waiting when it is halted itself, even though the other stream, halted
// first, will never move again.
TEST(SourceInterleave, HaltingAWaitingStreamEndsItsWait)
{
    for (EncoderLock::Stream waiting : {EncoderLock::kVideo, EncoderLock::kAudio}) {
        const EncoderLock::Stream other = waiting == EncoderLock::kVideo ? EncoderLock::kAudio : EncoderLock::kVideo;
        EncoderLock lock;
        lock.Join(EncoderLock::kVideo, 0);
        lock.Join(EncoderLock::kAudio, 0);
        std::atomic<bool> done{false};
        std::thread ahead([&] {
            lock.WaitTurn(waiting, 5 * EncoderLock::kMaxLead, nullptr);
            done = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_FALSE(done) << "it waits while it is too far ahead";
        lock.Leave(waiting);  // the waiting stream is halted; the other stays joined but still
        for (int i = 0; i < 200 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_TRUE(done) << "a halted stream's wait must end";
        if (!done)
            lock.Leave(other);
        ahead.join();
        // Joined again (a flush restarts the stream), it waits as before.
        lock.Join(waiting, 5 * EncoderLock::kMaxLead);
        done = false;
        std::thread again([&] {
            lock.WaitTurn(waiting, 5 * EncoderLock::kMaxLead, nullptr);
            done = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_FALSE(done);
        lock.Advance(other, 5 * EncoderLock::kMaxLead);
        again.join();
        EXPECT_TRUE(done);
    }
}

namespace {

// Buffers and segments seen at a fake sink.
struct Seen {
    std::mutex m;
    std::vector<GstClockTime> pts, duration;
    std::vector<gsize> size;
    std::vector<bool> black, prerollBlack;
    std::vector<guint64> segmentTimes;
};

bool IsBlack(GstBuffer* buffer)
{
    GstMapInfo map;
    bool black = false;
    if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        black = std::all_of(map.data, map.data + map.size, [](guint8 v) { return v == 0; });
        gst_buffer_unmap(buffer, &map);
    }
    return black;
}

void OnPrerollHandoff(GstElement*, GstBuffer* buffer, GstPad*, gpointer data)
{
    Seen* seen = static_cast<Seen*>(data);
    const bool black = IsBlack(buffer);
    std::lock_guard<std::mutex> lock(seen->m);
    seen->prerollBlack.push_back(black);
}

void OnHandoff(GstElement*, GstBuffer* buffer, GstPad*, gpointer data)
{
    Seen* seen = static_cast<Seen*>(data);
    const bool black = IsBlack(buffer);
    std::lock_guard<std::mutex> lock(seen->m);
    seen->pts.push_back(GST_BUFFER_PTS(buffer));
    seen->duration.push_back(GST_BUFFER_DURATION(buffer));
    seen->size.push_back(gst_buffer_get_size(buffer));
    seen->black.push_back(black);
}

GstPadProbeReturn OnEvent(GstPad*, GstPadProbeInfo* info, gpointer data)
{
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
        const GstSegment* segment = nullptr;
        gst_event_parse_segment(event, &segment);
        Seen* seen = static_cast<Seen*>(data);
        std::lock_guard<std::mutex> lock(seen->m);
        seen->segmentTimes.push_back(segment->time);
    }
    return GST_PAD_PROBE_OK;
}

GstElement* Sink(GstElement* pipeline, Seen* seen)
{
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", FALSE, "signal-handoffs", TRUE, nullptr);
    g_signal_connect(sink, "handoff", G_CALLBACK(OnHandoff), seen);
    g_signal_connect(sink, "preroll-handoff", G_CALLBACK(OnPrerollHandoff), seen);
    GstPad* pad = gst_element_get_static_pad(sink, "sink");
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, OnEvent, seen, nullptr);
    gst_object_unref(pad);
    gst_bin_add(GST_BIN(pipeline), sink);
    return sink;
}

bool WaitEos(GstElement* pipeline)
{
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* m = gst_bus_timed_pop_filtered(bus, 20 * GST_SECOND,
                                               GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool eos = m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_EOS;
    if (m)
        gst_message_unref(m);
    gst_object_unref(bus);
    return eos;
}

// The element around `source` in a pipeline, each pad into a recording fake sink;
// nullptr when the element cannot be made or linked.
GstElement* ElementWithSinks(SourceRef& source, Seen* video, Seen* audio)
{
    GstElement* pipeline = gst_pipeline_new("Tavm Album");
    GstElement* element = gst_element_factory_make(kTavmElementName, nullptr);
    if (!element) {
        gst_object_unref(pipeline);
        return nullptr;
    }
    g_object_set(element, "filter", static_cast<gpointer>(source.p), nullptr);
    gst_bin_add(GST_BIN(pipeline), element);
    if (!gst_element_link_pads(element, "video", Sink(pipeline, video), "sink") ||
        !gst_element_link_pads(element, "audio", Sink(pipeline, audio), "sink")) {
        gst_object_unref(pipeline);
        return nullptr;
    }
    return pipeline;
}

}  // namespace

// The element in a pipeline with fake sinks, driven as the studio drives a movie:
// ready, settings again, timeline, seek to the start, run.
TEST(SourceElement, TimeStampsSeekAndEndOfStream)
{
    gst_init(nullptr, nullptr);
    ASSERT_TRUE(RegisterTavmElement());
    SourceRef source;
    ITavmControl& control = source->Control();
    control.SetOutputSize(160, 120);
    control.SetSrcVideoSize(160, 120);
    Seen video, audio;
    GstElement* pipeline = ElementWithSinks(source, &video, &audio);
    ASSERT_NE(pipeline, nullptr);
    // A red picture on the timeline from the start: the first frame is black all the same.
    char folder[] = "/tmp/zolvex-source-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string red = std::string(folder) + "/red.png";
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 32, 24);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_write_to_png(surface, red.c_str());
    cairo_surface_destroy(surface);
    PictureTimeline timeline(2.0, red.c_str());
    timeline.Apply(control);
    ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
    ASSERT_EQ(gst_element_get_state(pipeline, nullptr, nullptr, 10 * GST_SECOND), GST_STATE_CHANGE_SUCCESS);
    {
        std::lock_guard<std::mutex> lock(video.m);
        ASSERT_FALSE(video.prerollBlack.empty());
        EXPECT_TRUE(video.prerollBlack[0]) << "the first frame is black";
    }

    // Agreeing the types made a fresh producer: the settings and the timeline again.
    control.SetOutputSize(160, 120);
    control.SetSrcVideoSize(160, 120);
    control.SetFrameRate(25.0);
    timeline.Apply(control);
    control.SetMode(kEncodeMode);  // no movie file: the encoder stays idle, nothing waits for a clock
    {
        std::lock_guard<std::mutex> a(video.m), b(audio.m);
        video.pts.clear(), video.duration.clear(), video.black.clear(), video.segmentTimes.clear();
        audio.pts.clear(), audio.duration.clear(), audio.black.clear(), audio.segmentTimes.clear();
    }
    gst_element_seek_simple(pipeline, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH, 0);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    ASSERT_TRUE(WaitEos(pipeline));
    {
        std::lock_guard<std::mutex> lock(video.m);
        ASSERT_EQ(video.pts.size(), 50u) << "2 s at 25 frames per second, then the end";
        EXPECT_FALSE(video.black[10]) << "the picture is drawn";
        for (size_t i = 0; i < 20; ++i) {
            EXPECT_EQ(video.pts[i], i * 40 * GST_MSECOND);
            EXPECT_EQ(video.duration[i], 40 * GST_MSECOND);
        }
    }
    {
        std::lock_guard<std::mutex> lock(audio.m);
        ASSERT_GE(audio.pts.size(), 20u);
        for (size_t i = 0; i < 20; ++i) {
            EXPECT_EQ(audio.pts[i], GstClockTime(i * 464399 * 100));
            EXPECT_EQ(audio.duration[i], GstClockTime(464399 * 100));
        }
        EXPECT_GE(audio.pts.back() + audio.duration.back(), 2 * GST_SECOND - 464399 * 100);
    }

    // A seek on both pads: the streams restart from 1.5 s, time stamps from zero.
    gst_element_set_state(pipeline, GST_STATE_PAUSED);
    gst_element_get_state(pipeline, nullptr, nullptr, 10 * GST_SECOND);
    {
        std::lock_guard<std::mutex> a(video.m), b(audio.m);
        video.pts.clear(), video.segmentTimes.clear();
        audio.pts.clear(), audio.segmentTimes.clear();
    }
    ASSERT_TRUE(gst_element_seek_simple(pipeline, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH, 1500 * GST_MSECOND));
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    ASSERT_TRUE(WaitEos(pipeline));
    {
        std::lock_guard<std::mutex> a(video.m), b(audio.m);
        ASSERT_FALSE(video.segmentTimes.empty());
        EXPECT_EQ(video.segmentTimes.back(), 1500 * GST_MSECOND);
        EXPECT_EQ(audio.segmentTimes.back(), 1500 * GST_MSECOND);
        ASSERT_EQ(video.pts.size(), 13u) << "0.5 s left: 13 frames";
        EXPECT_EQ(video.pts[0], 0u);
    }
    int64_t duration = 0;
    gint64 reported = 0;
    control.GetDuration(&duration);
    EXPECT_TRUE(gst_element_query_duration(pipeline, GST_FORMAT_TIME, &reported));
    EXPECT_EQ(reported, duration * 100);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    std::remove(red.c_str());
    rmdir(folder);
}

// A long run after the frame size changed: every frame of the new size, none lost,
// the time stamps unbroken, however often the element's buffers come round again.
TEST(SourceElement, ManyFramesAfterANewFrameSize)
{
    gst_init(nullptr, nullptr);
    ASSERT_TRUE(RegisterTavmElement());
    SourceRef source;
    ITavmControl& control = source->Control();
    control.SetOutputSize(160, 120);
    control.SetSrcVideoSize(160, 120);
    Seen video, audio;
    GstElement* pipeline = ElementWithSinks(source, &video, &audio);
    ASSERT_NE(pipeline, nullptr);
    PictureTimeline timeline(12.0);
    timeline.Apply(control);
    ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
    ASSERT_EQ(gst_element_get_state(pipeline, nullptr, nullptr, 10 * GST_SECOND), GST_STATE_CHANGE_SUCCESS);

    // The new size is agreed by the preroll after a seek; agreeing makes a fresh
    // producer, so the settings and the timeline follow it.
    control.SetOutputSize(96, 72);  // rows of 288 bytes: no padding to hide a wrong stride
    control.SetSrcVideoSize(96, 72);
    ASSERT_TRUE(gst_element_seek_simple(pipeline, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH, 0));
    ASSERT_EQ(gst_element_get_state(pipeline, nullptr, nullptr, 10 * GST_SECOND), GST_STATE_CHANGE_SUCCESS);
    control.SetOutputSize(96, 72);
    control.SetSrcVideoSize(96, 72);
    control.SetFrameRate(25.0);
    timeline.Apply(control);
    control.SetMode(kEncodeMode);
    {
        std::lock_guard<std::mutex> a(video.m), b(audio.m);
        video.pts.clear(), video.size.clear(), audio.pts.clear(), audio.size.clear();
    }
    gst_element_seek_simple(pipeline, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH, 0);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    ASSERT_TRUE(WaitEos(pipeline));
    {
        std::lock_guard<std::mutex> lock(video.m);
        ASSERT_EQ(video.pts.size(), 300u) << "12 s at 25 frames per second";
        for (size_t i = 0; i < video.pts.size(); ++i) {
            EXPECT_EQ(video.size[i], gsize(96 * 3 * 72)) << "frame " << i;
            EXPECT_EQ(video.pts[i], i * 40 * GST_MSECOND) << "frame " << i;
        }
    }
    {
        std::lock_guard<std::mutex> lock(audio.m);
        ASSERT_FALSE(audio.pts.empty());
        for (size_t i = 0; i + 1 < audio.pts.size(); ++i)
            EXPECT_EQ(audio.pts[i + 1], audio.pts[i] + audio.duration[i]) << "block " << i;
        for (gsize bytes : audio.size)
            EXPECT_EQ(bytes % 4, 0u) << "whole stereo sample frames";
        EXPECT_GE(audio.pts.back() + audio.duration.back(), 12 * GST_SECOND - 464399 * 100);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
}

// The graph as the studio and the renderer use it: ready, timeline, run to the end.
TEST(SourceElement, GraphRunsATimelineToItsEnd)
{
    SourceRef source;
    source->Control().SetOutputSize(64, 48);
    std::string error;
    std::unique_ptr<CTavmGraph> graph = CTavmGraph::Build(source.p, CTavmGraph::kDiscardingSinks, &error);
    ASSERT_TRUE(graph) << error;
    ASSERT_TRUE(graph->Pause());
    PictureTimeline timeline(2.0);
    timeline.Apply(source->Control());
    source->Control().SetFrameRate(25.0);
    source->Control().SetMode(kEncodeMode);
    ASSERT_TRUE(graph->Seek(0));
    ASSERT_TRUE(graph->Run());
    EXPECT_TRUE(graph->WaitForEnd(20000, &error)) << error;
    int64_t position = 0;
    source->Control().GetPosition(&position);
    EXPECT_EQ(position, 20000000) << "whole seconds of the project";
    EXPECT_TRUE(graph->Stop());

    // The scene's picture was never there: named once, though every frame asked for it.
    ITavmMediaProblems* problems = nullptr;
    ASSERT_EQ(source->QueryInterface(IID_ITavmMediaProblems, reinterpret_cast<void**>(&problems)), S_OK);
    int count = 0;
    EXPECT_EQ(problems->GetProblemCount(&count), S_OK);
    EXPECT_EQ(count, 1);
    char path[260], why[8];
    ASSERT_EQ(problems->GetProblem(0, path, sizeof path, why, sizeof why), S_OK);
    EXPECT_STREQ(path, "/nonexistent/black.png");
    EXPECT_STREQ(why, "no such") << "cut to its buffer";
    EXPECT_EQ(problems->GetProblem(1, path, sizeof path, why, sizeof why), E_INVALIDARG);
    // A new timeline starts a new list.
    timeline.Apply(source->Control());
    problems->GetProblemCount(&count);
    EXPECT_EQ(count, 0);
    problems->Release();
}
