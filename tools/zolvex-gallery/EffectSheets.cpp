// Sheets of the picture effects and of overlay compositing.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "filter/effects/fTavEffect.h"
#include "tools/common/SyntheticPicture.h"
#include "tools/zolvex-gallery/Sheet.h"

namespace gallery {
namespace {

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
bool FurtherEffects(const std::string& path)
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

bool Overlays(const std::string& path)
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

}  // namespace

bool StaticEffectSheets(const std::string& folder)
{
    const bool whole = StaticEffectSheet(folder + "/static-effects.png", false);
    return StaticEffectSheet(folder + "/static-effects-polygon.png", true) && whole;
}

bool FurtherEffectSheet(const std::string& folder)
{
    return FurtherEffects(folder + "/further-effects.png");
}

bool OverlaySheet(const std::string& folder)
{
    return Overlays(folder + "/overlays.png");
}

}  // namespace gallery
