// Painting the timeline widget of a long project: 200 scenes with their JPEG
// thumbnails and 200 objects, into a 1,280 × 200 picture, the whole project in view
// and zoomed in eight times half way along. Figure: the time per iteration is one
// paint (target under 8 ms); the thumbnails in view are decoded once before the
// timing, as the widget keeps them.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>

#include <memory>
#include <string>

#include "studio/shell/StringTable.h"
#include "studio/shell/TimelineEditor.h"
#include "studio/shell/ui/TimelineView.h"
#include "tests/support/SampleTimeline.h"
#include "tests/support/ScriptedPrompt.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

struct LongProject {
    ProjectModel model;
    testsupport::ScriptedPrompt prompt;
    testsupport::QuietListener listener;
    TimelineEditor editor{model, prompt, listener};
    std::unique_ptr<TimelineView> view;

    LongProject()
    {
        for (int i = 0; i < 200; ++i)
            testsupport::AddSampleScene(model, "scene" + std::to_string(i), 2.0 + i % 7,
                                        testsupport::SampleThumbnail(i));
        const double total = model.TotalLength();
        const int32_t kinds[5] = {OBJ_TEXT, OBJ_PICTURE, OBJ_EFFECT, OBJ_MUSIC, OBJ_SCREEN3D};
        for (int i = 0; i < 200; ++i) {
            const double start = total * (i % 50) / 50.0;
            testsupport::AddSampleObject(model, kinds[i % 5], start, std::min(total, start + 20.0 + i % 30),
                                         "object " + std::to_string(i), i == 3);
        }
        model.RecomputeLength();
        model.SetSceneMark(17, 1);
        model.dMarkIn = total * 0.3;
        model.dMarkOut = total * 0.4;
        model.bMarkInSet = model.bMarkOutSet = true;
        editor.playhead = total * 0.55;
        view = std::make_unique<TimelineView>(editor);
        view->resize(1280, 200);
    }
};

// Made in main, so that its widget goes before the application does.
LongProject* project_ = nullptr;
LongProject& Project() { return *project_; }

void PaintTimeline(benchmark::State& state, double zoom)
{
    LongProject& project = Project();
    project.editor.zoom = zoom;
    project.editor.scroll = zoom > 1 ? (project.editor.AxisPixels(1280) - (1280 - kLabelColumn)) / 2 : 0;
    QImage image(1280, 200, QImage::Format_ARGB32_Premultiplied);
    project.view->render(&image);  // the thumbnails in view decoded once
    for (auto _ : state) {
        project.view->render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_TimelinePaintWhole(benchmark::State& state) { PaintTimeline(state, 1.0); }
void BM_TimelinePaintZoomed(benchmark::State& state) { PaintTimeline(state, 8.0); }

}  // namespace

BENCHMARK(BM_TimelinePaintWhole)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimelinePaintZoomed)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Strings().Load(Language::kEnglish);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    {
        LongProject project;
        project_ = &project;
        benchmark::RunSpecifiedBenchmarks();
        project_ = nullptr;
    }
    benchmark::Shutdown();
    return 0;
}
