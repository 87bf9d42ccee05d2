// The checks before a movie is made (name, overwrite, a file that cannot be
// removed), the default movie folder, and the encoding run itself: cancelled
// part-way, it leaves a shorter movie that is whole to its last frame.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "studio/project/MediaItems.h"
#include "studio/project/ProjectModel.h"
#include "studio/shell/MovieRun.h"
#include "studio/shell/SaveMovie.h"
#include "studio/shell/StringTable.h"
#include "tests/support/Command.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ScriptedPrompt.h"
#include "tests/support/TestMedia.h"

using namespace zolvex;
using namespace zolvex::studio;
using testsupport::Capture;
using testsupport::Quote;
using testsupport::ScratchFolder;
using testsupport::ScriptedPrompt;

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

MovieChoices Vcd(const std::string& folder, const std::string& name)
{
    MovieChoices c;
    c.kind = kMovieDisc;
    c.profile = kVcdPal;
    c.videoCodec = 0;
    c.movieName = name;
    c.folder = folder;
    return c;
}

class SaveMovieConfirm : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Strings().Load(Language::kEnglish));
        ASSERT_FALSE(scratch_.Path().empty());
    }
    void TearDown() override { Strings().Load(Language::kEnglish); }
    ScratchFolder scratch_{"save-movie"};
    ScriptedPrompt prompt_;
};

}  // namespace

TEST_F(SaveMovieConfirm, AnEmptyNameIsRefusedWithItsMessage)
{
    MovieOutputParams params;
    params.nVideoBitRate = 1234;
    EXPECT_FALSE(ConfirmSaveMovie(Vcd(scratch_.Path(), ""), prompt_, params));
    ASSERT_EQ(prompt_.shown.size(), 1u);
    EXPECT_EQ(prompt_.shown[0].text, "Please enter movie name.");
    EXPECT_EQ(prompt_.shown[0].title, Str(0));
    EXPECT_EQ(prompt_.shown[0].icon, kPromptInformation);
    EXPECT_EQ(params.nVideoBitRate, 1234) << "nothing is filled for a refused movie";
}

TEST_F(SaveMovieConfirm, AFreshNameGoesAheadWithTheVcdParameters)
{
    MovieOutputParams params;
    ASSERT_TRUE(ConfirmSaveMovie(Vcd(scratch_.Path(), "trip"), prompt_, params));
    EXPECT_TRUE(prompt_.shown.empty());
    EXPECT_EQ(params.szFilePath, scratch_.Path() + "trip.mpg");
    EXPECT_EQ(params.nVideoBitRate, 1150000);
    EXPECT_EQ(params.nQuality, -1);
    EXPECT_EQ(params.nVideoCodec, 1);
    EXPECT_EQ(params.szFormatName, "VCD_PAL");

    // A name the file system cannot take is said, not cut.
    EXPECT_FALSE(ConfirmSaveMovie(Vcd(scratch_.Path(), "a/b"), prompt_, params));
    ASSERT_EQ(prompt_.shown.size(), 1u);
    EXPECT_NE(prompt_.LastText().find("\"/\""), std::string::npos) << prompt_.LastText();
}

TEST_F(SaveMovieConfirm, AnExistingFileIsReplacedOnlyOnYes)
{
    const std::string path = scratch_.Path() + "trip.mpg";
    std::ofstream(path) << "old movie";
    MovieOutputParams params;

    prompt_.answers = {kAnswerNo};
    EXPECT_FALSE(ConfirmSaveMovie(Vcd(scratch_.Path(), "trip"), prompt_, params));
    ASSERT_EQ(prompt_.shown.size(), 1u);
    EXPECT_EQ(prompt_.shown[0].text, "A file with same name already exist, Overwrite it?");
    EXPECT_EQ(prompt_.shown[0].buttons, kPromptYesNo);
    EXPECT_EQ(prompt_.shown[0].icon, kPromptInformation);
    EXPECT_EQ(ReadAll(path), "old movie");

    ASSERT_TRUE(Strings().Load(Language::kChinese));
    prompt_.answers = {kAnswerYes};
    EXPECT_TRUE(ConfirmSaveMovie(Vcd(scratch_.Path(), "trip"), prompt_, params));
    EXPECT_EQ(prompt_.LastText(), OverwriteQuestion(Language::kChinese));
    EXPECT_NE(prompt_.LastText(), OverwriteQuestion(Language::kEnglish));
    EXPECT_FALSE(Exists(path));
    EXPECT_EQ(params.szFilePath, path);
}

TEST_F(SaveMovieConfirm, AFileThatCannotBeRemovedIsReportedAndKept)
{
    const std::string locked = scratch_.Path() + "locked/";
    ASSERT_EQ(mkdir(locked.c_str(), 0755), 0);
    std::ofstream(locked + "trip.mpg") << "in use";
    // A folder of the movie's name is no file to replace either.
    ASSERT_EQ(mkdir((scratch_.Path() + "trip.mpg").c_str(), 0755), 0);
    MovieOutputParams params;
    prompt_.answers = {kAnswerYes, kAnswerOk};
    EXPECT_FALSE(ConfirmSaveMovie(Vcd(scratch_.Path(), "trip"), prompt_, params));
    EXPECT_EQ(prompt_.LastText(), "The file is currently used by another program, Overwrite failed.");
    EXPECT_EQ(prompt_.shown.back().icon, kPromptInformation);

    chmod(locked.c_str(), 0555);
    if (access(locked.c_str(), W_OK) == 0) {
        chmod(locked.c_str(), 0755);
        GTEST_SKIP() << "a read-only folder is writable here (running as root)";
    }
    prompt_.shown.clear();
    prompt_.answers = {kAnswerYes, kAnswerOk};
    EXPECT_FALSE(ConfirmSaveMovie(Vcd(locked, "trip"), prompt_, params));
    chmod(locked.c_str(), 0755);
    ASSERT_EQ(prompt_.shown.size(), 2u);
    EXPECT_EQ(prompt_.shown[1].text, "The file is currently used by another program, Overwrite failed.");
    EXPECT_EQ(ReadAll(locked + "trip.mpg"), "in use");
}

TEST_F(SaveMovieConfirm, TheMovieFolderIsMadeLevelByLevel)
{
    std::string folder, error;
    const std::string documents = scratch_.Path() + "Documents";
    ASSERT_TRUE(MakeMovieFolder(documents, folder, &error)) << error;
    EXPECT_EQ(folder, documents + "/" + Str(0) + "/Moive Output/");
    struct stat st;
    EXPECT_TRUE(stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
    ASSERT_TRUE(MakeMovieFolder(documents + "/", folder, &error)) << "an existing folder is taken as it is";

    // A file where a folder should be: said, nothing made.
    const std::string blocked = scratch_.Path() + "Blocked";
    ASSERT_EQ(mkdir(blocked.c_str(), 0755), 0);
    std::ofstream(blocked + "/" + Str(0)) << "not a folder";
    folder.clear();
    EXPECT_FALSE(MakeMovieFolder(blocked, folder, &error));
    EXPECT_NE(error.find("is a file"), std::string::npos) << error;
    EXPECT_TRUE(folder.empty());

    setenv("XDG_DOCUMENTS_DIR", documents.c_str(), 1);
    EXPECT_EQ(DocumentsFolder(), documents);
    unsetenv("XDG_DOCUMENTS_DIR");
    const std::string home = scratch_.Path() + "home";
    ASSERT_EQ(mkdir(home.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((home + "/.config").c_str(), 0755), 0);
    std::ofstream(home + "/.config/user-dirs.dirs") << "# made by xdg-user-dirs-update\n"
                                                    << "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n";
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string savedConfig = oldConfig ? oldConfig : "";
    setenv("HOME", home.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(DocumentsFolder(), home + "/Papers");
    std::ofstream(home + "/.config/user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"$HOME/\"\n";
    EXPECT_EQ(DocumentsFolder(), home + "/Documents") << "a documents folder turned off";
    setenv("HOME", savedHome.c_str(), 1);
    if (oldConfig)
        setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
}

namespace {

testsupport::TestMedia g_media("movie-run", {"ffmpeg", "ffprobe"});

void MakeMedia(testsupport::TestMedia& media)
{
    media.Run({"ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=10 -f lavfi -i "
               "sine=frequency=440:sample_rate=44100:duration=10 -c:v mpeg2video -b:v 2M -c:a mp2 -ac 2 '" +
               media.Path("clip.mpg") + "' 2>/dev/null"});
}

::testing::Environment* const g_environment = testsupport::AddMediaEnvironment(g_media, MakeMedia);

std::string Probe(const std::string& path, const std::string& stream, const std::string& what)
{
    std::string text = Capture("ffprobe -v error -select_streams " + stream + " -show_entries " + what +
                               " -of default=nw=1:nk=1 " + Quote(path));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

}  // namespace

// Thirty seconds of project, cancelled once two are written: what the encoder had
// is closed properly, so a player reads it to its last frame.
TEST(MovieRun, CancelledPartWayLeavesAShorterWholeMovie)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    ProjectModel model;
    model.header = ProjectHeader{352, 288, 4, 3};
    MediaItem item;
    MediaThumbnail thumb;
    ASSERT_TRUE(CreateMediaItem(g_media.Path("clip.mpg").c_str(), item, thumb));
    for (int i = 0; i < 3; ++i) {
        SceneRecord r{};
        std::snprintf(r.szPath, sizeof r.szPath, "%s", g_media.Path("clip.mpg").c_str());
        r.nSourceWidth = item.nWidth;
        r.nSourceHeight = item.nHeight;
        r.nMediaType = MEDIA_TYPE_VIDEO;
        r.dDuration = item.dDuration;
        r.dOutPoint = 10.0;
        ASSERT_TRUE(model.AppendScene(item, thumb, r, SceneSpan{0.0, 10.0}, 1));
    }
    MovieRunSetup setup;
    MovieChoices choices = Vcd(g_media.Dir(), "cut");
    ASSERT_TRUE(FillMovieParams(choices, setup.params));
    setup.outputPath = setup.params.szFilePath;
    setup.header = model.header;
    setup.lists = model.Lists();

    MovieRun run;
    std::string error;
    ASSERT_TRUE(run.Start(setup, &error)) << error;
    EXPECT_NEAR(double(run.Duration()) / 1e7, 30.0, 0.5);
    MovieRun::State state = MovieRun::State::kRunning;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (run.Position() < 20000000 && state == MovieRun::State::kRunning &&
           std::chrono::steady_clock::now() < until)
        state = run.Poll(20, &error);
    ASSERT_EQ(state, MovieRun::State::kRunning) << error;
    EXPECT_GT(run.Progress(), 5.0f);
    EXPECT_LT(run.Progress(), 100.0f);
    EXPECT_TRUE(run.Pause());
    EXPECT_TRUE(run.Resume());
    ASSERT_TRUE(run.Finish(&error)) << error;
    EXPECT_FALSE(run.Active());
    EXPECT_TRUE(run.Finish(&error)) << "a second finish does nothing";

    const std::string out = setup.outputPath;
    EXPECT_EQ(Probe(out, "v:0", "stream=codec_name"), "mpeg1video");
    EXPECT_EQ(Probe(out, "a:0", "stream=codec_name"), "mp2");
    const double seconds = std::atof(Probe(out, "v:0", "format=duration").c_str());
    EXPECT_GT(seconds, 1.5);
    EXPECT_LT(seconds, 29.0);
    int status = -1;
    const std::string complaints =
        Capture("ffmpeg -nostdin -v error -i " + Quote(out) + " -f null - 2>&1", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(complaints, "") << "the movie decodes without a fault to its end";
    // Every picture, to the last, decodes and shows the clip rather than nothing.
    const std::vector<unsigned char> pictures = testsupport::CaptureBytes(
        "ffmpeg -nostdin -v error -i " + Quote(out) + " -vf scale=16:12 -pix_fmt rgb24 -f rawvideo - 2>/dev/null");
    const size_t frameBytes = 16 * 12 * 3;
    ASSERT_EQ(pictures.size() % frameBytes, 0u);
    EXPECT_GE(pictures.size() / frameBytes, 45u) << "the two seconds rendered before the cancel are kept";
    ASSERT_GE(pictures.size(), frameBytes);
    const auto lastFrame = pictures.end() - std::ptrdiff_t(frameBytes);
    const auto [darkest, brightest] = std::minmax_element(lastFrame, pictures.end());
    EXPECT_GT(int(*brightest) - int(*darkest), 100) << "the last picture is the test pattern";
}

TEST(MovieRun, AMovieThatCannotBeOpenedFailsToStartAndLeavesNothingRunning)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    ProjectModel model;
    model.header = ProjectHeader{352, 288, 4, 3};
    MovieRunSetup setup;
    ASSERT_TRUE(FillMovieParams(Vcd(g_media.Dir() + "/no/such/folder", "x"), setup.params));
    setup.outputPath = setup.params.szFilePath;
    setup.header = model.header;
    setup.lists = model.Lists();
    MovieRun run;
    std::string error;
    EXPECT_FALSE(run.Start(setup, &error));
    EXPECT_NE(error.find("cannot be written"), std::string::npos) << error;
    EXPECT_FALSE(run.Active());
    EXPECT_EQ(run.Poll(0), MovieRun::State::kIdle);
    EXPECT_FALSE(Exists(setup.outputPath));
}
