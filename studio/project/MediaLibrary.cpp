#include "studio/project/MediaLibrary.h"

#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "filter/common/ByteLayout.h"
#include "platform/ReadFile.h"
#include "platform/ReplacingFile.h"
#include "studio/project/ProjectLayouts.h"

namespace zolvex {
namespace studio {

namespace {

// A library never holds this much: a bigger file is not read into memory.
constexpr uint64_t kMaxLibraryBytes = uint64_t(2) << 30;

}  // namespace

SceneRecord PrepareSceneRecord(const MediaItem& item)
{
    SceneRecord r;
    std::memset(&r, 0, sizeof r);
    std::memcpy(r.szPath, item.szPath, sizeof r.szPath);
    r.szPath[sizeof r.szPath - 1] = 0;
    r.nSourceWidth = item.nWidth;
    r.nSourceHeight = item.nHeight;
    if (item.nKind == MEDIA_VIDEO || item.nKind == MEDIA_PICTURE)
        r.nMediaType = item.nKind;
    r.dDuration = item.dDuration;
    r.dOutPoint = item.dDuration;
    r.dInPoint = 0.0;
    r.bVideoOpen = r.bAudioOpen = 0;
    return r;
}

MediaLibrary::MediaLibrary(std::string folder) : folder_(std::move(folder)) {}

MediaLibrary::Loaded MediaLibrary::Load()
{
    entries_.clear();
    LoadFavourites();
    std::vector<unsigned char> bytes;
    if (folder_.empty() || !ReadRegularFile(Path().c_str(), kMaxLibraryBytes, bytes))
        return Loaded::kNone;
    size_t at = 0;
    auto i32 = [&](int32_t& v) {
        if (bytes.size() - at < 4)
            return false;
        ByteReader(bytes.data() + at).I32(0, v);
        at += 4;
        return true;
    };
    auto damaged = [&] {
        // What was read stays for this run; the file that cannot be trusted goes.
        unlink(Path().c_str());
        return Loaded::kDamaged;
    };
    int32_t count = 0;
    if (!i32(count) || count < 0)
        return damaged();
    for (int32_t i = 0; i < count; ++i) {
        if (bytes.size() - at < kMediaItemBytes)
            return damaged();
        MediaItem item;
        ReadMediaItem(bytes.data() + at, item);
        at += kMediaItemBytes;
        item.nLibraryIndex = i;
        item.bViewFlag = 0;
        entries_.push_back({item, MediaThumbnail(), PrepareSceneRecord(item)});
    }
    for (int32_t i = 0; i < count; ++i) {
        int32_t length = 0;
        if (!i32(length) || length < 0 || size_t(length) > bytes.size() - at)
            return damaged();
        entries_[size_t(i)].thumbnail.assign(bytes.begin() + long(at), bytes.begin() + long(at) + length);
        at += size_t(length);
    }
    return Loaded::kWhole;
}

bool MediaLibrary::Store() const
{
    std::vector<unsigned char> out(4, 0);
    int32_t kept = 0;
    for (const LibraryEntry& e : entries_) {
        if (e.item.bRemoved)
            continue;
        const size_t at = out.size();
        out.resize(at + kMediaItemBytes);
        WriteMediaItem(e.item, out.data() + at);
        ++kept;
    }
    for (const LibraryEntry& e : entries_) {
        if (e.item.bRemoved)
            continue;
        const size_t at = out.size();
        out.resize(at + 4);
        ByteWriter(out.data() + at, 4).I32(0, int32_t(e.thumbnail.size()));
        out.insert(out.end(), e.thumbnail.begin(), e.thumbnail.end());
    }
    ByteWriter(out.data(), 4).I32(0, kept);
    ReplacingFile file;
    return !folder_.empty() && file.Open(Path()) && file.Write(out.data(), out.size()) && file.Commit();
}

void MediaLibrary::Append(const MediaItem& item, MediaThumbnail thumbnail)
{
    LibraryEntry e{item, std::move(thumbnail), PrepareSceneRecord(item)};
    e.item.nLibraryIndex = int32_t(entries_.size());
    e.item.bRemoved = 0;
    entries_.push_back(std::move(e));
}

void MediaLibrary::Remove(size_t i)
{
    if (i < entries_.size())
        entries_[i].item.bRemoved = 1;
}

bool MediaLibrary::IsFavourite(size_t i) const
{
    return i < entries_.size() && favourites_.count(entries_[i].item.szPath) != 0;
}

void MediaLibrary::LoadFavourites()
{
    favourites_.clear();
    std::vector<unsigned char> bytes;
    if (folder_.empty() || !ReadRegularFile(FavouritesPath().c_str(), uint64_t(64) << 20, bytes))
        return;
    std::string line;
    for (unsigned char c : bytes) {
        if (c == '\n') {
            if (!line.empty())
                favourites_.insert(line);
            line.clear();
        } else {
            line += char(c);
        }
    }
}

bool MediaLibrary::SetFavourite(size_t i, bool favourite)
{
    if (i >= entries_.size())
        return false;
    const std::string path = entries_[i].item.szPath;
    if (favourite)
        favourites_.insert(path);
    else
        favourites_.erase(path);
    // One path a line: a path never holds a line break the library could store.
    std::string text;
    for (const std::string& p : favourites_)
        if (p.find('\n') == std::string::npos)
            text += p + "\n";
    ReplacingFile file;
    return file.Open(FavouritesPath()) && file.Write(text.data(), text.size()) && file.Commit();
}

}  // namespace studio
}  // namespace zolvex
