// Recorded voice on disk: the WAV files written (header, sizes, odd lengths, never
// over a file, never past 4 GiB), the reader's four failures, the temporary name,
// and the formats a device's caps allow.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <vector>

#include "platform/ReadFile.h"
#include "studio/recording/RecordingFormats.h"
#include "studio/recording/WaveFile.h"
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
    EXPECT_EQ(reader.Format().nSamplesPerSec, 22050u);
    EXPECT_EQ(reader.Format().nBlockAlign, 2);
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
    EXPECT_EQ(RecordingFormats()[5].format.nAvgBytesPerSec, 44100u) << "22.05 kHz mono 16-bit";
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
