// The real zolvex-studio on a real X server (Xvfb): it opens its window, a second
// start hands over to the first and ends, a lock left by a killed studio does not stop
// the next, and a screenshot of the main window is written under out/.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "tests/support/Command.h"

using namespace zolvex::testsupport;

namespace {

const std::string kTitle = "Zolvex Video Studio - Utitled";

std::string ReadText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Polls `probe` until it is true or `seconds` pass.
template <class Probe>
bool Within(double seconds, Probe probe)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < until) {
        if (probe())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

class StudioProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* tool : {"Xvfb", "xdotool", "xdpyinfo", "ffmpeg"})
            if (!HaveTool(tool))
                GTEST_SKIP() << tool << " is missing";
        char pattern[] = "/tmp/zolvex-studio-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        mkdir((root + "/run").c_str(), 0700);
        // A display of our own, not one another run holds.
        for (int n = 57; n < 99 && display.empty(); ++n)
            if (access(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), F_OK) != 0)
                display = ":" + std::to_string(n);
        ASSERT_FALSE(display.empty());
        // -noreset: the server would otherwise start itself over each time its last
        // client leaves (a studio killed outright), and refuse connections meanwhile.
        xvfb = Spawn("Xvfb " + display + " -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1");
        ASSERT_GT(xvfb, 0);
        ASSERT_TRUE(Within(10, [&] { return Run("xdpyinfo >/dev/null 2>&1") == 0; })) << "Xvfb did not start";
    }
    void TearDown() override
    {
        for (pid_t pid : studios)
            kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
        if (xvfb > 0)
            kill(xvfb, SIGTERM), waitpid(xvfb, nullptr, 0);
        if (!root.empty())
            std::system(("rm -rf '" + root + "'").c_str());
    }

    std::string Env() const
    {
        return "env DISPLAY=" + display + " QT_QPA_PLATFORM=xcb ZOLVEX_DATA_DIR=" + Quote(root + "/Data") +
               " XDG_CONFIG_HOME=" + Quote(root + "/config") + " XDG_RUNTIME_DIR=" + Quote(root + "/run") + " ";
    }
    int Run(const std::string& command) const
    {
        int status = -1;
        Capture("DISPLAY=" + display + " " + command, &status);
        return status;
    }
    pid_t Start(const std::string& log)
    {
        const pid_t pid = Spawn(Env() + ZOLVEX_STUDIO + std::string(" 2>") + Quote(log));
        studios.insert(pid);
        return pid;
    }
    std::set<std::string> Windows() const
    {
        std::set<std::string> ids;
        std::istringstream lines(Capture("DISPLAY=" + display + " xdotool search --name " + Quote("^" + kTitle + "$") +
                                         " 2>/dev/null"));
        for (std::string id; std::getline(lines, id);)
            if (!id.empty() && Capture("DISPLAY=" + display + " xdotool getwindowname " + id) == kTitle + "\n")
                ids.insert(id);
        return ids;
    }

    std::string root, display;
    pid_t xvfb = -1;
    std::set<pid_t> studios;
};

}  // namespace

TEST_F(StudioProgramTest, OneWindowPerUserAndAScreenshot)
{
    const pid_t first = Start(root + "/first.log");
    ASSERT_TRUE(Within(20, [&] { return Windows().size() == 1; })) << ReadText(root + "/first.log");

    // The main window on the screen, written where a person can look at it.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const std::string out = std::string(ZOLVEX_SOURCE_DIR) + "/out";
    mkdir(out.c_str(), 0755);
    const std::string shot = out + "/studio-main-window.png";
    ASSERT_EQ(Run("ffmpeg -v error -y -f x11grab -video_size 1280x800 -i " + display + " -frames:v 1 " + Quote(shot)),
              0);
    QImage image(QString::fromStdString(shot));
    ASSERT_FALSE(image.isNull());
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 7)
        for (int x = 0; x < image.width(); x += 7)
            colours.insert(image.pixel(x, y));
    EXPECT_GT(colours.size(), 20u) << "the screenshot is not blank";

    // A second start asks the first to come forward and ends at once.
    int status = -1;
    const pid_t second = Start(root + "/second.log");
    ASSERT_TRUE(WaitFor(second, 10, &status)) << "the second start did not end";
    studios.erase(second);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadText(root + "/second.log");
    // The first studio answers from its event loop, which a loaded machine may hold up.
    EXPECT_TRUE(Within(15, [&] {
        return ReadText(root + "/first.log").find("another start asked for this window") != std::string::npos;
    })) << ReadText(root + "/first.log");
    EXPECT_EQ(Windows().size(), 1u);

    // A studio killed outright leaves its lock; the next start opens all the same.
    kill(first, SIGKILL);
    waitpid(first, nullptr, 0);
    studios.erase(first);
    ASSERT_TRUE(Within(5, [&] { return Windows().empty(); }));
    const pid_t third = Start(root + "/third.log");
    EXPECT_TRUE(Within(20, [&] { return Windows().size() == 1; })) << ReadText(root + "/third.log");
    EXPECT_EQ(waitpid(third, nullptr, WNOHANG), 0) << "still running";
}
