// Titles are checked by ink boxes, channel strengths and placement, never by the
// glyph shapes of one font version. The text is red and its shadow blue, so the two
// are told apart by channel on the black surface.
#include <gtest/gtest.h>
#include <pango/pangocairo.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "filter/timeline/video/TitleDrawing.h"
#include "tests/text/TextTestSupport.h"

using namespace zolvex;
using zolvex::test::Font;
using zolvex::test::InkBox;

namespace {

// Pango keeps a font map with its caches per thread for the life of the thread;
// letting it go at the end makes the leak check see only what the drawing left.
struct ReleaseFontCaches : ::testing::Environment {
    void TearDown() override { pango_cairo_font_map_set_default(nullptr); }
};
::testing::Environment* const g_fontCaches = ::testing::AddGlobalTestEnvironment(new ReleaseFontCaches);

}  // namespace

// Fontconfig loses a block while parsing its configuration files, whoever calls it;
// it has no frame pointers, so the suppression needs the slow unwinder.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() { return "leak:XML_ParseBuffer\n"; }
extern "C" __attribute__((used)) const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

namespace {

enum Channel { kBlue = 0, kGreen = 1, kRed = 2 };

TextOp Title(const char* text, int style, int x = 40, int y = 80, int height = -40)
{
    TextOp op;
    std::memset(&op, 0, sizeof op);
    std::memcpy(op.szText, text, std::min(std::strlen(text), sizeof op.szText));
    op.nStyle = style;
    op.dStartTime = 100;  // elapsed time e = t − 100
    op.dEndTime = 110;
    op.lfFont = Font(height);
    op.crText = RGB(255, 0, 0);
    op.crShadow = RGB(0, 0, 255);
    op.nX = x, op.nY = y, op.nOpacity = 255;
    return op;
}

struct Canvas {
    CompositionSurface surface;
    TitleFrame frame;
    explicit Canvas(int w = 320, int h = 240, int refW = -1, int refH = -1)
    {
        surface.Resize(w, h);
        frame = {w, h, refW < 0 ? w : refW, refH < 0 ? h : refH};
    }
    // Draws the title at elapsed time e on a fresh black surface.
    Canvas& Draw(const TextOp& op, double e)
    {
        surface.Resize(surface.Width(), surface.Height());
        DrawTitle(surface, op, op.dStartTime + e, frame);
        surface.Flush();
        return *this;
    }
    const unsigned char* At(int x, int y) const { return surface.Pixels() + size_t(y) * surface.Stride() + x * 4; }
    // Pixels of rows [y0, y1) and columns [x0, x1) that keep(pixel) picks.
    template <class Keep>
    InkBox Where(Keep keep, int y0 = 0, int y1 = INT_MAX, int x0 = 0, int x1 = INT_MAX) const
    {
        InkBox box;
        for (int y = std::max(y0, 0); y < std::min(y1, surface.Height()); ++y)
            for (int x = std::max(x0, 0); x < std::min(x1, surface.Width()); ++x)
                if (keep(At(x, y)))
                    box.Add(x, y);
        return box;
    }
    // Text ink: the shadow is blue.
    InkBox Ink(int y0 = 0, int y1 = INT_MAX, int x0 = 0, int x1 = INT_MAX) const
    {
        return Where([](const unsigned char* p) { return p[kRed] > 40; }, y0, y1, x0, x1);
    }
    int Strongest(Channel c = kRed) const
    {
        int top = 0;
        Where([&](const unsigned char* p) { return (top = std::max(top, int(p[c]))) < 0; });
        return top;
    }
    bool Blank() const { return Where([](const unsigned char* p) { return p[0] || p[1] || p[2]; }).count == 0; }
};

double CentreX(const InkBox& b) { return (b.left + b.right) / 2.0; }
double CentreY(const InkBox& b) { return (b.top + b.bottom) / 2.0; }

void ExpectShifted(const InkBox& b, const InkBox& from, int dx, int tolerance, const char* what)
{
    EXPECT_NEAR(b.left, from.left + dx, tolerance) << what;
    EXPECT_NEAR(b.right, from.right + dx, tolerance) << what;
}

TEST(TitleDrawing, BlinkAndFadeSetTheOpacity)
{
    Canvas c;
    for (double e : {0.25, 1.25, 2.4})
        EXPECT_TRUE(c.Draw(Title("Zolvex", 2), e).Blank()) << e;
    for (double e : {0.75, 1.75, 2.6})
        EXPECT_EQ(c.Draw(Title("Zolvex", 2), e).Strongest(), 255) << e;
    // Opacity 255 × e / 1.2 in, × rem / 1.2 out; the strongest red is the text's alpha.
    const double ramp[][2] = {{0.3, 63}, {0.6, 127}, {1.2, 255}, {5, 255}, {9.4, 127}, {9.7, 63}};
    for (const auto& r : ramp)
        EXPECT_NEAR(c.Draw(Title("Zolvex", 1), r[0]).Strongest(), r[1], 1) << r[0];
}

TEST(TitleDrawing, MarqueeCrossesFromTheRightEveryTenSeconds)
{
    Canvas c;
    EXPECT_EQ(c.Draw(Title("Zolvex", 3), 0.05).Ink().count, 0);
    const InkBox start = c.Draw(Title("Zolvex", 3), 0.15).Ink();
    EXPECT_GT(start.left, 300);
    EXPECT_EQ(start.right, 319);
    const InkBox again = c.Draw(Title("Zolvex", 3), 10.15).Ink();
    EXPECT_EQ(again.left, start.left);
    EXPECT_EQ(again.count, start.count);
    // Half way through the text is centred: x = (W − tw) / 2.
    EXPECT_NEAR(CentreX(c.Draw(Title("Zolvex", 3), 5.05).Ink()), 160, 4);
}

TEST(TitleDrawing, ZoomGrowsFromTheCornerAndSpinTurnsRoundTheCentre)
{
    Canvas c;
    const InkBox still = c.Draw(Title("Zolvex Zolvex", 5, 20, 100, -30), 5).Ink();
    const double w = still.right - still.left, h = still.bottom - still.top;
    ASSERT_GT(w, 200);
    for (double e : {0.3, 0.6, 9.4}) {
        const double scale = e < 5 ? e / 1.2 : (10 - e) / 1.2;
        const InkBox zoom = c.Draw(Title("Zolvex Zolvex", 5, 20, 100, -30), e).Ink();
        EXPECT_NEAR(zoom.right - zoom.left, w * scale, 4) << e;
        EXPECT_NEAR(zoom.bottom - zoom.top, h * scale, 4) << e;
        EXPECT_TRUE(std::abs(zoom.left - still.left) <= 3 && zoom.top >= 100 && zoom.top <= still.top)
            << "the top-left corner stays";
        // 300 e degrees: a quarter turn at 0.3 s, a half at 0.6 s, round the centre
        // of the zoomed text.
        const InkBox spin = c.Draw(Title("Zolvex Zolvex", 4, 20, 100, -30), e).Ink();
        EXPECT_NEAR(spin.right - spin.left, (e == 0.3 ? h : w) * scale, 4) << e;
        EXPECT_NEAR(spin.bottom - spin.top, (e == 0.3 ? w : h) * scale, 4) << e;
        EXPECT_NEAR(CentreX(spin), CentreX(zoom), 4) << e;
        EXPECT_NEAR(CentreY(spin), CentreY(zoom), 4) << e;
    }
}

TEST(TitleDrawing, SwingAndWaveMoveInFromOutside)
{
    Canvas c;
    const InkBox still = c.Draw(Title("Zolvex", 8, 60, 150, -24), 5).Ink();
    const struct {
        int style, x;
        double e, dx, dy;
    } moves[] = {
        {8, 20, 0.6, 160, -120},    // from the right-top, turned 15°
        {8, 220, 9.4, -160, -120},  // out to the left-top
        {6, 300, 0.6, -160, 0},     // wave: sin(3π) = 0
        {6, 300, 0.1, -293, -40},   // sin(π/2) = 1 lifts it by H / 6
    };
    for (const auto& m : moves) {
        const InkBox b = c.Draw(Title("Zolvex", m.style, m.x, 150, -24), m.e).Ink();
        EXPECT_NEAR(CentreX(b), CentreX(still) + (m.x - 60) + m.dx, 6) << m.style << " " << m.e;
        EXPECT_NEAR(CentreY(b), CentreY(still) + m.dy, 6) << m.style << " " << m.e;
    }
    EXPECT_EQ(c.Draw(Title("Zolvex", 8, 20, 150, -24), 0.01).Ink().count, 0);
    // Turned clockwise: the end of the text lies lower than its start.
    const InkBox b = c.Draw(Title("Zolvex", 8, 20, 150, -24), 0.6).Ink();
    const int third = (b.right - b.left) / 3;
    EXPECT_GT(CentreY(c.Ink(0, INT_MAX, b.right - third)), CentreY(c.Ink(0, INT_MAX, 0, b.left + third)) + 10);
}

TEST(TitleDrawing, LettersLandWhereTheStillTextIs)
{
    // Two-byte and three-byte characters are walked whole.
    const char* text = "\xc3\xa9" "B\nC\xe2\x82\xac";  // "éB\nC€"
    Canvas c;
    const InkBox still = c.Draw(Title(text, 7, 200, 60), 5).Ink();
    const int split = (still.top + still.bottom) / 2;
    const InkBox top = c.Ink(0, split), bottom = c.Ink(split);
    ASSERT_GT(top.count, 0);
    ASSERT_GT(bottom.count, 0);
    // Just before the intro ends (3° off, 2.7 px left), and as late in the outro.
    for (double e : {1.19, 8.81}) {
        c.Draw(Title(text, 7, 200, 60), e);
        ExpectShifted(c.Ink(0, split), top, -3, 3, "first line");
        ExpectShifted(c.Ink(split), bottom, -3, 3, "second line");
        EXPECT_NEAR(c.Ink().top, still.top, 3);
        EXPECT_NEAR(c.Ink().bottom, still.bottom, 3);
    }
    // Half way in: each letter upside down in its own place, 160 px to the left.
    c.Draw(Title(text, 7, 200, 60), 0.6);
    ExpectShifted(c.Ink(0, split), top, -160, 4, "first line");
    ExpectShifted(c.Ink(split), bottom, -160, 4, "second line");
}

TEST(TitleDrawing, PositionsAndSizeFollowTheFrames)
{
    const InkBox plain = Canvas().Draw(Title("Zolvex", 0, 100, 50), 5).Ink();
    Canvas half(320, 240, 640, 480), none(320, 240, 0, 0), twice(640, 480, 320, 240);
    // With no reference size the position stays as it is.
    for (const InkBox& b :
         {half.Draw(Title("Zolvex", 0, 200, 100), 5).Ink(), none.Draw(Title("Zolvex", 0, 100, 50), 5).Ink()})
        EXPECT_TRUE(b.left == plain.left && b.top == plain.top && b.right == plain.right && b.bottom == plain.bottom);
    // Twice the output: the position and the text scale double.
    const InkBox big = twice.Draw(Title("Zolvex", 0, 100, 50), 5).Ink();
    ExpectShifted(big, InkBox{2 * plain.left, 0, 2 * plain.right}, 0, 3, "doubled");
    EXPECT_NEAR(big.bottom, 2 * plain.bottom, 3);
}

TEST(TitleDrawing, SoftShadowLiesBelowRightWithItsAlpha)
{
    Canvas c;
    c.Draw(Title("Zolvex", 0), 5);
    const InkBox text = c.Ink();
    const InkBox shadow = c.Where([](const unsigned char* p) { return p[kBlue] > 40 && p[kRed] < 10; });
    const InkBox soft = c.Where([](const unsigned char* p) { return p[kBlue] > 40 && p[kBlue] < 150 && p[kRed] < 10; });
    ASSERT_GT(shadow.count, 20);
    EXPECT_GT(shadow.right, text.right);
    EXPECT_GT(shadow.bottom, text.bottom);
    EXPECT_GE(shadow.left, text.left - 4);
    EXPECT_GT(soft.count, shadow.count / 4) << "blurred edges";

    // Under solid blocks at opacity 100: text alpha 100, shadow alpha 80 under it, so
    // blue = 80 × (1 − 100 / 255).
    TextOp blocks = Title("\xe2\x96\x88\xe2\x96\x88", 0);
    blocks.nOpacity = 100;
    const int strongest = c.Draw(blocks, 5).Strongest();
    EXPECT_NEAR(strongest, 100, 1);
    const InkBox full = c.Where([&](const unsigned char* p) { return p[kRed] == strongest; });
    const InkBox over =
        c.Where([&](const unsigned char* p) { return p[kRed] == strongest && std::abs(p[kBlue] - 49) <= 1; });
    EXPECT_GT(over.count, full.count / 2);
}

TEST(TitleDrawing, TwoThreadsDrawAlike)
{
    auto draw = [](std::vector<unsigned char>& out) {
        Canvas c;
        for (int style = 1; style <= 8; ++style)
            DrawTitle(c.surface, Title("Zolvex\nTitles", style, 20 * style, 10 * style, 20), 100.5, c.frame);
        c.surface.Flush();
        out.assign(c.surface.Pixels(), c.surface.Pixels() + c.surface.Stride() * 240);
    };
    std::vector<unsigned char> alone, a, b;
    draw(alone);
    std::thread one(draw, std::ref(a)), two(draw, std::ref(b));
    one.join();
    two.join();
    EXPECT_TRUE(a == alone && b == alone);
}

TEST(TitleDrawing, AwkwardTitlesDrawSafely)
{
    Canvas c;
    // 333 zero-width spaces and a W fill the field without a NUL; the next field's
    // bytes ("W" and NULs) must not be read as text.
    TextOp open = Title("W", 0x57);
    std::string fill;
    for (int k = 0; k < 333; ++k)
        fill += "\xe2\x80\x8b";
    std::memcpy(open.szText, (fill + "W").data(), sizeof open.szText);
    ExpectShifted(c.Draw(open, 5).Ink(), c.Draw(Title("W", 0x57), 5).Ink(), 0, 0, "one W");

    TextOp transparent = Title("Zolvex", 0);
    transparent.nOpacity = 0;
    EXPECT_TRUE(c.Draw(Title("", 1), 5).Blank());
    EXPECT_TRUE(c.Draw(transparent, 5).Blank());
    EXPECT_TRUE(c.Draw(Title("Zolvex", 4), 0).Blank()) << "nothing at zero size";

    TextOp odd = Title("bad \xff bytes\r\n\xc3", 7, INT_MAX, INT_MIN, INT_MIN);
    odd.nOpacity = 100000;
    for (odd.nStyle = 0; odd.nStyle <= 9; ++odd.nStyle)
        for (double e : {0.0, 0.5, 5.0, 1e300, double(NAN), -1e300})
            c.Draw(odd, e);
    for (const TitleFrame& f :
         {TitleFrame{INT_MAX, INT_MAX, 1, 1}, TitleFrame{3, 3, 0, 0}, TitleFrame{320, 240, -5, -5}}) {
        c.frame = f;
        for (double e : {0.5, 5.0}) {
            c.Draw(Title(std::string(999, 'm').c_str(), 7, -100, 0, -2000), e);
            c.Draw(Title("Zolvex", 4, -1000, -500, -3000), e);
            c.Draw(Title("Zolvex", 4, -1000, 5000), e);
        }
    }
    c.frame = {320, 240, 320, 240};
    EXPECT_GT(c.Draw(Title("Zolvex", 5), 5).Ink().count, 100) << "the surface still draws";
    CompositionSurface none;
    DrawTitle(none, Title("Zolvex", 0), 105, c.frame);
}

}  // namespace
