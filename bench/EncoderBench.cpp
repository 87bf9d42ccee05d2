// Writing a movie, in frames per second, beside the limit that the ffmpeg command sets
// when it encodes the same raw frames and sound with the same settings:
//   fps         frames a second through the encoder (opening and finishing the file
//               included, the sound of each frame too)
//   ffmpeg_fps  frames a second of the ffmpeg command (its start-up included)
//   ffmpeg_net_fps  the same without the command's start-up (the time of a movie of
//               one frame taken off)
//   x_ffmpeg, x_ffmpeg_net  time per frame of the encoder over that of the command
// The frames are the moving bars with a frame counter; the raw files the command
// reads are made at start-up and removed at exit.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "filter/encoder/CodecTable.h"
#include "filter/encoder/TavmEncoder.h"
#include "tools/common/SyntheticMovie.h"

using namespace zolvex::encoder;

namespace {

constexpr int kFrames = 100;
std::string g_dir;

struct Kind {
    const char* name;
    const char* file;
    int fps, width, height, videoCodec, videoBitRate, audioCodec, audioBitRate, sampleRate;
    const char* preset;
    const char* ffmpegOptions;  // the same settings for the command
};

const Kind kKinds[] = {
    // The program stream of a DVD with MP2 sound, as measured from the start, and
    // with the AC-3 sound that the Save Movie DVD kinds write.
    {"Encoder/DVD_PAL/720x576-mpeg2-mp2", "dvd.mpg", 25, 720, 576, kCodecMpeg2Video, 6000000, kCodecMp2, 224000,
     48000, "DVD_PAL",
     "-c:v mpeg2video -b:v 6000000 -g 15 -bf 0 -maxrate 9000000 -minrate 0 -bufsize 1835008 "
     "-rc_init_occupancy 1376256 -bt 4000000 -qmin 2 -qmax 31 -aspect 4:3 "
     "-c:a mp2 -b:a 224000 -ar 48000 -packetsize 2048 -muxrate 10080000 -f dvd"},
    {"Encoder/DVD_PAL/720x576-mpeg2-ac3", "dvd-ac3.mpg", 25, 720, 576, kCodecMpeg2Video, 6000000, kCodecAc3, 224000,
     48000, "DVD_PAL",
     "-c:v mpeg2video -b:v 6000000 -g 15 -bf 0 -maxrate 9000000 -minrate 0 -bufsize 1835008 "
     "-rc_init_occupancy 1376256 -bt 4000000 -qmin 2 -qmax 31 -aspect 4:3 "
     "-c:a ac3 -b:a 224000 -ar 48000 -packetsize 2048 -muxrate 10080000 -f dvd"},
    {"Encoder/AVI/640x480-mpeg4-mp3", "movie.avi", 25, 640, 480, kCodecMpeg4, 2000000, kCodecMp3, 128000, 44100, "",
     "-c:v mpeg4 -b:v 2000000 -g 12 -bf 0 -bt 4000000 -qmin 2 -qmax 31 -aspect 4:3 "
     "-c:a libmp3lame -b:a 128000 -ar 44100 -f avi"},
};

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

struct Material {
    std::vector<std::vector<unsigned char>> frames;
    std::vector<std::vector<int16_t>> sound;  // the sound of each frame
    double ffmpegFps = 0;
    double ffmpegNetFps = 0;  // without the command's start-up
};

Material Make(const Kind& k)
{
    Material m;
    const std::string video = g_dir + "/frames.rgb", audio = g_dir + "/sound.raw";
    std::ofstream v(video, std::ios::binary), a(audio, std::ios::binary);
    int64_t sent = 0;
    for (int i = 0; i < kFrames; ++i) {
        m.frames.emplace_back(size_t(k.width) * k.height * 3);
        zolvex::testpic::MakeCounterFrame(m.frames.back().data(), k.width, k.height, i);
        v.write(reinterpret_cast<const char*>(m.frames.back().data()), m.frames.back().size());
        const int64_t until = int64_t(i + 1) * 44100 / k.fps;
        m.sound.push_back(zolvex::testpic::MakeSine(sent, int(until - sent), 2, 44100, 440.0));
        a.write(reinterpret_cast<const char*>(m.sound.back().data()), m.sound.back().size() * 2);
        sent = until;
    }
    v.close();
    a.close();
    const std::string command = "ffmpeg -nostdin -v error -f rawvideo -pix_fmt rgb24 -s " + std::to_string(k.width) +
                                "x" + std::to_string(k.height) + " -r " + std::to_string(k.fps) + " -i '" + video +
                                "' -f s16le -ar 44100 -ac 2 -i '" + audio + "' " + k.ffmpegOptions;
    const std::string output = " -y '" + g_dir + "/ffmpeg_" + k.file + "'";
    // Best of a few runs, in seconds; the whole movie and only its first frame.
    auto best = [&](const std::string& limit) {
        double seconds = 1e9;
        for (int run = 0; run < 3; ++run) {
            const auto t0 = std::chrono::steady_clock::now();
            if (std::system((command + limit + output).c_str()) != 0)
                return 0.0;
            seconds = std::min(seconds, Seconds(std::chrono::steady_clock::now() - t0));
        }
        return seconds;
    };
    const double whole = best(""), one = best(" -t " + std::to_string(1.0 / k.fps));
    if (whole > 0)
        m.ffmpegFps = kFrames / whole;
    if (whole > one && one > 0)
        m.ffmpegNetFps = (kFrames - 1) / (whole - one);
    std::remove(video.c_str());
    std::remove(audio.c_str());
    return m;
}

void Encode(benchmark::State& state, const Kind* k)
{
    // Made once: the benchmark runs this function several times while it finds
    // how many iterations to time.
    static std::map<const Kind*, Material> made;
    if (!made.count(k))
        made[k] = Make(*k);
    const Material& m = made[k];
    zolvex::OutputFormat f;
    f.nFrameRate = k->fps;
    f.nWidth = k->width;
    f.nHeight = k->height;
    f.nVideoCodec = k->videoCodec;
    f.nVideoBitRate = k->videoBitRate;
    f.nAudioCodec = k->audioCodec;
    f.nAudioBitRate = k->audioBitRate;
    f.nChannels = 2;
    f.nSampleRate = k->sampleRate;
    f.nQuality = -1;
    std::snprintf(f.szPath, sizeof f.szPath, "%s/%s", g_dir.c_str(), k->file);
    std::snprintf(f.szPreset, sizeof f.szPreset, "%s", k->preset);
    f.nAspectNumerator = 4;
    f.nAspectDenominator = 3;

    zolvex::CTavmEncoder encoder;
    double seconds = 0;
    int64_t frames = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        if (!encoder.OpenMovie(f)) {
            state.SkipWithError(encoder.OutputError().c_str());
            return;
        }
        for (int i = 0; i < kFrames; ++i) {
            encoder.EncodeVideoFrame(m.frames[i].data(), k->width, k->height);
            encoder.EncodeAudioBlock(reinterpret_cast<const unsigned char*>(m.sound[i].data()),
                                     int(m.sound[i].size() * 2), 2, 44100);
        }
        encoder.FinishMovie();
        seconds += Seconds(std::chrono::steady_clock::now() - t0);
        frames += kFrames;
    }
    const double fps = frames / seconds;
    state.counters["fps"] = fps;
    state.counters["ffmpeg_fps"] = m.ffmpegFps;
    state.counters["ffmpeg_net_fps"] = m.ffmpegNetFps;
    if (m.ffmpegFps > 0)
        state.counters["x_ffmpeg"] = m.ffmpegFps / fps;
    if (m.ffmpegNetFps > 0)
        state.counters["x_ffmpeg_net"] = m.ffmpegNetFps / fps;
}

}  // namespace

int main(int argc, char** argv)
{
    char dir[] = "/tmp/zolvex-bench-encoder-XXXXXX";
    if (!mkdtemp(dir)) {
        std::fprintf(stderr, "bench_encoder: no temporary folder\n");
        return 1;
    }
    g_dir = dir;
    for (const Kind& k : kKinds)
        benchmark::RegisterBenchmark(k.name, Encode, &k)->Unit(benchmark::kMillisecond)->MinTime(2.0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::system(("rm -rf '" + g_dir + "'").c_str());
    return 0;
}
