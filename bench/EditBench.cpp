// An edit's latency in the studio: from the command to the rendering filter holding
// the new lists, through the frame the main window runs (hold the filter, edit, keep
// the undo step, hand the lists over, release). On the demo project and on a project
// of 200 scenes and 200 objects. Each iteration moves the selected scene one place
// and back, so the project stays the same size.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "filter/timeline/model/EffectOperation.h"
#include "studio/project/DataFolder.h"
#include "studio/project/ProjectFile.h"
#include "studio/project/ProjectLayouts.h"
#include "studio/shell/PreviewLink.h"
#include "studio/shell/StringTable.h"
#include "studio/shell/TimelineEditor.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

struct NoPrompt : IPrompt {
    int Show(const std::string&, const std::string&, PromptIcon, PromptButtons) override { return kAnswerOk; }
};

// The main window's side, served at once so that the time ends when the filter has
// the lists.
struct Window : ITimelineListener {
    PreviewLink* link = nullptr;
    ProjectModel* model = nullptr;
    std::chrono::steady_clock::time_point refreshed;
    void TimelineMessage(int message, int64_t, int64_t) override
    {
        if (message == kMsgAboutToEdit)
            link->Hold();
        else if (message == kMsgTimelineChanged) {
            link->Refresh(*model, 5.0);
            refreshed = std::chrono::steady_clock::now();
        }
    }
};

bool LoadDemo(ProjectModel& model)
{
    char pattern[] = "/tmp/zolvex-bench-edit-XXXXXX";
    if (!mkdtemp(pattern))
        return false;
    const std::string dir = pattern;
    const std::string make = std::string(ZOLVEX_DEMO) + " '" + dir + "' >/dev/null";
    bool ok = std::system(make.c_str()) == 0;
    if (ok) {
        ProjectStore store(model);
        ok = store.LoadProjectFile(dir + "/Data/Demo/Demo.mpf") == 1;
    }
    std::system(("rm -rf '" + dir + "'").c_str());
    return ok;
}

void MakeLarge(ProjectModel& model)
{
    for (int n = 0; n < 200; ++n) {
        MediaItem item{};
        std::snprintf(item.szPath, sizeof item.szPath, "/media/holiday/clip%03d.mpg", n);
        item.nKind = MEDIA_VIDEO;
        SceneRecord record{};
        std::memcpy(record.szPath, item.szPath, sizeof record.szPath);
        record.nMediaType = MEDIA_TYPE_VIDEO;
        record.nTransitionID = n % 29;
        model.AppendScene(item, MediaThumbnail(3000, uint8_t(n)), record, SceneSpan{0.0, 3.0 + n % 5}, 0);
    }
    const int32_t kinds[] = {OBJ_TEXT, OBJ_EFFECT, OBJ_MUSIC, OBJ_SCREEN3D};
    for (int n = 0; n < 200; ++n) {
        const int32_t kind = kinds[n % 4];
        void* record = ReadObjectRecord(kind, std::vector<unsigned char>(FindObjectKind(kind)->bytes).data());
        SetObjectTimes(kind, record, n * 3.0, n * 3.0 + 6.0);
        if (kind == OBJ_TEXT)
            std::snprintf(static_cast<TextOp*>(record)->szText, 1000, "Title %d", n);
        model.AppendObject(kind, record, 0);
    }
}

void Edit(benchmark::State& state, bool demo)
{
    Strings().Load(Language::kEnglish);
    ProjectModel model;
    if (demo ? !LoadDemo(model) : (MakeLarge(model), false)) {
        state.SkipWithError("the demo project could not be made");
        return;
    }
    PreviewLink link;
    std::string error;
    if (!link.Open(false, &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    Window window;
    window.link = &link;
    window.model = &model;
    NoPrompt prompt;
    TimelineEditor editor(model, prompt, window);
    editor.SetBusyStep(0);
    editor.History().StartAfresh();
    link.SetFrame(ProjectHeader{720, 576, 4, 3});
    link.Refresh(model, 5.0);
    editor.SelectScene(0);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const bool moved = editor.SelectedScene() == 0 ? editor.MoveRight() : editor.MoveLeft();
        if (!moved) {
            state.SkipWithError("the edit was refused");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(window.refreshed - start).count());
        editor.WaitUntilReady();
    }
    state.counters["scenes"] = model.SceneCount();
    state.counters["objects"] = model.ObjectCount();
    state.counters["undo_steps"] = double(editor.History().Size());
}

}  // namespace

BENCHMARK_CAPTURE(Edit, demo_project, true)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK_CAPTURE(Edit, scenes200_objects200, false)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);

BENCHMARK_MAIN();
