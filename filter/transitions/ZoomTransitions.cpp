// Pictures that zoom, shrink and spin: one picture is resampled (nearest neighbour)
// and mixed over the other, which shows at the same place in the output.
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include "filter/common/CpuDispatch.h"
#include "filter/common/RowSlices.h"
#include "filter/transitions/TransitionKit.h"

using namespace zolvex::transition;

namespace {

// Working memory of one call. Null when the allocation fails: the caller then keeps
// the starting fill and draws nothing more.
template <typename T>
std::unique_ptr<T[]> Allocate(size_t count)
{
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]);
}

// ---- nearest-neighbour resampling ----------------------------------------------------

// Position k of a picture drawn at `scale` reads the source at from + round(k / scale)
// (from ≥ 0). The lookup only grows, so the positions whose source lies inside [0, size)
// are the leading ones; returns their number.
int MapAxis(int* to, int count, float scale, int from, int size)
{
    for (int k = 0; k < count; ++k) {
        const int s = from + Round(float(k) / scale);
        if (s >= size)
            return k;
        to[k] = s;
    }
    return count;
}

// Pixels handled at a time through a buffer on the stack.
constexpr int kChunk = 2048;

// One resampled row piece: n pixels of the row `src` at the byte offsets `from` (which
// grow), colour bytes only; 4-byte pixels take the alpha of `alpha` (the output's
// starting fill). Pixels move as 4-byte words wherever such a word stays within the
// `readable` bytes from src: everywhere but at the end of the last memory row.
inline void GatherRow(const uchar* __restrict__ src, const int* __restrict__ from, int n, int bpp, size_t readable,
                      const uchar* __restrict__ alpha, uchar* __restrict__ to)
{
    int words = n;
    while (words > 0 && size_t(from[words - 1]) + 4 > readable)
        --words;
    if (bpp == 3) {
        for (int j = 0; j < words; ++j)
            std::memcpy(to + 3 * j, src + from[j], 4);  // the fourth byte is overwritten next
        for (int j = words; j < n; ++j)
            CopyColour(src + from[j], to + 3 * j);
    } else {
        for (int j = 0; j < n; ++j) {
            std::memcpy(to + 4 * j, src + from[j], 4);
            to[4 * j + 3] = alpha[4 * j + 3];
        }
    }
}

// The drawn picture is the first (A) or the second (B) of the blend; the other one shows
// at the same output place. w is the weight of B as always.
struct Mixer {
    bool drawnFirst;
    LaneWeights lw;

    Mixer(bool first, float w, int bpp) : drawnFirst(first), lw(MakeLaneWeights(w, bpp, !first)) {}
    // n bytes: drawn pixels (alpha already that of the output), the other picture, the output.
    void Run(const uchar* drawn, const uchar* plain, uchar* out, size_t n) const
    {
        if (drawnFirst)
            BlendBytes(drawn, plain, out, n, lw);
        else
            BlendBytes(plain, drawn, out, n, lw);
    }
};

// ---- the three ways of drawing ---------------------------------------------------------

// The output starts as `start` everywhere but in the n × m rectangle at column x0, picture
// row y0 (from the top), which is drawn over completely.
void FillAround(const Pictures& p, const uchar* start, int x0, int y0, int n, int m)
{
    const int bottom = p.h - (y0 + m);  // memory rows below the rectangle
    std::memcpy(p.o, start, size_t(bottom) * p.stride);
    std::memcpy(p.O(0, p.h - y0), start + p.Offset(0, p.h - y0), size_t(y0) * p.stride);
    if (n == p.w)
        return;
    for (int row = bottom; row < bottom + m; ++row) {
        std::memcpy(p.O(0, row), start + p.Offset(0, row), size_t(x0) * size_t(p.bpp));
        std::memcpy(p.O(x0 + n, row), start + p.Offset(x0 + n, row), size_t(p.w - x0 - n) * size_t(p.bpp));
    }
}

// Draws the first (drawnFirst) or the second picture resampled into the n × m output
// rectangle at column x0, picture row y0 (rows count from the top): output (x0 + j, y0 + i)
// reads the source at column fromX + round(j / scale), picture row fromY + round(i / scale),
// and only where that lies inside the picture. Elsewhere the output is `start`, whose
// alpha drawn pixels keep.
void DrawResampled(const Pictures& p, const uchar* start, bool drawnFirst, float scale, int x0, int y0, int n, int m,
                   int fromX, int fromY, float w)
{
    std::unique_ptr<int[]> table;
    if (n > 0 && m > 0)
        table = Allocate<int>(size_t(n) + size_t(m));
    if (!table) {
        std::memcpy(p.o, start, p.Bytes());
        return;
    }
    int* cols = table.get();
    int* rows = cols + n;
    n = MapAxis(cols, n, scale, fromX, p.w);
    m = MapAxis(rows, m, scale, fromY, p.h);
    FillAround(p, start, x0, y0, n, m);
    for (int j = 0; j < n; ++j)
        cols[j] *= p.bpp;  // byte offsets within a row

    const Mixer mixer(drawnFirst, w, p.bpp);
    zolvex::RunRowSlices(m, int64_t(n) * p.bpp, [&](int first, int last) {
        const uchar* const drawn = drawnFirst ? p.a : p.b;
        const uchar* const plain = drawnFirst ? p.b : p.a;
        const int bpp = p.bpp, h = p.h, width = n;
        const size_t stride = p.stride, lastRow = size_t(h - 1) * stride;
        // A magnified row repeats its source row; 3-byte pieces have no alpha to
        // refresh and can be kept while it does.
        const bool reuse = bpp == 3 && width <= kChunk;
        int pieceRow = -1;
        uchar piece[kChunk * 4];
        for (int i = first; i < last; ++i) {
            const int row = h - 1 - (y0 + i);
            const size_t fromRow = size_t(h - 1 - rows[i]) * stride;
            const size_t at0 = p.Offset(x0, row);
            for (int c = 0; c < width; c += kChunk) {
                const int k = std::min(kChunk, width - c);
                const size_t at = at0 + size_t(c) * size_t(bpp);
                if (!reuse || pieceRow != rows[i])
                    GatherRow(drawn + fromRow, cols + c, k, bpp, fromRow == lastRow ? stride : 2 * stride, start + at,
                              piece);
                pieceRow = rows[i];
                mixer.Run(piece, plain + at, p.o + at, size_t(k) * size_t(bpp));
            }
        }
    });
}

// The picture magnified d times (d ≥ 1) about its centre, over the whole output.
void DrawMagnified(const Pictures& p, const uchar* start, bool drawnFirst, float d, float w)
{
    const int gw = Round(float(p.w) * d);
    const int gh = Round(float(p.h) * d);
    // The crop that keeps the centre in place; gw ≥ width, so it is never negative.
    const int r = int((int64_t(p.w) - int64_t(p.w) * p.w / gw - 1) / 2);
    const int o = int((int64_t(p.h) - int64_t(p.h) * p.h / gh - 1) / 2);
    DrawResampled(p, start, drawnFirst, d, 0, 0, std::min(gw, p.w), std::min(gh, p.h), r, o, w);
}

// The picture shrunk to scale s (0 < s ≤ 1), centred.
void DrawShrunk(const Pictures& p, const uchar* start, bool drawnFirst, float s, float w)
{
    const int n = std::min(Round(float(p.w) * s), p.w);
    const int m = std::min(Round(float(p.h) * s), p.h);
    DrawResampled(p, start, drawnFirst, s, (p.w - n) / 2, (p.h - m) / 2, n, m, 0, 0, w);
}

// The picture shrunk to scale s and turned clockwise by `degrees` about its centre, the
// bounding box of the turned picture centred in the output. The shrunk picture is read
// through its two lookups rather than copied out first: the pixels are the same.
void DrawRotated(const Pictures& p, bool drawnFirst, float s, int degrees, float w)
{
    int sw = std::min(Round(float(p.w) * s), p.w);
    int sh = std::min(Round(float(p.h) * s), p.h);
    if (sw <= 0 || sh <= 0)
        return;
    const std::unique_ptr<int[]> table = Allocate<int>(size_t(sw) + size_t(sh));
    if (!table)
        return;
    int* cols = table.get();
    int* rows = cols + sw;
    sw = MapAxis(cols, sw, s, 0, p.w);
    sh = MapAxis(rows, sh, s, 0, p.h);
    if (sw <= 0 || sh <= 0)
        return;
    for (int j = 0; j < sw; ++j)
        cols[j] *= p.bpp;
    for (int i = 0; i < sh; ++i)
        rows[i] = p.h - 1 - rows[i];  // memory rows

    const double angle = degrees * 3.1415926 * 0.005555555555555556;
    const double c = std::cos(angle), sn = std::sin(angle);
    const int bw = Round(std::fabs(c) * sw + std::fabs(sn) * sh);
    const int bh = Round(std::fabs(sn) * sw + std::fabs(c) * sh);
    const int bx = (p.w - bw) / 2, by = (p.h - bh) / 2;  // box corner, picture rows from the top
    const double ocx = bx + (bw - 1) * 0.5, ocy = by + (bh - 1) * 0.5;
    const double scx = (sw - 1) * 0.5, scy = (sh - 1) * 0.5;
    const int x0 = std::max(bx, 0), x1 = std::min(bx + bw, p.w);
    const int y0 = std::max(by, 0), y1 = std::min(by + bh, p.h);
    if (x0 >= x1 || y0 >= y1)
        return;

    const Mixer mixer(drawnFirst, w, p.bpp);
    zolvex::RunRowSlices(y1 - y0, int64_t(x1 - x0) * p.bpp, [&](int first, int last) {
        // Locals, so that the byte stores below do not make the compiler reload them.
        const uchar* const drawn = drawnFirst ? p.a : p.b;
        const uchar* const plain = drawnFirst ? p.b : p.a;
        uchar* const o = p.o;
        const int* const colAt = cols;
        const int* const rowAt = rows;
        const int bpp = p.bpp, h = p.h, lastU = sw - 1, lastV = sh - 1;
        const size_t stride = p.stride, bytes = p.Bytes();
        const double cosA = c, sinA = sn, cx0 = ocx;
        const double maxU = sw - 0.5, maxV = sh - 0.5;
        const int64_t du = int64_t(std::ldexp(cosA, 32)), dv = -int64_t(std::ldexp(sinA, 32));
        uchar piece[kChunk * 4];
        for (int y = y0 + first; y < y0 + last; ++y) {
            // Each output place turned back into the shrunk picture.
            const double dy = y - ocy;
            const double u0 = scx + dy * sinA, v0 = scy + dy * cosA;
            auto inside = [&](int x) {
                const double dx = x - cx0;
                const double u = u0 + dx * cosA, v = v0 - dx * sinA;
                return u >= -0.5 && u < maxU && v >= -0.5 && v < maxV;
            };
            // Along a row both coordinates move one way, so the places inside form one
            // run: solve for its ends, then settle them with the test itself.
            double lo = x0, hi = x1;
            auto clip = [&](double at, double slope, double from, double to) {
                if (slope == 0) {
                    if (!(at >= from && at < to))
                        hi = lo;
                    return;
                }
                double e0 = cx0 + (from - at) / slope, e1 = cx0 + (to - at) / slope;
                if (e0 > e1)
                    std::swap(e0, e1);
                lo = std::max(lo, e0);
                hi = std::min(hi, e1 + 1);
            };
            clip(u0, cosA, -0.5, maxU);
            clip(v0, -sinA, -0.5, maxV);
            if (!(lo < hi))
                continue;
            int xa = std::max(x0, std::min(x1, int(std::ceil(lo)))), xb = std::max(xa, std::min(x1, int(hi)));
            while (xa < xb && !inside(xa))
                ++xa;
            while (xa > x0 && inside(xa - 1))
                --xa;
            while (xb > xa && !inside(xb - 1))
                --xb;
            while (xb < x1 && xb >= xa && inside(xb))
                ++xb;
            if (xa >= xb)
                continue;

            const size_t rowAtOut = size_t(h - 1 - y) * stride;
            const uchar* other = plain + rowAtOut;
            uchar* out = o + rowAtOut;
            for (int cx = xa; cx < xb; cx += kChunk) {
                const int ce = std::min(cx + kChunk, xb);
                uchar* to = piece;
                // Along the run the place steps in 32.32 fixed point, rounded by the
                // half added at its start.
                int64_t fu = int64_t(std::ldexp(u0 + (cx - cx0) * cosA + 0.5, 32));
                int64_t fv = int64_t(std::ldexp(v0 - (cx - cx0) * sinA + 0.5, 32));
                for (int x = cx; x < ce; ++x, to += bpp, fu += du, fv += dv) {
                    const int iu = std::min(std::max(int(fu >> 32), 0), lastU);
                    const int iv = std::min(std::max(int(fv >> 32), 0), lastV);
                    const size_t from = size_t(rowAt[iv]) * stride + size_t(colAt[iu]);
                    if (from + 4 <= bytes)
                        std::memcpy(to, drawn + from, 4);  // a 3-byte pixel's fourth byte is overwritten next
                    else
                        CopyColour(drawn + from, to);
                    if (bpp == 4)
                        to[3] = out[size_t(x) * 4 + 3];
                }
                const size_t at = size_t(cx) * size_t(bpp);
                mixer.Run(piece, other + at, out + at, size_t(ce - cx) * size_t(bpp));
            }
        }
    });
}

}  // namespace

void CfTavTransition::FadeZoomIn(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (!Prepare(*this, a, b, o, p))
        return;
    const float progress = float(Progress(*this));
    DrawMagnified(p, b, true, 2.0f * progress + 1.0f, progress);
}

void CfTavTransition::FadeZoomOut(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (!Prepare(*this, a, b, o, p))
        return;
    const float progress = float(Progress(*this));
    DrawMagnified(p, b, false, 3.0f - 2.0f * progress, progress);
}

void CfTavTransition::CenterSlipIn(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (!Prepare(*this, a, b, o, p))
        return;
    const float progress = float(Progress(*this));
    DrawShrunk(p, b, true, std::max(1.0f - progress, 0.01f), progress);
}

void CfTavTransition::CenterSlipOut(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (!Prepare(*this, a, b, o, p))
        return;
    const float progress = float(Progress(*this));
    DrawShrunk(p, a, false, std::max(progress, 0.01f), progress);
}

void CfTavTransition::RotateIn(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (!Prepare(*this, a, b, o, p))
        return;
    const float progress = float(Progress(*this));
    std::memcpy(o, b, p.Bytes());
    DrawRotated(p, true, std::max(1.0f - progress, 0.01f), Trunc(360.0f * progress), progress);
}

void CfTavTransition::RotateOut(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (!Prepare(*this, a, b, o, p))
        return;
    const float progress = float(Progress(*this));
    std::memcpy(o, a, p.Bytes());
    DrawRotated(p, false, std::max(progress, 0.01f), 360 - Trunc(360.0f * progress), progress);
}
