// Media, pictures and projects are read only from regular files with something in
// them. A FIFO, a device or a folder under such a name would block a reader for ever
// or feed it bytes that never end, so it is refused by name before anything opens it.
#pragma once

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace zolvex {

// Why `path` cannot be read as a file of data, or "" when it can.
inline std::string RegularFileProblem(const char* path)
{
    if (!path || !*path)
        return "no file name";
    struct stat st;
    if (::stat(path, &st) != 0)
        return errno == ENOENT ? "no such file" : std::strerror(errno);
    if (S_ISDIR(st.st_mode))
        return "a folder, not a file";
    if (!S_ISREG(st.st_mode))
        return "not a regular file";
    if (st.st_size == 0)
        return "the file is empty";
    return std::string();
}

// A fixed path field of a timeline record: terminated, and naming a file of data.
inline bool PathFieldNamesData(const char (&path)[260])
{
    return std::memchr(path, 0, sizeof path) && RegularFileProblem(path).empty();
}

}  // namespace zolvex
