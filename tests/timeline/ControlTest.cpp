// The control interface against recording stand-ins for the parts it drives.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "filter/encoder/CodecTable.h"
#include "filter/timeline/stream/TavmControl.h"
#include "filter/timeline/model/TimelineObjects.h"

using namespace zolvex;
using namespace zolvex::encoder;

namespace {

typedef std::vector<std::string> Log;

struct FakeVideo : ITimelineVideo {
    Log* log;
    RenderGate gate;
    explicit FakeVideo(Log* l) : log(l) {}
    void SetTimeline(const TimelineLists&, double t) override { log->push_back("video.timeline " + std::to_string(t)); }
    void SetFrameSize(int w, int h) override { log->push_back("video.size " + std::to_string(w) + "x" + std::to_string(h)); }
    void SetSrcVideoSize(int w, int h) override { log->push_back("video.src " + std::to_string(w) + "x" + std::to_string(h)); }
    void SetDisplayAspect(int n, int d) override { log->push_back("video.aspect " + std::to_string(n) + ":" + std::to_string(d)); }
    void SetAniFrameRate(int fps) override { log->push_back("video.anifps " + std::to_string(fps)); }
    void SetSideLists(const SideLists&) override { log->push_back("video.sides"); }
    void SetMode(int m) override { log->push_back("video.mode " + std::to_string(m)); }
    RenderGate& Gate() override { return gate; }
};

struct FakeAudio : ITimelineAudio {
    Log* log;
    RenderGate gate;
    explicit FakeAudio(Log* l) : log(l) {}
    void SetTimeline(const TimelineLists&) override { log->push_back("audio.timeline"); }
    void SetMusicVolume(int v) override { log->push_back("audio.volume " + std::to_string(v)); }
    void SetChannels(int c) override { log->push_back("audio.channels " + std::to_string(c)); }
    void SetMode(int m) override { log->push_back("audio.mode " + std::to_string(m)); }
    RenderGate& Gate() override { return gate; }
};

struct FakeOutput : IMovieOutput {
    Log* log;
    bool opens = true;
    explicit FakeOutput(Log* l) : log(l) {}
    bool OpenMovie(const OutputFormat& f) override
    {
        log->push_back(std::string("output.open ") + f.szPath);
        return opens;
    }
    void FinishMovie() override { log->push_back("output.finish"); }
    std::string OutputError() const override { return opens ? "" : "The movie file cannot be written."; }
};

struct FakePins : IStreamPins {
    Log* log;
    int64_t position = 0;
    explicit FakePins(Log* l) : log(l) {}
    void SetStreamLength(int64_t n) override { log->push_back("pins.length " + std::to_string(n)); }
    void SetVideoSize(int w, int h) override { log->push_back("pins.size " + std::to_string(w) + "x" + std::to_string(h)); }
    void SetFrameDuration(int64_t d) override { log->push_back("pins.frame " + std::to_string(d)); }
    void SetAudioFormat(int c, int r, int b) override
    {
        log->push_back("pins.audio " + std::to_string(c) + "/" + std::to_string(r) + "/" + std::to_string(b));
    }
    void SetAbort(bool a) override { log->push_back(std::string("pins.abort ") + (a ? "1" : "0")); }
    void SetMode(int m) override { log->push_back("pins.mode " + std::to_string(m)); }
    void SetFullMotion(bool on) override { log->push_back(std::string("pins.fullmotion ") + (on ? "1" : "0")); }
    int64_t GetPosition() override { return position; }
    void SetPosition(int64_t p) override
    {
        position = p;
        log->push_back("pins.position " + std::to_string(p));
    }
};

struct Rig {
    Log log;
    FakeVideo video{&log};
    FakeAudio audio{&log};
    FakeOutput output{&log};
    FakePins pins{&log};
    CTavmControl* control = new CTavmControl;
    Rig()
    {
        control->AttachVideo(&video);
        control->AttachAudio(&audio);
        control->AttachOutput(&output);
        control->AttachPins(&pins);
    }
    ~Rig() { control->Release(); }
};

struct Timeline {
    SceneList scenes{5};
    SpanList spans{5};
    ObjectList objects{5};
    KindList kinds{5};
    std::vector<SceneRecord> records = std::vector<SceneRecord>(8);
    void AddScene(double in, double out)
    {
        scenes.Add(&records[size_t(scenes.GetSize())]);
        spans.Add(SceneSpan{in, out});
    }
};

TEST(Control, DefaultsAndIdentity)
{
    Rig rig;
    const ControlSettings& s = rig.control->Settings();
    EXPECT_EQ(s.nOutputWidth, 320);
    EXPECT_EQ(s.nOutputHeight, 240);
    EXPECT_EQ(s.llFrameDuration, 666666);
    EXPECT_EQ(s.nAniFrameRate, 12);
    EXPECT_EQ(s.nMusicVolume, 50);
    EXPECT_EQ(s.nMode, kPreviewMode);

    void* itf = nullptr;
    EXPECT_EQ(rig.control->QueryInterface(IID_ITavmControl, &itf), S_OK);
    EXPECT_EQ(itf, static_cast<ITavmControl*>(rig.control));
    static_cast<ITavmControl*>(itf)->Release();
    EXPECT_EQ(rig.control->QueryInterface(GUID{1, 2, 3, {4}}, &itf), E_NOINTERFACE);
    EXPECT_EQ(itf, nullptr);
}

TEST(Control, StreamLengthCountsWholeSecondsOfTheScenes)
{
    Rig rig;
    Timeline tl;
    tl.AddScene(10.0, 12.9);  // 2.9 seconds
    rig.control->SetTimeline(&tl.scenes, &tl.spans, &tl.objects, &tl.kinds, 1.0, 5.0);
    int64_t duration = -1;
    rig.control->GetDuration(&duration);
    EXPECT_EQ(duration, 20000000);
    EXPECT_EQ(rig.log, (Log{"video.timeline 1.000000", "audio.timeline", "pins.length 20000000"}));

    tl.AddScene(0.0, 1.5);   // 4.4 seconds
    tl.AddScene(3.0, 1.0);   // runs backwards: no time
    tl.scenes.Add(&tl.records[7]);  // a scene without a span is not counted
    rig.control->SetTimeline(&tl.scenes, &tl.spans, &tl.objects, &tl.kinds, 1.0, 5.0);
    rig.control->GetDuration(&duration);
    EXPECT_EQ(duration, 40000000);
    EXPECT_NEAR(rig.control->ProjectSeconds(), 4.4, 1e-12);

    rig.control->SetTimeline(nullptr, nullptr, nullptr, nullptr, 1.0, 5.0);
    rig.control->GetDuration(&duration);
    EXPECT_EQ(duration, 0);
}

TEST(Control, ProgressIsExactly100InTheLastTenthOfASecond)
{
    Rig rig;
    Timeline tl;
    tl.AddScene(0, 10);
    rig.control->SetTimeline(&tl.scenes, &tl.spans, &tl.objects, &tl.kinds, 1.0, 5.0);
    float percent = -1;
    rig.pins.position = 25000000;
    rig.control->GetProgress(&percent);
    EXPECT_FLOAT_EQ(percent, 25.0f);
    rig.pins.position = 100000000 - 1000000;  // 0.1 s left: still the formula
    rig.control->GetProgress(&percent);
    EXPECT_FLOAT_EQ(percent, 99.0f);
    rig.pins.position = 100000000 - 999999;
    rig.control->GetProgress(&percent);
    EXPECT_EQ(percent, 100.0f);
    rig.pins.position = 130000000;  // past the end
    rig.control->GetProgress(&percent);
    EXPECT_EQ(percent, 100.0f);
    rig.pins.position = -50;
    rig.control->GetProgress(&percent);
    EXPECT_EQ(percent, 0.0f);
}

TEST(Control, FrameRateSetsFrameDurationAndAnimationRateByMode)
{
    Rig rig;
    rig.control->SetFrameRate(15.0);
    EXPECT_EQ(rig.control->Settings().llFrameDuration, 666666);
    EXPECT_EQ(rig.control->Settings().nAniFrameRate, 15);

    ASSERT_EQ(rig.control->SetMode(kEncodeMode), S_OK);
    const struct {
        double fps;
        int anim;
        int64_t duration;
    } cases[] = {{25.0, 8, 400000}, {29.97, 9, 333667}, {20.0, 10, 500000}, {12.0, 6, 833333}, {10.0, 10, 1000000}};
    for (const auto& c : cases) {
        rig.control->SetFrameRate(c.fps);
        EXPECT_EQ(rig.control->Settings().nAniFrameRate, c.anim) << c.fps;
        EXPECT_EQ(rig.control->Settings().llFrameDuration, c.duration) << c.fps;
    }
    EXPECT_EQ(rig.log.back(), "video.anifps 10");
    EXPECT_EQ(rig.control->SetFrameRate(0.0), E_INVALIDARG);
    EXPECT_EQ(rig.control->SetFrameRate(-25.0), E_INVALIDARG);
    EXPECT_EQ(rig.control->Settings().llFrameDuration, 1000000);

    // Full motion: the animations step at the full rate, and the streams are told.
    EXPECT_EQ(rig.control->SetFullMotion(2), E_INVALIDARG);
    EXPECT_FALSE(rig.control->Settings().bFullMotion);
    ASSERT_EQ(rig.control->SetFullMotion(1), S_OK);
    EXPECT_EQ(rig.log.back(), "pins.fullmotion 1");
    for (const auto& c : {std::pair<double, int>{25.0, 25}, {29.97, 29}, {12.0, 12}, {60.0, 60}}) {
        rig.control->SetFrameRate(c.first);
        EXPECT_EQ(rig.control->Settings().nAniFrameRate, c.second) << c.first;
    }
    ASSERT_EQ(rig.control->SetFullMotion(0), S_OK);
    rig.control->SetFrameRate(25.0);
    EXPECT_EQ(rig.control->Settings().nAniFrameRate, 8);
}

// NTSC at "29": MPEG-1/2 movies play at 29.97, so the frames are made at that rate
// (or the sound, made by the timeline's clock, drifts away); other codecs keep 29.
TEST(Control, NtscMpegMoviesAreMadeAtTheirPlayingRate)
{
    Rig rig;
    rig.control->SetOutputFormat(29, 720, 480, kCodecMpeg2Video, 6000000, kCodecMp2, 224000, 2, 48000, -1, "a.mpg", "DVD_NTSC", 4, 3);
    EXPECT_EQ(rig.control->Settings().llFrameDuration, 333666);
    rig.control->SetOutputFormat(29, 352, 240, kCodecMpeg1Video, 1150000, kCodecMp2, 224000, 2, 44100, -1, "a.mpg", "VCD_NTSC", 4, 3);
    EXPECT_EQ(rig.control->Settings().llFrameDuration, 333666);
    rig.control->SetOutputFormat(29, 640, 480, kCodecMpeg4, 2000000, kCodecMp3, 128000, 2, 44100, -1, "a.avi", "", 4, 3);
    EXPECT_EQ(rig.control->Settings().llFrameDuration, 344827);
}

TEST(Control, OutputFormatKeepsItsTextsWholeOrRefusesThem)
{
    Rig rig;
    const std::string path259(259, 'p'), path260(260, 'q');
    EXPECT_EQ(rig.control->SetOutputFormat(30, 720, 576, kCodecMpeg2Video, 6000000, kCodecMp2, 224000, 1, 44100, 3, path259.c_str(),
                                           "DVD PAL", 4, 3),
              S_OK);
    EXPECT_EQ(std::string(rig.control->Format().szPath), path259);
    EXPECT_STREQ(rig.control->Format().szPreset, "DVD PAL");
    EXPECT_EQ(rig.control->Settings().llFrameDuration, 333333);
    EXPECT_EQ(rig.control->Settings().nOutputWidth, 720);
    EXPECT_EQ(rig.log, (Log{"pins.frame 333333", "pins.audio 1/44100/16", "audio.channels 1", "pins.size 720x576",
                            "video.size 720x576"}));

    rig.log.clear();
    EXPECT_EQ(rig.control->SetOutputFormat(25, 352, 288, kCodecMpeg1Video, 1150000, kCodecMp2, 224000, 2, 44100, 3, path260.c_str(),
                                           "VCD", 4, 3),
              E_INVALIDARG);
    EXPECT_EQ(rig.control->SetOutputFormat(25, 352, 288, kCodecMpeg1Video, 1150000, kCodecMp2, 224000, 2, 44100, 3, "movie.mpg",
                                           path260.c_str(), 4, 3),
              E_INVALIDARG);
    EXPECT_EQ(rig.control->SetOutputFormat(0, 352, 288, kCodecMpeg1Video, 1150000, kCodecMp2, 224000, 2, 44100, 3, "movie.mpg", "VCD",
                                           4, 3),
              E_INVALIDARG);
    EXPECT_EQ(rig.control->SetOutputFormat(25, 352, 288, kCodecMpeg1Video, 1150000, kCodecMp2, 224000, 9, 44100, 3, "movie.mpg", "VCD",
                                           4, 3),
              E_INVALIDARG);
    EXPECT_TRUE(rig.log.empty()) << "a refused request changes nothing";
    EXPECT_EQ(std::string(rig.control->Format().szPath), path259);
    EXPECT_EQ(rig.control->Settings().nOutputWidth, 720);
}

TEST(Control, EncodeModeOpensTheMovieAndFinishCloses)
{
    Rig rig;
    rig.control->SetOutputFormat(25, 720, 576, kCodecMpeg2Video, 6000000, kCodecMp2, 224000, 2, 44100, 3, "/tmp/out.mpg", "DVD", 4, 3);
    rig.log.clear();
    // A file that cannot be opened still lets the graph run in encode mode (the
    // studio's save ends as usual) and says why.
    rig.output.opens = false;
    EXPECT_EQ(rig.control->SetMode(kEncodeMode), E_FAIL);
    EXPECT_EQ(rig.control->Settings().nMode, kEncodeMode);
    char text[12];
    ASSERT_EQ(rig.control->GetOutputError(text, sizeof text), S_OK);
    EXPECT_STREQ(text, "The movie f") << "cut to the buffer, terminated";
    EXPECT_EQ(rig.control->GetOutputError(nullptr, 5), E_POINTER);
    EXPECT_EQ(rig.control->GetOutputError(text, 0), E_INVALIDARG);
    rig.control->SetMode(kPreviewMode);
    rig.output.opens = true;
    EXPECT_EQ(rig.control->SetMode(kEncodeMode), S_OK);
    EXPECT_EQ(rig.control->Settings().nMode, kEncodeMode);
    ASSERT_EQ(rig.control->GetOutputError(text, sizeof text), S_OK);
    EXPECT_STREQ(text, "");
    rig.control->FinishOutput();
    EXPECT_EQ(rig.log, (Log{"output.open /tmp/out.mpg", "video.mode 1", "audio.mode 1", "pins.mode 1", "video.mode 0",
                            "audio.mode 0", "pins.mode 0", "output.open /tmp/out.mpg", "video.mode 1", "audio.mode 1",
                            "pins.mode 1", "output.finish"}));
}

TEST(Control, SettersReachTheirParts)
{
    Rig rig;
    EXPECT_EQ(rig.control->SetOutputSize(640, 480), S_OK);
    EXPECT_EQ(rig.control->SetSrcVideoSize(720, 576), S_OK);
    EXPECT_EQ(rig.control->SetDisplayAspect(16, 9), S_OK);
    EXPECT_EQ(rig.control->SetMusicVolume(80), S_OK);
    EXPECT_EQ(rig.control->SetPosition(12340000), S_OK);
    rig.control->SetPictureList(nullptr);
    EXPECT_EQ(rig.log, (Log{"pins.size 640x480", "video.size 640x480", "video.src 720x576", "video.aspect 16:9",
                            "audio.volume 80", "pins.position 12340000", "video.sides"}));
    int64_t position = 0;
    rig.control->GetPosition(&position);
    EXPECT_EQ(position, 12340000);

    rig.log.clear();
    EXPECT_EQ(rig.control->SetOutputSize(0, 480), E_INVALIDARG);
    EXPECT_EQ(rig.control->SetOutputSize(100000, 480), E_INVALIDARG);
    EXPECT_EQ(rig.control->SetMusicVolume(101), E_INVALIDARG);
    EXPECT_EQ(rig.control->SetDisplayAspect(16, 0), E_INVALIDARG);
    EXPECT_EQ(rig.control->IsIdle(nullptr), E_POINTER);
    EXPECT_TRUE(rig.log.empty());
}

// A producer thread that renders frame after frame, each a number of steps with the
// abort flag checked between them, as the frame producer does.
TEST(Control, AbortWaitsForTheRenderCallUnderWay)
{
    Rig rig;
    std::atomic<bool> stop{false}, inside{false};
    std::atomic<int> frames{0}, abandoned{0};
    std::thread producer([&] {
        while (!stop) {
            RenderGate::Call call(rig.video.gate);
            if (!call.entered()) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                continue;
            }
            inside = true;
            bool aborted = false;
            for (int step = 0; step < 5 && !aborted; ++step) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                aborted = rig.video.gate.AbortRequested();
            }
            inside = false;
            ++(aborted ? abandoned : frames);
        }
    });
    while (frames < 3)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    for (int round = 0; round < 20; ++round) {
        rig.control->SetAbort(1);
        int idle = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (rig.control->IsIdle(&idle) == S_OK && !idle && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(idle, 1);
        // While the flag stays raised nothing renders: the studio may change the model.
        for (int k = 0; k < 5; ++k) {
            ASSERT_FALSE(inside);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        rig.control->SetAbort(0);
        const int before = frames;
        while (frames == before)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    stop = true;
    producer.join();
    EXPECT_GT(abandoned, 0) << "aborts arrived inside render calls";
}

TEST(TimelineObjects, UnknownKindsAndMissingRecordsArePassedOver)
{
    TextOp text{};
    AudioOp music{};
    tagOPR_EFFECT effect{};
    int fake = 0;
    ObjectList objects(5);
    KindList kinds(5);
    const std::pair<void*, int32_t> entries[] = {{&text, OBJ_TEXT}, {&fake, 5},        {&fake, 6},
                                                 {&effect, OBJ_EFFECT}, {nullptr, OBJ_PICTURE}, {&music, OBJ_MUSIC},
                                                 {&fake, -1}};
    for (const auto& e : entries) {
        objects.Add(e.first);
        kinds.Add(e.second);
    }
    objects.Add(&text);  // no kind entry
    TimelineLists lists;
    lists.pObjects = &objects;
    lists.pKinds = &kinds;
    std::vector<int> seen;
    ForEachTimelineObject(lists, [&](int kind, void*) { seen.push_back(kind); });
    EXPECT_EQ(seen, (std::vector<int>{OBJ_TEXT, OBJ_EFFECT, OBJ_MUSIC}));

    EXPECT_TRUE(ObjectActiveAt(1.0, 2.0, 1.5));
    EXPECT_FALSE(ObjectActiveAt(1.0, 2.0, 1.0));
    EXPECT_FALSE(ObjectActiveAt(1.0, 2.0, 2.0));
}

}  // namespace
