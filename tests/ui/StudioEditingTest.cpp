// The real zolvex-studio edited as a person would, on Xvfb through its accessible
// names: the demo project opened, transitions and two titles added from their pages,
// the second title undone with the Undo button, the project saved with Ctrl+S; the saved ".mpf" holds
// exactly that, and a screenshot of the main window with the demo timeline is written
// under out/. Then the preview played (its screen shows the project) and a DVD saved
// from the Save Movie page, which ffprobe reads; and the installed animation effect's
// thumbnail moving on its page; an effect made in the maker from two pictures,
// imported, put on the timeline and drawn in the movie.
#include <gtest/gtest.h>

#include <QImage>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "filter/timeline/model/TimelineRecords.h"
#include "studio/maker/AnimationLibrary.h"
#include "studio/project/ProjectFile.h"
#include "tests/support/DemoStudio.h"

using namespace zolvex;
using namespace zolvex::studio;
using namespace zolvex::testsupport;

namespace {

class StudioEditingTest : public DemoStudioTest {
protected:
    StudioEditingTest() : DemoStudioTest(40, 57) {}
};

}  // namespace

TEST_F(StudioEditingTest, TransitionsAndATitleFromThePagesUndoAndSave)
{
    const std::string project = root + "/Data/Demo/Demo.mpf";
    ProjectModel before;
    ProjectStore beforeStore(before);
    ASSERT_EQ(beforeStore.LoadProjectFile(project), 1);

    const std::string out = std::string(ZOLVEX_SOURCE_DIR) + "/out";
    mkdir(out.c_str(), 0755);
    std::string log;
    // The loaded project is busy for two seconds, each edit for half a second.
    ASSERT_EQ(Session(out + "/studio-demo-timeline.png",
                      "wait:3 tab:Transition 'press:Add All In Sequence' wait:1 tab:Text 'type:text=Our summer' "
                      "'press:Add to Timeline' wait:1 'press:Add to Timeline' wait:1 press:Undo wait:1 key:ctrl+s "
                      "wait:1 shot",
                      &log),
              0)
        << log;

    ProjectModel saved;
    ProjectStore store(saved);
    ASSERT_EQ(store.LoadProjectFile(project), 1) << store.LastError();
    ASSERT_EQ(saved.SceneCount(), before.SceneCount());
    for (int j = 0; j < saved.SceneCount(); ++j)
        EXPECT_EQ(saved.Record(j).nTransitionID, (j + 1) % 28) << "scene " << j;
    ASSERT_EQ(saved.ObjectCount(), before.ObjectCount() + 1) << log;
    const int last = saved.ObjectCount() - 1;
    ASSERT_EQ(saved.Kind(last), OBJ_TEXT);
    EXPECT_STREQ(static_cast<TextOp*>(saved.Object(last))->szText, "Our summer");
    // Everything else the demo held is as it was.
    for (int i = 0; i < before.ObjectCount(); ++i)
        EXPECT_EQ(saved.Kind(i), before.Kind(i)) << "object " << i;

    // The saved file reloads in the studio, whose window is the picture under out/.
    ASSERT_EQ(Session(out + "/studio-demo-timeline.png", "wait:3 shot", &log), 0) << log;
    struct stat st;
    ASSERT_EQ(stat((out + "/studio-demo-timeline.png").c_str(), &st), 0);
    EXPECT_GT(st.st_size, 20000);
}

TEST_F(StudioEditingTest, PlaysThePreviewAndSavesADvdFromThePage)
{
    const std::string out = std::string(ZOLVEX_SOURCE_DIR) + "/out";
    mkdir(out.c_str(), 0755);
    const std::string shot = out + "/studio-preview-playing.png";
    std::string log;
    ASSERT_EQ(Session(shot, "wait:3 press:Play wait:3 shot", &log), 0) << log;
    // The screen shows the project's picture, not black.
    QImage picture(QString::fromStdString(shot));
    ASSERT_FALSE(picture.isNull()) << log;
    int lit = 0, all = 0;
    for (int y = 80; y < 420; y += 4)
        for (int x = 780; x < 1260; x += 4, ++all)
            lit += qGray(picture.pixel(x, y)) > 40;
    EXPECT_GT(lit, all / 2) << "the player's screen is dark: " << log;

    // Save Movie from the page: DVD PAL is the page's first choice.
    ASSERT_EQ(Session(out + "/studio-save-movie.png",
                      "wait:3 'tab:Save Movie' 'type:text=Holiday' 'press:Save Moive Now' wait:12 shot", &log),
              0)
        << log;
    const std::string movie = root + "/Documents/Zolvex Video Studio/Moive Output/Holiday.mpg";
    int status = -1;
    const std::string probe = Capture("ffprobe -v error -show_entries stream=codec_name,width,height:format=duration "
                                      "-of default=nw=1 " + Quote(movie) + " 2>&1",
                                      &status);
    ASSERT_EQ(status, 0) << probe << log;
    EXPECT_NE(probe.find("codec_name=mpeg2video"), std::string::npos) << probe;
    EXPECT_NE(probe.find("width=720\nheight=576"), std::string::npos) << probe;
    EXPECT_NE(probe.find("codec_name=ac3"), std::string::npos) << probe;
    const size_t at = probe.find("duration=");
    ASSERT_NE(at, std::string::npos) << probe;
    EXPECT_NEAR(std::atof(probe.c_str() + at + 9), 40.0, 0.5) << probe;
}

namespace {

// The picture of a movie at `seconds`, as RGB bytes ("" when it cannot be had).
std::string FrameAt(const std::string& movie, double seconds)
{
    int status = -1;
    const std::string bytes = Capture("ffmpeg -v error -ss " + std::to_string(seconds) + " -i " + Quote(movie) +
                                          " -frames:v 1 -f rawvideo -pix_fmt rgb24 - 2>/dev/null",
                                      &status);
    return status == 0 ? bytes : std::string();
}

}  // namespace

TEST_F(StudioEditingTest, AnEffectMadeInTheMakerGoesOnTheTimelineAndIntoTheMovie)
{
    const std::string project = root + "/Data/Demo/Demo.mpf";
    const std::string original = root + "/Original.mpf";
    ASSERT_EQ(Run("cp " + Quote(project) + " " + Quote(original)), 0);
    ProjectModel before;
    ProjectStore beforeStore(before);
    ASSERT_EQ(beforeStore.LoadProjectFile(project), 1);

    const std::string out = std::string(ZOLVEX_SOURCE_DIR) + "/out";
    mkdir(out.c_str(), 0755);
    const std::string first = out + "/animation-page-1.png", second = out + "/animation-page-2.png";
    // Two pictures that the maker makes one symbol of.
    const std::string heart = root + "/heart.png", star = root + "/star.png", made = root + "/Made.arf";
    for (const auto& [path, colour] : {std::pair{heart, Qt::red}, std::pair{star, Qt::yellow}}) {
        QImage picture(40, 40, QImage::Format_ARGB32);
        picture.fill(colour);
        ASSERT_TRUE(picture.save(QString::fromStdString(path)));
    }
    std::string log;
    // Two looks at the page 0.7 s apart. Then the maker: the pictures imported as a
    // symbol, the symbol added, the effect saved; the maker closed, the effect
    // imported on the page, put on the timeline with a double-click, and kept.
    ASSERT_EQ(Session(out + "/animation-page-added.png",
                      "wait:3 'tab:Animation Effect' wait:0.5 shotto:" + first + " wait:0.7 shotto:" + second +
                          " 'press:Make Animation Effects' wait:1 'press:Import Pictures' wait:1.5 " +
                          Quote("type:text=\"" + heart + "\" \"" + star + "\"") +
                          " press:Open wait:1.5 dblclick:162,112 wait:1 'press:Save Effect File' wait:1.5 " +
                          Quote("type:text=" + made) + " press:Save wait:1.5 shotto:" + out +
                          "/maker-window.png 'press:Close Maker' wait:1 'press:Import Animation Effects' wait:1.5 " +
                          Quote("type:text=" + made) + " press:Open wait:1.5 dblclick:292,150 wait:1 key:ctrl+s "
                          "wait:1 shot",
                      &log),
              0)
        << log;
    const QImage a(QString::fromStdString(first)), b(QString::fromStdString(second));
    ASSERT_FALSE(a.isNull() || b.isNull()) << log;
    const QRect thumbnail(28, 94, 160, 120);
    EXPECT_NE(a.copy(thumbnail), b.copy(thumbnail)) << "the thumbnail moves";

    ProjectModel saved;
    ProjectStore store(saved);
    ASSERT_EQ(store.LoadProjectFile(project), 1) << store.LastError();
    ASSERT_EQ(saved.ObjectCount(), before.ObjectCount() + 1) << log;
    const int last = saved.ObjectCount() - 1;
    ASSERT_EQ(saved.Kind(last), OBJ_EFFECT);
    // The effect the maker made is the library's second, and the one on the timeline.
    AnimationLibrary library(root + "/Data/");
    ASSERT_TRUE(library.Load());
    ASSERT_EQ(library.Count(), 2) << log;
    EXPECT_EQ(library.Name(1), "Made");
    const auto* added = static_cast<const tagOPR_EFFECT*>(saved.Object(last));
    EXPECT_TRUE(added->guidEffect == library.Guid(1));

    // The movie of the edited project shows the effect where the original does not.
    const double at = (added->dStartTime + added->dEndTime) / 2;
    for (const auto& [mpf, movie] : {std::pair{original, root + "/original.mpg"}, std::pair{project, root + "/edited.mpg"}})
        ASSERT_EQ(Run(std::string(ZOLVEX_RENDER) + " " + Quote(mpf) + " -o " + Quote(movie) +
                      " --format DVD_PAL --data-dir " + Quote(root + "/Data") + " --overwrite >/dev/null 2>&1"),
                  0);
    const std::string plain = FrameAt(root + "/original.mpg", at), drawn = FrameAt(root + "/edited.mpg", at);
    ASSERT_EQ(plain.size(), size_t(720) * 576 * 3);
    ASSERT_EQ(drawn.size(), plain.size());
    size_t changed = 0;
    for (size_t i = 0; i < plain.size(); ++i)
        changed += std::abs(int(uint8_t(plain[i])) - int(uint8_t(drawn[i]))) > 40;
    EXPECT_GT(changed, 300u) << "the effect's symbols are in the movie at " << at << " s";
}

// A microphone of a sound server of the test's own: a PulseAudio server with a null
// source, found by the studio through the runtime folder it is given.
TEST_F(StudioEditingTest, AVoiceRecordingGoesIntoTheProjectFolderAndOnTheTimeline)
{
    if (!HaveTool("pulseaudio") || !HaveTool("pactl"))
        GTEST_SKIP() << "pulseaudio is missing";
    const std::string env = "env XDG_RUNTIME_DIR=" + Quote(root + "/run") + " HOME=" + Quote(root) + " ";
    const pid_t server = Spawn(env + "pulseaudio -n --daemonize=no --exit-idle-time=-1 --disable-shm=yes "
                                     "-L 'module-null-source source_name=microphone' -L 'module-native-protocol-unix auth-anonymous=1' "
                                     ">" + Quote(root + "/pulse.log") + " 2>&1");
    ASSERT_GT(server, 0);
    bool up = false;
    for (int i = 0; i < 100 && !up; ++i) {
        up = Run(env + "pactl list short sources 2>/dev/null | grep -q microphone") == 0;
        if (!up)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(up) << ReadText(root + "/pulse.log");

    const std::string out = std::string(ZOLVEX_SOURCE_DIR) + "/out";
    mkdir(out.c_str(), 0755);
    const std::string project = root + "/Data/Demo/Demo.mpf";
    ProjectModel before;
    ProjectStore beforeStore(before);
    ASSERT_EQ(beforeStore.LoadProjectFile(project), 1);
    std::string log;
    const int status = Session(out + "/studio-recorded.png",
                               "wait:3 'press:Record Audio' wait:1.5 shotto:" + out +
                                   "/recorder-dialog.png press:Record wait:2.5 shotto:" + out +
                                   "/recorder-recording.png press:Stop wait:4 key:ctrl+s wait:1 shot",
                               &log);
    kill(server, SIGTERM), waitpid(server, nullptr, 0);
    ASSERT_EQ(status, 0) << log;

    // The take in the project's folder, named by its time.
    const std::string takes = Capture("ls " + Quote(root + "/Data/Demo") + " | grep -E '^[0-9]{4}(-[0-9]{2}){5}\\.wav$'",
                                      nullptr);
    ASSERT_FALSE(takes.empty()) << log;
    const std::string take = root + "/Data/Demo/" + takes.substr(0, takes.find('\n'));
    int probed = -1;
    const std::string duration =
        Capture("ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 " + Quote(take), &probed);
    ASSERT_EQ(probed, 0) << duration;
    // The steps around the two and a half seconds (the screenshot, the driver) add a little.
    EXPECT_GT(std::atof(duration.c_str()), 2.4) << duration;
    EXPECT_LT(std::atof(duration.c_str()), 5.0) << duration;

    // On the timeline as music of its length, saved with the project.
    ProjectModel saved;
    ProjectStore store(saved);
    ASSERT_EQ(store.LoadProjectFile(project), 1) << store.LastError();
    ASSERT_EQ(saved.ObjectCount(), before.ObjectCount() + 1) << log;
    const int last = saved.ObjectCount() - 1;
    ASSERT_EQ(saved.Kind(last), OBJ_MUSIC);
    const auto* music = static_cast<const AudioOp*>(saved.Object(last));
    EXPECT_EQ(std::string(music->szPath), take);
    EXPECT_NEAR(music->dLength, std::atof(duration.c_str()), 0.05);
    EXPECT_NEAR(music->dEndTime - music->dStartTime, music->dLength, 1e-9);
}
