// The preview and the studio's movie run on the demo project:
//  - smoothness: pictures shown on time against pictures due over 20 s of playing, at
//    the preview's 15 frames a second and at 25 with "Smooth preview";
//  - seek latency: from a seek of the paused preview to its new picture;
//  - the studio's Save Movie run (the saver, its timers and dialog) against
//    zolvex-render on the same project and settings.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Prompt.h"
#include "studio/maker/AnimationLibrary.h"
#include "studio/project/DataFolder.h"
#include "studio/project/ProjectFile.h"
#include "studio/project/ScreenLibrary.h"
#include "studio/shell/MovieOutputParams.h"
#include "studio/shell/PreviewLink.h"
#include "studio/shell/StringTable.h"
#include "studio/shell/ui/MovieSaver.h"

using namespace zolvex;
using namespace zolvex::studio;
using Clock = std::chrono::steady_clock;

namespace {

// The demo project, made once into a scratch folder that lives as long as the run.
struct Demo {
    std::string dir;
    ProjectModel model;
    bool ok = false;
    Demo()
    {
        char pattern[] = "/tmp/zolvex-bench-preview-XXXXXX";
        if (!mkdtemp(pattern))
            return;
        dir = pattern;
        ok = std::system((std::string(ZOLVEX_DEMO) + " '" + dir + "' >/dev/null").c_str()) == 0;
        setenv("ZOLVEX_DATA_DIR", (dir + "/Data").c_str(), 1);
        ProjectStore store(model);
        store.SetReadyDelay(0);
        ok = ok && store.LoadProjectFile(Project()) == 1;
    }
    ~Demo()
    {
        if (!dir.empty())
            std::system(("rm -rf '" + dir + "'").c_str());
    }
    std::string Project() const { return dir + "/Data/Demo/Demo.mpf"; }
};

Demo& TheDemo()
{
    static Demo demo;
    return demo;
}

// The window's side: when each picture came and which time it carries (its bytes
// copied, as the window copies them), and the news served on this thread.
class Window : public IPreviewListener {
public:
    struct Seen {
        Clock::time_point at;
        int64_t time;
    };
    void PreviewPicture(const PreviewFrame& p) override
    {
        copy_.assign(p.bgr, p.bgr + p.stride * size_t(p.height));
        std::lock_guard<std::mutex> lock(m_);
        seen_.push_back(Seen{Clock::now(), p.time});
        cv_.notify_all();
    }
    void PreviewNews(int news) override
    {
        std::lock_guard<std::mutex> lock(m_);
        news_.push_back(news);
        cv_.notify_all();
    }
    // Serves the news until `until` (or until `done` says so after a picture).
    template <typename Done>
    void Serve(GraphPlayer& player, Clock::time_point until, Done done)
    {
        while (Clock::now() < until) {
            std::unique_lock<std::mutex> lock(m_);
            cv_.wait_until(lock, std::min(until, Clock::now() + std::chrono::milliseconds(5)));
            std::deque<int> news;
            news.swap(news_);
            const bool finished = !seen_.empty() && done(seen_.back());
            lock.unlock();
            for (int n : news)
                player.HandleNews(n);
            if (finished)
                return;
        }
    }
    void Serve(GraphPlayer& player, int ms)
    {
        Serve(player, Clock::now() + std::chrono::milliseconds(ms), [](const Seen&) { return false; });
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
    std::vector<uint8_t> copy_;
};

// The preview as the main window opens it, at `fps`.
bool OpenPreview(PreviewLink& link, Window& window, double fps, benchmark::State& state)
{
    Demo& demo = TheDemo();
    if (!demo.ok) {
        state.SkipWithError("the demo project could not be made");
        return false;
    }
    setenv("ZOLVEX_AUDIO_SINK", "fake", 1);
    link.SetListener(&window);
    std::string error;
    if (!link.Open(true, &error)) {
        state.SkipWithError(error.c_str());
        return false;
    }
    link.SetFrameRate(fps);
    link.SetFrame(demo.model.header);
    link.Refresh(demo.model, 5.0);
    window.Serve(link.Player(), 500);
    if (!link.Player().Built()) {
        state.SkipWithError("the preview graph could not be built");
        return false;
    }
    return true;
}

void Smoothness(benchmark::State& state)
{
    const double fps = double(state.range(0));
    const double seconds = 20.0;
    for (auto _ : state) {
        PreviewLink link;
        Window window;
        if (!OpenPreview(link, window, fps, state))
            return;
        window.Take();
        link.Player().Run();
        window.Serve(link.Player(), int(seconds * 1000) + 300);
        link.Player().Pause();
        const std::vector<Window::Seen> seen = window.Take();
        // Shown: each picture of the 20 s that came at all. Late: one that came more
        // than a frame after the usual distance between the clock and its time.
        const double period = 1.0 / fps;
        std::vector<double> offsets;
        for (const auto& s : seen)
            if (s.time >= 0 && double(s.time) / 1e7 < seconds)
                offsets.push_back(std::chrono::duration<double>(s.at.time_since_epoch()).count() -
                                  double(s.time) / 1e7);
        std::vector<double> sorted = offsets;
        std::sort(sorted.begin(), sorted.end());
        const double usual = sorted.empty() ? 0 : sorted[sorted.size() / 2];
        int late = 0;
        for (double o : offsets)
            late += o - usual > period;
        const int onTime = int(offsets.size()) - late;
        const int due = int(seconds * fps);
        state.counters["due"] = due;
        state.counters["shown"] = onTime;
        state.counters["late"] = late;
        state.counters["dropped"] = std::max(due - onTime, 0);
        link.Close();
    }
}

void SeekLatency(benchmark::State& state)
{
    PreviewLink link;
    Window window;
    if (!OpenPreview(link, window, 15.0, state))
        return;
    const int64_t length = int64_t(TheDemo().model.TotalLength() * 1e7);
    std::vector<double> latencies;
    int k = 0;
    for (auto _ : state) {
        // Targets spread over the project, one tenth of a second apart at least, as
        // the slider sets them.
        const int64_t target = (int64_t(++k) * 37000000 + 1000000) % (length - 10000000) / 1000000 * 1000000;
        window.Take();
        const auto start = Clock::now();
        link.Player().Seek(target);
        window.Serve(link.Player(), start + std::chrono::seconds(5), [target](const Window::Seen& s) {
            return std::llabs(s.time - target) < 700000;
        });
        const double latency = std::chrono::duration<double>(Clock::now() - start).count();
        latencies.push_back(latency);
        state.SetIterationTime(latency);
        window.Serve(link.Player(), 100);
    }
    std::sort(latencies.begin(), latencies.end());
    if (!latencies.empty())
        state.counters["median_ms"] = latencies[latencies.size() / 2] * 1000.0;
}

struct Host : IMovieHost {
    void StopPreviewForMovie() override {}
    void MoviePosition(int64_t, int64_t, int64_t) override {}
    void MovieRunEnded(bool written, const std::string&) override { this->written = written; }
    bool written = false;
};

struct NoPrompt : IPrompt {
    int Show(const std::string& text, const std::string&, PromptIcon, PromptButtons) override
    {
        said = text;
        return kAnswerOk;
    }
    std::string said;
};

// The studio's Save Movie run and zolvex-render on the demo project as a DVD (PAL):
// the best of three each.
void SaveMovieAgainstRender(benchmark::State& state)
{
    Demo& demo = TheDemo();
    if (!demo.ok) {
        state.SkipWithError("the demo project could not be made");
        return;
    }
    MovieChoices choices;
    choices.kind = kMovieDisc;
    choices.profile = kDvdPal;
    choices.videoCodec = 1;
    choices.movieName = "Studio";
    choices.folder = demo.dir + "/";
    MovieOutputParams params;
    if (!FillMovieParams(choices, params)) {
        state.SkipWithError("the DVD choices give no parameters");
        return;
    }
    // The libraries zolvex-render loads from the data folder, as the window loads them.
    AnimationLibrary animations(DataFolder());
    animations.Load();
    ScreenLibrary screens;
    screens.Load(DataFolder());
    const std::string tool = std::string(ZOLVEX_RENDER) + " '" + demo.Project() + "' -o '" + demo.dir +
                             "/Render.mpg' --format DVD_PAL --overwrite >/dev/null 2>&1";
    for (auto _ : state) {
        double studio = 1e9, render = 1e9;
        for (int round = 0; round < 3; ++round) {
            std::remove(params.szFilePath.c_str());
            Host host;
            NoPrompt prompt;
            MovieSaver saver(host, prompt);
            QEventLoop loop;
            QObject::connect(&saver, &MovieSaver::Ended, &loop, &QEventLoop::quit);
            const auto start = Clock::now();
            if (!saver.Start(params, demo.model.header, demo.model.Lists(), &animations, &screens, 5.0)) {
                state.SkipWithError(("the studio's run did not start: " + prompt.said).c_str());
                return;
            }
            loop.exec();
            studio = std::min(studio, std::chrono::duration<double>(Clock::now() - start).count());
            if (!host.written) {
                state.SkipWithError(("the studio's run failed: " + prompt.said).c_str());
                return;
            }
            const auto before = Clock::now();
            if (std::system(tool.c_str()) != 0) {
                state.SkipWithError("zolvex-render failed");
                return;
            }
            render = std::min(render, std::chrono::duration<double>(Clock::now() - before).count());
        }
        state.counters["studio_s"] = studio;
        state.counters["render_s"] = render;
        state.counters["studio_over_render"] = studio / render;
        state.SetIterationTime(studio);
    }
}

}  // namespace

BENCHMARK(Smoothness)->Arg(15)->Arg(25)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(SeekLatency)->Iterations(25)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(SaveMovieAgainstRender)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Strings().Load(Language::kEnglish);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
