// The real zolvex-studio on a display of its own (Xvfb) with the demo project in a
// scratch folder, driven through its accessible names by tests/ui/studio-session.sh.
// A fixture for the program tests: SetUp skips when a tool is missing.
#pragma once

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

#include "tests/support/Command.h"

namespace zolvex {
namespace testsupport {

inline std::string ReadText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class DemoStudioTest : public ::testing::Test {
protected:
    // Each program test takes displays from its own range, apart from the others'.
    DemoStudioTest(int firstDisplay, int lastDisplay) : first_(firstDisplay), last_(lastDisplay) {}

    void SetUp() override
    {
        for (const char* tool : {"Xvfb", "xdotool", "xdpyinfo", "ffmpeg", "dbus-run-session"})
            if (!HaveTool(tool))
                GTEST_SKIP() << tool << " is missing";
        if (access("/usr/libexec/at-spi-bus-launcher", X_OK) != 0 ||
            std::system("/usr/bin/python3 -c 'import pyatspi' 2>/dev/null") != 0)
            GTEST_SKIP() << "AT-SPI (at-spi2-core, python3-pyatspi) is missing";
        char pattern[] = "/tmp/zolvex-demo-studio-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        mkdir((root + "/run").c_str(), 0700);
        // A display that is free, served by an Xvfb that answers; one that another
        // program took meanwhile (its server exits at once) gives way to the next.
        for (int n = first_; n < last_ && display.empty(); ++n) {
            if (access(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), F_OK) == 0)
                continue;
            display = ":" + std::to_string(n);
            ASSERT_TRUE(StartXvfb());
            bool answers = false, ended = false;
            // A loaded machine (the sanitizer builds run beside) may take its time.
            for (int i = 0; i < 300 && !answers && !ended; ++i) {
                answers = Run("xdpyinfo >/dev/null 2>&1") == 0;
                ended = !answers && waitpid(xvfb, nullptr, WNOHANG) == xvfb;
                if (!answers && !ended)
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            if (!answers) {
                if (!ended)
                    kill(xvfb, SIGTERM), waitpid(xvfb, nullptr, 0);
                xvfb = -1;
                display.clear();
            }
        }
        ASSERT_FALSE(display.empty()) << "no Xvfb answered on displays " << first_ << " to " << last_ - 1;
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
    // One studio session on the demo project with its steps; the exit status of the
    // steps, with what the session and the studio said in *log.
    int Session(const std::string& shot, const std::string& steps, std::string* log)
    {
        // A server that went away since (seen once on a loaded machine) is started anew.
        if (Run("xdpyinfo >/dev/null 2>&1") != 0) {
            if (xvfb > 0)
                kill(xvfb, SIGTERM), waitpid(xvfb, nullptr, 0);
            if (!StartXvfb())
                return -1;
            for (int i = 0; i < 300 && Run("xdpyinfo >/dev/null 2>&1") != 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        const std::string logFile = root + "/studio.log";
        int status = -1;
        const std::string out =
            Capture("env DISPLAY=" + display + " ZOLVEX_DATA_DIR=" + Quote(root + "/Data") + " XDG_CONFIG_HOME=" +
                        Quote(root + "/config") + " XDG_RUNTIME_DIR=" + Quote(root + "/run") +
                        " XDG_DOCUMENTS_DIR=" + Quote(root + "/Documents") + " ZOLVEX_AUDIO_SINK=fake" +
                        " timeout 150 dbus-run-session -- " +
                        Quote(std::string(ZOLVEX_SOURCE_DIR) + "/tests/ui/studio-session.sh") + " " +
                        Quote(ZOLVEX_STUDIO) + " Demo " + Quote(shot) + " " + Quote(logFile) + " " + steps + " 2>&1",
                    &status);
        *log = out + ReadText(logFile);
        if (status != 0)
            *log += "Xvfb said: " + ReadText(root + "/xvfb.log");
        return status;
    }

    // Xvfb on `display`, saying what it says into the scratch folder.
    bool StartXvfb()
    {
        // -noreset: the server would otherwise start itself over each time its last
        // client leaves (a studio killed outright), and refuse connections meanwhile.
        xvfb = Spawn("Xvfb " + display + " -screen 0 1280x800x24 -nolisten tcp -noreset >>" + Quote(root + "/xvfb.log") +
                     " 2>&1");
        return xvfb > 0;
    }

    std::string root, display;
    pid_t xvfb = -1;

private:
    int first_, last_;
};

}  // namespace testsupport
}  // namespace zolvex
