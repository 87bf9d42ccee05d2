// The studio's installed animation effects: one container file, "ZozEvorera" in the
// data folder (int32 count, then per effect an int32 size and the complete ".arf"
// file), held parsed in memory in container order. The engine and the timeline find
// an effect through its GUID in the record list.
#pragma once

#include <string>

#include "filter/animation/AnimationRecords.h"
#include "filter/common/TavmArray.h"

namespace zolvex {
namespace studio {

class AnimationLibrary {
public:
    // The container file's name, and the temporary file used while removing.
    static constexpr const char* kContainerName = "ZozEvorera";
    static constexpr const char* kTemporaryName = "ZozEvoreraT";

    // `folder` is the data folder (with its final "/") holding the container.
    explicit AnimationLibrary(const std::string& folder);
    ~AnimationLibrary();  // frees every record
    AnimationLibrary(const AnimationLibrary&) = delete;
    AnimationLibrary& operator=(const AnimationLibrary&) = delete;

    // Reads the container: false when it is missing (an empty library) or when an
    // entry is damaged (the effects before it stay, the rest is ignored).
    bool Load();
    // Imports one ".arf" file: parsed and checked, skipped silently when its GUID is
    // already in the library or the file is not a sound effect; otherwise appended in
    // memory and to the container. True when the effect was added.
    bool Import(const std::string& arfPath);

    int Count() const;
    // The record list the engine receives (SetAnimationLibrary's first list) and the
    // parallel list of version texts (its second list: each entry points to the
    // record's szVersion, i.e. the record itself).
    CTavmArray<void*>* Records() { return &records_; }
    CTavmArray<void*>* Versions() { return &versions_; }
    // The display name of entry i: szName1 for language 1, szName0 otherwise.
    std::string Name(int i, int language = 0);

private:
    bool Append(void* record);
    bool Holds(const GUID& guid);  // an effect with this GUID is loaded
    void Clear();                  // frees every record
    std::string ContainerPath() const;

    std::string folder_;
    CTavmArray<void*> records_;
    CTavmArray<void*> versions_;
};

}  // namespace studio
}  // namespace zolvex
