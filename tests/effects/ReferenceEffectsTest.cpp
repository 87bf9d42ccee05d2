// The effects walk spans, use lookup tables, run on several threads and have AVX2
// builds of their loops. Here each is checked against a plain pixel-by-pixel
// reading of its rule that asks the region about every pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>

#include "filter/common/CpuDispatch.h"
#include "filter/common/RowSlices.h"
#include "tests/effects/EffectTestSupport.h"
#include "tools/common/SyntheticPicture.h"

using namespace zolvex::test;

namespace {

uint8_t Clamp(int64_t v) { return uint8_t(std::min<int64_t>(255, std::max<int64_t>(0, v))); }

struct Reference {
    CfTavEffect& fx;
    const Frame& src;
    int w, h, bpp;

    bool Valid(int j, int i) const { return fx.IsPixelValid(j, h - i); }
    const uint8_t* S(int j, int i) const { return &src[(size_t(i) * w + j) * bpp]; }
    static uint8_t* D(Frame& f, int j, int i, int w, int bpp) { return &f[(size_t(i) * w + j) * bpp]; }

    // Copies src, then lets rule(j, i, out) rewrite bytes 0–2 of every valid pixel.
    Frame PerPixel(const std::function<void(int, int, uint8_t*)>& rule) const
    {
        Frame out = src;
        for (int i = 0; i < h; ++i)
            for (int j = 0; j < w; ++j)
                if (Valid(j, i))
                    rule(j, i, D(out, j, i, w, bpp));
        return out;
    }

    Frame Channels(const std::function<int(int)>& f) const
    {
        return PerPixel([&](int j, int i, uint8_t* o) {
            for (int c = 0; c < 3; ++c)
                o[c] = uint8_t(f(S(j, i)[c]));
        });
    }

    int Grey(int j, int i) const { return uint8_t((59 * S(j, i)[1] + 30 * S(j, i)[2] + 11 * S(j, i)[0]) / 100); }

    Frame Expected(int id, int level) const
    {
        const int c = level * 255 / 100;
        switch (id) {
        case 0: return Channels([&](int v) { return std::min(255, v * c / 100); });
        case 1: return Channels([&](int v) { return Clamp((v - 128) * c / 100 + 128); });
        case 2: {
            const double e = 1.0 / float(level * 2.55 * 0.01), k = std::pow(255.0, e) / 255.0;
            return Channels([&](int v) { return Clamp(int64_t(std::pow(double(v), e) / k)); });
        }
        case 3:
            return PerPixel([&](int j, int i, uint8_t* o) {
                if (j < w / 2)
                    std::copy(S(w - 1 - j, i), S(w - 1 - j, i) + 3, o);
                else if (w - 1 - j < w / 2 && Valid(w - 1 - j, i))
                    std::copy(S(w - 1 - j, i), S(w - 1 - j, i) + 3, o);
            });
        case 4:
            return PerPixel([&](int j, int i, uint8_t* o) {
                if (i < h / 2)
                    std::copy(S(j, h - 1 - i), S(j, h - 1 - i) + 3, o);
                else if (h - 1 - i < h / 2 && Valid(j, h - 1 - i))
                    std::copy(S(j, h - 1 - i), S(j, h - 1 - i) + 3, o);
            });
        case 5: return Channels([](int v) { return std::min(255, int(std::floor(v * 3 / 255.0 + 0.5)) * 85); });
        case 6: return Channels([](int v) { return 255 - v; });
        case 7: return Channels([](int v) { return v >= 30 ? 255 - v : v; });
        case 8: return Glass();
        case 9:
            return PerPixel([&](int j, int i, uint8_t* o) {
                int v = 128;
                if (j < w - 1) {
                    const int d = (S(j, i)[0] + S(j, i)[1] + S(j, i)[2]) - (S(j + 1, i)[0] + S(j + 1, i)[1] + S(j + 1, i)[2]);
                    v = Clamp(2 * (d / 3) + 128);
                }
                o[0] = o[1] = o[2] = uint8_t(v);
            });
        case 10:
            return PerPixel([&](int j, int i, uint8_t* o) { std::fill(o, o + bpp, S(j, i)[1]); });
        case 11:
            return PerPixel([&](int j, int i, uint8_t* o) { o[0] = o[1] = o[2] = Grey(j, i) > 100 ? 255 : 0; });
        case 12: {
            static const int kBayer[8][8] = {
                {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
                {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},   {51, 19, 59, 27, 49, 17, 57, 25},
                {15, 47, 7, 39, 13, 45, 5, 37},  {63, 31, 55, 23, 61, 29, 53, 21}};
            return PerPixel([&](int j, int i, uint8_t* o) {
                o[0] = o[1] = o[2] = kBayer[i % 8][j % 8] < Grey(j, i) / 4 ? 255 : 0;
            });
        }
        case 13: {
            const int reach = std::max(w / 30, 1);
            return PerPixel([&](int j, int i, uint8_t* o) {
                int sx = j + std::rand() % reach;
                int sy = i + std::rand() % reach;
                sx = std::min(sx, w - 1);
                sy = std::min(sy, h - 1);
                std::copy(S(sx, sy), S(sx, sy) + bpp, o);
            });
        }
        default: return src;
        }
    }

    Frame Glass() const
    {
        const int cw = w / 10, ch = h / 10, hw = cw / 2, hh = ch / 2, ow = cw % 2, oh = ch % 2;
        Frame out = src;
        int rowBase = 0, rowK = 0;
        for (int i = 0; i < h; ++i) {
            const int sy = std::max(0, std::min(rowBase + 2 * rowK, h - 1));
            if (++rowK == hh) {
                rowBase += ch;
                rowK = -(oh + hh);
            }
            int colBase = 0, colK = 0;
            for (int j = 0; j < w; ++j) {
                if (!Valid(j, i))
                    continue;
                const int sx = std::max(colBase + 2 * colK, 0);
                if (sx < w)
                    std::copy(S(sx, sy), S(sx, sy) + bpp, D(out, j, i, w, bpp));
                if (++colK == hw) {
                    colBase += cw;
                    colK = -(ow + hw);
                }
            }
        }
        return out;
    }
};

TEST(ReferenceEffects, OptimisedEffectsEqualThePlainRules)
{
    const int w = 123, h = 77;
    for (int bpp : {3, 4})
        for (bool confined : {false, true})
            for (int level : {0, 37, 100}) {
                const Frame src = zolvex::testpic::MakeTestPicture(w, h, bpp);
                for (int id = 0; id <= 13; ++id) {
                    if (level == 0 && id == 2)
                        continue;  // gamma 0 has its own test
                    EffectFixture f(w, h, bpp, level);
                    PolygonOp poly({{5, 3}, {118, 20}, {60, 40}, {110, 74}, {3, 70}, {40, 38}});
                    if (confined)
                        f.fx.UpdateValidRgn(&poly.op);
                    std::srand(17);
                    const Frame expected = Reference{f.fx, src, w, h, bpp}.Expected(id, level);
                    Frame out = src;
                    std::srand(17);
                    f.fx.SetCurEffectID(id);
                    f.fx.Effect(src.data(), out.data(), nullptr);
                    ASSERT_EQ(out, expected) << GetStaticEffectName(id) << " bpp " << bpp << " level " << level
                                             << (confined ? " in a polygon" : "");
                }
            }
}

TEST(ReferenceEffects, ResultsDoNotDependOnThreadsOrTheAvx2Build)
{
    const int w = 720, h = 576;
    const Frame src = zolvex::testpic::MakeTestPicture(w, h, 3);
    const Frame src4 = zolvex::testpic::MakeTestPicture(w, h, 4);
    for (int bpp : {3, 4})
        for (int id = 0; id < GetStaticEffectCount(); ++id) {
            Frame first;
            for (int run = 0; run < 3; ++run) {
                zolvex::SetSliceThreads(run == 0 ? 1 : 4);
                zolvex::AllowAvx2Kernels(run != 2);
                EffectFixture f(w, h, bpp);
                PolygonOp poly({{30, 10}, {700, 200}, {360, 570}, {200, 300}, {10, 500}});
                std::srand(11);
                const Frame& in = bpp == 3 ? src : src4;
                Frame out = in;
                f.fx.SetCurEffectID(id);
                f.fx.Effect(in.data(), out.data(), id % 2 ? &poly.op : nullptr);
                if (run == 0)
                    first = out;
                else
                    EXPECT_EQ(out, first) << GetStaticEffectName(id) << " bpp " << bpp << " run " << run;
            }
        }
    zolvex::SetSliceThreads(0);
    zolvex::AllowAvx2Kernels(true);
}

}  // namespace
