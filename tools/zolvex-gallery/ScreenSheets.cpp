// The sheet of the 3D screen: every style on the test picture, over a background
// whose lower part is transparent (so the masks of the masked styles show there) and
// with three small masks of odd sizes stretched over the frame.
#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "filter/screen3d/Screen3D.h"
#include "filter/screen3d/ScreenShapes.h"
#include "tools/common/SyntheticPicture.h"
#include "tools/zolvex-gallery/Sheet.h"

namespace gallery {
namespace {

const int kCellW = 320, kCellH = 240;

cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length)
{
    auto* out = static_cast<std::vector<unsigned char>*>(closure);
    out->insert(out->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

// A 720 × 480 PNG file in memory: a dusk sky with a grid, fading out towards the bottom.
std::vector<unsigned char> BackgroundPng()
{
    std::vector<unsigned char> png;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 720, 480);
    cairo_t* cr = cairo_create(s);
    cairo_pattern_t* sky = cairo_pattern_create_linear(0, 0, 0, 480);
    cairo_pattern_add_color_stop_rgba(sky, 0.0, 0.10, 0.12, 0.35, 1.0);
    cairo_pattern_add_color_stop_rgba(sky, 0.55, 0.75, 0.45, 0.35, 1.0);
    cairo_pattern_add_color_stop_rgba(sky, 0.8, 0.75, 0.45, 0.35, 0.0);
    cairo_set_source(cr, sky);
    cairo_paint(cr);
    cairo_pattern_destroy(sky);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.25);
    cairo_set_line_width(cr, 2);
    for (int x = 0; x <= 720; x += 60) {
        cairo_move_to(cr, x, 0);
        cairo_line_to(cr, x, 300);
    }
    for (int y = 0; y <= 300; y += 60) {
        cairo_move_to(cr, 0, y);
        cairo_line_to(cr, 720, y);
    }
    cairo_stroke(cr);
    cairo_destroy(cr);
    cairo_surface_write_to_png_stream(s, AppendBytes, &png);
    cairo_surface_destroy(s);
    return png;
}

// Mask pixels as the studio hands them: blue, green, red, alpha, bottom-up.
std::vector<unsigned char> MaskPixels(int w, int h, int kind)
{
    std::vector<unsigned char> px(size_t(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char* p = &px[(size_t(y) * w + x) * 4];
            const int top = h - 1 - y;
            if (kind == 0) {  // yellow diagonal stripes
                const bool on = ((x + top) / 4) % 2 == 0;
                p[0] = 0, p[1] = 220, p[2] = 255, p[3] = on ? 255 : 0;
            } else if (kind == 1) {  // a green frame
                const int edge = std::min(std::min(x, w - 1 - x), std::min(top, h - 1 - top));
                p[0] = 40, p[1] = 200, p[2] = 40, p[3] = edge < 4 ? 255 : 0;
            } else {  // a half-transparent blue checkerboard
                const bool on = (x / 3 + top / 3) % 2 == 0;
                p[0] = 255, p[1] = 80, p[2] = 0, p[3] = on ? 128 : 0;
            }
        }
    return px;
}

}  // namespace

bool ScreenSheet(const std::string& folder)
{
    using namespace zolvex;
    const Frame scene = testpic::MakeTestPicture(kCellW, kCellH, 3);
    const std::vector<unsigned char> png = BackgroundPng();
    PictureList pictures(8);
    for (int k = 0; k < kScreenStyles; ++k)
        pictures.Add(PictureBlock{png.data(), uint32_t(png.size())});

    const tagSIZE sizes[3] = {{64, 48}, {37, 29}, {90, 61}};
    std::vector<unsigned char> maskPixels[3];
    CTavmArray<void*> masks(4);
    CTavmArray<tagSIZE> maskSizes(4);
    for (int k = 0; k < 3; ++k) {
        maskPixels[k] = MaskPixels(sizes[k].cx, sizes[k].cy, k);
        masks.Add(maskPixels[k].data());
        maskSizes.Add(sizes[k]);
    }
    SideLists sides;
    sides.pMasks = &masks;
    sides.pMaskSizes = &maskSizes;
    sides.pPictures = &pictures;

    std::vector<Cell> cells;
    for (int style = 0; style < kScreenStyles; ++style) {
        CompositionSurface surface;
        if (!surface.Resize(kCellW, kCellH))
            return false;
        surface.LoadFrame(scene.data());
        ScreenOp item{};
        item.nStyle = style;
        PrepareScreenItem(item, &pictures, kCellW, kCellH);
        DrawScreenItem(surface, item, sides, scene.data(), kCellW, kCellH);
        ReleaseScreenItem(item);
        Frame frame(scene.size());
        surface.StoreFrame(frame.data());
        const int mask = style % 4 - 1;
        std::string label = std::to_string(style) + " " + screen3d::kStyles[style].name;
        if (mask >= 0 && style < 24)
            label += " + mask " + std::to_string(mask + 1);
        cells.push_back(Cell{label, frame});
    }
    return WriteSheet(folder + "/screen3d.png", cells, kCellW, kCellH, 5);
}

}  // namespace gallery
