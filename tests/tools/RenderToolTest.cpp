// zolvex-render end to end: a generated project of two clips (red with a 440 Hz
// tone, then blue with 660 Hz) rendered to DVD, AVI and 3GP, each movie checked with
// ffprobe and decoded: the right picture and the right tone at the right time.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "filter/encoder/CodecTable.h"
#include "filter/encoder/TavmEncoder.h"
#include "filter/media/AnimatedPicture.h"
#include "studio/project/MediaItems.h"
#include "studio/project/ProjectFile.h"
#include "tests/support/Command.h"
#include "tests/support/TestMedia.h"
#include "tools/common/SyntheticMovie.h"

using namespace zolvex;
using namespace zolvex::studio;
using namespace zolvex::encoder;
using testsupport::Capture;
using testsupport::CaptureBytes;
using testsupport::DecodedCounters;
using testsupport::Quote;
using testsupport::Spawn;
using testsupport::WaitFor;

namespace {

// The movies are checked with ffprobe and decoded with ffmpeg.
testsupport::TestMedia g_media("render", {"ffprobe", "ffmpeg"});
const std::string& g_dir = g_media.Dir();
std::string g_project;

// Four seconds of 320 × 240 MPEG-2 pictures, each painted by `paint(rgb, frame)`,
// with a tone of `hz`.
bool WriteClip(const std::string& path, int videoBitRate, double hz,
               const std::function<void(unsigned char*, int)>& paint)
{
    OutputFormat f;
    f.nFrameRate = 25;
    f.nWidth = 320;
    f.nHeight = 240;
    f.nVideoCodec = kCodecMpeg2Video;
    f.nVideoBitRate = videoBitRate;
    f.nAudioCodec = kCodecMp2;
    f.nAudioBitRate = 192000;
    f.nChannels = 2;
    f.nSampleRate = 44100;
    f.nQuality = -1;
    std::snprintf(f.szPath, sizeof f.szPath, "%s", path.c_str());
    CTavmEncoder encoder;
    if (!encoder.OpenMovie(f))
        return false;
    std::vector<unsigned char> rgb(320 * 240 * 3);
    for (int i = 0; i < 100; ++i) {
        paint(rgb.data(), i);
        encoder.EncodeVideoFrame(rgb.data(), 320, 240);
        const std::vector<int16_t> pcm = testpic::MakeSine(int64_t(i) * 1764, 1764, 2, 44100, hz);
        encoder.EncodeAudioBlock(reinterpret_cast<const unsigned char*>(pcm.data()), int(pcm.size() * 2), 2, 44100);
    }
    encoder.FinishMovie();
    return encoder.OutputError().empty();
}

// A clip of one colour with one tone.
bool MakeClip(const std::string& path, unsigned char r, unsigned char g, unsigned char b, double hz)
{
    return WriteClip(path, 2000000, hz, [&](unsigned char* rgb, int) {
        for (size_t i = 0; i < 320 * 240 * 3; i += 3) {
            rgb[i] = r;
            rgb[i + 1] = g;
            rgb[i + 2] = b;
        }
    });
}

// Pictures that show their own frame number.
bool MakeCounterClip(const std::string& path)
{
    return WriteClip(path, 4000000, 440.0,
                     [](unsigned char* rgb, int frame) { testpic::MakeCounterFrame(rgb, 320, 240, frame); });
}

// The top-level boxes of an MP4 file, in order.
std::vector<std::string> TopLevelBoxes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> boxes;
    for (;;) {
        unsigned char head[16];
        if (!in.read(reinterpret_cast<char*>(head), 8))
            break;
        uint64_t size = uint64_t(head[0]) << 24 | head[1] << 16 | head[2] << 8 | head[3];
        boxes.emplace_back(reinterpret_cast<char*>(head) + 4, 4);
        uint64_t header = 8;
        if (size == 1) {
            if (!in.read(reinterpret_cast<char*>(head + 8), 8))
                break;
            size = 0;
            for (int i = 8; i < 16; ++i)
                size = size << 8 | head[i];
            header = 16;
        }
        if (size < header)
            break;  // 0: to the end of the file
        in.seekg(std::streamoff(size - header), std::ios::cur);
    }
    return boxes;
}

void AddClip(ProjectModel& model, const std::string& path, double seconds = 3.0)
{
    MediaItem item;
    MediaThumbnail thumb;
    ASSERT_TRUE(CreateMediaItem(path.c_str(), item, thumb));
    SceneRecord r{};
    std::snprintf(r.szPath, sizeof r.szPath, "%s", path.c_str());
    r.nSourceWidth = item.nWidth;
    r.nSourceHeight = item.nHeight;
    r.nMediaType = MEDIA_TYPE_VIDEO;
    r.dDuration = item.dDuration;
    r.dInPoint = 0.0;
    r.dOutPoint = seconds;
    ASSERT_TRUE(model.AppendScene(item, thumb, r, SceneSpan{0.0, seconds}, 1));
}

int Render(const std::string& args, std::string* output = nullptr)
{
    int status = -1;
    const std::string text = Capture(std::string(ZOLVEX_RENDER) + " " + args + " 2>&1", &status);
    if (output)
        *output = text;
    return status;
}

std::map<std::string, std::string> Probe(const std::string& path, const std::string& stream, const std::string& what)
{
    std::istringstream lines(Capture("ffprobe -v error -select_streams " + stream + " -show_entries " + what +
                                     " -of default=nw=1 " + Quote(path)));
    std::map<std::string, std::string> values;
    for (std::string line; std::getline(lines, line);) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos && !values.count(line.substr(0, eq)))
            values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

// The mean colour of the picture shown at `seconds`.
std::vector<int> ColourAt(const std::string& path, double seconds)
{
    const std::vector<unsigned char> px =
        CaptureBytes("ffmpeg -nostdin -v error -ss " + std::to_string(seconds) + " -i " + Quote(path) +
                     " -frames:v 1 -vf scale=16:12 -pix_fmt rgb24 -f rawvideo -");
    std::vector<int> mean(3, -1);
    if (px.size() != 16 * 12 * 3)
        return mean;
    long sum[3] = {0, 0, 0};
    for (size_t i = 0; i < px.size(); ++i)
        sum[i % 3] += px[i];
    for (int c = 0; c < 3; ++c)
        mean[c] = int(sum[c] / (16 * 12));
    return mean;
}

// The tone's frequency around `seconds`, from zero crossings of half a second.
double ToneAt(const std::string& path, double seconds)
{
    const std::vector<unsigned char> raw = CaptureBytes("ffmpeg -nostdin -v error -ss " + std::to_string(seconds) +
                                                        " -t 0.5 -i " + Quote(path) +
                                                        " -map 0:a:0 -ac 1 -ar 16000 -f s16le -");
    const size_t n = raw.size() / 2;
    if (n < 4000)
        return 0;
    int crossings = 0;
    int16_t last = 0;
    for (size_t i = 0; i < n; ++i) {
        const int16_t v = int16_t(raw[2 * i] | raw[2 * i + 1] << 8);
        if ((v >= 0) != (last >= 0) && i > 0)
            ++crossings;
        last = v;
    }
    return crossings / 2.0 / (double(n) / 16000.0);
}

// Half a minute of movie, "Long", beside "Tones".
void MakeLongProject()
{
    ProjectModel model;
    model.name = "Long";
    model.header = ProjectHeader{720, 576, 4, 3};
    for (int k = 0; k < 5; ++k) {
        AddClip(model, g_dir + "/red.mpg");
        AddClip(model, g_dir + "/blue.mpg");
    }
    ProjectStore store(model);
    ASSERT_EQ(store.SaveProject(1.0f, 1.0f), 1);
}

// A project of its own name made from `model`, saved in the data folder.
std::string SaveProject(ProjectModel& model, const std::string& name)
{
    model.name = name;
    ProjectStore store(model);
    EXPECT_EQ(store.SaveProject(1.0f, 1.0f), 1);
    return g_dir + "/Data/" + name + "/" + name + ".mpf";
}

// Waits until zolvex-render (not the shell before its exec) catches `signal`,
// reading the process's name and caught-signal mask.
bool WaitUntilCaught(pid_t pid, int signal)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        bool ours = false;
        for (std::string line; std::getline(status, line);) {
            if (line == "Name:\tzolvex-render")
                ours = true;
            if (ours && line.compare(0, 7, "SigCgt:") == 0 &&
                (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1) & 1) != 0)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

class RenderToolTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!g_media.Open() || !g_media.Ready())
            return;
        const std::string data = g_dir + "/Data/";
        setenv("ZOLVEX_DATA_DIR", data.c_str(), 1);
        const std::string red = g_dir + "/red.mpg", blue = g_dir + "/blue.mpg";
        ASSERT_TRUE(MakeClip(red, 230, 20, 20, 440.0));
        ASSERT_TRUE(MakeClip(blue, 20, 20, 230, 660.0));
        ProjectModel model;
        model.name = "Tones";
        model.header = ProjectHeader{720, 576, 4, 3};
        AddClip(model, red);
        AddClip(model, blue);
        ProjectStore store(model);
        ASSERT_EQ(store.SaveProject(1.0f, 1.0f), 1);
        g_project = data + "Tones/Tones.mpf";
    }
    static void TearDownTestSuite() { g_media.Remove(); }
    void SetUp() override { ZOLVEX_REQUIRE_MEDIA(g_media); }
};

}  // namespace

TEST_F(RenderToolTest, RendersTheTimelineIntoEachKindOfMovie)
{
    struct Kind {
        const char* format;
        const char* file;
        const char* video;
        const char* audio;
        const char* width;
        const char* height;
    };
    const Kind kinds[] = {
        {"DVD_PAL", "movie.mpg", "mpeg2video", "ac3", "720", "576"},
        {"AVI", "movie.avi", "mpeg4", "mp3", nullptr, nullptr},
        {"3GP", "movie.3gp", "h263", "amr_nb", "176", "144"},
    };
    for (const Kind& k : kinds) {
        SCOPED_TRACE(k.format);
        const std::string out = g_dir + "/" + k.file;
        std::string text;
        ASSERT_EQ(Render(Quote(g_project) + " -o " + Quote(out) + " --format " + k.format, &text), 0) << text;
        EXPECT_NE(text.find("Wrote"), std::string::npos) << text;
        EXPECT_EQ(text.find("Output #0"), std::string::npos) << "the muxer's dump only with --verbose\n" << text;
        auto v = Probe(out, "v:0", "stream=codec_name,width,height");
        EXPECT_EQ(v["codec_name"], k.video);
        if (k.width) {
            EXPECT_EQ(v["width"], k.width);
            EXPECT_EQ(v["height"], k.height);
        }
        EXPECT_EQ(Probe(out, "a:0", "stream=codec_name")["codec_name"], k.audio);
        const double duration = std::atof(Probe(out, "v:0", "format=duration")["duration"].c_str());
        EXPECT_NEAR(duration, 6.0, 0.25);

        const std::vector<int> first = ColourAt(out, 1.0), second = ColourAt(out, 4.5);
        EXPECT_GT(first[0], 150) << "red at 1 s";
        EXPECT_LT(first[2], 90);
        EXPECT_GT(second[2], 150) << "blue at 4.5 s";
        EXPECT_LT(second[0], 90);
        EXPECT_NEAR(ToneAt(out, 1.0), 440.0, 30.0);
        EXPECT_NEAR(ToneAt(out, 4.5), 660.0, 40.0);
    }
}

TEST_F(RenderToolTest, Mp4IsHighProfileH264WithAacAndItsIndexFirst)
{
    const std::string out = g_dir + "/movie.mp4";
    std::string text;
    ASSERT_EQ(Render(Quote(g_project) + " -o " + Quote(out) + " --size 720x576 --rate 29.97 --quality 7", &text), 0)
        << text;
    auto v = Probe(out, "v:0", "stream=codec_name,profile,pix_fmt,width,height,r_frame_rate");
    EXPECT_EQ(v["codec_name"], "h264");
    EXPECT_EQ(v["profile"], "High");
    EXPECT_EQ(v["pix_fmt"], "yuv420p");
    EXPECT_EQ(v["width"] + "x" + v["height"], "720x576");
    EXPECT_EQ(v["r_frame_rate"], "30000/1001");
    auto a = Probe(out, "a:0", "stream=codec_name,sample_rate,channels,bit_rate");
    EXPECT_EQ(a["codec_name"], "aac");
    EXPECT_EQ(a["sample_rate"], "48000");
    EXPECT_EQ(a["channels"], "2");
    EXPECT_NEAR(std::atof(a["bit_rate"].c_str()), 192000, 40000);
    EXPECT_NEAR(std::atof(Probe(out, "v:0", "format=duration")["duration"].c_str()), 6.0, 0.1);

    // Every frame decodes, without a complaint, and there are as many as 6 s hold.
    int status = -1;
    EXPECT_EQ(Capture("ffmpeg -nostdin -v error -i " + Quote(out) + " -f null - 2>&1", &status), "");
    EXPECT_EQ(status, 0);
    const std::string frames = Probe(out, "v:0", "stream=nb_read_frames -count_frames")["nb_read_frames"];
    EXPECT_NEAR(std::atoi(frames.c_str()), 6 * 29.97, 1.0) << frames;

    // The index comes first, so that playing can start before the file has arrived.
    const std::vector<std::string> boxes = TopLevelBoxes(out);
    const auto moov = std::find(boxes.begin(), boxes.end(), "moov"), mdat = std::find(boxes.begin(), boxes.end(), "mdat");
    ASSERT_NE(moov, boxes.end());
    ASSERT_NE(mdat, boxes.end());
    EXPECT_LT(moov - boxes.begin(), mdat - boxes.begin());

    const std::vector<int> first = ColourAt(out, 1.0), second = ColourAt(out, 4.5);
    EXPECT_GT(first[0], 150) << "red at 1 s";
    EXPECT_GT(second[2], 150) << "blue at 4.5 s";
    EXPECT_NEAR(ToneAt(out, 1.0), 440.0, 30.0);
    EXPECT_NEAR(ToneAt(out, 4.5), 660.0, 40.0);

    // MP4 offers stereo only.
    EXPECT_NE(Render(Quote(g_project) + " -o " + Quote(out) + " --overwrite --channels 1", &text), 0);
}

TEST_F(RenderToolTest, FullMotionGivesEveryFrameItsOwnSourceFrame)
{
    const std::string clip = g_dir + "/counter.mpg";
    ASSERT_TRUE(MakeCounterClip(clip));
    ProjectModel model;
    model.header = ProjectHeader{720, 576, 4, 3};
    AddClip(model, clip, 3.0);
    const std::string project = SaveProject(model, "Counter");

    const struct {
        const char* format;
        const char* file;
        const char* options;
    } kinds[] = {{"DVD_PAL", "full.mpg", " --full-motion"},
                 {"AVI", "full.avi", " --full-motion --size 320x240"},
                 {"MP4", "full.mp4", " --size 640x480 --vbitrate 100000"}};  // always in full motion
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.format);
        const std::string out = g_dir + "/" + k.file;
        std::string text;
        ASSERT_EQ(Render(Quote(project) + " -o " + Quote(out) + " --format " + k.format + k.options, &text), 0)
            << text;
        // The first frame is black; from then on each frame shows the source frame
        // after the one before. (The clip's sound starts 11 ms before its pictures,
        // so the source frame of a moment may be the one before its number.)
        const std::vector<int> counters = DecodedCounters(out);
        ASSERT_EQ(counters.size(), 75u);
        EXPECT_LE(counters[1], 1);
        int wrong = 0;
        for (size_t i = 2; i < counters.size(); ++i)
            wrong += counters[i] != counters[i - 1] + 1;
        EXPECT_EQ(wrong, 0) << "frames 10, 11, 12 show " << counters[10] << ", " << counters[11] << ", "
                            << counters[12];
        if (std::string(k.format) == "MP4") {
            EXPECT_NEAR(std::atof(Probe(out, "v:0", "stream=bit_rate")["bit_rate"].c_str()), 100000, 30000)
                << "made to the bit rate asked for";
        }
    }

    // On one core the movies come out byte for byte as on all of them.
    if (testsupport::HaveTool("taskset")) {
        for (const auto& k : kinds) {
            SCOPED_TRACE(k.format);
            const std::string one = g_dir + "/one-core-" + k.file, all = g_dir + "/" + k.file;
            std::string text;
            int status = -1;
            text = Capture("taskset -c 0 " + std::string(ZOLVEX_RENDER) + " " + Quote(project) + " -o " + Quote(one) +
                               " --format " + k.format + k.options + " 2>&1",
                           &status);
            ASSERT_EQ(status, 0) << text;
            EXPECT_EQ(Capture("cmp " + Quote(one) + " " + Quote(all) + " 2>&1"), "");
        }
    }

    // Without it a picture is rendered every third frame and held for three.
    const std::string out = g_dir + "/threes.mpg";
    std::string text;
    ASSERT_EQ(Render(Quote(project) + " -o " + Quote(out), &text), 0) << text;
    const std::vector<int> counters = DecodedCounters(out);
    ASSERT_EQ(counters.size(), 75u);
    // Runs of one picture: all but the first and the last are three frames long,
    // and each shows the source frame three after the run before.
    std::vector<std::pair<int, int>> runs;  // value, length
    for (int c : counters) {
        if (runs.empty() || runs.back().first != c)
            runs.emplace_back(c, 0);
        ++runs.back().second;
    }
    ASSERT_GT(runs.size(), 20u);
    int wrong = 0;
    for (size_t i = 2; i + 1 < runs.size(); ++i)
        wrong += runs[i].second != 3 || runs[i].first != runs[i - 1].first + 3;
    std::string seq;
    for (int c : counters)
        seq += std::to_string(c) + " ";
    EXPECT_EQ(wrong, 0) << seq;
}

TEST_F(RenderToolTest, VerboseLetsTheLibrarySpeak)
{
    const std::string out = g_dir + "/verbose.avi";
    std::string text;
    ASSERT_EQ(Render(Quote(g_project) + " -o " + Quote(out) + " --format AVI --verbose", &text), 0) << text;
    EXPECT_NE(text.find("Output #0"), std::string::npos) << text;
    EXPECT_NE(text.find("Wrote"), std::string::npos) << text;
    std::filesystem::remove(out);
}

TEST_F(RenderToolTest, RefusesWhatItCannotWriteAndLeavesNothingBehind)
{
    const std::string out = g_dir + "/refused.mpg";
    std::string text;
    EXPECT_NE(Render(Quote(g_dir + "/Data/None/None.mpf") + " -o " + Quote(out), &text), 0);
    EXPECT_NE(text.find("no project file"), std::string::npos) << text;

    // A damaged project file.
    const std::string damaged = g_dir + "/Data/Broken/Broken.mpf";
    mkdir((g_dir + "/Data/Broken").c_str(), 0755);
    Capture("head -c 40 " + Quote(g_project) + " > " + Quote(damaged));
    EXPECT_NE(Render(Quote(damaged) + " -o " + Quote(out), &text), 0);
    EXPECT_NE(text.find("damaged"), std::string::npos) << text;

    EXPECT_NE(Render(Quote(g_project) + " -o " + Quote(g_dir + "/no/such/folder/x.mpg"), &text), 0);
    EXPECT_NE(Render(Quote(g_project) + " -o " + Quote(g_dir + "/x.avi") + " --format DVD_PAL", &text), 0);
    EXPECT_NE(Render(Quote(g_project) + " -o " + Quote(out) + " --format BETAMAX", &text), 0);
    EXPECT_NE(Render(Quote(g_project) + " -o " + Quote(out) + " --size 301x200", &text), 0) << "an odd size for MPEG-2";

    // An existing file stays untouched unless --overwrite.
    Capture("echo keep > " + Quote(out));
    EXPECT_NE(Render(Quote(g_project) + " -o " + Quote(out), &text), 0);
    EXPECT_EQ(Capture("cat " + Quote(out)), "keep\n");
    EXPECT_EQ(Capture("ls -A " + Quote(g_dir) + " | grep -c zolvex-render"), "0\n") << "no partial files";
}

// The partial movie is a hidden file beside the output, made before anything else can
// fail; whatever ends the run early, it goes and nothing else in the folder does.
TEST_F(RenderToolTest, EarlyEndsRemoveTheirPartialMovieAndOnlyIt)
{
    namespace fs = std::filesystem;
    const std::string folder = g_dir + "/partial";
    ASSERT_TRUE(fs::create_directory(folder));
    // Another run's partial movie, named as ours are.
    const std::string decoy = folder + "/.zolvex-render-Decoy1.mpg";
    Capture("echo other run > " + Quote(decoy));
    auto names = [&]() {
        std::set<std::string> found;
        for (const auto& e : fs::directory_iterator(folder))
            found.insert(e.path().filename().string());
        return found;
    };
    const std::set<std::string> onlyDecoy = {".zolvex-render-Decoy1.mpg"};
    const std::string out = folder + "/movie.mpg";

    // Refused: a damaged project, and a size the kind does not offer.
    const std::string damaged = g_dir + "/Data/Cut/Cut.mpf";
    fs::create_directories(g_dir + "/Data/Cut");
    Capture("head -c 40 " + Quote(g_project) + " > " + Quote(damaged));
    std::string text;
    EXPECT_EQ(Render(Quote(damaged) + " -o " + Quote(out), &text), 1) << text;
    EXPECT_NE(text.find("damaged"), std::string::npos) << text;
    EXPECT_EQ(names(), onlyDecoy);
    EXPECT_EQ(Render(Quote(g_project) + " -o " + Quote(out) + " --size 301x200", &text), 1) << text;
    EXPECT_NE(text.find("do not offer --size 301x200 (offered: 128 x 96,"), std::string::npos) << text;
    EXPECT_EQ(names(), onlyDecoy);

    // Cancelled while the encoder writes: half a minute of movie, stopped by SIGINT
    // once its partial file has bytes.
    MakeLongProject();
    const std::string log = g_dir + "/cancel.log";
    const std::string command = std::string("exec ") + ZOLVEX_RENDER + " " + Quote(g_dir + "/Data/Long/Long.mpf") +
                                " -o " + Quote(out) + " > " + Quote(log) + " 2>&1";
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ), 0);
    std::string partial;
    bool exited = false;
    int status = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (partial.empty() && !exited && std::chrono::steady_clock::now() < until) {
        for (const std::string& name : names()) {
            std::error_code gone;  // the run may end between the listing and the look
            const auto size = fs::file_size(folder + "/" + name, gone);
            if (name != *onlyDecoy.begin() && !gone && size > 0)
                partial = name;
        }
        exited = waitpid(pid, &status, WNOHANG) == pid;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!exited) {
        kill(pid, SIGINT);
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
    }
    ASSERT_FALSE(partial.empty()) << "no partial movie appeared\n" << Capture("cat " + Quote(log));
    EXPECT_EQ(partial.size(), std::string(".zolvex-render-XXXXXX.mpg").size()) << partial;
    EXPECT_EQ(partial.compare(0, 15, ".zolvex-render-"), 0) << partial;
    EXPECT_EQ(partial.substr(partial.size() - 4), ".mpg") << "the encoder picks the container by the ending";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by a signal, leaving its partial movie";
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(Capture("cat " + Quote(log)).find("zolvex-render: cancelled"), std::string::npos)
        << Capture("cat " + Quote(log));
    EXPECT_EQ(names(), onlyDecoy);
    EXPECT_EQ(Capture("cat " + Quote(decoy)), "other run\n");
}

// Whenever the interruption comes (before the output opens, as the streams start,
// mid-render) and whichever signal brings it, the run ends within seconds, says it
// was cancelled and leaves no file behind. A second signal ends it at once.
TEST_F(RenderToolTest, CancelAtAnyMomentEndsTheRunAndLeavesNothing)
{
    namespace fs = std::filesystem;
    MakeLongProject();
    const std::string folder = g_dir + "/cancel";
    ASSERT_TRUE(fs::create_directory(folder));
    const std::string out = folder + "/movie.mpg", log = g_dir + "/cancel-any.log";
    const std::string command = std::string(ZOLVEX_RENDER) + " " + Quote(g_dir + "/Data/Long/Long.mpf") + " -o " +
                                Quote(out) + " > " + Quote(log) + " 2>&1";
    // After its handlers are in place; 0.8 s is mid-render (the whole takes over a second).
    const double delays[] = {0.0, 0.05, 0.1, 0.2, 0.3, 0.5, 0.8};
    const int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
    int run = 0, hung = 0;
    for (int repeat = 0; repeat < 2; ++repeat) {
        for (double delay : delays) {
            const int signal = signals[run % 4];
            const bool twice = run % 5 == 4;
            ++run;
            SCOPED_TRACE("signal " + std::to_string(signal) + " after " + std::to_string(delay) + " s" +
                         (twice ? ", twice" : ""));
            const pid_t pid = Spawn(command);
            ASSERT_GT(pid, 0);
            // Before main runs, a signal kills the process as it would any other, and
            // it has written nothing: the times count from when it catches them.
            ASSERT_TRUE(WaitUntilCaught(pid, signal));
            std::this_thread::sleep_for(std::chrono::duration<double>(delay));
            kill(pid, signal);
            if (twice) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                kill(pid, signal);
            }
            int status = 0;
            if (!WaitFor(pid, 20.0, &status)) {
                ++hung;
                ADD_FAILURE() << "the run did not end\n" << Capture("cat " + Quote(log));
                continue;
            }
            EXPECT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
            EXPECT_EQ(WEXITSTATUS(status), 1) << Capture("cat " + Quote(log));
            EXPECT_NE(Capture("cat " + Quote(log)).find("cancelled"), std::string::npos)
                << Capture("cat " + Quote(log));
            EXPECT_TRUE(fs::is_empty(folder)) << "a file was left: " << Capture("ls -A " + Quote(folder));
            Capture("rm -f " + Quote(folder) + "/.zolvex-render-* " + Quote(out));
        }
    }
    EXPECT_EQ(hung, 0);
}

// The command line takes a project from wherever it lies, refuses options the movie
// kind does not offer (saying what it does offer), and never writes over a folder,
// the project or a clip it reads.
TEST_F(RenderToolTest, TheCommandLineRefusesWhatCannotBeMadeAndFindsTheProject)
{
    namespace fs = std::filesystem;
    const std::string folder = g_dir + "/cli";
    ASSERT_TRUE(fs::create_directory(folder));
    std::string text;
    // A bare file name in the current folder, a project outside a folder of its name,
    // and a kind written in small letters all render.
    const std::string loose = folder + "/Loose.mpf";
    fs::copy_file(g_project, loose);
    EXPECT_EQ(Capture("cd " + Quote(g_dir + "/Data/Tones") + " && " + ZOLVEX_RENDER + " Tones.mpf -o " +
                          Quote(folder + "/bare.avi") + " >/dev/null 2>&1; echo $?"),
              "0\n");
    EXPECT_EQ(Render(Quote(loose) + " -o " + Quote(folder + "/loose.3gp") + " --format 3gp", &text), 0) << text;
    EXPECT_TRUE(fs::exists(folder + "/bare.avi") && fs::exists(folder + "/loose.3gp"));

    struct Refusal {
        std::string args;
        const char* says;
    };
    const std::string out = " -o " + Quote(folder + "/x.avi");
    const Refusal refusals[] = {
        {out + " --size 0x0", "do not offer --size 0x0"},
        {out + " --rate 0", "do not offer --rate 0 (offered: 15 fps, 25 fps, 29 fps, 30 fps)"},
        {out + " --abitrate 100", "do not offer --abitrate 100"},
        {out + " --samplerate 12345", "do not offer --samplerate 12345"},
        {out + " --vbitrate 1", "--vbitrate runs from"},
        {" -o " + Quote(folder + "/x.3gp") + " --channels 2", "mono sound only"},
        {" -o " + Quote(folder + "/x.mpg") + " --format DVD_NTSC --size 100x100", "do not offer --size 100x100"},
        {" -o " + Quote(folder + "/x.mpg") + " --format BETAMAX", "unknown format BETAMAX (DVD_PAL,"},
        {" -o " + Quote(folder), "is a folder"},
        {" -o " + Quote(g_dir + "/red.mpg") + " --overwrite", "the clip of scene 1"},
        {" -o " + Quote(g_project) + " --overwrite", "\".mpg\" file"},
    };
    const auto before = fs::file_size(g_dir + "/red.mpg");
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.args);
        EXPECT_NE(Render(Quote(g_project) + r.args, &text), 0) << text;
        EXPECT_NE(text.find(r.says), std::string::npos) << text;
    }
    EXPECT_EQ(fs::file_size(g_dir + "/red.mpg"), before);
    EXPECT_EQ(Render(Quote(g_project) + " -o " + Quote(folder + "/ntsc.mpg") + " --format dvd_ntsc --rate 29.97" +
                         " --size 720x480 --abitrate 192000",
                     &text),
              0)
        << text;
    EXPECT_EQ(Probe(folder + "/ntsc.mpg", "v:0", "stream=r_frame_rate")["r_frame_rate"], "30000/1001");
}

// A project whose header or spans are damaged, or that lasts no time, is refused
// with its reason, and an existing movie stays as it was even with --overwrite.
TEST_F(RenderToolTest, DamagedOrEmptyProjectsFailAndKeepTheOldMovie)
{
    const std::string out = g_dir + "/kept.mpg";
    Capture("echo old movie > " + Quote(out));
    std::string text;

    // Each refused, with its reason, before anything is written.
    struct Damage {
        const char* name;
        ProjectHeader header;
        double seconds;
        const char* says;
    };
    const Damage damages[] = {
        {"Tiny", {720, 576, 4, 3}, 0.4, "lasts less than a second"},  // movies are whole seconds
        {"Nothing", {720, 576, 4, 3}, 0.0, "lasts no time"},
        {"Squashed", {720, 0, 4, 3}, 3.0, "the project's frame size or aspect is damaged"},
        {"Endless", {720, 576, 4, 3}, 1e9, "scene 1"},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.name);
        ProjectModel model;
        model.header = d.header;
        AddClip(model, g_dir + "/red.mpg", d.seconds);
        const std::string project = SaveProject(model, d.name);
        EXPECT_EQ(Render(Quote(project) + " -o " + Quote(out) + " --overwrite", &text), 1) << text;
        EXPECT_NE(text.find(d.says), std::string::npos) << text;
    }

    // A file size limit is a write error like a full disk, not a death by SIGXFSZ
    // that leaves the partial movie behind.
    int status = -1;
    const std::string limited = Capture("ulimit -f 256; " + std::string(ZOLVEX_RENDER) + " " + Quote(g_project) +
                                            " -o " + Quote(out) + " --overwrite 2>&1",
                                        &status);
    EXPECT_EQ(status, 1) << limited;
    EXPECT_NE(limited.find("File too large"), std::string::npos) << limited;

    EXPECT_EQ(Capture("cat " + Quote(out)), "old movie\n");
    EXPECT_EQ(Capture("ls -A " + Quote(g_dir) + " | grep -c zolvex-render"), "0\n") << "no partial files";
}

// Files the project names but the render cannot use: the movie is made of the rest,
// each file is named once with its reason, and the exit status says the movie is not
// the whole project unless the user accepts that.
TEST_F(RenderToolTest, MediaThatCannotBeUsedIsNamedOnceAndTheStatusSaysSo)
{
    const std::string dir = g_dir + "/unusable/";
    std::filesystem::create_directories(dir + "folder.mpg");
    ASSERT_EQ(mkfifo((dir + "pipe.mpg").c_str(), 0600), 0);
    std::ofstream(dir + "empty.mpg").close();
    std::ofstream(dir + "notes.mpg") << "not a movie at all\n";
    {
        // The first bytes of a good clip: a pack header and nothing after it.
        std::ifstream good(g_dir + "/blue.mpg", std::ios::binary);
        std::vector<char> head(64);
        good.read(head.data(), std::streamsize(head.size()));
        std::ofstream(dir + "cut.mpg", std::ios::binary).write(head.data(), std::streamsize(head.size()));
    }
    // Its header promises 110 million pixels; the picture is refused before decoding.
    std::ofstream(dir + "huge.pgm", std::ios::binary) << "P5\n11000 10000\n255\n" << std::string(64, '\0');
    ASSERT_TRUE(g_media.Run({"ffmpeg -v error -f lavfi -i color=red:s=16x12 -frames:v 2 unusable/sticker.gif"}))
        << g_media.Why();

    ProjectModel model;
    model.header = ProjectHeader{720, 576, 4, 3};
    AddClip(model, g_dir + "/red.mpg", 1.0);
    auto scene = [&](const std::string& name, int type) {
        SceneRecord r{};
        std::snprintf(r.szPath, sizeof r.szPath, "%s", (dir + name).c_str());
        r.nMediaType = type;
        r.nSourceWidth = 320;
        r.nSourceHeight = 240;
        r.dDuration = r.dOutPoint = 1.0;
        MediaItem item{};
        std::snprintf(item.szPath, sizeof item.szPath, "%s", r.szPath);
        ASSERT_TRUE(model.AppendScene(item, MediaThumbnail(), r, SceneSpan{0.0, 1.0}, 1));
    };
    const char* const clips[] = {"gone.mpg", "folder.mpg", "pipe.mpg", "empty.mpg", "notes.mpg", "cut.mpg"};
    for (const char* clip : clips)
        scene(clip, MEDIA_TYPE_VIDEO);
    scene("huge.pgm", MEDIA_TYPE_PICTURE);
    scene("notes.mpg", MEDIA_TYPE_VIDEO);  // a second scene of one file: still one line
    auto music = [&](const std::string& name) {
        AudioOp* op = new AudioOp();
        op->dStartTime = 0.0;
        op->dEndTime = 8.0;
        op->dLength = 8.0;
        std::snprintf(op->szPath, sizeof op->szPath, "%s", (dir + name).c_str());
        model.AppendObject(OBJ_MUSIC, op, 0);
    };
    music("song.mp3");
    music("notes.mpg");
    StickerOp* sticker = new StickerOp();
    sticker->dStartTime = 0.0;
    sticker->dEndTime = 2.0;
    sticker->rcDest[2] = 16;
    sticker->rcDest[3] = 12;
    std::snprintf(sticker->szPath, sizeof sticker->szPath, "%s", (dir + "sticker.gif").c_str());
    ASSERT_TRUE(OpenStickerPicture(*sticker));
    model.AppendObject(OBJ_PICTURE, sticker, 0);
    const std::string project = SaveProject(model, "Unusable");
    std::ofstream(dir + "sticker.gif") << "GIF89a, then nothing";

    const std::string out = g_dir + "/partial.mpg";
    std::string text;
    EXPECT_EQ(Render(Quote(project) + " -o " + Quote(out), &text), 3) << text;
    const struct {
        const char* file;
        const char* says;
    } expected[] = {
        {"gone.mpg", "scene 2: " /* path */ "|: no such file"},
        {"folder.mpg", "scene 3: |: a folder, not a file"},
        {"pipe.mpg", "scene 4: |: not a regular file"},
        {"empty.mpg", "scene 5: |: the file is empty"},
        {"notes.mpg", "scene 6, scene 9, music (object 2): |: "},
        {"cut.mpg", "scene 7: |: "},
        {"huge.pgm", "scene 8: |: too large"},
        {"song.mp3", "music (object 1): |: no such file"},
        {"sticker.gif", "an animated picture: |: "},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.file);
        const std::string says = e.says;
        const std::string line = "cannot use " + says.substr(0, says.find('|')) + dir + e.file + says.substr(says.find('|') + 1);
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
        // Once per file, however many parts play it.
        const std::string named = dir + e.file + ":";
        EXPECT_EQ(text.find(named), text.rfind(named)) << text;
    }
    EXPECT_NE(text.find("the movie was made without 9 files"), std::string::npos) << text;
    // What could be rendered was: the good clip opens the movie.
    EXPECT_GT(ColourAt(out, 0.5)[0], 150);
    EXPECT_NEAR(std::atof(Probe(out, "v:0", "format=duration")["duration"].c_str()), 9.0, 0.3);

    EXPECT_EQ(Render(Quote(project) + " -o " + Quote(out) + " --overwrite --allow-missing", &text), 0) << text;
    EXPECT_NE(text.find("cannot use scene 2"), std::string::npos) << "still named\n" << text;
}
