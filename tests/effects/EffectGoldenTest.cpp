#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "tests/effects/EffectTestSupport.h"
#include "tests/support/Golden.h"
#include "tools/common/SyntheticPicture.h"

using namespace zolvex::test;

namespace {

const int kW = 720, kH = 576;

// A concave outline over about half of the frame, in frame coordinates.
PolygonOp* NewConfinedOp()
{
    return new PolygonOp({{40, 30}, {690, 60}, {520, 300}, {700, 560}, {300, 420}, {20, 540}, {180, 280}});
}

std::string Key(const char* what, int id, const char* name, const char* region, int bpp)
{
    return std::string(what) + "=" + std::to_string(id) + " name=\"" + name + "\" region=" + region + " size=" +
           std::to_string(kW) + "x" + std::to_string(kH) + "x" + std::to_string(bpp);
}

TEST(EffectGolden, EveryStaticEffectOnTheTestPicture)
{
    std::vector<std::string> lines;
    struct Case {
        const char* region;
        int bpp;
    } cases[] = {{"frame", 3}, {"polygon", 3}, {"frame", 4}};
    for (const Case& c : cases) {
        const Frame src = zolvex::testpic::MakeTestPicture(kW, kH, c.bpp);
        for (int id = 0; id < GetStaticEffectCount(); ++id) {
            EffectFixture f(kW, kH, c.bpp, 60);
            std::unique_ptr<PolygonOp> op(std::string(c.region) == "polygon" ? NewConfinedOp() : nullptr);
            Frame dst = src;
            std::srand(1);
            f.fx.SetCurEffectID(id);
            f.fx.Effect(src.data(), dst.data(), op ? &op->op : nullptr);
            lines.push_back(GoldenLine(Key("effect", id, GetStaticEffectName(id), c.region, c.bpp), dst.data(), dst.size()));
        }
        for (int mode = 0; mode <= 4; ++mode) {
            EffectFixture f(kW, kH, c.bpp, 60);
            std::unique_ptr<PolygonOp> op(std::string(c.region) == "polygon" ? NewConfinedOp() : nullptr);
            f.fx.UpdateValidRgn(op ? &op->op : nullptr);
            Frame dst(src.size());
            f.fx.SwapColor(src.data(), dst.data(), mode);
            lines.push_back(GoldenLine(Key("swapcolor", mode, "SwapColor", c.region, c.bpp), dst.data(), dst.size()));
        }
    }
    const std::string diff = CheckGolden("static_effects.txt", lines);
    EXPECT_TRUE(diff.empty()) << diff;
}

}  // namespace
