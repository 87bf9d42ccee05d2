// The frame producer on whole timelines made in memory from media made at test time:
// which scene shows when, transitions on boundaries, effects, the stream's frame loop,
// and bad input.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "filter/timeline/video/TavmRenderer.h"
#include "filter/timeline/stream/StreamLoop.h"
#include "filter/timeline/model/TimelineTime.h"
#include "tests/support/TestMedia.h"

using namespace zolvex;

namespace {

typedef std::vector<unsigned char> Frame;

// Clips made once for the whole test program, removed at the end.
testsupport::TestMedia g_media("renderer");

// A clip of four seconds whose colour channels follow the given expressions of T.
std::string Clip(const char* name, const char* codec, const char* r, const char* g, const char* b)
{
    return std::string("ffmpeg -v error -y -f lavfi -i \"color=black:s=160x120:r=25:d=4,format=rgb24,") + "geq=r='" +
           r + "':g='" + g + "':b='" + b + "'\" -c:v " + codec + " -q:v 2 -pix_fmt yuv420p '" + g_media.Path(name) +
           "'";
}

void MakeMedia(testsupport::TestMedia& media)
{
    // Second s of clip A is (red 20 + 60 s, green 200, blue 50); of clip B (red 50,
    // green 20 + 60 s, blue 200). MPEG-2 goes to the FFmpeg reader, MPEG-1 to the
    // still reader.
    if (!media.Run({Clip("a.mpg", "mpeg2video", "20+60*floor(T)", "200", "50"),
                    Clip("b.mpg", "mpeg2video", "50", "20+60*floor(T)", "200"),
                    Clip("c.mpg", "mpeg1video", "20+60*floor(T)", "50", "200")}))
        return;
    FILE* f = std::fopen(media.Path("garbage.mpg").c_str(), "wb");
    for (int k = 0; k < 5000; ++k)
        std::fputc((k * 7919) & 255, f);
    std::fclose(f);
    std::fclose(std::fopen(media.Path("empty.mpg").c_str(), "wb"));
}
::testing::Environment* const kMedia = testsupport::AddMediaEnvironment(g_media, MakeMedia);

// A timeline in memory: scenes with their spans, objects with their kinds.
struct Timeline {
    SceneList scenes{5};
    SpanList spans{5};
    ObjectList objects{5};
    KindList kinds{5};
    std::vector<std::unique_ptr<SceneRecord>> records;

    SceneRecord* AddScene(const std::string& path, int mediaType, double in, double out, int transition = 0)
    {
        records.emplace_back(new SceneRecord());
        SceneRecord* r = records.back().get();
        std::snprintf(r->szPath, sizeof r->szPath, "%s", path.c_str());
        r->nMediaType = mediaType;
        r->nTransitionID = transition;
        r->dInPoint = in;
        r->dOutPoint = out;
        r->dDuration = 4;
        scenes.Add(r);
        spans.Add(SceneSpan{in, out});
        return r;
    }
    void AddObject(void* record, int kind)
    {
        objects.Add(record);
        kinds.Add(kind);
    }
    TimelineLists Lists()
    {
        TimelineLists l;
        l.pScenes = &scenes;
        l.pSpans = &spans;
        l.pObjects = &objects;
        l.pKinds = &kinds;
        return l;
    }
};

struct Rig {
    CTavmRenderer renderer;
    Frame out;
    explicit Rig(int w = 160, int h = 120) : renderer(w, h), out(size_t(w) * h * 3, 0)
    {
        renderer.SetSrcVideoSize(w, h);
        renderer.SetDisplayAspect(4, 3);
        renderer.SetOutputBuffer(out.data());
    }
    const unsigned char* Render(double seconds)
    {
        renderer.ClearFrame(out.data());
        renderer.RenderFrame(int64_t(seconds * kUnitsPerSecond + 0.5));
        return Centre();
    }
    const unsigned char* Centre() const
    {
        const int w = renderer.Width(), h = renderer.Height();
        return &out[(size_t(h / 2) * w + w / 2) * 3];
    }
};

::testing::AssertionResult ColourNear(const unsigned char* px, int r, int g, int b, int tolerance = 14)
{
    if (std::abs(px[2] - r) <= tolerance && std::abs(px[1] - g) <= tolerance && std::abs(px[0] - b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << int(px[2]) << ", " << int(px[1]) << ", " << int(px[0])
                                         << ") instead of (" << r << ", " << g << ", " << b << ")";
}

TEST(Renderer, EachTimeShowsItsSceneAndSecond)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    Timeline tl;
    tl.AddScene(g_media.Path("a.mpg"), MEDIA_TYPE_VIDEO, 0.0, 3.0);
    tl.AddScene(g_media.Path("b.mpg"), MEDIA_TYPE_VIDEO, 1.0, 3.0);
    tl.AddScene(g_media.Path("c.mpg"), MEDIA_TYPE_VIDEO, 0.5, 2.5);  // the still reader's
    Rig rig;
    rig.renderer.SetTimeline(tl.Lists(), 1.0);
    EXPECT_TRUE(ColourNear(rig.Render(0.5), 20, 200, 50));
    EXPECT_TRUE(ColourNear(rig.Render(1.5), 80, 200, 50));
    EXPECT_TRUE(ColourNear(rig.Render(2.5), 140, 200, 50));
    EXPECT_TRUE(ColourNear(rig.Render(3.5), 50, 80, 200)) << "scene B at source 1.5 s";
    EXPECT_TRUE(ColourNear(rig.Render(4.5), 50, 140, 200));
    EXPECT_TRUE(ColourNear(rig.Render(5.7), 80, 50, 200)) << "scene C at source 1.2 s";
    EXPECT_TRUE(ColourNear(rig.Render(6.9), 140, 50, 200));
    EXPECT_EQ(tl.records[2]->bVideoOpen, 1);
    EXPECT_EQ(tl.records[0]->bVideoOpen, 0) << "only the open scene is marked";
    // Positions past the end come round to the start.
    EXPECT_TRUE(ColourNear(rig.Render(7.0 + 0.5), 20, 200, 50));
    // Going back reopens a scene.
    EXPECT_TRUE(ColourNear(rig.Render(1.5), 80, 200, 50));
}

TEST(Renderer, TransitionStartsOnTheBoundaryFrame)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    Timeline tl;
    tl.AddScene(g_media.Path("a.mpg"), MEDIA_TYPE_VIDEO, 0.0, 2.0);
    tl.AddScene(g_media.Path("b.mpg"), MEDIA_TYPE_VIDEO, 2.0, 4.0, 1);  // fade in
    Rig rig;
    rig.renderer.SetTimeline(tl.Lists(), 1.0);
    EXPECT_TRUE(ColourNear(rig.Render(1.96), 80, 200, 50));
    // On the boundary both scenes run and the later one opens: its transition starts
    // with the picture the scene before has just made (its frame at 2.0 s).
    rig.Render(2.0);
    EXPECT_TRUE(rig.renderer.InTransition());
    EXPECT_EQ(rig.renderer.TransitionID(), 1);
    EXPECT_DOUBLE_EQ(rig.renderer.SceneTime(), 0.0);
    EXPECT_TRUE(ColourNear(rig.Centre(), 140, 200, 50, 20));
    // Half way: a mix of the two.
    const unsigned char* mid = rig.Render(2.5);
    EXPECT_TRUE(ColourNear(mid, (140 + 50) / 2, (200 + 140) / 2, (50 + 200) / 2, 20));
    // After the transition: scene B alone.
    EXPECT_FALSE((rig.Render(3.2), rig.renderer.InTransition()));
    EXPECT_TRUE(ColourNear(rig.Centre(), 50, 200, 200));
}

TEST(Renderer, FilesThatCannotBeShownLeaveTheLastPictureOrBlack)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    Timeline tl;
    tl.AddScene(g_media.Path("a.mpg"), MEDIA_TYPE_VIDEO, 0.0, 1.0);
    tl.AddScene(g_media.Path("missing.mpg"), MEDIA_TYPE_VIDEO, 0.0, 1.0);
    tl.AddScene(g_media.Path("empty.mpg"), MEDIA_TYPE_VIDEO, 0.0, 1.0);
    tl.AddScene(g_media.Path("garbage.mpg"), MEDIA_TYPE_VIDEO, 0.0, 1.0);
    tl.AddScene(g_media.Path("a.mpg"), 7, 0.0, 1.0);  // not a media type that is drawn
    SceneRecord* unterminated = tl.AddScene(g_media.Path("a.mpg"), MEDIA_TYPE_VIDEO, 0.0, 1.0);
    std::memset(unterminated->szPath, 'x', sizeof unterminated->szPath);
    tl.scenes.Add(tl.records[0].get());  // a scene without a span
    Rig rig;
    rig.renderer.SetTimeline(tl.Lists(), 0.0);
    EXPECT_TRUE(ColourNear(rig.Render(0.5), 20, 200, 50));
    // Missing and empty files are not opened: the last picture stays.
    EXPECT_TRUE(ColourNear(rig.Render(1.5), 20, 200, 50));
    EXPECT_TRUE(ColourNear(rig.Render(2.5), 20, 200, 50));
    // A file that no reader opens is black.
    EXPECT_TRUE(ColourNear(rig.Render(3.5), 0, 0, 0, 0));
    EXPECT_TRUE(ColourNear(rig.Render(4.5), 0, 0, 0, 0));
    rig.Render(5.5);
    rig.Render(6.5);
}

TEST(Renderer, AbortLeavesTheOutputAlone)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    Timeline tl;
    tl.AddScene(g_media.Path("a.mpg"), MEDIA_TYPE_VIDEO, 0.0, 3.0);
    Rig rig;
    rig.renderer.SetTimeline(tl.Lists(), 0.0);
    rig.renderer.Gate().SetAbort(true);
    std::fill(rig.out.begin(), rig.out.end(), 77);
    rig.renderer.RenderFrame(5000000);
    EXPECT_EQ(rig.out, Frame(rig.out.size(), 77));
    EXPECT_FALSE(rig.renderer.Gate().IsBusy());
}

TEST(Renderer, StaticEffectsAreLaidOverTheSceneWithTheirFade)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    Timeline tl;
    tl.AddScene(g_media.Path("a.mpg"), MEDIA_TYPE_VIDEO, 0.0, 3.0);
    tagOPR_EFFECT negate{};
    negate.dStartTime = 1.0;
    negate.dEndTime = 2.9;
    negate.nEffectID = 6;
    tl.AddObject(&negate, OBJ_EFFECT);
    int unknown = 0;
    tl.AddObject(&unknown, 5);  // kinds the producer does not know are passed over
    tl.AddObject(&unknown, 6);
    Rig rig;
    rig.renderer.SetTimeline(tl.Lists(), 0.0);
    EXPECT_TRUE(ColourNear(rig.Render(0.5), 20, 200, 50)) << "before the effect";
    EXPECT_TRUE(ColourNear(rig.Render(1.5), 255 - 80, 255 - 200, 255 - 50)) << "negated";
    EXPECT_TRUE(ColourNear(rig.Render(2.95), 140, 200, 50)) << "after it";
}

TEST(Renderer, ANewFrameSizeReopensTheScene)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    Timeline tl;
    tl.AddScene(g_media.Path("a.mpg"), MEDIA_TYPE_VIDEO, 0.0, 3.0);
    CTavmRenderer renderer(160, 120);
    renderer.SetTimeline(tl.Lists(), 0.0);
    Frame out(160 * 120 * 3);
    renderer.SetOutputBuffer(out.data());
    renderer.RenderFrame(5000000);
    EXPECT_EQ(tl.records[0]->bVideoOpen, 1);
    renderer.SetFrameSize(320, 240);
    EXPECT_EQ(tl.records[0]->bVideoOpen, 0);
    out.assign(320 * 240 * 3, 0);
    renderer.SetOutputBuffer(out.data());
    renderer.RenderFrame(15000000);
    EXPECT_TRUE(ColourNear(&out[(120 * 320 + 160) * 3], 80, 200, 50));
}

// ---- the stream's frame loop --------------------------------------------------------

struct CountingSink : IVideoEncoderSink {
    std::vector<Frame> frames;
    void EncodeVideoFrame(const unsigned char* rgb, int w, int h) override
    {
        frames.emplace_back(rgb, rgb + size_t(w) * h * 3);
    }
};

TEST(FrameLoop, FirstFrameBlackThenRenderedAndPaced)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    Timeline tl;
    tl.AddScene(g_media.Path("a.mpg"), MEDIA_TYPE_VIDEO, 0.0, 3.0);
    CTavmRenderer renderer(160, 120);
    renderer.SetTimeline(tl.Lists(), 0.0);
    VideoFrameLoop loop(renderer);
    std::vector<int> sleeps;
    loop.SetSleeper([&](int ms) { sleeps.push_back(ms); });
    loop.StartStreaming(10000000);  // one second in
    loop.SetStop(StreamLength(3.0));
    Frame buffer(160 * 120 * 3, 99);
    VideoFrame f = loop.NextFrame(buffer.data());
    EXPECT_EQ(buffer, Frame(buffer.size(), 0)) << "the first frame is black";
    EXPECT_TRUE(f.bDiscontinuity);
    EXPECT_EQ(f.llStart, 0);
    EXPECT_EQ(f.llStop, 666666);
    // Preview never runs faster than 15 frames per second: nothing rendered yet, the
    // first frame waits the whole 66.7 ms.
    ASSERT_EQ(sleeps.size(), 1u);
    EXPECT_EQ(sleeps[0], 66);
    sleeps.clear();
    f = loop.NextFrame(buffer.data());
    EXPECT_TRUE(ColourNear(&buffer[(60 * 160 + 80) * 3], 80, 200, 50));
    EXPECT_FALSE(f.bDiscontinuity);
    EXPECT_EQ(f.llStart, 666666);
    // Then the wait makes up the rest of the period since the last frame went out (the
    // render and a little more); a frame that took the whole period waits not at all.
    if (renderer.RenderTime() < 666666) {
        for (int ms : sleeps)
            EXPECT_LE(ms, int((666666 - renderer.RenderTime()) / 10000));
    } else {
        EXPECT_TRUE(sleeps.empty());
    }

    // At half speed the stamps stretch; a reposition starts the stamps again.
    ASSERT_TRUE(loop.SetRate(0.5));
    EXPECT_FALSE(loop.SetRate(0));
    f = loop.NextFrame(buffer.data());
    EXPECT_EQ(f.llStop - f.llStart, 666666 * 2);
    loop.Reposition(20000000);
    f = loop.NextFrame(buffer.data());
    EXPECT_TRUE(f.bDiscontinuity);
    EXPECT_EQ(f.llStart, 0);
    EXPECT_TRUE(ColourNear(&buffer[(60 * 160 + 80) * 3], 140, 200, 50));
    // The stream ends at its stop time.
    loop.Reposition(StreamLength(3.0));
    EXPECT_TRUE(loop.NextFrame(buffer.data()).bEndOfStream);
}

TEST(FrameLoop, EncodeModeRendersOneInThreeAtTwentyFiveFramesPerSecond)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    Timeline tl;
    tl.AddScene(g_media.Path("a.mpg"), MEDIA_TYPE_VIDEO, 0.0, 3.0);
    CTavmRenderer renderer(160, 120);
    renderer.SetTimeline(tl.Lists(), 0.0);
    renderer.SetMode(kEncodeMode);
    VideoFrameLoop loop(renderer);
    CountingSink sink;
    EncoderLock lock;
    loop.SetEncoder(&sink, &lock);
    std::vector<int> sleeps;
    loop.SetSleeper([&](int ms) { sleeps.push_back(ms); });
    loop.StartStreaming(0);
    loop.SetFrameDuration(400000);
    loop.SetStop(StreamLength(3.0));
    Frame buffer(160 * 120 * 3);
    std::vector<double> rendered;
    int frames = 0;
    while (!loop.NextFrame(buffer.data()).bEndOfStream) {
        rendered.push_back(renderer.LastFrameTime());
        ++frames;
    }
    EXPECT_EQ(frames, 75);
    ASSERT_EQ(sink.frames.size(), 75u) << "every frame is written, the black first one too";
    EXPECT_EQ(sink.frames[0], Frame(sink.frames[0].size(), 0));
    // Frames 1, 2 hold the first picture; frame 3 renders the next.
    for (int k = 1; k + 1 < frames; ++k) {
        const bool renders = (k % 3) == 0;
        EXPECT_EQ(rendered[size_t(k)] != rendered[size_t(k) - 1], renders) << k;
    }
    // The encoder gets rows from the top, red first.
    const Frame& px = sink.frames[40];
    EXPECT_TRUE(ColourNear(&px[(60 * 160 + 80) * 3 + 0] - 0, 50, 200, 80, 20)) << "read as (b, g, r) = (r, g, b)";
    EXPECT_FALSE(lock.IsHeld());
    EXPECT_TRUE(sleeps.empty()) << "encoding runs as fast as it can: no pauses";

    // In full motion every frame after the black first one is a picture of its own.
    loop.SetFullMotion(true);
    loop.StartStreaming(0);
    loop.SetFrameDuration(400000);
    sink.frames.clear();
    rendered.clear();
    while (!loop.NextFrame(buffer.data()).bEndOfStream)
        rendered.push_back(renderer.LastFrameTime());
    ASSERT_EQ(rendered.size(), 75u);
    EXPECT_EQ(sink.frames.size(), 75u);
    for (size_t k = 2; k < rendered.size(); ++k)
        EXPECT_NEAR(rendered[k] - rendered[k - 1], 0.04, 1e-6) << k;
}

TEST(FrameLoop, AProjectShorterThanOneSecondHasNoFrames)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    Timeline tl;
    tl.AddScene(g_media.Path("a.mpg"), MEDIA_TYPE_VIDEO, 0.0, 0.8);
    CTavmRenderer renderer(160, 120);
    renderer.SetTimeline(tl.Lists(), 0.0);
    VideoFrameLoop loop(renderer);
    loop.SetSleeper([](int) {});
    loop.StartStreaming(0);
    loop.SetStop(StreamLength(ProjectLength(&tl.scenes, &tl.spans)));
    Frame buffer(160 * 120 * 3);
    EXPECT_TRUE(loop.NextFrame(buffer.data()).bEndOfStream);
}

}  // namespace
