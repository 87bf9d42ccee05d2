#include "studio/project/ProjectModel.h"

#include <algorithm>
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

namespace {

template <typename T>
void MoveEntry(std::vector<T>& v, int from, int to)
{
    T value = std::move(v[size_t(from)]);
    v.erase(v.begin() + from);
    v.insert(v.begin() + to, std::move(value));
}

template <typename T>
void MoveEntry(CTavmArray<T>& list, int from, int to)
{
    const T value = list.GetAt(uint32_t(from));
    list.RemoveAt(uint32_t(from));
    list.InsertAt(uint32_t(to), value);
}

}  // namespace

void ProjectModel::MoveScene(int from, int to)
{
    if (from == to || from < 0 || to < 0 || from >= SceneCount() || to >= SceneCount())
        return;
    MoveEntry(items_, from, to);
    MoveEntry(thumbnails_, from, to);
    MoveEntry(records_, from, to);
    MoveEntry(sceneMarks_, from, to);
    MoveEntry(recordList_, from, to);
    MoveEntry(spans_, from, to);
}

void ProjectModel::RemoveScene(int i)
{
    if (i < 0 || i >= SceneCount())
        return;
    items_.erase(items_.begin() + i);
    thumbnails_.erase(thumbnails_.begin() + i);
    records_.erase(records_.begin() + i);
    sceneMarks_.erase(sceneMarks_.begin() + i);
    recordList_.RemoveAt(uint32_t(i));
    spans_.RemoveAt(uint32_t(i));
    RecomputeLength();
}

bool ProjectModel::InsertSceneCopy(int i, const SceneSpan& span)
{
    if (i < 0 || i >= SceneCount())
        return false;
    std::shared_ptr<MediaItem> item(new (std::nothrow) MediaItem(*items_[size_t(i)]));
    std::shared_ptr<SceneRecord> record(new (std::nothrow) SceneRecord(*records_[size_t(i)]));
    std::shared_ptr<const MediaThumbnail> thumbnail;
    try {
        thumbnail = std::make_shared<const MediaThumbnail>(*thumbnails_[size_t(i)]);
        // Room first, so that the inserts below cannot fail half way.
        items_.reserve(items_.size() + 1);
        thumbnails_.reserve(thumbnails_.size() + 1);
        records_.reserve(records_.size() + 1);
        sceneMarks_.reserve(sceneMarks_.size() + 1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!item || !record)
        return false;
    record->bVideoOpen = record->bAudioOpen = 0;
    const uint32_t at = uint32_t(i + 1);
    if (recordList_.InsertAt(at, record.get()) < 0)
        return false;
    if (spans_.InsertAt(at, span) < 0) {
        recordList_.RemoveAt(at);
        return false;
    }
    items_.insert(items_.begin() + i + 1, std::move(item));
    thumbnails_.insert(thumbnails_.begin() + i + 1, std::move(thumbnail));
    records_.insert(records_.begin() + i + 1, std::move(record));
    sceneMarks_.insert(sceneMarks_.begin() + i + 1, 0);
    RecomputeLength();
    return true;
}

void ProjectModel::MoveObject(int from, int to)
{
    if (from == to || from < 0 || to < 0 || from >= ObjectCount() || to >= ObjectCount())
        return;
    MoveEntry(objects_, from, to);
    MoveEntry(kinds_, from, to);
    MoveEntry(objectMarks_, from, to);
}

void ProjectModel::RemoveObject(int i)
{
    if (i < 0 || i >= ObjectCount())
        return;
    FreeObjectRecord(kinds_.GetAt(uint32_t(i)), objects_.GetAt(uint32_t(i)));
    objects_.RemoveAt(uint32_t(i));
    kinds_.RemoveAt(uint32_t(i));
    objectMarks_.erase(objectMarks_.begin() + i);
}

void ProjectModel::ClearMarks()
{
    std::fill(sceneMarks_.begin(), sceneMarks_.end(), 0);
    std::fill(objectMarks_.begin(), objectMarks_.end(), 0);
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
