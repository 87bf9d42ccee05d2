// Overlay compositing: 4-byte pictures with alpha laid over a frame, scaled, turned
// and faded. The sprites of animation effects go through AddRenderPropsBuf and its
// mirrored siblings; the studio's border previews through AddRenderBorderBuf.
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "filter/effects/CompositingKernels.h"
#include "filter/effects/EffectLoops.h"

using namespace zolvex;
using namespace zolvex::compositing;

namespace {

// Walks the valid columns of one picture row from left to right.
class RowValidity {
public:
    RowValidity(const Region* rgn, int pictureRow) : rgn_(rgn)
    {
        if (rgn_)
            spans_ = rgn_->RowSpans(pictureRow, scratch_, count_);
    }
    bool Contains(int x)
    {
        while (k_ < count_ && spans_[k_].x1 <= x)
            ++k_;
        return k_ < count_ && spans_[k_].x0 <= x;
    }

private:
    const Region* rgn_;
    std::vector<RegionSpan> scratch_;
    const RegionSpan* spans_ = nullptr;
    int count_ = 0, k_ = 0;
};

int ClampOpacity(int opacity) { return std::min(std::max(opacity, 0), 255); }

// One destination column of the stretch: byte offsets of its left and right source
// columns and their weights.
struct StretchColumn {
    int64_t left, right, wLeft, wRight;
};

// Columns of one destination row from the row's vertically blended source values
// (one per source byte); the quotient by n is taken in double, exact here.
template <int BPP>
void StretchColumns(const int64_t* v, const StretchColumn* cols, int64_t count, int64_t half, double n,
                    unsigned char* out)
{
    for (int64_t j = 0; j < count; ++j, out += BPP) {
        const int64_t* l = v + cols[j].left;
        const int64_t* r = v + cols[j].right;
        const int64_t a = cols[j].wLeft, b = cols[j].wRight;
        for (int k = 0; k < BPP; ++k)
            out[k] = static_cast<unsigned char>(int64_t(double(a * l[k] + b * r[k] + half) / n));
    }
}

// Any pixel size, integer division, and the reversed byte order.
void StretchColumnsAnySize(const int64_t* v, const StretchColumn* cols, int64_t count, int bpp, int64_t n,
                           bool backwards, unsigned char* out)
{
    for (int64_t j = 0; j < count; ++j, out += bpp) {
        const int64_t* l = v + cols[j].left;
        const int64_t* r = v + cols[j].right;
        for (int k = 0; k < bpp; ++k)
            out[backwards && k < 3 ? 2 - k : k] =
                static_cast<unsigned char>((cols[j].wLeft * l[k] + cols[j].wRight * r[k] + n / 2) / n);
    }
}

enum class Member { Props, V2, V2Track };

}  // namespace

void CfTavEffect::Stretch_Linear(int bpp, const unsigned char* src, unsigned char* dst, int srcWidth, int srcHeight,
                                 int dstWidth, int dstHeight, int reverse)
{
    if (!src || !dst || bpp <= 0 || srcWidth <= 0 || srcHeight <= 0 || dstWidth <= 0 || dstHeight <= 0)
        return;
    const int64_t sw = srcWidth, sh = srcHeight, dw = dstWidth, dh = dstHeight, n = dw * dh;
    // Reversed output (3-byte pixels: top-down, red first) writes rows from the last
    // upwards and turns bytes 0–2 of each pixel round; a 4-byte pixel keeps its alpha
    // in byte 3.
    const bool backwards = reverse == 1;

    // Rows without a lower neighbour are left as they were, and so is all below them.
    int64_t rows = 0;
    while (rows < dh && rows * sh / dh + 1 < sh)
        ++rows;
    if (rows == 0)
        return;
    // The right-hand sample of the last column is the first pixel of the next source
    // row; in the last source row it would lie past the end, and the picture stops
    // there: at the first column of the last written row that needs it.
    std::vector<StretchColumn> columnTable(static_cast<size_t>(dw));
    const StretchColumn* cols = columnTable.data();
    int64_t stopColumn = dw;
    for (int64_t j = 0; j < dw; ++j) {
        const int64_t e = j * sw / dw, f = j * sw % dw;
        columnTable[size_t(j)] = StretchColumn{e * bpp, (f == 0 ? e : e + 1) * bpp, dw - f, f};
        if (f != 0 && e + 1 == sw && stopColumn == dw)
            stopColumn = j;
    }
    // The first row whose lower source row is the last one meets that column.
    int64_t partialRow = -1;
    if (stopColumn < dw) {
        for (int64_t i = 0; i < rows && partialRow < 0; ++i) {
            const int64_t c = i * sh / dh, d = i * sh % dh;
            if ((d == 0 ? c : c + 1) == sh - 1)
                partialRow = i;
        }
        if (partialRow >= 0)
            rows = partialRow + 1;
    }
    // The division by n can be done in double, exactly: the numerator is an integer
    // below 2^53 and the quotient lies farther from the next integer than the rounding
    // of one division can reach.
    const bool exactInDouble = n < (int64_t(1) << 40);
    const double nd = double(n);
    // At the same size every weight but one is zero: the rows are copied as they are.
    const bool sameSize = sw == dw && sh == dh && !backwards;

    auto rowsJob = [&](int first, int last) {
        // The upper and lower source rows blended down once per row, column by column;
        // one column more for the right-hand sample that runs into the next row.
        std::vector<int64_t> blended(size_t((sw + 1) * bpp));
        for (int64_t i = first; i < last; ++i) {
            const int64_t c = i * sh / dh, d = i * sh % dh;
            const int64_t lower = d == 0 ? c : c + 1;
            const int64_t columns = i == partialRow ? stopColumn : dw;
            unsigned char* out = dst + size_t((backwards ? dh - 1 - i : i) * dw * bpp);
            const unsigned char* up = src + c * sw * bpp;
            if (sameSize) {
                std::memcpy(out, up, size_t(columns * bpp));
                continue;
            }
            const unsigned char* down = src + lower * sw * bpp;
            const int64_t wy = dh - d;
            // Column sw exists in both rows unless the lower row is the last one, and
            // then no written column reads it.
            const int64_t count = (lower + 1 < sh ? sw + 1 : sw) * bpp;
            int64_t* v = blended.data();
            for (int64_t k = 0; k < count; ++k)
                v[k] = wy * up[k] + d * down[k];
            if (exactInDouble && bpp == 4 && !backwards)
                StretchColumns<4>(v, cols, columns, n / 2, nd, out);
            else if (exactInDouble && bpp == 3 && !backwards)
                StretchColumns<3>(v, cols, columns, n / 2, nd, out);
            else
                StretchColumnsAnySize(v, cols, columns, bpp, n, backwards, out);
        }
    };
    // Each row depends on the source alone, so rows may be written in any order.
    zolvex::RunRowSlices(int(rows), dw * bpp, rowsJob);
}

void CfTavEffect::Track_Stretch_Linear(int bpp, const unsigned char* src, unsigned char* dst, int srcWidth,
                                       int srcHeight, int dstWidth, int dstHeight, int reverse)
{
    Stretch_Linear(bpp, src, dst, srcWidth, srcHeight, dstWidth, dstHeight, reverse);
}

namespace {

// The shared body of AddRenderPropsBuf and its two mirrored siblings.
void RenderProps(CfTavEffect& fx, Member member, float zoomX, float zoomY, float angle, uchar* frame,
                 const uchar* overlay, tagSIZE size, int x, int y, int opacity, int useValidRgn, int flipRows)
{
    const int W = fx.nWidth, H = fx.nHeight, bpp = fx.nBpp;
    const int w = size.cx, h = size.cy;
    if (!frame || !overlay || w <= 0 || h <= 0 || FrameBytes(fx) == 0 || bpp < 3)
        return;
    // Cull what lies wholly outside the frame.
    const float m = w * zoomX, tv = h * zoomY;
    if (!(W + m >= x && x >= -zoomX * w && H + tv >= y && y >= -zoomY * h))
        return;

    // Scale: both sides by zoomX; zoomY comes in when the box is placed.
    if (!(m < 1e9f) || !(zoomX * h < 1e9f))
        return;
    const int sw = int(m), sh = int(zoomX * h);
    std::unique_ptr<uchar[]> scaled = NewPicture(sw, sh);
    if (!scaled)
        return;
    if (member == Member::V2Track) {
        std::unique_ptr<uchar[]> upsideDown = NewPicture(w, h);
        if (!upsideDown)
            return;
        const size_t row = size_t(w) * 4;
        for (int r = 0; r < h; ++r)
            std::memcpy(upsideDown.get() + size_t(r) * row, overlay + size_t(h - 1 - r) * row, row);
        CfTavEffect::Track_Stretch_Linear(4, upsideDown.get(), scaled.get(), w, h, sw, sh, 0);
    } else {
        CfTavEffect::Stretch_Linear(4, overlay, scaled.get(), w, h, sw, sh, 0);
    }

    const Turn t(angle);
    const Box g(sw, sh, t);
    std::unique_ptr<uchar[]> box = NewPicture(g.cols, g.rows);
    if (!box)
        return;
    TurnIntoBox(scaled.get(), sw, sh, t, g, box.get());
    scaled.reset();

    // Place: (x, y) is the overlay's centre; rows stretch by zoomY / zoomX.
    const float v = zoomY / zoomX;
    if (!(v > 0) || !(g.rows * v < 1e9f))
        return;
    const int X0 = int(x + (sw - g.cols) / 2 - m * 0.5);
    const int Y0 = int(y + (sh - g.rows) / 2 - tv * 0.5);
    const int outRows = RoundHalfUp(g.rows * v);
    const float alphaScale = ClampOpacity(opacity) * 0.003921569f;
    const bool mirrored = member != Member::Props;
    const int64_t jFirst = std::max<int64_t>(0, -int64_t(X0)), jLast = std::min<int64_t>(g.cols, int64_t(W) - X0);
    for (int k = std::max(0, -Y0); k < outRows && int64_t(Y0) + k < H; ++k) {
        const int boxRow = mirrored && flipRows ? RoundHalfUp(k / v) : g.rows - 1 - RoundHalfUp(k / v);
        if (boxRow < 0 || boxRow >= g.rows)
            continue;
        const int64_t frameRow = member == Member::Props && flipRows ? int64_t(k) + H - outRows - Y0
                                                                     : int64_t(H) - Y0 - k - 1;
        if (frameRow < 0 || frameRow >= H)
            continue;
        const uchar* boxLine = box.get() + size_t(boxRow) * size_t(g.cols) * 4;
        uchar* frameLine = frame + size_t(frameRow) * size_t(W) * size_t(bpp);
        RowValidity valid(useValidRgn ? fx.hValidRgn : nullptr, Y0 + k);
        for (int64_t j = jFirst; j < jLast; ++j) {
            if (useValidRgn && !valid.Contains(int(X0 + j)))
                continue;
            const uchar* px = boxLine + size_t(mirrored ? g.cols - 1 - j : j) * 4;
            if (px[3])
                BlendOver(frameLine + size_t(X0 + j) * size_t(bpp), px, alphaScale);
        }
    }
}

}  // namespace

void CfTavEffect::AddRenderPropsBuf(float zoomX, float zoomY, float angle, unsigned char* frame,
                                    const unsigned char* overlay, tagSIZE overlaySize, int x, int y, int opacity,
                                    int useValidRgn, int flipRows)
{
    RenderProps(*this, Member::Props, zoomX, zoomY, angle, frame, overlay, overlaySize, x, y, opacity, useValidRgn,
                flipRows);
}

void CfTavEffect::AddV2RenderPropsBuf(float zoomX, float zoomY, float angle, unsigned char* frame,
                                      const unsigned char* overlay, tagSIZE overlaySize, int x, int y, int opacity,
                                      int useValidRgn, int flipRows)
{
    RenderProps(*this, Member::V2, zoomX, zoomY, angle, frame, overlay, overlaySize, x, y, opacity, useValidRgn,
                flipRows);
}

void CfTavEffect::AddV2TrackRenderPropsBuf(float zoomX, float zoomY, float angle, unsigned char* frame,
                                           const unsigned char* overlay, tagSIZE overlaySize, int x, int y,
                                           int opacity, int useValidRgn, int flipRows)
{
    RenderProps(*this, Member::V2Track, zoomX, zoomY, angle, frame, overlay, overlaySize, x, y, opacity,
                useValidRgn, flipRows);
}

void CfTavEffect::AddRenderBorderBuf(float zoomX, float zoomY, int angle, unsigned char* frame,
                                     const unsigned char* overlay, tagSIZE overlaySize, int x, int y, int opacity,
                                     int useValidRgn, int mirror)
{
    const int W = nWidth, H = nHeight, bpp = nBpp;
    const int w = overlaySize.cx, h = overlaySize.cy;
    if (!frame || !overlay || w <= 0 || h <= 0 || FrameBytes(*this) == 0 || bpp < 3)
        return;
    if (!(w * zoomX < 1e9f) || !(h * zoomY < 1e9f))
        return;
    // Scale without interpolation, columns read from the right.
    const int cw = RoundHalfUp(w * zoomX), ch = RoundHalfUp(h * zoomY);
    std::unique_ptr<uchar[]> scaled = NewPicture(cw, ch);
    if (!scaled)
        return;
    for (int i = 0; i < ch; ++i) {
        const int srcRow = h - 1 - RoundHalfUp(i / zoomY);
        if (srcRow < 0 || srcRow >= h)
            continue;
        uchar* out = scaled.get() + size_t(ch - 1 - i) * size_t(cw) * 4;
        for (int j = 0; j < cw; ++j) {
            const int srcCol = w - 1 - RoundHalfUp(j / zoomX);
            if (srcCol >= 0 && srcCol < w)
                std::memcpy(out + size_t(j) * 4, overlay + (size_t(srcRow) * size_t(w) + size_t(srcCol)) * 4, 4);
        }
    }

    // Turn and place in one go: x is the horizontal centre, y the top line. The frame
    // is addressed by byte offset, so a column left of the frame lands at the end of
    // the memory row below (the studio's preview relies on this); a pixel is written
    // only when all of its bytes lie inside the frame.
    const Turn t(angle);
    const Box g(cw, ch, t);
    const int64_t X0 = int64_t(x) - cw / 2;
    const int64_t frameBytes = int64_t(W) * H * bpp;
    const float alphaScale = ClampOpacity(opacity) * 0.003921569f;
    for (int i = 0; i < g.rows; ++i) {
        RowValidity valid(useValidRgn ? hValidRgn : nullptr, y + i);
        const int64_t rowStart = (int64_t(H) - y - i - 1) * W;
        for (int j = 0; j < g.cols; ++j) {
            const int sx = RoundHalfUp(t.c * j + t.s * i + g.P);
            const int sy = RoundHalfUp(t.c * i - t.s * j + g.Q);
            if (sx < 0 || sx >= cw || sy < 0 || sy >= ch)
                continue;
            const int64_t at = (rowStart + X0 + j) * bpp;
            if (at < 0 || at + bpp > frameBytes)
                continue;
            if (useValidRgn && !valid.Contains(int(X0 + j)))
                continue;
            const uchar* px = scaled.get() + (size_t(ch - sy - 1) * size_t(cw) + size_t(mirror ? cw - 1 - sx : sx)) * 4;
            if (px[3])
                BlendOver(frame + at, px, alphaScale);
        }
    }
}
