#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "filter/common/RowSlices.h"
#include "tests/effects/EffectTestSupport.h"
#include "tests/support/Golden.h"
#include "tools/common/SyntheticPicture.h"

using namespace zolvex::test;
using zolvex::testpic::MakeTestPicture;
using zolvex::testpic::MakeUniform;

namespace {

// The last two draw random numbers.
const char* const kNames[] = {"GaussBlur", "MotionBlur0", "MotionBlur1", "Distord", "TileReflection",
                              "Mosaic",    "Illusion",    "Noise",       "Frog"};
enum { kGauss, kMotion0, kMotion1, kDistord, kTile, kMosaic, kIllusion, kNoise, kFrog, kCount, kDeterministic = kNoise };

Frame Apply(CfTavEffect& fx, int id, const Frame& src, tagOPR_EFFECT* op = nullptr)
{
    fx.UpdateValidRgn(op);
    Frame d(src.size(), 0xCD);
    switch (id) {
    case kGauss: fx.GaussBlur(src.data(), d.data()); break;
    case kMotion0: case kMotion1: fx.MotionBlur(src.data(), d.data(), id - kMotion0); break;
    case kDistord: fx.Distord(src.data(), d.data()); break;
    case kTile: fx.TileReflection(src.data(), d.data()); break;
    case kMosaic: fx.Mosaic(src.data(), d.data()); break;
    case kIllusion: fx.Illusion(src.data(), d.data()); break;
    case kNoise: fx.Noise(src.data(), d.data()); break;
    default: fx.Frog(src.data(), d.data()); break;
    }
    return d;
}

TEST(FurtherEffects, UniformPicturesStayUniform)
{
    for (int bpp : {3, 4})
        for (int id = 0; id < kDeterministic; ++id) {
            const Frame flat = MakeUniform(61, 37, bpp, 7, 128, 255, 90);
            EffectFixture f(61, 37, bpp);
            EXPECT_EQ(Apply(f.fx, id, flat), flat) << kNames[id] << " bpp " << bpp;
        }
}

TEST(FurtherEffects, BlursAlongRows)
{
    // An impulse spreads like the sampled Gaussian of σ ≈ 0.9012 (2σ² ≈ 1.6242), evenly.
    Frame row(41 * 3, 0);
    row[20 * 3 + 1] = 255;
    EffectFixture f(41, 1, 3);
    const Frame out = Apply(f.fx, kGauss, row);
    for (int k = 0; k <= 3; ++k) {
        EXPECT_NEAR(out[size_t(20 + k) * 3 + 1], 255 * std::exp(-k * k / 1.6242) / 2.2578, 2.0) << k;
        EXPECT_EQ(out[size_t(20 + k) * 3 + 1], out[size_t(20 - k) * 3 + 1]) << k;
    }
    // Right to left is the mirror image of left to right (the alpha bytes, which
    // mirror leaves in place, are not blurred).
    const int w = 53;
    for (int bpp : {3, 4}) {
        const Frame src = MakeTestPicture(w, 9, bpp);
        EffectFixture m(w, 9, bpp);
        auto mirrored = [&](const Frame& f) { Frame o(f.size()); m.fx.mirror(f.data(), o.data()); return o; };
        const Frame right = Apply(m.fx, kMotion0, src);
        EXPECT_EQ(mirrored(Apply(m.fx, kMotion1, mirrored(src))), right);
        EXPECT_NE(right, src);
    }
    // Twelve pixels of 0, 12, 24 … average 66; beyond the edge the last pixel (255)
    // repeats: (11 · 255 + 7) / 12 = 234; the last two columns stay.
    Frame ramp(size_t(w) * 3);
    for (int j = 0; j < w; ++j)
        ramp[size_t(j) * 3] = uint8_t(j == w - 2 ? 7 : std::min(12 * j, 255));
    EffectFixture g(w, 1, 3);
    const Frame smeared = Apply(g.fx, kMotion0, ramp);
    EXPECT_TRUE(smeared[0] == 66 && smeared[size_t(w - 3) * 3] == 234 && smeared[size_t(w - 2) * 3] == 7);
}

TEST(FurtherEffects, DistordTakesEachPixelFromItsRipplePoint)
{
    for (int w : {160, 90}) {
        const int h = 250 - w;
        const Frame src = CoordinatePicture(w, h, 3);
        for (int j : {3, w / 2, w - 10}) {
            const int i = h - j % h - 1;
            const double xs = w < h ? double(h) / w : 1.0, ys = h < w ? double(w) / h : 1.0;
            const double dx = (j - w * 0.5) * xs, dy = (i - h * 0.5) * ys;
            const double d = 30 * std::sin(std::sqrt(dx * dx + dy * dy) * 6.2831853 * 0.04 + 0.23);
            EffectFixture f(w, h, 3);
            double sx = -1, sy = -1;
            EXPECT_TRUE(f.fx.calc_undistorted_coord(j, i, sx, sy));
            EXPECT_NEAR(sx, std::min(std::max(w * 0.5 + (dx + d) / xs, 0.0), w - 1.0), 1e-9);
            EXPECT_NEAR(sy, std::min(std::max(h * 0.5 + (dy + d) / ys, 0.0), h - 1.0), 1e-9);
            // Only this pixel is valid (memory row i is picture row h − i).
            PolygonOp one({{j, h - i}, {j + 1, h - i}, {j + 1, h - i + 1}, {j, h - i + 1}});
            const Frame out = Apply(f.fx, kDistord, src, &one.op);
            EXPECT_NEAR(CoordX(&out[(size_t(i) * w + j) * 3]), sx, 0.51) << j << "," << i;
            EXPECT_NEAR(CoordY(&out[(size_t(i) * w + j) * 3]), sy, 0.51) << j << "," << i;
        }
    }
}

// 61 × 3: blocks of 2, the last column and the top row cut to one pixel.
TEST(FurtherEffects, MosaicBlocksShowTheirAlphaWeightedAverage)
{
    const int w = 61;
    Frame src = MakeUniform(w, 3, 4, 10, 20, 30, 255), src3(size_t(w) * 2 * 3, 0);
    auto at = [&](Frame& f, int j, int i, int bpp) { return &f[(size_t(i) * w + j) * bpp]; };
    const uint8_t corner[4][2] = {{0, 255}, {100, 0}, {30, 85}, {60, 170}};  // blue, alpha
    for (int k = 0; k < 4; ++k) {
        at(src, k % 2, k / 2, 4)[0] = at(src3, k % 2, k / 2, 3)[0] = corner[k][0];
        at(src, k % 2, k / 2, 4)[3] = corner[k][1];
    }
    at(src, 60, 1, 4)[0] = 41;
    at(src, 60, 2, 4)[3] = 0;
    EffectFixture f(w, 3, 4), g(w, 2, 3);
    Frame out = Apply(f.fx, kMosaic, src), out3 = Apply(g.fx, kMosaic, src3);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(at(out, k % 2, k / 2, 4)[0], 25) << k;  // (30·85 + 60·170) / 510
        EXPECT_EQ(at(out, k % 2, k / 2, 4)[3], corner[k][1]) << "alpha stays";
        EXPECT_EQ(at(out3, k % 2, k / 2, 3)[0], 47) << k;  // 190 / 4
    }
    EXPECT_EQ(at(out, 60, 1, 4)[0], 25);  // (10 + 41) / 2
    EXPECT_EQ(at(out, 60, 2, 4)[0], 0) << "no weight, no colour";

    // Narrower than 30 pixels: no blocks at all.
    EffectFixture n(29, 4, 4);
    const Frame narrow = MakeTestPicture(29, 4, 4);
    EXPECT_EQ(Apply(n.fx, kMosaic, narrow), narrow);
}

TEST(FurtherEffects, NoiseAndFrogStayWithinTheirBounds)
{
    const int w = 200, h = 100;
    EffectFixture f(w, h, 4);
    const Frame noisy = Apply(f.fx, kNoise, MakeUniform(w, h, 4, 128, 128, 128, 9));
    double sum = 0, squares = 0;
    for (size_t k = 0; k < noisy.size(); k += 4) {
        const int n = noisy[k] - 128;
        ASSERT_LE(std::abs(n), 21);  // four draws reach 2√3 standard deviations of 6.35
        ASSERT_TRUE(noisy[k + 1] == noisy[k] && noisy[k + 2] == noisy[k] && noisy[k + 3] == 9);
        sum += n;
        squares += n * n;
    }
    EXPECT_NEAR(sum / (w * h), 0.0, 0.5) << "centred";
    EXPECT_NEAR(std::sqrt(squares / (w * h)), 6.0, 0.4);  // 6.35, a little less once truncated

    const Frame src = MakeTestPicture(w, h, 4), lit = Apply(f.fx, kFrog, src);
    int changed = 0;
    for (size_t k = 0; k < lit.size(); ++k) {
        ASSERT_GE(lit[k], src[k]) << "only lightens";
        ASSERT_LE(lit[k] - src[k], k % 4 == 3 ? 0 : 29 * (255 - src[k]) / 255 + 1) << k;
        changed += lit[k] != src[k];
    }
    EXPECT_GT(changed, int(lit.size()) / 2);
}

TEST(FurtherEffects, LeftHalfPolygonLeavesTheRightHalfAloneButFrogIgnoresIt)
{
    const int w = 120, h = 90;
    for (int bpp : {3, 4})
        for (int id = 0; id < kCount; ++id) {
            const Frame src = MakeTestPicture(w, h, bpp);
            EffectFixture f(w, h, bpp);
            PolygonOp left({{0, -5}, {w / 2, -5}, {w / 2, h + 10}, {0, h + 10}});
            const Frame out = Apply(f.fx, id, src, &left.op);
            bool changed[2] = {false, false};
            for (size_t p = 0; p < src.size(); p += size_t(bpp))
                changed[p / bpp % w >= size_t(w / 2)] |= std::memcmp(&out[p], &src[p], size_t(bpp)) != 0;
            EXPECT_TRUE(changed[0]) << kNames[id];
            EXPECT_EQ(changed[1], id == kFrog) << kNames[id] << " bpp " << bpp;
        }
}

// Run under the sanitizers: no size reads or writes outside the frames. An effect
// that only copied its source would pass that, so each must also change the textured
// picture where it applies and, but for Frog, nothing outside its triangle.
TEST(FurtherEffects, SurviveTinyAndOddFrames)
{
    const int sizes[][2] = {{1, 1}, {2, 3}, {7, 5}, {29, 31}, {31, 2}, {120, 90}};
    for (const auto& s : sizes)
        for (int bpp : {2, 3, 4, 5})
            for (int id = 0; id < kCount * 2; ++id) {
                const Frame src = MakeTestPicture(s[0], s[1], bpp);
                EffectFixture f(s[0], s[1], bpp);
                PolygonOp tri({{0, 0}, {s[0], 1}, {1, s[1]}});
                const Frame out = Apply(f.fx, id % kCount, src, id >= kCount ? &tri.op : nullptr);
                if (bpp != 3 && bpp != 4) {
                    ASSERT_EQ(out, src) << kNames[id % kCount] << " only copies other pixel sizes";
                    continue;
                }
                const int w = s[0], h = s[1];
                bool changedInside = false;
                for (int i = 0; i < h; ++i)
                    for (int j = 0; j < w; ++j) {
                        const size_t at = (size_t(i) * w + j) * bpp;
                        const bool same = std::memcmp(&out[at], &src[at], size_t(bpp)) == 0;
                        // Memory row i meets picture row h − i, as in the effects.
                        if (id < kCount || f.fx.IsPixelValid(j, h - i)) {
                            changedInside |= !same;
                        } else if (id % kCount != kFrog) {
                            ASSERT_TRUE(same) << kNames[id % kCount] << " outside its triangle at " << j << "," << i
                                              << " on " << w << "x" << h << "x" << bpp;
                        }
                    }
                // Frames from 7 × 5 leave each effect room to act; Mosaic's blocks need more.
                if (w >= 7 && h >= 5 && (id % kCount != kMosaic || w >= 120)) {
                    EXPECT_TRUE(changedInside) << kNames[id % kCount] << (id >= kCount ? " in its triangle" : "")
                                               << " on " << w << "x" << h << "x" << bpp;
                }
            }
}

TEST(FurtherEffectsGolden, DeterministicEffectsOnTheTestPicture)
{
    std::vector<std::string> lines;
    for (int bpp : {3, 4}) {
        const Frame src = MakeTestPicture(720, 576, bpp);
        for (int id = 0; id < kDeterministic; ++id) {
            EffectFixture f(720, 576, bpp);
            zolvex::SetSliceThreads(1);
            const Frame one = Apply(f.fx, id, src);
            zolvex::SetSliceThreads(4);
            EXPECT_EQ(Apply(f.fx, id, src), one) << kNames[id] << ": threads change the result";
            zolvex::SetSliceThreads(0);
            lines.push_back(GoldenLine(std::string("effect=") + kNames[id] + " size=720x576x" + std::to_string(bpp),
                                       one.data(), one.size()));
        }
    }
    const std::string diff = CheckGolden("further_effects.txt", lines);
    EXPECT_TRUE(diff.empty()) << diff;
}

}  // namespace
