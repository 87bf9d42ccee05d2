// The frame producer on a 720 × 576 timeline of two MPEG-2 clips (5 s each) with a
// fade between them, a title and a static effect, rendered frame by frame at 25
// frames per second, beside the limit: decoding the same clips alone, frame by frame,
// with the same reader.
//   fps          frames a second through RenderFrame
//   decode_fps   frames a second of ReadFrameAt over the same source times
//   x_decode     time per frame of RenderFrame over that of decoding alone
// The clips are made with the ffmpeg command at start-up and removed at exit.
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include <benchmark/benchmark.h>

#include "filter/media/TavmMediaReader.h"
#include "filter/timeline/video/TavmRenderer.h"
#include "filter/timeline/model/TimelineTime.h"

using namespace zolvex;

namespace {

const int kW = 720, kH = 576;
const int kFrames = 250;  // 10 s at 25 frames per second
std::string g_dir;
double g_decodeFps = 0;

std::string Clip(int k) { return g_dir + "/clip" + std::to_string(k) + ".mpg"; }

bool MakeClips()
{
    char pattern[] = "/tmp/zolvex-renderer-bench-XXXXXX";
    if (!mkdtemp(pattern))
        return false;
    g_dir = pattern;
    for (int k = 0; k < 2; ++k) {
        const std::string source = k == 0 ? "testsrc=s=720x576:r=25:d=5" : "mandelbrot=s=720x576:r=25";
        const std::string cmd = "ffmpeg -nostdin -v error -y -f lavfi -i " + source +
                                " -t 5 -c:v mpeg2video -q:v 3 -g 12 -bf 2 -pix_fmt yuv420p '" + Clip(k) + "'";
        if (std::system(cmd.c_str()) != 0)
            return false;
    }
    return true;
}

double DecodeAloneFps()
{
    const auto t0 = std::chrono::steady_clock::now();
    for (int k = 0; k < 2; ++k) {
        CTavmMediaReader reader;
        int flip = 0;
        if (!reader.Probe(Clip(k).c_str(), &flip) || !reader.Open(Clip(k).c_str()))
            return 0;
        for (int f = 0; f < kFrames / 2; ++f)
            reader.ReadFrameAt(f / 25.0);
    }
    return kFrames / std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void RenderTimeline(benchmark::State& state)
{
    SceneList scenes(5);
    SpanList spans(5);
    ObjectList objects(5);
    KindList kinds(5);
    SceneRecord records[2] = {};
    for (int k = 0; k < 2; ++k) {
        std::snprintf(records[k].szPath, sizeof records[k].szPath, "%s", Clip(k).c_str());
        records[k].nMediaType = MEDIA_TYPE_VIDEO;
        records[k].nTransitionID = k == 1 ? 1 : 0;
        scenes.Add(&records[k]);
        spans.Add(SceneSpan{0.0, 5.0});
    }
    TextOp title{};
    std::strcpy(title.szText, "Summer holidays 2026");
    title.nStyle = 1;
    title.dStartTime = 0.5;
    title.dEndTime = 9.5;
    title.lfFont.lfHeight = -24;
    title.lfFont.lfWeight = 700;
    std::strcpy(title.lfFont.lfFaceName, "Arial");
    title.crText = RGB(255, 255, 255);
    title.crShadow = RGB(0, 0, 0);
    title.nX = 60;
    title.nY = 400;
    title.nOpacity = 255;
    tagOPR_EFFECT brighten{};
    brighten.dStartTime = 2;
    brighten.dEndTime = 8;
    brighten.nEffectID = 0;
    brighten.nLevel = 70;
    objects.Add(&title);
    kinds.Add(OBJ_TEXT);
    objects.Add(&brighten);
    kinds.Add(OBJ_EFFECT);
    TimelineLists lists;
    lists.pScenes = &scenes;
    lists.pSpans = &spans;
    lists.pObjects = &objects;
    lists.pKinds = &kinds;

    CTavmRenderer renderer(kW, kH);
    renderer.SetSrcVideoSize(kW, kH);
    renderer.SetDisplayAspect(4, 3);
    std::vector<unsigned char> out(size_t(kW) * kH * 3);
    renderer.SetOutputBuffer(out.data());
    double seconds = 0;
    int64_t frames = 0;
    for (auto _ : state) {
        renderer.SetTimeline(lists, 1.0);
        const auto t0 = std::chrono::steady_clock::now();
        for (int f = 0; f < kFrames; ++f) {
            renderer.ClearFrame(out.data());
            renderer.RenderFrame(int64_t(f) * 400000);
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        frames += kFrames;
        benchmark::DoNotOptimize(out.data());
    }
    const double fps = frames / seconds;
    state.counters["fps"] = fps;
    state.counters["decode_fps"] = g_decodeFps;
    if (fps > 0)
        state.counters["x_decode"] = g_decodeFps / fps;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!MakeClips()) {
        std::fprintf(stderr, "bench_renderer: the ffmpeg command could not make the clips\n");
        return 1;
    }
    g_decodeFps = DecodeAloneFps();
    benchmark::RegisterBenchmark("RenderFrame/720x576 two MPEG-2 clips, fade, title, effect", RenderTimeline)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(2.0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::system(("rm -rf '" + g_dir + "'").c_str());
    return 0;
}
