#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "tests/effects/EffectTestSupport.h"
#include "tools/common/SyntheticPicture.h"

using namespace zolvex::test;
using zolvex::testpic::MakeTestPicture;
using zolvex::testpic::MakeUniform;

namespace {

// A picture whose bytes walk through every value 0..255 in every channel.
Frame Ramp(int w, int h, int bpp)
{
    Frame f(size_t(w) * h * bpp);
    for (size_t k = 0; k < f.size(); ++k)
        f[k] = uint8_t(k / size_t(bpp));
    return f;
}

Frame Apply(CfTavEffect& fx, const Frame& src, int id, tagOPR_EFFECT* op = nullptr)
{
    Frame dst = src;  // Gray writes the valid pixels only
    fx.SetCurEffectID(id);
    fx.Effect(src.data(), dst.data(), op);
    return dst;
}

TEST(StaticEffects, TableListsTheFifteenEffectsInIdOrder)
{
    ASSERT_EQ(GetStaticEffectCount(), 15);
    EXPECT_STREQ(GetStaticEffectName(0), "Adjust Brightness");
    EXPECT_STREQ(GetStaticEffectName(2), "Adjust Gamma");
    EXPECT_STREQ(GetStaticEffectName(14), "Radial-Blur");
    EXPECT_EQ(GetStaticEffectName(15), nullptr);
    EXPECT_EQ(GetStaticEffectName(-1), nullptr);
    std::set<std::string> names;
    for (int id = 0; id < GetStaticEffectCount(); ++id)
        names.insert(GetStaticEffectName(id));
    EXPECT_EQ(names.size(), 15u);
}

TEST(StaticEffects, UnknownIdsCopyTheFrame)
{
    EffectFixture f(64, 48, 3);
    const Frame src = MakeTestPicture(64, 48, 3);
    for (int id : {15, -1, 1000}) {
        Frame dst(src.size(), 0xAB);
        f.fx.SetCurEffectID(id);
        f.fx.Effect(src.data(), dst.data(), nullptr);
        EXPECT_EQ(dst, src) << id;
    }
}

TEST(StaticEffects, LevelZeroBlanksBrightnessContrastAndGamma)
{
    for (int bpp : {3, 4}) {
        EffectFixture f(40, 30, bpp, 0);
        const Frame src = MakeTestPicture(40, 30, bpp);
        const uint8_t expected[3] = {0, 128, 0};
        for (int id = 0; id < 3; ++id) {
            const Frame out = Apply(f.fx, src, id);
            for (size_t k = 0; k < out.size(); ++k) {
                if (bpp == 4 && k % 4 == 3)
                    ASSERT_EQ(out[k], src[k]) << "alpha is left alone";
                else
                    ASSERT_EQ(out[k], expected[id]) << "effect " << id << " byte " << k;
            }
        }
    }
}

TEST(StaticEffects, FullBrightnessSaturates)
{
    EffectFixture f(256, 1, 3, 100);
    const Frame out = Apply(f.fx, Ramp(256, 1, 3), 0);
    EXPECT_EQ(out[100 * 3], 255);
    EXPECT_EQ(out[200 * 3], 255);
    EXPECT_EQ(out[50 * 3], 127);  // 50 × 255 / 100, truncated
    EXPECT_EQ(out[0], 0);
}

TEST(StaticEffects, PosterizeHasFourLevels)
{
    EffectFixture f(256, 1, 3);
    const Frame out = Apply(f.fx, Ramp(256, 1, 3), 5);
    for (int v = 0; v < 256; ++v) {
        const int expected = v <= 42 ? 0 : v <= 127 ? 85 : v <= 212 ? 170 : 255;
        ASSERT_EQ(out[size_t(v) * 3], expected) << v;
    }
}

TEST(StaticEffects, NegateAndSolarize)
{
    EffectFixture f(256, 1, 4);
    const Frame ramp = Ramp(256, 1, 4);
    const Frame neg = Apply(f.fx, ramp, 6);
    const Frame sol = Apply(f.fx, ramp, 7);
    EXPECT_EQ(neg[0], 255);
    EXPECT_EQ(neg[200 * 4 + 1], 55);
    EXPECT_EQ(sol[29 * 4], 29);
    EXPECT_EQ(sol[30 * 4], 225);
    EXPECT_EQ(sol[30 * 4 + 3], ramp[30 * 4 + 3]);
}

TEST(StaticEffects, EmbossOfAUniformPictureIsFlatGrey)
{
    for (int bpp : {3, 4}) {
        EffectFixture f(33, 9, bpp);
        const Frame src = MakeUniform(33, 9, bpp, 10, 200, 90, 77);
        const Frame out = Apply(f.fx, src, 9);
        for (size_t k = 0; k < out.size(); ++k)
            ASSERT_EQ(out[k], (bpp == 4 && k % 4 == 3) ? 77 : 128) << k;
    }
}

TEST(StaticEffects, MirrorAndFlipKeepTheMiddleLine)
{
    const int w = 7, h = 5;
    EffectFixture f(w, h, 3);
    const Frame src = CoordinatePicture(w, h, 3);
    const Frame mirrored = Apply(f.fx, src, 3);
    const Frame flipped = Apply(f.fx, src, 4);
    for (int i = 0; i < h; ++i)
        for (int j = 0; j < w; ++j) {
            const unsigned char* m = &mirrored[(size_t(i) * w + j) * 3];
            const unsigned char* fl = &flipped[(size_t(i) * w + j) * 3];
            EXPECT_EQ(CoordX(m), w - 1 - j);
            EXPECT_EQ(CoordY(m), i);
            EXPECT_EQ(CoordX(fl), j);
            EXPECT_EQ(CoordY(fl), h - 1 - i);
        }
}

TEST(StaticEffects, GrayCopiesGreenIntoEveryByteOfValidPixelsOnly)
{
    EffectFixture f(4, 2, 4);
    PolygonOp left({{0, 0}, {2, 0}, {2, 3}, {0, 3}});
    Frame src = MakeTestPicture(4, 2, 4);
    Frame dst(src.size(), 0xEE);
    f.fx.SetCurEffectID(10);
    f.fx.Effect(src.data(), dst.data(), &left.op);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 4; ++j) {
            const size_t p = (size_t(i) * 4 + j) * 4;
            for (int c = 0; c < 4; ++c)
                ASSERT_EQ(dst[p + c], j < 2 ? src[p + 1] : 0xEE) << i << "," << j;
        }
}

TEST(StaticEffects, HalftoneLightsOneCellPerQuarterGreyLevel)
{
    for (int grey : {0, 128, 255}) {
        EffectFixture f(8, 8, 3);
        const Frame out = Apply(f.fx, MakeUniform(8, 8, 3, uint8_t(grey), uint8_t(grey), uint8_t(grey)), 12);
        int white = 0;
        for (size_t k = 0; k < out.size(); k += 3)
            white += out[k] == 255;
        EXPECT_EQ(white, grey / 4) << grey;  // Bayer entries below grey / 4
    }
    // Memory row 0 reads the first matrix row (0, 32, 8, 40, 2 …): at grey 12 only
    // the cells holding 0 and 2 light up.
    EffectFixture f(8, 1, 3);
    const Frame out = Apply(f.fx, MakeUniform(8, 1, 3, 12, 12, 12), 12);
    for (int j = 0; j < 8; ++j)
        EXPECT_EQ(out[size_t(j) * 3], (j == 0 || j == 4) ? 255 : 0) << j;
}

TEST(StaticEffects, SplashOnFramesNarrowerThanThirtyPixelsCopies)
{
    for (int w : {1, 2, 29}) {
        EffectFixture f(w, 6, 3);
        const Frame src = CoordinatePicture(w, 6, 3);
        std::srand(1);
        EXPECT_EQ(Apply(f.fx, src, 13), src) << w;
        // The generator advanced two draws per pixel, as it does on wider frames.
        std::srand(1);
        for (int k = 0; k < 2 * w * 6; ++k)
            std::rand();
        const int expectedNext = std::rand();
        std::srand(1);
        Apply(f.fx, src, 13);
        EXPECT_EQ(std::rand(), expectedNext);
    }
}

TEST(StaticEffects, RadialBlurKeepsUniformPicturesAndTheCentre)
{
    EffectFixture f(97, 61, 3);
    const Frame uniform = MakeUniform(97, 61, 3, 40, 80, 160);
    EXPECT_EQ(Apply(f.fx, uniform, 14), uniform);

    const Frame src = MakeTestPicture(97, 61, 3);
    const Frame out = Apply(f.fx, src, 14);
    const size_t centre = (size_t(61 / 2) * 97 + 97 / 2) * 3;
    EXPECT_EQ(0, std::memcmp(&out[centre], &src[centre], 3));
    EXPECT_NE(out, src);
}

TEST(StaticEffects, RadialBlurWeighsColourByAlpha)
{
    EffectFixture f(41, 41, 4);
    // Fully transparent: samples count but add nothing, so colours stay and
    // alpha becomes 0.
    const Frame clear = MakeUniform(41, 41, 4, 9, 99, 199, 0);
    EXPECT_EQ(Apply(f.fx, clear, 14), clear);
    const Frame solid = MakeUniform(41, 41, 4, 9, 99, 199, 200);
    EXPECT_EQ(Apply(f.fx, solid, 14), solid);
}

TEST(StaticEffects, SwapColorModes)
{
    EffectFixture f(1, 1, 4);
    const Frame px = {1, 2, 3, 4};
    const Frame expected[] = {{2, 1, 3, 4}, {1, 3, 2, 4}, {3, 2, 1, 4}, {3, 1, 2, 4}, {2, 3, 1, 4}, {1, 2, 3, 4}};
    for (int mode = 0; mode <= 5; ++mode) {
        Frame out(4);
        f.fx.SwapColor(px.data(), out.data(), mode);
        EXPECT_EQ(out, expected[mode]) << mode;
    }
}

// Memory row i meets picture row height − i: a region of picture row `height`
// alone reaches memory row 0, and picture row 0 reaches no memory row at all.
TEST(ValidRegion, MemoryRowsMeetPictureRowsOneLower)
{
    const int w = 5, h = 4;
    EffectFixture f(w, h, 3);
    const Frame src = MakeUniform(w, h, 3, 10, 20, 30);
    PolygonOp bottom({{-5, h}, {w + 10, h}, {w + 10, h + 1}, {-5, h + 1}});
    const Frame out = Apply(f.fx, src, 6, &bottom.op);
    for (int i = 0; i < h; ++i)
        EXPECT_EQ(out[size_t(i) * w * 3], i == 0 ? 245 : 10) << i;

    EffectFixture g(w, h, 3);
    PolygonOp top({{-5, 0}, {w + 10, 0}, {w + 10, 1}, {-5, 1}});
    EXPECT_EQ(Apply(g.fx, src, 6, &top.op), src);
}

TEST(ValidRegion, EveryEffectLeavesPixelsOutsideALeftHalfPolygonAlone)
{
    const int w = 120, h = 90;
    for (int bpp : {3, 4}) {
        const Frame src = MakeTestPicture(w, h, bpp);
        for (int id = 0; id < GetStaticEffectCount(); ++id) {
            EffectFixture f(w, h, bpp, 70);
            PolygonOp left({{0, -5}, {w / 2, -5}, {w / 2, h + 10}, {0, h + 10}});
            std::srand(3);
            const Frame out = Apply(f.fx, src, id, &left.op);
            bool changedLeft = false;
            for (int i = 0; i < h; ++i)
                for (int j = 0; j < w; ++j) {
                    const size_t p = (size_t(i) * w + j) * bpp;
                    const bool same = std::memcmp(&out[p], &src[p], size_t(bpp)) == 0;
                    if (j >= w / 2) {
                        ASSERT_TRUE(same) << GetStaticEffectName(id) << " bpp " << bpp << " at " << j << "," << i;
                    } else {
                        changedLeft |= !same;
                    }
                }
            EXPECT_TRUE(changedLeft) << GetStaticEffectName(id);
        }
    }
}

TEST(ValidRegion, PolygonScalesFromSourceToFrameAndPersists)
{
    EffectFixture f(720, 576, 3);
    f.fx.SetSrcVideoSize(tagSIZE{360, 288});
    PolygonOp quarter({{0, 0}, {180, 0}, {180, 144}, {0, 144}});
    f.fx.UpdateValidRgn(&quarter.op);
    EXPECT_TRUE(f.fx.IsPixelValid(359, 287));
    EXPECT_FALSE(f.fx.IsPixelValid(360, 100));
    EXPECT_FALSE(f.fx.IsPixelValid(100, 288));

    // Two points, or no polygon at all, keep the region in force.
    PolygonOp line({{0, 0}, {360, 288}});
    f.fx.UpdateValidRgn(&line.op);
    EXPECT_FALSE(f.fx.IsPixelValid(500, 500));
    tagOPR_EFFECT plain{};
    f.fx.UpdateValidRgn(&plain);
    f.fx.UpdateValidRgn(nullptr);
    EXPECT_FALSE(f.fx.IsPixelValid(500, 500));
    EXPECT_TRUE(f.fx.IsPixelValid(10, 10));

    // A new source size resets the region to the whole frame of that size.
    f.fx.SetSrcVideoSize(tagSIZE{720, 576});
    EXPECT_TRUE(f.fx.IsPixelValid(500, 500));
    EXPECT_TRUE(f.fx.IsPixelValid(-5, -5));
    EXPECT_FALSE(f.fx.IsPixelValid(730, 0));
}

TEST(ValidRegion, ZeroSourceSizeAndHugeCoordinatesAreHarmless)
{
    EffectFixture f(64, 48, 3);
    f.fx.SetSrcVideoSize(tagSIZE{0, 0});
    const HRGN before = f.fx.hValidRgn;
    PolygonOp poly({{0, 0}, {10, 0}, {0, 10}});
    f.fx.UpdateValidRgn(&poly.op);
    EXPECT_EQ(f.fx.hValidRgn, before) << "nothing to scale from: the region stays";

    EffectFixture g(64, 48, 3);
    PolygonOp huge({{-2000000000, -2000000000}, {2000000000, -2000000000}, {0, 2000000000}});
    const Frame src = MakeTestPicture(64, 48, 3);
    Frame out = Apply(g.fx, src, 6, &huge.op);
    EXPECT_NE(out, src);
}

TEST(EffectObject, ConstructionAndInitialisation)
{
    CfTavEffect fx;
    EXPECT_EQ(fx.pRomanceData, nullptr);
    EXPECT_EQ(fx.hValidRgn, nullptr);
    EXPECT_FALSE(fx.IsPixelValid(0, 0));
    fx.InitEffect(tagSIZE{100, 50}, 0.5f, 0.25f, 42, 4);
    EXPECT_EQ(fx.GetWidth(), 100);
    EXPECT_EQ(fx.GetHeight(), 50);
    EXPECT_EQ(fx.nSrcWidth, 100);
    EXPECT_EQ(fx.nLevel, 42);
    EXPECT_FLOAT_EQ(fx.fFadeOpacity, 1.0f);
    EXPECT_TRUE(fx.IsPixelValid(-5, -5));
    EXPECT_TRUE(fx.IsPixelValid(109, 59));
    EXPECT_FALSE(fx.IsPixelValid(110, 0));
    // A second initialisation keeps the region it finds.
    HRGN first = fx.hValidRgn;
    fx.InitEffect(tagSIZE{10, 10}, 1, 1, 0, 3);
    EXPECT_EQ(fx.hValidRgn, first);

    CTavmArray<void*> romance(5), tracks(5);
    CTavmArray<unsigned char*> sprites(5);
    CTavmArray<tagSIZE> sizes(5);
    fx.SetRomanceData(&romance);
    fx.SetActTrackData(&tracks);
    fx.SetSpecialData(&sprites, &sizes);
    fx.SetAniFrameRate(25);
    fx.SetCurEffectTime(1.5);
    fx.SetFadeOpacity(0.5f);
    EXPECT_EQ(fx.pRomanceData, &romance);
    EXPECT_EQ(fx.pActTrackData, &tracks);
    EXPECT_EQ(fx.pSpecialBuffers, &sprites);
    EXPECT_EQ(fx.pSpecialSizes, &sizes);
    EXPECT_EQ(fx.nAniFrameRate, 25);
    EXPECT_DOUBLE_EQ(fx.dCurEffectTime, 1.5);
    EXPECT_FLOAT_EQ(fx.fFadeOpacity, 0.5f);
}

TEST(EffectObject, PixelHelpers)
{
    EffectFixture one(1, 1, 3);
    unsigned char px[3] = {1, 2, 3};
    EXPECT_EQ(one.fx.GetBits(px, 0, 0), px);
    EffectFixture f(10, 4, 4);
    Frame buf(160);
    EXPECT_EQ(f.fx.GetBits(buf.data(), 3, 2), buf.data() + (3 + 2 * 10) * 4);

    unsigned char dst[5] = {9, 9, 9, 9, 9};
    const unsigned char src[5] = {1, 2, 3, 4, 5};
    CfTavEffect::CopyPixel(dst, src, 5);
    EXPECT_EQ(0, std::memcmp(dst, "\x09\x09\x09\x09\x09", 5));
    CfTavEffect::CopyPixel(dst, src, 2);
    EXPECT_EQ(0, std::memcmp(dst, "\x01\x02\x09\x09\x09", 5));
}

TEST(EffectObject, EveryEffectSurvivesTinyAndOddFrames)
{
    const int sizes[][2] = {{1, 1}, {2, 3}, {7, 5}, {29, 31}, {31, 2}};
    for (const auto& s : sizes)
        for (int bpp : {1, 2, 3, 4, 5}) {
            const Frame src = MakeTestPicture(s[0], s[1], bpp);
            for (int id = 0; id < GetStaticEffectCount(); ++id) {
                EffectFixture f(s[0], s[1], bpp);
                PolygonOp tri({{0, 0}, {s[0], 1}, {1, s[1]}});
                const Frame out = Apply(f.fx, src, id, id % 2 ? &tri.op : nullptr);
                ASSERT_EQ(out.size(), src.size());
                if (bpp != 3 && bpp != 4) {
                    ASSERT_EQ(out, src) << "pixels of other sizes are only copied";
                }
            }
            EffectFixture f(s[0], s[1], bpp);
            Frame out(src.size());
            for (int mode = -1; mode <= 5; ++mode)
                f.fx.SwapColor(src.data(), out.data(), mode);
        }
}

}  // namespace
