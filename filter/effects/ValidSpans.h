// Walks the memory rows of a frame span by span against the effect's valid region,
// so that effects never ask the region pixel by pixel.
#pragma once

#include <algorithm>
#include <vector>

#include "platform/Region.h"

namespace zolvex {

class ValidSpans {
public:
    ValidSpans(const Region* rgn, int width, int height) : rgn_(rgn), width_(width), height_(height) {}

    // For memory row i, calls inside(x0, x1) for each run of valid pixels within
    // [0, limit) and outside(x0, x1) for the runs between them, left to right.
    // The row meets picture row height − i.
    template <class Inside, class Outside>
    void Walk(int i, int limit, Inside&& inside, Outside&& outside)
    {
        int x = 0;
        int count = 0;
        const RegionSpan* spans = rgn_ ? rgn_->RowSpans(height_ - i, scratch_, count) : nullptr;
        for (int k = 0; k < count; ++k) {
            const int a = std::max(spans[k].x0, 0);
            const int b = std::min(spans[k].x1, limit);
            if (a >= b)
                continue;
            if (a > x)
                outside(x, a);
            inside(a, b);
            x = b;
        }
        if (x < limit)
            outside(x, limit);
    }

    template <class Inside>
    void Walk(int i, int limit, Inside&& inside)
    {
        Walk(i, limit, inside, [](int, int) {});
    }

    // Whether every pixel of memory row i within [0, limit) is valid.
    bool Covers(int i, int limit)
    {
        bool whole = false;
        int runs = 0;
        Walk(i, limit, [&](int a, int b) { whole = ++runs == 1 && a == 0 && b == limit; });
        return whole && runs == 1;
    }

    int Width() const { return width_; }

private:
    const Region* rgn_;
    int width_;
    int height_;
    std::vector<RegionSpan> scratch_;
};

}  // namespace zolvex
