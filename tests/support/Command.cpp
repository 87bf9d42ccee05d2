#include "tests/support/Command.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "tools/common/SyntheticMovie.h"

extern char** environ;

namespace zolvex {
namespace testsupport {

std::string Quote(const std::string& text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::vector<unsigned char> CaptureBytes(const std::string& command, int* status)
{
    std::vector<unsigned char> out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        if (status)
            *status = -1;
        return out;
    }
    unsigned char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.insert(out.end(), buffer, buffer + n);
    const int raw = pclose(pipe);
    if (status)
        *status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

std::string Capture(const std::string& command, int* status)
{
    const std::vector<unsigned char> bytes = CaptureBytes(command, status);
    return std::string(bytes.begin(), bytes.end());
}

bool HaveTool(const std::string& tool)
{
    int status = 0;
    Capture("command -v " + Quote(tool) + " >/dev/null 2>&1", &status);
    return status == 0;
}

pid_t Spawn(const std::string& command)
{
    const std::string line = "exec " + command;
    const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
        return -1;
    return pid;
}

bool WaitFor(pid_t pid, double seconds, int* status)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < until) {
        if (waitpid(pid, status, WNOHANG) == pid)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(pid, SIGKILL);
    waitpid(pid, status, 0);
    return false;
}

std::vector<int> DecodedCounters(const std::string& path)
{
    constexpr int w = 160, h = 120;
    const std::vector<unsigned char> grey =
        CaptureBytes("ffmpeg -nostdin -v error -i " + Quote(path) +
                     " -map 0:v:0 -vsync passthrough -vf scale=160:120 -pix_fmt gray -f rawvideo -");
    std::vector<int> counters;
    for (size_t at = 0; at + w * h <= grey.size(); at += w * h)
        counters.push_back(testpic::ReadCounter(grey.data() + at, w, h));
    return counters;
}

}  // namespace testsupport
}  // namespace zolvex
