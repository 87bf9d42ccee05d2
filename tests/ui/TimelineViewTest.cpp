// The timeline widget: the ruler's ticks and labels, dragging an object's edges and
// body with the mouse (and the undo steps that leaves), selecting by a click, the
// mark modes, the playhead, the rows scrolled, and the tool row of the panel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>

#include "studio/shell/StringTable.h"
#include "studio/shell/ui/TimelinePanel.h"
#include "studio/shell/ui/TimelineView.h"
#include "tests/support/SampleTimeline.h"
#include "tests/support/ScriptedPrompt.h"

using namespace zolvex;
using namespace zolvex::studio;
using zolvex::testsupport::AddSampleObject;
using zolvex::testsupport::AddSampleScene;
using zolvex::testsupport::SampleThumbnail;
using zolvex::testsupport::ScriptedPrompt;

namespace {

using Heard = testsupport::CountingListener;

// Two scenes of 5.5 s on a view 1,210 pixels wide: 100 pixels a second from x = 110.
class TimelineViewTest : public ::testing::Test {
protected:
    TimelineViewTest() : editor(model, prompt, heard), view(editor)
    {
        Strings().Load(Language::kEnglish);
        editor.SetBusyStep(0);
        AddSampleScene(model, "beach", 5.5, SampleThumbnail(0));
        AddSampleScene(model, "forest", 5.5, SampleThumbnail(1));
        AddSampleObject(model, OBJ_TEXT, 1.0, 4.0, "Hello");
        AddSampleObject(model, OBJ_MUSIC, 2.0, 9.0, "song.mp3");
        AddSampleObject(model, OBJ_EFFECT, 0.0, 11.0);
        // The project as loaded: the history holds its two entries.
        editor.History().Push();
        view.resize(1210, 200);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    }

    static int X(double t) { return 110 + int(t * 100); }
    static int RowY(int row) { return TimelineView::kRowsTop + row * TimelineView::kRowHeight + TimelineView::kRowHeight / 2; }
    std::pair<double, double> Times(int i)
    {
        double s = -1, e = -1;
        ObjectTimes(model.Kind(i), model.Object(i), &s, &e);
        return {s, e};
    }
    void Drag(QPoint from, QPoint to)
    {
        QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(&view, (from + to) / 2);
        QTest::mouseMove(&view, to);
        QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, to);
    }

    ProjectModel model;
    ScriptedPrompt prompt;
    Heard heard;
    TimelineEditor editor;
    TimelineView view;
};

}  // namespace

TEST(RulerTicks, TicksAndLabelsOnAKnownAxis)
{
    // 11 s over 1,100 pixels: a tick each 0.1 s (10 px), a label each second.
    const std::vector<RulerTick> ticks = RulerTicks(1210, 11.0, 25, 0);
    ASSERT_EQ(ticks.size(), 110u);  // the tick at 11 s would stand at the right edge
    EXPECT_EQ(ticks[0].x, 110);
    EXPECT_EQ(ticks[0].height, 8);
    EXPECT_EQ(ticks[0].label, "");  // none at the first tick
    EXPECT_EQ(ticks[1].x, 120);
    EXPECT_EQ(ticks[1].height, 4);
    EXPECT_EQ(ticks[5].height, 6);
    EXPECT_EQ(ticks[5].label, "");
    EXPECT_EQ(ticks[10].height, 8);
    EXPECT_EQ(ticks[10].label, "0:00:01.0");
    EXPECT_EQ(ticks[100].label, "0:00:10.0");
    int labelled = 0;
    for (const RulerTick& t : ticks)
        labelled += !t.label.empty();
    EXPECT_EQ(labelled, 10);

    // Scrolled by 25 pixels, the first tick in view is the fourth, at x = 115.
    const std::vector<RulerTick> scrolled = RulerTicks(1210, 11.0, 25, 25);
    ASSERT_FALSE(scrolled.empty());
    EXPECT_EQ(scrolled[0].x, 115);
    EXPECT_EQ(scrolled[7].label, "0:00:01.0");
    EXPECT_EQ(scrolled[7].x, 185);
}

TEST(RulerTicks, StepFollowsTheZoomAndTheLength)
{
    // Zoomed in four times the ticks are single frames, labelled every ten frames.
    const std::vector<RulerTick> frames = RulerTicks(1210, 11.0, 25, 0, 4.0);
    ASSERT_GT(frames.size(), 20u);
    EXPECT_EQ(frames[1].x - frames[0].x, 16);
    EXPECT_EQ(frames[10].label, "0:00:00.10");
    EXPECT_EQ(frames[20].label, "0:00:00.20");
    // At 30 frames a second the frame within the second counts to 29.
    EXPECT_EQ(RulerTicks(1210, 11.0, 30, 0, 4.0)[10].label, "0:00:00.10");

    // Two hours in 1,100 pixels: a tick a minute, a label each ten minutes.
    const std::vector<RulerTick> hours = RulerTicks(1210, 7200.0, 25, 0);
    ASSERT_GE(hours.size(), 100u);
    EXPECT_EQ(hours[10].label, "0:10:00.0");
    EXPECT_EQ(hours[60].label, "1:00:00.0");
    for (size_t k = 1; k < hours.size(); ++k)
        EXPECT_GE(hours[k].x - hours[k - 1].x, 8);

    // Nothing to show: no length, no room, no sense.
    EXPECT_TRUE(RulerTicks(1210, 0.0, 25, 0).empty());
    EXPECT_TRUE(RulerTicks(110, 10.0, 25, 0).empty());
    EXPECT_TRUE(RulerTicks(1210, std::nan(""), 25, 0).empty());
    EXPECT_TRUE(RulerTicks(1210, -3.0, 25, 0).empty());
}

TEST(RulerTicks, Labels)
{
    EXPECT_EQ(RulerLabel(0.0, 25), "0:00:00.0");
    EXPECT_EQ(RulerLabel(1.96, 25), "0:00:01.24");
    EXPECT_EQ(RulerLabel(3723.48, 25), "1:02:03.12");
    EXPECT_EQ(RulerLabel(59.5, 30), "0:00:59.15");
    EXPECT_EQ(RulerLabel(-2.0, 25), "0:00:00.0");
}

TEST_F(TimelineViewTest, TicksStandWhereTheAxisPutsTheirTimes)
{
    editor.zoom = 3.0;
    editor.scroll = 420;
    const int W = view.width();
    for (const RulerTick& tick : RulerTicks(W, model.TotalLength(), 25, editor.scroll, 3.0)) {
        if (tick.label.empty())
            continue;
        int h = 0, m = 0, s = 0, f = 0;
        ASSERT_EQ(std::sscanf(tick.label.c_str(), "%d:%d:%d.%d", &h, &m, &s, &f), 4);
        EXPECT_EQ(editor.TimeToX(h * 3600 + m * 60 + s + f / 25.0, W), tick.x) << tick.label;
    }
}

TEST_F(TimelineViewTest, DraggingTheRightEdgeMovesTheEndAndKeepsOneStep)
{
    const size_t size = editor.History().Size();
    const int index = editor.History().Index();
    // The text ends at 4 s, x = 510: its edge zone is the two pixels left of it.
    QTest::mouseMove(&view, QPoint(X(4.0) - 1, RowY(0)));
    EXPECT_EQ(view.cursor().shape(), Qt::SizeHorCursor);
    Drag(QPoint(X(4.0) - 1, RowY(0)), QPoint(X(4.0) - 1 + 150, RowY(0)));
    EXPECT_DOUBLE_EQ(Times(0).first, 1.0);
    EXPECT_DOUBLE_EQ(Times(0).second, 5.5);
    EXPECT_EQ(editor.History().Size(), size + 1);
    EXPECT_EQ(editor.History().Index(), index + 1);
    EXPECT_TRUE(model.bModified);
    EXPECT_EQ(editor.SelectedObject(), 0);
    EXPECT_EQ(heard.Count(kMsgTimelineChanged), 1);

    // Undo brings the old end back.
    editor.Undo();
    editor.WaitUntilReady();
    EXPECT_DOUBLE_EQ(Times(0).second, 4.0);
}

TEST_F(TimelineViewTest, DraggingTheLeftEdgeOrTheBody)
{
    // The music starts at 2 s (x = 310): its first two pixels drag the start.
    Drag(QPoint(X(2.0) + 1, RowY(1)), QPoint(X(2.0) + 1 - 100, RowY(1)));
    EXPECT_DOUBLE_EQ(Times(1).first, 1.0);
    EXPECT_DOUBLE_EQ(Times(1).second, 9.0);
    // Its middle moves it whole.
    Drag(QPoint(X(5.0), RowY(1)), QPoint(X(5.0) + 100, RowY(1)));
    EXPECT_DOUBLE_EQ(Times(1).first, 2.0);
    EXPECT_DOUBLE_EQ(Times(1).second, 10.0);
    EXPECT_EQ(editor.History().Size(), 4u);
    EXPECT_EQ(view.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(TimelineViewTest, ADragThatEndsWhereItBeganKeepsNoStep)
{
    const size_t size = editor.History().Size();
    const uint64_t changes = model.nChanges;
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, QPoint(X(2.5), RowY(0)));
    QTest::mouseMove(&view, QPoint(X(2.5) + 80, RowY(0)));
    QTest::mouseMove(&view, QPoint(X(2.5), RowY(0)));
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, QPoint(X(2.5), RowY(0)));
    // And a press and release on an edge without a move.
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(X(9.0) - 1, RowY(1)));
    EXPECT_DOUBLE_EQ(Times(0).first, 1.0);
    EXPECT_DOUBLE_EQ(Times(0).second, 4.0);
    EXPECT_DOUBLE_EQ(Times(1).second, 9.0);
    EXPECT_EQ(editor.History().Size(), size);
    EXPECT_EQ(model.nChanges, changes);
    EXPECT_EQ(heard.Count(kMsgTimelineChanged), 0);
}

TEST_F(TimelineViewTest, AClickSelectsWhatIsUnderIt)
{
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(X(7.0), TimelineView::kSceneTop + 20));
    EXPECT_EQ(editor.SelectedScene(), 1);
    EXPECT_EQ(model.SceneMark(0), 0);
    EXPECT_EQ(heard.Count(kMsgSceneSelected), 1);
    EXPECT_EQ(view.SceneRect(1).left(), X(5.5));

    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(X(3.0), RowY(2)));
    EXPECT_EQ(editor.SelectedScene(), -1);
    EXPECT_EQ(editor.SelectedObject(), 2);
    EXPECT_EQ(editor.TargetKind(), OBJ_EFFECT);

    // Beside a bar, below the rows and in the label column nothing changes.
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(X(0.5), RowY(0)));
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(X(3.0), RowY(3) + 2));
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(50, TimelineView::kSceneTop + 20));
    EXPECT_EQ(editor.SelectedObject(), 2);
    EXPECT_EQ(editor.History().Size(), 2u);
}

TEST_F(TimelineViewTest, MarkModesPlaceTheMarks)
{
    editor.BeginMark(TimelineEditor::MarkMode::kIn);
    view.Refresh();
    EXPECT_EQ(view.cursor().shape(), Qt::BitmapCursor);
    QTest::mouseMove(&view, QPoint(X(3.0), 40));
    EXPECT_DOUBLE_EQ(model.dMarkIn, 3.0);
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, QPoint(X(3.0), 40));
    QTest::mouseMove(&view, QPoint(X(2.0), 120));
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, QPoint(X(2.0), 120));
    EXPECT_EQ(editor.Marking(), TimelineEditor::MarkMode::kNone);
    EXPECT_TRUE(model.bMarkInSet);
    EXPECT_DOUBLE_EQ(model.dMarkIn, 2.0);
    EXPECT_NE(view.cursor().shape(), Qt::BitmapCursor);
    // The mode is over: moving on neither moves the mark nor selects anything.
    QTest::mouseMove(&view, QPoint(X(6.0), 40));
    EXPECT_DOUBLE_EQ(model.dMarkIn, 2.0);

    editor.BeginMark(TimelineEditor::MarkMode::kOut);
    view.Refresh();
    QTest::mouseMove(&view, QPoint(X(8.0), RowY(0)));
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(X(8.0), RowY(0)));
    EXPECT_TRUE(model.bMarkOutSet);
    EXPECT_DOUBLE_EQ(model.dMarkOut, 8.0);
    // The click placed the mark; it neither selected the text nor dragged it.
    EXPECT_EQ(editor.SelectedObject(), -1);
    EXPECT_DOUBLE_EQ(Times(0).second, 4.0);
    EXPECT_EQ(editor.History().Size(), 2u);
}

TEST_F(TimelineViewTest, ThePlayheadFollowsTheMouse)
{
    QSignalSpy released(&view, &TimelineView::playheadReleased);
    QSignalSpy moved(&view, &TimelineView::playheadMoved);
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, QPoint(X(5.0), 10));  // on the ruler
    EXPECT_TRUE(editor.playheadDrag);
    EXPECT_DOUBLE_EQ(editor.playhead, 5.0);
    QTest::mouseMove(&view, QPoint(X(6.5), 150));
    EXPECT_DOUBLE_EQ(editor.playhead, 6.5);
    QTest::mouseMove(&view, QPoint(2000, 150));  // past the end: the end
    EXPECT_DOUBLE_EQ(editor.playhead, 11.0);
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, QPoint(X(6.0), 150));
    EXPECT_FALSE(editor.playheadDrag);
    EXPECT_EQ(released.count(), 1);
    ASSERT_EQ(moved.count(), 4);
    EXPECT_DOUBLE_EQ(moved[1][0].toDouble(), 6.5);

    // The line itself, over the effect's bar, takes the press before the bar does.
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, QPoint(editor.TimeToX(editor.playhead, view.width()), RowY(2)));
    EXPECT_TRUE(editor.playheadDrag);
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, QPoint(X(1.0), RowY(2)));
    EXPECT_DOUBLE_EQ(editor.playhead, 1.0);
    EXPECT_EQ(released.count(), 2);
    EXPECT_EQ(editor.SelectedObject(), -1);
}

TEST_F(TimelineViewTest, ManyRowsScroll)
{
    for (int i = 0; i < 30; ++i)
        AddSampleObject(model, OBJ_TEXT, 0.5 * i / 3, 6.0, "row " + std::to_string(i + 3));
    view.Refresh();
    const int rows = view.height() - TimelineView::kRowsTop;
    EXPECT_EQ(view.RowRange(), 33 * TimelineView::kRowHeight - rows);
    view.SetRowOffset(10 * TimelineView::kRowHeight);
    // The top row now shows object 10.
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(X(5.0), RowY(0)));
    EXPECT_EQ(editor.SelectedObject(), 10);
    EXPECT_EQ(view.ObjectRect(10).top(), TimelineView::kRowsTop + 2);
    view.SetRowOffset(1 << 20);
    EXPECT_EQ(view.RowOffset(), view.RowRange());
    view.SetRowOffset(-5);
    EXPECT_EQ(view.RowOffset(), 0);
    // An object selected below the rows shown (as an added one is) comes into view.
    editor.SelectObject(32);
    view.Refresh();
    EXPECT_EQ(view.RowOffset(), view.RowRange());
    EXPECT_TRUE(view.rect().contains(view.ObjectRect(32)));
}

TEST_F(TimelineViewTest, CtrlWheelZoomsAroundThePointer)
{
    const double under = editor.XToTime(X(8.0), view.width());
    QWheelEvent in(QPointF(X(8.0), 100), view.mapToGlobal(QPointF(X(8.0), 100)), QPoint(), QPoint(0, 240),
                   Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &in);
    EXPECT_GT(editor.zoom, 1.5);
    EXPECT_GT(editor.scroll, 0);
    EXPECT_NEAR(editor.XToTime(X(8.0), view.width()), under, 0.02);
    // Back out past the whole project: the zoom stops at 1, unscrolled.
    QWheelEvent out(QPointF(X(8.0), 100), view.mapToGlobal(QPointF(X(8.0), 100)), QPoint(), QPoint(0, -2400),
                    Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &out);
    EXPECT_DOUBLE_EQ(editor.zoom, 1.0);
    EXPECT_EQ(editor.scroll, 0);
}

TEST_F(TimelineViewTest, DamagedAndMissingThumbnailsStillPaint)
{
    AddSampleScene(model, "broken", 2.0, MediaThumbnail{0xFF, 0xD8, 0xFF, 0x00, 0x13});
    AddSampleScene(model, "none", 2.0, MediaThumbnail{});
    const QImage shot = view.grab().toImage();
    EXPECT_FALSE(shot.isNull());
    // Busy, the whole timeline is dimmed under its notice.
    model.bBusy = true;
    const QImage busy = view.grab().toImage();
    model.bBusy = false;
    EXPECT_LT(qGray(busy.pixel(60, 150)), qGray(shot.pixel(60, 150)));
}

// ---- the panel ----------------------------------------------------------------------

TEST_F(TimelineViewTest, PanelButtonsAskForTheirCommands)
{
    TimelinePanel panel(editor);
    QSignalSpy asked(&panel, &TimelinePanel::commandRequested);
    const int ids[10] = {10140, 10141, 10143, 10142, 10144, 10145, 10146, 10147, 10148, 10149};
    const int texts[10] = {44, 45, 46, 47, 48, 49, 50, 51, 52, 53};
    for (int k = 0; k < 10; ++k) {
        QToolButton* b = panel.Button(ids[k]);
        ASSERT_NE(b, nullptr) << ids[k];
        EXPECT_EQ(b->toolTip().toStdString(), Str(texts[k]));
        EXPECT_EQ(b->accessibleName().toStdString(), Str(texts[k]));
        b->setEnabled(true);
        b->click();
    }
    ASSERT_EQ(asked.count(), 10);
    for (int k = 0; k < 10; ++k)
        EXPECT_EQ(asked[k][0].toInt(), ids[k]);

    // The buttons of message 1154, by their numbers.
    const int buttons[6][2] = {{kButtonUndo, 10144},   {kButtonRedo, 10145},     {kButtonMoveUp, 10148},
                               {kButtonMoveDown, 10149}, {kButtonMoveLeft, 10146}, {kButtonMoveRight, 10147}};
    for (const auto& [button, id] : buttons) {
        panel.SetButtonEnabled(button, false);
        EXPECT_FALSE(panel.Button(id)->isEnabled());
        panel.SetButtonEnabled(button, true);
        EXPECT_TRUE(panel.Button(id)->isEnabled());
    }
    panel.SetButtonEnabled(9, false);  // no such button: nothing happens

    Strings().Load(Language::kChinese);
    panel.Retranslate();
    EXPECT_EQ(panel.Button(10144)->toolTip().toStdString(), Str(48));
    Strings().Load(Language::kEnglish);
}

TEST_F(TimelineViewTest, PanelScrollBarFollowsTheZoom)
{
    TimelinePanel panel(editor);
    panel.resize(1230, 240);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    auto* across = panel.findChild<QScrollBar*>("TimelineScroll");
    ASSERT_NE(across, nullptr);
    EXPECT_EQ(across->maximum(), 0);
    editor.zoom = 3.0;
    panel.Refresh();
    const int W = panel.View()->width();
    EXPECT_EQ(across->maximum(), editor.AxisPixels(W) - (W - kLabelColumn));
    across->setValue(300);
    EXPECT_EQ(editor.scroll, 300);
    EXPECT_EQ(panel.View()->SceneRect(0).left(), kLabelColumn - 300);
}

// A look at the panel with eight scenes and a few objects, written where
// ZOLVEX_SCREENSHOTS points.
TEST_F(TimelineViewTest, PanelPicture)
{
    model.Clear();
    const char* names[8] = {"beach", "harbour", "market", "garden", "station", "bridge", "sunset", "home"};
    for (int i = 0; i < 8; ++i)
        AddSampleScene(model, names[i], 3.0 + (i * 7) % 5, SampleThumbnail(i));
    AddSampleObject(model, OBJ_TEXT, 0.5, 6.0, "Our summer holiday");
    AddSampleObject(model, OBJ_PICTURE, 4.0, 12.0, "balloons.gif");
    AddSampleObject(model, OBJ_EFFECT, 10.0, 18.0);
    AddSampleObject(model, OBJ_SCREEN3D, 20.0, 26.0);
    AddSampleObject(model, OBJ_MUSIC, 0.0, 30.0, "holiday-theme.mp3", 1);
    model.RecomputeLength();
    model.dMarkIn = 14.0;
    model.dMarkOut = 19.5;
    model.bMarkInSet = model.bMarkOutSet = true;
    editor.playhead = 8.4;
    TimelinePanel panel(editor);
    panel.SetButtonEnabled(kButtonUndo, true);
    panel.resize(1200, 250);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    panel.Refresh();
    const QImage shot = panel.grab().toImage();
    ASSERT_FALSE(shot.isNull());
    // And with a scene chosen instead, zoomed in and scrolled.
    editor.SelectScene(2);
    editor.zoom = 2.5;
    editor.scroll = 700;
    panel.Refresh();
    const QImage scene = panel.grab().toImage();
    if (const char* folder = std::getenv("ZOLVEX_SCREENSHOTS")) {
        EXPECT_TRUE(shot.save(QString::fromLocal8Bit(folder) + "/timeline-panel.png"));
        EXPECT_TRUE(scene.save(QString::fromLocal8Bit(folder) + "/timeline-panel-zoomed.png"));
    }
}
