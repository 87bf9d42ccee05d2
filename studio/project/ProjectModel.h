// The project as the studio's timeline keeps it: the header, the scenes as four
// parallel lists (media item, thumbnail, scene record, span) with their marks, and
// the timeline objects with their kinds and marks. The model owns every record; the
// scene-record, span, object and kind lists are the ones handed to the filter.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "filter/timeline/model/TimelineLists.h"
#include "studio/project/ProjectRecords.h"

namespace zolvex {
namespace studio {

// The undo history lives with timeline editing; the model only tells it when a
// project replaces what it held.
class IUndoHistory {
public:
    virtual ~IUndoHistory() = default;
    // Forget every entry (the timeline is about to be cleared).
    virtual void Clear() = 0;
    // Start afresh after a load: an empty timeline and the loaded state.
    virtual void StartAfresh() = 0;
};

// The timeline as one undo step keeps it: the media items, thumbnails and scene
// records shared with the timeline (they never change once a scene is made), the
// spans, marks and kinds copied, and each object a copy of its own.
class TimelineSnapshot {
public:
    TimelineSnapshot() = default;
    ~TimelineSnapshot();
    TimelineSnapshot(const TimelineSnapshot&) = delete;
    TimelineSnapshot& operator=(const TimelineSnapshot&) = delete;

    int SceneCount() const { return int(items_.size()); }
    int ObjectCount() const { return int(objects_.size()); }
    const SceneSpan& Span(int i) const { return spans_[size_t(i)]; }
    int32_t Kind(int i) const { return kinds_[size_t(i)]; }
    const void* Object(int i) const { return objects_[size_t(i)]; }

private:
    friend class ProjectModel;
    std::vector<std::shared_ptr<MediaItem>> items_;
    std::vector<std::shared_ptr<const MediaThumbnail>> thumbnails_;
    std::vector<std::shared_ptr<SceneRecord>> records_;
    std::vector<int32_t> sceneMarks_;
    std::vector<SceneSpan> spans_;
    std::vector<void*> objects_;  // owned: freed with the snapshot
    std::vector<int32_t> kinds_;
    std::vector<int32_t> objectMarks_;
};

class ProjectModel {
public:
    ProjectModel();
    ~ProjectModel();
    ProjectModel(const ProjectModel&) = delete;
    ProjectModel& operator=(const ProjectModel&) = delete;

    std::string name;  // empty until the project is first saved or created
    ProjectHeader header;

    // Scenes.
    int SceneCount() const { return int(items_.size()); }
    const MediaItem& Item(int i) const { return *items_[size_t(i)]; }
    const MediaThumbnail& Thumbnail(int i) const { return *thumbnails_[size_t(i)]; }
    SceneRecord& Record(int i) { return *records_[size_t(i)]; }
    const SceneRecord& Record(int i) const { return *records_[size_t(i)]; }
    SceneSpan Span(int i) { return spans_.GetAt(uint32_t(i)); }
    int32_t SceneMark(int i) const { return sceneMarks_[size_t(i)]; }
    // False when out of memory; nothing is added then.
    bool AppendScene(const MediaItem& item, MediaThumbnail thumbnail, const SceneRecord& record,
                     const SceneSpan& span, int32_t mark);
    void SetSceneMark(int i, int32_t mark) { sceneMarks_[size_t(i)] = mark; }
    // A scene's span (its in and out within the source; the record keeps its own).
    void SetSpan(int i, const SceneSpan& span) { spans_.SetAt(uint32_t(i), span); }
    // The scene at `from`, with every entry of its own, moved to `to`.
    void MoveScene(int from, int to);
    // Takes the scene out; its records stay with whoever else holds them.
    void RemoveScene(int i);
    // A copy of scene i's item, thumbnail and record, owned by the project, inserted
    // after it with `span` and mark 0; false when out of memory.
    bool InsertSceneCopy(int i, const SceneSpan& span);

    // (The lists move their read cursor, so even reading them is not const.)
    // Timeline objects. AppendObject takes ownership of the record (freed with the
    // model, or at once when it cannot be added).
    int ObjectCount() const { return objects_.GetSize(); }
    int32_t Kind(int i) { return kinds_.GetAt(uint32_t(i)); }
    void* Object(int i) { return objects_.GetAt(uint32_t(i)); }
    int32_t ObjectMark(int i) const { return objectMarks_[size_t(i)]; }
    bool AppendObject(int32_t kind, void* record, int32_t mark);
    void SetObjectMark(int i, int32_t mark) { objectMarks_[size_t(i)] = mark; }
    // The object at `from` with its kind and mark moved to `to`.
    void MoveObject(int from, int to);
    // Frees the object's record and takes it out.
    void RemoveObject(int i);
    // Every scene and object mark cleared.
    void ClearMarks();

    // Empties every list and frees every record.
    void Clear();

    // The timeline as it stands, for the undo history; false when out of memory.
    bool TakeSnapshot(TimelineSnapshot& snapshot);
    // Replaces the timeline by copies of the snapshot's (which stays as it is).
    bool RestoreSnapshot(const TimelineSnapshot& snapshot);

    // The lists the filter renders from (valid until the next change).
    TimelineLists Lists();

    // Sum of the scene spans' lengths, recomputed after each change.
    double TotalLength() const { return totalLength_; }
    void RecomputeLength();

    double dMarkIn = 0.0, dMarkOut = 0.0;
    bool bMarkInSet = false, bMarkOutSet = false;
    bool bModified = false;
    // Counts every change to the timeline (edits, undo, redo, page edits), so that
    // whoever keeps a copy (the autosave) can tell it is out of date.
    uint64_t nChanges = 0;
    // Read and cleared by the busy timer's thread as well.
    std::atomic<bool> bBusy{false};
    IUndoHistory* undo = nullptr;

private:
    std::vector<std::shared_ptr<MediaItem>> items_;
    std::vector<std::shared_ptr<const MediaThumbnail>> thumbnails_;
    std::vector<std::shared_ptr<SceneRecord>> records_;
    std::vector<int32_t> sceneMarks_;
    SceneList recordList_;
    SpanList spans_;
    ObjectList objects_;
    KindList kinds_;
    std::vector<int32_t> objectMarks_;
    double totalLength_ = 0.0;
};

}  // namespace studio
}  // namespace zolvex
