// Fade, erase and clock wipes.
#include <cstdint>
#include <vector>

#include "filter/common/RowSlices.h"
#include "filter/transitions/TransitionKit.h"

using namespace zolvex::transition;

namespace {

// ---- whole-row blends --------------------------------------------------------------

// Blends memory rows [first, last) with one weight.
void BlendRows(const Pictures& p, int first, int last, float w, bool alphaFromB)
{
    if (first >= last)
        return;
    const LaneWeights rw = MakeLaneWeights(w, p.bpp, alphaFromB);
    const auto job = [&](int begin, int end) {
        const size_t from = p.Offset(0, first + begin);
        BlendBytes(p.a + from, p.b + from, p.o + from, size_t(end - begin) * p.stride, rw);
    };
    // A few rows are not worth handing to the row workers.
    if (last - first < 8)
        job(0, last - first);
    else
        zolvex::RunRowSlices(last - first, int64_t(p.stride), job);
}

void CopyRows(const Pictures& p, const uchar* from, int first, int last)
{
    if (first < last)
        std::memcpy(p.o + p.Offset(0, first), from + p.Offset(0, first), size_t(last - first) * p.stride);
}

// ---- erase ---------------------------------------------------------------------------

// From the left (B in columns [0, x), soft edge in B's part) or from the right (A in
// [0, x), soft edge in A's part). Blended pixels keep the alpha of the part they lie in.
void EraseAcross(const Pictures& p, float progress, int band, bool fromRight)
{
    const int x = fromRight ? p.w - Trunc(p.w * progress) : Trunc(p.w * progress);
    const int lo = band > 0 ? std::max(x - band + 1, 0) : x;
    const uchar* left = fromRight ? p.a : p.b;
    const uchar* right = fromRight ? p.b : p.a;

    // Weights of the soft edge, the same on every row. The edge lies in the left-hand
    // part and starts as that part's pixels, so its alpha byte is that part's.
    std::vector<float> weights(size_t(x - lo));
    for (int j = lo; j < x; ++j) {
        const float d = float(x - j) / float(band);
        weights[size_t(j - lo)] = fromRight ? 1.0f - d : d;
    }
    const size_t leftBytes = size_t(x) * size_t(p.bpp), rightBytes = size_t(p.w - x) * size_t(p.bpp);
    for (int r = 0; r < p.h; ++r) {
        std::memcpy(p.O(0, r), left + p.Offset(0, r), leftBytes);
        BlendPixels(p.A(lo, r), p.B(lo, r), p.O(lo, r), weights.data(), x - lo, p.bpp);
        std::memcpy(p.O(x, r), right + p.Offset(x, r), rightBytes);
    }
}

// From the top (B above row y, soft edge below it in A's part) or from the bottom (A from
// row y up, soft edge below it in B's part). Row y itself is the limit of the soft edge:
// B from the top, A from the bottom.
void EraseAlong(const Pictures& p, float progress, int band, bool fromTop)
{
    const int y = fromTop ? p.h - Trunc(p.h * progress) : Trunc(p.h * progress);
    const int lo = band > 0 ? std::max(y - band + 1, 0) : y;
    const uchar* below = fromTop ? p.a : p.b;
    const uchar* above = fromTop ? p.b : p.a;

    CopyRows(p, below, 0, lo);
    for (int r = lo; r < y; ++r) {
        const float d = float(y - r) / float(band);
        BlendRows(p, r, r + 1, fromTop ? 1.0f - d : d, !fromTop);
    }
    CopyRows(p, above, y, p.h);
}

// ---- clock ---------------------------------------------------------------------------

// |trunc(dy / t)| held to cap, without converting an out-of-range double.
int Reach(int dy, double t, int cap)
{
    const double v = std::fabs(dy / t);
    return v < cap ? int(v) : cap;
}

}  // namespace

void CfTavTransition::Fade(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (!Prepare(*this, a, b, o, p))
        return;
    const float w = float(Progress(*this));
    // The alpha byte of 4-byte pixels comes from the picture that weighs more, so the
    // fade starts at exactly A and ends at exactly B.
    if (w <= 0.0f)
        std::memcpy(o, a, p.Bytes());
    else if (w >= 1.0f)
        std::memcpy(o, b, p.Bytes());
    else
        BlendRows(p, 0, p.h, w, w >= 0.5f);
}

void CfTavTransition::Erase(const uchar* a, const uchar* b, uchar* o, int direction)
{
    Pictures p;
    if (!Prepare(*this, a, b, o, p))
        return;
    const float progress = float(Progress(*this));
    const int band = p.w / 20;  // the same soft edge in all four directions
    switch (direction) {
    case 0:
    case 1:
        EraseAcross(p, progress, band, direction == 1);
        break;
    case 2:
    case 3:
        EraseAlong(p, progress, band, direction == 2);
        break;
    default:
        std::memcpy(o, b, p.Bytes());
        break;
    }
}

void CfTavTransition::Clock(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (!Prepare(*this, a, b, o, p))
        return;
    const int f = Trunc(360 * float(Progress(*this)));
    // Each hand sweeps 90° per half: g is the hands' angle above (first half) or below
    // (second half) the horizontal. The second half counts from 180 rather than taking
    // f mod 180, so that 360° ends on the thin wedge at the bottom centre instead of
    // jumping back to a nearly full half of A.
    const bool firstHalf = f <= 180;
    int g = firstHalf ? 90 - f / 2 : (f - 180) / 2;
    g = std::min(std::max(g, 1), 89);
    const double toRadians = 3.14159265 * 0.005555555555555556;
    const double tanHand = std::tan(g * toRadians);
    const double tanEdge = std::tan(std::max(g - 5, 1) * toRadians);

    // The wedge between the hands shows B in the first half (over A) and A in the second
    // (over B); the other half of the picture is untouched.
    const uchar* inside = firstHalf ? b : a;
    const uchar* outside = firstHalf ? a : b;
    const int mid = p.h / 2, c = p.w / 2;
    const int first = firstHalf ? mid : 0, last = firstHalf ? p.h : mid;
    CopyRows(p, outside, firstHalf ? 0 : mid, firstHalf ? mid : p.h);

    const size_t bpp = size_t(p.bpp);
    for (int r = first; r < last; ++r) {
        const int dy = r - mid;
        const int u = Reach(dy, tanHand, c);
        const int ea = std::max(Reach(dy, tanEdge, c), u);
        const int e = ea - u;  // width of each soft edge
        const size_t row = p.Offset(0, r);
        std::memcpy(o + row, outside + row, p.stride);
        std::memcpy(o + row + size_t(c - u) * bpp, inside + row + size_t(c - u) * bpp, size_t(2 * u) * bpp);
        // Edge pixel k away from the wedge keeps (e − k) / (e + 1) of the wedge's picture.
        for (int k = 0; k < e; ++k) {
            const float w = firstHalf ? float(e - k) / float(e + 1) : float(k + 1) / float(e + 1);
            Blend(p.A(c + u + k, r), p.B(c + u + k, r), p.O(c + u + k, r), w);
            Blend(p.A(c - u - 1 - k, r), p.B(c - u - 1 - k, r), p.O(c - u - 1 - k, r), w);
        }
    }
}
