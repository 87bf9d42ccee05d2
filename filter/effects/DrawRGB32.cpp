// Showing a 4-byte picture on a Cairo context, the stand-in for a GDI+ bitmap
// drawn stretched onto a device context.
#include <cairo.h>

#include <cstdint>

#include "filter/effects/fTavEffect.h"

int CfTavEffect::DrawRGB32(const unsigned char* buffer, tagSIZE size, tagRECT rect, HDC dc)
{
    if (!buffer || !dc || size.cx <= 0 || size.cy <= 0)
        return 0;
    cairo_surface_t* bitmap = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size.cx, size.cy);
    if (cairo_surface_status(bitmap) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(bitmap);
        return 0;
    }
    // The buffer is straight (not premultiplied) blue-green-red-alpha, row 0 at the
    // top; Cairo keeps the same byte order premultiplied.
    cairo_surface_flush(bitmap);
    unsigned char* pixels = cairo_image_surface_get_data(bitmap);
    const int stride = cairo_image_surface_get_stride(bitmap);
    for (int y = 0; y < size.cy; ++y) {
        const unsigned char* s = buffer + size_t(y) * size_t(size.cx) * 4;
        unsigned char* d = pixels + size_t(y) * size_t(stride);
        for (int x = 0; x < size.cx; ++x, s += 4, d += 4) {
            const unsigned a = s[3];
            d[0] = static_cast<unsigned char>((s[0] * a + 127) / 255);
            d[1] = static_cast<unsigned char>((s[1] * a + 127) / 255);
            d[2] = static_cast<unsigned char>((s[2] * a + 127) / 255);
            d[3] = static_cast<unsigned char>(a);
        }
    }
    cairo_surface_mark_dirty(bitmap);

    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width != 0 && height != 0) {
        cairo_save(dc);
        cairo_translate(dc, rect.left, rect.top);
        cairo_scale(dc, double(width) / size.cx, double(height) / size.cy);
        cairo_set_source_surface(dc, bitmap, 0, 0);
        cairo_pattern_set_extend(cairo_get_source(dc), CAIRO_EXTEND_PAD);
        cairo_rectangle(dc, 0, 0, size.cx, size.cy);
        cairo_fill(dc);
        cairo_restore(dc);
    }
    cairo_surface_destroy(bitmap);
    return 1;
}
