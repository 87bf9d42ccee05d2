// The project file: its exact bytes, a round trip of every scene and object kind,
// the scaling of effect tracks, damaged and truncated files, and saves that fail
// without harming the project already on disk.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <Magick++.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <thread>

#include "filter/media/AnimatedPicture.h"
#include "filter/media/MagickReady.h"
#include "studio/project/DataFolder.h"
#include "studio/project/ProjectFile.h"
#include "studio/project/ProjectLayouts.h"
#include "tests/support/Command.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

typedef std::vector<unsigned char> Bytes;

std::string g_data;  // the data folder of every test here

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

int32_t I32(const Bytes& b, size_t at)
{
    return int32_t(uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24);
}

struct ScriptedPrompt : IPrompt {
    std::vector<std::string> shown;
    int Show(const std::string& text, const std::string& title, PromptIcon icon, PromptButtons) override
    {
        shown.push_back(title + ": " + text + (icon == kPromptWarning ? " (warning)" : ""));
        return kAnswerOk;
    }
};

struct Database : IProjectDatabase {
    std::vector<std::string> added;
    void AddProject(const std::string& name) override { added.push_back(name); }
};

struct Listener : IProjectListener {
    std::atomic<int> busy{0}, ready{0};
    void OnProjectBusy() override { ++busy; }
    void OnProjectReady() override { ++ready; }
};

struct Undo : IUndoHistory {
    std::vector<std::string> calls;
    void Clear() override { calls.push_back("clear"); }
    void StartAfresh() override { calls.push_back("afresh"); }
};

// A two-frame GIF for the picture overlay.
std::string MakeSticker(const std::string& name)
{
    magick::EnsureReady();
    std::vector<Magick::Image> frames;
    for (const char* colour : {"red", "blue"}) {
        Magick::Image frame(Magick::Geometry(16, 12), Magick::Color(colour));
        frame.animationDelay(7);
        frames.push_back(frame);
    }
    const std::string path = g_data + name;
    Magick::writeImages(frames.begin(), frames.end(), path);
    return path;
}

MediaItem Item(const char* path, int kind, int w, int h, double duration)
{
    MediaItem m;
    std::memset(&m, 0, sizeof m);
    std::snprintf(m.szPath, sizeof m.szPath, "%s", path);
    std::snprintf(m.szDir, sizeof m.szDir, "/media/");
    std::snprintf(m.szName, sizeof m.szName, "clip");
    std::snprintf(m.szExt, sizeof m.szExt, ".mpg");
    m.nLibraryIndex = 3;
    m.nKind = kind;
    m.nWidth = w;
    m.nHeight = h;
    m.nFileSize = 123456789;
    m.stCreation = {2024, 5, 3, 17, 10, 20, 30, 456};
    m.stLastWrite = {2025, 1, 2, 3, 4, 5, 6, 7};
    m.bViewFlag = 1;
    m.dDuration = duration;
    m.bRemoved = 0;
    return m;
}

void AddScene(ProjectModel& model, const char* path, int kind, double in, double out, int transition)
{
    SceneRecord r;
    std::memset(&r, 0, sizeof r);
    std::snprintf(r.szPath, sizeof r.szPath, "%s", path);
    r.nSourceWidth = 720;
    r.nSourceHeight = 576;
    r.nTransitionID = transition;
    r.nMediaType = kind == MEDIA_VIDEO ? MEDIA_TYPE_VIDEO : MEDIA_TYPE_PICTURE;
    r.dDuration = 12.5;
    r.dInPoint = in;
    r.dOutPoint = out;
    MediaThumbnail thumb;
    for (int k = 0; k < 300 + transition; ++k)
        thumb.push_back((unsigned char)(k * 7 + transition));
    ASSERT_TRUE(model.AppendScene(Item(path, kind, 720, 576, 12.5), thumb, r, SceneSpan{in, out}, 1));
}

tagOPR_EFFECT* Effect(std::initializer_list<tagSIZE> points, int order)
{
    tagOPR_EFFECT* op = new tagOPR_EFFECT();
    op->dStartTime = 1.0;
    op->dEndTime = 4.0;
    op->nEffectID = 7;
    op->nLevel = 60;
    op->guidEffect = GUID{0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
    op->nReserved2 = order;
    op->nOverallOpacity = 200;
    op->pValidPolygon = new TrackPoints(5);
    for (tagSIZE p : points)
        op->pValidPolygon->Add(p);
    return op;
}

// A project with a video and a picture scene and one object of every kind, every
// field the studio keeps set to something other than its default.
void FillEveryKind(ProjectModel& model, const std::string& sticker)
{
    model.header = ProjectHeader{720, 576, 4, 3};
    AddScene(model, "/media/a.mpg", MEDIA_VIDEO, 1.5, 6.0, 0);
    AddScene(model, "/media/b.jpg", MEDIA_PICTURE, 0.0, 4.0, 17);

    TextOp* text = new TextOp();
    std::snprintf(text->szText, sizeof text->szText, "Summer\nholidays");
    text->nStyle = 7;
    text->dStartTime = 0.5;
    text->dEndTime = 3.25;
    text->lfFont.lfHeight = 48;
    text->lfFont.lfWeight = 400;
    std::snprintf(text->lfFont.lfFaceName, sizeof text->lfFont.lfFaceName, "DejaVu Sans");
    text->crText = 0x00336699;
    text->crShadow = 0x00102030;
    text->nX = 40;
    text->nY = 300;
    text->nOpacity = 255;
    text->nOrder = 0;
    model.AppendObject(OBJ_TEXT, text, 0);

    StickerOp* st = new StickerOp();
    st->dStartTime = 2.0;
    st->dEndTime = 5.0;
    st->rcDest[0] = 10;
    st->rcDest[1] = 50;
    st->rcDest[2] = 160;
    st->rcDest[3] = 120;
    std::snprintf(st->szPath, sizeof st->szPath, "%s", sticker.c_str());
    st->nOrder = 1;
    ASSERT_TRUE(OpenStickerPicture(*st));
    model.AppendObject(OBJ_PICTURE, st, 0);

    ScreenOp* screen = new ScreenOp();
    screen->dStartTime = 3.0;
    screen->dEndTime = 7.0;
    screen->nStyle = 12;
    screen->afParams[0] = 0.25f;
    screen->afParams[1] = -1.5f;
    screen->afParams[2] = 3.0f;
    screen->nOrder = 2;
    model.AppendObject(OBJ_SCREEN3D, screen, 0);

    model.AppendObject(OBJ_EFFECT, Effect({{10, 20}, {99, -99}, {700, 570}}, 3), 0);

    AudioOp* music = new AudioOp();
    music->dStartTime = 0.0;
    music->dEndTime = 9.0;
    music->dLength = 183.25;
    std::snprintf(music->szPath, sizeof music->szPath, "/music/song.mp3");
    std::snprintf(music->szName, sizeof music->szName, "song.mp3");
    music->nOrder = 4;
    model.AppendObject(OBJ_MUSIC, music, 0);

    AnimationObject* animation = new AnimationObject();
    for (size_t k = 0; k < sizeof animation->bytes; ++k)
        animation->bytes[k] = (unsigned char)(k * 31 + 5);
    model.AppendObject(OBJ_ANIMATION, animation, 0);
}

class ProjectFileTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char dir[] = "/tmp/zolvex-project-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        g_data = std::string(dir) + "/Data/";
        setenv("ZOLVEX_DATA_DIR", g_data.c_str(), 1);
        ASSERT_EQ(DataFolder(), g_data) << "the folder is made when asked for";
    }
    static void TearDownTestSuite()
    {
        testsupport::Capture("rm -rf " + testsupport::Quote(g_data.substr(0, g_data.size() - 6)));
    }

    ProjectModel model;
    ProjectStore store{model};
    ScriptedPrompt prompt;
    Database database;
    void SetUp() override
    {
        store.SetPrompt(&prompt);
        store.SetDatabase(&database);
        store.SetReadyDelay(5);
    }
};

}  // namespace

TEST_F(ProjectFileTest, EmptyProjectIsTwentyFourBytes)
{
    model.name = "empty";
    model.header = ProjectHeader{352, 288, 352, 288};
    model.bModified = true;
    ASSERT_EQ(store.SaveProject(1.0f, 1.0f), 1);
    const Bytes bytes = ReadFile(g_data + "empty/empty.mpf");
    ASSERT_EQ(bytes.size(), 24u);
    EXPECT_EQ(I32(bytes, 0), 352);
    EXPECT_EQ(I32(bytes, 12), 288);
    EXPECT_EQ(I32(bytes, 16), 0);
    EXPECT_EQ(I32(bytes, 20), 0);
    EXPECT_FALSE(model.bModified);
    EXPECT_EQ(database.added, std::vector<std::string>{"empty"});
}

// Everything written comes back: the reloaded project writes the same bytes, and
// the fields the load resets or rebuilds are as they should be.
TEST_F(ProjectFileTest, EveryKindRoundTripsByteForByte)
{
    const std::string sticker = MakeSticker("sticker.gif");
    FillEveryKind(model, sticker);
    model.name = "every";
    ASSERT_EQ(store.SaveProject(1.0f, 1.0f), 1);
    const Bytes saved = ReadFile(ProjectStore::ProjectFilePath("every"));
    ASSERT_EQ(saved, ProjectStore::Serialise(model, 1.0f, 1.0f));

    // Where the layout puts the first object: after the header, N, two scenes, M.
    size_t at = 16 + 4;
    for (int i = 0; i < 2; ++i)
        at += 1408 + 4 + size_t(I32(saved, at + 1408)) + 312 + 16;
    EXPECT_EQ(I32(saved, at), 6) << "object count";
    EXPECT_EQ(I32(saved, at + 4), OBJ_TEXT);
    EXPECT_EQ(I32(saved, at + 8 + 1116), 0) << "the text's order field";

    ProjectModel loaded;
    Undo undo;
    loaded.undo = &undo;
    loaded.name = "every";
    loaded.bModified = true;
    loaded.bMarkInSet = true;
    ProjectStore reader(loaded);
    Listener listener;
    reader.SetListener(&listener);
    reader.SetReadyDelay(5);
    ASSERT_EQ(reader.LoadProject(), 1);
    EXPECT_EQ(ProjectStore::Serialise(loaded, 1.0f, 1.0f), saved);

    EXPECT_EQ(loaded.SceneCount(), 2);
    EXPECT_EQ(loaded.SceneMark(0), 1);
    EXPECT_EQ(loaded.SceneMark(1), 0);
    EXPECT_DOUBLE_EQ(loaded.TotalLength(), 4.5 + 4.0);
    EXPECT_EQ(loaded.Item(0).stCreation.wMilliseconds, 456);
    EXPECT_EQ(loaded.Thumbnail(1), model.Thumbnail(1));
    ASSERT_EQ(loaded.ObjectCount(), 6);
    StickerOp* st = static_cast<StickerOp*>(loaded.Object(1));
    EXPECT_EQ(st->nFrameCount, 2);
    EXPECT_EQ(st->nWidth, 16);
    EXPECT_EQ(st->nAlpha, 255);
    EXPECT_NE(st->hImage, nullptr);
    ASSERT_NE(st->pDelays, nullptr);
    EXPECT_EQ(st->pDelays[1], 7);
    tagOPR_EFFECT* effect = static_cast<tagOPR_EFFECT*>(loaded.Object(3));
    ASSERT_NE(effect->pValidPolygon, nullptr);
    EXPECT_EQ(effect->pValidPolygon->GetSize(), 3);
    EXPECT_EQ(effect->bSpecialInited, 0);
    EXPECT_FALSE(loaded.bModified);
    EXPECT_FALSE(loaded.bMarkInSet);
    EXPECT_FALSE(loaded.bBusy);
    EXPECT_EQ(undo.calls, (std::vector<std::string>{"clear", "afresh"}));
    EXPECT_EQ(listener.busy.load(), 1);
    for (int wait = 0; wait < 200 && listener.ready.load() == 0; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(listener.ready.load(), 1) << "announced ready after the delay";
}

// Effect tracks follow the frame: scaled as floats and truncated toward zero.
TEST_F(ProjectFileTest, SaveScalesEffectTracks)
{
    model.AppendObject(OBJ_EFFECT, Effect({{10, 20}, {99, -99}, {351, 287}}, 0), 0);
    const Bytes doubled = ProjectStore::Serialise(model, 2.0f, 2.0f);
    const size_t points = doubled.size() - 3 * 8;
    EXPECT_EQ(I32(doubled, points + 0), 20);
    EXPECT_EQ(I32(doubled, points + 4), 40);
    EXPECT_EQ(I32(doubled, points + 16), 702);
    EXPECT_EQ(I32(doubled, points + 20), 574);
    const Bytes wider = ProjectStore::Serialise(model, 720.0f / 352, 1.0f);
    EXPECT_EQ(I32(wider, points + 16), 717) << "351 × 2.045 = 717.95, truncated";
    const Bytes halved = ProjectStore::Serialise(model, 0.5f, 0.5f);
    EXPECT_EQ(I32(halved, points + 8), 49);
    EXPECT_EQ(I32(halved, points + 12), -49);
    const Bytes huge = ProjectStore::Serialise(model, 1e30f, -1e30f);
    EXPECT_EQ(I32(huge, points), INT32_MAX) << "no undefined conversion";
    EXPECT_EQ(I32(huge, points + 4), INT32_MIN);
}

TEST_F(ProjectFileTest, DamagedFilesKeepWhatWasReadBefore)
{
    const std::string sticker = MakeSticker("gone.gif");
    FillEveryKind(model, sticker);
    AddScene(model, "/media/c.mpg", MEDIA_VIDEO, 0.0, 2.0, 3);
    const Bytes whole = ProjectStore::Serialise(model, 1.0f, 1.0f);

    // Ending inside the third scene: two scenes, failure.
    size_t third = 16 + 4;
    for (int i = 0; i < 2; ++i)
        third += 1408 + 4 + size_t(I32(whole, third + 1408)) + 312 + 16;
    {
        ProjectModel m;
        EXPECT_FALSE(ProjectStore::Parse(Bytes(whole.begin(), whole.begin() + long(third) + 700), m));
        EXPECT_EQ(m.SceneCount(), 2);
    }
    // A picture overlay whose file is gone disappears; the rest keep their order.
    std::remove(sticker.c_str());
    {
        ProjectModel m;
        std::string why;
        std::vector<MediaProblem> dropped;
        ASSERT_TRUE(ProjectStore::Parse(whole, m, &why, &dropped));
        ASSERT_EQ(dropped.size(), 1u) << "and said so";
        EXPECT_EQ(dropped[0].path, sticker);
        EXPECT_EQ(dropped[0].why, "no such file");
        ASSERT_EQ(m.ObjectCount(), 5);
        const int32_t kinds[] = {OBJ_TEXT, OBJ_SCREEN3D, OBJ_EFFECT, OBJ_MUSIC, OBJ_ANIMATION};
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(m.Kind(i), kinds[i]);
            EXPECT_EQ(m.ObjectMark(i), 0);
        }
    }
    // Where each object starts (its kind word).
    std::vector<size_t> object;
    size_t at = third + 1408 + 4 + size_t(I32(whole, third + 1408)) + 312 + 16 + 4;
    for (int i = 0; i < 6; ++i) {
        object.push_back(at);
        at += 4 + FindObjectKind(I32(whole, at))->bytes + (I32(whole, at) == OBJ_EFFECT ? 4 + 3 * 8 : 0);
    }
    ASSERT_EQ(at, whole.size());
    // A kind word no project holds stops the load there, the lists in step; so do a
    // thumbnail length or a point count larger than what the file still holds.
    Bytes badKind = whole;
    badKind[object[3]] = 5;
    Bytes badThumb = whole;
    badThumb[16 + 4 + 1408 + 3] = 0x7F;
    Bytes badPoints = whole;
    badPoints[object[3] + 4 + 104 + 2] = 0x7F;
    for (const Bytes* bytes : {&badKind, &badPoints}) {
        ProjectModel m;
        EXPECT_FALSE(ProjectStore::Parse(*bytes, m));
        ASSERT_EQ(m.ObjectCount(), 2) << "the text and the screen item before it (the picture is gone)";
        EXPECT_EQ(m.Kind(1), OBJ_SCREEN3D);
        EXPECT_EQ(m.ObjectMark(1), 0);
    }
    {
        ProjectModel m;
        EXPECT_FALSE(ProjectStore::Parse(badThumb, m));
        EXPECT_EQ(m.SceneCount(), 0);
    }
    // Every truncation loads what it can without reading past the end.
    for (size_t n = 0; n < whole.size(); n += (n < 64 || whole.size() - n < 64) ? 1 : 7) {
        ProjectModel m;
        EXPECT_FALSE(ProjectStore::Parse(Bytes(whole.begin(), whole.begin() + long(n)), m)) << n;
    }
}

// Times that are not times, or that would make a render run for days, mark a
// damaged file: the load fails and names the scene or object.
TEST_F(ProjectFileTest, ImpossibleTimesAreRefusedByName)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        double in, out;
        const char* says;
    };
    const Case spans[] = {
        {0.0, inf, "runs from 0 to inf"},
        {nan, 1.0, "runs from nan"},
        {5.0, 2.0, "ends (2 s) before it starts (5 s)"},
        {0.0, 1e5, "24 hours"},
        {-1e9, 0.0, "24 hours"},
    };
    for (const Case& c : spans) {
        ProjectModel m;
        AddScene(m, "/media/ok.mpg", MEDIA_VIDEO, 0.0, 2.0, 0);
        AddScene(m, "/media/bad.mpg", MEDIA_VIDEO, c.in, c.out, 0);
        const Bytes bytes = ProjectStore::Serialise(m, 1.0f, 1.0f);
        ProjectModel back;
        std::string why;
        EXPECT_FALSE(ProjectStore::Parse(bytes, back, &why)) << c.says;
        EXPECT_NE(why.find("scene 2 (/media/bad.mpg)"), std::string::npos) << why;
        EXPECT_NE(why.find(c.says), std::string::npos) << why;
    }
    // Many scenes, each fine, that add up past the limit.
    {
        ProjectModel m;
        for (int i = 0; i < 25; ++i)
            AddScene(m, "/media/hour.mpg", MEDIA_VIDEO, 0.0, 3600.0, 0);
        std::string why;
        ProjectModel back;
        EXPECT_FALSE(ProjectStore::Parse(ProjectStore::Serialise(m, 1.0f, 1.0f), back, &why));
        EXPECT_NE(why.find("scene 25"), std::string::npos) << why;
    }
    for (double t : {nan, inf, 1e7}) {
        ProjectModel m;
        TextOp* text = new TextOp();
        text->dStartTime = 1.0;
        text->dEndTime = t;
        m.AppendObject(OBJ_TEXT, text, 0);
        std::string why;
        ProjectModel back;
        EXPECT_FALSE(ProjectStore::Parse(ProjectStore::Serialise(m, 1.0f, 1.0f), back, &why)) << t;
        EXPECT_NE(why.find("object 1 runs from 1 to"), std::string::npos) << why;
    }
    // The limit itself is a time a project may have.
    {
        ProjectModel m;
        AddScene(m, "/media/day.mpg", MEDIA_VIDEO, 0.0, kMaxProjectSeconds, 0);
        ProjectModel back;
        std::string why;
        EXPECT_TRUE(ProjectStore::Parse(ProjectStore::Serialise(m, 1.0f, 1.0f), back, &why)) << why;
    }
}

// A project path that names a FIFO, a folder or nothing fails at once with the
// reason, instead of blocking or reading garbage.
TEST_F(ProjectFileTest, LoadProjectFileRefusesWhatIsNotAFile)
{
    const std::string fifo = g_data + "pipe.mpf";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(store.LoadProjectFile(fifo), 0);
    EXPECT_EQ(store.LastError(), "not a regular file");
    std::remove(fifo.c_str());
    EXPECT_EQ(store.LoadProjectFile(g_data), 0);
    EXPECT_EQ(store.LastError(), "a folder, not a file");
    EXPECT_EQ(store.LoadProjectFile(g_data + "absent.mpf"), 0);
    EXPECT_EQ(store.LastError(), "no such file");
    // A file from anywhere loads, and the error is cleared.
    AddScene(model, "/media/a.mpg", MEDIA_VIDEO, 0.0, 3.0, 0);
    const std::string loose = g_data + "loose.mpf";
    WriteFile(loose, ProjectStore::Serialise(model, 1.0f, 1.0f));
    EXPECT_EQ(store.LoadProjectFile(loose), 1);
    EXPECT_EQ(store.LastError(), "");
    EXPECT_EQ(model.SceneCount(), 1);
    WriteFile(loose, Bytes(30, 0xFF));
    EXPECT_EQ(store.LoadProjectFile(loose), 0);
    EXPECT_FALSE(store.LastError().empty());
}

TEST_F(ProjectFileTest, LoadOfAMissingProjectFails)
{
    Listener listener;
    store.SetListener(&listener);
    model.name = "never-saved";
    AddScene(model, "/media/a.mpg", MEDIA_VIDEO, 0.0, 1.0, 0);
    EXPECT_EQ(store.LoadProject(), 0);
    EXPECT_EQ(model.SceneCount(), 0) << "the timeline was cleared first";
    EXPECT_FALSE(model.bBusy);
    model.name = "../escape";
    EXPECT_EQ(store.LoadProject(), 0);
    EXPECT_TRUE(prompt.shown.empty()) << "a failed load shows nothing";
}

TEST_F(ProjectFileTest, SaveAsksForAMissingNameAndReportsFolderAndFileErrors)
{
    store.SetNameAsker([](std::string&) { return false; });
    EXPECT_EQ(store.SaveProject(1.0f, 1.0f), 0);
    EXPECT_TRUE(database.added.empty());

    store.SetNameAsker([](std::string& name) {
        name = "named";
        return true;
    });
    EXPECT_EQ(store.SaveProject(1.0f, 1.0f), 1);
    EXPECT_EQ(model.name, "named");
    EXPECT_EQ(ReadFile(g_data + "named/named.mpf").size(), 24u);

    // A file where the project's folder should be, and a name that is no folder name.
    WriteFile(g_data + "blocked", Bytes{1});
    model.name = "blocked";
    EXPECT_EQ(store.SaveProject(1.0f, 1.0f), 0);
    model.name = "a/b";
    EXPECT_EQ(store.SaveProject(1.0f, 1.0f), 0);
    EXPECT_EQ(prompt.shown, (std::vector<std::string>{"Error: Failed to create directory with the name (warning)",
                                                      "Error: Failed to create directory with the name (warning)"}));
}

// A save that fails half way (the disk fills up) leaves the old project exactly as
// it was and no temporary file behind.
TEST_F(ProjectFileTest, FailedSaveLeavesTheOldFileIntact)
{
    model.name = "keep";
    model.header = ProjectHeader{720, 576, 4, 3};
    AddScene(model, "/media/a.mpg", MEDIA_VIDEO, 0.0, 3.0, 0);
    ASSERT_EQ(store.SaveProject(1.0f, 1.0f), 1);
    const std::string path = ProjectStore::ProjectFilePath("keep");
    const Bytes before = ReadFile(path);

    for (int i = 0; i < 40; ++i)
        AddScene(model, "/media/b.mpg", MEDIA_VIDEO, 0.0, 1.0, 2);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlim_t limit = before.size() + 4096;
        rlimit r{limit, limit};
        setrlimit(RLIMIT_FSIZE, &r);
        const int saved = store.SaveProject(1.0f, 1.0f);
        const bool told = prompt.shown == std::vector<std::string>{"Error: Failed to create file with the name (warning)"};
        _exit(saved == 0 && told ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the save reported its failure";
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(testsupport::Capture("ls " + testsupport::Quote(g_data + "keep")), "keep.mpf\n");
}
