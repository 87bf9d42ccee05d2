// Every transition at progress 0.5 on 720 × 576 pictures of 3-byte pixels, with its
// cost as a multiple of one frame copy.
#include <string>

#include "bench/BenchSupport.h"
#include "filter/transitions/fTavTransition.h"
#include "tools/common/SyntheticPicture.h"

namespace {

const int kW = 720, kH = 576, kBpp = 3;
double g_copySeconds = 0;

void RunTransition(benchmark::State& state, int id)
{
    const std::vector<unsigned char> a = zolvex::testpic::MakeTestPicture(kW, kH, kBpp);
    const std::vector<unsigned char> b = zolvex::testpic::MakeSecondPicture(kW, kH, kBpp);
    std::vector<unsigned char> o(a.size());
    zolvex::bench::TimedLoop(state, g_copySeconds, [&] {
        CfTavTransition t;
        t.InitTransfer(tagSIZE{kW, kH}, kBpp, 2.0);
        t.SetCurTransferTime(1.0);
        t.SetCurTransferID(id);
        t.Transfer(a.data(), b.data(), o.data());
        benchmark::DoNotOptimize(o.data());
    });
}

}  // namespace

int main(int argc, char** argv)
{
    g_copySeconds = zolvex::bench::FrameCopySeconds(size_t(kW) * kH * kBpp);
    zolvex::bench::RegisterFrameCopy("FrameCopy/720x576x3", size_t(kW) * kH * kBpp, g_copySeconds);
    for (int id = 1; id <= GetTransitionCount(); ++id) {
        char name[96];
        std::snprintf(name, sizeof name, "Transition/%02d %s", id, GetTransitionName(id));
        benchmark::RegisterBenchmark(name, RunTransition, id)->Unit(benchmark::kMicrosecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
