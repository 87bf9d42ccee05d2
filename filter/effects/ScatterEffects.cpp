// Effects that fill a pixel from a displaced source pixel: glass tiles and the
// random splash.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "filter/effects/EffectLoops.h"

using namespace zolvex;

// Tiles of a tenth of the frame, each showing a twofold-compressed view of the
// picture around it.
void CfTavEffect::Glass(const unsigned char* src, unsigned char* dst)
{
    if (!HasEffectPixels(*this)) {
        CopyFrame(*this, src, dst);
        return;
    }
    const int w = nWidth, h = nHeight, bpp = nBpp;
    const int cw = w / 10, ch = h / 10, hw = cw / 2, hh = ch / 2, ow = cw % 2, oh = ch % 2;

    // The source row of every memory row depends on the rows before it only, so it
    // is worked out first and the rows can then run in any order.
    std::vector<int> sourceRow(static_cast<size_t>(h));
    int64_t rowBase = 0, rowK = 0;
    for (int i = 0; i < h; ++i) {
        int64_t sy = rowBase + 2 * rowK;
        if (sy >= h - 1)
            sy = h - 1;
        if (sy <= 0)
            sy = 0;
        sourceRow[size_t(i)] = int(sy);
        if (++rowK == hh) {
            rowBase += ch;
            rowK = -(oh + hh);
        }
    }

    // The column state restarts on every row and advances with every valid pixel,
    // so the k-th valid pixel of any row reads the same source column.
    std::vector<int> sourceColumn(static_cast<size_t>(w));
    int64_t colBase = 0, colK = 0;
    for (int k = 0; k < w; ++k) {
        const int64_t sx = std::max<int64_t>(colBase + 2 * colK, 0);
        sourceColumn[size_t(k)] = sx < w ? int(sx) : -1;  // -1: the pixel keeps its own colour
        if (++colK == hw) {
            colBase += cw;
            colK = -(ow + hw);
        }
    }

    const size_t stride = RowBytes(*this);
    RunRowSlices(h, int64_t(stride), [&](int first, int last) {
        ValidSpans spans(hValidRgn, w, h);
        for (int i = first; i < last; ++i) {
            const uchar* s = src + size_t(i) * stride;
            const uchar* from = src + size_t(sourceRow[size_t(i)]) * stride;
            uchar* d = dst + size_t(i) * stride;
            const int* column = sourceColumn.data();
            spans.Walk(
                i, w,
                [&](int a, int b) {
                    for (int j = a; j < b; ++j, ++column) {
                        const uchar* p = *column >= 0 ? from + size_t(*column) * bpp : s + size_t(j) * bpp;
                        CopyPixel(d + size_t(j) * bpp, p, bpp);
                    }
                },
                [&](int a, int b) { std::memcpy(d + size_t(a) * bpp, s + size_t(a) * bpp, size_t(b - a) * bpp); });
        }
    });
}

// Every valid pixel takes a pixel up to a thirtieth of the frame width to its
// right and above in memory, drawn from the C library generator (two calls per
// pixel, x first). Frames narrower than 30 pixels scatter by nothing: the picture
// is copied, and the generator still advances as it would.
void CfTavEffect::splash(const unsigned char* src, unsigned char* dst)
{
    if (!HasEffectPixels(*this)) {
        CopyFrame(*this, src, dst);
        return;
    }
    const int w = nWidth, h = nHeight, bpp = nBpp;
    const int reach = std::max(w / 30, 1);
    // The pixels must be visited in order for the random numbers to land where they
    // always did, so this effect stays on one thread.
    RewriteValidRuns(*this, src, dst, true, [&](int i, const uchar*, uchar* d, int a, int b) {
        for (int j = a; j < b; ++j) {
            int sx = j + std::rand() % reach;
            int sy = i + std::rand() % reach;
            sx = std::min(std::max(sx, 0), w - 1);
            sy = std::min(std::max(sy, 0), h - 1);
            CopyPixel(d + size_t(j) * bpp, src + (size_t(sy) * size_t(w) + size_t(sx)) * bpp, bpp);
        }
    });
}
