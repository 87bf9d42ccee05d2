#include "studio/project/DataFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace zolvex {
namespace studio {

namespace {

bool IsFolder(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string WithSlash(std::string path)
{
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

std::string ProgramFolder()
{
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return std::string();
    const std::string exe(buffer, size_t(n));
    const size_t slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
}

// The folder made or found, with a final "/"; empty when it cannot be made.
std::string Ready(const std::string& path) { return MakeFolders(path) ? WithSlash(path) : std::string(); }

}  // namespace

bool MakeFolders(const std::string& path)
{
    if (path.empty())
        return false;
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/')
            continue;
        const std::string part = path.substr(0, at);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    return IsFolder(path);
}

std::string DefaultMovieFolder(const std::string& documents)
{
    // The folder keeps the name the studio has always given it, spelling and all.
    return documents.empty() ? std::string() : Ready(WithSlash(documents) + "Zolvex Video Studio/Moive Output");
}

std::string DataFolder()
{
    if (const char* dir = std::getenv("ZOLVEX_DATA_DIR"); dir && *dir)
        return Ready(dir);
    const std::string program = ProgramFolder();
    if (!program.empty()) {
        const std::string data = program + "Data";
        if (IsFolder(data) ? access(data.c_str(), W_OK) == 0 : access(program.c_str(), W_OK) == 0)
            if (std::string ready = Ready(data); !ready.empty())
                return ready;
    }
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.local/share";
    else
        return std::string();
    return Ready(WithSlash(base) + "zolvex-video-studio/Data");
}

}  // namespace studio
}  // namespace zolvex
