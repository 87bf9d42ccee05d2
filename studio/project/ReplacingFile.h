// A file that holds user work, rewritten whole: the new bytes go to a fresh file
// beside the old one, which takes the old one's place by a rename only once it is
// complete and on disk. A crash or a full disk leaves the previous file as it was.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace zolvex {
namespace studio {

class ReplacingFile {
public:
    ReplacingFile() = default;
    ~ReplacingFile() { Abandon(); }
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the fresh file next to `target`.
    bool Open(const std::string& target)
    {
        Abandon();
        target_ = target;
        temp_ = target + ".XXXXXX";
        fd_ = mkostemp(&temp_[0], O_CLOEXEC);
        if (fd_ < 0)
            return false;
        fchmod(fd_, 0644);
        failed_ = false;
        return true;
    }

    bool Write(const void* data, size_t n)
    {
        return WriteAll(data, n, [this](const char* p, size_t k, off_t) { return write(fd_, p, k); });
    }

    // Overwrites bytes already written (a count known only at the end).
    bool WriteAt(off_t at, const void* data, size_t n)
    {
        return WriteAll(data, n,
                        [this, at](const char* p, size_t k, off_t done) { return pwrite(fd_, p, k, at + done); });
    }

    // Flushes the file to disk and renames it over the target; on any failure the
    // fresh file is removed and the target is left untouched.
    bool Commit()
    {
        if (fd_ < 0)
            return false;
        bool ok = !failed_ && fsync(fd_) == 0;
        ok = close(fd_) == 0 && ok;
        fd_ = -1;
        if (ok && std::rename(temp_.c_str(), target_.c_str()) == 0) {
            SyncFolder();
            temp_.clear();
            return true;
        }
        unlink(temp_.c_str());
        temp_.clear();
        return false;
    }

private:
    // Hands the bytes to `put` until all are written, retrying interrupted calls.
    template <class Put>
    bool WriteAll(const void* data, size_t n, Put put)
    {
        const char* p = static_cast<const char*>(data);
        off_t done = 0;
        while (!failed_ && n) {
            const ssize_t k = put(p, n, done);
            if (k < 0 && errno == EINTR)
                continue;
            if (k <= 0) {
                failed_ = true;
                break;
            }
            p += k;
            n -= size_t(k);
            done += k;
        }
        return !failed_;
    }

    void Abandon()
    {
        if (fd_ >= 0) {
            close(fd_);
            fd_ = -1;
        }
        if (!temp_.empty()) {
            unlink(temp_.c_str());
            temp_.clear();
        }
    }

    // The rename itself reaches the disk only with the folder.
    void SyncFolder()
    {
        const size_t slash = target_.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : target_.substr(0, slash + 1);
        const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            fsync(dir);
            close(dir);
        }
    }

    std::string target_, temp_;
    int fd_ = -1;
    bool failed_ = false;
};

}  // namespace studio
}  // namespace zolvex
