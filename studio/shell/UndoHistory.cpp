#include "studio/shell/UndoHistory.h"

#include <new>

namespace zolvex {
namespace studio {

UndoHistory::UndoHistory(ProjectModel& model) : model_(model) {}

UndoHistory::~UndoHistory() = default;

bool UndoHistory::Push()
{
    std::unique_ptr<TimelineSnapshot> now(new (std::nothrow) TimelineSnapshot);
    if (!now || !model_.TakeSnapshot(*now))
        return false;
    try {
        if (entries_.empty()) {
            entries_.push_back(std::make_unique<TimelineSnapshot>());  // the empty timeline
        } else {
            entries_.erase(entries_.begin() + index_ + 1, entries_.end());
        }
        entries_.push_back(std::move(now));
    } catch (const std::bad_alloc&) {
        return false;
    }
    index_ = int(entries_.size()) - 1;
    return true;
}

bool UndoHistory::StepTo(int index)
{
    if (index < 0 || index >= int(entries_.size()) || !model_.RestoreSnapshot(*entries_[size_t(index)]))
        return false;
    index_ = index;
    model_.bModified = true;
    return true;
}

bool UndoHistory::Undo() { return index_ > 0 && StepTo(index_ - 1); }

bool UndoHistory::Redo() { return index_ + 1 < int(entries_.size()) && StepTo(index_ + 1); }

bool UndoHistory::UndoEnabled() const
{
    const int last = int(entries_.size()) - 1;
    return index_ == last ? index_ >= 0 : index_ > 0;
}

bool UndoHistory::RedoEnabled() const { return index_ < int(entries_.size()) - 1; }

void UndoHistory::Clear()
{
    entries_.clear();
    index_ = -1;
}

void UndoHistory::StartAfresh()
{
    Clear();
    Push();
}

}  // namespace studio
}  // namespace zolvex
