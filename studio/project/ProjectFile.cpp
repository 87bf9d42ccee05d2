#include "studio/project/ProjectFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include "filter/common/ByteLayout.h"
#include "filter/media/AnimatedPicture.h"
#include "filter/timeline/model/RecordLayouts.h"
#include "platform/ReadFile.h"
#include "platform/ReplacingFile.h"
#include "studio/project/DataFolder.h"
#include "studio/project/ProjectLayouts.h"

namespace zolvex {
namespace studio {

namespace {

constexpr uint16_t kPointBlock = 5;
// No project file is larger; a bigger one is not read into memory.
constexpr int64_t kMaxProjectBytes = int64_t(1) << 30;

const char kNoFolder[] = "Failed to create directory with the name";
const char kNoFile[] = "Failed to create file with the name";
const char kErrorTitle[] = "Error";

void PutI32(std::vector<unsigned char>& out, int32_t v)
{
    for (int k = 0; k < 4; ++k)
        out.push_back(uint8_t(uint32_t(v) >> (8 * k)));
}

// Appends `n` bytes written by `write` (a function of the destination).
template <class Write>
void PutBytes(std::vector<unsigned char>& out, size_t n, Write write)
{
    const size_t at = out.size();
    out.resize(at + n);
    write(out.data() + at);
}

// A track point's coordinate scaled as a float and truncated toward zero; values a
// 32-bit integer cannot hold stop at its ends.
int32_t ScalePoint(int32_t v, float scale)
{
    const float f = float(v) * scale;
    if (!(f == f))
        return 0;
    if (f >= 2147483520.0f)
        return INT32_MAX;
    if (f <= -2147483648.0f)
        return INT32_MIN;
    return int32_t(f);
}

// Reads the file's bytes in order; every take must find its whole size.
class Cursor {
public:
    explicit Cursor(const std::vector<unsigned char>& bytes) : bytes_(bytes) {}
    size_t Left() const { return bytes_.size() - at_; }
    size_t Position() const { return at_; }
    const unsigned char* Take(size_t n)
    {
        if (n > Left())
            return nullptr;
        const unsigned char* p = bytes_.data() + at_;
        at_ += n;
        return p;
    }
    bool I32(int32_t& v)
    {
        const unsigned char* p = Take(4);
        if (!p)
            return false;
        v = int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
        return true;
    }

private:
    const std::vector<unsigned char>& bytes_;
    size_t at_ = 0;
};

bool IsFolder(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Only a regular file is read, and opening never blocks: a FIFO or a device under
// the project's name must not hang the load.
std::string Seconds(double t)
{
    char text[48];
    std::snprintf(text, sizeof text, "%g", t);
    return text;
}

bool TimeWithinLimit(double t) { return std::isfinite(t) && std::fabs(t) <= kMaxProjectSeconds; }

std::string LimitText() { return "a project lasts at most " + std::to_string(int(kMaxProjectSeconds / 3600)) + " hours"; }

// A scene whose span is not a time, ends before it starts, or carries the project
// past its length limit would make an endless render: such a file is damaged.
std::string SpanProblem(int index, const SceneRecord& record, const SceneSpan& span, double* total)
{
    const std::string scene = "scene " + std::to_string(index + 1) + " (" +
                              std::string(record.szPath, strnlen(record.szPath, sizeof record.szPath)) + ")";
    if (!TimeWithinLimit(span.dIn) || !TimeWithinLimit(span.dOut))
        return scene + " runs from " + Seconds(span.dIn) + " to " + Seconds(span.dOut) + " s; " + LimitText();
    if (span.dOut < span.dIn)
        return scene + " ends (" + Seconds(span.dOut) + " s) before it starts (" + Seconds(span.dIn) + " s)";
    *total += span.dOut - span.dIn;
    if (*total > kMaxProjectSeconds)
        return scene + " takes the project past " + std::to_string(int(kMaxProjectSeconds / 3600)) + " hours";
    return std::string();
}

// An object's start and end in the file, before the record is made of them.
std::string ObjectTimesProblem(int index, const ObjectKindInfo& info, const unsigned char* record, size_t left)
{
    // A record cut short is the reader's to refuse.
    if (left < info.bytes || info.startAt == kNoTimes)
        return std::string();
    ByteReader r(record);
    double start = 0.0, end = 0.0;
    r.F64(info.startAt, start);
    r.F64(info.startAt + 8, end);
    if (TimeWithinLimit(start) && TimeWithinLimit(end))
        return std::string();
    return "object " + std::to_string(index + 1) + " runs from " + Seconds(start) + " to " + Seconds(end) + " s; " +
           LimitText();
}

// Reads one object of `kind` and makes it whole for the timeline; nullptr with
// *malformed false when it is to be dropped, with *malformed true when the file
// ends or lies.
void* ReadObject(Cursor& c, const ObjectKindInfo& info, bool* malformed, std::vector<MediaProblem>* dropped)
{
    *malformed = true;
    const unsigned char* bytes = c.Take(info.bytes);
    if (!bytes)
        return nullptr;
    void* record = ReadObjectRecord(info.kind, bytes);
    if (!record)
        return nullptr;
    switch (info.kind) {
    case OBJ_PICTURE: {
        // The frames, their delays and the size come from the picture file; an
        // overlay whose picture is gone is dropped.
        StickerOp* op = static_cast<StickerOp*>(record);
        std::string why;
        if (!OpenStickerPicture(*op, &why)) {
            if (dropped) {
                const bool named = std::memchr(op->szPath, 0, sizeof op->szPath) != nullptr;
                dropped->push_back({named ? op->szPath : "", named ? why : "the file name is damaged"});
            }
            FreeObjectRecord(info.kind, record);
            *malformed = false;
            return nullptr;
        }
        break;
    }
    case OBJ_EFFECT: {
        tagOPR_EFFECT* op = static_cast<tagOPR_EFFECT*>(record);
        op->bSpecialInited = 0;
        int32_t count = 0;
        if (!c.I32(count) || count < 0 || size_t(count) > c.Left() / 8) {
            FreeObjectRecord(info.kind, record);
            return nullptr;
        }
        op->pValidPolygon = new (std::nothrow) TrackPoints(kPointBlock);
        if (!op->pValidPolygon) {
            FreeObjectRecord(info.kind, record);
            return nullptr;
        }
        for (int32_t k = 0; k < count; ++k) {
            tagSIZE point;
            c.I32(point.cx);
            c.I32(point.cy);
            if (op->pValidPolygon->Add(point) < 0) {
                FreeObjectRecord(info.kind, record);
                return nullptr;
            }
        }
        break;
    }
    case OBJ_MUSIC: static_cast<AudioOp*>(record)->bOpen = 0; break;
    default: break;  // the 3D screen's caches come back empty; texts and animations as read
    }
    *malformed = false;
    return record;
}

}  // namespace

ProjectStore::ProjectStore(ProjectModel& model) : model_(model) {}

ProjectStore::~ProjectStore() { StopAnnouncer(); }

std::string ProjectStore::ProjectFolder(const std::string& name)
{
    // The name becomes a folder and a file: it must not climb out of the data folder.
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos)
        return std::string();
    const std::string data = DataFolder();
    return data.empty() ? std::string() : data + name + "/";
}

std::string ProjectStore::ProjectFilePath(const std::string& name)
{
    const std::string folder = ProjectFolder(name);
    return folder.empty() ? std::string() : folder + name + ".mpf";
}

std::vector<unsigned char> ProjectStore::Serialise(ProjectModel& model, float xScale, float yScale)
{
    std::vector<unsigned char> out;
    PutBytes(out, kProjectHeaderBytes, [&](unsigned char* p) { WriteProjectHeader(model.header, p); });
    PutI32(out, model.SceneCount());
    for (int i = 0; i < model.SceneCount(); ++i) {
        PutBytes(out, kMediaItemBytes, [&](unsigned char* p) { WriteMediaItem(model.Item(i), p); });
        const MediaThumbnail& thumb = model.Thumbnail(i);
        PutI32(out, int32_t(thumb.size()));
        out.insert(out.end(), thumb.begin(), thumb.end());
        PutBytes(out, RecordLayout<SceneRecord>::kBytes, [&](unsigned char* p) { WriteRecordBytes(model.Record(i), p); });
        PutBytes(out, RecordLayout<SceneSpan>::kBytes, [&](unsigned char* p) { WriteRecordBytes(model.Span(i), p); });
    }
    PutI32(out, model.ObjectCount());
    for (int i = 0; i < model.ObjectCount(); ++i) {
        const int32_t kind = model.Kind(i);
        const ObjectKindInfo* info = FindObjectKind(kind);
        PutI32(out, kind);
        PutBytes(out, info->bytes, [&](unsigned char* p) { WriteObjectRecord(kind, model.Object(i), p); });
        if (kind == OBJ_EFFECT) {
            TrackPoints* points = static_cast<tagOPR_EFFECT*>(model.Object(i))->pValidPolygon;
            const int count = points ? points->GetSize() : 0;
            PutI32(out, count);
            CTavmArrayReader<tagSIZE> reader(points);
            for (tagSIZE p; reader.Next(p);) {
                PutI32(out, ScalePoint(p.cx, xScale));
                PutI32(out, ScalePoint(p.cy, yScale));
            }
        }
    }
    return out;
}

bool ProjectStore::Parse(const std::vector<unsigned char>& bytes, ProjectModel& model)
{
    std::string ignored;
    return Parse(bytes, model, &ignored);
}

bool ProjectStore::Parse(const std::vector<unsigned char>& bytes, ProjectModel& model, std::string* why,
                         std::vector<MediaProblem>* dropped)
{
    why->clear();
    double total = 0.0;
    Cursor c(bytes);
    const unsigned char* header = c.Take(kProjectHeaderBytes);
    int32_t scenes = 0;
    if (!header || !c.I32(scenes) || scenes < 0)
        return false;
    ReadProjectHeader(header, model.header);
    for (int32_t i = 0; i < scenes; ++i) {
        const unsigned char* itemBytes = c.Take(kMediaItemBytes);
        int32_t length = 0;
        if (!itemBytes || !c.I32(length) || length < 0)
            return false;
        const unsigned char* thumbBytes = c.Take(size_t(length));
        const unsigned char* recordBytes = thumbBytes ? c.Take(RecordLayout<SceneRecord>::kBytes) : nullptr;
        const unsigned char* spanBytes = recordBytes ? c.Take(RecordLayout<SceneSpan>::kBytes) : nullptr;
        if (!spanBytes)
            return false;
        MediaItem item;
        ReadMediaItem(itemBytes, item);
        SceneRecord record;
        ReadRecordBytes(recordBytes, record);
        record.bVideoOpen = record.bAudioOpen = 0;
        SceneSpan span;
        ReadRecordBytes(spanBytes, span);
        *why = SpanProblem(i, record, span, &total);
        if (!why->empty())
            return false;
        if (!model.AppendScene(item, MediaThumbnail(thumbBytes, thumbBytes + length), record, span, i == 0 ? 1 : 0))
            return false;
    }
    int32_t objects = 0;
    if (!c.I32(objects) || objects < 0)
        return false;
    for (int32_t i = 0; i < objects; ++i) {
        int32_t kind = 0;
        if (!c.I32(kind))
            return false;
        // A kind no project holds means the file is not what it claims: stop there,
        // with the three object lists in step.
        const ObjectKindInfo* info = FindObjectKind(kind);
        if (!info)
            return false;
        bool malformed = false;
        *why = ObjectTimesProblem(i, *info, bytes.data() + c.Position(), c.Left());
        if (!why->empty())
            return false;
        void* record = ReadObject(c, *info, &malformed, dropped);
        if (malformed)
            return false;
        if (record && !model.AppendObject(kind, record, 0))
            return false;
    }
    return true;
}

void ProjectStore::Tell(const std::string& text)
{
    if (prompt_)
        prompt_->Show(text, kErrorTitle, kPromptWarning, kPromptOk);
}

int ProjectStore::SaveProject(float xScale, float yScale)
{
    if (model_.name.empty()) {
        std::string name;
        if (!askName_ || !askName_(name) || name.empty())
            return 0;
        model_.name = name;
    }
    const std::string folder = ProjectFolder(model_.name);
    if (folder.empty() || (!IsFolder(folder) && !MakeFolders(folder))) {
        Tell(kNoFolder);
        return 0;
    }
    const std::vector<unsigned char> bytes = Serialise(model_, xScale, yScale);
    // The new file is written beside the old one and takes its place only when it is
    // whole, so a failed or interrupted save leaves the previous project as it was.
    ReplacingFile file;
    if (!file.Open(ProjectFilePath(model_.name)) || !file.Write(bytes.data(), bytes.size()) || !file.Commit()) {
        Tell(kNoFile);
        return 0;
    }
    AddProjectToDatabase(model_.name);
    model_.bModified = false;
    return 1;
}

int ProjectStore::LoadProject()
{
    const std::string folder = ProjectFolder(model_.name);
    if (folder.empty() || !IsFolder(folder)) {
        BeginLoad();
        lastError_ = "no project folder for \"" + model_.name + "\"";
        model_.bBusy = false;
        return 0;
    }
    return LoadProjectFile(ProjectFilePath(model_.name));
}

void ProjectStore::BeginLoad()
{
    model_.bBusy = true;
    if (listener_)
        listener_->OnProjectBusy();
    StopAnnouncer();
    if (model_.undo)
        model_.undo->Clear();
    model_.Clear();
    lastError_.clear();
    dropped_.clear();
}

int ProjectStore::LoadProjectFile(const std::string& path)
{
    BeginLoad();
    std::vector<unsigned char> bytes;
    if (!ReadRegularFile(path.c_str(), uint64_t(kMaxProjectBytes), bytes, &lastError_)) {
        model_.bBusy = false;
        return 0;
    }
    const bool ok = Parse(bytes, model_, &lastError_, &dropped_);
    model_.bBusy = false;
    model_.RecomputeLength();
    if (!ok) {
        if (lastError_.empty())
            lastError_ = "the file is damaged";
        return 0;
    }
    if (model_.undo)
        model_.undo->StartAfresh();
    model_.dMarkIn = model_.dMarkOut = 0.0;
    model_.bMarkInSet = model_.bMarkOutSet = false;
    model_.bModified = false;
    AnnounceReadyLater();
    return 1;
}

void ProjectStore::AddProjectToDatabase(const std::string& name)
{
    if (database_)
        database_->AddProject(name);
}

void ProjectStore::AnnounceReadyLater()
{
    StopAnnouncer();
    cancel_ = false;
    announcer_ = std::thread([this] {
        std::unique_lock<std::mutex> lock(mutex_);
        if (wake_.wait_for(lock, std::chrono::milliseconds(readyDelayMs_), [this] { return cancel_; }))
            return;
        lock.unlock();
        if (listener_)
            listener_->OnProjectReady();
    });
}

void ProjectStore::StopAnnouncer()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cancel_ = true;
    }
    wake_.notify_all();
    if (announcer_.joinable())
        announcer_.join();
}

}  // namespace studio
}  // namespace zolvex
