// The 3D screen side lists: the background library "3D_Bg" in the data folder
// (int32 count, then per item an int32 length, that many bytes of picture data and a
// 56-byte ScreenOp template) and the three screen masks, pictures of the program's
// own drawn at start.
#pragma once

#include <string>
#include <vector>

#include "filter/timeline/model/TimelineRecords.h"

namespace zolvex {
namespace studio {

class ScreenLibrary {
public:
    ScreenLibrary();
    ~ScreenLibrary();
    ScreenLibrary(const ScreenLibrary&) = delete;
    ScreenLibrary& operator=(const ScreenLibrary&) = delete;

    // Reads "3D_Bg" from the data folder; false when it is missing or damaged (the
    // items before the damage stay).
    bool Load(const std::string& folder);
    // Writes the library as "3D_Bg" (temporary file renamed into place).
    bool Save(const std::string& folder);
    // Appends an item: the picture file's bytes and its template.
    bool Add(std::vector<unsigned char> picture, const ScreenOp& templ);

    int Count() const { return int(pictures_.size()); }
    const ScreenOp& Template(int i) const { return templates_[size_t(i)]; }
    // The item's picture file, as it was imported.
    const std::vector<unsigned char>& Picture(int i) const { return pictures_[size_t(i)]; }
    // The in-memory picture list (SetPictureList), one block per item.
    PictureList* Pictures() { return &list_; }

    // The three masks (SetScreenMasks): pixel buffers and their sizes.
    CTavmArray<void*>* Masks();
    CTavmArray<tagSIZE>* MaskSizes();

private:
    bool RebuildList();
    void MakeMasks();

    std::vector<std::vector<unsigned char>> pictures_;
    std::vector<ScreenOp> templates_;
    PictureList list_;
    std::vector<std::vector<unsigned char>> masks_;
    CTavmArray<void*> maskList_;
    CTavmArray<tagSIZE> maskSizes_;
};

}  // namespace studio
}  // namespace zolvex
