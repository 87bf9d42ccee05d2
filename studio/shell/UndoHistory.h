// The timeline's undo history: snapshots of the timeline, the newest last, and the
// one the timeline shows now. An edit pushes the new state (a history's first push
// puts the empty timeline before it, so the first edit of a new project can be
// undone); Undo and Redo step along it and push nothing.
#pragma once

#include <memory>
#include <vector>

#include "studio/project/ProjectModel.h"

namespace zolvex {
namespace studio {

class UndoHistory : public IUndoHistory {
public:
    explicit UndoHistory(ProjectModel& model);
    ~UndoHistory() override;

    // After an edit: drops the steps past the current one and adds the timeline as it
    // stands; false when out of memory (the history is then as before).
    bool Push();
    // Each true when it changed the timeline (and set the modified flag).
    bool Undo();
    bool Redo();

    // The states of the Undo and Redo buttons.
    bool UndoEnabled() const;
    bool RedoEnabled() const;
    int Index() const { return index_; }
    size_t Size() const { return entries_.size(); }

    // IUndoHistory
    void Clear() override;
    void StartAfresh() override;

private:
    bool StepTo(int index);

    ProjectModel& model_;
    std::vector<std::unique_ptr<TimelineSnapshot>> entries_;
    int index_ = -1;
};

}  // namespace studio
}  // namespace zolvex
