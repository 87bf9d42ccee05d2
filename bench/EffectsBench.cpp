// Every static effect on a 720 × 576 frame of 3-byte pixels, with its cost as a
// multiple of one frame copy, in three regions:
//   frame          the default whole-frame rectangle
//   polygon-whole  a polygon around the whole frame: the same pixels as "frame", so
//                  the difference is what the polygon region itself costs
//   polygon        a concave polygon over about half of the frame
#include <cstdlib>
#include <string>

#include "bench/BenchSupport.h"
#include "filter/effects/fTavEffect.h"
#include "tools/common/SyntheticPicture.h"

namespace {

const int kW = 720, kH = 576, kBpp = 3;
double g_copySeconds = 0;

enum Area { kFrame, kPolygonWhole, kPolygon };
const char* const kAreaNames[] = {"frame", "polygon-whole", "polygon"};

void RunEffect(benchmark::State& state, int id, Area area)
{
    const std::vector<unsigned char> src = zolvex::testpic::MakeTestPicture(kW, kH, kBpp);
    std::vector<unsigned char> dst = src;
    CTavmArray<tagSIZE> polygon(5);
    if (area == kPolygon) {
        for (tagSIZE p : {tagSIZE{40, 30}, tagSIZE{690, 60}, tagSIZE{520, 300}, tagSIZE{700, 560},
                          tagSIZE{300, 420}, tagSIZE{20, 540}, tagSIZE{180, 280}})
            polygon.Add(p);
    } else {
        for (tagSIZE p : {tagSIZE{-10, -10}, tagSIZE{360, -40}, tagSIZE{730, -10}, tagSIZE{760, 288},
                          tagSIZE{730, 586}, tagSIZE{360, 620}, tagSIZE{-10, 586}, tagSIZE{-40, 288}})
            polygon.Add(p);
    }
    tagOPR_EFFECT op{};
    op.nEffectID = id;
    op.nLevel = 60;
    op.pValidPolygon = area == kFrame ? nullptr : &polygon;
    std::srand(1);
    // As the renderer does: a fresh object per frame and operation.
    zolvex::bench::TimedLoop(state, g_copySeconds, [&] {
        CfTavEffect fx;
        fx.InitEffect(tagSIZE{kW, kH}, 1.0f, 1.0f, op.nLevel, kBpp);
        fx.SetCurEffectID(id);
        fx.Effect(src.data(), dst.data(), &op);
        benchmark::DoNotOptimize(dst.data());
    });
}

}  // namespace

int main(int argc, char** argv)
{
    g_copySeconds = zolvex::bench::FrameCopySeconds(size_t(kW) * kH * kBpp);
    zolvex::bench::RegisterFrameCopy("FrameCopy/720x576x3", size_t(kW) * kH * kBpp, g_copySeconds);
    for (int id = 0; id < GetStaticEffectCount(); ++id)
        for (Area area : {kFrame, kPolygonWhole, kPolygon}) {
            const std::string name = std::string("Effect/") + GetStaticEffectName(id) + "/" + kAreaNames[area];
            benchmark::RegisterBenchmark(name.c_str(), RunEffect, id, area)->Unit(benchmark::kMicrosecond);
        }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
