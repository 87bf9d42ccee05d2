#include "tools/zolvex-gallery/Sheet.h"

#include <cairo.h>

#include <cstdio>

namespace gallery {
namespace {

const int kLabelH = 22;

// A 3-byte bottom-up frame into a Cairo surface, top line first.
void PutFrame(cairo_surface_t* sheet, const Frame& frame, int w, int h, int left, int top)
{
    cairo_surface_flush(sheet);
    unsigned char* data = cairo_image_surface_get_data(sheet);
    const int stride = cairo_image_surface_get_stride(sheet);
    for (int y = 0; y < h; ++y) {
        const unsigned char* s = frame.data() + size_t(h - 1 - y) * w * 3;
        unsigned char* d = data + size_t(top + y) * stride + size_t(left) * 4;
        for (int x = 0; x < w; ++x, s += 3, d += 4) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            d[3] = 255;
        }
    }
    cairo_surface_mark_dirty(sheet);
}

}  // namespace

// Cells of cellW × cellH pictures, `columns` to a row, each labelled below.
bool WriteSheet(const std::string& path, const std::vector<Cell>& cells, int cellW, int cellH, int columns)
{
    const int rows = int(cells.size() + columns - 1) / columns;
    cairo_surface_t* sheet =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, columns * cellW, rows * (cellH + kLabelH));
    cairo_t* cr = cairo_create(sheet);
    cairo_set_source_rgb(cr, 0.15, 0.15, 0.15);
    cairo_paint(cr);
    for (size_t k = 0; k < cells.size(); ++k) {
        const int left = int(k % columns) * cellW, top = int(k / columns) * (cellH + kLabelH);
        PutFrame(sheet, cells[k].frame, cellW, cellH, left, top);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, cellW < 200 ? 10 : 13);
        cairo_move_to(cr, left + 6, top + cellH + 16);
        cairo_show_text(cr, cells[k].label.c_str());
    }
    cairo_destroy(cr);
    const cairo_status_t status = cairo_surface_write_to_png(sheet, path.c_str());
    cairo_surface_destroy(sheet);
    if (status != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "zolvex-gallery: cannot write %s: %s\n", path.c_str(), cairo_status_to_string(status));
        return false;
    }
    std::printf("wrote %s\n", path.c_str());
    return true;
}

}  // namespace gallery
