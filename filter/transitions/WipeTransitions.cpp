// Fade, erase and clock wipes.
#include <cstdint>
#include <vector>

#include "filter/common/CpuDispatch.h"
#include "filter/common/RowSlices.h"
#include "filter/transitions/TransitionKit.h"

using namespace zolvex::transition;

namespace {

// ---- whole-row blends --------------------------------------------------------------
// A blend over whole rows is one run of bytes: every byte is keep × A + take × B with
// weights that repeat every kLanes bytes. Colour bytes take (1 − w, w) as Blend does,
// so the result is Blend's to the bit; the alpha byte of 4-byte pixels takes (1, 0) or
// (0, 1), which reproduces one picture's alpha exactly.
constexpr int kLanes = 32;

struct RowWeights {
    float keep[kLanes];
    float take[kLanes];
};

RowWeights MakeRowWeights(float w, int bpp, bool alphaFromB)
{
    w = w > 0.0f ? (w < 1.0f ? w : 1.0f) : 0.0f;
    RowWeights rw;
    for (int j = 0; j < kLanes; ++j) {
        const bool alpha = bpp == 4 && j % 4 == 3;
        rw.keep[j] = alpha ? (alphaFromB ? 0.0f : 1.0f) : 1.0f - w;
        rw.take[j] = alpha ? (alphaFromB ? 1.0f : 0.0f) : w;
    }
    return rw;
}

// n bytes starting at a pixel boundary (a multiple of 4 bytes for 4-byte pixels).
ZOLVEX_ALWAYS_INLINE void BlendBytesRun(const uchar* __restrict__ a, const uchar* __restrict__ b, uchar* __restrict__ o,
                                        size_t n, const RowWeights& rw)
{
    float keep[kLanes], take[kLanes];
    for (int j = 0; j < kLanes; ++j) {
        keep[j] = rw.keep[j];
        take[j] = rw.take[j];
    }
    size_t k = 0;
    for (; k + kLanes <= n; k += kLanes)
        for (int j = 0; j < kLanes; ++j)
            o[k + j] = uchar(int(keep[j] * a[k + j] + take[j] * b[k + j]));
    for (int j = 0; k < n; ++k, ++j)
        o[k] = uchar(int(keep[j] * a[k] + take[j] * b[k]));
}

// A run of pixels whose weights change from byte to byte: keep and take hold n weights.
ZOLVEX_ALWAYS_INLINE void BlendSpanRun(const uchar* __restrict__ a, const uchar* __restrict__ b, uchar* __restrict__ o,
                                       size_t n, const float* __restrict__ keep, const float* __restrict__ take)
{
    for (size_t k = 0; k < n; ++k)
        o[k] = uchar(int(keep[k] * a[k] + take[k] * b[k]));
}

ZOLVEX_KERNEL_DISPATCH(BlendBytes, (const uchar* a, const uchar* b, uchar* o, size_t n, const RowWeights& rw),
                       (a, b, o, n, rw), BlendBytesRun(a, b, o, n, rw))
ZOLVEX_KERNEL_DISPATCH(BlendSpan,
                       (const uchar* a, const uchar* b, uchar* o, size_t n, const float* keep, const float* take),
                       (a, b, o, n, keep, take), BlendSpanRun(a, b, o, n, keep, take))

// Blends memory rows [first, last) with one weight.
void BlendRows(const Pictures& p, int first, int last, float w, bool alphaFromB)
{
    if (first >= last)
        return;
    const RowWeights rw = MakeRowWeights(w, p.bpp, alphaFromB);
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

    // Weights of every byte of the soft edge, the same on every row; the alpha byte is
    // taken whole from the part the edge lies in.
    const size_t edge = size_t(x - lo) * size_t(p.bpp);
    std::vector<float> keep(edge), take(edge);
    for (int j = lo; j < x; ++j) {
        const float d = float(x - j) / float(band);
        const float w = fromRight ? 1.0f - d : d;
        for (int c = 0; c < p.bpp; ++c) {
            const size_t k = size_t(j - lo) * size_t(p.bpp) + size_t(c);
            const bool alpha = c == 3;
            keep[k] = alpha ? (fromRight ? 1.0f : 0.0f) : 1.0f - w;
            take[k] = alpha ? (fromRight ? 0.0f : 1.0f) : w;
        }
    }
    const size_t leftBytes = size_t(lo) * size_t(p.bpp), rightBytes = size_t(p.w - x) * size_t(p.bpp);
    for (int r = 0; r < p.h; ++r) {
        std::memcpy(p.O(0, r), left + p.Offset(0, r), leftBytes);
        BlendSpan(p.A(lo, r), p.B(lo, r), p.O(lo, r), edge, keep.data(), take.data());
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
