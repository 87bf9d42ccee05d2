// The sheet of the animated titles: each text animation at several moments of a
// ten-second title, then the rasteriser's own variants (shadowed, two lines,
// non-Latin letters, decorated faces).
#include <cstdio>
#include <cstring>

#include "filter/text/fTavTextBuffer.h"
#include "filter/text/fTavTextTransfer.h"
#include "tools/common/SyntheticPicture.h"
#include "tools/zolvex-gallery/Sheet.h"

namespace gallery {
namespace {

const int kCellW = 320, kCellH = 240;

LOGFONTA Font(int height, const char* face, int weight = 400)
{
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    std::strncpy(lf.lfFaceName, face, sizeof lf.lfFaceName - 1);
    return lf;
}

struct Picture {
    int w = 0, h = 0;
    Frame px;
};

Picture Rasterise(const char* text, const LOGFONTA& lf, COLORREF colour, bool shadow)
{
    CfTavTextBuffer tb;
    tb.SetText(text);
    tb.SetColor(colour);
    tb.SetFont(lf);
    Picture p;
    if (!tb.InitBuf())
        return p;
    const unsigned char* bits = shadow ? tb.GetTextBufferGdip() : tb.GetTextBuffer();
    p.w = tb.nTextWidth;
    p.h = tb.nTextHeight;
    p.px.assign(bits, bits + size_t(p.w) * p.h * 4);
    return p;
}

// The title over the test picture with animation id at time t of a 10 s interval;
// the picture is placed centred.
Frame Titled(const Frame& background, const Picture& p, int id, double t, int y)
{
    Frame frame = background;
    if (p.w == 0)
        return frame;
    tagOPR_TEXT op{};
    op.nPosX = (kCellW - p.w) / 2;
    op.nPosY = y;
    op.nOpacity = 255;
    CfTavTextTransfer tt;
    tt.SetSrcVideoSize(tagSIZE{kCellW, kCellH});
    tt.InitTransfer(tagSIZE{p.w, p.h}, tagSIZE{kCellW, kCellH}, 3, 10.0, &op, 1.0f, 1.0f);
    tt.SetCurTransferID(id);
    tt.SetCurTransferTime(t);
    tt.Transfer(frame.data(), p.px.data(), tagSIZE{p.w, p.h});
    return frame;
}

}  // namespace

bool TitleSheet(const std::string& folder)
{
    const Frame background = zolvex::testpic::MakeTestPicture(kCellW, kCellH, 3);
    const Picture title = Rasterise("Zolvex Titles", Font(-32, "Arial", 700), RGB(255, 255, 255), false);
    std::vector<Cell> cells;
    for (int id = 0; id <= GetTextTransferCount(); ++id) {
        const char* name = id == 0 ? "Still" : GetTextTransferName(id);
        for (double t : {0.6, 1.2, 5.7, 9.3}) {
            char label[64];
            std::snprintf(label, sizeof label, "%s  t = %.1f s", name, t);
            cells.push_back(Cell{label, Titled(background, title, id, t, 24)});
        }
    }
    const struct {
        const char* label;
        const char* text;
        LOGFONTA font;
        COLORREF colour;
        bool shadow;
    } variants[] = {
        {"shadowed (GetTextBufferGdip)", "Shadowed title", Font(-40, "DejaVu Sans"), RGB(250, 250, 250), true},
        {"two lines, centred", "Two lines\nof a centred title", Font(-26, "Liberation Serif"), RGB(255, 240, 60),
         false},
        {"UTF-8 letters", "Привет, Ελλάδα!", Font(-30, "DejaVu Sans"), RGB(255, 255, 255), false},
        {"italic, underline, strike-out", "Decorated", Font(-34, "Liberation Sans"), RGB(255, 120, 0), false},
    };
    for (const auto& v : variants) {
        LOGFONTA lf = v.font;
        if (std::strcmp(v.text, "Decorated") == 0) {
            lf.lfItalic = 1;
            lf.lfUnderline = 1;
            lf.lfStrikeOut = 1;
        }
        const Picture p = Rasterise(v.text, lf, v.colour, v.shadow);
        cells.push_back(Cell{v.label, Titled(background, p, 0, 5.0, 20)});
    }
    return WriteSheet(folder + "/titles.png", cells, kCellW, kCellH, 4);
}

}  // namespace gallery
