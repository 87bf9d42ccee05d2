#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "filter/common/CpuDispatch.h"
#include "filter/common/RowSlices.h"
#include "tests/transitions/TransitionTestSupport.h"

using namespace zolvex::test;
using zolvex::testpic::MakeSecondPicture;
using zolvex::testpic::MakeTestPicture;

namespace {

enum { kCrossIn = 8, kCrossOut, kUpperLeft, kUpperRight, kRectangle, kMiniRectangle, kEllipse, kMiniEllipse };

int Grey(const Picture& f, int w, int bpp, int x, int row) { return PixelAt(f, w, bpp, x, row)[0]; }

TEST(Shapes, StartAndEndPicturesWhereTheShapesAreEmptyOrFull)
{
    for (int bpp : {3, 4}) {
        const int w = 160, h = 120;
        const Picture a = MakeTestPicture(w, h, bpp), b = MakeSecondPicture(w, h, bpp);
        for (int id : {kRectangle, kMiniRectangle})
            EXPECT_EQ(RenderTransition(id, w, h, bpp, 0.0, a, b), a) << id << " bpp " << bpp;
        for (int id : {kCrossIn, kUpperLeft, kUpperRight, kEllipse})
            EXPECT_EQ(RenderTransition(id, w, h, bpp, 1.0, a, b), b) << id << " bpp " << bpp;
        EXPECT_EQ(RenderTransition(kCrossOut, w, h, bpp, 0.0, a, b), a) << "bpp " << bpp;

        // Cross In starts with empty corner rectangles: only their soft rims, within
        // band (160 / 30 = 5) pixels of the corners, show any of the second picture.
        const Picture o = RenderTransition(kCrossIn, w, h, bpp, 0.0, a, b);
        for (int r = 0; r < h; ++r)
            for (int x = 0; x < w; ++x) {
                if ((x >= 5 && x < w - 5) || (r >= 5 && r < h - 5)) {
                    ASSERT_EQ(std::memcmp(PixelAt(o, w, bpp, x, r), PixelAt(a, w, bpp, x, r), bpp), 0) << x << "," << r;
                }
            }
    }
}

TEST(Shapes, CrossOutIsCrossInBackwardsWithThePicturesSwapped)
{
    const int w = 90, h = 64, bpp = 4;
    const Picture a = MakeTestPicture(w, h, bpp), b = MakeSecondPicture(w, h, bpp);
    for (double p : {0.125, 0.5, 0.875})
        EXPECT_EQ(RenderTransition(kCrossOut, w, h, bpp, p, a, b), RenderTransition(kCrossIn, w, h, bpp, 1.0 - p, b, a))
            << p;
}

// Halfway, with A black and B grey: where each transition has put the second picture.
TEST(Shapes, HalfwayTheSecondPictureIsWhereTheShapeIs)
{
    const int w = 120, h = 90, bpp = 3;
    const Picture a = Uniform(w, h, bpp, 0), b = Uniform(w, h, bpp, 200);
    const struct {
        int id;
        int bx, brow;  // a pixel of B
        int ax, arow;  // a pixel of A
    } cases[] = {
        {kCrossIn, 10, 80, 60, 45},     {kCrossIn, 110, 5, 10, 45},  // corners in, cross out
        {kCrossOut, 60, 45, 10, 80},    {kUpperLeft, 110, 80, 10, 80},  // top right grows
        {kUpperLeft, 110, 80, 110, 10}, {kUpperRight, 10, 80, 110, 80},  // top left grows
        {kUpperRight, 10, 80, 10, 10},  {kRectangle, 60, 45, 10, 10},
        {kEllipse, 60, 45, 0, 0},       {kMiniRectangle, 12, 9, 0, 0},
    };
    for (const auto& c : cases) {
        const Picture o = RenderTransition(c.id, w, h, bpp, 0.5, a, b);
        EXPECT_EQ(Grey(o, w, bpp, c.bx, c.brow), 200) << c.id;
        EXPECT_EQ(Grey(o, w, bpp, c.ax, c.arow), 0) << c.id;
    }
}

// Near the end the vertical arm of the cross is narrower than two soft edges: both
// edges still rise towards their own rectangle.
TEST(CrossIn, SoftEdgesOfANarrowArmRiseTowardsTheirRectangles)
{
    const int w = 120, h = 90, bpp = 3;  // band 4; at p 0.97 the rectangles end at 58 and start at 62
    const Picture o = RenderTransition(kCrossIn, w, h, bpp, 0.97, Uniform(w, h, bpp, 0), Uniform(w, h, bpp, 240));
    const int v57 = Grey(o, w, bpp, 57, 0), v58 = Grey(o, w, bpp, 58, 0), v59 = Grey(o, w, bpp, 59, 0);
    const int v60 = Grey(o, w, bpp, 60, 0), v61 = Grey(o, w, bpp, 61, 0), v62 = Grey(o, w, bpp, 62, 0);
    EXPECT_EQ(v57, 240);
    EXPECT_EQ(v62, 240);
    EXPECT_TRUE(v57 >= v58 && v58 > v59 && v59 > 0) << v58 << " " << v59;
    EXPECT_TRUE(v62 > v61 && v61 > v60 && v60 > 0) << v60 << " " << v61;
}

TEST(Shapes, CentredShapesAreMirrorSymmetric)
{
    // 400 × 200 divides evenly into both grids.
    const int w = 400, h = 200, bpp = 3;
    const Picture a = Uniform(w, h, bpp, 10), b = Uniform(w, h, bpp, 240);
    for (int id : {kRectangle, kMiniRectangle, kEllipse, kMiniEllipse})
        for (double p : {0.0, 0.3, 0.77, 1.0}) {
            const Picture o = RenderTransition(id, w, h, bpp, p, a, b);
            for (int r = 0; r < h; ++r)
                for (int x = 0; x < w; ++x) {
                    const int v = Grey(o, w, bpp, x, r);
                    ASSERT_EQ(v, Grey(o, w, bpp, w - 1 - x, r)) << id << " p " << p << " " << x << "," << r;
                    ASSERT_EQ(v, Grey(o, w, bpp, x, h - 1 - r)) << id << " p " << p << " " << x << "," << r;
                }
        }
}

TEST(MiniRectangle, AtTheEndCoversEachCellOfTheGridExactly)
{
    // Cells of 80 × 40, band 400 / 80 = 5: every pixel belongs to a rectangle, and its
    // value depends only on its depth inside its cell (1 at the cell's edge).
    const int w = 400, h = 200, bpp = 3;
    const Picture o = RenderTransition(kMiniRectangle, w, h, bpp, 1.0, Uniform(w, h, bpp, 0), Uniform(w, h, bpp, 250));
    std::map<int, int> byDepth;
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) {
            const int cx = x % 80, cy = r % 40;
            const int depth = std::min(std::min(cx + 1, 80 - cx), std::min(cy + 1, 40 - cy));
            const int v = Grey(o, w, bpp, x, r);
            const auto seen = byDepth.emplace(std::min(depth, 5), v).first;
            ASSERT_EQ(v, seen->second) << x << "," << r;
        }
    EXPECT_EQ(byDepth[5], 250);
    EXPECT_GT(byDepth[1], 0);
    for (int d = 1; d < 5; ++d)
        EXPECT_LT(byDepth[d], byDepth[d + 1]) << d;
}

// Blended pixels keep the alpha of the picture the output starts as; pixels taken
// whole from a picture bring its alpha along.
TEST(Shapes, AlphaOfBlendedPixelsIsThatOfTheStartingPicture)
{
    const int w = 160, h = 100, bpp = 4;  // every soft edge at least 2 pixels wide
    const Picture a = Uniform(w, h, bpp, 0, 11), b = Uniform(w, h, bpp, 200, 222);
    for (int id = kCrossIn; id <= kMiniEllipse; ++id) {
        const int startAlpha = id == kCrossOut ? 222 : 11;
        const Picture o = RenderTransition(id, w, h, bpp, 0.6, a, b);
        int blended = 0, fromB = 0;
        for (size_t k = 0; k < o.size(); k += 4) {
            if (o[k] != 0 && o[k] != 200) {
                ++blended;
                ASSERT_EQ(o[k + 3], startAlpha) << id << " pixel " << k / 4;
            }
            fromB += o[k + 3] == 222;
        }
        EXPECT_GT(blended, 0) << id;
        EXPECT_GT(fromB, 0) << id;
    }
}

TEST(Shapes, ResultDoesNotDependOnThreadsOrVectorKernels)
{
    const int w = 720, h = 576, bpp = 3;
    const Picture a = MakeTestPicture(w, h, bpp), b = MakeSecondPicture(w, h, bpp);
    for (int id = kCrossIn; id <= kMiniEllipse; ++id) {
        const Picture o = RenderTransition(id, w, h, bpp, 0.45, a, b);
        zolvex::SetSliceThreads(1);
        zolvex::AllowAvx2Kernels(false);
        EXPECT_EQ(RenderTransition(id, w, h, bpp, 0.45, a, b), o) << id;
        zolvex::SetSliceThreads(0);
        zolvex::AllowAvx2Kernels(true);
    }
}

}  // namespace
