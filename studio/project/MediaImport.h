// Importing files into the media library on a worker thread. Each chosen file, in
// order, becomes an item with its thumbnail and prepared scene record, or is skipped
// (no known kind, missing, a picture or video that does not decode). The window hears
// of the progress through a listener called on the worker thread, which must only
// hand the news to its own thread; the window never waits for the worker.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "studio/project/MediaLibrary.h"

namespace zolvex {
namespace studio {

struct ImportedFile {
    MediaItem item;
    MediaThumbnail thumbnail;
};

class IImportListener {
public:
    virtual ~IImportListener() = default;
    // File `index` of `count` is being read.
    virtual void OnImportProgress(size_t index, size_t count, const std::string& path) = 0;
    // The worker is done (all files, or stopped by Cancel); Take() hands over what it made.
    virtual void OnImportFinished(bool cancelled) = 0;
};

class MediaImport {
public:
    MediaImport() = default;
    // Stops the worker after its current file and waits for it.
    ~MediaImport();
    MediaImport(const MediaImport&) = delete;
    MediaImport& operator=(const MediaImport&) = delete;

    // Starts on the files; false while an import still runs.
    bool Start(std::vector<std::string> paths, IImportListener* listener);
    // Asks the worker to stop after the file it reads now; what it made is kept.
    void Cancel() { cancel_ = true; }
    bool Running() const { return running_; }
    // The files made so far, in the order they were chosen; taken out of the import.
    std::vector<ImportedFile> Take();
    // Waits for the worker to end (tests and shutdown).
    void Wait();

    // What the worker does for one file, on any thread: false for a file to skip.
    static bool ImportOne(const std::string& path, ImportedFile* out);

private:
    void Run(std::vector<std::string> paths, IImportListener* listener);

    std::thread worker_;
    std::atomic<bool> cancel_{false}, running_{false};
    std::mutex mutex_;
    std::vector<ImportedFile> made_;
};

// Moves what an import made into the library, in order, and stores the library once.
bool AddImported(MediaLibrary& library, std::vector<ImportedFile> files);

}  // namespace studio
}  // namespace zolvex
