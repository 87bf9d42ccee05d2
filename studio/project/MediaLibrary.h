// The media library: the studio's shelf of imported clips, pictures and sounds. Each
// entry is a media item with its thumbnail and the scene record prepared from it,
// which the timeline copies when it makes a scene. The library lives in "TavMedia"
// in the data folder: an int32 count K, the K items (1408 bytes each) of the entries
// not removed, then for the same entries an int32 length and the thumbnail's bytes.
// Favourites are the studio's own mark and live beside it, never in "TavMedia".
#pragma once

#include <set>
#include <string>
#include <vector>

#include "studio/project/DataFolder.h"
#include "studio/project/ProjectRecords.h"

namespace zolvex {
namespace studio {

struct LibraryEntry {
    MediaItem item;
    MediaThumbnail thumbnail;
    SceneRecord record;  // the scene a timeline makes of the entry
};

// The scene record prepared from an item: zero-filled; the path; width and height;
// the kind when it is video or picture; the full duration and the out point from the
// item's duration; in point 0; the filter's two flags clear.
SceneRecord PrepareSceneRecord(const MediaItem& item);

class MediaLibrary {
public:
    // The library of `folder` (with its final "/"); by default the studio's data folder.
    explicit MediaLibrary(std::string folder = DataFolder());

    std::string Path() const { return folder_ + "TavMedia"; }
    std::string FavouritesPath() const { return folder_ + "TavMedia.favourites"; }

    enum class Loaded { kNone, kWhole, kDamaged };
    // Replaces the entries by the file's. No file (or one that cannot be opened)
    // gives an empty library; a file that ends short of what it promises is deleted,
    // and the entries read before the end stay for this run.
    Loaded Load();
    // Writes every entry not removed, replacing the old file whole: a crash or a
    // full disk during the store leaves the previous library as it was.
    bool Store() const;

    size_t Count() const { return entries_.size(); }
    const LibraryEntry& Entry(size_t i) const { return entries_[i]; }
    const std::vector<LibraryEntry>& Entries() const { return entries_; }
    // Adds an entry at the end, its library position set and its record prepared.
    void Append(const MediaItem& item, MediaThumbnail thumbnail);
    // Marks the entry removed: it leaves the views at once and the file at the next store.
    void Remove(size_t i);

    bool IsFavourite(size_t i) const;
    // Marks or clears the entry's favourite mark, kept by path in the side file.
    bool SetFavourite(size_t i, bool favourite);

private:
    void LoadFavourites();

    std::string folder_;
    std::vector<LibraryEntry> entries_;
    std::set<std::string> favourites_;
};

}  // namespace studio
}  // namespace zolvex
