// Timeline editing: the frame every edit runs in, the undo history it keeps, every
// scene and object rule of the cut, the selection hand-over, adding objects and
// library entries, transitions, dragging, and a replay of random edits undone and
// redone state by state.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <mutex>
#include <random>

#include "studio/project/ProjectFile.h"
#include "studio/project/ProjectLayouts.h"
#include "studio/shell/StringTable.h"
#include "studio/shell/TimelineEditor.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ScriptedPrompt.h"

using namespace zolvex;
using namespace zolvex::studio;
using zolvex::testsupport::ScratchFolder;
using zolvex::testsupport::ScriptedPrompt;

namespace {

using Bytes = std::vector<unsigned char>;

struct Heard : ITimelineListener {
    std::mutex mutex;
    std::vector<int> messages;
    int buttons[6] = {-1, -1, -1, -1, -1, -1};
    void TimelineMessage(int message, int64_t first, int64_t second) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        messages.push_back(message);
        if (message == kMsgButtonState && first >= 0 && first < 6)
            buttons[first] = int(second);
    }
    std::vector<int> Take()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(messages, {});
    }
};

class TimelineEditorTest : public ::testing::Test {
protected:
    TimelineEditorTest() : editor(model, prompt, heard) { editor.SetBusyStep(0); }

    void AddScene(double length, int n = 0)
    {
        MediaItem item;
        std::memset(&item, 0, sizeof item);
        std::snprintf(item.szPath, sizeof item.szPath, "/media/clip%d.mpg", n);
        item.nKind = MEDIA_VIDEO;
        SceneRecord record{};
        std::memcpy(record.szPath, item.szPath, sizeof record.szPath);
        record.nMediaType = MEDIA_TYPE_VIDEO;
        ASSERT_TRUE(model.AppendScene(item, MediaThumbnail(4, uint8_t(n)), record, SceneSpan{0.0, length}, 0));
    }
    // An object of `kind` from s to e, added as a loaded project holds it.
    void Put(int32_t kind, double s, double e)
    {
        void* record = ReadObjectRecord(kind, std::vector<unsigned char>(FindObjectKind(kind)->bytes).data());
        SetObjectTimes(kind, record, s, e);
        ASSERT_TRUE(model.AppendObject(kind, record, 0));
    }
    std::pair<double, double> Times(int i)
    {
        double s = -1, e = -1;
        ObjectTimes(model.Kind(i), model.Object(i), &s, &e);
        return {s, e};
    }
    void Marks(double in, double out)
    {
        model.dMarkIn = in;
        model.dMarkOut = out;
        model.bMarkInSet = model.bMarkOutSet = true;
    }
    // Each command waits for its busy period, as a user would.
    template <typename F>
    bool Do(F f)
    {
        const bool done = f();
        editor.WaitUntilReady();
        return done;
    }
    Bytes State() { return ProjectStore::Serialise(model, 1.0f, 1.0f); }

    ProjectModel model;
    ScriptedPrompt prompt;
    Heard heard;
    TimelineEditor editor;
};

TEST_F(TimelineEditorTest, AnEditRunsInTheFrameAndACommandWhileBusyIsDropped)
{
    AddScene(4);
    AddScene(4, 1);
    editor.SelectScene(1);
    heard.Take();
    editor.SetBusyStep(60000);  // the busy period outlasts the test's next command
    ASSERT_TRUE(editor.MoveLeft());
    const std::vector<int> frame = heard.Take();
    ASSERT_GE(frame.size(), 3u);
    EXPECT_EQ(frame[0], kMsgBusy);
    EXPECT_EQ(frame[1], kMsgAboutToEdit);
    EXPECT_EQ(frame[2], kMsgTimelineChanged);
    EXPECT_TRUE(model.bModified);
    EXPECT_TRUE(editor.Busy());

    // Busy: every command is dropped without a word and without a step.
    const Bytes before = State();
    const size_t steps = editor.History().Size();
    EXPECT_FALSE(editor.MoveRight());
    EXPECT_FALSE(editor.DeleteSelected());
    EXPECT_FALSE(editor.Undo());
    EXPECT_FALSE(editor.AddObject(OBJ_TEXT, new TextOp()));
    EXPECT_TRUE(heard.Take().empty());
    EXPECT_EQ(State(), before);
    EXPECT_EQ(editor.History().Size(), steps);
}

TEST_F(TimelineEditorTest, TheBusyPeriodEndsWithReadyFromItsOwnThread)
{
    AddScene(4);
    AddScene(4, 1);
    editor.SelectScene(0);
    editor.SetBusyStep(5);
    ASSERT_TRUE(editor.MoveRight());
    editor.WaitUntilReady();
    EXPECT_FALSE(editor.Busy());
    const std::vector<int> heardNow = heard.Take();
    EXPECT_EQ(heardNow.back(), kMsgReady);
}

TEST_F(TimelineEditorTest, UndoAfterTheFirstEditOfANewProjectEmptiesTheTimeline)
{
    editor.NewProject();
    editor.WaitUntilReady();
    EXPECT_EQ(heard.buttons[kButtonUndo], 0);
    AddScene(4);
    Put(OBJ_TEXT, 0, 4);
    model.SetObjectMark(0, 1);
    ASSERT_TRUE(Do([&] { return editor.MoveUp() || editor.DeleteSelected(); }));  // the one text goes
    EXPECT_EQ(editor.History().Size(), 2u);
    EXPECT_EQ(editor.History().Index(), 1);
    EXPECT_EQ(heard.buttons[kButtonUndo], 1);
    EXPECT_EQ(heard.buttons[kButtonRedo], 0);

    ASSERT_TRUE(Do([&] { return editor.Undo(); }));
    EXPECT_EQ(model.SceneCount(), 0);
    EXPECT_EQ(model.ObjectCount(), 0);
    EXPECT_EQ(heard.buttons[kButtonUndo], 0);
    EXPECT_EQ(heard.buttons[kButtonRedo], 1);
    EXPECT_FALSE(Do([&] { return editor.Undo(); }));
    EXPECT_FALSE(editor.Busy());  // nothing done leaves nothing busy
}

TEST_F(TimelineEditorTest, AfterALoadUndoEmptiesAndRedoBringsTheProjectBack)
{
    AddScene(3);
    AddScene(5, 1);
    Put(OBJ_MUSIC, 0, 8);
    editor.History().StartAfresh();  // what a load leaves
    editor.ProjectLoaded();
    editor.WaitUntilReady();
    const Bytes loaded = State();
    ASSERT_TRUE(Do([&] { return editor.Undo(); }));
    EXPECT_EQ(model.SceneCount(), 0);
    EXPECT_EQ(model.TotalLength(), 0.0);
    ASSERT_TRUE(Do([&] { return editor.Redo(); }));
    EXPECT_EQ(State(), loaded);
    EXPECT_EQ(model.TotalLength(), 8.0);
    EXPECT_FALSE(Do([&] { return editor.Redo(); }));
}

TEST_F(TimelineEditorTest, ACutInsideOneSceneSplitsItAndShrinksATitleInsideTheRegionToTheMarkIn)
{
    AddScene(20);
    Put(OBJ_TEXT, 6, 9);
    editor.History().StartAfresh();
    Marks(5, 12);
    ASSERT_TRUE(Do([&] { return editor.CutMarkedRegion(); }));
    ASSERT_EQ(model.SceneCount(), 2);
    EXPECT_DOUBLE_EQ(model.Span(0).dIn, 0);
    EXPECT_DOUBLE_EQ(model.Span(0).dOut, 5);
    EXPECT_DOUBLE_EQ(model.Span(1).dIn, 12);
    EXPECT_DOUBLE_EQ(model.Span(1).dOut, 20);
    EXPECT_DOUBLE_EQ(model.TotalLength(), 13);
    EXPECT_EQ(model.SceneMark(1), 0);
    EXPECT_NE(&model.Record(0), &model.Record(1));  // the second part has a record of its own
    EXPECT_EQ(Times(0), std::make_pair(5.0, 5.0));
    EXPECT_FALSE(model.bMarkInSet || model.bMarkOutSet);
    // The split undoes to one scene; redo makes two again.
    ASSERT_TRUE(Do([&] { return editor.Undo(); }));
    EXPECT_EQ(model.SceneCount(), 1);
    ASSERT_TRUE(Do([&] { return editor.Redo(); }));
    EXPECT_EQ(model.SceneCount(), 2);
}

TEST_F(TimelineEditorTest, TheCutTreatsEveryScenePlaceByItsRule)
{
    // Scenes at [0,4] [4,8] [8,12] [12,16]; the region 2..10.
    for (int n = 0; n < 4; ++n)
        AddScene(4, n);
    Marks(2, 10);
    ASSERT_TRUE(Do([&] { return editor.CutMarkedRegion(); }));
    ASSERT_EQ(model.SceneCount(), 3);
    EXPECT_EQ(std::string(model.Item(0).szPath), "/media/clip0.mpg");  // ends inside: trimmed
    EXPECT_DOUBLE_EQ(model.Span(0).dOut, 2);
    EXPECT_EQ(std::string(model.Item(1).szPath), "/media/clip2.mpg");  // starts inside: later in
    EXPECT_DOUBLE_EQ(model.Span(1).dIn, 2);
    EXPECT_DOUBLE_EQ(model.Span(1).dOut, 4);
    EXPECT_EQ(std::string(model.Item(2).szPath), "/media/clip3.mpg");  // after: as it was
    EXPECT_DOUBLE_EQ(model.Span(2).dIn, 0);
    EXPECT_DOUBLE_EQ(model.TotalLength(), 8);
}

TEST_F(TimelineEditorTest, TheCutTreatsEveryObjectPlaceByItsRule)
{
    AddScene(30);
    const std::pair<double, double> before[] = {
        {5, 15},  // ends inside: cut at the mark-in
        {1, 25},  // spans the region: shorter by its length
        {12, 18}, // inside: nothing left, at the mark-in
        {15, 25}, // starts inside: from the mark-in, shorter
        {1, 8},   // ends before: unchanged
        {20, 25}, // starts at the mark-out: unchanged
        {10, 25}, // starts at the mark-in: unchanged
        {12, 20}, // starts inside, ends at the mark-out: unchanged
    };
    const std::pair<double, double> after[] = {{5, 10}, {1, 15}, {10, 10}, {10, 15},
                                               {1, 8},  {20, 25}, {10, 25}, {12, 20}};
    // Every kind that has times follows the same rules.
    const int32_t kinds[] = {OBJ_TEXT, OBJ_PICTURE, OBJ_SCREEN3D, OBJ_EFFECT, OBJ_MUSIC, OBJ_TEXT, OBJ_EFFECT, OBJ_MUSIC};
    for (int i = 0; i < 8; ++i)
        Put(kinds[i], before[i].first, before[i].second);
    Marks(10, 20);
    ASSERT_TRUE(Do([&] { return editor.CutMarkedRegion(); }));
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(Times(i), after[i]) << "object " << i;
}

TEST_F(TimelineEditorTest, ACutWithoutARegionDoesNothing)
{
    AddScene(10);
    Marks(6, 6);
    const Bytes before = State();
    EXPECT_FALSE(Do([&] { return editor.CutMarkedRegion(); }));
    Marks(7, 3);
    EXPECT_FALSE(Do([&] { return editor.CutMarkedRegion(); }));
    model.bMarkOutSet = false;
    Marks(1, 3);
    model.bMarkOutSet = false;
    EXPECT_FALSE(Do([&] { return editor.CutMarkedRegion(); }));
    EXPECT_EQ(State(), before);
    EXPECT_TRUE(heard.Take().empty());
    EXPECT_EQ(editor.History().Size(), 0u);
}

TEST_F(TimelineEditorTest, DeletingHandsTheSelectionOn)
{
    for (int n = 0; n < 3; ++n)
        AddScene(2, n);
    Put(OBJ_TEXT, 0, 1);
    Put(OBJ_MUSIC, 0, 1);
    editor.SelectScene(2);
    ASSERT_TRUE(Do([&] { return editor.DeleteSelected(); }));
    EXPECT_EQ(editor.SelectedScene(), 1);  // the one before
    editor.SelectScene(0);
    ASSERT_TRUE(Do([&] { return editor.DeleteSelected(); }));
    EXPECT_EQ(editor.SelectedScene(), 0);  // the one now first
    ASSERT_TRUE(Do([&] { return editor.DeleteSelected(); }));
    EXPECT_EQ(model.SceneCount(), 0);
    EXPECT_EQ(editor.SelectedObject(), 0);  // no scene left: the first object
    EXPECT_EQ(editor.TargetKind(), OBJ_TEXT);
    EXPECT_EQ(editor.TargetRecord(), model.Object(0));
    editor.SelectObject(1);
    ASSERT_TRUE(Do([&] { return editor.DeleteSelected(); }));
    EXPECT_EQ(editor.SelectedObject(), 0);
    ASSERT_TRUE(Do([&] { return editor.DeleteSelected(); }));
    EXPECT_EQ(model.ObjectCount(), 0);
    EXPECT_EQ(editor.TargetRecord(), nullptr);
    EXPECT_FALSE(Do([&] { return editor.DeleteSelected(); }));
    EXPECT_FALSE(editor.Busy());
}

TEST_F(TimelineEditorTest, MovesCarryEveryEntryAndTheButtonsFollowTheSelection)
{
    AddScene(1, 0);
    AddScene(2, 1);
    AddScene(3, 2);
    Put(OBJ_TEXT, 0, 1);
    Put(OBJ_MUSIC, 0, 2);
    editor.SelectScene(0);
    EXPECT_EQ(heard.buttons[kButtonMoveLeft], 0);
    EXPECT_EQ(heard.buttons[kButtonMoveRight], 1);
    EXPECT_FALSE(Do([&] { return editor.MoveLeft(); }));
    ASSERT_TRUE(Do([&] { return editor.MoveRight(); }));
    EXPECT_EQ(std::string(model.Item(1).szPath), "/media/clip0.mpg");
    EXPECT_DOUBLE_EQ(model.Span(1).dOut, 1);
    EXPECT_EQ(model.Lists().pScenes->GetAt(1), &model.Record(1));
    EXPECT_EQ(editor.SelectedScene(), 1);
    EXPECT_EQ(heard.buttons[kButtonMoveLeft], 1);
    EXPECT_EQ(heard.buttons[kButtonMoveUp], 0);

    editor.SelectObject(1);
    EXPECT_EQ(heard.buttons[kButtonMoveLeft], 0);
    EXPECT_EQ(heard.buttons[kButtonMoveUp], 1);
    EXPECT_EQ(heard.buttons[kButtonMoveDown], 0);
    ASSERT_TRUE(Do([&] { return editor.MoveUp(); }));
    EXPECT_EQ(model.Kind(0), OBJ_MUSIC);
    EXPECT_EQ(model.ObjectMark(0), 1);
    EXPECT_FALSE(Do([&] { return editor.MoveUp(); }));
}

TEST_F(TimelineEditorTest, AddingObjectsNeedsAScene_TakesTheMarksAndStopsAtFiveHundredMusics)
{
    TextOp* text = new TextOp();
    EXPECT_FALSE(editor.AddObject(OBJ_TEXT, text));  // freed, not leaked
    EXPECT_EQ(prompt.LastText(), Str(109));
    EXPECT_EQ(prompt.shown.back().icon, kPromptInformation);
    EXPECT_EQ(model.ObjectCount(), 0);
    EXPECT_EQ(editor.History().Size(), 0u);

    AddScene(10);
    Marks(2, 6);
    ASSERT_TRUE(Do([&] { return editor.AddObject(OBJ_PICTURE, new StickerOp()); }));
    const auto* sticker = static_cast<StickerOp*>(model.Object(0));
    EXPECT_EQ(Times(0), std::make_pair(2.0, 6.0));
    EXPECT_EQ(sticker->rcDest[0], 10);
    EXPECT_EQ(sticker->rcDest[1], 50);
    EXPECT_EQ(sticker->nOrder, 0);
    EXPECT_EQ(model.ObjectMark(0), 1);
    Marks(6, 2);  // no region: the whole project
    ASSERT_TRUE(Do([&] { return editor.AddObject(OBJ_TEXT, new TextOp()); }));
    EXPECT_EQ(Times(1), std::make_pair(0.0, 10.0));
    EXPECT_EQ(static_cast<TextOp*>(model.Object(1))->nOrder, 1);
    EXPECT_EQ(model.ObjectMark(0), 0);

    for (int n = 0; n < kMaxMusicObjects; ++n)
        Put(OBJ_MUSIC, 0, 1);
    const size_t steps = editor.History().Size();
    EXPECT_FALSE(Do([&] { return editor.AddObject(OBJ_MUSIC, new AudioOp()); }));
    EXPECT_EQ(model.ObjectCount(), 2 + kMaxMusicObjects);
    EXPECT_EQ(editor.History().Size(), steps);
}

TEST_F(TimelineEditorTest, AddToTimelineMakesScenesAndMusicInOneStep)
{
    ScratchFolder dir("editor-add");
    const std::string picture = dir.Path() + "photo.jpg", clip = dir.Path() + "clip.mpg",
                      song = dir.Path() + "song.mp3";
    for (const std::string& f : {picture, clip, song})
        std::ofstream(f) << "x";
    MediaLibrary library(dir.Path());
    auto add = [&](const std::string& path, int kind, double duration) {
        MediaItem item{};
        std::snprintf(item.szPath, sizeof item.szPath, "%s", path.c_str());
        std::snprintf(item.szName, sizeof item.szName, "%s", path.substr(path.rfind('/') + 1, path.size() - path.rfind('/') - 5).c_str());
        std::snprintf(item.szExt, sizeof item.szExt, "%s", path.substr(path.size() - 4).c_str());
        item.nKind = kind;
        item.dDuration = duration;
        library.Append(item, MediaThumbnail(3, 7));
    };
    add(song, MEDIA_AUDIO, 95);
    EXPECT_FALSE(Do([&] { return editor.AddToTimeline(library, {0}, 5); }));
    EXPECT_EQ(prompt.LastText(), Str(108));
    EXPECT_EQ(model.ObjectCount(), 0);

    add(picture, MEDIA_PICTURE, 0);
    add(clip, MEDIA_VIDEO, 12);
    add(dir.Path() + "gone.mpg", MEDIA_VIDEO, 9);  // no longer on disk
    ASSERT_TRUE(Do([&] { return editor.AddToTimeline(library, {1, 3, 2, 0}, 7); }));
    ASSERT_EQ(model.SceneCount(), 2);
    EXPECT_DOUBLE_EQ(model.Span(0).dOut, 7);  // the picture plays its play time
    EXPECT_DOUBLE_EQ(model.Item(0).dDuration, 7);
    EXPECT_DOUBLE_EQ(model.Span(1).dOut, 12);
    EXPECT_EQ(model.SceneMark(1), 0);  // the music added last is the selection
    ASSERT_EQ(model.ObjectCount(), 1);
    const auto* music = static_cast<AudioOp*>(model.Object(0));
    EXPECT_EQ(std::string(music->szName), "song.mp3");
    EXPECT_DOUBLE_EQ(music->dLength, 95);
    EXPECT_DOUBLE_EQ(music->dEndTime, 19);
    EXPECT_EQ(editor.History().Size(), 2u);  // the empty timeline and the one batch
}

TEST_F(TimelineEditorTest, TransitionsInSequenceChosenAndCleared)
{
    EXPECT_FALSE(editor.SetTransitions(kTransitionsInSequence));
    EXPECT_EQ(prompt.LastText(), Str(109));
    for (int n = 0; n < 30; ++n)
        AddScene(1, n);
    ASSERT_TRUE(Do([&] { return editor.SetTransitions(kTransitionsInSequence); }));
    for (int j = 0; j < 30; ++j)
        EXPECT_EQ(model.Record(j).nTransitionID, j < 27 ? j + 1 : j - 27) << j;
    EXPECT_TRUE(model.bModified);

    ASSERT_TRUE(Do([&] { return editor.SetTransitions(kTransitionsRandom, {}, 77); }));
    for (int j = 0; j < 30; ++j) {
        EXPECT_GE(model.Record(j).nTransitionID, 1);
        EXPECT_LE(model.Record(j).nTransitionID, 28);
    }
    editor.SelectScene(28);
    ASSERT_TRUE(Do([&] { return editor.SetTransitions(kTransitionsChosen, {5, 6, 7}); }));
    EXPECT_EQ(model.Record(28).nTransitionID, 5);
    EXPECT_EQ(model.Record(29).nTransitionID, 6);  // the list stops at the last scene
    ASSERT_TRUE(Do([&] { return editor.SetTransitions(kTransitionsNone); }));
    EXPECT_EQ(model.Record(28).nTransitionID, 0);
    EXPECT_EQ(model.Record(29).nTransitionID, 6);
}

TEST_F(TimelineEditorTest, MarksFollowTheMouseWithinTheProject)
{
    AddScene(10);
    // 1110 pixels wide: 1000 of time axis, 100 pixels a second.
    editor.BeginMark(TimelineEditor::MarkMode::kIn);
    EXPECT_TRUE(model.bMarkInSet);
    editor.MarkMouseMove(360, 1110);
    EXPECT_DOUBLE_EQ(model.dMarkIn, 2.5);
    editor.MarkMouseMove(40, 1110);  // in the label column: the left edge
    EXPECT_DOUBLE_EQ(model.dMarkIn, 0);
    editor.EndMark();
    editor.BeginMark(TimelineEditor::MarkMode::kOut);
    editor.scroll = 200;
    editor.MarkMouseMove(5000, 1110);  // past the right edge: the time there, at most the end
    EXPECT_DOUBLE_EQ(model.dMarkOut, 10);
    editor.MarkMouseMove(110, 1110);
    EXPECT_DOUBLE_EQ(model.dMarkOut, 2);
    EXPECT_EQ(editor.TimeToX(2, 1110), 110);
}

TEST_F(TimelineEditorTest, ADragKeepsAStepOnlyWhenATimeChanged)
{
    AddScene(10);
    Put(OBJ_TEXT, 2, 4);
    editor.History().StartAfresh();
    ASSERT_TRUE(editor.BeginDrag(0, TimelineEditor::kDragEnd, 500));
    editor.DragTo(700, 1110);
    EXPECT_EQ(Times(0), std::make_pair(2.0, 6.0));
    EXPECT_TRUE(editor.EndDrag());
    EXPECT_EQ(editor.History().Size(), 3u);
    ASSERT_TRUE(editor.BeginDrag(0, TimelineEditor::kDragBody, 500));
    editor.DragTo(-5000, 1110);  // stops at the start of the project, length kept
    EXPECT_EQ(Times(0), std::make_pair(0.0, 4.0));
    editor.DragTo(500, 1110);
    EXPECT_FALSE(editor.EndDrag());  // back where it began
    EXPECT_EQ(editor.History().Size(), 3u);
    ASSERT_TRUE(editor.BeginDrag(0, TimelineEditor::kDragStart, 300));
    editor.DragTo(2000, 1110);  // never past its own end
    EXPECT_EQ(Times(0), std::make_pair(6.0, 6.0));
}

// A few hundred random edits; after each the state is kept; undo walks back through
// every kept state and redo forward again. Refused and dropped commands leave both the
// state and the history alone.
TEST_F(TimelineEditorTest, ReplayOfRandomEditsUndoesAndRedoesStateByState)
{
    std::mt19937 random(20261209);
    std::vector<Bytes> states;
    editor.NewProject();
    editor.WaitUntilReady();
    states.push_back(State());
    for (int n = 0; n < 4; ++n)
        AddScene(3 + n, n);
    ASSERT_TRUE(Do([&] { return editor.SetTransitions(kTransitionsInSequence); }));  // keeps no step
    // Scenes were put in behind the editor's back; the first step holds them.
    editor.History().Push();
    states.push_back(State());

    int refused = 0;
    for (int step = 0; step < 300; ++step) {
        const Bytes before = State();
        const size_t size = editor.History().Size();
        const int op = int(random() % 9);
        const int pick = int(random() % 8);
        if (pick < model.SceneCount() && op < 3)
            editor.SelectScene(pick);
        else if (pick < model.ObjectCount())
            editor.SelectObject(pick);
        bool done = false;
        switch (op) {
        case 0: done = Do([&] { return editor.MoveLeft(); }); break;
        case 1: done = Do([&] { return editor.MoveRight(); }); break;
        case 2: done = model.SceneCount() > 2 && Do([&] { return editor.DeleteSelected(); }); break;
        case 3: done = Do([&] { return editor.MoveUp(); }); break;
        case 4: done = Do([&] { return editor.MoveDown(); }); break;
        case 5: {
            const double total = model.TotalLength();
            Marks(total * (random() % 100) / 100.0, total * (random() % 100) / 100.0);
            done = Do([&] { return editor.CutMarkedRegion(); });
            break;
        }
        case 6: {
            const int32_t kinds[] = {OBJ_TEXT, OBJ_SCREEN3D, OBJ_EFFECT, OBJ_MUSIC};
            const int32_t kind = kinds[random() % 4];
            done = Do([&] {
                return editor.AddObject(kind, ReadObjectRecord(kind, Bytes(FindObjectKind(kind)->bytes).data()));
            });
            break;
        }
        case 7:
            if (model.ObjectCount() > 0 && editor.BeginDrag(pick % model.ObjectCount(), int(random() % 3), 400)) {
                editor.DragTo(400 + int(random() % 200) - 100, 1110);
                done = editor.EndDrag();
            }
            break;
        default:
            if (model.SceneCount() < 3) {
                AddScene(2, step);  // too few scenes to go on: a fresh one, kept as a step
                editor.History().Push();
                done = true;
            }
            break;
        }
        if (done) {
            states.push_back(State());
        } else {
            ++refused;
            EXPECT_EQ(State(), before) << "step " << step;
            EXPECT_EQ(editor.History().Size(), size) << "step " << step;
        }
    }
    ASSERT_EQ(editor.History().Size(), states.size());
    EXPECT_GT(refused, 0);
    EXPECT_GT(states.size(), 150u);

    for (size_t i = states.size() - 1; i > 0; --i) {
        ASSERT_TRUE(Do([&] { return editor.Undo(); })) << i;
        ASSERT_EQ(State(), states[i - 1]) << "undo to " << i - 1;
    }
    EXPECT_FALSE(Do([&] { return editor.Undo(); }));
    for (size_t i = 1; i < states.size(); ++i) {
        ASSERT_TRUE(Do([&] { return editor.Redo(); })) << i;
        ASSERT_EQ(State(), states[i]) << "redo to " << i;
    }
    EXPECT_FALSE(Do([&] { return editor.Redo(); }));
}

}  // namespace
