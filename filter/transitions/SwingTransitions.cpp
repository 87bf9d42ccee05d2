// The first picture folding away like a door on a hinge at one edge, showing the
// second behind it. The far edge of the door narrows to a third less than the hinge
// as it swings away.
#include <cstdint>
#include <memory>
#include <new>

#include "filter/common/CpuDispatch.h"
#include "filter/common/RowSlices.h"
#include "filter/transitions/TransitionKit.h"

using namespace zolvex::transition;

namespace {

// Output pixels handled at a time through a buffer on the stack.
constexpr int kPiece = 1024;

// The source column each of n output pixels of a row of the top or bottom door reads:
// round(q / t) for q = q0 … q0 + n − 1, as a byte offset in the row; -1 beyond the right edge.
// (q / t + 0.5 is exact in float for these sizes, so this is round() and vectorises.)
ZOLVEX_ALWAYS_INLINE void ColumnsAlong(int* __restrict__ cols, int q0, int n, float t, int w, int bpp)
{
    for (int q = 0; q < n; ++q) {
        const int x = int(float(q0 + q) / t + 0.5f);
        cols[q] = x < w ? x * bpp : -1;
    }
}

ZOLVEX_KERNEL_DISPATCH(PlaceRow, (int* cols, int q0, int n, float t, int w, int bpp), (cols, q0, n, t, w, bpp),
                       ColumnsAlong(cols, q0, n, t, w, bpp))

// The source memory row each of n door columns reads for output picture row y of the
// sideways door: row round((y − shift) / t) of the column from the top; -1 above the
// shifted column or beyond the bottom edge.
ZOLVEX_ALWAYS_INLINE void RowsAcross(int* __restrict__ rows, const float* __restrict__ t, const int* __restrict__ shift,
                                     int n, int y, int h)
{
    for (int q = 0; q < n; ++q) {
        const int j = y - shift[q];
        const int row = int(float(j) / t[q] + 0.5f);
        rows[q] = j >= 0 && row < h ? h - 1 - row : -1;
    }
}

ZOLVEX_KERNEL_DISPATCH(PlaceColumns, (int* rows, const float* t, const int* shift, int n, int y, int h),
                       (rows, t, shift, n, y, h), RowsAcross(rows, t, shift, n, y, h))

// Copies the colour bytes of n consecutive output pixels from src + at(q), skipping q
// where at(q) < 0. A 3-byte pixel moves as a 4-byte word when the next pixel is written
// after it and the word stays inside the source.
template <typename At>
inline void CopyPlaced(const uchar* src, size_t srcBytes, int n, int bpp, uchar* out, const At& at)
{
    if (bpp != 3) {
        for (int q = 0; q < n; ++q) {
            const int64_t f = at(q);
            if (f >= 0)
                CopyColour(src + f, out + size_t(q) * size_t(bpp));
        }
        return;
    }
    int64_t f = n > 0 ? at(0) : -1;
    for (int q = 0; q < n; ++q, out += 3) {
        const int64_t next = q + 1 < n ? at(q + 1) : -1;
        if (f >= 0) {
            if (next >= 0 && size_t(f) + 4 <= srcBytes)
                std::memcpy(out, src + f, 4);
            else
                CopyColour(src + f, out);
        }
        f = next;
    }
}

}  // namespace

void CfTavTransition::SwingSideTopBottom(const uchar* a, const uchar* b, uchar* o, int mode)
{
    Pictures p;
    if (!Prepare(*this, a, b, o, p))
        return;
    const float progress = float(Progress(*this));
    std::memcpy(o, b, p.Bytes());

    const int W = p.w, H = p.h;
    const float e = std::max(1.0f - progress, 0.01f);  // the floor only keeps i / e finite
    const float h = float(H) * e;
    // The door covers the rows i < H × (1 − p), so that it is gone at the end.
    const int count = std::min(H, int(std::ceil(float(H) * (1.0f - progress))));
    const bool fromTop = mode == 0;

    zolvex::RunRowSlices(count, int64_t(p.stride), [&](int first, int last) {
        int cols[kPiece];
        for (int i = first; i < last; ++i) {  // i counts from the hinge, in A as in the output
            const int row = Round(float(i) / e);
            if (row >= H)
                continue;
            const float t = 1.0f - (float(W) * (float(i) / h) * (1.0f - e)) / (3.0f * float(W));
            const int u = Trunc((1.0f - t) * float(W) * 0.5f);
            const int64_t base = int64_t(p.Offset(0, fromTop ? H - 1 - row : row));
            uchar* out = p.O(u, fromTop ? H - 1 - i : i);
            // Output column u + q takes source column round(q / t).
            for (int q = 0; q < W - u; q += kPiece) {
                const int n = std::min(kPiece, W - u - q);
                PlaceRow(cols, q, n, t, W, p.bpp);
                CopyPlaced(p.a, p.Bytes(), n, p.bpp, out + size_t(q) * size_t(p.bpp),
                           [&](int c) { return cols[c] < 0 ? int64_t(-1) : base + cols[c]; });
            }
        }
    });
}

void CfTavTransition::SwingSideLeftRight(const uchar* a, const uchar* b, uchar* o, int mode)
{
    Pictures p;
    if (!Prepare(*this, a, b, o, p))
        return;
    const float progress = float(Progress(*this));
    std::memcpy(o, b, p.Bytes());

    const int W = p.w, H = p.h;
    const float e = std::max(1.0f - progress, 0.01f);  // the floor only keeps i / e finite
    const int n = Trunc(float(W) * e);
    // The door covers the columns i < W × (1 − p), so that it is gone at the end; columns
    // whose source would lie beyond the picture are left out.
    int count = std::min(n, Trunc(float(W) * (1.0f - progress)));
    while (count > 0 && Round(float(count - 1) / e) >= W)
        --count;
    if (count <= 0)
        return;

    // Per door column, left to right in the output (i counts from the hinge, in A as in
    // the output): its scale, the rows it is shifted by, the byte offset of its source column.
    const std::unique_ptr<float[]> scale(new (std::nothrow) float[count]);
    const std::unique_ptr<int[]> ints(new (std::nothrow) int[size_t(count) * 2]);
    if (!scale || !ints)
        return;
    int* shift = ints.get();
    int* col = shift + count;
    const bool fromLeft = mode == 0;
    const int left = fromLeft ? 0 : W - count;  // first output column of the door
    for (int q = 0; q < count; ++q) {
        const int i = fromLeft ? q : count - 1 - q;
        scale[q] = 1.0f - (float(H) * (float(i) / float(n)) * (1.0f - e)) / (3.0f * float(H));
        shift[q] = Trunc((1.0f - scale[q]) * float(H) * 0.5f);
        const int from = Round(float(i) / e);
        col[q] = (fromLeft ? from : W - 1 - from) * p.bpp;
    }

    // Output picture row y (from the top) of each column takes its row round((y − shift) / t).
    zolvex::RunRowSlices(H, int64_t(count) * p.bpp, [&](int first, int last) {
        int rows[kPiece];
        const int64_t stride = int64_t(p.stride);
        for (int y = first; y < last; ++y) {
            uchar* out = p.O(left, H - 1 - y);
            for (int q = 0; q < count; q += kPiece) {
                const int k = std::min(kPiece, count - q);
                PlaceColumns(rows, scale.get() + q, shift + q, k, y, H);
                const int* cq = col + q;
                CopyPlaced(p.a, p.Bytes(), k, p.bpp, out + size_t(q) * size_t(p.bpp),
                           [&](int c) { return rows[c] < 0 ? int64_t(-1) : rows[c] * stride + cq[c]; });
            }
        }
    });
}
