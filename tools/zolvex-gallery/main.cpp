// zolvex-gallery: writes PNG contact sheets of what the rendering library draws, so
// that a person can look at the results.
//
//   zolvex-gallery [output folder]      (default: out/gallery)
//
// static-effects.png          every static effect on the built-in test picture
// static-effects-polygon.png  the same, confined to a polygon
// transitions.png             every transition at five moments between two pictures
#include <cairo.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "filter/effects/fTavEffect.h"
#include "filter/transitions/fTavTransition.h"
#include "tools/common/SyntheticPicture.h"

namespace {

const int kLabelH = 22;

typedef std::vector<unsigned char> Frame;

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

struct Cell {
    std::string label;
    Frame frame;
};

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

bool StaticEffectSheet(const std::string& path, bool confined)
{
    const int kCellW = 240, kCellH = 180;
    const Frame src = zolvex::testpic::MakeTestPicture(kCellW, kCellH, 3);
    std::vector<Cell> cells{{"Original", src}};
    CTavmArray<tagSIZE> polygon(5);
    for (tagSIZE p : {tagSIZE{20, 10}, tagSIZE{230, 30}, tagSIZE{170, 100}, tagSIZE{225, 175}, tagSIZE{100, 140},
                      tagSIZE{10, 170}, tagSIZE{60, 90}})
        polygon.Add(p);
    tagOPR_EFFECT op{};
    op.pValidPolygon = confined ? &polygon : nullptr;
    for (int id = 0; id < GetStaticEffectCount(); ++id) {
        CfTavEffect fx;
        fx.InitEffect(tagSIZE{kCellW, kCellH}, kCellW / 720.0f, kCellW / 720.0f, 60, 3);
        fx.SetCurEffectID(id);
        Frame dst = src;
        std::srand(1);
        fx.Effect(src.data(), dst.data(), &op);
        cells.push_back(Cell{std::to_string(id) + " " + GetStaticEffectName(id), dst});
    }
    return WriteSheet(path, cells, kCellW, kCellH, 4);
}

// The studio's transition thumbnails are 160 × 120.
bool TransitionSheet(const std::string& path)
{
    const int w = 160, h = 120;
    const double moments[] = {0.0, 0.25, 0.5, 0.75, 1.0};
    const Frame a = zolvex::testpic::MakeTestPicture(w, h, 3);
    const Frame b = zolvex::testpic::MakeSecondPicture(w, h, 3);
    std::vector<Cell> cells;
    for (int id = 1; id <= GetTransitionCount(); ++id)
        for (double p : moments) {
            CfTavTransition t;
            t.InitTransfer(tagSIZE{w, h}, 3, 1.0);
            t.SetCurTransferTime(p);
            t.SetCurTransferID(id);
            Frame o(a.size());
            t.Transfer(a.data(), b.data(), o.data());
            char label[96];
            std::snprintf(label, sizeof label, "%d %s %.2f", id, GetTransitionName(id), p);
            cells.push_back(Cell{label, o});
        }
    return WriteSheet(path, cells, w, h, 5);
}

bool MakeFolder(const std::string& path)
{
    std::string partial;
    for (size_t k = 0; k <= path.size(); ++k) {
        if (k == path.size() || path[k] == '/') {
            if (!partial.empty() && mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
                std::fprintf(stderr, "zolvex-gallery: cannot create folder %s: %s\n", partial.c_str(),
                             std::strerror(errno));
                return false;
            }
        }
        if (k < path.size())
            partial += path[k];
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string folder = argc > 1 ? argv[1] : "out/gallery";
    if (!MakeFolder(folder))
        return 1;
    bool ok = StaticEffectSheet(folder + "/static-effects.png", false);
    ok = StaticEffectSheet(folder + "/static-effects-polygon.png", true) && ok;
    ok = TransitionSheet(folder + "/transitions.png") && ok;
    return ok ? 0 : 1;
}
