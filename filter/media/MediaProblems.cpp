#include "filter/media/MediaProblems.h"

namespace zolvex {

void MediaProblemList::Add(const char* path, const std::string& why)
{
    const std::string name = path ? path : "";
    std::string reason = why;
    const std::string prefix = name + ": ";
    if (!name.empty() && reason.compare(0, prefix.size(), prefix) == 0)
        reason.erase(0, prefix.size());
    if (reason.empty())
        reason = "cannot be used";
    std::lock_guard<std::mutex> lock(mutex_);
    for (const MediaProblem& p : items_)
        if (p.path == name)
            return;
    items_.push_back({name, reason});
}

std::vector<MediaProblem> MediaProblemList::Items() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return items_;
}

size_t MediaProblemList::Count() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return items_.size();
}

void MediaProblemList::Clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    items_.clear();
}

}  // namespace zolvex
