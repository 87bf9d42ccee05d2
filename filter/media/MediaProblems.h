// The media files a render could not use, each named once with why. A render goes on
// without them (a black scene, silence), so that what can be made is made; the list
// is how the caller learns that the result is not the whole project.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/Export.h"

namespace zolvex {

struct MediaProblem {
    std::string path;
    std::string why;  // "no such file", "Invalid data found when processing input" …
};

// Shared by the streaming threads that find the problems and the caller that reads them.
class ZVF_API MediaProblemList {
public:
    // Lists the file unless it is listed already. A reason that starts by naming the
    // file ("<path>: why", as the readers word their errors) is kept without the name.
    void Add(const char* path, const std::string& why);
    std::vector<MediaProblem> Items() const;
    size_t Count() const;
    void Clear();

private:
    mutable std::mutex mutex_;
    std::vector<MediaProblem> items_;
};

}  // namespace zolvex
