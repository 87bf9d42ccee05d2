// The 3D screen items on a composition surface: the shapes, the background made from
// a picture file in memory, the masks, and bad input of every kind.
#include <gtest/gtest.h>

#include <Magick++.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "filter/common/RowSlices.h"
#include "filter/screen3d/Screen3D.h"
#include "tools/common/SyntheticPicture.h"

using namespace zolvex;

namespace {

typedef std::vector<unsigned char> Bytes;

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};
std::ostream& operator<<(std::ostream& os, const Rgb& c)
{
    return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}
// Within a few levels in every channel: stretched masks blend neighbouring pixels.
::testing::AssertionResult Near(const Rgb& got, const Rgb& want)
{
    if (std::abs(got.r - want.r) <= 4 && std::abs(got.g - want.g) <= 4 && std::abs(got.b - want.b) <= 4)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << got << " is not near " << want;
}

const Rgb kTopLeft{200, 30, 30}, kTopRight{30, 200, 30}, kBottomLeft{30, 30, 200}, kBottomRight{220, 220, 220},
    kCentre{10, 200, 90}, kFill{1, 2, 3};

// A bottom-up scene picture in quadrants, with a patch of its own at the centre.
Bytes ScenePicture(int w, int h)
{
    Bytes f(size_t(w) * h * 3);
    for (int row = 0; row < h; ++row)
        for (int x = 0; x < w; ++x) {
            const int y = h - 1 - row;  // from the top
            Rgb c = y < h / 2 ? (x < w / 2 ? kTopLeft : kTopRight) : (x < w / 2 ? kBottomLeft : kBottomRight);
            if (std::abs(x - w / 2) < w / 10 && std::abs(y - h / 2) < h / 10)
                c = kCentre;
            unsigned char* p = &f[(size_t(row) * w + x) * 3];
            p[0] = uint8_t(c.b), p[1] = uint8_t(c.g), p[2] = uint8_t(c.r);
        }
    return f;
}

struct Canvas {
    CompositionSurface surface;
    Canvas(int w, int h, Rgb fill = kFill)
    {
        surface.Resize(w, h);
        Bytes f(size_t(w) * h * 3);
        for (size_t k = 0; k < f.size(); k += 3)
            f[k] = uint8_t(fill.b), f[k + 1] = uint8_t(fill.g), f[k + 2] = uint8_t(fill.r);
        surface.LoadFrame(f.data());
    }
    Rgb At(int x, int y) const  // from the top
    {
        surface.Flush();
        const unsigned char* p = surface.Pixels() + size_t(y) * surface.Stride() + size_t(x) * 4;
        return Rgb{p[2], p[1], p[0]};
    }
    Bytes Pixels() const
    {
        Bytes f(size_t(surface.Width()) * surface.Height() * 3);
        surface.StoreFrame(f.data());
        return f;
    }
};

ScreenOp Item(int style, float a = 0, float b = 0, float c = 0)
{
    ScreenOp item{};
    item.nStyle = style;
    item.afParams[0] = a, item.afParams[1] = b, item.afParams[2] = c;
    return item;
}

// A picture file: when it is at least 720 wide, its top-left 720 × 480 pixels in
// the four quadrant colours and magenta beyond; a smaller one all kTopRight.
Bytes PictureFile(int w, int h, bool leftHalfClear = false)
{
    Magick::InitializeMagick(nullptr);
    Bytes rgba(size_t(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Rgb c = y < 240 ? (x < 360 ? kTopLeft : kTopRight) : (x < 360 ? kBottomLeft : kBottomRight);
            if (w < 720)
                c = kTopRight;
            else if (x >= 720 || y >= 480)
                c = Rgb{255, 0, 255};
            unsigned char* p = &rgba[(size_t(y) * w + x) * 4];
            p[0] = uint8_t(c.r), p[1] = uint8_t(c.g), p[2] = uint8_t(c.b);
            p[3] = leftHalfClear && x < w / 2 ? 0 : 255;
        }
    Magick::Image img(unsigned(w), unsigned(h), "RGBA", Magick::CharPixel, rgba.data());
    img.magick("PNG");
    Magick::Blob blob;
    img.write(&blob);
    const auto* d = static_cast<const unsigned char*>(blob.data());
    return Bytes(d, d + blob.length());
}

struct Pictures {
    PictureList list{4};
    void Add(const Bytes& b) { list.Add(PictureBlock{b.empty() ? nullptr : b.data(), uint32_t(b.size())}); }
};

// Mask pixels in the studio's layout: blue, green, red, alpha, rows bottom-up.
Bytes MaskPixels(int w, int h, const std::vector<Rgb>& columnColours, int alpha = 255)
{
    Bytes m(size_t(w) * h * 4);
    for (int row = 0; row < h; ++row)
        for (int x = 0; x < w; ++x) {
            const Rgb c = row == h - 1 ? kCentre : columnColours[size_t(x) % columnColours.size()];  // top row apart
            unsigned char* p = &m[(size_t(row) * w + x) * 4];
            p[0] = uint8_t(c.b), p[1] = uint8_t(c.g), p[2] = uint8_t(c.r), p[3] = uint8_t(alpha);
        }
    return m;
}

struct Masks {
    CTavmArray<void*> pixels{4};
    CTavmArray<tagSIZE> sizes{4};
    SideLists sides;
    Masks()
    {
        sides.pMasks = &pixels;
        sides.pMaskSizes = &sizes;
    }
    void Add(void* p, int w, int h)
    {
        pixels.Add(p);
        sizes.Add(tagSIZE{w, h});
    }
};

const int kW = 240, kH = 180;

TEST(Screen3D, FlatStyleShowsTheScenePictureUprightAtTheCentre)
{
    const Bytes scene = ScenePicture(kW, kH);
    Canvas c(kW, kH);
    ScreenOp item = Item(0);
    DrawScreenItem(c.surface, item, SideLists{}, scene.data(), kW, kH);
    EXPECT_EQ(c.At(kW / 2, kH / 2), kCentre);
    EXPECT_EQ(c.At(kW / 2 - 40, kH / 2 - 40), kTopLeft);
    EXPECT_EQ(c.At(kW / 2 + 40, kH / 2 + 40), kBottomRight);
    EXPECT_EQ(c.At(2, 2), kFill);  // smaller than the frame, with no background
    EXPECT_EQ(item.pMaskPicture, nullptr);
}

TEST(Screen3D, EveryStyleDrawsWithoutHolesAndOnlyStylesUpTo24)
{
    const Bytes scene = testpic::MakeUniform(kW, kH, 3, 40, 220, 160);
    for (int style = -1; style <= 26; ++style) {
        Canvas c(kW, kH);
        ScreenOp item = Item(style);
        DrawScreenItem(c.surface, item, SideLists{}, scene.data(), kW, kH);
        int drawn = 0, holes = 0;
        for (int y = 1; y + 1 < kH; ++y)
            for (int x = 1; x + 1 < kW; ++x) {
                const bool bare = c.At(x, y) == kFill;
                drawn += !bare;
                holes += bare && !(c.At(x - 1, y) == kFill) && !(c.At(x + 1, y) == kFill) &&
                         !(c.At(x, y - 1) == kFill) && !(c.At(x, y + 1) == kFill);
            }
        if (style < 0 || style >= kScreenStyles) {
            EXPECT_EQ(drawn, 0) << style;
            continue;
        }
        EXPECT_GT(drawn, kW * kH / 10) << style;
        EXPECT_EQ(holes, 0) << style;
    }
}

TEST(Screen3D, OddFrameSizesAndAbsurdParametersDoNotBreakIt)
{
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    for (int style = 0; style < kScreenStyles; ++style) {
        for (const auto& size : {std::pair<int, int>{1, 1}, {3, 2}, {37, 5}, {5, 41}}) {
            const Bytes scene = ScenePicture(size.first, size.second);
            Canvas c(size.first, size.second);
            ScreenOp item = Item(style, 1e30f, -inf, nan);
            DrawScreenItem(c.surface, item, SideLists{}, scene.data(), size.first, size.second);
        }
        // Not a number counts as no parameter; whole turns change nothing.
        const Bytes scene = ScenePicture(kW, kH);
        Canvas plain(kW, kH), odd(kW, kH), turned(kW, kH);
        ScreenOp a = Item(style), b = Item(style, nan, nan, inf), d = Item(style, 720, -360, 0);
        DrawScreenItem(plain.surface, a, SideLists{}, scene.data(), kW, kH);
        DrawScreenItem(odd.surface, b, SideLists{}, scene.data(), kW, kH);
        DrawScreenItem(turned.surface, d, SideLists{}, scene.data(), kW, kH);
        EXPECT_EQ(plain.Pixels(), odd.Pixels()) << style;
        EXPECT_EQ(plain.Pixels(), turned.Pixels()) << style;
    }
    // A scene picture of another size than the frame is sampled across the shape.
    const Bytes small = ScenePicture(40, 30);
    Canvas c(kW, kH);
    ScreenOp item = Item(0);
    DrawScreenItem(c.surface, item, SideLists{}, small.data(), 40, 30);
    EXPECT_EQ(c.At(kW / 2, kH / 2), kCentre);
}

TEST(Screen3D, OneThreadAndManyDrawTheSamePixels)
{
    const Bytes scene = testpic::MakeTestPicture(720, 576, 3);
    for (int style : {14, 22}) {
        Canvas one(720, 576), many(720, 576);
        ScreenOp item = Item(style, 10, -20, 15);
        SetSliceThreads(1);
        DrawScreenItem(one.surface, item, SideLists{}, scene.data(), 720, 576);
        SetSliceThreads(4);
        DrawScreenItem(many.surface, item, SideLists{}, scene.data(), 720, 576);
        SetSliceThreads(0);
        EXPECT_EQ(one.Pixels(), many.Pixels()) << style;
    }
}

TEST(Screen3D, BackgroundIsTheTopLeftOfItsPictureResampledToTheFrame)
{
    const Bytes big = PictureFile(800, 500), small = PictureFile(100, 60);
    Pictures pics;
    pics.Add(big);
    pics.Add(small);
    ScreenOp item = Item(0);
    PrepareScreenItem(item, &pics.list, kW, kH);
    ASSERT_NE(item.pBackground, nullptr);
    Canvas c(kW, kH);
    DrawScreenItem(c.surface, item, SideLists{}, nullptr, kW, kH);  // the background alone
    EXPECT_EQ(c.At(0, 0), kTopLeft);
    EXPECT_EQ(c.At(kW - 1, 0), kTopRight);
    EXPECT_EQ(c.At(0, kH - 1), kBottomLeft);
    EXPECT_EQ(c.At(kW - 1, kH - 1), kBottomRight);  // nothing of the magenta beyond 720 × 480
    EXPECT_EQ(c.At(kW / 2 - 1, kH / 2 - 1), kTopLeft);
    EXPECT_EQ(c.At(kW / 2, kH / 2), kBottomRight);

    // A smaller picture is stretched whole; preparing again drops what was cached.
    item.nStyle = 1;
    item.afParams[0] = -40;  // leant back by 40 degrees, less 40: flat
    PrepareScreenItem(item, &pics.list, kW, kH);
    Canvas s(kW, kH);
    DrawScreenItem(s.surface, item, SideLists{}, nullptr, kW, kH);
    EXPECT_EQ(s.At(0, 0), kTopRight);
    EXPECT_EQ(s.At(kW - 1, kH - 1), kTopRight);

    // The picture behind the item's shape, and a changed frame size.
    const Bytes scene = ScenePicture(320, 240);
    Canvas wide(320, 240);
    DrawScreenItem(wide.surface, item, SideLists{}, scene.data(), 320, 240);
    EXPECT_EQ(wide.At(0, 0), kTopRight);
    EXPECT_EQ(wide.At(160, 120), kCentre);
    ReleaseScreenItem(item);
}

TEST(Screen3D, MissingOrBadPicturesGiveNoBackground)
{
    const Bytes good = PictureFile(64, 48);
    Bytes truncated(good.begin(), good.begin() + long(good.size() / 2));
    Bytes noise(5000);
    for (size_t k = 0; k < noise.size(); ++k)
        noise[k] = uint8_t(k * 7919 >> 3);
    // A PNG header that claims 60000 × 60000 pixels and has nothing after it.
    Bytes huge = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a, 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                  0, 0, 0xea, 0x60, 0, 0, 0xea, 0x60, 8, 6, 0, 0, 0};
    const uint32_t crc = testpic::Crc32(&huge[12], 17);
    for (int k = 3; k >= 0; --k)
        huge.push_back(uint8_t(crc >> (8 * k)));
    Pictures pics;
    for (const Bytes* b : {&truncated, &noise, &huge})
        pics.Add(*b);
    pics.Add(Bytes());
    for (int style = 0; style < 6; ++style) {  // 4 and 5 lie beyond the list
        ScreenOp item = Item(style);
        PrepareScreenItem(item, &pics.list, kW, kH);
        if (style != 0) {  // a cut-off PNG may still give its upper rows
            EXPECT_EQ(item.pBackground, nullptr) << style;
        }
        ReleaseScreenItem(item);
    }
    ScreenOp item = Item(0);
    PrepareScreenItem(item, nullptr, kW, kH);
    EXPECT_EQ(item.pBackground, nullptr);
    Pictures ok;
    ok.Add(good);
    PrepareScreenItem(item, &ok.list, 0, kH);
    EXPECT_EQ(item.pBackground, nullptr);
    item.nStyle = 25;
    PrepareScreenItem(item, &ok.list, kW, kH);
    EXPECT_EQ(item.pBackground, nullptr);
}

TEST(Screen3D, MasksAreStretchedOverTheFrameAndMadeOnce)
{
    Bytes first = MaskPixels(4, 3, {kTopLeft, kTopRight, kBottomLeft, kBottomRight});
    Bytes second = MaskPixels(2, 2, {kBottomLeft}, 0);  // no alpha at all: a plain picture
    Bytes third = MaskPixels(8, 8, {kTopRight}, 0);
    for (size_t k = 0; k < third.size() / 2; k += 4)
        third[k + 3] = 255;  // the bottom half opaque, the top half clear
    Masks masks;
    masks.Add(first.data(), 4, 3);
    masks.Add(second.data(), 2, 2);
    masks.Add(third.data(), 8, 8);

    ScreenOp item = Item(5);  // the first mask
    Canvas c(kW, kH);
    DrawScreenItem(c.surface, item, masks.sides, nullptr, kW, kH);
    ASSERT_NE(item.pMaskPicture, nullptr);
    EXPECT_TRUE(Near(c.At(kW / 2, 0), kCentre));  // the mask's top row is its last in memory
    EXPECT_TRUE(Near(c.At(0, kH - 1), kTopLeft));
    EXPECT_TRUE(Near(c.At(kW - 1, kH - 1), kBottomRight));
    EXPECT_TRUE(Near(c.At(79, kH * 2 / 3), kTopRight));  // the second column, a third of the way

    // Made once: later changes to the mask pixels are not seen until the item is prepared.
    std::memset(first.data(), 0, first.size());
    Canvas again(kW, kH);
    DrawScreenItem(again.surface, item, masks.sides, nullptr, kW, kH);
    EXPECT_EQ(again.Pixels(), c.Pixels());
    PrepareScreenItem(item, nullptr, kW, kH);
    EXPECT_EQ(item.pMaskPicture, nullptr);

    item.nStyle = 22;  // the second mask: alpha all 0, so drawn opaque
    Canvas plain(kW, kH);
    DrawScreenItem(plain.surface, item, masks.sides, nullptr, kW, kH);
    EXPECT_TRUE(Near(plain.At(kW / 2, kH - 1), kBottomLeft));
    ReleaseScreenItem(item);

    item.nStyle = 3;  // the third: only its opaque lower half covers the frame
    Canvas half(kW, kH);
    DrawScreenItem(half.surface, item, masks.sides, nullptr, kW, kH);
    EXPECT_EQ(half.At(kW / 2, 2), kFill);
    EXPECT_TRUE(Near(half.At(kW / 2, kH - 3), kTopRight));
    ReleaseScreenItem(item);
    ReleaseScreenItem(item);
    EXPECT_EQ(item.pMaskPicture, nullptr);
}

TEST(Screen3D, MaskThenBackgroundThenPicture)
{
    Bytes mask = MaskPixels(2, 2, {kBottomLeft});
    Masks masks;
    masks.Add(mask.data(), 2, 2);
    const Bytes png = PictureFile(720, 480, true);  // left half clear
    Pictures pics;
    for (int k = 0; k < 2; ++k)
        pics.Add(png);
    ScreenOp item = Item(1, -40);  // flat
    PrepareScreenItem(item, &pics.list, kW, kH);
    const Bytes scene = ScenePicture(kW, kH);
    Canvas c(kW, kH);
    DrawScreenItem(c.surface, item, masks.sides, scene.data(), kW, kH);
    EXPECT_TRUE(Near(c.At(1, kH - 2), kBottomLeft));  // the mask, where the background is clear
    EXPECT_EQ(c.At(kW - 2, kH - 2), kBottomRight);    // the background over it
    EXPECT_EQ(c.At(kW / 2, kH / 2 + 5), kCentre);     // the picture on top
    ReleaseScreenItem(item);
}

TEST(Screen3D, MissingAndOddMasksDrawNoMask)
{
    Bytes tiny = MaskPixels(1, 1, {kTopLeft});
    Masks masks;
    masks.Add(tiny.data(), 0, 5);
    masks.Add(nullptr, 4, 4);
    masks.Add(tiny.data(), 100000, 100000);
    for (int style : {1, 2, 3, 7}) {
        Canvas c(kW, kH);
        ScreenOp item = Item(style);
        DrawScreenItem(c.surface, item, masks.sides, nullptr, kW, kH);
        DrawScreenItem(c.surface, item, SideLists{}, nullptr, kW, kH);
        EXPECT_EQ(item.pMaskPicture, nullptr);
        EXPECT_EQ(c.At(kW / 2, kH / 2), kFill);
    }
    // A one-pixel mask covers everything; the list with only it lacks the others.
    Masks one;
    one.Add(tiny.data(), 1, 1);
    Canvas c(kW, kH);
    ScreenOp item = Item(21);
    DrawScreenItem(c.surface, item, one.sides, nullptr, kW, kH);
    EXPECT_EQ(c.At(0, 0), kCentre);
    EXPECT_EQ(c.At(kW - 1, kH - 1), kCentre);
    ReleaseScreenItem(item);
}

}  // namespace
