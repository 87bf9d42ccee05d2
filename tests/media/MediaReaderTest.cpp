// The media readers against clips that the ffmpeg command makes when this binary
// starts, in a temporary folder removed at exit. Every frame of a pattern clip
// carries its own number as black and white blocks, so a decoded picture tells
// which frame it is.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "filter/media/TavmDetReader.h"
#include "filter/media/TavmMediaReader.h"
#include "platform/wintypes.h"
#include "tests/support/TestMedia.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

enum Clip {
    kMpeg2Ps, kMpeg4Avi, kMpeg4Mp4, kMsMpeg4Avi, kNtscPs, kMsMpeg4V2Avi, kMpeg1Ps, kRawMpeg2,
    kWideSar, kColourAvi, kSmallPs, kSmallAvi, kSoundOnly, kGarbage, kClipCount
};

struct ClipInfo {
    const char* file;
    char source;  // 'p' pattern, 'n' pattern with noise, 'c' colours, 's' sound, 0 made here
    const char* options;
    double seconds, rate;
    int delay;  // frames before the first picture is shown
};

// 128 × 96 unless told. Pictures of MPEG-PS clips get noise to be larger than a 2 KB
// pack: with several pictures in one pack FFmpeg's parser gives some of them the time
// stamp of a neighbour, which no reader can see through. AVI keeps no presentation
// times, so with B-frames its first picture shows one frame late.
const ClipInfo kClips[kClipCount] = {
    {"mpeg2.mpg", 'n', "-c:v mpeg2video -q:v 2 -bf 2 -g 12", 30, 25, 0},
    {"mpeg4.avi", 'p', "-c:v mpeg4 -q:v 2 -bf 2 -g 12", 30, 25, 1},
    {"mpeg4.mp4", 'p', "-c:v mpeg4 -q:v 2 -bf 2 -g 12", 30, 25, 0},
    {"msmpeg4.avi", 'p', "-c:v msmpeg4 -q:v 2 -g 12", 30, 25, 0},
    {"ntsc.mpg", 'n', "-c:v mpeg2video -q:v 2 -bf 2 -g 15", 30, 30000 / 1001.0, 0},
    {"msmpeg4v2.avi", 'p', "-c:v msmpeg4v2 -q:v 2", 1, 25, 0},
    {"mpeg1.mpg", 'n', "-c:v mpeg1video -q:v 2 -bf 2 -g 12", 4, 25, 0},
    {"raw.m2v", 'p', "-c:v mpeg2video -q:v 2 -bf 2 -f mpeg2video", 4, 25, 0},  // no duration, no bit rate
    {"sar.mp4", 'p', "-c:v mpeg4 -q:v 2 -vf setsar=16/15", 1, 25, 0},
    {"colour.avi", 'c', "-c:v mpeg4 -q:v 2", 1, 25, 0},  // 64 × 48, red over blue
    {"small.mpg", 'p', "-c:v mpeg2video -q:v 2 -bf 2 -g 6", 1, 25, 0},
    {"small.avi", 'p', "-c:v mpeg4 -q:v 2 -bf 2 -g 6", 1, 25, 1},
    {"sound.wav", 's', "", 1, 0, 0},
    {"garbage.mpg", 0, "", 0, 0, 0},
};

zolvex::testsupport::TestMedia g_media("media");
const std::string& g_dir = g_media.Dir();

std::string Path(Clip c) { return g_dir + "/" + kClips[c].file; }
std::string TempPath(const std::string& name) { return g_dir + "/" + name; }

std::string Input(const ClipInfo& c)
{
    char d[32];
    std::snprintf(d, sizeof d, "%g", c.seconds);
    switch (c.source) {
    case 's': return std::string("-f lavfi -i sine=d=") + d;
    case 'c': return std::string("-f lavfi -i \"color=red:s=64x48:d=") + d + ",drawbox=y=24:h=24:color=blue:t=fill\"";
    default:
        // 8 × 3 pixels, one bit each (bits 0-7, 8-15, then 0-7 inverted as a check),
        // blown up to 16 × 32 blocks that survive any quantiser.
        return std::string("-f lavfi -i \"color=black:s=8x3:r=") + (c.rate < 26 ? "25" : "30000/1001") + ":d=" + d +
               ",format=gray,geq=lum='255*mod(floor(N/pow(2,X+8*mod(Y,2)))+floor(Y/2),2)'"
               ",scale=128:96:flags=neighbor,setsar=1" + (c.source == 'n' ? ",noise=alls=60:allf=t+u\"" : "\"");
    }
}

void MakeMedia(zolvex::testsupport::TestMedia& media)
{
    // Damaged files are read on purpose; their complaints would only be noise.
    av_log_set_level(AV_LOG_QUIET);
    std::vector<std::string> commands;  // side by side: each encoder has little to do
    for (const ClipInfo& c : kClips)
        if (c.source)
            commands.push_back("ffmpeg -nostdin -v error -y " + Input(c) + " " + c.options +
                               (c.source == 's' ? "" : " -pix_fmt yuv420p") + " '" + g_dir + "/" + c.file + "'");
    if (!media.Run(commands))
        return;
    std::mt19937 random(7);
    std::vector<char> junk(64 * 1024);
    for (char& b : junk)
        b = char(random());
    std::ofstream(Path(kGarbage), std::ios::binary).write(junk.data(), std::streamsize(junk.size()));
}
::testing::Environment* const g_environment = zolvex::testsupport::AddMediaEnvironment(g_media, MakeMedia);

// The number a pattern frame carries, or -1 for any other picture.
int FrameNumber(const unsigned char* pixels, int width, int height, bool bottomUp)
{
    if (!pixels || width < 128 || height < 96)
        return -1;
    int bits[3] = {0, 0, 0};
    for (int row = 0; row < 3; ++row)
        for (int b = 0; b < 8; ++b) {
            const int y = row * 32 + 16;
            // Grey blocks: the middle byte is green in either byte order.
            if (pixels[(size_t(bottomUp ? height - 1 - y : y) * width + b * 16 + 8) * 3 + 1] > 128)
                bits[row] |= 1 << b;
        }
    return (bits[0] ^ bits[2]) == 0xFF ? bits[0] | bits[1] << 8 : -1;
}
int FrameOf(const CTavmMediaReader& r) { return FrameNumber(r.GetFrameData(), r.GetWidth(), r.GetHeight(), false); }
int FrameOf(const CTavmDetReader& r) { return FrameNumber(r.GetFrameData(), r.GetWidth(), r.GetHeight(), true); }

int Frames(Clip clip) { return int(std::ceil(kClips[clip].seconds * kClips[clip].rate - 1e-6)); }

// Whether `frame` is the one shown `seconds` after the container's start: the last
// not after that time (the first before it), with a quarter frame of slack for
// rounded timestamps.
bool IsFrameAt(int frame, double seconds, Clip clip)
{
    const ClipInfo& c = kClips[clip];
    const int frames = Frames(clip);
    const double x = seconds * c.rate - c.delay + 0.25;
    const int k = int(std::floor(x));
    auto clamp = [frames](int n) { return std::min(std::max(n, 0), frames - 1); };
    // Exactly on a frame boundary rounding may go either way.
    return frame == clamp(k) || (x - k < 1e-6 && frame == clamp(k - 1));
}

// Collects what goes to FFmpeg's log while it lives.
std::string g_log;
struct LogCapture {
    LogCapture() { g_log.clear(), av_log_set_callback(&Collect); }
    ~LogCapture() { av_log_set_callback(av_log_default_callback); }
    static void Collect(void*, int, const char* fmt, va_list args)
    {
        char line[1024];
        std::vsnprintf(line, sizeof line, fmt, args);
        g_log += line;
    }
};

// What the container itself says, straight from libavformat.
struct ContainerFacts {
    int64_t startUs = AV_NOPTS_VALUE, durationUs = AV_NOPTS_VALUE, videoBitRate = 0;
};
ContainerFacts Facts(Clip clip)
{
    ContainerFacts f;
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, Path(clip).c_str(), nullptr, nullptr) < 0)
        return f;
    if (avformat_find_stream_info(fmt, nullptr) >= 0) {
        f.startUs = fmt->start_time;
        f.durationUs = fmt->duration;
        f.videoBitRate = fmt->streams[0]->codecpar->bit_rate;
    }
    avformat_close_input(&fmt);
    return f;
}

std::vector<char> ReadBytes(Clip clip)
{
    std::ifstream in(Path(clip), std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
void WriteBytes(const std::string& path, const std::vector<char>& bytes, size_t count)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(std::min(count, bytes.size())));
}

TEST(MediaReaderProbe, AcceptsExactlyTheServedCodecsAndSetsFlip)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    CTavmMediaReader reader;
    for (Clip c : {kMpeg2Ps, kMpeg4Avi, kMpeg4Mp4, kMsMpeg4Avi, kNtscPs, kMsMpeg4V2Avi, kRawMpeg2, kMpeg1Ps, kSoundOnly,
                   kGarbage}) {
        const bool served = c != kMpeg1Ps && c != kSoundOnly && c != kGarbage;
        int flip = 0;
        EXPECT_EQ(reader.Probe(Path(c).c_str(), &flip), served) << kClips[c].file;
        EXPECT_EQ(flip, served ? 1 : 0) << kClips[c].file;
    }
    int flip = 0;
    EXPECT_FALSE(reader.Probe(nullptr, &flip) || flip);
    // Probing takes the place of the file that was open: no reads until Open.
    ASSERT_TRUE(reader.Open(Path(kMpeg4Avi).c_str()));
    EXPECT_TRUE(reader.Probe(Path(kMpeg2Ps).c_str(), nullptr));
    EXPECT_FALSE(reader.ReadFrameAt(0));

    // MPEG-1 is left to the det reader, which reads it exactly.
    CTavmDetReader det;
    ASSERT_TRUE(det.Open(Path(kMpeg1Ps).c_str()));
    EXPECT_TRUE(det.GetWidth() == 128 && det.GetHeight() == 96);
    EXPECT_DOUBLE_EQ(det.GetDuration(), Facts(kMpeg1Ps).durationUs * 1e-6);
    for (double t = 0; t <= det.GetDuration(); t += 1 / 29.97) {
        ASSERT_TRUE(det.ReadFrameAt(t)) << t;
        ASSERT_TRUE(IsFrameAt(FrameOf(det), t, kMpeg1Ps)) << t << " gave " << FrameOf(det);
    }
}

class Containers : public ::testing::TestWithParam<Clip> {};

// Playback and encoding read at the output rate, or every 2nd or 3rd frame of it:
// every picture must be the frame of its time, and none of it may seek.
TEST_P(Containers, SequentialReadsShowTheFrameOfTheirTimeWithoutSeeking)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    const Clip clip = GetParam();
    for (double rate : {15.0, 25.0, 30000.0 / 1001.0})
        for (int step : {1, 2, 3}) {
            CTavmMediaReader reader;
            ASSERT_TRUE(reader.Open(Path(clip).c_str()));
            for (int i = 0; i < int(8 * rate / step); ++i) {
                const double t = i * step / rate;
                ASSERT_TRUE(reader.ReadFrameAt(t)) << t;
                ASSERT_TRUE(IsFrameAt(FrameOf(reader), t, clip))
                    << "rate " << rate << " step " << step << " t " << t << " gave " << FrameOf(reader);
            }
            EXPECT_EQ(reader.GetSeekCount(), 0) << "rate " << rate << " step " << step;
        }
}

TEST_P(Containers, JumpsLandOnTheFrameOfTheirTimeAndSeekOnlyWhenNeeded)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    const Clip clip = GetParam();
    CTavmMediaReader reader;
    ASSERT_TRUE(reader.Open(Path(clip).c_str()));
    const struct {
        double t;
        int seeks;  // so far
    } script[] = {{0.0, 0}, {0.04, 0}, {5.0, 1} /* 124 frames ahead */, {5.2, 1}, {5.6, 1} /* short jumps */,
                  {3.0, 2} /* back */, {23.0, 3} /* 20 s ahead */, {22.96, 4} /* a frame back */,
                  {23.4, 4} /* 10 frames ahead */, {1.0, 5}, {29.96, 6}, {0.0, 7}, {0.08, 7}};
    for (const auto& s : script) {
        ASSERT_TRUE(reader.ReadFrameAt(s.t)) << s.t;
        EXPECT_TRUE(IsFrameAt(FrameOf(reader), s.t, clip)) << s.t << " gave " << FrameOf(reader);
        EXPECT_EQ(reader.GetSeekCount(), s.seeks) << s.t;
    }
}

// Scrubbing reads anywhere: random times against both readers.
TEST_P(Containers, RandomTimesShowTheirFrames)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    const Clip clip = GetParam();
    CTavmMediaReader reader;
    CTavmDetReader det;
    ASSERT_TRUE(reader.Open(Path(clip).c_str()));
    ASSERT_TRUE(det.Open(Path(clip).c_str()));
    std::mt19937 random(5);
    double t = 0;
    for (int i = 0; i < 60; ++i) {
        // Mostly far jumps, some short steps either way.
        t = i % 3 == 2 ? std::max(0.0, t + (int(random() % 40) - 12) / 25.0)
                       : (random() % int(kClips[clip].seconds * 250 - 10)) / 250.0;
        ASSERT_TRUE(reader.ReadFrameAt(t));
        EXPECT_TRUE(IsFrameAt(FrameOf(reader), t, clip)) << t << " gave " << FrameOf(reader);
        // MPEG-PS durations come out a little short; past them the det reader refuses.
        ASSERT_EQ(det.ReadFrameAt(t), t <= det.GetDuration()) << t;
        EXPECT_TRUE(t > det.GetDuration() || IsFrameAt(FrameOf(det), t, clip)) << t << " gave " << FrameOf(det);
    }
}

// The producer's layout is the same picture, turned and with red and blue swapped,
// also for the frame already held when the layout changes.
TEST_P(Containers, BottomUpBlueFirstFramesAreTheSamePictures)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    const Clip clip = GetParam();
    CTavmMediaReader reader;
    ASSERT_TRUE(reader.Open(Path(clip).c_str()));
    const int w = reader.GetWidth(), h = reader.GetHeight();
    for (double t : {0.4, 1.2}) {
        ASSERT_TRUE(reader.ReadFrameAt(t));
        const std::vector<unsigned char> rgb(reader.GetFrameData(), reader.GetFrameData() + size_t(w) * h * 3);
        reader.SetBottomUpBgr(true);
        ASSERT_TRUE(reader.ReadFrameAt(t));
        const unsigned char* bgr = reader.GetFrameData();
        long differing = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c)
                    differing += rgb[(size_t(y) * w + x) * 3 + c] != bgr[(size_t(h - 1 - y) * w + x) * 3 + 2 - c];
        EXPECT_EQ(differing, 0) << t;
        reader.SetBottomUpBgr(false);
    }
}

TEST_P(Containers, PastTheEndTheLastPictureStays)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    const Clip clip = GetParam();
    const double end = kClips[clip].seconds;
    const int last = Frames(clip) - 1;
    CTavmMediaReader reader;
    ASSERT_TRUE(reader.Open(Path(clip).c_str()));
    for (double t : {end - 0.5, end - 0.04}) {
        ASSERT_TRUE(reader.ReadFrameAt(t));
        EXPECT_TRUE(IsFrameAt(FrameOf(reader), t, clip)) << t;
    }
    for (double t : {end + 0.2, end + 1, 3600.0, 1e300, kInf}) {
        ASSERT_TRUE(reader.ReadFrameAt(t)) << t;
        EXPECT_EQ(FrameOf(reader), last) << t;
    }
    EXPECT_EQ(reader.GetSeekCount(), 1);
    // Times that show nothing fail and leave the picture alone.
    for (double t : {-0.04, -1e300, -kInf, kNaN}) {
        EXPECT_FALSE(reader.ReadFrameAt(t)) << t;
        EXPECT_EQ(FrameOf(reader), last);
    }
    ASSERT_TRUE(reader.ReadFrameAt(1.0));
    EXPECT_TRUE(IsFrameAt(FrameOf(reader), 1.0, clip));
    // Straight to a far time after opening.
    ASSERT_TRUE(reader.Open(Path(clip).c_str()));
    ASSERT_TRUE(reader.ReadFrameAt(1e6));
    EXPECT_EQ(FrameOf(reader), last);
}

const char* ContainerName(const ::testing::TestParamInfo<Clip>& info)
{
    static const char* const names[] = {"Mpeg2Ps", "Mpeg4Avi", "Mpeg4Mp4", "MsMpeg4Avi", "NtscMpeg2Ps"};
    return names[info.param];
}
INSTANTIATE_TEST_SUITE_P(Clips, Containers, ::testing::Values(kMpeg2Ps, kMpeg4Avi, kMpeg4Mp4, kMsMpeg4Avi, kNtscPs),
                         ContainerName);

TEST(StudioReader, CountsFromTheStreamsZeroAndSeeksOncePerSecondOfReads)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    const double start = Facts(kMpeg2Ps).startUs * 1e-6;
    ASSERT_GT(start, 0.1);  // MPEG-PS starts late; that is the point
    CTavmMediaReader studio(CTavmMediaReader::kStudioReader), filter;
    ASSERT_TRUE(studio.Open(Path(kMpeg2Ps).c_str()));
    ASSERT_TRUE(filter.Open(Path(kMpeg2Ps).c_str()));
    for (int k = 0; k < 60; ++k) {
        ASSERT_TRUE(studio.ReadFrameAt(start + k / 25.0));
        ASSERT_EQ(FrameOf(studio), k);
        ASSERT_TRUE(filter.ReadFrameAt(k / 25.0));
        ASSERT_EQ(FrameOf(filter), k);
    }
    EXPECT_EQ(studio.GetSeekCount(), 2);  // reads 25 and 50
    EXPECT_EQ(filter.GetSeekCount(), 0);
    // The stream's zero lies before its first picture, which stands for it.
    ASSERT_TRUE(studio.ReadFrameAt(0));
    EXPECT_EQ(FrameOf(studio), 0);
    EXPECT_EQ(studio.GetSeekCount(), 3);  // it had to go back
    // Read 62 is no multiple of 25: a 20-second jump is decoded through.
    ASSERT_TRUE(studio.ReadFrameAt(start + 20));
    EXPECT_EQ(FrameOf(studio), 500);
    EXPECT_EQ(studio.GetSeekCount(), 3);
}

TEST(GuessMediaDuration, NinetyPercentOfTheSizeOverTheByteRateWhenTheContainerCannotTell)
{
    LogCapture log;
    EXPECT_DOUBLE_EQ(GuessMediaDuration(12500000, 800000, 1000000), 12.5);  // the container wins
    EXPECT_EQ(g_log, "");
    EXPECT_NEAR(GuessMediaDuration(AV_NOPTS_VALUE, 800000, 1000000), 9.0, 1e-12);
    EXPECT_EQ(g_log, "  ** duration is unknown: -9223372036854.78; guessing: 9.00 s. from bit_rate\n");
    g_log.clear();
    EXPECT_NEAR(GuessMediaDuration(0, 64007, 4000), 0.45, 1e-12);  // whole bytes per second
    EXPECT_EQ(g_log, "  ** duration is unknown: 0.00; guessing: 0.45 s. from bit_rate\n");
    g_log.clear();
    for (int64_t rate : {0, -8000, 7})  // 7: not one byte per second
        EXPECT_EQ(GuessMediaDuration(0, rate, 1000), -1) << rate;
    EXPECT_EQ(GuessMediaDuration(0, 8000, 0), -1);
    EXPECT_EQ(GuessMediaDuration(-1, 8000, -1), -1);
    EXPECT_EQ(g_log, "");
}

TEST(MediaReaderOpen, LogsANonSquareSampleAspectButKeepsTheCodedSize)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    LogCapture log;
    CTavmMediaReader reader;
    ASSERT_TRUE(reader.Open(Path(kWideSar).c_str()));
    EXPECT_NE(g_log.find("  * scaling input * 128x96 => 137x96 according to sample_aspect_ratio 16/15\n"),
              std::string::npos)
        << g_log;
    EXPECT_TRUE(reader.GetWidth() == 128 && reader.GetHeight() == 96);
    EXPECT_DOUBLE_EQ(reader.GetDuration(), Facts(kWideSar).durationUs * 1e-6);
    g_log.clear();
    ASSERT_TRUE(reader.Open(Path(kMpeg4Avi).c_str()));
    EXPECT_EQ(g_log.find("scaling input"), std::string::npos);
}

// An elementary stream carries no duration, and a quantiser-coded one no bit rate:
// the media reader cannot guess its length; the det reader shows its start.
TEST(MediaReaderOpen, AStreamOfUnknownLengthIsRefusedButTheDetReaderShowsItsStart)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    ASSERT_EQ(Facts(kRawMpeg2).durationUs, AV_NOPTS_VALUE);
    ASSERT_LE(Facts(kRawMpeg2).videoBitRate, 0);
    CTavmMediaReader reader;
    EXPECT_FALSE(reader.Open(Path(kRawMpeg2).c_str()));
    EXPECT_FALSE(reader.ReadFrameAt(0));
    CTavmDetReader det;
    ASSERT_TRUE(det.Open(Path(kRawMpeg2).c_str()));
    EXPECT_EQ(det.GetDuration(), 0);
    ASSERT_TRUE(det.ReadFrameAt(0));
    EXPECT_EQ(FrameOf(det), 0);
    EXPECT_FALSE(det.ReadFrameAt(0.04));
}

TEST(DetReader, FrameIsAHeaderAndBottomUpBgrRowsWithinTheDuration)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    CTavmDetReader det;
    EXPECT_FALSE(det.ReadFrameAt(0));  // nothing open
    ASSERT_TRUE(det.Open(Path(kColourAvi).c_str()));
    for (double t : {-0.01, 1.01, kInf, kNaN})
        EXPECT_FALSE(det.ReadFrameAt(t)) << t;
    ASSERT_TRUE(det.ReadFrameAt(0.5));
    const BITMAPINFOHEADER header = {40, 64, 48, 1, 24, BI_RGB, 64 * 3 * 48, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(det.GetFrameBuffer(), &header, 40), 0);
    ASSERT_EQ(det.GetFrameData(), det.GetFrameBuffer() + 40);
    // The blue bottom row first in memory, blue byte first; the red top row last.
    const unsigned char* rows = det.GetFrameData();
    EXPECT_TRUE(rows[0] > 200 && rows[2] < 60);
    EXPECT_TRUE(rows[47 * 64 * 3] < 60 && rows[47 * 64 * 3 + 2] > 200);
    CTavmMediaReader reader;  // top-down, red first
    ASSERT_TRUE(reader.Open(Path(kColourAvi).c_str()));
    ASSERT_TRUE(reader.ReadFrameAt(0.5));
    EXPECT_TRUE(reader.GetFrameData()[0] > 200 && reader.GetFrameData()[2] < 60);

    // The same picture in the two layouts, byte for byte.
    ASSERT_TRUE(det.Open(Path(kMpeg4Mp4).c_str()));
    ASSERT_TRUE(reader.Open(Path(kMpeg4Mp4).c_str()));
    ASSERT_TRUE(det.ReadFrameAt(12.0) && reader.ReadFrameAt(12.0));
    EXPECT_EQ(FrameOf(det), 300);
    int differences = 0;
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 128 * 3; ++x)
            differences += det.GetFrameData()[(95 - y) * 128 * 3 + x / 3 * 3 + 2 - x % 3] !=
                           reader.GetFrameData()[y * 128 * 3 + x];
    EXPECT_EQ(differences, 0);
}

TEST(DamagedFiles, ATruncatedFilePlaysToItsCutAndKeepsTheLastWholePicture)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    for (Clip clip : {kMpeg4Avi, kMpeg2Ps}) {
        const std::vector<char> bytes = ReadBytes(clip);
        const std::string cut = TempPath(std::string("cut-") + kClips[clip].file);
        WriteBytes(cut, bytes, bytes.size() * 2 / 5);
        CTavmMediaReader reader;
        ASSERT_TRUE(reader.Open(cut.c_str())) << cut;
        for (double t : {0.0, 2.0, 3.0, 29.0, 29.5, 1.0}) {
            ASSERT_TRUE(reader.ReadFrameAt(t)) << cut << " " << t;
            if (t < 20) {
                EXPECT_TRUE(IsFrameAt(FrameOf(reader), t, clip)) << cut << " " << t;
            } else {
                EXPECT_TRUE(FrameOf(reader) > 200 && FrameOf(reader) < 400) << cut << " " << FrameOf(reader);
            }
        }
    }
}

TEST(DamagedFiles, FilesWithoutPicturesFailCleanly)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    WriteBytes(TempPath("empty.avi"), {}, 0);
    for (const std::string& path : {Path(kGarbage), Path(kSoundOnly), TempPath("empty.avi"), TempPath("none.mpg")}) {
        CTavmMediaReader reader;
        CTavmDetReader det;
        EXPECT_FALSE(reader.Open(path.c_str()) || reader.ReadFrameAt(0) || reader.GetFrameData()) << path;
        EXPECT_FALSE(det.Open(path.c_str()) || det.ReadFrameAt(0) || det.GetFrameData()) << path;
    }
}

// Every cut and some random damage of two small clips: each reader fails or reads,
// and the sanitizer build watches every access.
TEST(DamagedFiles, EveryCutAndCorruptionFailsOrReadsCleanly)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    std::mt19937 random(11);
    for (Clip clip : {kSmallPs, kSmallAvi}) {
        const std::vector<char> bytes = ReadBytes(clip);
        ASSERT_GT(bytes.size(), 2048u);
        const std::string path = TempPath(std::string("damaged-") + kClips[clip].file);
        for (int round = 0; round < 20; ++round) {
            std::vector<char> damaged = bytes;
            size_t size = bytes.size();
            if (round < 8) {
                const size_t cuts[] = {1, 12, 100, 700, 2048, size / 4, size / 2, size - 1};
                size = cuts[round];
            } else if (round % 3 == 0) {
                // A block of zeros, as a bad sector leaves.
                const size_t at = random() % (size - 1024);
                std::fill(damaged.begin() + long(at), damaged.begin() + long(at) + 1024, 0);
            } else {
                for (int k = 0; k < 40; ++k)
                    damaged[random() % size] = char(random());
            }
            WriteBytes(path, damaged, size);
            int flip = 0;
            CTavmMediaReader().Probe(path.c_str(), &flip);
            CTavmMediaReader filter, studio(CTavmMediaReader::kStudioReader);
            CTavmDetReader det;
            const bool open[] = {filter.Open(path.c_str()), studio.Open(path.c_str()), det.Open(path.c_str())};
            for (double t : {0.0, 0.5, 0.2, 0.96, 5.0, 0.04, -1.0}) {
                EXPECT_TRUE(!filter.ReadFrameAt(t) || (open[0] && filter.GetFrameData()));
                EXPECT_TRUE(!studio.ReadFrameAt(t) || (open[1] && studio.GetFrameData()));
                EXPECT_TRUE(!det.ReadFrameAt(t) || (open[2] && det.GetFrameData()));
            }
        }
    }
}

}  // namespace
