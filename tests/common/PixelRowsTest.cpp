// The producer's frames as 4:2:0 planes: the BT.601 studio levels of known colours,
// chroma from each 2 × 2 block, the picture's top row from the last memory row, and
// the AVX2 build giving exactly the baseline's bytes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "filter/common/CpuDispatch.h"
#include "filter/common/PixelRows.h"

using namespace zolvex;

namespace {

struct Planes {
    std::vector<unsigned char> y, u, v;
};

Planes Convert(const std::vector<unsigned char>& bgr, int w, int h)
{
    Planes p{std::vector<unsigned char>(size_t(w) * h), std::vector<unsigned char>(size_t(w / 2) * (h / 2)),
             std::vector<unsigned char>(size_t(w / 2) * (h / 2))};
    BottomUpBgrToYuv420(bgr.data(), w, h, p.y.data(), w, p.u.data(), w / 2, p.v.data(), w / 2);
    return p;
}

// Sets the pixel at (x, y) of the picture (y from the top) in the bottom-up layout.
void Put(std::vector<unsigned char>& bgr, int w, int h, int x, int y, int r, int g, int b)
{
    unsigned char* p = &bgr[(size_t(h - 1 - y) * w + x) * 3];
    p[0] = (unsigned char)b;
    p[1] = (unsigned char)g;
    p[2] = (unsigned char)r;
}

TEST(PixelRows, KnownColoursLandOnTheirStudioLevels)
{
    // Four 2 × 2 blocks side by side on a 8 × 2 picture: white, black, red, and one
    // half red and half blue; the top row of the last block is red, its bottom blue.
    const int w = 8, h = 2;
    std::vector<unsigned char> bgr(size_t(w) * h * 3);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 2; ++x) {
            Put(bgr, w, h, x, y, 255, 255, 255);
            Put(bgr, w, h, 2 + x, y, 0, 0, 0);
            Put(bgr, w, h, 4 + x, y, 255, 0, 0);
            Put(bgr, w, h, 6 + x, y, y == 0 ? 255 : 0, 0, y == 0 ? 0 : 255);
        }
    }
    const Planes p = Convert(bgr, w, h);
    EXPECT_EQ(p.y[0], 235);
    EXPECT_EQ(p.y[2], 16);
    EXPECT_EQ(p.y[4], 82);
    EXPECT_EQ(p.y[6], 82) << "the picture's top row is red";
    EXPECT_EQ(p.y[w + 6], 41) << "its bottom row blue";
    const int u[] = {128, 128, 90, 165}, v[] = {128, 128, 240, 175};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(p.u[size_t(k)], u[k]) << k;
        EXPECT_EQ(p.v[size_t(k)], v[k]) << k;
    }
}

TEST(PixelRows, Avx2AndBaselineBuildsAgree)
{
    for (const auto& size : {std::pair<int, int>{720, 576}, {18, 6}, {2, 2}}) {
        const int w = size.first, h = size.second;
        std::vector<unsigned char> bgr(size_t(w) * h * 3);
        std::srand(unsigned(w));
        for (unsigned char& c : bgr)
            c = (unsigned char)(std::rand() & 255);
        AllowAvx2Kernels(false);
        const Planes base = Convert(bgr, w, h);
        AllowAvx2Kernels(true);
        const Planes fast = Convert(bgr, w, h);
        EXPECT_TRUE(base.y == fast.y && base.u == fast.u && base.v == fast.v) << w << " x " << h;
    }
}

}  // namespace
