// The timeline preview with the real graph and a silent sound sink: the pictures the
// window is handed carry the timeline's pictures at their times after Play, a seek
// and a rate change; the player's rules for rate, volume and stopping; and the file
// preview's failures.
#include <gtest/gtest.h>

#include <cairo.h>
#include <gst/gst.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "filter/timeline/stream/ITavmControl.h"
#include "studio/shell/AlbumPlayer.h"
#include "studio/shell/FilePlayer.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ScriptedPrompt.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

// What the window would see: each picture's time and the colour at its centre, and
// the news, handed back to the player on this (the "window's") thread.
class Window : public IPreviewListener {
public:
    struct Seen {
        int64_t time;
        uint8_t b, g, r;
    };
    void PreviewPicture(const studio::PreviewFrame& p) override
    {
        const uint8_t* centre = p.bgr + size_t(p.height / 2) * p.stride + size_t(p.width / 2) * 3;
        std::lock_guard<std::mutex> lock(m_);
        seen_.push_back(Seen{p.time, centre[0], centre[1], centre[2]});
        cv_.notify_all();
    }
    void PreviewNews(int news) override
    {
        std::lock_guard<std::mutex> lock(m_);
        news_.push_back(news);
        cv_.notify_all();
    }
    // Serves the news for `ms` milliseconds, as the window's event loop would.
    void Serve(GraphPlayer& player, int ms)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            std::unique_lock<std::mutex> lock(m_);
            cv_.wait_until(lock, std::min(end, std::chrono::steady_clock::now() + std::chrono::milliseconds(10)));
            std::deque<int> news;
            news.swap(news_);
            lock.unlock();
            for (int n : news)
                player.HandleNews(n);
        }
    }
    std::vector<Seen> Take()
    {
        std::lock_guard<std::mutex> lock(m_);
        std::vector<Seen> seen;
        seen.swap(seen_);
        return seen;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<Seen> seen_;
    std::deque<int> news_;
};

std::string ColourPicture(const std::string& folder, const char* name, double r, double g, double b)
{
    const std::string path = folder + name + ".png";
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 64, 48);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, r, g, b);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_write_to_png(surface, path.c_str());
    cairo_surface_destroy(surface);
    return path;
}

// Red for the first two seconds, blue for the next two.
struct RedThenBlue {
    SceneList scenes{5};
    SpanList spans{5};
    ObjectList objects{5};
    KindList kinds{5};
    SceneRecord red{}, blue{};
    explicit RedThenBlue(const std::string& folder)
    {
        for (auto [record, name, r, b, start] :
             {std::make_tuple(&red, "red", 1.0, 0.0, 0.0), std::make_tuple(&blue, "blue", 0.0, 1.0, 2.0)}) {
            const std::string path = ColourPicture(folder, name, r, 0, b);
            std::snprintf(record->szPath, sizeof record->szPath, "%s", path.c_str());
            record->nMediaType = MEDIA_TYPE_PICTURE;
            record->dDuration = record->dOutPoint = 2.0;
            scenes.Add(record);
            spans.Add(SceneSpan{start, start + 2.0});
        }
    }
};

bool Red(const Window::Seen& s) { return s.r > 200 && s.b < 60; }
bool Blue(const Window::Seen& s) { return s.b > 200 && s.r < 60; }

class AlbumPlayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("ZOLVEX_AUDIO_SINK", "fake", 1);
        gst_init(nullptr, nullptr);
        player.SetListener(&window);
        ASSERT_TRUE(player.Create());
        ASSERT_EQ(player.Filter()->QueryInterface(IID_ITavmControl, reinterpret_cast<void**>(&control)), S_OK);
        control->SetOutputSize(160, 120);
        control->SetSrcVideoSize(160, 120);
        std::string error;
        ASSERT_EQ(player.Build(&error), 1) << error;
        // The streams' agreement made a fresh producer: the settings and the timeline now.
        control->SetOutputSize(160, 120);
        control->SetSrcVideoSize(160, 120);
        control->SetTimeline(&timeline.scenes, &timeline.spans, &timeline.objects, &timeline.kinds, 1.0, 2.0);
        player.Seek(0);  // the picture of the new lists, as the window's refresh does
        EXPECT_TRUE(player.Silent());
        EXPECT_EQ(player.State(), GraphPlayer::kPaused);
    }
    void TearDown() override
    {
        if (control)
            control->Release();
        player.Destroy();
    }

    testsupport::ScratchFolder folder{"player"};
    RedThenBlue timeline{folder.Path()};
    Window window;
    AlbumPlayer player;
    ITavmControl* control = nullptr;
};

}  // namespace

TEST_F(AlbumPlayerTest, PicturesFollowPlaySeekAndRate)
{
    EXPECT_EQ(player.Duration(), 40000000);
    window.Serve(player, 300);
    std::vector<Window::Seen> shown = window.Take();
    ASSERT_FALSE(shown.empty());
    EXPECT_TRUE(Red(shown.back())) << "the paused preview shows the start of the timeline, not black";

    // Play: pictures come at the clock's pace, red before two seconds.
    const auto start = std::chrono::steady_clock::now();
    player.Run();
    window.Serve(player, 1200);
    std::vector<Window::Seen> seen = window.Take();
    ASSERT_GE(seen.size(), 8u) << "about 15 pictures a second";
    for (const auto& s : seen)
        if (s.time > 2000000 && s.time < 18000000)
            EXPECT_TRUE(Red(s)) << "at " << s.time;
    // In step with the clock: the newest picture is no further on than the time spent.
    const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LE(double(seen.back().time) / 1e7, spent + 0.2);
    EXPECT_GE(double(seen.back().time) / 1e7, spent - 0.6);

    // A seek while paused shows the picture there.
    player.Pause();
    player.Seek(30000000);
    window.Serve(player, 600);
    seen = window.Take();
    ASSERT_FALSE(seen.empty()) << "the picture after a paused seek";
    EXPECT_TRUE(Blue(seen.back()));
    EXPECT_NEAR(double(seen.back().time) / 1e7, 3.0, 0.1);
    EXPECT_NEAR(double(player.Position()) / 1e7, 3.0, 0.1);

    // Twice the rate: half a second of the clock shows about a second of the stream.
    player.Seek(0);
    window.Serve(player, 400);
    ASSERT_TRUE(player.IncreaseRate());
    EXPECT_DOUBLE_EQ(player.Rate(), 2.0);
    window.Serve(player, 400);
    window.Take();
    player.Run();
    window.Serve(player, 1000);
    player.Pause();
    seen = window.Take();
    ASSERT_GE(seen.size(), 2u);
    const double covered = double(seen.back().time - seen.front().time) / 1e7;
    EXPECT_GT(covered, 1.4) << "the stream runs at twice the clock";
    EXPECT_LT(covered, 2.3);
}

TEST_F(AlbumPlayerTest, SeeksWhileOneSettlesKeepOnlyTheNewest)
{
    window.Serve(player, 200);
    const int64_t before = player.SeeksSent();
    // Ten seeks at once: the first goes out, the rest wait, and only the last follows.
    for (int k = 1; k <= 10; ++k)
        player.Seek(int64_t(k) * 3000000);
    EXPECT_EQ(player.SeeksSent(), before + 1);
    window.Serve(player, 800);
    EXPECT_EQ(player.SeeksSent(), before + 2);
    window.Take();
    EXPECT_NEAR(double(player.Position()) / 1e7, 3.0, 0.1);
}

TEST_F(AlbumPlayerTest, EndStopAndRules)
{
    // The end of the streams is news; Stop goes back to the start, paused.
    player.Seek(38000000);
    window.Serve(player, 300);
    player.Run();
    window.Serve(player, 800);
    EXPECT_TRUE(player.Ended());
    player.Stop();
    EXPECT_EQ(player.State(), GraphPlayer::kStopped);
    EXPECT_FALSE(player.Ended());
    window.Serve(player, 300);
    EXPECT_EQ(player.Position(), 0);
    // Play/Pause leaves a stopped player alone.
    player.PlayPause();
    EXPECT_EQ(player.State(), GraphPlayer::kStopped);

    // Halving stops at a quarter, doubling at four.
    EXPECT_TRUE(player.DecreaseRate());
    EXPECT_TRUE(player.DecreaseRate());
    EXPECT_DOUBLE_EQ(player.Rate(), 0.25);
    EXPECT_FALSE(player.CanDecreaseRate());
    EXPECT_FALSE(player.DecreaseRate());
    EXPECT_DOUBLE_EQ(player.Rate(), 0.25);
    for (int k = 0; k < 6; ++k)
        player.IncreaseRate();
    EXPECT_DOUBLE_EQ(player.Rate(), 4.0);
    EXPECT_FALSE(player.CanIncreaseRate());

    // The volume in hundredths of a decibel, silence at the bottom.
    EXPECT_EQ(player.SetVolume(0), -5000);
    EXPECT_EQ(player.SetVolume(100), 0);
    EXPECT_EQ(player.SetVolume(50), -2500);
    EXPECT_DOUBLE_EQ(LinearVolume(-5000), 0.0);
    EXPECT_DOUBLE_EQ(LinearVolume(0), 1.0);
    EXPECT_NEAR(LinearVolume(-2000), 0.1, 1e-9);
}

TEST(FilePlayer, FailuresTellTheStepAndCloseThePlayer)
{
    setenv("ZOLVEX_AUDIO_SINK", "fake", 1);
    gst_init(nullptr, nullptr);
    testsupport::ScratchFolder folder{"player"};
    const std::string junk = folder.Path() + "junk.avi";
    FILE* f = std::fopen(junk.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("not a movie at all, just words", f);
    std::fclose(f);
    testsupport::ScriptedPrompt prompt;
    FilePlayer player;
    FileStep failed = FileStep::kRun;
    EXPECT_FALSE(player.Open(junk, &prompt, &failed));
    EXPECT_EQ(failed, FileStep::kRenderFile);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].title, "Player Window");
    EXPECT_EQ(prompt.shown[0].text, "FAILED(hr=0x80040265) in m_pGraphBuilder->RenderFile(wFile, NULL)\n");
    EXPECT_FALSE(player.Built());
    EXPECT_EQ(player.Duration(), -1);

    EXPECT_FALSE(player.Open(folder.Path() + "missing.mpg", &prompt, &failed));
    EXPECT_EQ(failed, FileStep::kRenderFile);
    EXPECT_EQ(FileStepFailure(FileStep::kVisible, 0x80004002u), "Failed(80004002) in pVW->get_Visible()!\r\n");
}

TEST(FilePlayer, PlaysAPictureFileAndASoundFile)
{
    setenv("ZOLVEX_AUDIO_SINK", "fake", 1);
    gst_init(nullptr, nullptr);
    testsupport::ScratchFolder folder{"player"};
    const std::string wav = folder.Path() + "tone.wav";
    const std::string command = "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=1 -t 1 '" + wav +
                                "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        if (std::getenv("ZOLVEX_REQUIRE_MEDIA"))
            FAIL() << "ffmpeg could not make the sound file";
        GTEST_SKIP() << "no ffmpeg";
    }
    Window window;
    FilePlayer player(&window);
    testsupport::ScriptedPrompt prompt;
    ASSERT_TRUE(player.Open(wav, &prompt)) << (prompt.shown.empty() ? "" : prompt.shown[0].text);
    EXPECT_TRUE(player.AudioOnly());
    EXPECT_EQ(player.State(), GraphPlayer::kRunning);
    EXPECT_NEAR(double(player.Duration()) / 1e7, 1.0, 0.05);
    window.Serve(player, 1500);
    EXPECT_TRUE(player.Ended());
    player.Close();

    const std::string picture = ColourPicture(folder.Path(), "green", 0, 1, 0);
    FilePlayer pictures(&window);
    if (pictures.Open(picture, &prompt)) {  // a still needs the picture decoder plugins
        EXPECT_FALSE(pictures.AudioOnly());
        window.Serve(pictures, 300);
        const auto seen = window.Take();
        ASSERT_FALSE(seen.empty());
        EXPECT_GT(seen.back().g, 200);
    }
}
