#include "filter/common/CompositionSurface.h"

#include <cairo.h>

#include <cstring>

#include "filter/common/CpuDispatch.h"

namespace zolvex {
namespace {

typedef unsigned char uchar;

// 3-byte pixels to the surface's 4-byte ones and back, a row at a time.
ZOLVEX_ALWAYS_INLINE void ExpandRowLoop(const uchar* __restrict s, uchar* __restrict d, int w)
{
    for (int x = 0; x < w; ++x) {
        d[4 * x] = s[3 * x];
        d[4 * x + 1] = s[3 * x + 1];
        d[4 * x + 2] = s[3 * x + 2];
        d[4 * x + 3] = 255;
    }
}

ZOLVEX_ALWAYS_INLINE void PackRowLoop(const uchar* __restrict s, uchar* __restrict d, int w)
{
    for (int x = 0; x < w; ++x) {
        d[3 * x] = s[4 * x];
        d[3 * x + 1] = s[4 * x + 1];
        d[3 * x + 2] = s[4 * x + 2];
    }
}

ZOLVEX_KERNEL_DISPATCH(ExpandRow, (const uchar* s, uchar* d, int w), (s, d, w), ExpandRowLoop(s, d, w))
ZOLVEX_KERNEL_DISPATCH(PackRow, (const uchar* s, uchar* d, int w), (s, d, w), PackRowLoop(s, d, w))

}  // namespace

CompositionSurface::CompositionSurface() = default;

CompositionSurface::~CompositionSurface()
{
    Resize(0, 0);
}

bool CompositionSurface::Resize(int width, int height)
{
    if (context_)
        cairo_destroy(context_);
    if (surface_)
        cairo_surface_destroy(surface_);
    context_ = nullptr;
    surface_ = nullptr;
    width_ = height_ = 0;
    if (width <= 0 || height <= 0)
        return false;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return false;
    }
    cairo_t* cr = cairo_create(s);
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
        cairo_destroy(cr);
        cairo_surface_destroy(s);
        return false;
    }
    surface_ = s;
    context_ = cr;
    width_ = width;
    height_ = height;
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    return true;
}

unsigned char* CompositionSurface::Pixels() const
{
    return surface_ ? cairo_image_surface_get_data(surface_) : nullptr;
}

int CompositionSurface::Stride() const
{
    return surface_ ? cairo_image_surface_get_stride(surface_) : 0;
}

void CompositionSurface::Flush() const
{
    if (surface_)
        cairo_surface_flush(surface_);
}

void CompositionSurface::MarkDirty() const
{
    if (surface_)
        cairo_surface_mark_dirty(surface_);
}

void CompositionSurface::LoadFrame(const unsigned char* frame)
{
    if (!surface_ || !frame)
        return;
    Flush();
    unsigned char* pixels = Pixels();
    const int stride = Stride();
    for (int y = 0; y < height_; ++y)
        ExpandRow(frame + size_t(height_ - 1 - y) * size_t(width_) * 3, pixels + size_t(y) * size_t(stride), width_);
    MarkDirty();
}

void CompositionSurface::StoreFrame(unsigned char* frame) const
{
    if (!surface_ || !frame)
        return;
    Flush();
    const unsigned char* pixels = Pixels();
    const int stride = Stride();
    for (int y = 0; y < height_; ++y)
        PackRow(pixels + size_t(y) * size_t(stride), frame + size_t(height_ - 1 - y) * size_t(width_) * 3, width_);
}

}  // namespace zolvex
