// Regions of picture coordinates (y downwards): rectangles and polygons filled
// with the alternate (even-odd) rule. A pixel (x, y) belongs to a region by GDI's
// edge rules: left and top edges are inside, right and bottom edges outside.
//
// Per-pixel questions are answered from horizontal spans worked out once when
// the region is made, so effects can walk a row span by span.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Export.h"
#include "platform/wintypes.h"

// One run of pixels [x0, x1) of a row.
struct RegionSpan {
    int32_t x0;
    int32_t x1;
};

enum PolyFillMode { ALTERNATE = 1, WINDING = 2 };

class ZVF_API Region {
public:
    // Returns null when the region cannot be made (out of memory).
    static Region* CreateRect(int left, int top, int right, int bottom);
    // Only ALTERNATE filling is supported; other modes and n < 1 give null.
    static Region* CreatePolygon(const tagPOINT* points, int n, int fillMode);

    bool Contains(int x, int y) const;

    // The spans of row y, sorted and disjoint; `count` receives their number.
    // Rows far outside any frame are worked out on demand into `scratch`.
    const RegionSpan* RowSpans(int y, std::vector<RegionSpan>& scratch, int& count) const;

    // Smallest rectangle that holds the region (empty when the region is).
    tagRECT Bounds() const { return box_; }
    bool IsRect() const { return isRect_; }

    struct EdgeData {
        int64_t x0, y0, x1, y1;  // y0 < y1
    };

private:
    typedef EdgeData Edge;

    Region() = default;
    void CrossingSpans(int64_t y, std::vector<int64_t>& xs, std::vector<RegionSpan>& out) const;

    bool isRect_ = true;
    tagRECT box_{0, 0, 0, 0};
    std::vector<Edge> edges_;
    // Span table for rows [bandTop_, bandTop_ + rowStart_.size() - 1).
    int64_t bandTop_ = 0;
    std::vector<uint32_t> rowStart_;
    std::vector<RegionSpan> spans_;
    RegionSpan rectSpan_{0, 0};
};

typedef Region* HRGN;

// GDI-style entry points over Region; a null handle is a region that failed to be
// made and contains no point.
ZVF_API HRGN CreateRectRgn(int left, int top, int right, int bottom);
ZVF_API HRGN CreatePolygonRgn(const tagPOINT* points, int n, int fillMode);
ZVF_API BOOL PtInRegion(HRGN rgn, int x, int y);
ZVF_API BOOL DeleteObject(HRGN rgn);
