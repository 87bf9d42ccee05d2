// The real zolvex-studio on Xvfb, driven through its accessible names: the demo
// project edited (two titles), the autosave waited for, the studio killed outright;
// the next start asks about the copy, Yes brings the edits back, File > Save Project
// saves them, and the saved ".mpf" holds every edit. The project's own file is
// untouched until that save, and the copy is gone after it. A screenshot of the
// recovery question is written under out/.
#include <gtest/gtest.h>

#include <dirent.h>
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
#include "platform/ReadFile.h"
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

std::vector<unsigned char> ReadBytes(const std::string& path)
{
    std::vector<unsigned char> bytes;
    ReadRegularFile(path.c_str(), uint64_t(1) << 30, bytes);
    return bytes;
}

// The names in a folder that end in `ending`.
std::vector<std::string> Files(const std::string& folder, const std::string& ending)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            if (name.size() > ending.size() && name.compare(name.size() - ending.size(), ending.size(), ending) == 0)
                names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

// The title texts of a project, in timeline order.
std::vector<std::string> Titles(ProjectModel& model)
{
    std::vector<std::string> titles;
    for (int i = 0; i < model.ObjectCount(); ++i)
        if (model.Kind(i) == OBJ_TEXT)
            titles.push_back(static_cast<TextOp*>(model.Object(i))->szText);
    return titles;
}

class RecoveryProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* tool : {"Xvfb", "xdotool", "xdpyinfo", "ffmpeg", "dbus-run-session"})
            if (!HaveTool(tool))
                GTEST_SKIP() << tool << " is missing";
        if (access("/usr/libexec/at-spi-bus-launcher", X_OK) != 0 ||
            std::system("/usr/bin/python3 -c 'import pyatspi' 2>/dev/null") != 0)
            GTEST_SKIP() << "AT-SPI (at-spi2-core, python3-pyatspi) is missing";
        char pattern[] = "/tmp/zolvex-recovery-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        mkdir((root + "/run").c_str(), 0700);
        // Displays of our own, apart from those of the other program tests.
        for (int n = 20; n < 40 && display.empty(); ++n)
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
                        " timeout 150 dbus-run-session -- " +
                        Quote(std::string(ZOLVEX_SOURCE_DIR) + "/tests/ui/studio-session.sh") + " " +
                        Quote(ZOLVEX_STUDIO) + " Demo " + Quote(shot) + " " + Quote(logFile) + " " + steps + " 2>&1",
                    &status);
        *log = out + ReadText(logFile);
        return status;
    }
    std::string root, display;
    pid_t xvfb = -1;
};

}  // namespace

TEST_F(RecoveryProgramTest, EditsOfAKilledStudioComeBackAndSave)
{
    const std::string project = root + "/Data/Demo/Demo.mpf";
    const std::string autosaves = root + "/Data/Autosave/";
    const std::vector<unsigned char> original = ReadBytes(project);
    ProjectModel before;
    ASSERT_TRUE(ProjectStore::Parse(original, before));
    const std::vector<std::string> titlesBefore = Titles(before);

    // Edited, then killed once the edits are in the autosave (a few seconds after
    // the last one; the loaded project is busy for two seconds, each edit for half).
    std::string log;
    ASSERT_EQ(Session(root + "/unused.png",
                      "wait:3 tab:Text 'type:text=Saved by the autosave' 'press:Add to Timeline' wait:1 "
                      "'press:Add to Timeline' wait:6 autosaved crash",
                      &log),
              0)
        << log;
    EXPECT_EQ(ReadBytes(project), original) << "the project's own file is only written by a save";
    const std::vector<std::string> copies = Files(autosaves, ".mpf");
    ASSERT_EQ(copies.size(), 1u) << log;
    EXPECT_EQ(copies[0], "Demo.mpf");
    ProjectModel copy;
    ASSERT_TRUE(ProjectStore::Parse(ReadBytes(autosaves + copies[0]), copy));
    ASSERT_EQ(copy.ObjectCount(), before.ObjectCount() + 2) << "the copy holds the last edit";

    // The next start asks; Yes, then Ctrl+S saves.
    const std::string out = std::string(ZOLVEX_SOURCE_DIR) + "/out";
    mkdir(out.c_str(), 0755);
    const std::string shot = out + "/studio-recovery-question.png";
    ASSERT_EQ(Session(shot,
                      "wait:2 shot press:Yes wait:3 key:ctrl+s wait:2",
                      &log),
              0)
        << log;
    EXPECT_NE(log.find("\"Demo\" restored from its autosave"), std::string::npos) << log;

    ProjectModel saved;
    ProjectStore store(saved);
    ASSERT_EQ(store.LoadProjectFile(project), 1) << store.LastError();
    ASSERT_EQ(saved.SceneCount(), before.SceneCount());
    ASSERT_EQ(saved.ObjectCount(), before.ObjectCount() + 2) << log;
    std::vector<std::string> titles = titlesBefore;
    titles.push_back("Saved by the autosave");
    titles.push_back("Saved by the autosave");
    EXPECT_EQ(Titles(saved), titles);
    EXPECT_EQ(ProjectStore::Serialise(saved, 1.0f, 1.0f), ProjectStore::Serialise(copy, 1.0f, 1.0f));
    EXPECT_TRUE(Files(autosaves, ".mpf").empty()) << "the save removed the copy";
    EXPECT_TRUE(Files(autosaves, ".info").empty());

    // The question as it was on the screen.
    struct stat st;
    ASSERT_EQ(stat(shot.c_str(), &st), 0);
    EXPECT_GT(st.st_size, 20000);
}
