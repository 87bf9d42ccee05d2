// Animation effects in the studio: one thumbnail frame (160 × 120) of the library,
// one preview frame (320 × 240) of the maker, and one tick of the Animation Effect
// page's timer with 50 animated effects in the library (all of them in view).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QListWidget>
#include <QTimer>

#include <cstdlib>
#include <string>

#include "filter/animation/AnimationFile.h"
#include "studio/maker/AnimationLibrary.h"
#include "studio/maker/EffectMaker.h"
#include "studio/maker/ui/AnimationEffectPage.h"
#include "studio/shell/StringTable.h"
#include "tools/common/SampleEffect.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ScriptedPrompt.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

// A library of `n` copies of the sample effect, each with its own GUID.
bool FillLibrary(AnimationLibrary& library, const std::string& dir, int n)
{
    for (int k = 0; k < n; ++k) {
        tagROMANCE_EFFECT2* e = MakeSampleAnimationEffect();
        e->guidEffect.Data1 = uint32_t(k + 1);
        const std::string path = dir + "effect" + std::to_string(k);
        const bool written = WriteAnimationEffect(e, path.c_str());
        FreeAnimationEffect(e);
        if (!written || !library.Import(path + ".arf"))
            return false;
    }
    return true;
}

void ThumbnailFrame(benchmark::State& state)
{
    testsupport::ScratchFolder scratch("bench-maker");
    AnimationLibrary library(scratch.Path());
    if (!FillLibrary(library, scratch.Path(), 1)) {
        state.SkipWithError("the sample effect could not be imported");
        return;
    }
    for (auto _ : state)
        library.NextThumbnailFrame(0);
}

void MakerPreviewFrame(benchmark::State& state)
{
    // The sample effect's symbols, as the maker holds them.
    EffectMaker maker;
    tagROMANCE_EFFECT2* sample = MakeSampleAnimationEffect();
    tagROMANCE_EFFECT2* e = maker.Effect();
    for (int i = 0; i < sample->nSymbols; ++i) {
        e->pSymbols->Add(sample->pSymbols->GetAt(uint32_t(i)));
        e->pActors->Add(sample->pActors->GetAt(uint32_t(i)));
    }
    e->nSymbols = sample->nSymbols;
    sample->nSymbols = 0;
    sample->pSymbols->RemoveAll();
    sample->pActors->RemoveAll();
    FreeAnimationEffect(sample);
    const std::vector<uint8_t> background(size_t(320) * 240 * 3, 60);
    for (auto _ : state)
        benchmark::DoNotOptimize(maker.PreviewFrame(background));
}

void PageTick(benchmark::State& state)
{
    testsupport::ScratchFolder scratch("bench-maker");
    AnimationLibrary library(scratch.Path());
    if (!FillLibrary(library, scratch.Path(), 50)) {
        state.SkipWithError("the sample effects could not be imported");
        return;
    }
    testsupport::ScriptedPrompt prompt;
    AnimationEffectPage page(library, prompt);
    page.FrameTimer()->stop();
    // Big enough that all fifty are in view.
    page.resize(2000, 1600);
    page.show();
    QApplication::processEvents();
    for (auto _ : state) {
        page.Tick();
        QApplication::processEvents();
    }
    state.counters["effects"] = library.Count();
}

}  // namespace

BENCHMARK(ThumbnailFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(MakerPreviewFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(PageTick)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Strings().Load(Language::kEnglish);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
