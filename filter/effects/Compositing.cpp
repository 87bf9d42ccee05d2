// Overlay compositing: 4-byte pictures with alpha laid over a frame, scaled, turned
// and faded. The sprites of animation effects go through AddRenderPropsBuf and its
// mirrored siblings; the studio's border previews through AddRenderBorderBuf.
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>

#include "filter/effects/EffectLoops.h"

using namespace zolvex;

namespace {

// Scratch pictures larger than this are not made: the call draws nothing rather than
// eat the memory of the process (a zoom of 50 on a large sprite would ask for
// gigabytes).
constexpr int64_t kMaxScratchPixels = int64_t(1) << 26;

// A zero-filled (fully transparent) 4-byte picture, or null.
std::unique_ptr<uchar[]> NewPicture(int64_t w, int64_t h)
{
    if (w <= 0 || h <= 0 || w * h > kMaxScratchPixels)
        return nullptr;
    return std::unique_ptr<uchar[]>(new (std::nothrow) uchar[size_t(w * h * 4)]());
}

int RoundHalfUp(float v) { return int(v + 0.5f); }

struct Turn {
    float c, s;
    explicit Turn(double degrees)
    {
        const double rad = degrees * 3.1415926 * 0.005555555555555556;
        c = float(std::cos(rad));
        s = float(std::sin(rad));
    }
};

// The box that holds a sw × sh picture turned about its centre, and the offsets of
// the inverse mapping from box pixels back into the picture.
struct Box {
    int cols = 0, rows = 0;
    float P = 0, Q = 0;

    Box(int sw, int sh, const Turn& t)
    {
        const int a = (sw - 1) / 2, b = (sh - 1) / 2;
        cols = RoundHalfUp(2 * std::max(std::fabs(t.c * a - t.s * b), std::fabs(t.c * a + t.s * b)));
        rows = RoundHalfUp(2 * std::max(std::fabs(t.c * b + t.s * a), std::fabs(t.c * b - t.s * a)));
        P = float((sw - 1) * 0.5 - (t.s * (rows - 1) + t.c * (cols - 1)) * 0.5);
        Q = float(t.s * (cols - 1) * 0.5 - t.c * (rows - 1) * 0.5 + (sh - 1) * 0.5);
    }
};

// Box pixel (j, i), stored at box row rows − 1 − i, takes the scaled pixel the inverse
// turn lands on, read from scaled row sh − 1 − sy.
void TurnIntoBox(const uchar* scaled, int sw, int sh, const Turn& t, const Box& g, uchar* box)
{
    for (int i = 0; i < g.rows; ++i) {
        uchar* out = box + size_t(g.rows - 1 - i) * size_t(g.cols) * 4;
        const float rowX = g.P + t.s * i, rowY = g.Q + t.c * i;
        for (int j = 0; j < g.cols; ++j) {
            const int sx = RoundHalfUp(rowX + t.c * j);
            const int sy = RoundHalfUp(rowY - t.s * j);
            if (sx >= 0 && sx < sw && sy >= 0 && sy < sh)
                std::memcpy(out + size_t(j) * 4, scaled + (size_t(sh - 1 - sy) * size_t(sw) + size_t(sx)) * 4, 4);
        }
    }
}

// Frame pixel = α × overlay + (1 − α) × frame on bytes 0–2, α from the overlay's alpha
// and the opacity.
inline void BlendOver(uchar* f, const uchar* box, float opacity)
{
    const float a = (box[3] * 0.003921569f) * opacity;
    const float keep = 1.0f - a;
    f[0] = uchar(int(a * box[0] + keep * f[0]));
    f[1] = uchar(int(a * box[1] + keep * f[1]));
    f[2] = uchar(int(a * box[2] + keep * f[2]));
}

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

enum class Member { Props, V2, V2Track };

}  // namespace

void CfTavEffect::Stretch_Linear(int bpp, const unsigned char* src, unsigned char* dst, int srcWidth, int srcHeight,
                                 int dstWidth, int dstHeight, int reverse)
{
    if (!src || !dst || bpp <= 0 || srcWidth <= 0 || srcHeight <= 0 || dstWidth <= 0 || dstHeight <= 0)
        return;
    const int64_t sw = srcWidth, sh = srcHeight, dw = dstWidth, dh = dstHeight, n = dw * dh;
    const int64_t srcBytes = sw * sh * bpp;
    // Reversed output (3-byte pixels: top-down, red first) writes rows from the last
    // upwards and turns bytes 0–2 of each pixel round; a 4-byte pixel keeps its alpha
    // in byte 3.
    const bool backwards = reverse == 1;
    for (int64_t i = 0; i < dh; ++i) {
        const int64_t c = i * sh / dh, d = i * sh % dh;
        // Rows without a lower neighbour are left as they were, and so is all below.
        if (c + 1 >= sh)
            return;
        const int64_t upper = c, lower = d == 0 ? c : c + 1;
        const int64_t wy = dh - d;
        unsigned char* out = dst + size_t((backwards ? dh - 1 - i : i) * dw * bpp);
        for (int64_t j = 0; j < dw; ++j) {
            const int64_t e = j * sw / dw, f = j * sw % dw;
            const int64_t left = e, right = f == 0 ? e : e + 1;
            // The right-hand sample of the last column may run into the next row; past
            // the end of the source the whole picture stops.
            if ((lower * sw + right) * bpp + bpp > srcBytes)
                return;
            const int64_t wx = dw - f;
            const unsigned char* tl = src + (upper * sw + left) * bpp;
            const unsigned char* tr = src + (upper * sw + right) * bpp;
            const unsigned char* bl = src + (lower * sw + left) * bpp;
            const unsigned char* br = src + (lower * sw + right) * bpp;
            unsigned char* px = out + j * bpp;
            for (int k = 0; k < bpp; ++k) {
                const int64_t TL = tl[k], TR = tr[k], BL = bl[k], BR = br[k];
                const int64_t v = (TR * wy * dw + n / 2 + ((TL - TR - BL + BR) * wy + BL * dh) * wx +
                                   (f * dh - wy * dw) * BR) /
                                  n;
                const int to = backwards && k < 3 ? 2 - k : k;
                px[to] = static_cast<unsigned char>(v);
            }
        }
    }
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
