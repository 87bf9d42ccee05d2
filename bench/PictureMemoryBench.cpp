// Memory of animated pictures: a GIF of a few kilobytes whose hundred frames are
// 1000 x 1000 each, opened once and four times at once, as a project with such
// stickers opens them.
//   held_MB     bytes of frames the open pictures keep
//   peak_MB     growth of the process's peak resident size over the run
//   load_ms     time to open one picture
// Each case runs once in a fresh process-wide peak, so run the program per case
// (the Makefile does) or read peak_MB of the first case only.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "filter/media/AnimatedPicture.h"

namespace {

std::string g_dir, g_gif;

double PeakMegabytes()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

void OpenPictures(benchmark::State& state)
{
    const int count = int(state.range(0));
    double loadMs = 0, held = 0, peak = 0;
    for (auto _ : state) {
        const double before = PeakMegabytes();
        std::vector<std::unique_ptr<zolvex::AnimatedPicture>> open;
        const auto t0 = std::chrono::steady_clock::now();
        for (int k = 0; k < count; ++k)
            open.emplace_back(zolvex::AnimatedPicture::Load(g_gif.c_str()));
        loadMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count() / count;
        for (const auto& p : open)
            if (!p)
                state.SkipWithError("the picture did not open");
        held = double(zolvex::AnimatedPicture::HeldBytes()) / (1 << 20);
        peak = PeakMegabytes() - before;
    }
    state.counters["held_MB"] = held;
    state.counters["peak_MB"] = peak;
    state.counters["load_ms"] = loadMs;
}
BENCHMARK(OpenPictures)->Arg(1)->Arg(4)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    char dir[] = "/tmp/zolvex-bench-pictures-XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    g_dir = dir;
    g_gif = g_dir + "/large.gif";
    // A white screen and a small square drifting over it: each frame a small change.
    const std::string make = "ffmpeg -nostdin -v error -y -f lavfi -i "
                             "\"color=c=white:s=1000x1000:r=10,drawbox=x='mod(t*100,900)':y=100:w=50:h=50:"
                             "c=red:t=fill\" -t 10 -f gif '" +
                             g_gif + "'";
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "bench_pictures: the ffmpeg command could not make the picture\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::system(("rm -rf '" + g_dir + "'").c_str());
    return 0;
}
