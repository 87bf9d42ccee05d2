// Animated pictures: the frame clock kept in the record and the picture's selected
// frame drawn with the object's opacity.
#include "filter/timeline/video/StickerDrawing.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "filter/media/AnimatedPicture.h"

namespace zolvex {
namespace {

int32_t Saturate(double v)
{
    if (!(v > 0))
        return v < 0 ? INT32_MIN : 0;  // NaN counts as nothing
    return v >= double(INT32_MAX) ? INT32_MAX : int32_t(v);
}

// Milliseconds a frame step adds: real time when encoding; in preview, where frames
// come slower than real time, the square of the step.
int32_t ElapsedStep(double dt, int mode)
{
    return Saturate(std::trunc(mode == 1 ? 1000.0 * dt : 25000.0 * dt * dt));
}

// The part of the selected frame inside both the record's size and the picture, as
// premultiplied ARGB at the size the frames are kept at: alpha 0 stays, any other
// alpha becomes nAlpha. The rest of the record's bitmap would be transparent.
cairo_surface_t* MakeBitmap(const AnimatedPicture& picture, const StickerOp& op)
{
    const unsigned char* frame = picture.Frame(picture.SelectedFrame());
    const int sw = picture.StoredWidth(), sh = picture.StoredHeight();
    const int64_t w = std::min<int64_t>(sw, (int64_t(std::min(op.nWidth, picture.Width())) * sw + picture.Width() - 1) /
                                                std::max(picture.Width(), 1));
    const int64_t h = std::min<int64_t>(sh, (int64_t(std::min(op.nHeight, picture.Height())) * sh +
                                             picture.Height() - 1) / std::max(picture.Height(), 1));
    if (!frame || w <= 0 || h <= 0)
        return nullptr;
    cairo_surface_t* bitmap = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(w), int(h));
    if (cairo_surface_status(bitmap) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(bitmap);
        return nullptr;
    }
    const uint32_t alpha = uint32_t(std::min(std::max(op.nAlpha, 0), 255));
    unsigned char* pixels = cairo_image_surface_get_data(bitmap);
    const int stride = cairo_image_surface_get_stride(bitmap);
    for (int64_t y = 0; y < h; ++y) {
        const unsigned char* s = frame + size_t(y) * size_t(sw) * 4;
        uint32_t* d = reinterpret_cast<uint32_t*>(pixels + size_t(y) * size_t(stride));
        for (int64_t x = 0; x < w; ++x, s += 4) {
            const uint32_t a = s[3] == 0 ? 0 : alpha;
            d[x] = a << 24 | (s[2] * a + 127) / 255 << 16 | (s[1] * a + 127) / 255 << 8 | (s[0] * a + 127) / 255;
        }
    }
    cairo_surface_mark_dirty(bitmap);
    return bitmap;
}

}  // namespace

void DrawSticker(CompositionSurface& surface, StickerOp& op, double t, double& lastFrameTime, int mode)
{
    auto* picture = static_cast<AnimatedPicture*>(op.hImage);
    if (!picture || !op.pDelays || op.nFrameCount <= 0 || op.nFrameCount > picture->FrameCount())
        return;
    // A frame index left over from another picture starts the loop again.
    if (op.nCurFrame < 0 || op.nCurFrame >= op.nFrameCount)
        op.nCurFrame = 0;

    op.nFrameDelay = Saturate(double(op.pDelays[op.nCurFrame]) * 10.0);
    if (lastFrameTime > t)
        lastFrameTime = t;
    op.nElapsed = Saturate(double(op.nElapsed) + ElapsedStep(t - lastFrameTime, mode));
    if (op.nElapsed > op.nFrameDelay) {
        op.nElapsed = 0;
        picture->SelectFrame(op.nCurFrame);
        if (++op.nCurFrame >= op.nFrameCount)
            op.nCurFrame = 0;
    }

    const int32_t* rc = op.rcDest;
    if (!surface.Valid() || rc[2] <= 0 || rc[3] <= 0 || op.nWidth <= 0 || op.nHeight <= 0)
        return;
    cairo_surface_t* bitmap = MakeBitmap(*picture, op);
    if (!bitmap)
        return;
    cairo_t* cr = surface.Context();
    cairo_save(cr);
    cairo_translate(cr, rc[0], rc[1]);
    // The record's size is in the picture's own pixels; frames kept smaller are
    // stretched by as much more.
    const double kept = double(picture->StoredWidth()) / picture->Width();
    const double keptY = double(picture->StoredHeight()) / picture->Height();
    cairo_scale(cr, double(rc[2]) / (op.nWidth * kept), double(rc[3]) / (op.nHeight * keptY));
    cairo_set_source_surface(cr, bitmap, 0, 0);
    // Padding keeps the picture's edges sharp where the bitmap is stretched.
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_rectangle(cr, 0, 0, cairo_image_surface_get_width(bitmap), cairo_image_surface_get_height(bitmap));
    cairo_fill(cr);
    cairo_restore(cr);
    cairo_surface_destroy(bitmap);
}

}  // namespace zolvex
