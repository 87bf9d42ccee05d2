#include "studio/shell/Autosave.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/ReadFile.h"
#include "platform/RegularFile.h"
#include "platform/ReplacingFile.h"
#include "studio/project/DataFolder.h"
#include "studio/project/ProjectFile.h"
#include "studio/shell/StringTable.h"

namespace zolvex {
namespace studio {

namespace {

constexpr char kRecordFirstLine[] = "Zolvex Video Studio autosave 1";
constexpr uint64_t kMaxCopyBytes = uint64_t(1) << 30;  // as large as a project file may be
constexpr uint64_t kMaxRecordBytes = 64 * 1024;
constexpr int kMaxStems = 100;

bool Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// Modification time in nanoseconds; -1 when the file is not there.
int64_t ModifiedNs(const std::string& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return -1;
    return int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// True when a running studio holds the lock file (a missing one is held by none).
// The probe takes a shared lock for a moment: a studio claiming the stem just then
// finds it taken and goes on to the next stem.
bool Held(const std::string& lockPath)
{
    const int fd = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    const bool held = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return held;
}

bool WriteWhole(const std::string& path, const void* data, size_t n, std::string* why)
{
    ReplacingFile file;
    if (file.Open(path) && file.Write(data, n) && file.Commit())
        return true;
    *why = path + ": " + std::strerror(errno);
    return false;
}

AutosaveEntry EntryFor(const std::string& folder, const std::string& stem)
{
    AutosaveEntry entry;
    entry.stem = stem;
    entry.dataPath = folder + stem + ".mpf";
    entry.recordPath = folder + stem + ".info";
    entry.lockPath = folder + stem + ".lock";
    return entry;
}

}  // namespace

Autosave::Autosave(std::string folder) : folder_(std::move(folder))
{
    if (!folder_.empty() && folder_.back() != '/')
        folder_ += '/';
}

Autosave::~Autosave()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
    if (lockFd_ >= 0)
        close(lockFd_);
}

std::string Autosave::DefaultFolder()
{
    const std::string data = DataFolder();
    if (data.empty())
        return std::string();
    const std::string folder = data + "Autosave/";
    return MakeFolders(folder) ? folder : std::string();
}

std::string Autosave::RecordText(const std::string& project, bool unnamed, int64_t savedAt, int64_t bytes)
{
    // The name comes last, its length before it, so that no character of it can be
    // mistaken for another field and a record cut short is seen to be.
    return std::string(kRecordFirstLine) + "\nsaved=" + std::to_string(savedAt) +
           "\nunnamed=" + (unnamed ? "1" : "0") + "\nbytes=" + std::to_string(bytes) +
           "\nproject-bytes=" + std::to_string(project.size()) + "\nproject=" + project + "\n";
}

bool Autosave::ReadRecord(const std::string& text, AutosaveEntry* entry)
{
    const std::string first = std::string(kRecordFirstLine) + "\n";
    if (text.compare(0, first.size(), first) != 0)
        return false;
    size_t at = first.size();
    bool haveSaved = false, haveUnnamed = false, haveBytes = false;
    long long nameBytes = -1;
    while (at < text.size()) {
        const std::string key = "project=";
        if (text.compare(at, key.size(), key) == 0) {
            const std::string rest = text.substr(at + key.size());
            if (nameBytes <= 0 || rest.size() != size_t(nameBytes) + 1 || rest.back() != '\n')
                return false;
            const std::string project = rest.substr(0, size_t(nameBytes));
            if (!haveSaved || !haveUnnamed || !haveBytes ||
                project.find('\0') != std::string::npos)
                return false;
            entry->project = project;
            return true;
        }
        const size_t end = text.find('\n', at);
        if (end == std::string::npos)
            return false;
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            return false;
        const std::string name = line.substr(0, eq), value = line.substr(eq + 1);
        char* stop = nullptr;
        errno = 0;
        const long long number = std::strtoll(value.c_str(), &stop, 10);
        if (value.empty() || *stop || errno)
            return false;
        if (name == "saved") {
            entry->savedAt = number;
            haveSaved = true;
        } else if (name == "unnamed" && (number == 0 || number == 1)) {
            entry->unnamed = number == 1;
            haveUnnamed = true;
        } else if (name == "project-bytes" && number > 0 && number < 4096) {
            nameBytes = number;
        } else if (name == "bytes" && number >= 0) {
            entry->bytes = number;
            haveBytes = true;
        }
        // Fields of a later studio are passed over.
    }
    return false;
}

bool Autosave::LockStem(const std::string& stem)
{
    const AutosaveEntry entry = EntryFor(folder_, stem);
    // A copy already there belongs to another run (or is waiting to be recovered).
    if (Exists(entry.dataPath) || Exists(entry.recordPath))
        return false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = open(entry.lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0)
            return false;
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            close(fd);
            return false;
        }
        // A studio removing its autosave unlinks the lock file while holding it; a
        // lock won on such a file guards nothing, so take the one under the name.
        struct stat held, named;
        if (fstat(fd, &held) != 0 || stat(entry.lockPath.c_str(), &named) != 0 || held.st_ino != named.st_ino ||
            held.st_dev != named.st_dev) {
            close(fd);
            continue;
        }
        if (Exists(entry.dataPath) || Exists(entry.recordPath)) {
            close(fd);
            return false;
        }
        lockFd_ = fd;
        stem_ = stem;
        return true;
    }
    return false;
}

bool Autosave::Claim(const std::string& project, bool unnamed)
{
    if (folder_.empty() || !MakeFolders(folder_)) {
        std::lock_guard<std::mutex> lock(mutex_);
        error_ = "no autosave folder";
        return false;
    }
    std::string base = unnamed ? Str(96) + "~" + std::to_string(getpid()) : project;
    if (base.empty() || base.find('/') != std::string::npos || base == "." || base == "..")
        base = "Project~" + std::to_string(getpid());
    for (int k = 1; k <= kMaxStems; ++k) {
        const std::string stem = k == 1 ? base : base + "~" + std::to_string(k);
        if (LockStem(stem)) {
            project_ = project;
            unnamed_ = unnamed;
            return true;
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    error_ = "every autosave name for \"" + project + "\" is taken";
    return false;
}

bool Autosave::Save(std::vector<unsigned char> bytes, const std::string& project, bool unnamed)
{
    // An unnamed project stays the same one whatever its name (the name follows the language).
    const bool same = Holding() && unnamed == unnamed_ && (unnamed || project == project_);
    if (!same) {
        Remove();
        if (!Claim(project, unnamed))
            return false;
    }
    project_ = project;
    const AutosaveEntry entry = EntryFor(folder_, stem_);
    auto job = std::make_unique<Job>();
    job->record = RecordText(project, unnamed, int64_t(std::time(nullptr)), int64_t(bytes.size()));
    job->bytes = std::move(bytes);
    job->dataPath = entry.dataPath;
    job->recordPath = entry.recordPath;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // Only the newest copy matters: one still waiting is replaced.
        pending_ = std::move(job);
        if (!worker_.joinable())
            worker_ = std::thread([this] { Work(); });
    }
    wake_.notify_all();
    return true;
}

void Autosave::Work()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || pending_; });
        if (!pending_)
            return;  // stopping with nothing left to write
        std::unique_ptr<Job> job = std::move(pending_);
        writing_ = true;
        lock.unlock();
        std::string why;
        // The bytes first: a record names a copy that is already whole.
        const bool ok = WriteWhole(job->dataPath, job->bytes.data(), job->bytes.size(), &why) &&
                        WriteWhole(job->recordPath, job->record.data(), job->record.size(), &why);
        lock.lock();
        writing_ = false;
        if (ok) {
            ++written_;
            error_.clear();
        } else {
            error_ = why;
        }
        idle_.notify_all();
    }
}

void Autosave::Flush()
{
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] { return !pending_ && !writing_; });
}

void Autosave::Remove()
{
    if (!Holding())
        return;
    const AutosaveEntry entry = EntryFor(folder_, stem_);
    {
        std::unique_lock<std::mutex> lock(mutex_);
        pending_.reset();
        idle_.wait(lock, [this] { return !writing_; });
        // Under the mutex, so that the worker cannot start another copy meanwhile.
        unlink(entry.dataPath.c_str());
        unlink(entry.recordPath.c_str());
        unlink(entry.lockPath.c_str());
    }
    close(lockFd_);
    lockFd_ = -1;
    stem_.clear();
}

bool Autosave::Adopt(const AutosaveEntry& entry)
{
    Remove();
    const int fd = open(entry.lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return false;
    struct stat held, named;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || fstat(fd, &held) != 0 || stat(entry.lockPath.c_str(), &named) != 0 ||
        held.st_ino != named.st_ino || held.st_dev != named.st_dev) {
        close(fd);
        return false;
    }
    lockFd_ = fd;
    stem_ = entry.stem;
    project_ = entry.project;
    unnamed_ = entry.unnamed;
    return true;
}

std::string Autosave::LastError() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

uint64_t Autosave::Written() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
}

std::vector<AutosaveEntry> Autosave::ListRecoverable() const
{
    std::vector<AutosaveEntry> found;
    DIR* dir = folder_.empty() ? nullptr : opendir(folder_.c_str());
    if (!dir)
        return found;
    std::vector<std::string> stems;
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        const std::string ending = ".info";
        if (name.size() > ending.size() && name.compare(name.size() - ending.size(), ending.size(), ending) == 0)
            stems.push_back(name.substr(0, name.size() - ending.size()));
    }
    closedir(dir);
    for (const std::string& stem : stems) {
        AutosaveEntry entry = EntryFor(folder_, stem);
        std::vector<unsigned char> bytes;
        if (!ReadRegularFile(entry.recordPath.c_str(), kMaxRecordBytes, bytes) ||
            !ReadRecord(std::string(bytes.begin(), bytes.end()), &entry))
            continue;
        if (!RegularFileProblem(entry.dataPath.c_str()).empty() || Held(entry.lockPath))
            continue;
        if (!entry.unnamed) {
            // A project saved after the copy was written holds everything the copy has.
            const std::string projectFile = ProjectStore::ProjectFilePath(entry.project);
            const int64_t saved = projectFile.empty() ? -1 : ModifiedNs(projectFile);
            if (saved >= 0 && saved >= ModifiedNs(entry.dataPath))
                continue;
        }
        found.push_back(entry);
    }
    std::sort(found.begin(), found.end(), [](const AutosaveEntry& a, const AutosaveEntry& b) {
        return a.savedAt != b.savedAt ? a.savedAt > b.savedAt : a.stem < b.stem;
    });
    return found;
}

bool Autosave::FindRecoverable(const std::string& project, AutosaveEntry* entry) const
{
    for (const AutosaveEntry& e : ListRecoverable())
        if (!e.unnamed && e.project == project) {
            *entry = e;
            return true;
        }
    return false;
}

AutosaveRestore Autosave::Restore(const AutosaveEntry& entry, ProjectModel& model)
{
    AutosaveRestore result;
    std::vector<unsigned char> bytes;
    if (!ReadRegularFile(entry.dataPath.c_str(), kMaxCopyBytes, bytes, &result.why))
        return result;
    // Parsed once aside first, so that a damaged copy cannot leave half a project in
    // place of the one open now.
    {
        ProjectModel trial;
        if (!ProjectStore::Parse(bytes, trial, &result.why, &result.droppedPictures)) {
            if (result.why.empty())
                result.why = "the copy is damaged";
            return result;
        }
    }
    if (model.undo)
        model.undo->Clear();
    model.Clear();
    std::string why;
    if (!ProjectStore::Parse(bytes, model, &why)) {
        // Only a picture that went bad between the two readings gets here.
        result.why = why.empty() ? "the copy is damaged" : why;
        model.RecomputeLength();
        return result;
    }
    model.RecomputeLength();
    model.name = entry.unnamed ? Str(96) : entry.project;
    model.dMarkIn = model.dMarkOut = 0.0;
    model.bMarkInSet = model.bMarkOutSet = false;
    model.bModified = true;
    ++model.nChanges;
    if (model.undo)
        model.undo->StartAfresh();
    // Scenes stay even when their files are gone: the preview shows them black, and
    // they come back once the files do.
    for (int i = 0; i < model.SceneCount(); ++i) {
        const SceneRecord& record = model.Record(i);
        if (!std::memchr(record.szPath, 0, sizeof record.szPath))
            continue;
        const std::string problem = RegularFileProblem(record.szPath);
        if (!problem.empty())
            result.missingScenes.push_back({record.szPath, problem});
    }
    result.restored = true;
    return result;
}

bool Autosave::Discard(const AutosaveEntry& entry)
{
    const int fd = open(entry.lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (fd >= 0)
            close(fd);
        return false;
    }
    unlink(entry.dataPath.c_str());
    unlink(entry.recordPath.c_str());
    unlink(entry.lockPath.c_str());
    close(fd);
    return true;
}

std::string Autosave::SetAside(const AutosaveEntry& entry)
{
    const std::string base = entry.dataPath.substr(0, entry.dataPath.size() - 4) + ".damaged";
    std::string kept = base;
    for (int k = 2; Exists(kept) && k <= kMaxStems; ++k)
        kept = base + "~" + std::to_string(k);
    if (Exists(kept) || std::rename(entry.dataPath.c_str(), kept.c_str()) != 0)
        return std::string();
    unlink(entry.recordPath.c_str());
    unlink(entry.lockPath.c_str());
    return kept;
}

}  // namespace studio
}  // namespace zolvex
