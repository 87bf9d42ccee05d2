#include "platform/ReplacingFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace zolvex {

bool ReplacingFile::Open(const std::string& target)
{
    return Create(target, target + ".XXXXXX", 0);
}

bool ReplacingFile::OpenHidden(const std::string& target, const std::string& prefix, const std::string& suffix)
{
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "./" : target.substr(0, slash + 1);
    return Create(target, folder + prefix + "XXXXXX" + suffix, int(suffix.size()));
}

bool ReplacingFile::Create(const std::string& target, std::string pattern, int suffixLength)
{
    Abandon();
    const int fd = mkostemps(&pattern[0], suffixLength, O_CLOEXEC);
    if (fd < 0)
        return false;
    // mkostemps makes the file private to its owner; the finished file is an ordinary one.
    fchmod(fd, 0644);
    target_ = target;
    temp_ = pattern;
    fd_ = fd;
    error_ = 0;
    return true;
}

bool ReplacingFile::Write(const void* data, size_t n)
{
    return WriteAll(data, n, [this](const char* p, size_t k, off_t) { return write(fd_, p, k); });
}

bool ReplacingFile::WriteAt(off_t at, const void* data, size_t n)
{
    return WriteAll(data, n, [this, at](const char* p, size_t k, off_t done) { return pwrite(fd_, p, k, at + done); });
}

// Hands the bytes to `put` until all are written, retrying interrupted calls.
template <class Put>
bool ReplacingFile::WriteAll(const void* data, size_t n, Put put)
{
    if (fd_ < 0 && !error_)
        error_ = EBADF;
    const char* p = static_cast<const char*>(data);
    off_t done = 0;
    while (!error_ && n) {
        const ssize_t k = put(p, n, done);
        if (k < 0 && errno == EINTR)
            continue;
        if (k <= 0) {
            error_ = k < 0 ? errno : EIO;
            break;
        }
        p += k;
        n -= size_t(k);
        done += k;
    }
    if (error_)
        errno = error_;
    return !error_;
}

bool ReplacingFile::Commit()
{
    if (fd_ < 0) {
        errno = EBADF;
        return false;
    }
    int error = error_;
    if (!error && fsync(fd_) != 0)
        error = errno;
    if (close(fd_) != 0 && !error)
        error = errno;
    fd_ = -1;
    if (!error && std::rename(temp_.c_str(), target_.c_str()) != 0)
        error = errno;
    if (!error) {
        temp_.clear();
        SyncFolder();
        return true;
    }
    Abandon();
    errno = error;
    return false;
}

void ReplacingFile::Abandon()
{
    const int saved = errno;
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        unlink(temp_.c_str());
        temp_.clear();
    }
    errno = saved;
}

// The rename itself reaches the disk only with the folder.
void ReplacingFile::SyncFolder() const
{
    const size_t slash = target_.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target_.substr(0, slash + 1);
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
}

}  // namespace zolvex
