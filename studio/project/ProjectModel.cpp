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
    std::unique_ptr<MediaItem> ownItem(new (std::nothrow) MediaItem(item));
    std::unique_ptr<SceneRecord> ownRecord(new (std::nothrow) SceneRecord(record));
    if (!ownItem || !ownRecord)
        return false;
    if (recordList_.Add(ownRecord.get()) < 0)
        return false;
    if (spans_.Add(span) < 0) {
        recordList_.RemoveAt(uint32_t(recordList_.GetSize() - 1));
        return false;
    }
    items_.push_back(std::move(ownItem));
    thumbnails_.push_back(std::move(thumbnail));
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
