#include "platform/Region.h"

#include <algorithm>
#include <climits>
#include <new>

namespace {

// Rows whose spans are prepared when a polygon region is made. Frames never come
// near this size; rows further out are still answered, only more slowly.
constexpr int64_t kBandLimit = int64_t(1) << 16;
// A polygon whose prepared spans would exceed this many edge crossings is refused
// rather than allowed to eat the memory of the process.
constexpr int64_t kMaxCrossings = int64_t(1) << 24;

int32_t ClampToInt32(int64_t v)
{
    return static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(v, INT32_MIN), INT32_MAX));
}

// Smallest integer x with x >= the exact crossing of the edge with row y. A pixel
// x lies right of the crossing (or on it) exactly when x >= this value, which gives
// the left-edge-inside, right-edge-outside rule for the spans built from it.
int64_t CeilCrossing(int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t y)
{
    const __int128 den = y1 - y0;  // > 0
    const __int128 num = static_cast<__int128>(x0) * den + static_cast<__int128>(y - y0) * (x1 - x0);
    __int128 q = num / den;
    if (num % den != 0 && num > 0)
        ++q;
    return static_cast<int64_t>(q);
}

// The crossing of one edge with successive rows, kept as an exact quotient and
// remainder of the crossing's fraction so that moving down a row is an addition.
// Both stay within the edge's x range and its height, so 64 bits hold them.
struct EdgeStepper {
    int64_t q, r;    // crossing = q + r / den, 0 <= r < den
    int64_t qs, rs;  // step per row: (x1 - x0) / den as quotient and remainder
    int64_t den, y1;

    EdgeStepper(const Region::EdgeData& e, int64_t y) : den(e.y1 - e.y0), y1(e.y1)
    {
        const __int128 num = static_cast<__int128>(e.x0) * den + static_cast<__int128>(y - e.y0) * (e.x1 - e.x0);
        q = static_cast<int64_t>(num / den);
        r = static_cast<int64_t>(num % den);
        if (r < 0) {
            r += den;
            --q;
        }
        const int64_t dx = e.x1 - e.x0;
        qs = dx / den;
        rs = dx % den;
        if (rs < 0) {
            rs += den;
            --qs;
        }
    }
    int64_t Ceil() const { return q + (r > 0 ? 1 : 0); }
    void Step()
    {
        q += qs;
        r += rs;
        if (r >= den) {
            r -= den;
            ++q;
        }
    }
};

// Turns the sorted crossings of a row into disjoint spans (even-odd pairing),
// dropping empty ones and joining neighbours that touch.
void PairCrossings(const std::vector<int64_t>& xs, std::vector<RegionSpan>& out)
{
    const size_t rowBegin = out.size();
    for (size_t i = 0; i + 1 < xs.size(); i += 2) {
        const int32_t a = ClampToInt32(xs[i]);
        const int32_t b = ClampToInt32(xs[i + 1]);
        if (a >= b)
            continue;
        if (out.size() > rowBegin && out.back().x1 >= a) {
            out.back().x1 = std::max(out.back().x1, b);
            continue;
        }
        out.push_back(RegionSpan{a, b});
    }
}

}  // namespace

Region* Region::CreateRect(int left, int top, int right, int bottom)
{
    Region* r = new (std::nothrow) Region();
    if (!r)
        return nullptr;
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    if (left == right || top == bottom)
        left = right = top = bottom = 0;
    r->isRect_ = true;
    r->box_ = tagRECT{left, top, right, bottom};
    r->rectSpan_ = RegionSpan{left, right};
    return r;
}

Region* Region::CreatePolygon(const tagPOINT* points, int n, int fillMode)
{
    if (!points || n < 1 || fillMode != ALTERNATE)
        return nullptr;
    try {
        Region* r = new Region();
        r->isRect_ = false;
        int64_t left = points[0].x, right = points[0].x, top = points[0].y, bottom = points[0].y;
        for (int i = 0; i < n; ++i) {
            const tagPOINT& a = points[i];
            const tagPOINT& b = points[(i + 1) % n];
            left = std::min<int64_t>(left, a.x);
            right = std::max<int64_t>(right, a.x);
            top = std::min<int64_t>(top, a.y);
            bottom = std::max<int64_t>(bottom, a.y);
            if (a.y == b.y)
                continue;  // horizontal edges never cross a row
            if (a.y < b.y)
                r->edges_.push_back(Edge{a.x, a.y, b.x, b.y});
            else
                r->edges_.push_back(Edge{b.x, b.y, a.x, a.y});
        }
        if (r->edges_.empty())
            left = right = top = bottom = 0;
        r->box_ = tagRECT{ClampToInt32(left), ClampToInt32(top), ClampToInt32(right), ClampToInt32(bottom)};

        const int64_t bandTop = std::max(top, -kBandLimit);
        const int64_t bandBottom = std::min(bottom, kBandLimit);
        r->bandTop_ = bandTop;
        if (bandBottom <= bandTop)
            return r;

        int64_t crossings = 0;
        for (const Edge& e : r->edges_)
            crossings += std::max<int64_t>(0, std::min(e.y1, bandBottom) - std::max(e.y0, bandTop));
        if (crossings > kMaxCrossings) {
            delete r;
            return nullptr;
        }

        // Active-edge walk down the band: each row sees only the edges that cross it,
        // and each edge steps its exact crossing from row to row without dividing.
        std::vector<const Edge*> byTop;
        for (const Edge& e : r->edges_)
            byTop.push_back(&e);
        std::sort(byTop.begin(), byTop.end(), [](const Edge* a, const Edge* b) { return a->y0 < b->y0; });

        r->rowStart_.reserve(static_cast<size_t>(bandBottom - bandTop) + 1);
        r->spans_.reserve(static_cast<size_t>(crossings / 2));
        std::vector<EdgeStepper> active;
        std::vector<int64_t> xs;
        size_t next = 0;
        for (int64_t y = bandTop; y < bandBottom; ++y) {
            while (next < byTop.size() && byTop[next]->y0 <= y) {
                const Edge* e = byTop[next++];
                if (e->y1 > y)
                    active.push_back(EdgeStepper(*e, y));
            }
            xs.clear();
            bool ended = false;
            for (EdgeStepper& e : active) {
                if (e.y1 <= y) {
                    ended = true;  // the edge ended above this row
                    continue;
                }
                xs.push_back(e.Ceil());
                e.Step();
            }
            if (ended)
                active.erase(std::remove_if(active.begin(), active.end(),
                                            [y](const EdgeStepper& e) { return e.y1 <= y; }),
                             active.end());
            r->rowStart_.push_back(static_cast<uint32_t>(r->spans_.size()));
            if (xs.size() == 2) {  // by far the most common row: one run
                const int32_t x0 = ClampToInt32(std::min(xs[0], xs[1]));
                const int32_t x1 = ClampToInt32(std::max(xs[0], xs[1]));
                if (x0 < x1)
                    r->spans_.push_back(RegionSpan{x0, x1});
            } else {
                std::sort(xs.begin(), xs.end());
                PairCrossings(xs, r->spans_);
            }
        }
        r->rowStart_.push_back(static_cast<uint32_t>(r->spans_.size()));
        return r;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void Region::CrossingSpans(int64_t y, std::vector<int64_t>& xs, std::vector<RegionSpan>& out) const
{
    xs.clear();
    out.clear();
    for (const Edge& e : edges_)
        if (e.y0 <= y && y < e.y1)
            xs.push_back(CeilCrossing(e.x0, e.y0, e.x1, e.y1, y));
    std::sort(xs.begin(), xs.end());
    PairCrossings(xs, out);
}

const RegionSpan* Region::RowSpans(int y, std::vector<RegionSpan>& scratch, int& count) const
{
    count = 0;
    if (y < box_.top || y >= box_.bottom)
        return nullptr;
    if (isRect_) {
        count = 1;
        return &rectSpan_;
    }
    const int64_t row = static_cast<int64_t>(y) - bandTop_;
    if (row >= 0 && row + 1 < static_cast<int64_t>(rowStart_.size())) {
        const uint32_t first = rowStart_[static_cast<size_t>(row)];
        count = static_cast<int>(rowStart_[static_cast<size_t>(row) + 1] - first);
        return spans_.data() + first;
    }
    std::vector<int64_t> xs;
    CrossingSpans(y, xs, scratch);
    count = static_cast<int>(scratch.size());
    return scratch.data();
}

bool Region::Contains(int x, int y) const
{
    std::vector<RegionSpan> scratch;
    int count = 0;
    const RegionSpan* spans = RowSpans(y, scratch, count);
    for (int i = 0; i < count; ++i) {
        if (x < spans[i].x0)
            return false;
        if (x < spans[i].x1)
            return true;
    }
    return false;
}

HRGN CreateRectRgn(int left, int top, int right, int bottom)
{
    return Region::CreateRect(left, top, right, bottom);
}

HRGN CreatePolygonRgn(const tagPOINT* points, int n, int fillMode)
{
    return Region::CreatePolygon(points, n, fillMode);
}

BOOL PtInRegion(HRGN rgn, int x, int y)
{
    return rgn && rgn->Contains(x, y) ? TRUE : FALSE;
}

BOOL DeleteObject(HRGN rgn)
{
    if (!rgn)
        return FALSE;
    delete rgn;
    return TRUE;
}
