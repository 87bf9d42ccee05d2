// One frame of animation playback: the three-symbol sample effect over a 720 × 576
// frame of 3-byte pixels (set-up done once, as the renderer does).
#include "bench/BenchSupport.h"
#include "filter/animation/AnimationPlayback.h"
#include "filter/effects/fTavEffect.h"
#include "tools/common/SampleEffect.h"

namespace {

const int kW = 720, kH = 576;
double g_copySeconds = 0;

void SampleFrame(benchmark::State& state)
{
    tagROMANCE_EFFECT2* effect = MakeSampleAnimationEffect();
    std::vector<unsigned char> frame(size_t(kW) * kH * 3, 80);
    tagOPR_EFFECT op{};
    op.guidEffect = effect->guidEffect;
    {
        CfTavEffect fx;
        fx.InitEffect(tagSIZE{kW, kH}, 1, 1, 100, 3);
        fx.SetAniFrameRate(25);
        fx.InitSpecial(op.guidEffect, &op, effect->szVersion, effect);
    }
    zolvex::bench::TimedLoop(state, g_copySeconds, [&] {
        // As the renderer does: a fresh engine per frame and operation.
        CfTavEffect fx;
        fx.InitEffect(tagSIZE{kW, kH}, 1, 1, 100, 3);
        fx.SetAniFrameRate(25);
        fx.Special_Effect(&op, frame.data(), frame.data(), effect->szVersion, effect);
        benchmark::DoNotOptimize(frame.data());
    });
    CfTavEffect::ReleaseOprSpecialData(&op);
    FreeAnimationEffect(effect);
}

}  // namespace

int main(int argc, char** argv)
{
    g_copySeconds = zolvex::bench::FrameCopySeconds(size_t(kW) * kH * 3);
    zolvex::bench::RegisterFrameCopy("FrameCopy/720x576x3", size_t(kW) * kH * 3, g_copySeconds);
    benchmark::RegisterBenchmark("Special_Effect/sample 3 symbols 720x576x3", SampleFrame)
        ->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
