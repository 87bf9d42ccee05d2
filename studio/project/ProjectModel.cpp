#include "studio/project/ProjectModel.h"

#include <new>

#include "studio/project/ProjectLayouts.h"

namespace zolvex {
namespace studio {

namespace {
constexpr uint16_t kListBlock = 5;
}  // namespace

ProjectModel::ProjectModel()
    : recordList_(kListBlock), spans_(kListBlock), objects_(kListBlock), kinds_(kListBlock)
{
}

ProjectModel::~ProjectModel() { Clear(); }

bool ProjectModel::AppendScene(const MediaItem& item, MediaThumbnail thumbnail, const SceneRecord& record,
                               const SceneSpan& span, int32_t mark)
{
    std::shared_ptr<MediaItem> ownItem(new (std::nothrow) MediaItem(item));
    std::shared_ptr<SceneRecord> ownRecord(new (std::nothrow) SceneRecord(record));
    std::shared_ptr<const MediaThumbnail> ownThumbnail(new (std::nothrow) MediaThumbnail(std::move(thumbnail)));
    if (!ownItem || !ownRecord || !ownThumbnail)
        return false;
    if (recordList_.Add(ownRecord.get()) < 0)
        return false;
    if (spans_.Add(span) < 0) {
        recordList_.RemoveAt(uint32_t(recordList_.GetSize() - 1));
        return false;
    }
    items_.push_back(std::move(ownItem));
    thumbnails_.push_back(std::move(ownThumbnail));
    records_.push_back(std::move(ownRecord));
    sceneMarks_.push_back(mark);
    RecomputeLength();
    return true;
}

bool ProjectModel::AppendObject(int32_t kind, void* record, int32_t mark)
{
    if (!record || !FindObjectKind(kind)) {
        FreeObjectRecord(kind, record);
        return false;
    }
    if (objects_.Add(record) < 0) {
        FreeObjectRecord(kind, record);
        return false;
    }
    if (kinds_.Add(kind) < 0) {
        objects_.RemoveAt(uint32_t(objects_.GetSize() - 1));
        FreeObjectRecord(kind, record);
        return false;
    }
    objectMarks_.push_back(mark);
    return true;
}

void ProjectModel::Clear()
{
    for (int i = 0; i < objects_.GetSize(); ++i)
        FreeObjectRecord(kinds_.GetAt(uint32_t(i)), objects_.GetAt(uint32_t(i)));
    objects_.RemoveAll();
    kinds_.RemoveAll();
    objectMarks_.clear();
    recordList_.RemoveAll();
    spans_.RemoveAll();
    items_.clear();
    thumbnails_.clear();
    records_.clear();
    sceneMarks_.clear();
    totalLength_ = 0.0;
}

TimelineSnapshot::~TimelineSnapshot()
{
    for (size_t i = 0; i < objects_.size(); ++i)
        FreeObjectRecord(kinds_[i], objects_[i]);
}

bool ProjectModel::TakeSnapshot(TimelineSnapshot& s)
{
    TimelineSnapshot fresh;
    try {
        fresh.items_ = items_;
        fresh.thumbnails_ = thumbnails_;
        fresh.records_ = records_;
        fresh.sceneMarks_ = sceneMarks_;
        for (int i = 0; i < spans_.GetSize(); ++i)
            fresh.spans_.push_back(spans_.GetAt(uint32_t(i)));
        fresh.objectMarks_ = objectMarks_;
        fresh.objects_.reserve(size_t(objects_.GetSize()));
        for (int i = 0; i < objects_.GetSize(); ++i) {
            const int32_t kind = kinds_.GetAt(uint32_t(i));
            void* copy = CopyObjectRecord(kind, objects_.GetAt(uint32_t(i)));
            if (!copy)
                return false;
            fresh.objects_.push_back(copy);
            fresh.kinds_.push_back(kind);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    // The old content goes with `fresh`.
    std::swap(s.items_, fresh.items_);
    std::swap(s.thumbnails_, fresh.thumbnails_);
    std::swap(s.records_, fresh.records_);
    std::swap(s.sceneMarks_, fresh.sceneMarks_);
    std::swap(s.spans_, fresh.spans_);
    std::swap(s.objects_, fresh.objects_);
    std::swap(s.kinds_, fresh.kinds_);
    std::swap(s.objectMarks_, fresh.objectMarks_);
    return true;
}

bool ProjectModel::RestoreSnapshot(const TimelineSnapshot& s)
{
    // Every object copied first, so that a failure leaves the timeline as it was.
    std::vector<void*> copies;
    for (size_t i = 0; i < s.objects_.size(); ++i) {
        void* copy = CopyObjectRecord(s.kinds_[i], s.objects_[i]);
        if (!copy) {
            for (size_t k = 0; k < copies.size(); ++k)
                FreeObjectRecord(s.kinds_[k], copies[k]);
            return false;
        }
        copies.push_back(copy);
    }
    Clear();
    items_ = s.items_;
    thumbnails_ = s.thumbnails_;
    records_ = s.records_;
    sceneMarks_ = s.sceneMarks_;
    for (size_t i = 0; i < s.spans_.size(); ++i) {
        recordList_.Add(records_[i].get());
        spans_.Add(s.spans_[i]);
    }
    for (size_t i = 0; i < copies.size(); ++i) {
        objects_.Add(copies[i]);
        kinds_.Add(s.kinds_[i]);
    }
    objectMarks_ = s.objectMarks_;
    RecomputeLength();
    return true;
}

TimelineLists ProjectModel::Lists()
{
    TimelineLists lists;
    lists.pScenes = &recordList_;
    lists.pSpans = &spans_;
    lists.pObjects = &objects_;
    lists.pKinds = &kinds_;
    return lists;
}

void ProjectModel::RecomputeLength()
{
    double total = 0.0;
    for (int i = 0; i < spans_.GetSize(); ++i) {
        const SceneSpan s = spans_.GetAt(uint32_t(i));
        total += s.dOut - s.dIn;
    }
    totalLength_ = total;
}

}  // namespace studio
}  // namespace zolvex
