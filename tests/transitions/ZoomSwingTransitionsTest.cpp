#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "filter/common/CpuDispatch.h"
#include "filter/common/RowSlices.h"
#include "filter/transitions/fTavTransition.h"
#include "tests/transitions/TransitionTestSupport.h"

using namespace zolvex::test;

namespace {

const int kZoomSwingIds[] = {2, 3, 16, 17, 18, 19, 24, 25, 26, 27};

// Picture (x, y) with y counted from the top.
const unsigned char* At(const Picture& f, int w, int h, int bpp, int x, int y) { return PixelAt(f, w, bpp, x, h - 1 - y); }
unsigned char* At(Picture& f, int w, int h, int bpp, int x, int y)
{
    return f.data() + (size_t(h - 1 - y) * size_t(w) + size_t(x)) * size_t(bpp);
}

TEST(ZoomSwingTransitions, ShowTheFirstPictureAtTheStartAndTheSecondAtTheEnd)
{
    const int w = 37, h = 23;
    const Picture a = zolvex::testpic::MakeTestPicture(w, h, 3);
    const Picture b = Uniform(w, h, 3, 90);
    for (int id : kZoomSwingIds) {
        EXPECT_TRUE(RenderTransition(id, w, h, 3, 0.0, a, b) == a) << id;
        EXPECT_TRUE(RenderTransition(id, w, h, 3, 1.0, a, b) == b) << id;
    }
}

TEST(ZoomSwingTransitions, AlphaIsThatOfTheStartingPicture)
{
    const int w = 30, h = 20;
    const Picture a = zolvex::testpic::MakeTestPicture(w, h, 4);
    const Picture b = Uniform(w, h, 4, 50, 77);
    for (int id : kZoomSwingIds) {
        const Picture o = RenderTransition(id, w, h, 4, 0.4, a, b);
        const Picture& start = (id == 25 || id == 27) ? a : b;
        for (size_t i = 3; i < o.size(); i += 4)
            ASSERT_EQ(o[i], start[i]) << id << " byte " << i;
    }
}

TEST(ZoomSwingTransitions, SameResultOnOneThreadWithoutVectorKernels)
{
    const int w = 320, h = 240;  // large enough for the row workers
    for (int bpp : {3, 4}) {
        const Picture a = zolvex::testpic::MakeTestPicture(w, h, bpp);
        const Picture b = zolvex::testpic::MakeSecondPicture(w, h, bpp);
        for (int id : kZoomSwingIds) {
            const Picture o = RenderTransition(id, w, h, bpp, 0.3, a, b);
            zolvex::SetSliceThreads(1);
            zolvex::AllowAvx2Kernels(false);
            const Picture plain = RenderTransition(id, w, h, bpp, 0.3, a, b);
            zolvex::SetSliceThreads(0);
            zolvex::AllowAvx2Kernels(true);
            EXPECT_TRUE(plain == o) << id << " bpp " << bpp;
        }
    }
}

TEST(ZoomSwingTransitions, FadeZoomHalfWayShowsTheMiddleHalfTwiceAsLarge)
{
    // Blue = 4 × column, green = 4 × row from the top; mixed half and half with black.
    const int w = 64, h = 48;
    Picture grid = Uniform(w, h, 3, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char* px = At(grid, w, h, 3, x, y);
            px[0] = (unsigned char)(4 * x);
            px[1] = (unsigned char)(4 * y);
        }
    const Picture black = Uniform(w, h, 3, 0);
    for (int id : {2, 3}) {
        const Picture o = id == 2 ? RenderTransition(2, w, h, 3, 0.5, grid, black)
                                  : RenderTransition(3, w, h, 3, 0.5, black, grid);
        EXPECT_NEAR(At(o, w, h, 3, 0, 0)[0] / 2, w / 4, 1) << id;
        EXPECT_NEAR(At(o, w, h, 3, w - 1, 0)[0] / 2, 3 * w / 4, 1) << id;
        EXPECT_NEAR(At(o, w, h, 3, 0, 0)[1] / 2, h / 4, 1) << id;
        EXPECT_NEAR(At(o, w, h, 3, 0, h - 1)[1] / 2, 3 * h / 4, 1) << id;
    }
}

TEST(ZoomSwingTransitions, CenterSlipHalfWayIsAHalfSizeRectangleInTheMiddle)
{
    const int w = 37, h = 23;  // drawn 19 × 12 at column 9, row 5 from the top
    const Picture full = Uniform(w, h, 3, 200), none = Uniform(w, h, 3, 0);
    for (int id : {24, 25}) {
        const Picture o = id == 24 ? RenderTransition(24, w, h, 3, 0.5, full, none)
                                   : RenderTransition(25, w, h, 3, 0.5, none, full);
        int drawn = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool inside = x >= 9 && x < 28 && y >= 5 && y < 17;
                EXPECT_EQ(At(o, w, h, 3, x, y)[0], inside ? 100 : 0) << id << " at " << x << "," << y;
                drawn += inside;
            }
        EXPECT_EQ(drawn, 19 * 12);
    }
}

TEST(ZoomSwingTransitions, RotationByHalfATurnPutsTheTopLeftCornerBottomRight)
{
    // At half way both spins stand at 180° and half size: a box from (16, 12) to (48, 36).
    const int w = 64, h = 48;
    Picture marked = Uniform(w, h, 3, 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            At(marked, w, h, 3, x, y)[0] = 200;
    const Picture none = Uniform(w, h, 3, 0);
    for (int id : {26, 27}) {
        const Picture o = id == 26 ? RenderTransition(26, w, h, 3, 0.5, marked, none)
                                   : RenderTransition(27, w, h, 3, 0.5, none, marked);
        EXPECT_EQ(At(o, w, h, 3, 46, 34)[0], 100) << id;
        EXPECT_EQ(At(o, w, h, 3, 41, 29)[0], 0) << id;
        EXPECT_EQ(At(o, w, h, 3, 17, 13)[0], 0) << id;
        EXPECT_EQ(At(o, w, h, 3, 50, 38)[0], 0) << id;
    }
}

TEST(ZoomSwingTransitions, SwingKeepsTheHingeEdgeAndShortensTheFarEdge)
{
    const int w = 40, h = 36;
    const Picture a = zolvex::testpic::MakeTestPicture(w, h, 3);
    const Picture b = Uniform(w, h, 3, 90);
    const double p = 0.5;  // the door spans half the picture; its far edge is 1/6 shorter
    for (int id : {16, 17, 18, 19}) {
        const Picture o = RenderTransition(id, w, h, 3, p, a, b);
        const bool sideways = id <= 17;
        const int length = sideways ? h : w;
        for (int k = 0; k < length; ++k) {
            // (x, y) from the top-left: along the hinge, then along the far edge and beyond it.
            auto place = [&](int across) {
                const int far = (id == 16 || id == 18) ? across : (sideways ? w : h) - 1 - across;
                return sideways ? std::make_pair(far, k) : std::make_pair(k, far);
            };
            const auto hinge = place(0), beyond = place((sideways ? w : h) / 2 + 1);
            EXPECT_EQ(0, std::memcmp(At(o, w, h, 3, hinge.first, hinge.second), At(a, w, h, 3, hinge.first, hinge.second), 3))
                << id << " along the hinge at " << k;
            EXPECT_EQ(At(o, w, h, 3, beyond.first, beyond.second)[0], 90) << id << " beyond the door at " << k;
        }
        const auto corner = sideways ? std::make_pair(id == 16 ? w / 2 - 1 : w / 2, 0)
                                     : std::make_pair(0, id == 18 ? h / 2 - 1 : h / 2);
        EXPECT_EQ(At(o, w, h, 3, corner.first, corner.second)[0], 90) << id << " far corner";
    }
}

}  // namespace
