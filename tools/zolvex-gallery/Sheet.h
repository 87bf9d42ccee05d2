// What every contact sheet of the gallery shares: labelled cells of 3-byte
// bottom-up frames laid out in a grid and written as PNG.
#pragma once

#include <string>
#include <vector>

namespace gallery {

typedef std::vector<unsigned char> Frame;

struct Cell {
    std::string label;
    Frame frame;  // cellW × cellH × 3 bytes, bottom-up, blue-green-red
};

// Cells of cellW × cellH pictures, `columns` to a row, each labelled below; reports
// what it wrote or why it could not.
bool WriteSheet(const std::string& path, const std::vector<Cell>& cells, int cellW, int cellH, int columns);

// The sheets, one family each; every one writes its PNG file(s) into `folder`.
bool StaticEffectSheets(const std::string& folder);
bool FurtherEffectSheet(const std::string& folder);
bool OverlaySheet(const std::string& folder);
bool TransitionSheet(const std::string& folder);
bool TitleSheet(const std::string& folder);
bool AnimationSheet(const std::string& folder);
bool ScreenSheet(const std::string& folder);
bool DemoSheet(const std::string& folder);

}  // namespace gallery
