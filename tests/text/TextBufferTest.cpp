// The rasteriser is checked by ink boxes, colours and the alpha rules, never by the
// exact glyph shapes of one font version.
#include <gtest/gtest.h>
#include <pango/pangocairo.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "filter/text/FontMapping.h"
#include "filter/text/fTavTextBuffer.h"
#include "tests/text/TextTestSupport.h"

using namespace zolvex::test;

namespace {

// Pango keeps a font map with its caches per thread for the life of the thread;
// letting it go at the end makes the leak check see only what the text classes left.
struct ReleaseFontCaches : ::testing::Environment {
    void TearDown() override { pango_cairo_font_map_set_default(nullptr); }
};
::testing::Environment* const g_fontCaches = ::testing::AddGlobalTestEnvironment(new ReleaseFontCaches);

}  // namespace

// Fontconfig loses a block while parsing its configuration files, whoever calls it.
// Fontconfig has no frame pointers, so the suppression needs the slow unwinder to
// see the parser on the stack.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions()
{
    return "leak:XML_ParseBuffer\n";
}
extern "C" __attribute__((used)) const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

namespace {

TEST(TextBuffer, GdiPathBackgroundAndAlphaRule)
{
    const struct {
        COLORREF text, back;
    } cases[] = {{RGB(200, 50, 255), RGB(0, 255, 0)}, {RGB(100, 100, 100), RGB(255, 255, 255)}};
    for (const auto& c : cases) {
        CfTavTextBuffer tb;
        const TextPicture p = Rasterise(tb, "Zolvex", Font(-30), c.text);
        EXPECT_EQ(tb.crBackColor, c.back);
        ASSERT_GT(p.w, 0);
        int ink = 0;
        for (int row = 0; row < p.h; ++row)
            for (int col = 0; col < p.w; ++col) {
                const unsigned char* px = p.At(col, row);
                if (px[3] == 255) {
                    ASSERT_EQ(ColourOf(px), c.text);
                    ++ink;
                } else {
                    ASSERT_EQ(px[3], 0);
                    ASSERT_EQ(ColourOf(px), c.back) << "no anti-aliased pixel in between";
                }
            }
        EXPECT_GT(ink, 50);
    }
}

TEST(TextBuffer, GdipPathBackgroundShadowAndAlphaRule)
{
    // Blue is bits 16–23 of the whole colour ± the step, so a carry out of green
    // reaches it: 0x0AFFC8 + 150 = 0x0B005E.
    const struct {
        COLORREF text, back, shadow;
    } cases[] = {{RGB(200, 50, 255), RGB(250, 150, 255), RGB(120, 226, 255)},
                 {RGB(200, 255, 10), RGB(250, 99, 11), RGB(120, 175, 10)}};
    for (const auto& c : cases) {
        CfTavTextBuffer tb;
        const TextPicture p = Rasterise(tb, "Hello", Font(-40), c.text, true);
        EXPECT_EQ(tb.crBackColor, c.back);
        InkBox text, shadow;
        for (int row = 0; row < p.h; ++row)
            for (int col = 0; col < p.w; ++col) {
                const unsigned char* px = p.At(col, row);
                ASSERT_EQ(px[3], ColourOf(px) == c.back ? 0 : 255);
                if (ColourOf(px) == c.text)
                    text.Add(col, row);
                if (ColourOf(px) == c.shadow)
                    shadow.Add(col, row);
            }
        ASSERT_GT(text.count, 0);
        ASSERT_GT(shadow.count, 0);
        // The shadow lies under the text, up to two pixels down and right.
        EXPECT_NEAR(shadow.right, text.right + 2, 1);
        EXPECT_NEAR(shadow.bottom, text.bottom + 2, 1);
        EXPECT_GE(shadow.left, text.left);
    }
}

TEST(TextBuffer, LinesAreCentredAsWideAsTheLongestAndBottomUp)
{
    CfTavTextBuffer one;
    const TextPicture wide = Rasterise(one, "abcdefgh", Font(-30));
    for (const char* text : {"ab\nabcdefgh", "שלום\nabcdefgh"}) {  // a right-to-left line, too
        CfTavTextBuffer two;
        const TextPicture p = Rasterise(two, text, Font(-30));
        EXPECT_EQ(p.w, wide.w);
        EXPECT_EQ(p.h, 2 * wide.h);
        const InkBox top = InkIn(p, 0, p.h / 2), bottom = InkIn(p, p.h / 2, p.h);
        ASSERT_GT(top.count, 0);
        ASSERT_GT(bottom.count, 0);
        EXPECT_LT(top.right - top.left, bottom.right - bottom.left - 20);
        EXPECT_NEAR(top.left + top.right, p.w, 3) << text;
        EXPECT_NEAR(bottom.left + bottom.right, p.w, 3);
        // Memory row 0 is the bottom line: the wide line's ink lies in the first rows.
        EXPECT_LT(p.h - 1 - (bottom.top + bottom.bottom) / 2, p.h / 2);
    }
}

TEST(TextBuffer, HeightRuleAndFontMapping)
{
    using namespace zolvex::text;
    CfTavTextBuffer tb;
    tb.SetText("Ag");
    tb.SetFont(Font(40));  // positive: the cell height
    EXPECT_NEAR(tb.GetTextHeight(), 40, 1);
    EXPECT_LT(CharHeightPixels(Font(40)), 40.0);
    tb.SetFont(Font(-40));  // negative: the character height, so the cell is taller
    EXPECT_GT(tb.GetTextHeight(), 42);
    EXPECT_EQ(CharHeightPixels(Font(-40)), 40.0);
    EXPECT_EQ(CharHeightPixels(Font(0)), double(kDefaultCharHeight));
    EXPECT_EQ(CharHeightPixels(Font(INT_MIN)), double(kMaxCharHeight));

    EXPECT_EQ(ResolveFamily("Arial"), "Liberation Sans");
    EXPECT_EQ(ResolveFamily("Microsoft Sans Serif"), "Liberation Sans");
    EXPECT_EQ(ResolveFamily("No Such Face Anywhere"), ResolveFamily("sans-serif"));
    char unterminated[32];  // the field need not hold a NUL
    std::memset(unterminated, ' ', sizeof unterminated);
    std::memcpy(unterminated, "DejaVu Serif", 12);
    EXPECT_EQ(ResolveFamily(unterminated), "DejaVu Serif");
    // A metric-compatible stand-in measures exactly like the face itself.
    tb.SetText("Metric compatible");
    tb.SetFont(Font(-24, "Arial"));
    const int arial = tb.GetTextWidth();
    tb.SetFont(Font(-24, "Liberation Sans"));
    EXPECT_EQ(arial, tb.GetTextWidth());

    LOGFONTA lf = Font(-36);
    lf.lfItalic = 1;
    PangoFontDescription* desc = NewFontDescription(lf);
    EXPECT_EQ(pango_font_description_get_style(desc), PANGO_STYLE_ITALIC);
    EXPECT_EQ(pango_font_description_get_size(desc), 36 * PANGO_SCALE);
    pango_font_description_free(desc);
}

TEST(TextBuffer, WeightUnderlineAndStrikeOutShowInTheInk)
{
    auto fullRows = [](const LOGFONTA& lf) {
        CfTavTextBuffer tb;
        const TextPicture p = Rasterise(tb, "xxxx", lf);
        std::vector<int> rows;  // picture rows inked across nearly the whole width
        for (int row = 0; row < p.h; ++row)
            if (InkIn(p, row, row + 1).count >= p.w * 9 / 10)
                rows.push_back(row);
        return rows;
    };
    LOGFONTA plain = Font(-40), under = plain, strike = plain, bold = plain;
    under.lfUnderline = 1;
    strike.lfStrikeOut = 1;
    bold.lfWeight = 700;
    EXPECT_TRUE(fullRows(plain).empty());
    const std::vector<int> u = fullRows(under), s = fullRows(strike);
    ASSERT_FALSE(u.empty());
    ASSERT_FALSE(s.empty());
    EXPECT_GT(u.front(), s.back()) << "the underline lies below the strike-out line";
    CfTavTextBuffer a, b;
    EXPECT_GT(InkIn(Rasterise(b, "xxxx", bold)).count, InkIn(Rasterise(a, "xxxx", plain)).count * 5 / 4);
}

TEST(TextBuffer, AwkwardTextsAndSizesWorkOrFailCleanly)
{
    CfTavTextBuffer tb;
    tb.SetFont(Font(-20));
    for (const char* empty : {"", static_cast<const char*>(nullptr)}) {
        tb.SetText(empty);
        EXPECT_EQ(tb.InitBuf(), 0);
        EXPECT_EQ(tb.GetTextBuffer(), nullptr);
        EXPECT_EQ(tb.GetTextBufferGdip(), nullptr);
    }
    const std::string longText(1000, 'w');
    const std::string lines = std::string(400, 'a') + "\n" + std::string(599, 'b');
    for (const char* text : {longText.c_str(), lines.c_str(), "Привет, Ελλάδα", "bad \xff\xfe bytes \xc3"}) {
        CfTavTextBuffer t;
        EXPECT_GT(InkIn(Rasterise(t, text, Font(-20))).count, 100) << text;
    }
    for (int height : {0, -2000}) {
        CfTavTextBuffer t;
        EXPECT_GT(InkIn(Rasterise(t, "Hi", Font(height))).count, 0) << height;
    }
    CfTavTextBuffer tiny;
    EXPECT_GT(Rasterise(tiny, "Hi", Font(1)).w, 0) << "a one-pixel cell still makes a picture";
    // Too large to hold: refused before anything is allocated.
    for (int height : {-2000, INT_MIN, INT_MAX}) {
        CfTavTextBuffer t;
        t.SetText(longText.c_str());
        t.SetFont(Font(height));
        EXPECT_EQ(t.InitBuf(), 0) << height;
        EXPECT_EQ(t.GetTextBuffer(), nullptr);
    }
    // A second InitBuf measures again.
    CfTavTextBuffer t;
    const int shortWidth = Rasterise(t, "ab", Font(-20)).w;
    EXPECT_GT(Rasterise(t, "abcdef", Font(-20)).w, shortWidth * 2);
}

}  // namespace
