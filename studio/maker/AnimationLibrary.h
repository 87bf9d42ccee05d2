// The studio's installed animation effects: one container file, "ZozEvorera" in the
// data folder (int32 count, then per effect an int32 size and the complete ".arf"
// file), held parsed in memory in container order. The engine and the timeline find
// an effect through its GUID in the record list.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "filter/animation/AnimationRecords.h"
#include "filter/common/TavmArray.h"
#include "filter/timeline/model/EffectOperation.h"
#include "platform/Prompt.h"

namespace zolvex {
namespace studio {

class AnimationLibrary {
public:
    // The container file's name, and the temporary file used while removing.
    static constexpr const char* kContainerName = "ZozEvorera";
    static constexpr const char* kTemporaryName = "ZozEvoreraT";
    // Thumbnails: 160 × 120, three bytes a pixel (blue, green, red), rows from the top.
    static constexpr int kThumbWidth = 160, kThumbHeight = 120;

    // `folder` is the data folder (with its final "/") holding the container.
    explicit AnimationLibrary(const std::string& folder);
    ~AnimationLibrary();  // frees every record
    AnimationLibrary(const AnimationLibrary&) = delete;
    AnimationLibrary& operator=(const AnimationLibrary&) = delete;

    // Reads the container: false when it is missing (an empty library) or when an
    // entry is damaged (the effects before it stay, the rest is ignored). A removal
    // cut short between its two steps is finished first: the temporary container
    // alone is taken as the container; beside a container it is stale and goes.
    bool Load();
    // Imports one ".arf" file: parsed and checked, skipped silently when its GUID is
    // already in the library or the file is not a sound effect; otherwise appended in
    // memory and to the container. True when the effect was added.
    bool Import(const std::string& arfPath);

    // Removes entry `index` after asking (string 145, Yes/No); without a selection
    // (index out of range) says string 146. The container is written anew through
    // the temporary file. True when the effect went.
    bool Remove(int index, IPrompt& prompt);

    int Count() const;
    // Each effect's thumbnail (kThumbWidth × kThumbHeight, rows from the top) and a
    // further frame of its animation drawn over the thumbnail background.
    const uint8_t* Thumbnail(int i) const;
    bool NextThumbnailFrame(int i);
    // The panel's two integers of entry i: 0, and 1 for an animated item.
    int ItemFlag(int i, int which) const;
    // The background the thumbnails are drawn on (160 × 120 × 3, rows from the top);
    // a soft gradient of our own until one is given. Affects thumbnails made after.
    void SetThumbnailBackground(const std::vector<uint8_t>& picture);
    // The record list the engine receives (SetAnimationLibrary's first list) and the
    // parallel list of version texts (its second list: each entry points to the
    // record's szVersion, i.e. the record itself).
    CTavmArray<void*>* Records() { return &records_; }
    CTavmArray<void*>* Versions() { return &versions_; }
    // The effect's GUID of entry i (all zero out of range).
    GUID Guid(int i) const;
    // The display name of entry i: szName1 for language 1, szName0 otherwise.
    std::string Name(int i, int language = 0);

private:
    // One effect's thumbnail state: the operation keeps its animation between frames.
    struct Thumb {
        tagOPR_EFFECT op{};
        std::vector<uint8_t> picture;
        int flags[2] = {0, 1};
    };
    bool Append(void* record);
    void MakeThumbnail(int i);
    bool RewriteWithout(int index);
    bool Holds(const GUID& guid);  // an effect with this GUID is loaded
    void Clear();                  // frees every record
    std::string ContainerPath() const;

    std::string folder_;
    CTavmArray<void*> records_;
    CTavmArray<void*> versions_;
    std::vector<std::unique_ptr<Thumb>> thumbs_;
    std::vector<uint8_t> background_;
};

}  // namespace studio
}  // namespace zolvex
