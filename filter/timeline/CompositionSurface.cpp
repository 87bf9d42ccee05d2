#include "filter/timeline/CompositionSurface.h"

#include <cairo.h>

#include <cstring>

namespace zolvex {

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
    for (int y = 0; y < height_; ++y) {
        const unsigned char* s = frame + size_t(height_ - 1 - y) * size_t(width_) * 3;
        unsigned char* d = pixels + size_t(y) * size_t(stride);
        for (int x = 0; x < width_; ++x, s += 3, d += 4) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            d[3] = 255;
        }
    }
    MarkDirty();
}

void CompositionSurface::StoreFrame(unsigned char* frame) const
{
    if (!surface_ || !frame)
        return;
    Flush();
    const unsigned char* pixels = Pixels();
    const int stride = Stride();
    for (int y = 0; y < height_; ++y) {
        const unsigned char* s = pixels + size_t(y) * size_t(stride);
        unsigned char* d = frame + size_t(height_ - 1 - y) * size_t(width_) * 3;
        for (int x = 0; x < width_; ++x, s += 4, d += 3) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
        }
    }
}

}  // namespace zolvex
