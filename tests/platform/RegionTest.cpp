#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/Region.h"

namespace {

// Even-odd ray casting in exact integer arithmetic: an independent statement of
// the rule that a pixel is inside when an odd number of edges cross its row at or
// left of it (edges own their top row, not their bottom one).
bool OracleInside(const std::vector<tagPOINT>& pts, int64_t x, int64_t y)
{
    int crossings = 0;
    const size_t n = pts.size();
    for (size_t k = 0; k < n; ++k) {
        tagPOINT lo = pts[k], hi = pts[(k + 1) % n];
        if (lo.y == hi.y)
            continue;
        if (lo.y > hi.y)
            std::swap(lo, hi);
        if (y < lo.y || y >= hi.y)
            continue;
        const __int128 dy = hi.y - lo.y;
        if (__int128(lo.x) * dy + __int128(y - lo.y) * (hi.x - lo.x) <= __int128(x) * dy)
            ++crossings;
    }
    return crossings % 2 == 1;
}

HRGN Polygon(const std::vector<tagPOINT>& pts)
{
    return CreatePolygonRgn(pts.data(), int(pts.size()), ALTERNATE);
}

TEST(Region, RectangleOwnsItsLeftAndTopEdgesOnly)
{
    HRGN r = CreateRectRgn(0, 0, 10, 5);
    EXPECT_TRUE(PtInRegion(r, 0, 0));
    EXPECT_TRUE(PtInRegion(r, 9, 4));
    EXPECT_FALSE(PtInRegion(r, 10, 0));
    EXPECT_FALSE(PtInRegion(r, 0, 5));
    EXPECT_FALSE(PtInRegion(r, -1, 2));
    DeleteObject(r);

    HRGN swapped = CreateRectRgn(10, 5, 0, 0);
    EXPECT_TRUE(PtInRegion(swapped, 0, 0));
    EXPECT_FALSE(PtInRegion(swapped, 10, 5));
    DeleteObject(swapped);

    HRGN empty = CreateRectRgn(3, 0, 3, 10);
    EXPECT_FALSE(PtInRegion(empty, 3, 5));
    DeleteObject(empty);
}

TEST(Region, NullRegionContainsNothing)
{
    EXPECT_FALSE(PtInRegion(nullptr, 0, 0));
    EXPECT_FALSE(DeleteObject(nullptr));
    tagPOINT p[3] = {{0, 0}, {5, 0}, {0, 5}};
    EXPECT_EQ(CreatePolygonRgn(p, 3, WINDING), nullptr);
    EXPECT_EQ(CreatePolygonRgn(p, 0, ALTERNATE), nullptr);
}

TEST(Region, SquarePolygonEqualsTheRectangle)
{
    HRGN poly = Polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
    HRGN rect = CreateRectRgn(0, 0, 10, 10);
    for (int y = -3; y < 14; ++y)
        for (int x = -3; x < 14; ++x)
            ASSERT_EQ(PtInRegion(poly, x, y), PtInRegion(rect, x, y)) << x << "," << y;
    DeleteObject(poly);
    DeleteObject(rect);
}

TEST(Region, TriangleEdges)
{
    HRGN t = Polygon({{0, 0}, {10, 0}, {0, 10}});
    EXPECT_TRUE(PtInRegion(t, 0, 0));
    EXPECT_TRUE(PtInRegion(t, 9, 0));
    EXPECT_FALSE(PtInRegion(t, 10, 0));
    EXPECT_TRUE(PtInRegion(t, 0, 9));   // the hypotenuse crosses row 9 at x = 1
    EXPECT_FALSE(PtInRegion(t, 1, 9));
    EXPECT_FALSE(PtInRegion(t, 0, 10));
    DeleteObject(t);
}

TEST(Region, FewerThanThreePointsMakeAnEmptyRegion)
{
    HRGN line = Polygon({{0, 0}, {10, 10}});
    ASSERT_NE(line, nullptr);
    for (int k = 0; k < 10; ++k)
        EXPECT_FALSE(PtInRegion(line, k, k));
    DeleteObject(line);
}

TEST(Region, StarCentreIsOutsideUnderTheAlternateRule)
{
    HRGN star = Polygon({{50, 0}, {79, 90}, {2, 35}, {98, 35}, {21, 90}});
    EXPECT_FALSE(PtInRegion(star, 50, 50));
    EXPECT_TRUE(PtInRegion(star, 50, 10));
    DeleteObject(star);
}

TEST(Region, RandomPolygonsMatchRayCasting)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        std::vector<tagPOINT> pts(3 + rng() % 10);
        for (tagPOINT& p : pts)
            p = tagPOINT{LONG(rng() % 61) - 20, LONG(rng() % 61) - 20};
        HRGN r = Polygon(pts);
        ASSERT_NE(r, nullptr);
        std::vector<RegionSpan> scratch;
        for (int y = -22; y < 43; ++y) {
            int count = 0;
            const RegionSpan* spans = r->RowSpans(y, scratch, count);
            for (int k = 0; k < count; ++k) {
                ASSERT_LT(spans[k].x0, spans[k].x1);
                if (k) {
                    ASSERT_LT(spans[k - 1].x1, spans[k].x0) << "spans are sorted, disjoint and not touching";
                }
            }
            for (int x = -22; x < 43; ++x)
                ASSERT_EQ(PtInRegion(r, x, y) != 0, OracleInside(pts, x, y)) << "round " << round << " at " << x
                                                                             << "," << y;
        }
        DeleteObject(r);
    }
}

TEST(Region, RowsFarOutsideAnyFrameAreStillAnswered)
{
    std::vector<tagPOINT> pts = {{-3000000, -2000000}, {4000000, 100}, {100, 3000000}};
    HRGN r = Polygon(pts);
    ASSERT_NE(r, nullptr);
    std::mt19937 rng(3);
    for (int k = 0; k < 2000; ++k) {
        const int x = int(rng() % 8000001) - 4000000, y = int(rng() % 6000001) - 3000000;
        ASSERT_EQ(PtInRegion(r, x, y) != 0, OracleInside(pts, x, y)) << x << "," << y;
    }
    DeleteObject(r);
}

TEST(Region, AbsurdPolygonIsRefusedNotAllocated)
{
    std::vector<tagPOINT> zigzag;
    for (int k = 0; k < 400; ++k)
        zigzag.push_back(tagPOINT{k, (k % 2) ? 60000 : -60000});
    EXPECT_EQ(Polygon(zigzag), nullptr);
}

}  // namespace
