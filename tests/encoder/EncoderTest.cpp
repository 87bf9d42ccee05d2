// The movie encoder against the tools that read its files: ffprobe and ffmpeg decode
// every kind of movie the studio writes back, and dvdauthor and vcdimager (what
// users run next) accept the disc files.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "filter/encoder/CodecTable.h"
#include "filter/encoder/TavmEncoder.h"
#include "filter/timeline/stream/EncoderLock.h"
#include "filter/timeline/stream/TavmControl.h"
#include "tests/support/Command.h"
#include "tests/support/TestMedia.h"
#include "tools/common/SyntheticMovie.h"

using namespace zolvex;
using namespace zolvex::encoder;
using testsupport::Capture;
using testsupport::CaptureBytes;
using testsupport::DecodedCounters;
using testsupport::HaveTool;
using testsupport::Quote;

namespace {

// pcm_u8, the sixth of the PCM family.
constexpr int kCodecPcmU8 = kCodecPcmS16le + 5;

// The movies are checked with both tools.
testsupport::TestMedia g_media("encoder", {"ffprobe", "ffmpeg"});
const std::string& g_dir = g_media.Dir();

struct Movie {
    std::string file;
    int fps, width, height, videoCodec, videoBitRate, audioCodec, audioBitRate, channels, sampleRate;
    std::string preset;
    int aspectNum = 4, aspectDen = 3;
    int quality = -1;
};

OutputFormat Format(const Movie& m)
{
    OutputFormat f;
    f.nFrameRate = m.fps;
    f.nWidth = m.width;
    f.nHeight = m.height;
    f.nVideoCodec = m.videoCodec;
    f.nVideoBitRate = m.videoBitRate;
    f.nAudioCodec = m.audioCodec;
    f.nAudioBitRate = m.audioBitRate;
    f.nChannels = m.channels;
    f.nSampleRate = m.sampleRate;
    f.nQuality = m.quality;
    snprintf(f.szPath, sizeof f.szPath, "%s", (g_dir + "/" + m.file).c_str());
    snprintf(f.szPreset, sizeof f.szPreset, "%s", m.preset.c_str());
    f.nAspectNumerator = m.aspectNum;
    f.nAspectDenominator = m.aspectDen;
    return f;
}

std::string PathOf(const Movie& m) { return g_dir + "/" + m.file; }

// Frames a second the movie plays at: NTSC's "29" is 29.97 for MPEG-1/2 video.
double PlayRate(const Movie& m)
{
    const FrameTime frame = FrameTimeOf(m.fps, m.videoCodec);
    return double(frame.den) / frame.num;
}

// What the pins do: one frame per frame period and the sound up to its end, 16-bit
// at 44,100 Hz with `channels` channels.
void Feed(CTavmEncoder& encoder, const Movie& m, int frames, int channels)
{
    std::vector<unsigned char> rgb(size_t(m.width) * m.height * 3);
    int64_t samplesSent = 0;
    for (int i = 0; i < frames; ++i) {
        testpic::MakeCounterFrame(rgb.data(), m.width, m.height, i);
        encoder.EncodeVideoFrame(rgb.data(), m.width, m.height);
        const int64_t until = int64_t((i + 1) * 44100 / PlayRate(m));
        const std::vector<int16_t> pcm =
            testpic::MakeSine(samplesSent, int(until - samplesSent), channels, 44100, 440.0);
        encoder.EncodeAudioBlock(reinterpret_cast<const unsigned char*>(pcm.data()), int(pcm.size() * 2), channels,
                                 44100);
        samplesSent = until;
    }
}

std::map<std::string, std::string> Probe(const std::string& path, const std::string& stream,
                                         const std::string& entries)
{
    const std::string text = Capture("ffprobe -v error -select_streams " + stream + " -show_entries stream=" +
                                     entries + " -of default=nw=1 " + Quote(path));
    std::map<std::string, std::string> values;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos && !values.count(line.substr(0, eq)))
            values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

// Seconds of sound the file decodes to.
double DecodedSeconds(const std::string& path)
{
    const std::vector<unsigned char> pcm = CaptureBytes("ffmpeg -nostdin -v error -i " + Quote(path) +
                                                        " -map 0:a:0 -ac 1 -ar 8000 -f s16le -");
    return pcm.size() / 2 / 8000.0;
}

// Distances between the key pictures of the video stream.
std::vector<int> KeyFrameGaps(const std::string& path)
{
    const std::string text = Capture("ffprobe -v error -select_streams v:0 -show_entries frame=key_frame -of csv=p=0 " +
                                     Quote(path));
    std::vector<int> gaps;
    int index = 0, last = -1;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || (line[0] != '0' && line[0] != '1'))
            continue;  // side data of the frame before
        if (line[0] == '1') {
            if (last >= 0)
                gaps.push_back(index - last);
            last = index;
        }
        ++index;
    }
    return gaps;
}

std::vector<unsigned char> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

bool FileExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// The first MPEG video sequence header: peak bit rate and decoder buffer size as
// written (MPEG-2 extension bits included when present).
struct SequenceHeader {
    int64_t bitRate = -1;
    int64_t bufferBits = -1;
};

SequenceHeader ReadSequenceHeader(const std::vector<unsigned char>& d)
{
    SequenceHeader out;
    for (size_t i = 0; i + 12 < d.size(); ++i) {
        if (d[i] || d[i + 1] || d[i + 2] != 1 || d[i + 3] != 0xB3)
            continue;
        const unsigned char* p = &d[i + 4];
        int64_t rate = (int64_t(p[4]) << 10) | (p[5] << 2) | (p[6] >> 6);
        int64_t vbv = ((p[6] & 0x1F) << 5) | (p[7] >> 3);
        // A sequence extension follows for MPEG-2: 12 more bits of rate, 8 of buffer.
        for (size_t j = i + 12; j + 10 < d.size() && j < i + 200; ++j) {
            if (!d[j] && !d[j + 1] && d[j + 2] == 1 && d[j + 3] == 0xB5 && (d[j + 4] >> 4) == 1) {
                const unsigned char* e = &d[j + 4];
                rate |= int64_t(((e[2] & 0x1F) << 7) | (e[3] >> 1)) << 18;
                vbv |= int64_t(e[4]) << 10;
                break;
            }
        }
        out.bitRate = rate * 400;
        out.bufferBits = vbv * 16384;
        return out;
    }
    return out;
}

// Program stream pack headers: the mux rate of the first and the distance between
// the first two.
struct Packs {
    int64_t muxRate = -1;
    int64_t packetSize = -1;
};

Packs ReadPacks(const std::vector<unsigned char>& d)
{
    Packs out;
    std::vector<size_t> at;
    for (size_t i = 0; i + 14 < d.size() && at.size() < 2; ++i)
        if (!d[i] && !d[i + 1] && d[i + 2] == 1 && d[i + 3] == 0xBA)
            at.push_back(i);
    if (at.size() < 2)
        return out;
    const unsigned char* p = &d[at[0] + 4];
    if ((p[0] >> 6) == 1)  // MPEG-2 pack: 22 bits after the 6-byte clock
        out.muxRate = ((int64_t(p[6]) << 14) | (p[7] << 6) | (p[8] >> 2)) * 400;
    else  // MPEG-1 pack
        out.muxRate = ((int64_t(p[5] & 0x7F) << 15) | (p[6] << 7) | (p[7] >> 1)) * 400;
    out.packetSize = int64_t(at[1] - at[0]);
    return out;
}

class EncoderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { g_media.Open(); }
    static void TearDownTestSuite()
    {
        if (!std::getenv("ZOLVEX_KEEP_MOVIES"))
            g_media.Remove();
    }
    void SetUp() override { ZOLVEX_REQUIRE_MEDIA(g_media); }
};

struct Expected {
    Movie movie;
    const char* video;
    const char* audio;
    const char* frameRate;
    int gop;
    int channels, sampleRate;
};

const Expected kKinds[] = {
    {{"vcd_pal.mpg", 25, 352, 288, kCodecMpeg1Video, 1150000, kCodecMp2, 224000, 2, 44100, "VCD_PAL"}, "mpeg1video", "mp2", "25/1", 15, 2,
     44100},
    {{"vcd_ntsc.mpg", 29, 352, 240, kCodecMpeg1Video, 1150000, kCodecMp2, 224000, 2, 44100, "VCD_NTSC"}, "mpeg1video", "mp2",
     "30000/1001", 18, 2, 44100},
    {{"svcd_pal.mpg", 25, 480, 576, kCodecMpeg2Video, 2400000, kCodecMp2, 224000, 2, 44100, "SVCD_PAL"}, "mpeg2video", "mp2", "25/1", 15,
     2, 44100},
    {{"svcd_ntsc.mpg", 29, 480, 480, kCodecMpeg2Video, 2400000, kCodecMp2, 224000, 2, 44100, "SVCD_NTSC"}, "mpeg2video", "mp2",
     "30000/1001", 18, 2, 44100},
    {{"dvd_pal.mpg", 25, 720, 576, kCodecMpeg2Video, 6000000, kCodecMp2, 224000, 2, 48000, "DVD_PAL"}, "mpeg2video", "mp2", "25/1", 15, 2,
     48000},
    {{"dvd_ntsc.mpg", 29, 720, 480, kCodecMpeg2Video, 6000000, kCodecAc3, 192000, 2, 48000, "DVD_NTSC"}, "mpeg2video", "ac3",
     "30000/1001", 18, 2, 48000},
    {{"movie.avi", 25, 640, 480, kCodecMpeg4, 2000000, kCodecMp3, 128000, 2, 44100, ""}, "mpeg4", "mp3", "25/1", 12, 2, 44100},
    {{"h263.3gp", 15, 176, 144, kCodecH263, 256000, kCodecAmrNb, 12200, 1, 8000, ""}, "h263", "amr_nb", "15/1", 12, 1, 8000},
    {{"mpeg4.3gp", 15, 176, 144, kCodecMpeg4, 256000, kCodecAmrNb, 12200, 1, 8000, ""}, "mpeg4", "amr_nb", "15/1", 12, 1, 8000},
    {{"movie.swf", 15, 320, 240, kCodecFlv1, 800000, kCodecMp3, 128000, 2, 44100, ""}, "flv1", "mp3", "15/1", 12, 2, 44100},
};

}  // namespace

// Five seconds of every kind of movie: streams, sizes, rates, group length, every
// frame present and in order, the sound as long as what was fed.
TEST_F(EncoderTest, EveryKindOfMovieDecodesBackAsFed)
{
    for (const Expected& k : kKinds) {
        SCOPED_TRACE(k.movie.file);
        CTavmEncoder encoder;
        ASSERT_TRUE(encoder.OpenMovie(Format(k.movie))) << encoder.OutputError();
        const int frames = 5 * k.movie.fps;
        Feed(encoder, k.movie, frames, k.movie.channels);
        encoder.FinishMovie();
        EXPECT_EQ(encoder.OutputError(), "");
        const std::string path = PathOf(k.movie);

        auto v = Probe(path, "v:0", "codec_name,width,height,r_frame_rate");
        EXPECT_EQ(v["codec_name"], k.video);
        EXPECT_EQ(v["width"], std::to_string(k.movie.width));
        EXPECT_EQ(v["height"], std::to_string(k.movie.height));
        EXPECT_EQ(v["r_frame_rate"], k.frameRate);
        auto a = Probe(path, "a:0", "codec_name,channels,sample_rate");
        EXPECT_EQ(a["codec_name"], k.audio);
        EXPECT_EQ(a["channels"], std::to_string(k.channels));
        EXPECT_EQ(a["sample_rate"], std::to_string(k.sampleRate));

        const std::vector<int> counters = DecodedCounters(path);
        ASSERT_EQ(int(counters.size()), frames) << "every frame fed is in the file, the last ones too";
        for (int i = 0; i < frames; ++i)
            ASSERT_EQ(counters[i], i) << "frame " << i;

        const std::vector<int> gaps = KeyFrameGaps(path);
        ASSERT_FALSE(gaps.empty());
        for (int gap : gaps)
            EXPECT_EQ(gap, k.gop);

        // Nothing of the end is lost (the last partial codec frame is padded); at
        // most the encoder's own delay and that padding are added. SWF carries
        // sound only with pictures, so it ends with the last picture's share.
        const double seconds = DecodedSeconds(path);
        const double fed = frames / PlayRate(k.movie);
        EXPECT_GE(seconds, fed - (k.movie.file == "movie.swf" ? 0.05 : 0.001));
        EXPECT_LE(seconds, fed + 0.05);
    }
}

// The disc presets' rate control and multiplexing, as written into the streams.
TEST_F(EncoderTest, DiscPresetsWriteTheirRatesAndPacks)
{
    struct Check {
        int kind;
        const char* muxer;
        int64_t peak, buffer, muxRate, packet;
    };
    const Check checks[] = {
        {0, "vcd", 1150000, 327680, 1411200, 2324},
        {2, "svcd", 2516000, 1835008, -1, 2324},
        {4, "dvd", 9000000, 1835008, 10080000, 2048},
    };
    for (const Check& c : checks) {
        const Movie& m = kKinds[c.kind].movie;
        SCOPED_TRACE(m.file);
        CTavmEncoder encoder;
        ASSERT_TRUE(encoder.OpenMovie(Format(m))) << encoder.OutputError();
        EXPECT_EQ(encoder.ContainerName(), c.muxer) << "the disc's own program stream, in a .mpg file";
        Feed(encoder, m, 10, m.channels);
        encoder.FinishMovie();
        const std::vector<unsigned char> bytes = ReadFile(PathOf(m));
        const SequenceHeader seq = ReadSequenceHeader(bytes);
        EXPECT_EQ(seq.bitRate, c.peak);
        EXPECT_EQ(seq.bufferBits, c.buffer);
        const Packs packs = ReadPacks(bytes);
        if (c.muxRate > 0) {
            EXPECT_EQ(packs.muxRate, c.muxRate);
        }
        EXPECT_EQ(packs.packetSize, c.packet);
    }
}

TEST_F(EncoderTest, PresetsSetTheirColumnsAndSettingsPersistBetweenMovies)
{
    CTavmEncoder encoder;
    EXPECT_EQ(encoder.Settings().nGopSize, 12);
    EXPECT_EQ(encoder.Settings().nMuxRate, 0);
    EXPECT_DOUBLE_EQ(encoder.Settings().dPreload, 0.5);

    Movie dvd = kKinds[4].movie;
    ASSERT_TRUE(encoder.OpenMovie(Format(dvd)));
    encoder.FinishMovie();
    EXPECT_NE(encoder.OutputError().find("no pictures"), std::string::npos)
        << "a movie finished without a frame is a failure, not an empty success";
    EXPECT_EQ(encoder.Settings().nGopSize, 15);
    EXPECT_EQ(encoder.Settings().llRcMaxRate, 9000000);
    EXPECT_EQ(encoder.Settings().nPacketSize, 2048);
    EXPECT_EQ(encoder.Settings().nMuxRate, 10080000);
    EXPECT_DOUBLE_EQ(encoder.Settings().dPreload, 0.5) << "the DVD presets leave the preload";

    Movie svcd = kKinds[2].movie;
    ASSERT_TRUE(encoder.OpenMovie(Format(svcd)));
    encoder.FinishMovie();
    EXPECT_EQ(encoder.Settings().nGopSize, 15);
    EXPECT_EQ(encoder.Settings().llRcMaxRate, 2516000);
    EXPECT_EQ(encoder.Settings().nPacketSize, 2324);
    EXPECT_EQ(encoder.Settings().nMuxRate, 10080000) << "a column the preset does not list keeps its value";

    // A movie without a preset inherits the previous movie's group length.
    Movie avi = kKinds[6].movie;
    avi.file = "inherits.avi";
    ASSERT_TRUE(encoder.OpenMovie(Format(avi)));
    Feed(encoder, avi, 40, 2);
    encoder.FinishMovie();
    const std::vector<int> gaps = KeyFrameGaps(PathOf(avi));
    ASSERT_FALSE(gaps.empty());
    EXPECT_EQ(gaps[0], 15);
}

// 29 frames per second is NTSC's 29.97 for MPEG-1/2 only; stereo sound reaches a
// mono codec as one channel; PCM blocks keep their length whatever the sample size.
TEST_F(EncoderTest, TimeBasesChannelsAndPcm)
{
    Movie mpeg2 = {"ntsc29.mpg", 29, 352, 240, kCodecMpeg2Video, 2000000, kCodecMp2, 128000, 1, 44100, ""};
    Movie mpeg4 = {"rate29.avi", 29, 352, 240, kCodecMpeg4, 2000000, kCodecPcmS16le, 0, 2, 44100, ""};
    Movie pcm8 = {"pcm8.avi", 25, 320, 240, kCodecMpeg4, 1000000, kCodecPcmU8, 0, 1, 22050, ""};
    for (Movie* m : {&mpeg2, &mpeg4, &pcm8}) {
        CTavmEncoder encoder;
        ASSERT_TRUE(encoder.OpenMovie(Format(*m))) << encoder.OutputError();
        Feed(encoder, *m, 3 * m->fps, 2);  // the sound always arrives in stereo
        encoder.FinishMovie();
    }
    EXPECT_EQ(Probe(PathOf(mpeg2), "v:0", "r_frame_rate")["r_frame_rate"], "30000/1001");
    EXPECT_EQ(Probe(PathOf(mpeg2), "a:0", "channels")["channels"], "1");
    EXPECT_EQ(Probe(PathOf(mpeg4), "v:0", "r_frame_rate")["r_frame_rate"], "29/1");
    EXPECT_NEAR(DecodedSeconds(PathOf(mpeg2)), 87 / PlayRate(mpeg2), 0.05);
    EXPECT_NEAR(DecodedSeconds(PathOf(mpeg4)), 3.0, 0.02);
    EXPECT_NEAR(DecodedSeconds(PathOf(pcm8)), 3.0, 0.02);
    EXPECT_EQ(Probe(PathOf(pcm8), "a:0", "codec_name,sample_rate")["sample_rate"], "22050");
}

// Cancelling half way goes through the same closing: the file is whole and plays
// to the last frame fed. The control interface drives the encoder as the studio does.
TEST_F(EncoderTest, MovieCutHalfWayThroughTheControlStillPlays)
{
    const Movie& m = kKinds[4].movie;
    CTavmEncoder encoder;
    CTavmControl* control = new CTavmControl();
    control->AttachOutput(&encoder);
    const OutputFormat f = Format(m);
    const std::string cut = g_dir + "/cut.mpg";
    ASSERT_EQ(control->SetOutputFormat(f.nFrameRate, f.nWidth, f.nHeight, f.nVideoCodec, f.nVideoBitRate,
                                       f.nAudioCodec, f.nAudioBitRate, f.nChannels, f.nSampleRate, f.nQuality,
                                       cut.c_str(), f.szPreset, 4, 3),
              S_OK);
    ASSERT_EQ(control->SetMode(1), S_OK);
    Feed(encoder, m, 37, 2);  // of 125
    control->FinishOutput();
    control->SetMode(0);
    control->Release();
    const std::vector<int> counters = DecodedCounters(cut);
    ASSERT_EQ(counters.size(), 37u);
    EXPECT_EQ(counters.back(), 36);
    EXPECT_NEAR(DecodedSeconds(cut), 37 / 25.0, 0.1);
}

// The two streams call in from their own threads, each under the shared lock, in
// whatever order they happen to run.
TEST_F(EncoderTest, StreamsFromTwoThreads)
{
    Movie m = kKinds[6].movie;
    m.file = "threads.avi";
    CTavmEncoder encoder;
    ASSERT_TRUE(encoder.OpenMovie(Format(m)));
    EncoderLock lock;
    const int frames = 50;
    std::thread video([&] {
        std::vector<unsigned char> rgb(size_t(m.width) * m.height * 3);
        for (int i = 0; i < frames; ++i) {
            testpic::MakeCounterFrame(rgb.data(), m.width, m.height, i);
            EncoderLock::Guard guard(lock);
            encoder.EncodeVideoFrame(rgb.data(), m.width, m.height);
        }
    });
    std::thread audio([&] {
        const int block = 4410;  // a tenth of a second
        for (int i = 0; i < frames * 4 / 10; ++i) {
            const std::vector<int16_t> pcm = testpic::MakeSine(int64_t(i) * block, block, 2, 44100, 440.0);
            EncoderLock::Guard guard(lock);
            encoder.EncodeAudioBlock(reinterpret_cast<const unsigned char*>(pcm.data()), block * 4, 2, 44100);
        }
    });
    video.join();
    audio.join();
    encoder.FinishMovie();
    const std::vector<int> counters = DecodedCounters(PathOf(m));
    ASSERT_EQ(int(counters.size()), frames);
    for (int i = 0; i < frames; ++i)
        EXPECT_EQ(counters[i], i);
    EXPECT_NEAR(DecodedSeconds(PathOf(m)), 2.0, 0.1);
}

// Frames still waiting to be compressed when the encoder is reused for another
// movie are dropped with the old one; the new movie starts at its first frame.
TEST_F(EncoderTest, ReopeningWhileFramesWaitStartsAfresh)
{
    Movie m = kKinds[6].movie;
    m.file = "abandoned.avi";
    CTavmEncoder encoder;
    ASSERT_TRUE(encoder.OpenMovie(Format(m)));
    Feed(encoder, m, 20, 2);
    m.file = "reopened.avi";
    ASSERT_TRUE(encoder.OpenMovie(Format(m)));
    Feed(encoder, m, 30, 2);
    encoder.FinishMovie();
    EXPECT_EQ(encoder.OutputError(), "");
    const std::vector<int> counters = DecodedCounters(PathOf(m));
    ASSERT_EQ(counters.size(), 30u);
    EXPECT_EQ(counters.front(), 0);
    EXPECT_EQ(counters.back(), 29);
}

// Settings the encoder cannot write leave nothing open: later calls do nothing,
// finishing is harmless, no file is left behind and the reason can be read.
TEST_F(EncoderTest, RefusedSettingsLeaveNothingHalfOpen)
{
    struct Case {
        Movie movie;
        const char* why;
    };
    const Case cases[] = {
        {{"unknown.xyz", 25, 352, 288, kCodecMpeg1Video, 1150000, kCodecMp2, 224000, 2, 44100, ""}, "movie format"},
        {{"codec.avi", 25, 352, 288, 999, 1150000, kCodecMp2, 224000, 2, 44100, ""}, "999"},
        {{"nocodec.avi", 25, 352, 288, kCodecMsMpeg4v1, 1150000, kCodecMp2, 224000, 2, 44100, ""}, "msmpeg4v1"},
        {{"audio.avi", 25, 352, 288, 13, 1150000, 4242, 224000, 2, 44100, ""}, "4242"},
        {{"h263_300x200.3gp", 15, 300, 200, kCodecH263, 256000, kCodecAmrNb, 12200, 1, 8000, ""}, "h263"},
        {{"odd.mpg", 25, 351, 288, kCodecMpeg1Video, 1150000, kCodecMp2, 224000, 2, 44100, ""}, "even"},
        {{"rate.mpg", 25, 352, 288, kCodecMpeg1Video, 1150000, kCodecMp2, 224000, 2, 12345, ""}, "12345"},
        {{"no/such/folder/x.mpg", 25, 352, 288, kCodecMpeg1Video, 1150000, kCodecMp2, 224000, 2, 44100, ""}, "cannot be written"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.movie.file);
        CTavmEncoder encoder;
        EXPECT_FALSE(encoder.OpenMovie(Format(c.movie)));
        EXPECT_NE(encoder.OutputError().find(c.why), std::string::npos) << encoder.OutputError();
        EXPECT_FALSE(encoder.IsWriting());
        Feed(encoder, c.movie, 3, 2);
        encoder.FinishMovie();
        encoder.FinishMovie();
        EXPECT_FALSE(FileExists(PathOf(c.movie)));
        EXPECT_NE(encoder.OutputError(), "") << "the reason stays readable after finishing";
    }

    // After a refusal the same encoder writes the next movie normally.
    CTavmEncoder encoder;
    EXPECT_FALSE(encoder.OpenMovie(Format(cases[0].movie)));
    Movie good = kKinds[0].movie;
    good.file = "after_refusal.mpg";
    ASSERT_TRUE(encoder.OpenMovie(Format(good)));
    EXPECT_EQ(encoder.OutputError(), "");
    Feed(encoder, good, 5, 2);
    encoder.FinishMovie();
    EXPECT_EQ(DecodedCounters(PathOf(good)).size(), 5u);
}

TEST_F(EncoderTest, ReadOnlyFolderIsRefused)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    const std::string folder = g_dir + "/readonly";
    ASSERT_EQ(mkdir(folder.c_str(), 0555), 0);
    Movie m = kKinds[0].movie;
    m.file = "readonly/x.mpg";
    CTavmEncoder encoder;
    EXPECT_FALSE(encoder.OpenMovie(Format(m)));
    EXPECT_NE(encoder.OutputError().find("cannot be written"), std::string::npos);
    encoder.FinishMovie();
}

// A disk that fills up part way: the encoder stops writing, says why, and neither
// crashes nor hangs. Run in a child process whose file size is limited.
TEST_F(EncoderTest, FullDiskStopsTheMovieCleanly)
{
    const Movie& m = kKinds[4].movie;
    const std::string path = g_dir + "/full.mpg";
    const rlim_t limit = 64 * 1024;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit r{limit, limit};
        setrlimit(RLIMIT_FSIZE, &r);
        CTavmEncoder encoder;
        OutputFormat f = Format(m);
        snprintf(f.szPath, sizeof f.szPath, "%s", path.c_str());
        if (!encoder.OpenMovie(f))
            _exit(2);
        Feed(encoder, m, 125, 2);
        const bool stopped = !encoder.IsWriting();
        encoder.FinishMovie();
        const bool said = encoder.OutputError().find("Writing the movie failed") != std::string::npos;
        _exit(stopped && said ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0) << "what was written stays";
    EXPECT_LE(st.st_size, off_t(limit));
}

// The tools users author discs with accept the disc movies.
TEST_F(EncoderTest, AuthoringToolsAcceptTheDiscMovies)
{
    if (!HaveTool("dvdauthor") || !HaveTool("vcdimager"))
        GTEST_SKIP() << "dvdauthor or vcdimager is missing (scripts/install-deps)";
    for (int kind : {0, 1, 2, 3, 4, 5}) {
        Movie m = kKinds[kind].movie;
        m.file = "author_" + m.file;
        SCOPED_TRACE(m.file);
        CTavmEncoder encoder;
        ASSERT_TRUE(encoder.OpenMovie(Format(m)));
        Feed(encoder, m, 4 * m.fps, m.channels);
        encoder.FinishMovie();
        int status = -1;
        std::string output;
        const std::string work = g_dir + "/disc_" + std::to_string(kind);
        if (m.preset.rfind("DVD_", 0) == 0) {
            const std::string format = m.preset == "DVD_PAL" ? "pal" : "ntsc";
            output = Capture("VIDEO_FORMAT=" + format + " dvdauthor -o " + Quote(work) + " -t " + Quote(PathOf(m)) +
                                 " 2>&1 && VIDEO_FORMAT=" + format + " dvdauthor -o " + Quote(work) + " -T 2>&1",
                             &status);
        } else {
            const std::string type = m.preset.rfind("VCD_", 0) == 0 ? "vcd2" : "svcd";
            output = Capture("mkdir -p " + Quote(work) + " && cd " + Quote(work) + " && vcdimager -t " + type +
                                 " -c disc.cue -b disc.bin " + Quote(PathOf(m)) + " 2>&1",
                             &status);
        }
        EXPECT_EQ(status, 0) << output;
    }
}

// The studio's quality numbers (0 finest … 255 coarsest) spread over the whole
// quantiser range: each step down in quality makes a smaller file.
TEST_F(EncoderTest, FixedQualitySpansTheQuantiserRange)
{
    off_t sizes[3] = {};
    const int qualities[3] = {0, 127, 229};
    for (int i = 0; i < 3; ++i) {
        Movie m = {"quality" + std::to_string(i) + ".avi", 25, 320, 240, kCodecMpeg4, 0, kCodecMp3, 128000, 2, 44100, ""};
        m.quality = qualities[i];
        CTavmEncoder encoder;
        ASSERT_TRUE(encoder.OpenMovie(Format(m))) << encoder.OutputError();
        Feed(encoder, m, 25, 2);
        encoder.FinishMovie();
        struct stat st;
        ASSERT_EQ(stat(PathOf(m).c_str(), &st), 0);
        sizes[i] = st.st_size;
    }
    EXPECT_GT(sizes[0], sizes[1]);
    EXPECT_GT(sizes[1], sizes[2]) << "quality choice 1 is not the same as choice 5";
}

// The producer's frames: a held picture is compressed again exactly as if it had been
// handed over anew, and in full motion the pictures go straight into the codec's
// planes with their colours and numbers intact.
TEST_F(EncoderTest, HeldAndFullMotionPicturesFromTheProducer)
{
    const int w = 320, h = 240;
    auto feed = [&](const Movie& m, bool fullMotion, bool sayHeld) {
        OutputFormat f = Format(m);
        f.bFullMotion = fullMotion;
        CTavmEncoder encoder;
        EXPECT_TRUE(encoder.OpenMovie(f)) << encoder.OutputError();
        std::vector<unsigned char> rgb(size_t(w) * h * 3), bgr(rgb.size());
        for (int i = 0; i < 30; ++i) {
            const int picture = fullMotion ? i : i - i % 3;  // held for three frames without full motion
            testpic::MakeCounterFrame(rgb.data(), w, h, picture);
            for (int y = 0; y < h; ++y)  // the producer's layout: bottom row first, blue first
                for (int x = 0; x < w; ++x)
                    for (int c = 0; c < 3; ++c)
                        bgr[(size_t(h - 1 - y) * w + x) * 3 + c] = rgb[(size_t(y) * w + x) * 3 + 2 - c];
            encoder.EncodeRenderedFrame(bgr.data(), w, h, sayHeld && picture != i);
        }
        encoder.FinishMovie();
        EXPECT_EQ(encoder.OutputError(), "");
        return ReadFile(PathOf(m));
    };
    const Movie told = {"held.mpg", 25, w, h, kCodecMpeg2Video, 2000000, kCodecMp2, 192000, 2, 44100, ""};
    Movie untold = told;
    untold.file = "unheld.mpg";
    const std::vector<unsigned char> heldBytes = feed(told, false, true), freshBytes = feed(untold, false, false);
    ASSERT_GT(heldBytes.size(), 10000u);
    EXPECT_TRUE(heldBytes == freshBytes) << "a held picture compresses to the same movie";
    std::vector<int> counters = DecodedCounters(PathOf(told));
    ASSERT_EQ(counters.size(), 30u);
    EXPECT_EQ(counters[29], 27);

    for (const Movie& m : {Movie{"full.mpg", 25, w, h, kCodecMpeg2Video, 2000000, kCodecMp2, 192000, 2, 44100, ""},
                           Movie{"full.mp4", 25, w, h, kCodecH264, 0, kCodecAac, 128000, 2, 44100, "", 4, 3, 127}}) {
        SCOPED_TRACE(m.file);
        feed(m, true, false);
        counters = DecodedCounters(PathOf(m));
        ASSERT_EQ(counters.size(), 30u);
        for (int i = 0; i < 30; ++i)
            EXPECT_EQ(counters[size_t(i)], i);
        // The white bar of the colour bars keeps its level: the conversion's matrix is right.
        const std::vector<unsigned char> px =
            CaptureBytes("ffmpeg -nostdin -v error -i " + Quote(PathOf(m)) +
                         " -frames:v 1 -vf crop=8:8:4:" + std::to_string(h / 2) + " -pix_fmt rgb24 -f rawvideo -");
        ASSERT_EQ(px.size(), 8u * 8 * 3);
        for (unsigned char v : px)
            EXPECT_NEAR(v, 235, 12);
    }
}
