// The audio mixer over a 20-second project: one MPEG-2 scene (MP2 sound at 48 kHz,
// resampled) under four MP3 music tracks, block after block as the audio stream asks
// for them, opening every source included. Beside it the same five sources as
// 44.1 kHz WAV files, where decoding costs nothing and mixing is all that is left.
//   blocks_per_s  8,192-byte blocks mixed a second
//   x_realtime    seconds of sound mixed per second of work
// The sources are made with the ffmpeg command at start-up and removed at exit.
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "filter/timeline/audio/TavmMixer.h"
#include "filter/timeline/model/TimelineTime.h"

using namespace zolvex;

namespace {

const double kSeconds = 20;
std::string g_dir;

std::string Sine(int freq, int rate)
{
    char s[128];
    std::snprintf(s, sizeof s, "-f lavfi -i 'aevalsrc=0.3*sin(2*PI*%d*t):s=%d:c=stereo:d=%g'", freq, rate, kSeconds);
    return s;
}

bool MakeSources()
{
    char dir[] = "/tmp/zolvex-mixbench-XXXXXX";
    if (std::system("ffmpeg -version >/dev/null 2>&1") != 0 || !mkdtemp(dir))
        return false;
    g_dir = dir;
    const std::string ff = "ffmpeg -nostdin -v error -y ";
    std::string script = ff + "-f lavfi -i color=black:s=320x240:r=25:d=20 " + Sine(1000, 48000) +
                         " -c:v mpeg2video -c:a mp2 -b:a 224k -shortest " + g_dir + "/scene.mpg & ";
    script += ff + Sine(1000, 44100) + " " + g_dir + "/scene.wav & ";
    for (int k = 0; k < 4; ++k) {
        const std::string freq = Sine(300 + 150 * k, 44100);
        script += ff + freq + " -c:a libmp3lame -b:a 192k " + g_dir + "/music" + std::to_string(k) + ".mp3 & ";
        script += ff + freq + " " + g_dir + "/music" + std::to_string(k) + ".wav & ";
    }
    return std::system((script + "wait").c_str()) == 0;
}

struct Project {
    SceneList scenes{4};
    SpanList spans{4};
    ObjectList objects{8};
    KindList kinds{8};
    SceneRecord scene{};
    std::deque<AudioOp> music;

    explicit Project(const char* ext)
    {
        std::snprintf(scene.szPath, sizeof scene.szPath, "%s/scene.%s", g_dir.c_str(), ext[0] == 'w' ? "wav" : "mpg");
        scene.nMediaType = MEDIA_TYPE_VIDEO;
        scenes.Add(&scene);
        spans.Add(SceneSpan{0, kSeconds});
        for (int k = 0; k < 4; ++k) {
            music.push_back(AudioOp{});
            AudioOp& op = music.back();
            op.dEndTime = op.dLength = kSeconds;
            std::snprintf(op.szPath, sizeof op.szPath, "%s/music%d.%s", g_dir.c_str(), k, ext);
            objects.Add(&op);
            kinds.Add(OBJ_MUSIC);
        }
    }
    TimelineLists Lists() { return TimelineLists{&scenes, &spans, &objects, &kinds}; }
};

void MixProject(benchmark::State& state, const char* ext)
{
    Project project(ext);
    CTavmMixer mixer;
    std::vector<unsigned char> buffer(CTavmMixer::kBlockBytes);
    mixer.SetOutputBuffer(buffer.data(), int(buffer.size()));
    const int64_t block = CTavmMixer::kBlockBytes * kUnitsPerSecond / mixer.Format().nAvgBytesPerSec;
    int64_t blocks = 0;
    double seconds = 0;
    for (auto _ : state) {
        // The whole project from the start, as a preview plays it.
        const auto t0 = std::chrono::steady_clock::now();
        mixer.SetTimeline(project.Lists());
        for (int64_t p = block; p < StreamLength(kSeconds); p += block, ++blocks)
            mixer.MixBlock(p);
        benchmark::DoNotOptimize(buffer.data());
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    if (seconds > 0) {
        state.counters["blocks_per_s"] = double(blocks) / seconds;
        state.counters["x_realtime"] = double(blocks) * CTavmMixer::kBlockBytes / mixer.Format().nAvgBytesPerSec / seconds;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (!MakeSources()) {
        std::fprintf(stderr, "the ffmpeg command could not make the sources (scripts/install-deps)\n");
        return 1;
    }
    benchmark::RegisterBenchmark("MixBlock/MPEG-2 scene + 4 MP3 tracks", MixProject, "mp3")
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("MixBlock/WAV scene + 4 WAV tracks", MixProject, "wav")
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::system(("rm -rf '" + g_dir + "'").c_str());
    return 0;
}
