#include "platform/ReadFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace zolvex {

namespace {

bool Refuse(std::string* why, const std::string& reason, std::vector<unsigned char>& bytes)
{
    bytes.clear();
    if (why)
        *why = reason;
    return false;
}

std::string ErrnoText(int error) { return error == ENOENT ? "no such file" : std::strerror(error); }

}  // namespace

bool ReadRegularFile(const char* path, uint64_t maxBytes, std::vector<unsigned char>& bytes, std::string* why)
{
    bytes.clear();
    if (!path || !*path)
        return Refuse(why, "no file name", bytes);
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return Refuse(why, errno == EISDIR ? "a folder, not a file" : ErrnoText(errno), bytes);
    struct stat st;
    std::string problem;
    if (fstat(fd, &st) != 0)
        problem = ErrnoText(errno);
    else if (S_ISDIR(st.st_mode))
        problem = "a folder, not a file";
    else if (!S_ISREG(st.st_mode))
        problem = "not a regular file";
    else if (uint64_t(st.st_size) > maxBytes)
        problem = "the file is too large (" + std::to_string(st.st_size) + " bytes, at most " +
                  std::to_string(maxBytes) + ")";
    if (problem.empty()) {
        try {
            bytes.resize(size_t(st.st_size));
        } catch (const std::bad_alloc&) {
            problem = "not enough memory to read it";
        }
    }
    size_t got = 0;
    while (problem.empty() && got < bytes.size()) {
        const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            problem = std::strerror(errno);
        if (n <= 0)
            break;
        got += size_t(n);
    }
    close(fd);
    if (!problem.empty())
        return Refuse(why, problem, bytes);
    bytes.resize(got);
    return true;
}

}  // namespace zolvex
