// Text animations: each works out zoom, angle, position and opacity for the current
// time and hands the text picture to one compositor, a sibling of the sprite
// compositor of CfTavEffect that anchors the box at its top-left and can mirror it.
#include "filter/text/fTavTextTransfer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "filter/effects/CompositingKernels.h"
#include "filter/effects/fTavEffect.h"

using namespace zolvex::compositing;

namespace {

typedef void (CfTavTextTransfer::*Animation)(uchar*, const uchar*, tagSIZE);

// id → name → animation; ids not listed draw the text still.
const struct {
    int id;
    const char* name;
    Animation run;
} kAnimations[] = {
    {TEXT_FADE_IN, "Fade in/out", &CfTavTextTransfer::FadeIn},
    {TEXT_FLASH, "Flash", &CfTavTextTransfer::Flash},
    {TEXT_SCROLL_BAND, "Scroll Band", &CfTavTextTransfer::ScrollBand},
    {TEXT_ROTATE_IN, "Rotate in/out", &CfTavTextTransfer::RotateIn},
    {TEXT_ZOOM_IN, "Zoom in/out", &CfTavTextTransfer::ZoomIn},
};

// Every animation turns the picture by 180 degrees and mirrors it back; the two
// together leave the text upright and unmirrored in the bottom-up frame.
constexpr float kUpright = 180.0f;
constexpr int kMirror = 1;

int ClampToInt(double v)
{
    if (!(v == v))
        return 0;
    return int(std::min<double>(std::max<double>(v, std::numeric_limits<int>::min()), std::numeric_limits<int>::max()));
}

}  // namespace

int GetTextTransferCount()
{
    return int(sizeof kAnimations / sizeof kAnimations[0]);
}

const char* GetTextTransferName(int id)
{
    for (const auto& a : kAnimations)
        if (a.id == id)
            return a.name;
    return nullptr;
}

CfTavTextTransfer::CfTavTextTransfer() = default;

void CfTavTextTransfer::InitTransfer(tagSIZE textSize, tagSIZE frameSize, int bpp, double duration,
                                     const tagOPR_TEXT* record, float zoomX, float zoomY)
{
    sizeText = sizePicture = textSize;
    sizeFrame = frameSize;
    nBpp = bpp;
    dDuration = duration;
    dFadeTime = 2.0;
    fZoomX = zoomX;
    fZoomY = zoomY;
    if (!record) {
        nX = nY = 0;
        nOpacity = 0;
        return;
    }
    crBackColor = record->crBackColor;
    nReserved1 = record->nReserved1;
    crColor = record->crColor;
    nReserved2 = record->nReserved2;
    nOpacity = record->nOpacity;
    // Source-video pixels to frame pixels; a source size that was never set leaves
    // the position as it is rather than divide by zero.
    auto toFrame = [](int frame, int pos, int source) {
        return source > 0 ? ClampToInt(double(int64_t(frame) * pos / source)) : pos;
    };
    nX = toFrame(frameSize.cx, record->nPosX, sizeSrcVideo.cx);
    nY = toFrame(frameSize.cy, record->nPosY, sizeSrcVideo.cy);
}

double CfTavTextTransfer::PhaseFactor() const
{
    const double t = dCurTime, T = dDuration, F = dFadeTime;
    if (!(F > 0))
        return t == t ? 1.0 : 0.0;
    double k = 1.0;
    if (t < F)
        k = t / F;
    else if (t > T - F)
        k = (T - t) / F;
    // Outside the interval (or at a time that is no number) the text is simply gone.
    return k > 0 ? std::min(k, 1.0) : 0.0;
}

void CfTavTextTransfer::Transfer(uchar* frame, const uchar* text, tagSIZE size)
{
    for (const auto& a : kAnimations)
        if (a.id == nTransferID) {
            (this->*a.run)(frame, text, size);
            return;
        }
    DefaultTransfer(frame, text, size);
}

void CfTavTextTransfer::DefaultTransfer(uchar* frame, const uchar* text, tagSIZE)
{
    AddRenderPropsBuf(fZoomX, fZoomY, kUpright, frame, text, sizeText.cx, sizeText.cy, nX, nY, nOpacity, kMirror);
}

void CfTavTextTransfer::FadeIn(uchar* frame, const uchar* text, tagSIZE)
{
    const int opacity = int(PhaseFactor() * nOpacity);
    AddRenderPropsBuf(fZoomX, fZoomY, kUpright, frame, text, sizeText.cx, sizeText.cy, nX, nY, opacity, kMirror);
}

void CfTavTextTransfer::Flash(uchar* frame, const uchar* text, tagSIZE)
{
    // Hidden in the first half of every second, shown in the second.
    const bool shown = std::fmod(std::trunc(2 * dCurTime), 2.0) != 0;
    AddRenderPropsBuf(fZoomX, fZoomY, kUpright, frame, text, sizeText.cx, sizeText.cy, nX, nY,
                      shown ? nOpacity : 0, kMirror);
}

void CfTavTextTransfer::ScrollBand(uchar* frame, const uchar* text, tagSIZE)
{
    // From just beyond the right edge to just beyond the left one every 10 seconds.
    const double step = std::fmod(std::trunc(10 * dCurTime), 100.0);
    const double w = sizeText.cx, W = sizeFrame.cx;
    const int x = ClampToInt(std::trunc((1 - step * 0.01) * (w + W) - w));
    AddRenderPropsBuf(fZoomX, fZoomY, kUpright, frame, text, sizeText.cx, sizeText.cy, x, nY, nOpacity, kMirror);
}

void CfTavTextTransfer::RotateIn(uchar* frame, const uchar* text, tagSIZE)
{
    const double k = PhaseFactor();
    AddRenderPropsBuf(float(k * fZoomX), float(k * fZoomY), float(k * kUpright), frame, text, sizeText.cx,
                      sizeText.cy, nX, nY, nOpacity, kMirror);
}

void CfTavTextTransfer::ZoomIn(uchar* frame, const uchar* text, tagSIZE)
{
    const double k = PhaseFactor();
    AddRenderPropsBuf(float(k * fZoomX), float(k * fZoomY), kUpright, frame, text, sizeText.cx, sizeText.cy, nX,
                      nY, nOpacity, kMirror);
}

void CfTavTextTransfer::Stretch_Linear(int bpp, const uchar* src, uchar* dst, int srcWidth, int srcHeight,
                                       int dstWidth, int dstHeight, int reverse)
{
    CfTavEffect::Stretch_Linear(bpp, src, dst, srcWidth, srcHeight, dstWidth, dstHeight, reverse);
}

void CfTavTextTransfer::AddRenderPropsBuf(float zoomX, float zoomY, float angle, uchar* frame, const uchar* text,
                                          int textWidth, int textHeight, int x, int y, int opacity, int mirror)
{
    const int W = sizeFrame.cx, H = sizeFrame.cy, bpp = nBpp;
    const int w = textWidth, h = textHeight;
    opacity = std::min(std::max(opacity, 0), 255);
    // At opacity 0 every blend gives the frame back.
    if (!frame || !text || w <= 0 || h <= 0 || W <= 0 || H <= 0 || (bpp != 3 && bpp != 4) || opacity == 0)
        return;
    if (!(zoomX > 0) || !(zoomY > 0) || !(w * zoomX < 1e9f) || !(zoomX * h < 1e9f))
        return;
    // Scale: both sides by zoomX; zoomY comes in when the box is placed.
    const int r = int(w * zoomX), s = int(zoomX * h);
    if (r <= 0 || s <= 0)
        return;
    const Turn t(angle);
    const Box g(r, s, t);
    const float v = zoomY / zoomX;
    if (g.cols <= 0 || g.rows <= 0 || !(g.rows * v < 1e9f))
        return;
    const int outRows = RoundHalfUp(g.rows * v);
    const int64_t X0 = int64_t(x) + (r - g.cols) / 2, Y0 = int64_t(y) + (s - g.rows) / 2;
    // A box wholly outside the frame (a scrolling title off screen) costs nothing.
    if (X0 >= W || X0 + g.cols <= 0 || Y0 >= H || Y0 + outRows <= 0)
        return;

    std::unique_ptr<uchar[]> scaled = NewPicture(r, s);
    if (!scaled)
        return;
    Stretch_Linear(4, text, scaled.get(), w, h, r, s, 0);
    std::unique_ptr<uchar[]> box = NewPicture(g.cols, g.rows);
    if (!box)
        return;
    TurnIntoBox(scaled.get(), r, s, t, g, box.get());
    scaled.reset();

    // Output row i is picture row Y0 + i of the frame and reads box row round(i / v).
    const float opacityScale = opacity * 0.003921569f;
    const int64_t jFirst = std::max<int64_t>(0, -X0), jLast = std::min<int64_t>(g.cols, W - X0);
    const int64_t iFirst = std::max<int64_t>(0, -Y0), iLast = std::min<int64_t>(outRows, H - Y0);
    for (int64_t i = iFirst; i < iLast; ++i) {
        const int boxRow = RoundHalfUp(float(i) / v);
        if (boxRow < 0 || boxRow >= g.rows)
            continue;
        const uchar* boxLine = box.get() + size_t(boxRow) * size_t(g.cols) * 4;
        uchar* frameLine = frame + size_t(H - (Y0 + i) - 1) * size_t(W) * size_t(bpp);
        for (int64_t j = jFirst; j < jLast; ++j) {
            const uchar* px = boxLine + size_t(mirror == 1 ? g.cols - 1 - j : j) * 4;
            if (!px[3])
                continue;
            BlendOver(frameLine + size_t(X0 + j) * size_t(bpp), px, opacityScale);
        }
    }
}
