#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "filter/text/fTavTextTransfer.h"
#include "tests/text/TextTestSupport.h"

using namespace zolvex::test;

namespace {

typedef std::vector<unsigned char> Frame;
const int kW = 200, kH = 120;

// An opaque text picture of one colour.
Frame Flat(int w, int h, unsigned char value, unsigned char alpha = 255)
{
    Frame f(size_t(w) * h * 4, value);
    for (size_t k = 3; k < f.size(); k += 4)
        f[k] = alpha;
    return f;
}

struct Title {
    tagOPR_TEXT op{};
    CfTavTextTransfer tt;
    Title(int w, int h, int x, int y, int opacity = 200, double duration = 10, int bpp = 3)
    {
        op.nPosX = x;
        op.nPosY = y;
        op.nOpacity = opacity;
        tt.InitTransfer(tagSIZE{w, h}, tagSIZE{kW, kH}, bpp, duration, &op, 1, 1);
    }
    Frame Run(int id, double t, const Frame& text, unsigned char background = 0)
    {
        Frame frame(size_t(kW) * kH * tt.nBpp, background);
        tt.SetCurTransferID(id);
        tt.SetCurTransferTime(t);
        tt.Transfer(frame.data(), text.data(), tt.sizeText);
        return frame;
    }
};

// Byte 0 of the frame pixel at picture point (col, row).
int ValueAt(const Frame& f, int col, int row, int bpp = 3) { return f[(size_t(kH - 1 - row) * kW + col) * bpp]; }

TEST(TextTransfer, EveryIdOfTheTable)
{
    const char* names[] = {"Fade in/out", "Flash", "Scroll Band", "Rotate in/out", "Zoom in/out"};
    ASSERT_EQ(GetTextTransferCount(), 5);
    for (int id = 1; id <= GetTextTransferCount(); ++id)
        EXPECT_STREQ(GetTextTransferName(id), names[id - 1]);
    EXPECT_EQ(GetTextTransferName(GetTextTransferCount() + 1), nullptr);
    // In the middle of the interval (k = 1, Flash shown) all but Scroll Band draw the
    // text still, as any unknown id does.
    Title title(40, 20, 30, 40);
    const Frame text = Flat(40, 20, 250);
    const Frame still = title.Run(0, 5.5, text);
    EXPECT_NE(still, Frame(still.size(), 0));
    for (int id = -1; id <= GetTextTransferCount() + 3; ++id) {
        if (id != TEXT_SCROLL_BAND) {
            EXPECT_EQ(title.Run(id, 5.5, text), still) << id;
        }
    }
    EXPECT_NE(title.Run(TEXT_SCROLL_BAND, 5.5, text), still);
}

TEST(TextTransfer, FadeFlashAndScrollFollowTheClock)
{
    Title title(40, 20, 30, 40, 200);
    const Frame text = Flat(40, 20, 255);
    const struct {
        double t;
        int value;
    } fade[] = {{0, 0}, {1, 100}, {2, 200}, {5, 200}, {8, 200}, {9, 100}, {10, 0}};
    for (const auto& f : fade)
        EXPECT_NEAR(ValueAt(title.Run(TEXT_FADE_IN, f.t, text), 50, 50), f.value, 1) << f.t;

    EXPECT_EQ(title.Run(TEXT_FLASH, 0.4, text), Frame(size_t(kW) * kH * 3, 0));
    EXPECT_NEAR(ValueAt(title.Run(TEXT_FLASH, 0.6, text), 50, 50), 200, 1);

    // Scroll Band starts just beyond the right edge and is half-way at 5 s.
    const Frame blank(size_t(kW) * kH * 3, 0);
    EXPECT_EQ(title.Run(TEXT_SCROLL_BAND, 0, text), blank);
    const InkBox half = ChangedIn(title.Run(TEXT_SCROLL_BAND, 5, text), blank, kW, kH, 3);
    ASSERT_GT(half.count, 0);
    EXPECT_NEAR(half.left + half.right, kW, 2);
    EXPECT_NEAR(half.top, 40, 1);
    const InkBox late = ChangedIn(title.Run(TEXT_SCROLL_BAND, 9.5, text), blank, kW, kH, 3);
    EXPECT_LT(late.left, 0 + 2) << "leaving by the left edge";
}

TEST(TextTransfer, AlphaAndOpacityBlend)
{
    for (int opacity : {0, 1, 128, 255}) {
        Title title(40, 20, 30, 40, opacity);
        EXPECT_EQ(title.Run(0, 5, Flat(40, 20, 250, 0), 77), Frame(size_t(kW) * kH * 3, 77)) << opacity;
    }
    Title title(40, 20, 30, 40, 255, 10, 4);
    // α = 128/255: trunc(α × 200 + (1 − α) × 100) = 150; a 4-byte frame keeps its alpha.
    const Frame f = title.Run(0, 5, Flat(40, 20, 200, 128), 100);
    EXPECT_EQ(ValueAt(f, 50, 50, 4), 150);
    for (size_t k = 3; k < f.size(); k += 4)
        ASSERT_EQ(f[k], 100);
}

TEST(TextTransfer, TitleStaysUprightAndUnmirrored)
{
    // Real text, two lines: the frame must show every ink pixel where the picture has it.
    CfTavTextBuffer tb;
    const TextPicture p = Rasterise(tb, "L7\nFJq", Font(-28), RGB(255, 255, 255), true);
    ASSERT_GT(p.w, 10);
    const int x = 23, y = 17;
    Title title(p.w, p.h, x, y, 255);
    const Frame frame = title.Run(0, 5, p.px);
    int checked = 0;
    for (int row = 1; row < p.h - 1; ++row)
        for (int col = 1; col < p.w - 1; ++col) {
            const unsigned char* px = p.At(col, row);
            ASSERT_EQ(ValueAt(frame, x + col, y + row), px[3] ? px[0] : 0) << col << "," << row;
            checked += px[3] != 0;
        }
    EXPECT_GT(checked, 100);

    // mirror 0 shows the picture's columns the other way round.
    Frame mirrored(p.px.size());
    for (int r = 0; r < p.h; ++r)
        for (int c = 0; c < p.w; ++c)
            std::memcpy(&mirrored[(size_t(r) * p.w + c) * 4], &p.px[(size_t(r) * p.w + (p.w - 1 - c)) * 4], 4);
    Frame a(size_t(kW) * kH * 3, 0), b = a;
    title.tt.AddRenderPropsBuf(1, 1, 180, a.data(), p.px.data(), p.w, p.h, x, y, 255, 0);
    title.tt.AddRenderPropsBuf(1, 1, 180, b.data(), mirrored.data(), p.w, p.h, x, y, 255, 1);
    EXPECT_EQ(a, b);
}

TEST(TextTransfer, ZoomRotationStretchAndPosition)
{
    const Frame blank(size_t(kW) * kH * 3, 0);
    const Frame text = Flat(60, 10, 255);
    Title title(60, 10, 70, 50);
    const InkBox full = ChangedIn(title.Run(0, 5, text), blank, kW, kH, 3);
    // k = 0.5 at one second: half the size; Rotate in/out also stands it on end.
    const InkBox zoomed = ChangedIn(title.Run(TEXT_ZOOM_IN, 1, text), blank, kW, kH, 3);
    EXPECT_NEAR(zoomed.right - zoomed.left, (full.right - full.left) / 2, 2);
    const InkBox turned = ChangedIn(title.Run(TEXT_ROTATE_IN, 1, text), blank, kW, kH, 3);
    EXPECT_NEAR(turned.bottom - turned.top, zoomed.right - zoomed.left, 2);
    EXPECT_NEAR(turned.right - turned.left, zoomed.bottom - zoomed.top, 2);

    // Rows stretch by zoomY / zoomX.
    Frame tall = blank;
    title.tt.AddRenderPropsBuf(1, 3, 180, tall.data(), text.data(), 60, 10, 70, 20, 255, 1);
    const InkBox stretched = ChangedIn(tall, blank, kW, kH, 3);
    EXPECT_NEAR(stretched.bottom - stretched.top + 1, 3 * (full.bottom - full.top + 1), 3);

    // Positions are given in source-video pixels; without a source size, in frame pixels.
    tagOPR_TEXT op{};
    op.nPosX = 100;
    op.nPosY = -50;
    CfTavTextTransfer tt;
    tt.InitTransfer(tagSIZE{60, 10}, tagSIZE{kW, kH}, 3, 10, &op, 1, 1);
    EXPECT_EQ(tt.nX, 100);
    tt.SetSrcVideoSize(tagSIZE{800, 600});
    tt.InitTransfer(tagSIZE{60, 10}, tagSIZE{kW, kH}, 3, 10, &op, 1, 1);
    EXPECT_EQ(tt.nX, 25);
    EXPECT_EQ(tt.nY, -10);
    tt.InitTransfer(tagSIZE{60, 10}, tagSIZE{kW, kH}, 3, 10, nullptr, 1, 1);
    Frame untouched = blank;
    tt.Transfer(untouched.data(), text.data(), tagSIZE{60, 10});
    EXPECT_EQ(untouched, blank);
}

}  // namespace
