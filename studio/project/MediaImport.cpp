#include "studio/project/MediaImport.h"

#include "studio/project/MediaItems.h"

namespace zolvex {
namespace studio {

MediaImport::~MediaImport()
{
    Cancel();
    Wait();
}

bool MediaImport::Start(std::vector<std::string> paths, IImportListener* listener)
{
    if (running_)
        return false;
    Wait();
    cancel_ = false;
    running_ = true;
    worker_ = std::thread(&MediaImport::Run, this, std::move(paths), listener);
    return true;
}

void MediaImport::Wait()
{
    if (worker_.joinable())
        worker_.join();
}

std::vector<ImportedFile> MediaImport::Take()
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<ImportedFile> out;
    out.swap(made_);
    return out;
}

bool MediaImport::ImportOne(const std::string& path, ImportedFile* out)
{
    // Decoders may throw on memory; a file that cannot be read is skipped, never fatal.
    try {
        return CreateMediaItem(path.c_str(), out->item, out->thumbnail);
    } catch (const std::exception&) {
        return false;
    }
}

void MediaImport::Run(std::vector<std::string> paths, IImportListener* listener)
{
    for (size_t i = 0; i < paths.size() && !cancel_; ++i) {
        if (listener)
            listener->OnImportProgress(i, paths.size(), paths[i]);
        ImportedFile file;
        if (!ImportOne(paths[i], &file))
            continue;
        std::lock_guard<std::mutex> lock(mutex_);
        made_.push_back(std::move(file));
    }
    const bool cancelled = cancel_;
    running_ = false;
    if (listener)
        listener->OnImportFinished(cancelled);
}

bool AddImported(MediaLibrary& library, std::vector<ImportedFile> files)
{
    if (files.empty())
        return true;
    for (ImportedFile& f : files)
        library.Append(f.item, std::move(f.thumbnail));
    return library.Store();
}

}  // namespace studio
}  // namespace zolvex
