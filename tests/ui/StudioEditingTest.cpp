// The real zolvex-studio edited as a person would, on Xvfb through its accessible
// names: the demo project opened, transitions and two titles added from their pages,
// the second title undone with the Undo button, the project saved with Ctrl+S; the saved ".mpf" holds
// exactly that, and a screenshot of the main window with the demo timeline is written
// under out/.
#include <gtest/gtest.h>

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
#include "studio/project/ProjectFile.h"
#include "tests/support/Command.h"

using namespace zolvex;
using namespace zolvex::studio;
using namespace zolvex::testsupport;

namespace {

std::string ReadText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class StudioEditingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* tool : {"Xvfb", "xdotool", "xdpyinfo", "ffmpeg", "dbus-run-session"})
            if (!HaveTool(tool))
                GTEST_SKIP() << tool << " is missing";
        if (access("/usr/libexec/at-spi-bus-launcher", X_OK) != 0 ||
            std::system("/usr/bin/python3 -c 'import pyatspi' 2>/dev/null") != 0)
            GTEST_SKIP() << "AT-SPI (at-spi2-core, python3-pyatspi) is missing";
        char pattern[] = "/tmp/zolvex-editing-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        mkdir((root + "/run").c_str(), 0700);
        for (int n = 40; n < 57 && display.empty(); ++n)
            if (access(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), F_OK) != 0)
                display = ":" + std::to_string(n);
        ASSERT_FALSE(display.empty());
        xvfb = Spawn("Xvfb " + display + " -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1");
        ASSERT_GT(xvfb, 0);
        for (int i = 0; i < 100 && Run("xdpyinfo >/dev/null 2>&1") != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        int status = -1;
        const std::string made = Capture(std::string(ZOLVEX_DEMO) + " " + Quote(root) + " 2>&1", &status);
        ASSERT_EQ(status, 0) << made;
    }
    void TearDown() override
    {
        if (xvfb > 0)
            kill(xvfb, SIGTERM), waitpid(xvfb, nullptr, 0);
        if (!root.empty())
            std::system(("rm -rf '" + root + "'").c_str());
    }
    int Run(const std::string& command) const
    {
        int status = -1;
        Capture("DISPLAY=" + display + " " + command, &status);
        return status;
    }
    // One studio session with its steps; the exit status of the steps.
    int Session(const std::string& shot, const std::string& steps, std::string* log)
    {
        const std::string logFile = root + "/studio.log";
        int status = -1;
        const std::string out =
            Capture("env DISPLAY=" + display + " ZOLVEX_DATA_DIR=" + Quote(root + "/Data") + " XDG_CONFIG_HOME=" +
                        Quote(root + "/config") + " XDG_RUNTIME_DIR=" + Quote(root + "/run") +
                        " timeout 120 dbus-run-session -- " + Quote(std::string(ZOLVEX_SOURCE_DIR) +
                                                                     "/tests/ui/studio-session.sh") +
                        " " + Quote(ZOLVEX_STUDIO) + " Demo " + Quote(shot) + " " + Quote(logFile) + " " + steps +
                        " 2>&1",
                    &status);
        *log = out + ReadText(logFile);
        return status;
    }
    std::string root, display;
    pid_t xvfb = -1;
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
