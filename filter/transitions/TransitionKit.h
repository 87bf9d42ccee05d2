// What the transitions share: the pictures of one call, the progress, the blend of
// two pixels, and the cut that every transition falls back to.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "filter/transitions/fTavTransition.h"

namespace zolvex {
namespace transition {

typedef unsigned char uchar;

// The three pictures of one call. Rows are memory rows: row 0 is the bottom line.
struct Pictures {
    const uchar* a;  // first picture, shown at the start
    const uchar* b;  // second picture, shown at the end
    uchar* o;        // output
    int w, h, bpp;
    size_t stride;   // bytes per row

    size_t Bytes() const { return stride * size_t(h); }
    size_t Offset(int x, int row) const { return size_t(row) * stride + size_t(x) * size_t(bpp); }
    const uchar* A(int x, int row) const { return a + Offset(x, row); }
    const uchar* B(int x, int row) const { return b + Offset(x, row); }
    uchar* O(int x, int row) const { return o + Offset(x, row); }
};

// Progress of the transition, time over duration, kept within [0, 1] so that a
// stray time can never send a transition outside its pictures (a duration that is
// not positive counts as finished).
inline double Progress(const CfTavTransition& t)
{
    if (!(t.dDuration > 0))
        return 1.0;
    const double p = t.dCurTime / t.dDuration;
    if (!(p >= 0))  // also NaN
        return 0.0;
    return p > 1 ? 1.0 : p;
}

// Sets up the pictures of a call. For a size or pixel format that cannot be drawn
// (not 3 or 4 bytes per pixel, no buffer), cuts to the second picture where there is
// anything to copy and returns false.
inline bool Prepare(const CfTavTransition& t, const uchar* a, const uchar* b, uchar* o, Pictures& p)
{
    p = Pictures{a, b, o, t.nWidth, t.nHeight, t.nBpp, 0};
    if (t.nWidth <= 0 || t.nHeight <= 0 || t.nBpp <= 0 || !o)
        return false;
    p.stride = size_t(t.nWidth) * size_t(t.nBpp);
    if ((t.nBpp != 3 && t.nBpp != 4) || !a || !b) {
        if (b)
            std::memcpy(o, b, p.Bytes());
        return false;
    }
    return true;
}

// blend(w): (1 − w) × A + w × B for bytes 0–2, truncated; other bytes are not touched.
// Weights are held to [0, 1] so that a result always fits its byte.
inline void Blend(const uchar* pa, const uchar* pb, uchar* po, float w)
{
    w = w > 0.0f ? (w < 1.0f ? w : 1.0f) : 0.0f;
    const float v = 1.0f - w;
    po[0] = uchar(v * pa[0] + w * pb[0]);
    po[1] = uchar(v * pa[1] + w * pb[1]);
    po[2] = uchar(v * pa[2] + w * pb[2]);
}

// Copies bytes 0–2 of one pixel.
inline void CopyColour(const uchar* from, uchar* to)
{
    to[0] = from[0];
    to[1] = from[1];
    to[2] = from[2];
}

// ---- blends over runs of pixels (the arithmetic of Blend, in vectorised loops) ----

// Weights of a run blended with one weight w, repeating every kLanes bytes: colour bytes
// take (1 − w, w); the alpha byte of 4-byte pixels is taken whole from one picture.
constexpr int kLanes = 32;
struct LaneWeights {
    float keep[kLanes];
    float take[kLanes];
};
LaneWeights MakeLaneWeights(float w, int bpp, bool alphaFromSecond);

// o = keep × x + take × y over n bytes starting at a pixel boundary.
void BlendBytes(const uchar* x, const uchar* y, uchar* o, size_t n, const LaneWeights& lw);

// Bytes 0–2 of n pixels: o = (1 − w[i]) × x + w[i] × y; other bytes are not touched.
// Callers keep every weight within [0, 1].
void BlendPixels(const uchar* x, const uchar* y, uchar* o, const float* w, int n, int bpp);

inline int Trunc(double v) { return int(v); }
inline int Round(double v) { return int(v + 0.5); }

}  // namespace transition
}  // namespace zolvex
