// Row loops shared by the static effects: the frame is walked memory row by memory
// row, span by span against the valid region, with rows spread over the slice pool
// where the effect does not depend on the order of pixels.
#pragma once

#include <cstring>

#include "filter/common/RowSlices.h"
#include "filter/effects/StaticEffectTable.h"
#include "filter/effects/ValidSpans.h"
#include "filter/effects/fTavEffect.h"

namespace zolvex {

typedef unsigned char uchar;

// The per-pixel effects are defined on 3- and 4-byte pixels only.
inline bool HasEffectPixels(const CfTavEffect& fx)
{
    return FrameBytes(fx) != 0 && (fx.nBpp == 3 || fx.nBpp == 4);
}

inline void CopyFrame(const CfTavEffect& fx, const uchar* src, uchar* dst)
{
    if (const size_t n = FrameBytes(fx))
        std::memcpy(dst, src, n);
}

inline size_t RowBytes(const CfTavEffect& fx)
{
    return size_t(fx.nWidth) * size_t(fx.nBpp);
}

// For every memory row i, calls inside(i, s, d, x0, x1) for each run of valid pixels
// (s and d point at the start of the row in src and dst) and copies the other pixels
// of the row from src to dst. Rows run in parallel unless `ordered` is set.
template <class Inside>
void RewriteValidRuns(const CfTavEffect& fx, const uchar* src, uchar* dst, bool ordered, Inside&& inside)
{
    const int w = fx.nWidth, h = fx.nHeight, bpp = fx.nBpp;
    const size_t stride = RowBytes(fx);
    auto rows = [&](int first, int last) {
        ValidSpans spans(fx.hValidRgn, w, h);
        for (int i = first; i < last; ++i) {
            const uchar* s = src + size_t(i) * stride;
            uchar* d = dst + size_t(i) * stride;
            spans.Walk(
                i, w, [&](int a, int b) { inside(i, s, d, a, b); },
                [&](int a, int b) { std::memcpy(d + size_t(a) * bpp, s + size_t(a) * bpp, size_t(b - a) * bpp); });
        }
    };
    if (ordered)
        rows(0, h);
    else
        RunRowSlices(h, int64_t(stride), rows);
}

// Like RewriteValidRuns, but pixels outside the region are left as they are in dst.
template <class Inside>
void WriteValidRuns(const CfTavEffect& fx, const uchar* src, uchar* dst, Inside&& inside)
{
    const int w = fx.nWidth, h = fx.nHeight;
    const size_t stride = RowBytes(fx);
    RunRowSlices(h, int64_t(stride), [&](int first, int last) {
        ValidSpans spans(fx.hValidRgn, w, h);
        for (int i = first; i < last; ++i)
            spans.Walk(i, w, [&](int a, int b) { inside(i, src + size_t(i) * stride, dst + size_t(i) * stride, a, b); });
    });
}

// Calls pixel(i, j, s, d) to write bytes 0–2 of every valid pixel (j, i), s and d
// pointing at the pixel in src and dst; the alpha byte of 4-byte
// pixels and every pixel outside the region are copied.
template <class Pixel>
void RewriteValidPixels(const CfTavEffect& fx, const uchar* src, uchar* dst, Pixel&& pixel)
{
    if (!HasEffectPixels(fx)) {
        CopyFrame(fx, src, dst);
        return;
    }
    const int bpp = fx.nBpp;
    RewriteValidRuns(fx, src, dst, false, [&](int i, const uchar* s, uchar* d, int a, int b) {
        if (bpp == 3) {
            for (int j = a; j < b; ++j)
                pixel(i, j, s + size_t(j) * 3, d + size_t(j) * 3);
        } else {
            for (int j = a; j < b; ++j) {
                pixel(i, j, s + size_t(j) * 4, d + size_t(j) * 4);
                d[size_t(j) * 4 + 3] = s[size_t(j) * 4 + 3];
            }
        }
    });
}

// Marks the valid pixels of memory row i in mask (one byte per column).
inline void ValidMask(ValidSpans& spans, int i, int width, uchar* mask)
{
    std::memset(mask, 0, size_t(width));
    spans.Walk(i, width, [&](int a, int b) { std::memset(mask + a, 1, size_t(b - a)); });
}

}  // namespace zolvex
