// Helpers shared by the text tests: rasterising into a copy, and ink boxes.
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

#include "filter/text/fTavTextBuffer.h"

namespace zolvex {
namespace test {

inline LOGFONTA Font(int height, const char* face = "DejaVu Sans")
{
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfWeight = 400;
    std::strncpy(lf.lfFaceName, face, sizeof lf.lfFaceName - 1);
    return lf;
}

inline COLORREF ColourOf(const unsigned char* bgra) { return RGB(bgra[2], bgra[1], bgra[0]); }

// A text picture copied out of the rasteriser (bottom-up, 4 bytes per pixel).
struct TextPicture {
    int w = 0, h = 0;
    std::vector<unsigned char> px;
    // Pixel at picture column col and picture row row (0 is the top line).
    const unsigned char* At(int col, int row) const { return &px[(size_t(h - 1 - row) * w + col) * 4]; }
};

inline TextPicture Rasterise(CfTavTextBuffer& tb, const char* text, const LOGFONTA& lf,
                             COLORREF colour = RGB(255, 255, 255), bool gdip = false)
{
    tb.SetText(text);
    tb.SetColor(colour);
    tb.SetFont(lf);
    TextPicture p;
    if (!tb.InitBuf())
        return p;
    const unsigned char* bits = gdip ? tb.GetTextBufferGdip() : tb.GetTextBuffer();
    p.w = tb.nTextWidth;
    p.h = tb.nTextHeight;
    p.px.assign(bits, bits + size_t(p.w) * p.h * 4);
    return p;
}

// Bounding box of marked pixels, inclusive, in picture coordinates.
struct InkBox {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1, count = 0;
    void Add(int col, int row)
    {
        left = std::min(left, col);
        right = std::max(right, col);
        top = std::min(top, row);
        bottom = std::max(bottom, row);
        ++count;
    }
};

// Pixels with alpha in picture rows [rowFrom, rowTo), by default all.
inline InkBox InkIn(const TextPicture& p, int rowFrom = 0, int rowTo = -1)
{
    if (rowTo < 0)
        rowTo = p.h;
    InkBox box;
    for (int row = rowFrom; row < rowTo; ++row)
        for (int col = 0; col < p.w; ++col)
            if (p.At(col, row)[3])
                box.Add(col, row);
    return box;
}

// Pixels of a bottom-up frame (bpp bytes each) that differ from `before`.
inline InkBox ChangedIn(const std::vector<unsigned char>& frame, const std::vector<unsigned char>& before, int w,
                        int h, int bpp)
{
    InkBox box;
    for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col) {
            const size_t at = (size_t(h - 1 - row) * w + col) * bpp;
            if (std::memcmp(&frame[at], &before[at], 3) != 0)
                box.Add(col, row);
        }
    return box;
}

}  // namespace test
}  // namespace zolvex
