// The audio mixer against sine tones that the ffmpeg command makes when this binary
// starts, in a temporary folder removed at exit. A tone of known frequency and
// amplitude tells by its zero crossings and its steepest step whether the sound
// arrived whole, converted and without clicks.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "filter/encoder/CodecTable.h"
#include "filter/timeline/stream/TavmControl.h"
#include "filter/timeline/audio/TavmMixer.h"
#include "filter/timeline/stream/StreamLoop.h"
#include "filter/timeline/model/TimelineTime.h"
#include "tests/support/TestMedia.h"

extern "C" {
#include <libavutil/log.h>
}

using namespace zolvex;

namespace {

const double kAmp = 0.5 * 32767;     // the tones' amplitude
const int64_t kBlockUnits = 464399;  // one stereo block
const int kFrames = 2048;

testsupport::TestMedia g_media("mixer");
const std::string& g_dir = g_media.Dir();

std::string Path(const std::string& name) { return g_dir + "/" + name; }

// A sine of amplitude 0.5 from the lavfi source.
std::string Sine(double freq, const char* rest)
{
    char s[160];
    std::snprintf(s, sizeof s, "-f lavfi -i 'aevalsrc=0.5*sin(2*PI*%g*t):%s'", freq, rest);
    return s;
}
const std::string kPicture = "-f lavfi -i color=black:s=64x48:r=25:d=2 ";

const std::pair<std::string, std::string> kClips[] = {
    {"tone48.wav", Sine(1000, "s=48000:c=stereo:d=20")},
    {"tone.mp3", Sine(1000, "s=44100:c=stereo:d=20") + " -c:a libmp3lame -b:a 192k"},
    {"tone.mp2", Sine(1000, "s=48000:c=stereo:d=2") + " -c:a mp2 -b:a 256k"},
    {"mpeg2.mpg", kPicture + Sine(1000, "s=48000:c=stereo:d=2") + " -c:v mpeg2video -c:a mp2 -b:a 256k -shortest"},
    {"mpeg4.mp4", kPicture + Sine(1000, "s=44100:c=stereo:d=2") + " -c:v mpeg4 -c:a aac -b:a 192k -shortest"},
    {"u8.wav", Sine(1000, "s=22050:d=1") + " -c:a pcm_u8"},
    {"s24.wav", Sine(1000, "s=48000:c=stereo:d=1") + " -c:a pcm_s24le"},
    {"f32.wav", Sine(1000, "s=44100:c=stereo:d=1") + " -c:a pcm_f32le"},
    {"mono.wav", Sine(1000, "s=44100:d=1")},
    {"surround.wav", Sine(1000, "s=48000:c=5.1:d=1")},
    {"8k.wav", Sine(1000, "s=8000:d=1")},
    {"96k.wav", Sine(1000, "s=96000:c=stereo:d=1")},
    {"music440.wav", Sine(440, "s=44100:c=stereo:d=4")},
    {"loud.wav", "-f lavfi -i 'aevalsrc=0.9*sin(2*PI*1000*t):s=44100:c=stereo:d=1'"},
    // Ten seconds that open with a quarter second of silence: each start shows.
    {"loop.wav", "-f lavfi -i \"aevalsrc='if(lt(t,0.25),0,0.5*sin(2*PI*1000*t))':s=22050:d=10\""},
    {"silent.mp4", kPicture + "-c:v mpeg4 -an"},
    // Sound that begins 0.3 s after the pictures.
    {"late.mpg", kPicture + "-itsoffset 0.3 " + Sine(1000, "s=48000:c=stereo:d=1") + " -c:v mpeg2video -c:a mp2"},
};

std::vector<char> ReadFile(const std::string& name)
{
    std::ifstream in(Path(name), std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}
void WriteFile(const std::string& name, const std::vector<char>& bytes)
{
    std::ofstream(Path(name), std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

void MakeMedia(testsupport::TestMedia& media)
{
    av_log_set_level(AV_LOG_QUIET);  // damaged files are read on purpose
    std::vector<std::string> commands;
    for (const auto& c : kClips)
        commands.push_back("ffmpeg -nostdin -v error -y " + c.second + " '" + Path(c.first) + "'");
    if (!media.Run(commands))
        return;

    std::mt19937 random(11);
    std::vector<char> junk(64 * 1024);
    for (char& b : junk)
        b = char(random());
    WriteFile("garbage.wav", junk);
    WriteFile("empty.wav", {});
    // A WAV of format tag 0x7777, which no decoder knows.
    std::vector<char> wav = ReadFile("s24.wav");
    wav[20] = wav[21] = 0x77;
    WriteFile("nodecoder.wav", wav);
    // Damaged inside, or cut short (a WAV header then promises more than there is).
    for (const char* name : {"tone.mp3", "tone.mp2", "s24.wav", "mpeg2.mpg", "mpeg4.mp4"}) {
        std::vector<char> bytes = ReadFile(name), damaged = bytes;
        for (size_t k = bytes.size() / 3; k < bytes.size() / 2; k += 7)
            damaged[k] = char(random());
        WriteFile(std::string("damaged.") + name, damaged);
        bytes.resize(bytes.size() / 3);
        WriteFile(std::string("cut.") + name, bytes);
    }
}
::testing::Environment* const g_environment = testsupport::AddMediaEnvironment(g_media, MakeMedia);

struct Project {
    SceneList scenes{8};
    SpanList spans{8};
    ObjectList objects{8};
    KindList kinds{8};
    std::deque<SceneRecord> sceneRecords;
    std::deque<AudioOp> music;

    SceneRecord& AddScene(const std::string& file, double in, double out, int type = MEDIA_TYPE_VIDEO)
    {
        SceneRecord& r = sceneRecords.emplace_back();
        std::snprintf(r.szPath, sizeof r.szPath, "%s", Path(file).c_str());
        r.nMediaType = type;
        scenes.Add(&r);
        spans.Add(SceneSpan{in, out});
        return r;
    }
    AudioOp& AddMusic(const std::string& file, double start, double end, double length)
    {
        AudioOp& op = music.emplace_back(AudioOp{start, end, length, {}, {}, 0, 0});
        std::snprintf(op.szPath, sizeof op.szPath, "%s", Path(file).c_str());
        objects.Add(&op);
        kinds.Add(OBJ_MUSIC);
        return op;
    }
    TimelineLists Lists() { return TimelineLists{&scenes, &spans, &objects, &kinds}; }
};

typedef std::vector<int16_t> Samples;

void Append(Samples& s, const std::vector<unsigned char>& buffer, int bytes)
{
    const int16_t* x = reinterpret_cast<const int16_t*>(buffer.data());
    s.insert(s.end(), x, x + bytes / 2);
}

// MixBlock block after block from `from` seconds, as the stream steps its position.
Samples Render(CTavmMixer& mixer, double from, double seconds)
{
    std::vector<unsigned char> buffer(CTavmMixer::kBlockBytes);
    mixer.SetOutputBuffer(buffer.data(), int(buffer.size()));
    Samples out;
    const int64_t start = int64_t(from * kUnitsPerSecond);
    const int64_t step = CTavmMixer::kBlockBytes * kUnitsPerSecond / mixer.Format().nAvgBytesPerSec;
    for (int64_t p = start; p < start + int64_t(seconds * kUnitsPerSecond); p += step) {
        mixer.MixBlock(p);
        Append(out, buffer, CTavmMixer::kBlockBytes);
    }
    return out;
}

Samples Render(Project& p, int volume, double from, double seconds, int channels = 2)
{
    CTavmMixer mixer(channels);
    mixer.SetTimeline(p.Lists());
    mixer.SetMusicVolume(volume);
    return Render(mixer, from, seconds);
}

// The whole project through the stream's block loop, up to its end of stream.
Samples Stream(Project& p, int volume, int* blocks)
{
    CTavmMixer mixer;
    mixer.SetTimeline(p.Lists());
    mixer.SetMusicVolume(volume);
    AudioBlockLoop loop(mixer);
    loop.SetStop(StreamLength(mixer.ProjectSeconds()));
    std::vector<unsigned char> buffer(CTavmMixer::kBlockBytes, 1);
    Samples s;
    *blocks = 0;
    for (AudioBlock b; !(b = loop.NextBlock(buffer.data(), int(buffer.size()))).bEndOfStream; ++*blocks) {
        EXPECT_EQ(b.llStop - b.llStart, kBlockUnits);
        Append(s, buffer, b.nBytes);
    }
    return s;
}

// Frequency of one channel from its rising zero crossings (interpolated), and peak.
struct Tone {
    double freq = 0;
    int peak = 0;
};
Tone Measure(const Samples& s, int channels, int channel, size_t from, size_t to)
{
    Tone t;
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = from + 1; i < to && i < s.size() / channels; ++i) {
        const double a = s[(i - 1) * channels + channel], b = s[i * channels + channel];
        t.peak = std::max(t.peak, std::abs(int(b)));
        if (a < 0 && b >= 0) {
            (first < 0 ? first : last) = double(i - 1) + a / (a - b);
            ++crossings;
        }
    }
    if (crossings > 2)
        t.freq = (crossings - 1) * 44100.0 / (last - first);
    return t;
}

bool Silent(const Samples& s, size_t from = 0, size_t to = SIZE_MAX)
{
    for (size_t i = from; i < std::min(to, s.size()); ++i)
        if (s[i] != 0)
            return false;
    return true;
}

TEST(Mixer, FormatChannelsAndTimelineReset)
{
    CTavmMixer mixer;
    EXPECT_EQ(mixer.Format(), Pcm16(2, 44100));
    EXPECT_EQ(AudioBlockLoop(mixer).BlockDuration(), kBlockUnits);
    for (int channels : {1, 0, 9})  // only 1 to 8 are taken
        mixer.SetChannels(channels);
    EXPECT_EQ(AudioBlockLoop(mixer).BlockDuration(), 928798);

    Project p;
    p.AddScene("a.mpg", 1.0, 3.5).bAudioOpen = 1;
    p.AddScene("b.mpg", 0.0, 0.7).bAudioOpen = 1;
    p.AddMusic("m.mp3", 0, 5, 5).bOpen = 1;
    p.objects.Add(&p.music.back());  // of another kind: no music track
    p.kinds.Add(5);
    mixer.SetTimeline(p.Lists());
    EXPECT_DOUBLE_EQ(mixer.ProjectSeconds(), 3.2);
    EXPECT_EQ(mixer.ChannelCount(), 2);
    EXPECT_EQ(p.sceneRecords[0].bAudioOpen + p.sceneRecords[1].bAudioOpen + p.music[0].bOpen, 0);
}

TEST(Mixer, VolumeWeighsSceneSoundAgainstMusic)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    Project p;
    p.AddScene("mono.wav", 0, 1);
    p.AddMusic("music440.wav", 0, 1, 4);
    const Samples scene = Render(p, 0, 0, 0.5), music = Render(p, 100, 0, 0.5), half = Render(p, 50, 0, 0.5);
    EXPECT_NEAR(Measure(scene, 2, 1, 4096, 22000).freq, 1000, 1);
    EXPECT_NEAR(Measure(music, 2, 0, 4096, 22000).freq, 440, 1);
    EXPECT_NEAR(Measure(scene, 2, 0, 4096, 22000).peak, kAmp, 40);  // mono at full level on both sides
    ASSERT_EQ(half.size(), scene.size());
    for (size_t i = 0; i < half.size(); ++i)
        ASSERT_EQ(half[i], scene[i] * 50 / 100 + music[i] * 50 / 100) << i;
}

TEST(Mixer, LoudSourcesSaturateInsteadOfWrappingRound)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    Project one, two;
    one.AddMusic("loud.wav", 0, 1, 1);
    two.AddMusic("loud.wav", 0, 1, 1);
    two.AddMusic("loud.wav", 0, 1, 1);
    const Samples solo = Render(one, 100, 0, 0.5), both = Render(two, 100, 0, 0.5);
    int clipped = 0;
    for (size_t i = 0; i < both.size(); ++i) {
        const int sum = 2 * solo[i];
        ASSERT_EQ(both[i], std::max(-32768, std::min(32767, sum))) << i;
        clipped += sum > 32767 || sum < -32768;
    }
    EXPECT_GT(clipped, 1000);
}

TEST(Mixer, TrackLoopsOverItsObjectWithTheSeamInPlace)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    Project p;
    p.AddMusic("loop.wav", 2.0, 32.0, 10.0);  // three plays of the ten-second track
    const Samples s = Render(p, 100, 0, 33);
    std::vector<double> onsets;  // sound after at least 0.2 s of silence
    size_t quiet = 0;
    for (size_t i = 0; i < s.size() / 2; ++i) {
        const bool loud = std::abs(s[2 * i]) > 2000;
        if (loud && quiet > 8820)
            onsets.push_back(i / 44100.0);
        quiet = loud ? 0 : quiet + 1;
    }
    ASSERT_EQ(onsets.size(), 3u);
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(onsets[size_t(k)], 2.25 + 10 * k, 0.005);
    EXPECT_TRUE(Silent(s, 0, 2 * 44100 * 2));
    EXPECT_TRUE(Silent(s, size_t(32.05 * 44100) * 2));
}

// Twenty seconds of tone through the block loop, checked across every block seam.
void CheckGapless(const std::string& file, bool exactPhase)
{
    Project p;
    p.AddScene(file, 0, 20);
    int blocks = 0;
    const Samples s = Stream(p, 0, &blocks);
    ASSERT_EQ(blocks, 431);
    EXPECT_TRUE(Silent(s, 0, 2 * kFrames));  // the first block
    const size_t from = kFrames, to = s.size() / 2 - kFrames;
    const Tone t = Measure(s, 2, 0, from, to);
    EXPECT_NEAR(t.freq, 1000, 0.05) << file;
    EXPECT_NEAR(t.peak, kAmp, kAmp * 0.03) << file;
    // No step steeper than the sine's own: a lost, doubled or silent stretch makes one.
    double steepest = 0;
    for (size_t i = 2 * from + 2; i < 2 * to; ++i)
        steepest = std::max(steepest, std::fabs(double(s[i]) - s[i - 2]));
    EXPECT_LT(steepest, t.peak * 2 * M_PI * 1000 / 44100 * 1.05 + 2) << file;
    if (!exactPhase)
        return;
    // One sine for all twenty seconds: every sample exactly where it belongs.
    const double w = 2 * M_PI * 1000 / 44100;
    double a = 0, b = 0, worst = 0;
    for (size_t i = from; i < to; ++i) {
        a += s[2 * i] * std::sin(w * double(i)) * 2 / double(to - from);
        b += s[2 * i] * std::cos(w * double(i)) * 2 / double(to - from);
    }
    for (size_t i = from; i < to; ++i)
        worst = std::max(worst, std::fabs(s[2 * i] - a * std::sin(w * double(i)) - b * std::cos(w * double(i))));
    EXPECT_LT(worst, kAmp * 0.01) << file;
}

TEST(Mixer, ConsecutiveBlocksJoinWithoutGaps)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    CheckGapless("tone48.wav", true);
    CheckGapless("tone.mp3", false);
}

TEST(Mixer, EverySourceFormatIsConverted)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    for (const char* file : {"tone.mp2", "mpeg2.mpg", "mpeg4.mp4", "u8.wav", "s24.wav", "f32.wav", "mono.wav",
                             "surround.wav", "8k.wav", "96k.wav", "tone.mp3"}) {
        for (int channels : {2, 1}) {
            Project p;
            p.AddScene(file, 0.2, 1.0);
            const Samples s = Render(p, 0, 0, 0.8, channels);
            for (int c = 0; c < channels; ++c) {
                const Tone t = Measure(s, channels, c, 4096, s.size() / channels - 4096);
                EXPECT_NEAR(t.freq, 1000, 2) << file << " channel " << c << " of " << channels;
                EXPECT_GT(t.peak, kAmp * 0.6) << file;
                EXPECT_LT(t.peak, kAmp * 1.5) << file;
            }
        }
    }
}

TEST(Mixer, BadSourcesAreSilentAndNeverStallTheLoop)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    const auto began = std::chrono::steady_clock::now();
    const std::pair<const char*, bool> kCases[] = {
        {"missing.wav", true},       {"empty.wav", true},          {"garbage.wav", true},
        {"nodecoder.wav", true},     {"silent.mp4", true},         {"cut.mpeg4.mp4", true},  // lost its index
        {"cut.tone.mp3", false},     {"cut.tone.mp2", false},      {"cut.s24.wav", false},
        {"cut.mpeg2.mpg", false},    {"damaged.tone.mp3", false},  {"damaged.tone.mp2", false},
        {"damaged.s24.wav", false},  {"damaged.mpeg2.mpg", false}, {"damaged.mpeg4.mp4", false}};
    for (const auto& [file, silent] : kCases) {
        Project p;
        p.AddScene(file, 0, 3);
        p.AddMusic(file, 0.5, 3, 2.0);
        int blocks = 0;
        const Samples s = Stream(p, 50, &blocks);
        EXPECT_EQ(blocks, 65) << file;
        EXPECT_EQ(Silent(s), silent) << file;
    }
    // The two seconds of tone end; the rest of its three-second scene is silent.
    Project p;
    p.AddScene("tone.mp2", 0, 3);
    const Samples s = Render(p, 0, 0, 3);
    EXPECT_FALSE(Silent(s, 0, 44100 * 2));
    EXPECT_TRUE(Silent(s, size_t(2.1 * 44100) * 2));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count(), 10.0);
}

TEST(Mixer, PictureOnlyProjectIsSilentForItsWholeLength)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    Project p;
    p.AddScene("tone48.wav", 0, 2.0, MEDIA_TYPE_PICTURE);  // a sound file, but shown as a picture
    p.AddScene("tone48.wav", 0, 1.5, MEDIA_TYPE_PICTURE);
    int blocks = 0;
    EXPECT_TRUE(Silent(Stream(p, 50, &blocks)));
    EXPECT_EQ(blocks, 65);  // three whole seconds
}

TEST(Mixer, SoundThatStartsLateKeepsItsPlaceAgainstThePictures)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    Project p;
    p.AddScene("late.mpg", 0, 1);
    const Samples s = Render(p, 0, 0, 1);
    size_t onset = 0;
    while (onset < s.size() && std::abs(s[onset]) < 2000)
        ++onset;
    EXPECT_NEAR(onset / 2 / 44100.0, 0.3, 0.015);  // the MP2 encoder's own delay is 10 ms
}

TEST(Mixer, SceneFollowsTheTimelineAndReopensWhenATrackStarts)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    Project p;
    SceneRecord& scene = p.AddScene("tone48.wav", 2.0, 20);
    AudioOp& track = p.AddMusic("music440.wav", 1.0, 3.0, 4);
    CTavmMixer mixer;
    mixer.SetTimeline(p.Lists());
    Render(mixer, 0, 0.95);
    EXPECT_EQ(mixer.Slot(0).SeekCount(), 1);  // opened once, then read on
    EXPECT_NEAR(mixer.Slot(0).CurrentSeconds(), 2.0 + 21 * kFrames / 44100.0, 0.002);
    Render(mixer, 1.0, 0.01);  // the track opens; the scene will reopen
    EXPECT_EQ(track.bOpen, 1);
    EXPECT_EQ(scene.bAudioOpen, 0);
    EXPECT_TRUE(mixer.ChannelHasData(0) && mixer.ChannelHasData(1));
    Render(mixer, 1.05, 0.01);
    EXPECT_EQ(scene.bAudioOpen, 1);
    EXPECT_EQ(mixer.Slot(0).SeekCount(), 2);
    Render(mixer, 1.6, 0.01);  // half a second away: read on
    EXPECT_EQ(mixer.Slot(0).SeekCount(), 2);
    Render(mixer, 3.5, 0.01);  // further than a second: seek
    EXPECT_EQ(mixer.Slot(0).SeekCount(), 3);
    EXPECT_FALSE(mixer.ChannelHasData(1));
}

struct FakeEncoder : IAudioEncoderSink {
    EncoderLock* lock = nullptr;
    std::vector<std::vector<int>> calls;  // bytes, channels, rate, lock held
    void EncodeAudioBlock(const unsigned char*, int bytes, int channels, int rate) override
    {
        calls.push_back({bytes, channels, rate, lock->IsHeld()});
    }
};

TEST(Mixer, LoopTimesBlocksHandsThemToTheEncoderAndStandsStillWhileAborted)
{
    CTavmMixer mixer;
    Project p;
    p.AddScene("missing.wav", 0, 10);
    mixer.SetTimeline(p.Lists());
    AudioBlockLoop loop(mixer);
    EncoderLock lock;
    FakeEncoder encoder;
    encoder.lock = &lock;
    loop.SetEncoder(&encoder, &lock);
    loop.SetStop(10 * kUnitsPerSecond);
    loop.MarkDiscontinuity();
    std::vector<unsigned char> buffer(CTavmMixer::kBlockBytes, 0x55);
    AudioBlock b = loop.NextBlock(buffer.data(), int(buffer.size()));
    EXPECT_TRUE(b.bDiscontinuity);
    EXPECT_EQ(b.llStop, kBlockUnits);
    EXPECT_FALSE(loop.NextBlock(buffer.data(), int(buffer.size())).bDiscontinuity);
    EXPECT_TRUE(encoder.calls.empty());  // preview

    mixer.Gate().SetAbort(true);
    buffer.assign(buffer.size(), 0x55);
    mixer.MixBlock(0);
    EXPECT_EQ(buffer[100], 0x55);  // an aborted mix touches nothing
    for (int k = 0; k < 2; ++k) {
        b = loop.NextBlock(buffer.data(), int(buffer.size()));
        EXPECT_EQ(b.llStart, 2 * kBlockUnits);
        EXPECT_EQ(b.llStop, b.llStart);
    }
    EXPECT_EQ(loop.Position(), 2 * kBlockUnits);
    EXPECT_EQ(buffer[100], 0);
    mixer.Gate().SetAbort(false);

    mixer.SetMode(kEncodeMode);
    mixer.SetChannels(3);  // 8,192 bytes are no whole number of 6-byte frames
    b = loop.NextBlock(buffer.data(), int(buffer.size()));
    EXPECT_EQ(b.nBytes, 8190);
    EXPECT_EQ(b.llStop - b.llStart, 8190LL * kUnitsPerSecond / (44100 * 6));
    ASSERT_EQ(encoder.calls.size(), 1u);
    EXPECT_EQ(encoder.calls[0], (std::vector<int>{8190, 3, 44100, 1}));
    EXPECT_FALSE(lock.IsHeld());
}

// The studio's handshake through the control interface while the stream plays: once
// idle, the old project may go away (AddressSanitizer would see any later read).
TEST(Mixer, ControlInterfaceDrivesTheMixerAndTheAbortHandshakeHolds)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    CTavmMixer mixer;
    CTavmControl* control = new CTavmControl;
    control->AttachAudio(&mixer);
    control->SetMusicVolume(30);
    EXPECT_EQ(mixer.MusicVolume(), 30);
    control->SetOutputFormat(25, 320, 240, encoder::kCodecMpeg2Video, 800000, encoder::kCodecMp2, 128000, 1, 44100, -1, "", "", 4, 3);
    EXPECT_EQ(mixer.Format(), Pcm16(1, 44100));
    mixer.SetChannels(2);

    auto* old = new Project;
    old->AddScene("tone48.wav", 0, 20);
    old->AddMusic("music440.wav", 0, 20, 4);
    control->SetTimeline(&old->scenes, &old->spans, &old->objects, &old->kinds, 1.0, 5.0);
    AudioBlockLoop loop(mixer);
    loop.SetStop(1000 * kUnitsPerSecond);
    std::atomic<bool> run{true};
    std::thread stream([&] {
        std::vector<unsigned char> buffer(CTavmMixer::kBlockBytes);
        while (run)
            loop.NextBlock(buffer.data(), int(buffer.size()));
    });
    auto waitFor = [&](int64_t position) {
        for (int k = 0; k < 5000 && loop.Position() < position; ++k)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    waitFor(5 * kBlockUnits);
    control->SetAbort(1);
    int idle = 0;
    for (int k = 0; k < 1000 && !idle; ++k) {
        control->IsIdle(&idle);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(idle, 1);
    EXPECT_EQ(old->sceneRecords[0].bAudioOpen + old->music[0].bOpen, 2);
    delete old;
    Project fresh;
    fresh.AddScene("mono.wav", 0, 1);
    control->SetTimeline(&fresh.scenes, &fresh.spans, &fresh.objects, &fresh.kinds, 1.0, 5.0);
    loop.Reposition(0);
    control->SetAbort(0);
    waitFor(5 * kBlockUnits);
    run = false;
    stream.join();
    EXPECT_EQ(fresh.sceneRecords[0].bAudioOpen, 1);
    control->Release();
}

}  // namespace
