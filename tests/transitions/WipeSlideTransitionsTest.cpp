#include <gtest/gtest.h>

#include <cstring>

#include "filter/common/CpuDispatch.h"
#include "filter/common/RowSlices.h"
#include "tests/transitions/TransitionTestSupport.h"

using namespace zolvex::test;
using zolvex::testpic::MakeSecondPicture;
using zolvex::testpic::MakeTestPicture;

namespace {

const int kFade = 1, kEraseLeft = 4, kEraseRight = 5, kEraseTop = 6, kEraseBottom = 7;
const int kChangeLR = 20, kChangeRL = 21, kSideTB = 22, kSideBT = 23, kClock = 28;

bool SamePixel(const Picture& f, const Picture& g, int w, int bpp, int x, int gx, int row)
{
    return std::memcmp(PixelAt(f, w, bpp, x, row), PixelAt(g, w, bpp, gx, row), size_t(bpp)) == 0;
}

// Moves pixel (x, row) to (mirror ? w − 1 − x : row, mirror ? row : x); transposing needs w = h.
Picture Moved(const Picture& f, int w, int h, int bpp, bool mirror)
{
    Picture m(f.size());
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) {
            const size_t to = mirror ? size_t(r) * w + (w - 1 - x) : size_t(x) * w + r;
            std::memcpy(&m[to * bpp], PixelAt(f, w, bpp, x, r), size_t(bpp));
        }
    return m;
}

TEST(WipeSlide, StartIsExactlyTheFirstPictureAndEndTheSecond)
{
    for (int bpp : {3, 4}) {
        const Picture a = MakeTestPicture(37, 23, bpp), b = MakeSecondPicture(37, 23, bpp);
        for (int id : {kFade, kChangeLR, kChangeRL, kSideTB, kSideBT}) {
            EXPECT_EQ(RenderTransition(id, 37, 23, bpp, 0.0, a, b), a) << id << " bpp " << bpp;
            EXPECT_EQ(RenderTransition(id, 37, 23, bpp, 1.0, a, b), b) << id << " bpp " << bpp;
        }
    }
}

TEST(Fade, IsTheTruncatedBlendOfEveryColourByte)
{
    const Picture o = RenderTransition(kFade, 4, 2, 3, 0.5, Uniform(4, 2, 3, 0), Uniform(4, 2, 3, 255));
    EXPECT_EQ(o, Uniform(4, 2, 3, 127));

    // A full frame runs through the vector kernels and the row workers; the result must
    // not depend on either.
    const int w = 720, h = 576;
    for (int bpp : {3, 4}) {
        const Picture a = MakeTestPicture(w, h, bpp), b = MakeSecondPicture(w, h, bpp);
        for (double p : {0.3, 0.7}) {
            const float wb = float(p), wa = 1.0f - wb;
            const Picture o = RenderTransition(kFade, w, h, bpp, p, a, b);
            zolvex::SetSliceThreads(1);
            zolvex::AllowAvx2Kernels(false);
            EXPECT_EQ(RenderTransition(kFade, w, h, bpp, p, a, b), o);
            zolvex::SetSliceThreads(0);
            zolvex::AllowAvx2Kernels(true);
            for (size_t k = 0; k < o.size(); ++k) {
                // The alpha byte follows the picture that weighs more.
                const int want = bpp == 4 && k % 4 == 3 ? (p < 0.5 ? a[k] : b[k]) : int(wa * a[k] + wb * b[k]);
                ASSERT_EQ(o[k], want) << "bpp " << bpp << " p " << p << " byte " << k;
            }
        }
    }
}

TEST(Erase, FromLeftHasAHardPartASoftEdgeAndTheRest)
{
    const int w = 640, h = 4;  // band 32
    const Picture a = Uniform(w, h, 3, 0), b = Uniform(w, h, 3, 255);
    const Picture half = RenderTransition(kEraseLeft, w, h, 3, 0.5, a, b);
    const Picture end = RenderTransition(kEraseLeft, w, h, 3, 1.0, a, b);
    for (int x = 0; x < w; ++x) {
        const int mid = PixelAt(half, w, 3, x, 2)[0];
        if (x <= 288)
            EXPECT_EQ(mid, 255) << x;
        else if (x < 320)
            EXPECT_EQ(mid, int(float(320 - x) / 32 * 255)) << x;
        else
            EXPECT_EQ(mid, 0) << x;
        // At the end the last 31 columns still lean towards A.
        EXPECT_EQ(PixelAt(end, w, 3, x, 1)[1], x <= 608 ? 255 : int(float(w - x) / 32 * 255)) << x;
    }
}

TEST(Erase, OtherDirectionsFollowTheLeftOne)
{
    for (int bpp : {3, 4}) {
        // From the right is from the left with the pictures swapped and the time reversed.
        const Picture a = MakeTestPicture(640, 6, bpp), b = MakeSecondPicture(640, 6, bpp);
        for (double p : {0.25, 0.5, 0.75})
            EXPECT_EQ(RenderTransition(kEraseRight, 640, 6, bpp, p, a, b),
                      RenderTransition(kEraseLeft, 640, 6, bpp, 1 - p, b, a))
                << p;

        // On a square picture, bottom and top are left and right along the rows.
        const int n = 64;
        const Picture sa = MakeTestPicture(n, n, bpp), sb = MakeSecondPicture(n, n, bpp);
        const Picture ta = Moved(sa, n, n, bpp, false), tb = Moved(sb, n, n, bpp, false);
        for (double p : {0.0, 0.3, 0.5, 0.9, 1.0}) {
            EXPECT_EQ(Moved(RenderTransition(kEraseBottom, n, n, bpp, p, sa, sb), n, n, bpp, false),
                      RenderTransition(kEraseLeft, n, n, bpp, p, ta, tb))
                << p;
            EXPECT_EQ(Moved(RenderTransition(kEraseTop, n, n, bpp, p, sa, sb), n, n, bpp, false),
                      RenderTransition(kEraseRight, n, n, bpp, p, ta, tb))
                << p;
        }
    }
}

TEST(Side, RowsMoveWithTheirPicture)
{
    const int w = 9, h = 40;
    const Picture a = MakeTestPicture(w, h, 3), b = MakeSecondPicture(w, h, 3);
    const size_t row = size_t(w) * 3;
    // At a quarter, B's bottom 10 rows came in at the top and A's top 30 rows went down.
    const Picture down = RenderTransition(kSideTB, w, h, 3, 0.25, a, b);
    EXPECT_TRUE(std::equal(down.begin(), down.begin() + 30 * row, a.begin() + 10 * row));
    EXPECT_TRUE(std::equal(down.begin() + 30 * row, down.end(), b.begin()));
    const Picture up = RenderTransition(kSideBT, w, h, 3, 0.25, a, b);
    EXPECT_TRUE(std::equal(up.begin(), up.begin() + 10 * row, b.begin() + 30 * row));
    EXPECT_TRUE(std::equal(up.begin() + 10 * row, up.end(), a.begin()));
}

TEST(Change, ColumnsComeFromWhereEachPhasePutsThem)
{
    const int w = 64, h = 3, bpp = 4;
    const Picture a = MakeTestPicture(w, h, bpp), b = MakeSecondPicture(w, h, bpp);
    // A quarter in, B's columns 16–31 lead in from the left and A has moved 16 columns
    // right; three quarters in, B's columns 16–63 fill the left and A's 32–47 the right.
    const Picture q1 = RenderTransition(kChangeLR, w, h, bpp, 0.25, a, b);
    const Picture q3 = RenderTransition(kChangeLR, w, h, bpp, 0.75, a, b);
    for (int x = 0; x < w; ++x) {
        EXPECT_TRUE(x < 16 ? SamePixel(q1, b, w, bpp, x, x + 16, 1) : SamePixel(q1, a, w, bpp, x, x - 16, 1)) << x;
        EXPECT_TRUE(x < 48 ? SamePixel(q3, b, w, bpp, x, x + 16, 2) : SamePixel(q3, a, w, bpp, x, x - 16, 2)) << x;
    }
    // Right to left is the mirror image.
    const Picture ma = Moved(a, w, h, bpp, true), mb = Moved(b, w, h, bpp, true);
    for (double p : {0.25, 0.5, 0.75})
        EXPECT_EQ(Moved(RenderTransition(kChangeRL, w, h, bpp, p, ma, mb), w, h, bpp, true),
                  RenderTransition(kChangeLR, w, h, bpp, p, a, b))
            << p;
}

TEST(Clock, HandsStartAndEndAsThinWedgesAtTheCentre)
{
    const int w = 160, h = 120;
    const Picture a = Uniform(w, h, 3, 10), b = Uniform(w, h, 3, 200);
    const Picture start = RenderTransition(kClock, w, h, 3, 0.0, a, b);
    EXPECT_EQ(PixelAt(start, w, 3, w / 2, h - 1)[0], 200);  // top centre already B
    EXPECT_EQ(PixelAt(start, w, 3, w - 1, h - 1)[0], 10);
    EXPECT_TRUE(std::equal(start.begin(), start.begin() + size_t(w) * 3 * (h / 2), a.begin()));

    const Picture end = RenderTransition(kClock, w, h, 3, 1.0, a, b);
    EXPECT_EQ(PixelAt(end, w, 3, w / 2, 0)[0], 10);  // bottom centre still A
    EXPECT_EQ(PixelAt(end, w, 3, 0, 0)[0], 200);
    EXPECT_TRUE(std::equal(end.begin() + size_t(w) * 3 * (h / 2), end.end(), b.begin() + size_t(w) * 3 * (h / 2)));
}

}  // namespace
