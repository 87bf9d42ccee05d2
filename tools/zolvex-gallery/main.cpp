// zolvex-gallery: writes PNG contact sheets of what the rendering library draws, so
// that a person can look at the results.
//
//   zolvex-gallery [output folder]      (default: out/gallery)
//
// static-effects.png          every static effect on the built-in test picture
// static-effects-polygon.png  the same, confined to a polygon
// transitions.png             every transition at five moments between two pictures
// overlays.png                a sprite laid over the test picture at several zooms and
//                             angles, and the studio's border preview
#include <cairo.h>
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
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

// The further picture effects, which no dispatcher id selects, on the test picture.
bool FurtherEffectSheet(const std::string& path)
{
    const int kCellW = 240, kCellH = 180;
    const Frame src = zolvex::testpic::MakeTestPicture(kCellW, kCellH, 3);
    typedef void (*Apply)(CfTavEffect&, const Frame&, Frame&);
    const struct {
        const char* label;
        Apply apply;
    } effects[] = {
        {"GaussBlur", [](CfTavEffect& fx, const Frame& s, Frame& d) { fx.GaussBlur(s.data(), d.data()); }},
        {"MotionBlur 0", [](CfTavEffect& fx, const Frame& s, Frame& d) { fx.MotionBlur(s.data(), d.data(), 0); }},
        {"MotionBlur 1", [](CfTavEffect& fx, const Frame& s, Frame& d) { fx.MotionBlur(s.data(), d.data(), 1); }},
        {"Distord", [](CfTavEffect& fx, const Frame& s, Frame& d) { fx.Distord(s.data(), d.data()); }},
        {"TileReflection", [](CfTavEffect& fx, const Frame& s, Frame& d) { fx.TileReflection(s.data(), d.data()); }},
        {"Noise", [](CfTavEffect& fx, const Frame& s, Frame& d) { fx.Noise(s.data(), d.data()); }},
        {"Mosaic", [](CfTavEffect& fx, const Frame& s, Frame& d) { fx.Mosaic(s.data(), d.data()); }},
        {"Illusion", [](CfTavEffect& fx, const Frame& s, Frame& d) { fx.Illusion(s.data(), d.data()); }},
        {"Frog", [](CfTavEffect& fx, const Frame& s, Frame& d) { fx.Frog(s.data(), d.data()); }},
    };
    std::vector<Cell> cells{{"Original", src}};
    for (const auto& e : effects) {
        CfTavEffect fx;
        fx.InitEffect(tagSIZE{kCellW, kCellH}, kCellW / 720.0f, kCellW / 720.0f, 60, 3);
        Frame dst(src.size());
        e.apply(fx, src, dst);
        cells.push_back(Cell{e.label, dst});
    }
    return WriteSheet(path, cells, kCellW, kCellH, 5);
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

// A 64 × 64 four-pointed star with a soft edge: blue-green-red-alpha, bottom-up.
Frame StarSprite()
{
    const int n = 64;
    Frame px(size_t(n) * n * 4);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const double dx = std::fabs(x - 31.5) / 32, dy = std::fabs(y - 31.5) / 32;
            const double inside = 1.0 - (std::sqrt(dx) + std::sqrt(dy));  // astroid
            unsigned char* p = &px[(size_t(y) * n + x) * 4];
            p[0] = uint8_t(40 + y * 3);
            p[1] = uint8_t(200 - y * 2);
            p[2] = 255;
            p[3] = uint8_t(inside <= 0 ? 0 : (inside > 0.1 ? 255 : inside * 2550));
        }
    return px;
}

bool OverlaySheet(const std::string& path)
{
    const int w = 240, h = 180;
    const Frame background = zolvex::testpic::MakeTestPicture(w, h, 3);
    const Frame star = StarSprite();
    std::vector<Cell> cells;
    for (float zoom : {0.5f, 1.0f, 2.0f})
        for (float angle : {0.0f, 30.0f, 90.0f, 200.0f}) {
            CfTavEffect fx;
            fx.InitEffect(tagSIZE{w, h}, 1, 1, 100, 3);
            Frame frame = background;
            fx.AddRenderPropsBuf(zoom, zoom, angle, frame.data(), star.data(), tagSIZE{64, 64}, w / 2, h / 2, 220, 0, 0);
            char label[64];
            std::snprintf(label, sizeof label, "zoom %.1f angle %.0f", zoom, angle);
            cells.push_back(Cell{label, frame});
        }
    for (int member = 0; member < 3; ++member) {
        CfTavEffect fx;
        fx.InitEffect(tagSIZE{w, h}, 1, 1, 100, 3);
        Frame frame = background;
        const char* name = "AddRenderPropsBuf stretched";
        if (member == 0)
            fx.AddRenderPropsBuf(1.5f, 0.8f, 20, frame.data(), star.data(), tagSIZE{64, 64}, w / 2, h / 2, 255, 0, 0);
        else if (member == 1) {
            fx.AddV2RenderPropsBuf(1.5f, 0.8f, 20, frame.data(), star.data(), tagSIZE{64, 64}, w / 2, h / 2, 255, 0, 0);
            name = "AddV2RenderPropsBuf (mirror)";
        } else {
            fx.AddRenderBorderBuf(float(w) / 64, float(h) / 64, 180, frame.data(), star.data(), tagSIZE{64, 64},
                                  -w / 2, 0, 255, 0, 0);
            name = "AddRenderBorderBuf preview";
        }
        cells.push_back(Cell{name, frame});
    }
    return WriteSheet(path, cells, w, h, 4);
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
    ok = FurtherEffectSheet(folder + "/further-effects.png") && ok;
    ok = OverlaySheet(folder + "/overlays.png") && ok;
    return ok ? 0 : 1;
}
