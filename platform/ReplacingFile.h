// A file that holds user work, rewritten whole: the new bytes go to a fresh file
// beside the old one, which takes the old one's place by a rename only once it is
// complete and on disk. A crash or a full disk leaves the previous file as it was.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "platform/Export.h"

namespace zolvex {

class ZVF_API ReplacingFile {
public:
    ReplacingFile() = default;
    ~ReplacingFile() { Abandon(); }
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the fresh file next to `target`, as `target` plus six random characters.
    bool Open(const std::string& target);

    // Creates the fresh file in `target`'s folder as `prefix`, six random characters
    // and `suffix`: a leading dot hides it, and the suffix keeps the ending that
    // writers choosing their format by the name look at. For a writer of its own
    // that opens Path(); the file stays open here until Commit or Abandon, so the
    // name remains this run's.
    bool OpenHidden(const std::string& target, const std::string& prefix, const std::string& suffix);

    // The fresh file's path; empty when none is open.
    const std::string& Path() const { return temp_; }

    bool Write(const void* data, size_t n);

    // Overwrites bytes already written (a count known only at the end).
    bool WriteAt(off_t at, const void* data, size_t n);

    // Flushes the file to disk (whoever wrote its bytes), renames it over the target
    // and flushes the folder. On any failure the fresh file is removed, the target is
    // left untouched and errno tells why.
    bool Commit();

    // Removes the fresh file, if any; errno is kept.
    void Abandon();

private:
    bool Create(const std::string& target, std::string pattern, int suffixLength);
    template <class Put>
    bool WriteAll(const void* data, size_t n, Put put);
    void SyncFolder() const;

    std::string target_, temp_;
    int fd_ = -1;
    int error_ = 0;  // the first write's failure, reported again by Commit
};

}  // namespace zolvex
