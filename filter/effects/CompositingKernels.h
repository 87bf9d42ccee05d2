// The pieces of overlay compositing that the sprite compositors of CfTavEffect and
// the text compositor share: scratch pictures, the turn of a picture about its
// centre into a box, and the alpha blend onto a frame pixel.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace zolvex {
namespace compositing {

typedef unsigned char uchar;

// Scratch pictures larger than this are not made: the call draws nothing rather than
// eat the memory of the process (a zoom of 50 on a large sprite would ask for
// gigabytes).
constexpr int64_t kMaxScratchPixels = int64_t(1) << 26;

// A zero-filled (fully transparent) 4-byte picture, or null.
inline std::unique_ptr<uchar[]> NewPicture(int64_t w, int64_t h)
{
    if (w <= 0 || h <= 0 || w * h > kMaxScratchPixels)
        return nullptr;
    return std::unique_ptr<uchar[]>(new (std::nothrow) uchar[size_t(w * h * 4)]());
}

inline int RoundHalfUp(float v) { return int(v + 0.5f); }

struct Turn {
    float c, s;
    explicit Turn(double degrees)
    {
        const double rad = degrees * 3.1415926 * 0.005555555555555556;
        c = float(std::cos(rad));
        s = float(std::sin(rad));
    }
};

// The box that holds a sw × sh picture turned about its centre, and the offsets of
// the inverse mapping from box pixels back into the picture.
struct Box {
    int cols = 0, rows = 0;
    float P = 0, Q = 0;

    Box(int sw, int sh, const Turn& t)
    {
        const int a = (sw - 1) / 2, b = (sh - 1) / 2;
        cols = RoundHalfUp(2 * std::max(std::fabs(t.c * a - t.s * b), std::fabs(t.c * a + t.s * b)));
        rows = RoundHalfUp(2 * std::max(std::fabs(t.c * b + t.s * a), std::fabs(t.c * b - t.s * a)));
        P = float((sw - 1) * 0.5 - (t.s * (rows - 1) + t.c * (cols - 1)) * 0.5);
        Q = float(t.s * (cols - 1) * 0.5 - t.c * (rows - 1) * 0.5 + (sh - 1) * 0.5);
    }
};

// Box pixel (j, i), stored at box row rows − 1 − i, takes the scaled pixel the inverse
// turn lands on, read from scaled row sh − 1 − sy.
inline void TurnIntoBox(const uchar* scaled, int sw, int sh, const Turn& t, const Box& g, uchar* box)
{
    for (int i = 0; i < g.rows; ++i) {
        uchar* out = box + size_t(g.rows - 1 - i) * size_t(g.cols) * 4;
        const float rowX = g.P + t.s * i, rowY = g.Q + t.c * i;
        for (int j = 0; j < g.cols; ++j) {
            const int sx = RoundHalfUp(rowX + t.c * j);
            const int sy = RoundHalfUp(rowY - t.s * j);
            if (sx >= 0 && sx < sw && sy >= 0 && sy < sh)
                std::memcpy(out + size_t(j) * 4, scaled + (size_t(sh - 1 - sy) * size_t(sw) + size_t(sx)) * 4, 4);
        }
    }
}

// Frame pixel = α × overlay + (1 − α) × frame on bytes 0–2, α from the overlay's alpha
// and the opacity.
inline void BlendOver(uchar* f, const uchar* box, float opacity)
{
    const float a = (box[3] * 0.003921569f) * opacity;
    const float keep = 1.0f - a;
    f[0] = uchar(int(a * box[0] + keep * f[0]));
    f[1] = uchar(int(a * box[1] + keep * f[1]));
    f[2] = uchar(int(a * box[2] + keep * f[2]));
}

}  // namespace compositing
}  // namespace zolvex
