// Files the readers cannot take: each reader refuses them, says why and names the
// file, and the library's log shows that only at the level the program asks for.
// Every file is made here, the movies by the library's own encoder.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "filter/common/Log.h"
#include "filter/encoder/CodecTable.h"
#include "filter/encoder/TavmEncoder.h"
#include "filter/media/TavmAudioSource.h"
#include "filter/media/TavmDetReader.h"
#include "filter/media/TavmMediaReader.h"

extern "C" {
#include <libavutil/log.h>
}

using namespace zolvex;

namespace {

std::string g_dir;

std::string PathOf(const std::string& name) { return g_dir + "/" + name; }

void WriteFile(const std::string& name, const std::string& bytes)
{
    std::ofstream(PathOf(name), std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// Half a second of 16-bit stereo silence at 44,100 Hz in a RIFF WAVE file.
std::string WaveFile()
{
    const uint32_t dataBytes = 22050 * 4;
    std::string out;
    auto put = [&out](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out += char((v >> (8 * i)) & 0xFF);
    };
    out += "RIFF";
    put(36 + dataBytes, 4);
    out += "WAVEfmt ";
    put(16, 4);
    put(1, 2);  // PCM
    put(2, 2);
    put(44100, 4);
    put(44100 * 4, 4);
    put(4, 2);
    put(16, 2);
    out += "data";
    put(dataBytes, 4);
    out.append(dataBytes, '\0');
    return out;
}

// A movie of ten pictures and no sound, through the encoder's stream-by-stream calls.
bool WriteSilentMovie(const std::string& name, int codec, int width, int height)
{
    CTavmEncoder encoder;
    if (!encoder.OpenOutput(PathOf(name).c_str()))
        return false;
    const int video = encoder.AddVideoStream(25, width, height, codec, 400000, -1, "", 4, 3);
    if (video < 0 || !encoder.OpenStream(video) || !encoder.WriteHeader())
        return false;
    std::vector<unsigned char> rgb(size_t(width) * height * 3);
    for (int i = 0; i < 10; ++i) {
        for (size_t p = 0; p < rgb.size(); ++p)
            rgb[p] = static_cast<unsigned char>(p * 7 + i * 25);
        encoder.EncodeVideoFrame(video, rgb.data(), kEncodeRGB24, width, height);
    }
    encoder.CloseStream(video);
    encoder.Finish();
    return encoder.OutputError().empty();
}

// The files, and the first open of a reader: from then on FFmpeg's messages go
// through the library's log, before any test can put a callback of its own in.
class OpenErrorsEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        char dir[] = "/tmp/zolvex-open-errors-XXXXXX";
        if (!mkdtemp(dir))
            return;
        g_dir = dir;
        WriteFile("empty.mpg", "");
        std::mt19937 random(11);
        std::string junk(64 * 1024, '\0');
        for (char& b : junk)
            b = char(random());
        WriteFile("garbage.mpg", junk);
        std::string letter;
        for (int i = 0; i < 40; ++i)
            letter += "Dear editor, this is a letter and no film at all.\n";
        WriteFile("letter.mpg", letter);
        mkdir(PathOf("folder.mpg").c_str(), 0755);
        mkfifo(PathOf("fifo.mpg").c_str(), 0600);  // nobody ever writes into it
        symlink("/dev/zero", PathOf("zero.mpg").c_str());
        WriteFile("sound.wav", WaveFile());
        moviesMade_ = WriteSilentMovie("pictures.avi", encoder::kCodecMpeg4, 64, 48) &&
                      WriteSilentMovie("h263.3gp", encoder::kCodecH263, 176, 144);
        CTavmDetReader().Open(PathOf("missing.mpg").c_str());
    }
    void TearDown() override
    {
        if (!g_dir.empty())
            std::system(("rm -rf '" + g_dir + "'").c_str());
    }
    static bool moviesMade_;
};
bool OpenErrorsEnvironment::moviesMade_ = false;
::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new OpenErrorsEnvironment);

// What the library writes to stderr while `action` runs.
template <class Action>
std::string StderrOf(Action&& action)
{
    std::fflush(stderr);
    FILE* sink = std::tmpfile();
    if (!sink)
        return "(no temporary file)";
    const int saved = dup(2);
    dup2(fileno(sink), 2);
    action();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string text;
    std::rewind(sink);
    for (int c; (c = std::fgetc(sink)) != EOF;)
        text += char(c);
    std::fclose(sink);
    return text;
}

// Sets the log level for one test and puts the previous one back.
struct LevelScope {
    explicit LevelScope(LogLevel level) : saved(GetLogLevel()) { SetLogLevel(level); }
    ~LevelScope() { SetLogLevel(saved); }
    LogLevel saved;
};

const PcmFormat kStereo = Pcm16(2, 44100);

bool OpenSound(CTavmAudioSource& source, const std::string& path)
{
    return source.Decode(false, path.c_str(), 0.0, 4096, kStereo);
}

#define REQUIRE_FILES()                                             \
    do {                                                            \
        if (g_dir.empty())                                          \
            GTEST_SKIP() << "no temporary folder for the test files"; \
    } while (0)

}  // namespace

// Nothing in these is a video or a sound: every reader refuses each, with the file's
// name and a reason after it.
TEST(MediaOpenErrors, EveryReaderRefusesWhatIsNoMediaAndSaysWhy)
{
    REQUIRE_FILES();
    struct Case {
        const char* file;
        const char* reason;  // nullptr: FFmpeg's words
    };
    const Case cases[] = {
        {"missing.mpg", "no such file"},
        {"folder.mpg", "a folder, not a file"},
        {"empty.mpg", nullptr},
        {"fifo.mpg", "not a regular file"},  // would block the open for ever
        {"zero.mpg", "not a regular file"},  // would read zeros for ever
        {"garbage.mpg", nullptr},
        {"letter.mpg", nullptr},
    };
    for (const Case& c : cases) {
        const std::string path = PathOf(c.file);
        SCOPED_TRACE(path);
        auto expectReason = [&](const std::string& error) {
            ASSERT_EQ(error.rfind(path + ": ", 0), 0u) << error;
            EXPECT_GT(error.size(), path.size() + 2) << "a reason follows the name";
            if (c.reason) {
                EXPECT_EQ(error, path + ": " + c.reason);
            }
        };
        CTavmMediaReader reader;
        int flip = 0;
        EXPECT_FALSE(reader.Probe(path.c_str(), &flip));
        expectReason(reader.OpenError());
        EXPECT_FALSE(reader.Open(path.c_str()));
        expectReason(reader.OpenError());
        EXPECT_FALSE(reader.ReadFrameAt(0));

        CTavmDetReader det;
        EXPECT_FALSE(det.Open(path.c_str()));
        expectReason(det.OpenError());
        EXPECT_EQ(det.GetFrameData(), nullptr);

        CTavmAudioSource sound;
        EXPECT_FALSE(OpenSound(sound, path));
        EXPECT_FALSE(sound.IsOpen());
        expectReason(sound.OpenError());
    }

    CTavmMediaReader reader;
    CTavmDetReader det;
    CTavmAudioSource sound;
    EXPECT_FALSE(reader.Open(nullptr) || det.Open(nullptr) || OpenSound(sound, ""));
    EXPECT_EQ(reader.OpenError(), "no file name");
    EXPECT_EQ(det.OpenError(), "no file name");
    EXPECT_EQ(sound.OpenError(), "no file name");
}

// Real media of the wrong kind is refused for what it lacks; an open that works
// leaves no reason behind, even after a refusal.
TEST(MediaOpenErrors, MediaOfTheWrongKindIsRefusedForWhatItLacks)
{
    REQUIRE_FILES();
    ASSERT_TRUE(OpenErrorsEnvironment::moviesMade_) << "the encoder could not make the test movies";
    const std::string wav = PathOf("sound.wav"), avi = PathOf("pictures.avi"), h263 = PathOf("h263.3gp");

    CTavmMediaReader reader;
    EXPECT_FALSE(reader.Probe(wav.c_str(), nullptr));
    EXPECT_EQ(reader.OpenError(), wav + ": no video stream");
    EXPECT_FALSE(reader.Probe(h263.c_str(), nullptr));
    EXPECT_EQ(reader.OpenError(), h263 + ": this reader does not serve the codec h263");
    EXPECT_TRUE(reader.Probe(avi.c_str(), nullptr));
    EXPECT_EQ(reader.OpenError(), "");
    EXPECT_FALSE(reader.Open(wav.c_str()));
    EXPECT_EQ(reader.OpenError(), wav + ": no video stream");
    EXPECT_TRUE(reader.Open(avi.c_str()));
    EXPECT_EQ(reader.OpenError(), "");
    EXPECT_TRUE(reader.ReadFrameAt(0));

    CTavmDetReader det;
    EXPECT_FALSE(det.Open(wav.c_str()));
    EXPECT_EQ(det.OpenError(), wav + ": no video stream");
    EXPECT_TRUE(det.Open(h263.c_str())) << det.OpenError();
    EXPECT_EQ(det.OpenError(), "");

    CTavmAudioSource sound;
    EXPECT_FALSE(OpenSound(sound, avi));
    EXPECT_EQ(sound.OpenError(), avi + ": no sound stream");
    EXPECT_TRUE(OpenSound(sound, wav));
    EXPECT_TRUE(sound.IsOpen());
    EXPECT_EQ(sound.OpenError(), "");
}

// At the default level a file that cannot be opened costs no output at all; at the
// debug level both the refusal and FFmpeg's own account of it are shown.
TEST(MediaOpenLog, AGarbageFileIsSilentByDefaultAndTalksAtDebug)
{
    REQUIRE_FILES();
    EXPECT_EQ(GetLogLevel(), LogLevel::kErrors) << "the default";
    const std::string path = PathOf("garbage.mpg");
    auto openEverywhere = [&] {
        CTavmMediaReader reader;
        int flip = 0;
        reader.Probe(path.c_str(), &flip);
        reader.Open(path.c_str());
        CTavmDetReader().Open(path.c_str());
        CTavmAudioSource sound;
        OpenSound(sound, path);
    };
    EXPECT_EQ(StderrOf(openEverywhere), "");

    std::string warnings;
    {
        LevelScope level(LogLevel::kWarnings);
        warnings = StderrOf(openEverywhere);
    }
    const std::string refusal = "zolvex: cannot open " + path + ": ";
    std::istringstream lines(warnings);
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count)
        EXPECT_EQ(line.rfind(refusal, 0), 0u) << line;
    EXPECT_EQ(count, 3) << "Open of each reader and the sound; Probe only answers\n" << warnings;

    std::string debug;
    {
        LevelScope level(LogLevel::kDebug);
        debug = StderrOf(openEverywhere);
    }
    EXPECT_NE(debug.find(refusal), std::string::npos) << debug;
    EXPECT_NE(debug.find("zolvex: ["), std::string::npos) << "FFmpeg's messages, with its context\n" << debug;
}

// FFmpeg's levels sorted onto the library's: errors, warnings, information, then
// verbose and debug as debugging; trace never.
TEST(MediaOpenLog, FfmpegLevelsMapOntoTheLibrarysOwn)
{
    REQUIRE_FILES();
    auto everyLevel = [] {
        av_log(nullptr, AV_LOG_FATAL, "fatal\n");
        av_log(nullptr, AV_LOG_ERROR, "error\n");
        av_log(nullptr, AV_LOG_WARNING, "warning\n");
        av_log(nullptr, AV_LOG_INFO, "info\n");
        av_log(nullptr, AV_LOG_VERBOSE, "verbose\n");
        av_log(nullptr, AV_LOG_DEBUG, "debug\n");
        av_log(nullptr, AV_LOG_TRACE, "trace\n");
    };
    const struct {
        LogLevel level;
        const char* shown;
    } expected[] = {
        {LogLevel::kQuiet, ""},
        {LogLevel::kErrors, "zolvex: fatal\nzolvex: error\n"},
        {LogLevel::kWarnings, "zolvex: fatal\nzolvex: error\nzolvex: warning\n"},
        {LogLevel::kInfo, "zolvex: fatal\nzolvex: error\nzolvex: warning\nzolvex: info\n"},
        {LogLevel::kDebug,
         "zolvex: fatal\nzolvex: error\nzolvex: warning\nzolvex: info\nzolvex: verbose\nzolvex: debug\n"},
    };
    for (const auto& e : expected) {
        LevelScope level(e.level);
        SCOPED_TRACE(int(e.level));
        EXPECT_EQ(StderrOf(everyLevel), e.shown);
    }

    // A line written in pieces keeps one prefix; the library's own messages share it.
    LevelScope level(LogLevel::kInfo);
    EXPECT_EQ(StderrOf([] {
                  av_log(nullptr, AV_LOG_INFO, "  Stream #0:%d", 0);
                  av_log(nullptr, AV_LOG_INFO, ": Video\n");
                  LogMessage(LogLevel::kWarnings, "two %s\nlines\n", "whole");
                  LogMessage(LogLevel::kDebug, "not shown\n");
              }),
              "zolvex:   Stream #0:0: Video\nzolvex: two whole\nzolvex: lines\n");
}

// Writing a movie at the default level prints nothing, though the encoder still
// describes the file (FFmpeg's format dump) for a program that asks for information.
TEST(MediaOpenLog, TheEncodersFormatDumpShowsOnlyAtInfo)
{
    REQUIRE_FILES();
    EXPECT_EQ(StderrOf([] { WriteSilentMovie("quiet.avi", encoder::kCodecMpeg4, 64, 48); }), "");
    LevelScope level(LogLevel::kInfo);
    const std::string info = StderrOf([] { WriteSilentMovie("told.avi", encoder::kCodecMpeg4, 64, 48); });
    EXPECT_NE(info.find("zolvex: Output #0, avi, to '" + PathOf("told.avi") + "':"), std::string::npos) << info;
}
