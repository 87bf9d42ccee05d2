// Overlay compositing on 720 × 576 frames: a 200 × 200 sprite laid over the frame,
// and the integer bilinear stretch of a whole frame to twice its size.
#include <cmath>

#include "bench/BenchSupport.h"
#include "filter/effects/fTavEffect.h"

namespace {

const int kW = 720, kH = 576;
double g_copySeconds = 0;

// A round sprite with a soft edge, so that the blend does real work.
std::vector<unsigned char> Sprite(int size)
{
    std::vector<unsigned char> px(size_t(size) * size * 4);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            unsigned char* p = &px[(size_t(y) * size + x) * 4];
            const double d = std::hypot(x - size / 2.0, y - size / 2.0) / (size / 2.0);
            p[0] = uint8_t(x);
            p[1] = uint8_t(y);
            p[2] = 200;
            p[3] = uint8_t(d >= 1 ? 0 : (d > 0.8 ? (1 - d) * 5 * 255 : 255));
        }
    return px;
}

void SpriteOverFrame(benchmark::State& state, float zoom, float angle)
{
    const std::vector<unsigned char> sprite = Sprite(200);
    std::vector<unsigned char> frame(size_t(kW) * kH * 3, 90);
    CfTavEffect fx;
    fx.InitEffect(tagSIZE{kW, kH}, 1, 1, 100, 3);
    zolvex::bench::TimedLoop(state, g_copySeconds, [&] {
        fx.AddRenderPropsBuf(zoom, zoom, angle, frame.data(), sprite.data(), tagSIZE{200, 200}, 360, 288, 230, 0, 0);
        benchmark::DoNotOptimize(frame.data());
    });
}

void StretchFrame(benchmark::State& state)
{
    std::vector<unsigned char> src(size_t(kW) * kH * 4, 77), dst(size_t(kW) * 2 * kH * 2 * 4);
    for (size_t k = 0; k < src.size(); ++k)
        src[k] = uint8_t(k * 7);
    zolvex::bench::TimedLoop(state, g_copySeconds, [&] {
        CfTavEffect::Stretch_Linear(4, src.data(), dst.data(), kW, kH, kW * 2, kH * 2, 0);
        benchmark::DoNotOptimize(dst.data());
    });
}

}  // namespace

int main(int argc, char** argv)
{
    g_copySeconds = zolvex::bench::FrameCopySeconds(size_t(kW) * kH * 3);
    zolvex::bench::RegisterFrameCopy("FrameCopy/720x576x3", size_t(kW) * kH * 3, g_copySeconds);
    benchmark::RegisterBenchmark("AddRenderPropsBuf/200x200 zoom 1 angle 30", SpriteOverFrame, 1.0f, 30.0f)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("AddRenderPropsBuf/200x200 zoom 2 angle 0", SpriteOverFrame, 2.0f, 0.0f)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Stretch_Linear/720x576 to 1440x1152", StretchFrame)->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
