// Helpers shared by the effect tests.
#pragma once

#include <cstdint>
#include <vector>

#include "filter/effects/fTavEffect.h"

namespace zolvex {
namespace test {

typedef std::vector<unsigned char> Frame;

// An effect object set up for a frame of w × h × bpp at the given level.
struct EffectFixture {
    CfTavEffect fx;
    EffectFixture(int w, int h, int bpp, int level = 60)
    {
        fx.InitEffect(tagSIZE{w, h}, w / 720.0f, w / 720.0f, level, bpp);
    }
};

// An operation record that owns its polygon (points in source-video coordinates).
struct PolygonOp {
    tagOPR_EFFECT op{};
    CTavmArray<tagSIZE> points{5};
    explicit PolygonOp(std::initializer_list<tagSIZE> pts)
    {
        for (const tagSIZE& p : pts)
            points.Add(p);
        op.pValidPolygon = &points;
    }
};

// A picture whose every pixel tells where it came from: blue and green hold the
// low bytes of x and of the memory row, red their high bits.
inline Frame CoordinatePicture(int w, int h, int bpp)
{
    Frame f(size_t(w) * h * bpp);
    for (int i = 0; i < h; ++i)
        for (int j = 0; j < w; ++j) {
            unsigned char* p = &f[(size_t(i) * w + j) * bpp];
            p[0] = uint8_t(j);
            p[1] = uint8_t(i);
            p[2] = uint8_t((j >> 8) | ((i >> 8) << 4));
            if (bpp == 4)
                p[3] = uint8_t(j * 3 + i);
        }
    return f;
}

inline int CoordX(const unsigned char* p) { return p[0] | ((p[2] & 0x0F) << 8); }
inline int CoordY(const unsigned char* p) { return p[1] | ((p[2] >> 4) << 8); }

}  // namespace test
}  // namespace zolvex
