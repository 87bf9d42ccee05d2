#include <gtest/gtest.h>

#include <cstring>

#include "tests/effects/EffectTestSupport.h"
#include "tools/common/SyntheticPicture.h"

using namespace zolvex::test;

namespace {

// An opaque 4-byte overlay whose pixels tell their overlay column and memory row.
Frame CodedOverlay(int w, int h)
{
    Frame f = CoordinatePicture(w, h, 4);
    for (size_t k = 3; k < f.size(); k += 4)
        f[k] = 255;
    return f;
}

Frame MirrorColumns(const Frame& f, int w, int h)
{
    Frame out(f.size());
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            std::memcpy(&out[(size_t(r) * w + c) * 4], &f[(size_t(r) * w + (w - 1 - c)) * 4], 4);
    return out;
}

Frame ReverseRows(const Frame& f, int rowBytes)
{
    Frame out(f.size());
    const size_t rows = f.size() / size_t(rowBytes);
    for (size_t r = 0; r < rows; ++r)
        std::memcpy(&out[r * rowBytes], &f[(rows - 1 - r) * rowBytes], size_t(rowBytes));
    return out;
}

const int kW = 64, kH = 48;

TEST(Compositing, ZoomOneAngleZeroDropsTheOuterColumnsAndTheLastScaledRow)
{
    EffectFixture f(kW, kH, 3);
    const Frame overlay = CodedOverlay(10, 8);
    Frame frame(size_t(kW) * kH * 3, 7);
    const int x = 30, y = 20;
    f.fx.AddRenderPropsBuf(1, 1, 0, frame.data(), overlay.data(), tagSIZE{10, 8}, x, y, 255, 0, 0);
    // An 8 × 6 box: overlay columns 1–8 and memory rows 1–6, placed around (x, y).
    int drawn = 0;
    for (int row = 0; row < kH; ++row)
        for (int col = 0; col < kW; ++col) {
            const unsigned char* p = &frame[(size_t(row) * kW + col) * 3];
            if (p[0] == 7 && p[1] == 7 && p[2] == 7)
                continue;
            ++drawn;
            const int pictureRow = kH - 1 - row;
            EXPECT_EQ(CoordX(p), col - (x - 4) + 1) << col << "," << row;
            EXPECT_EQ(7 - CoordY(p), pictureRow - (y - 3) + 1) << col << "," << row;
        }
    EXPECT_EQ(drawn, 8 * 6);
}

TEST(Compositing, OpacityZeroAndCulledOverlaysLeaveTheFrame)
{
    EffectFixture f(kW, kH, 4);
    const Frame overlay = CodedOverlay(12, 12);
    const Frame before = zolvex::testpic::MakeTestPicture(kW, kH, 4);
    Frame frame = before;
    f.fx.AddRenderPropsBuf(1.5f, 1.5f, 30, frame.data(), overlay.data(), tagSIZE{12, 12}, 30, 20, 0, 0, 0);
    EXPECT_EQ(frame, before);
    // Centre more than the scaled width beyond the right edge.
    f.fx.AddRenderPropsBuf(2, 2, 0, frame.data(), overlay.data(), tagSIZE{12, 12}, kW + 25, 20, 255, 0, 0);
    EXPECT_EQ(frame, before);
    f.fx.AddRenderPropsBuf(2, 2, 0, frame.data(), overlay.data(), tagSIZE{12, 12}, 30, -25, 255, 0, 0);
    EXPECT_EQ(frame, before);
    // Drawn for real, the alpha byte of a 4-byte frame stays.
    f.fx.AddRenderPropsBuf(2, 2, 0, frame.data(), overlay.data(), tagSIZE{12, 12}, 30, 20, 255, 0, 0);
    EXPECT_NE(frame, before);
    for (size_t k = 3; k < frame.size(); k += 4)
        ASSERT_EQ(frame[k], before[k]);
}

TEST(Compositing, AlphaAndOpacityBlend)
{
    EffectFixture f(8, 8, 3);
    Frame overlay(4 * 4 * 4);
    for (size_t k = 0; k < overlay.size(); k += 4) {
        overlay[k] = overlay[k + 1] = overlay[k + 2] = 200;
        overlay[k + 3] = 128;
    }
    Frame frame(8 * 8 * 3, 100);
    f.fx.AddRenderPropsBuf(1, 1, 0, frame.data(), overlay.data(), tagSIZE{4, 4}, 4, 4, 255, 0, 0);
    // α = 128/255: trunc(α × 200 + (1 − α) × 100) = 150
    int blended = 0;
    for (unsigned char v : frame) {
        EXPECT_TRUE(v == 100 || v == 150) << int(v);
        blended += v == 150;
    }
    EXPECT_EQ(blended, 2 * 2 * 3);
}

TEST(Compositing, ValidRegionConfinesTheOverlay)
{
    EffectFixture f(kW, kH, 3);
    PolygonOp left({{0, -5}, {kW / 2, -5}, {kW / 2, kH + 5}, {0, kH + 5}});
    f.fx.UpdateValidRgn(&left.op);
    const Frame overlay = CodedOverlay(40, 30);
    const Frame before = zolvex::testpic::MakeTestPicture(kW, kH, 3);
    Frame frame = before;
    f.fx.AddRenderPropsBuf(1.2f, 1.2f, 20, frame.data(), overlay.data(), tagSIZE{40, 30}, kW / 2, kH / 2, 255, 1, 0);
    bool leftChanged = false;
    for (int row = 0; row < kH; ++row)
        for (int col = 0; col < kW; ++col) {
            const size_t p = (size_t(row) * kW + col) * 3;
            const bool same = std::memcmp(&frame[p], &before[p], 3) == 0;
            if (col >= kW / 2) {
                ASSERT_TRUE(same) << col << "," << row;
            } else {
                leftChanged |= !same;
            }
        }
    EXPECT_TRUE(leftChanged);
}

TEST(Compositing, SiblingsMirrorAndFlip)
{
    EffectFixture f(kW, kH, 3);
    const int w = 10, h = 8;
    const Frame overlay = CodedOverlay(w, h);
    auto render = [&](auto member, const Frame& o, int flipRows) {
        Frame frame(size_t(kW) * kH * 3, 7);
        (f.fx.*member)(1, 1, 0, frame.data(), o.data(), tagSIZE{w, h}, 30, 24, 255, 0, flipRows);
        return frame;
    };
    const Frame upsideDown = ReverseRows(overlay, w * 4);
    EXPECT_EQ(render(&CfTavEffect::AddV2RenderPropsBuf, overlay, 0),
              render(&CfTavEffect::AddRenderPropsBuf, MirrorColumns(overlay, w, h), 0));
    EXPECT_EQ(render(&CfTavEffect::AddV2RenderPropsBuf, overlay, 1),
              render(&CfTavEffect::AddV2RenderPropsBuf, upsideDown, 0));
    EXPECT_EQ(render(&CfTavEffect::AddV2TrackRenderPropsBuf, overlay, 0),
              render(&CfTavEffect::AddV2RenderPropsBuf, upsideDown, 0));
    // flipRows on the reference member turns the placed rows round (the box is centred
    // on the frame's middle row here, so that is the whole frame turned round).
    const Frame plain = render(&CfTavEffect::AddRenderPropsBuf, overlay, 0);
    const Frame flipped = render(&CfTavEffect::AddRenderPropsBuf, overlay, 1);
    EXPECT_EQ(flipped, ReverseRows(plain, kW * 3));
}

TEST(Compositing, StretchLinear)
{
    // 2 × 2 → 4 × 4 writes rows 0 and 1 only; row 1 stops where its last right-hand
    // sample would lie beyond the source.
    const unsigned char src[4] = {0, 100, 200, 250};
    unsigned char dst[16];
    std::memset(dst, 0xEE, sizeof dst);
    CfTavEffect::Stretch_Linear(1, src, dst, 2, 2, 4, 4, 0);
    // The last column's right-hand sample is the first pixel of the next source row.
    const unsigned char expected[16] = {0, 50, 100, 150, 100, 138, 175, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE,
                                        0xEE, 0xEE};
    EXPECT_EQ(0, std::memcmp(dst, expected, 16));

    // Reversed 3-byte output: rows from the last upwards, red first.
    const unsigned char px[2 * 3 * 3] = {1, 2, 3, 1, 2, 3, 1, 2, 3, 4, 5, 6, 4, 5, 6, 4, 5, 6};
    unsigned char out[2 * 3 * 3] = {};
    CfTavEffect::Stretch_Linear(3, px, out, 3, 2, 3, 2, 1);
    EXPECT_EQ(out[3 * 3], 3);  // row 0 of the result went to the last row
    EXPECT_EQ(out[3 * 3 + 2], 1);
    EXPECT_EQ(out[0], 0) << "row 1 has no lower neighbour and is not written";
}

// The resampler walks rows and columns in its own order; a literal reading of the rule
// (row by row, pixel by pixel, stopping where it says) must give the same bytes.
void LiteralStretch(int bpp, const unsigned char* src, unsigned char* dst, int sw, int sh, int dw, int dh)
{
    const int64_t n = int64_t(dw) * dh;
    for (int64_t i = 0; i < dh; ++i) {
        const int64_t c = i * sh / dh, d = i * sh % dh;
        if (c + 1 >= sh)
            return;
        const int64_t lower = d == 0 ? c : c + 1;
        for (int64_t j = 0; j < dw; ++j) {
            const int64_t e = j * sw / dw, f = j * sw % dw, right = f == 0 ? e : e + 1;
            if ((lower * sw + right) * bpp + bpp > int64_t(sw) * sh * bpp)
                return;
            const int64_t wy = dh - d, wx = dw - f;
            for (int k = 0; k < bpp; ++k) {
                const int64_t TL = src[(c * sw + e) * bpp + k], TR = src[(c * sw + right) * bpp + k];
                const int64_t BL = src[(lower * sw + e) * bpp + k], BR = src[(lower * sw + right) * bpp + k];
                dst[(i * dw + j) * bpp + k] = static_cast<unsigned char>(
                    (TR * wy * dw + n / 2 + ((TL - TR - BL + BR) * wy + BL * dh) * wx + (f * dh - wy * dw) * BR) / n);
            }
        }
    }
}

TEST(Compositing, StretchLinearFollowsItsRuleAtEverySize)
{
    std::srand(5);
    const int sizes[] = {1, 2, 3, 5, 7, 16, 33};
    for (int bpp : {3, 4})
        for (int sw : sizes)
            for (int sh : sizes)
                for (int dw : {1, 2, 4, 9, 31, 64})
                    for (int dh : {1, 3, 4, 10, 47}) {
                        Frame src(size_t(sw) * sh * bpp);
                        for (unsigned char& v : src)
                            v = uint8_t(std::rand());
                        Frame expected(size_t(dw) * dh * bpp, 0xEE), got = expected;
                        LiteralStretch(bpp, src.data(), expected.data(), sw, sh, dw, dh);
                        CfTavEffect::Stretch_Linear(bpp, src.data(), got.data(), sw, sh, dw, dh, 0);
                        ASSERT_EQ(got, expected) << sw << "x" << sh << " -> " << dw << "x" << dh << " bpp " << bpp;
                    }
}

TEST(Compositing, BorderPreviewLandsOneMemoryRowBelow)
{
    // The studio's call: 320 × 240, zoom to fill, angle 180, x = −160, y = 0.
    EffectFixture f(320, 240, 3);
    const int w = 80, h = 60;
    Frame overlay(size_t(w) * h * 4, 255);
    Frame frame(320 * 240 * 3, 0);
    f.fx.AddRenderBorderBuf(320.0f / w, 240.0f / h, 180, frame.data(), overlay.data(), tagSIZE{w, h}, -160, 0, 255, 0,
                            0);
    // Box pixel (j, i) lands at memory row 238 − i, column j: one row below its
    // nominal row, columns from 0. The scaled picture's outermost row and column are
    // empty (they fall past the overlay), so rows 1–237 and columns 1–317 show.
    for (int row = 0; row < 240; ++row) {
        int drawn = 0, first = -1;
        for (int col = 0; col < 320; ++col)
            if (frame[(size_t(row) * 320 + col) * 3] == 255) {
                ++drawn;
                first = first < 0 ? col : first;
            }
        const bool inBox = row >= 1 && row <= 237;
        EXPECT_EQ(drawn, inBox ? 317 : 0) << "memory row " << row;
        if (inBox) {
            EXPECT_EQ(first, 1) << "memory row " << row;
        }
    }
}

TEST(Compositing, NoZoomAngleOrPlaceWritesOutsideTheFrame)
{
    const Frame overlay = CodedOverlay(9, 7);
    const Frame big(size_t(3000) * 2000 * 4, 200);
    for (int bpp : {3, 4}) {
        EffectFixture f(37, 23, bpp);
        Frame frame(size_t(37) * 23 * bpp, 1);
        for (float zoom : {0.001f, 0.3f, 1.0f, 2.5f, 50.0f})
            for (float angle : {-720.0f, -90.0f, 0.0f, 33.0f, 180.0f, 719.0f})
                for (int x : {-100000, -40, 18, 100000})
                    for (int y : {-100000, -30, 11, 100000}) {
                        f.fx.AddRenderPropsBuf(zoom, zoom * 0.7f, angle, frame.data(), overlay.data(), tagSIZE{9, 7}, x,
                                               y, 200, x & 1, y & 1);
                        f.fx.AddV2TrackRenderPropsBuf(zoom, zoom, angle, frame.data(), overlay.data(), tagSIZE{9, 7},
                                                      x, y, 200, 0, 1);
                        f.fx.AddRenderBorderBuf(zoom, zoom, int(angle), frame.data(), overlay.data(), tagSIZE{9, 7},
                                                x, y, 200, y & 1, x & 1);
                    }
        // A scratch picture that cannot be made draws nothing.
        const Frame before = frame;
        f.fx.AddRenderPropsBuf(50, 50, 10, frame.data(), big.data(), tagSIZE{3000, 2000}, 18, 11, 255, 0, 0);
        f.fx.AddRenderBorderBuf(50, 50, 10, frame.data(), big.data(), tagSIZE{3000, 2000}, 18, 11, 255, 0, 0);
        EXPECT_EQ(frame, before);
    }
}

}  // namespace
