// Shapes of one picture growing over the other: a cross of corner rectangles, a
// rectangle from a corner, centred rectangles and ellipses, and grids of small ones.
// Every transition works row by row: a row starts as one picture, the parts taken
// unchanged from the other are block copies, and only the soft edges are blended,
// from a row of weights.
//
// Shapes around a centre are symmetric about the pixel edge at the centre: a half
// size of n covers the n pixels on either side of it.
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "filter/common/CpuDispatch.h"
#include "filter/common/RowSlices.h"
#include "filter/transitions/TransitionKit.h"

using namespace zolvex::transition;

namespace {

// Blends pixels [x, x + n) of memory row r from s towards t with weights w[0 … n).
void BlendSpan(const Pictures& p, const uchar* s, const uchar* t, int r, int x, const float* w, int n)
{
    if (n <= 0)
        return;
    const size_t at = p.Offset(x, r);
    BlendPixels(s + at, t + at, p.o + at, w, n, p.bpp);
}

// Copies whole pixels [x0, x1) of memory row r from src into O, within the picture.
void CopySpan(const Pictures& p, const uchar* src, int r, int x0, int x1)
{
    x0 = std::max(x0, 0);
    x1 = std::min(x1, p.w);
    if (x1 > x0)
        std::memcpy(p.O(x0, r), src + p.Offset(x0, r), size_t(x1 - x0) * size_t(p.bpp));
}

void CopyRow(const Pictures& p, const uchar* src, int r) { std::memcpy(p.O(0, r), src + p.Offset(0, r), p.stride); }

// Fraction of a soft edge of `band` pixels at g pixels into it (only called where the
// edge has pixels, so band > 0).
inline float Ramp(int g, int band) { return float(g) / float(band); }

// Runs job(r, weights) over every memory row, spread over cores for large pictures;
// weights is scratch room for one row.
template <class Job>
void ForEachRow(const Pictures& p, const Job& job)
{
    zolvex::RunRowSlices(p.h, int64_t(p.stride), [&](int begin, int end) {
        std::vector<float> weights(size_t(p.w));
        for (int r = begin; r < end; ++r)
            job(r, weights.data());
    });
}

// ---------------------------------------------------------------------------------
// Cross: corner rectangles of t grow over s until they meet. Cross Out is Cross In
// run backwards with the pictures swapped, so its weights need no flipping.

void CrossRows(const Pictures& p, const uchar* s, const uchar* t, float q)
{
    const int W = p.w, H = p.h;
    const int hx = Trunc(W * q * 0.5), hy = Trunc(H * q * 0.5);
    const int band = W / 30;
    // Inner soft edges of the left and right corner rectangles, never past the middle.
    const int leftEnd = std::min(hx + band, W / 2);
    const int rightOrigin = W - hx - band;
    const int rightBegin = std::max(rightOrigin, W / 2);
    // The corner rows share their ramps. The right one is measured from the unclamped
    // edge so that it meets its rectangle at full weight even where the two rectangles
    // almost touch, as the left one does.
    std::vector<float> leftRamp, rightRamp;
    for (int i = hx; i < leftEnd; ++i)
        leftRamp.push_back(1.0f - Ramp(i - hx, band));
    for (int i = rightBegin; i < W - hx; ++i)
        rightRamp.push_back(Ramp(i - rightOrigin, band));

    ForEachRow(p, [&](int r, float* w) {
        CopyRow(p, s, r);
        if (r <= hy || r >= H - hy) {
            CopySpan(p, t, r, 0, hx);
            CopySpan(p, t, r, W - hx, W);
            BlendSpan(p, s, t, r, hx, leftRamp.data(), int(leftRamp.size()));
            BlendSpan(p, s, t, r, rightBegin, rightRamp.data(), int(rightRamp.size()));
            return;
        }
        // Rows just inside the corner rows: the outer columns fade with the distance
        // to the nearer corner rectangle, the inner corners with the larger of the
        // distances to its two inner edges.
        float wRow = -1.0f;
        if (r < hy + band)
            wRow = Ramp(hy + band - r, band);
        if (r > H - hy - band)
            wRow = std::max(wRow, Ramp(r - (H - hy - band), band));
        if (wRow < 0.0f)
            return;
        std::fill(w, w + hx, wRow);
        BlendSpan(p, s, t, r, 0, w, hx);
        BlendSpan(p, s, t, r, W - hx, w, hx);
        const int dy = std::abs(std::abs(r - H / 2) + hy - H / 2);
        const auto corner = [&](int from, int to) {
            for (int i = from; i < to; ++i) {
                const int dx = std::abs(std::abs(i - W / 2) + hx - W / 2);
                w[i - from] = std::max(1.0f - Ramp(std::max(dy, dx), band), 0.0f);
            }
            BlendSpan(p, s, t, r, from, w, to - from);
        };
        corner(hx, leftEnd);
        corner(rightBegin, W - hx);
    });
}

// ---------------------------------------------------------------------------------
// Rectangles of B with a soft inner rim, over rows that start as A.

struct SoftRect {
    int left, right, bottom, top;  // columns [left, right), memory rows [bottom, top)
};

// Draws row r of the rectangle. A pixel's depth is its distance to the nearest edge,
// the edge pixel counting 1: the edge pixel is the first step of the rim, and pixels
// `band` or more deep are B.
void RectRow(const Pictures& p, const SoftRect& q, int band, int r, float* w)
{
    const int x0 = std::max(q.left, 0), x1 = std::min(q.right, p.w);
    if (r < q.bottom || r >= q.top || x0 >= x1)
        return;
    const int dy = std::min(r - q.bottom + 1, q.top - r);
    const auto rim = [&](int from, int to) {
        from = std::max(from, x0);
        to = std::min(to, x1);
        for (int x = from; x < to; ++x)
            w[x - from] = Ramp(std::min(std::min(x - q.left + 1, q.right - x), dy), band);
        BlendSpan(p, p.a, p.b, r, from, w, to - from);
    };
    if (dy < band) {
        rim(x0, x1);
        return;
    }
    // Columns less than band deep are rim, the rest is B.
    const int m = std::max(band - 1, 0);
    const int innerL = q.left + m, innerR = std::max(q.right - m, innerL);
    rim(q.left, innerL);
    rim(innerR, q.right);
    CopySpan(p, p.b, r, std::max(innerL, x0), std::min(innerR, x1));
}

// ---------------------------------------------------------------------------------
// Ellipses of B with a soft outer rim, over rows that start as A.

struct SoftEllipse {
    int cx, cy;  // centre: the pixel edge at column cx and memory row cy
    float a, b;  // semi-axes of the ellipse that is B
    float rim;   // how much wider the outer ellipse is
    int x0, x1;  // clip: columns [x0, x1) and memory rows [y0, y1)
    int y0, y1;
};

// Half-width, in whole pixels either side of the centre, of the ellipse with
// semi-axes (a, b) on a row whose pixel centres lie dy from its centre; −1 when the
// row misses it. A pixel whose centre lies on the ellipse is inside.
inline int HalfWidth(float a, float b, float dy)
{
    if (!(a > 0.0f && b > 0.0f) || dy > b)
        return -1;
    const float t = dy / b;
    return Round(a * std::sqrt(std::max(1.0f - t * t, 0.0f)));
}

// Weights of n rim pixels in a row of the outer ellipse: the weight fades over the
// outer tenth of the normalised radius rho = √(rx² + ry²), and further in it is B.
// fx is the horizontal offset of the first pixel's centre from the ellipse's centre,
// iao the inverse of the outer semi-axis, ry2 the row's ry². The four-lane loop does
// the same float steps as the scalar one, so both give the same weights.
void RimWeights(float* w, int n, float fx, float iao, float ry2)
{
    int i = 0;
#if defined(__SSE2__)
    const __m128 vIao = _mm_set1_ps(iao), vRy2 = _mm_set1_ps(ry2), one = _mm_set1_ps(1.0f),
                 ten = _mm_set1_ps(10.0f), zero = _mm_setzero_ps();
    for (; i + 4 <= n; i += 4) {
        const __m128 x = _mm_add_ps(_mm_set1_ps(fx), _mm_set_ps(float(i + 3), float(i + 2), float(i + 1), float(i)));
        const __m128 rx = _mm_mul_ps(x, vIao);
        const __m128 rho = _mm_sqrt_ps(_mm_add_ps(_mm_mul_ps(rx, rx), vRy2));
        const __m128 v = _mm_min_ps(_mm_mul_ps(_mm_sub_ps(one, rho), ten), one);
        _mm_storeu_ps(w + i, _mm_max_ps(v, zero));
    }
#endif
    for (; i < n; ++i) {
        const float rx = (fx + float(i)) * iao;
        const float v = (1.0f - std::sqrt(rx * rx + ry2)) * 10.0f;
        w[i] = std::max(std::min(v, 1.0f), 0.0f);
    }
}

void EllipseRow(const Pictures& p, const SoftEllipse& e, int r, float* w)
{
    if (r < e.y0 || r >= e.y1)
        return;
    const float ao = e.rim + e.a, bo = e.rim + e.b;
    const float dy = std::fabs(float(r) + 0.5f - float(e.cy));
    const int outer = HalfWidth(ao, bo, dy);
    if (outer < 0)
        return;
    const int inner = std::max(HalfWidth(e.a, e.b, dy), 0);
    const int innerL = e.cx - inner, innerR = e.cx + inner;
    CopySpan(p, p.b, r, std::max(innerL, e.x0), std::min(innerR, e.x1));

    const float iao = 1.0f / ao, ibo = 1.0f / bo;
    const float ry2 = (dy * ibo) * (dy * ibo);
    const auto rim = [&](int from, int to) {
        from = std::max(from, e.x0);
        to = std::min(to, e.x1);
        RimWeights(w, to - from, float(from - e.cx) + 0.5f, iao, ry2);
        BlendSpan(p, p.a, p.b, r, from, w, to - from);
    };
    rim(e.cx - outer, innerL);
    rim(innerR, e.cx + outer);
}

// Scale of a growing ellipse over its base half-size (cx, cy), at least one row high.
// A base of 0 (a picture too small for its grid) divides as 1.
float EllipseScale(int cx, int cy, int divisor, float progress)
{
    const int d = Trunc(std::sqrt(double(cx) * cx + double(cy) * cy));
    const float s = (cx + (d + cy - cx) / divisor) * progress / float(std::max(cx, 1));
    return std::max(s, 1.0f / float(std::max(cy, 1)));
}

}  // namespace

void CfTavTransition::CrossInOut(const uchar* a, const uchar* b, uchar* o, int out)
{
    Pictures p;
    if (!Prepare(*this, a, b, o, p))
        return;
    const float progress = float(Progress(*this));
    if (out)
        CrossRows(p, b, a, 1.0f - progress);
    else
        CrossRows(p, a, b, progress);
}

void CfTavTransition::UpperLeftRectangle(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (!Prepare(*this, a, b, o, p))
        return;
    const float c = 1.0f - float(Progress(*this));
    const int W = p.w, H = p.h;
    const int ex = Trunc(W * c), ey = Trunc(H * c);
    const int band = W / 30;
    const int x0 = std::max(ex - band, 0);
    std::vector<float> ramp;
    for (int j = x0; j < ex; ++j)
        ramp.push_back(1.0f - Ramp(ex - j, band));
    ForEachRow(p, [&](int r, float* w) {
        CopyRow(p, a, r);
        if (r >= ey) {
            CopySpan(p, b, r, ex, W);
            BlendSpan(p, a, b, r, x0, ramp.data(), int(ramp.size()));
        } else if (r >= ey - band) {
            for (int j = x0; j < W; ++j)
                w[j - x0] = 1.0f - Ramp(j >= ex ? ey - r : std::max(ey - r, ex - j), band);
            BlendSpan(p, a, b, r, x0, w, W - x0);
        }
    });
}

void CfTavTransition::UpperRightRectangle(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (!Prepare(*this, a, b, o, p))
        return;
    const float progress = float(Progress(*this));
    const int W = p.w, H = p.h;
    const int ex = Trunc(W * progress), ey = Trunc(H * (1.0f - progress));
    const int band = W / 30;
    const int x1 = std::min(ex + band, W);
    std::vector<float> ramp;
    for (int j = ex; j < x1; ++j)
        ramp.push_back(1.0f - Ramp(j - ex, band));
    ForEachRow(p, [&](int r, float* w) {
        CopyRow(p, a, r);
        if (r >= ey) {
            CopySpan(p, b, r, 0, ex);
            BlendSpan(p, a, b, r, ex, ramp.data(), int(ramp.size()));
        } else if (r >= ey - band) {
            for (int j = 0; j < x1; ++j)
                w[j] = 1.0f - Ramp(j <= ex ? ey - r : std::max(ey - r, j - ex), band);
            BlendSpan(p, a, b, r, 0, w, x1);
        }
    });
}

void CfTavTransition::Rectangle(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (!Prepare(*this, a, b, o, p))
        return;
    const float progress = float(Progress(*this));
    const int hy = Trunc(p.h * progress * 0.5), hx = Trunc(p.w * progress * 0.5);
    const SoftRect rect{p.w / 2 - hx, p.w / 2 + hx, p.h / 2 - hy, p.h / 2 + hy};
    const int band = p.w / 50;
    ForEachRow(p, [&](int r, float* w) {
        CopyRow(p, a, r);
        RectRow(p, rect, band, r, w);
    });
}

void CfTavTransition::MiniRectangle(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (!Prepare(*this, a, b, o, p))
        return;
    const float progress = float(Progress(*this));
    const int W = p.w, H = p.h;
    const int hx = Trunc(W * progress * 0.1), hy = Trunc(H * progress * 0.1);
    const int band = W / 80;
    SoftRect rects[25];
    for (int k = 0; k < 25; ++k) {
        const int cx = W * (k % 5) / 5 + W / 10, cy = (k / 5) * H / 5 + H / 10;
        rects[k] = SoftRect{cx - hx, cx + hx, cy - hy, cy + hy};
    }
    ForEachRow(p, [&](int r, float* w) {
        CopyRow(p, a, r);
        for (int k = 0; k < 25; k += 5) {
            if (r >= rects[k].bottom && r < rects[k].top)
                for (int j = k; j < k + 5; ++j)
                    RectRow(p, rects[j], band, r, w);
        }
    });
}

void CfTavTransition::Ellipse(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (!Prepare(*this, a, b, o, p))
        return;
    const int cx = p.w / 2, cy = p.h / 2;
    const float s = EllipseScale(cx, cy, 2, float(Progress(*this)));
    const SoftEllipse e{cx, cy, cx * s, cy * s, float(p.w / 30), 0, p.w, 0, p.h};
    ForEachRow(p, [&](int r, float* w) {
        CopyRow(p, a, r);
        EllipseRow(p, e, r, w);
    });
}

void CfTavTransition::MiniEllipse(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (!Prepare(*this, a, b, o, p))
        return;
    const int W = p.w, H = p.h;
    const int cx = W / 8, cy = H / 8;
    const float s = EllipseScale(cx, cy, 4, float(Progress(*this)));
    // Each ellipse stays within its cell of the 4 × 4 grid.
    SoftEllipse cells[16];
    for (int k = 0; k < 16; ++k) {
        const int ex = W * (k % 4) / 4 + W / 8, ey = H * (k / 4) / 4 + H / 8;
        cells[k] = SoftEllipse{ex, ey, cx * s, cy * s, float(W / 80), ex - cx, ex + cx, ey - cy, ey + cy};
    }
    ForEachRow(p, [&](int r, float* w) {
        CopyRow(p, a, r);
        for (int k = 0; k < 16; k += 4) {
            if (r >= cells[k].y0 && r < cells[k].y1)
                for (int j = k; j < k + 4; ++j)
                    EllipseRow(p, cells[j], r, w);
        }
    });
}
