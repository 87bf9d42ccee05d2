// Recorded voice on disk: the WAV files written (header, sizes, odd lengths, never
// over a file, never past 4 GiB), the reader's four failures, the temporary name,
// the formats a device's caps allow, and recordings from a fake microphone.
#include <gtest/gtest.h>

#include <gst/gst.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <thread>
#include <vector>

#include "platform/ReadFile.h"
#include "studio/recording/RecordingFormats.h"
#include "studio/recording/VoiceRecorder.h"
#include "studio/recording/WaveFile.h"
#include "tests/recording/FakeMicrophone.h"
#include "tests/support/ScratchFolder.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

typedef std::vector<uint8_t> Bytes;

Bytes Read(const std::string& path)
{
    Bytes b;
    ReadRegularFile(path.c_str(), 1 << 30, b);
    return b;
}

void Write(const std::string& path, const Bytes& b)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

uint32_t Word(const Bytes& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

}  // namespace

TEST(WaveFile, WritesAWholeFileThatPlayersRead)
{
    testsupport::ScratchFolder folder("wave");
    const std::string path = folder.Path() + "voice.wav";
    const WAVEFORMATEX format = PcmFormat(22050, 1, 16);
    {
        WaveFile wav;
        ASSERT_TRUE(wav.Create(path, format));
        const Bytes block(2000, 0x10);
        ASSERT_TRUE(wav.Write(block.data(), block.size()));
        ASSERT_TRUE(wav.Write(block.data(), 3));  // an odd length gets its pad byte
        EXPECT_EQ(wav.DataBytes(), 2003u);
        EXPECT_FALSE(wav.Write(block.data(), size_t(0xFFFFFFFFu))) << "past what RIFF sizes say";
        EXPECT_EQ(wav.DataBytes(), 2003u);
        ASSERT_TRUE(wav.Close());
    }
    const Bytes file = Read(path);
    ASSERT_EQ(file.size(), 12u + 8 + 18 + 8 + 2003 + 1);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
    EXPECT_EQ(Word(file, 4), file.size() - 8);
    EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(Word(file, 16), 18u) << "cbSize + 18";
    EXPECT_EQ(std::string(file.begin() + 38, file.begin() + 42), "data");
    EXPECT_EQ(Word(file, 42), 2003u);
    WaveFile again;
    EXPECT_FALSE(again.Create(path, format)) << "never over an existing file";

    // The reader finds what was written; ffprobe too.
    WaveFile reader;
    std::string error;
    ASSERT_TRUE(reader.Open(path, &error)) << error;
    EXPECT_EQ(unsigned(reader.Format().nSamplesPerSec), 22050u);
    EXPECT_EQ(unsigned(reader.Format().nBlockAlign), 2u);
    EXPECT_EQ(reader.DataBytes(), 2003u);
    EXPECT_EQ(reader.DataOffset(), 46u);
    if (std::system("command -v ffprobe >/dev/null") == 0) {
        EXPECT_EQ(std::system(("ffprobe -v error '" + path + "' >/dev/null 2>&1").c_str()), 0);
    }

    // A recording stopped at once is a valid file with an empty "data" chunk.
    const std::string empty = folder.Path() + "empty.wav";
    {
        WaveFile wav;
        ASSERT_TRUE(wav.Create(empty, PcmFormat(44100, 2, 16)));
    }
    WaveFile none;
    ASSERT_TRUE(none.Open(empty, &error)) << error;
    EXPECT_EQ(none.DataBytes(), 0u);
}

TEST(WaveFile, TheReaderSaysWhereAFileFails)
{
    testsupport::ScratchFolder folder("wave-bad");
    const std::string good = folder.Path() + "good.wav", bad = folder.Path() + "bad.wav";
    {
        WaveFile wav;
        ASSERT_TRUE(wav.Create(good, PcmFormat(11025, 1, 8)));
        const Bytes block(100, 0x80);
        ASSERT_TRUE(wav.Write(block.data(), block.size()));
    }
    const Bytes whole = Read(good);
    struct Case {
        Bytes bytes;
        const char* error;
    };
    Bytes noWave = whole, noFormat = whole, longFormat = whole, longData = whole;
    noWave[8] = 'X';
    noFormat[12] = 'x';
    longFormat[16] = 0xF0;
    longData[42] = 0xF0;
    const Case cases[] = {{noWave, "Error descending into file"},
                          {noFormat, "Error descending in wave file"},
                          {longFormat, "Error ascending in File"},
                          {longData, "error reading data chunk"},
                          {Bytes(whole.begin(), whole.begin() + 38), "error reading data chunk"},
                          {Bytes(), "Error descending into file"}};
    for (const Case& c : cases) {
        Write(bad, c.bytes);
        WaveFile reader;
        std::string error;
        EXPECT_FALSE(reader.Open(bad, &error));
        EXPECT_EQ(error, c.error);
        EXPECT_FALSE(reader.Valid());
    }
    // Every truncation is refused with one of the four texts, never read past its end.
    const std::set<std::string> texts = {"Error descending into file", "Error descending in wave file",
                                         "Error ascending in File", "error reading data chunk"};
    for (size_t n = 0; n < whole.size(); ++n) {
        Write(bad, Bytes(whole.begin(), whole.begin() + long(n)));
        WaveFile reader;
        std::string error;
        EXPECT_FALSE(reader.Open(bad, &error)) << n << " bytes";
        EXPECT_TRUE(texts.count(error)) << n << " bytes: " << error;
    }
}

TEST(WaveFile, TheTemporaryNameIsTheFirstFreeOne)
{
    testsupport::ScratchFolder folder("wave-temp");
    const std::string first = TemporaryWavePath(folder.Path());
    EXPECT_EQ(first, folder.Path() + "~temp001.wav");
    struct stat st;
    EXPECT_NE(stat(first.c_str(), &st), 0) << "only the name is kept";
    Write(first, Bytes{1});
    const std::string second = TemporaryWavePath(folder.Path());
    EXPECT_NE(second, first);
    EXPECT_EQ(second.rfind(folder.Path() + "~temp", 0), 0u);
    EXPECT_EQ(second.substr(second.size() - 4), ".wav");
}

TEST(RecordingFormats, TheDeviceDecidesWhatIsOffered)
{
    ASSERT_EQ(RecordingFormats().size(), 12u);
    EXPECT_EQ(RecordingFormats()[0].name, "11.025 kHz, mono, 8-bit");
    EXPECT_EQ(RecordingFormats()[0].capability, 0x1u);
    EXPECT_EQ(RecordingFormats()[11].name, "44.1 kHz, stereo, 16-bit");
    EXPECT_EQ(RecordingFormats()[11].capability, 0x800u);
    EXPECT_EQ(unsigned(RecordingFormats()[5].format.nAvgBytesPerSec), 44100u) << "22.05 kHz mono 16-bit";
    // Only 44.1 kHz stereo 16-bit: exactly that one.
    CapsRange only;
    only.minRate = only.maxRate = 44100;
    only.minChannels = only.maxChannels = 2;
    only.s16 = true;
    const std::vector<RecordingFormat> one = OfferedFormats({only});
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].name, "44.1 kHz, stereo, 16-bit");
    // No usable caps: nothing, and the list says so.
    EXPECT_TRUE(OfferedFormats({}).empty());
    EXPECT_STREQ(kNoFormatAvailable, "None Available");
    // A sound server's wide-open caps: all twelve.
    CapsRange open;
    open.minRate = 1, open.maxRate = 384000, open.minChannels = 1, open.maxChannels = 8;
    open.u8 = open.s16 = true;
    EXPECT_EQ(OfferedFormats({open}).size(), 12u);
    const std::vector<std::string> details = FormatDetails(PcmFormat(22050, 2, 8));
    EXPECT_EQ(details, (std::vector<std::string>{"22050 Hz", "8 Bit", "44100 Bytes/sec", "Stereo"}));
}

namespace {

using testsupport::FakeMicrophone;

// Zero crossings of 16-bit mono samples, in crossings per second / 2.
double Frequency(const Bytes& file, uint64_t offset, uint64_t bytes, int rate)
{
    int crossings = 0;
    int16_t last = 0;
    for (uint64_t i = offset; i + 1 < offset + bytes; i += 2) {
        const int16_t s = int16_t(file[i] | file[i + 1] << 8);
        crossings += (last < 0) != (s < 0);
        last = s;
    }
    return crossings / 2.0 / (double(bytes) / 2 / rate);
}

}  // namespace

TEST(VoiceRecorder, RecordsExactlyTheChosenFormatWithItsLevel)
{
    gst_init(nullptr, nullptr);
    testsupport::ScratchFolder folder("voice");
    std::string error;
    // Stopped at once: still a WAV file a player reads.
    {
        VoiceRecorder recorder(FakeMicrophone("sine", "audio/x-raw,rate=44100,channels=2,format=S16LE"));
        const std::string path = folder.Path() + "at-once.wav";
        ASSERT_TRUE(recorder.Start(PcmFormat(44100, 2, 16), path, &error)) << error;
        ASSERT_TRUE(recorder.Stop(&error)) << error;
        WaveFile reader;
        ASSERT_TRUE(reader.Open(path, &error)) << error;
        EXPECT_LT(reader.DataBytes(), 44100u * 4);
    }
    // Two seconds of the tone from a 48 kHz stereo device, kept as 22.05 kHz mono.
    const std::string path = folder.Path() + "tone.wav";
    VoiceRecorder recorder(FakeMicrophone("sine", "audio/x-raw,rate=48000,channels=2,format=F32LE"));
    ASSERT_TRUE(recorder.Start(PcmFormat(22050, 1, 16), path, &error)) << error;
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    EXPECT_GT(recorder.LevelDb(), -30.0) << "the meter hears the tone";
    EXPECT_NEAR(recorder.Elapsed(), 2.0, 0.3);
    ASSERT_TRUE(recorder.Stop(&error)) << error;
    WaveFile reader;
    ASSERT_TRUE(reader.Open(path, &error)) << error;
    EXPECT_EQ(unsigned(reader.Format().nSamplesPerSec), 22050u);
    EXPECT_EQ(unsigned(reader.Format().nChannels), 1u);
    EXPECT_NEAR(double(reader.DataBytes()) / 44100.0, 2.0, 0.3) << "two seconds";
    const Bytes file = Read(path);
    EXPECT_NEAR(Frequency(file, reader.DataOffset() + 4410, reader.DataBytes() - 8820, 22050), 1000.0, 20.0);

    // Silence shows as silence, in 8 bits too (the meter stands before the narrowing).
    VoiceRecorder quiet(FakeMicrophone("silence", "audio/x-raw,rate=11025,channels=1,format=S16LE"));
    ASSERT_TRUE(quiet.Start(PcmFormat(11025, 1, 8), folder.Path() + "quiet.wav", &error)) << error;
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_DOUBLE_EQ(quiet.LevelDb(), -90.0);
    ASSERT_TRUE(quiet.Stop(&error)) << error;
    // Never over an existing file.
    VoiceRecorder again(FakeMicrophone("sine", "audio/x-raw,rate=11025,channels=1,format=S16LE"));
    EXPECT_FALSE(again.Start(PcmFormat(11025, 1, 8), folder.Path() + "quiet.wav", &error));
    EXPECT_EQ(error, "Error Creating Sound File");
}

TEST(VoiceRecorder, CapsBecomeRanges)
{
    gst_init(nullptr, nullptr);
    GstCaps* caps = gst_caps_from_string(
        "audio/x-raw,format=S16LE,rate=44100,channels=2; audio/x-raw,format={F32LE,S16LE},rate=[8000,96000],"
        "channels=[1,2]; video/x-raw");
    const std::vector<CapsRange> ranges = RangesOfCaps(caps);
    gst_caps_unref(caps);
    ASSERT_EQ(ranges.size(), 2u);
    EXPECT_EQ(ranges[0].minRate, 44100);
    EXPECT_EQ(ranges[1].maxRate, 96000);
    EXPECT_EQ(OfferedFormats({ranges[0]}).size(), 2u) << "44.1 kHz stereo, both widths";
    EXPECT_EQ(OfferedFormats(ranges).size(), 12u);
}
