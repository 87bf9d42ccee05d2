// Sequential ReadFrameAt over a 720 × 576 MPEG-2 clip (10 s at 25 frames per second,
// GOP 12 with B-frames), in frames per second, beside the limit that the ffmpeg
// command sets when it decodes the same file to raw RGB24 as fast as it can:
//   fps             frames a second through ReadFrameAt
//   ffmpeg_fps      frames a second of `ffmpeg -i clip.mpg -f rawvideo -pix_fmt rgb24`
//   ffmpeg_net_fps  the same without the command's start-up (the time of decoding one
//                   frame taken off)
//   x_ffmpeg, x_ffmpeg_net  time per frame of ReadFrameAt over that of the command
// Opening the file counts for the readers, as the command's start-up counts for it.
// Both decode with a thread per processor and convert with libswscale's sliced
// conversion, as the ffmpeg command does.
// The clip is made with the ffmpeg command at start-up and removed at exit.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <benchmark/benchmark.h>

#include "filter/media/TavmDetReader.h"
#include "filter/media/TavmMediaReader.h"

namespace {

const int kFrames = 250;
const double kRate = 25;
std::string g_dir, g_clip;
double g_ffmpegFps = 0, g_ffmpegNetFps = 0;

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Best of a few runs of the ffmpeg command, in seconds (start-up included).
double FfmpegSeconds(const char* frames)
{
    const std::string command =
        "ffmpeg -nostdin -v error -i '" + g_clip + "' " + frames + " -f rawvideo -pix_fmt rgb24 -y /dev/null";
    double best = 1e9;
    for (int run = 0; run < 5; ++run) {
        const auto t0 = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0)
            return 0;
        best = std::min(best, Seconds(std::chrono::steady_clock::now() - t0));
    }
    return best;
}

void Report(benchmark::State& state, double seconds, int64_t frames)
{
    const double fps = frames / seconds;
    state.counters["fps"] = fps;
    state.counters["ffmpeg_fps"] = g_ffmpegFps;
    state.counters["ffmpeg_net_fps"] = g_ffmpegNetFps;
    if (g_ffmpegFps > 0)
        state.counters["x_ffmpeg"] = g_ffmpegFps / fps;
    if (g_ffmpegNetFps > 0)
        state.counters["x_ffmpeg_net"] = g_ffmpegNetFps / fps;
}

// The whole clip through one reader, as playback reads it.
template <class Reader>
void SequentialReads(benchmark::State& state)
{
    double seconds = 0;
    int64_t frames = 0;
    for (auto _ : state) {
        // Opening counts, as the ffmpeg command's start-up does.
        const auto t0 = std::chrono::steady_clock::now();
        Reader reader;
        if (!reader.Open(g_clip.c_str())) {
            state.SkipWithError("the clip does not open");
            return;
        }
        for (int i = 0; i < kFrames; ++i) {
            if (!reader.ReadFrameAt(i / kRate)) {
                state.SkipWithError("a read failed");
                return;
            }
            benchmark::DoNotOptimize(reader.GetFrameData());
        }
        seconds += Seconds(std::chrono::steady_clock::now() - t0);
        frames += kFrames;
    }
    Report(state, seconds, frames);
}

}  // namespace

int main(int argc, char** argv)
{
    char dir[] = "/tmp/zolvex-bench-media-XXXXXX";
    if (!mkdtemp(dir)) {
        std::fprintf(stderr, "bench_media: no temporary folder\n");
        return 1;
    }
    g_dir = dir;
    g_clip = g_dir + "/clip.mpg";
    const std::string make = "ffmpeg -nostdin -v error -f lavfi -i testsrc2=s=720x576:r=25:d=10 "
                             "-c:v mpeg2video -q:v 3 -g 12 -bf 2 -pix_fmt yuv420p -y '" + g_clip + "'";
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "bench_media: the ffmpeg command could not make the clip\n");
        std::system(("rm -rf '" + g_dir + "'").c_str());
        return 1;
    }
    const double whole = FfmpegSeconds(""), one = FfmpegSeconds("-frames:v 1");
    if (whole > 0)
        g_ffmpegFps = kFrames / whole;
    if (whole > one && one > 0)
        g_ffmpegNetFps = (kFrames - 1) / (whole - one);

    benchmark::RegisterBenchmark("MediaReader/Sequential/720x576-mpeg2", SequentialReads<CTavmMediaReader>)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(2.0);
    benchmark::RegisterBenchmark("DetReader/Sequential/720x576-mpeg2", SequentialReads<CTavmDetReader>)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(2.0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::system(("rm -rf '" + g_dir + "'").c_str());
    return 0;
}
