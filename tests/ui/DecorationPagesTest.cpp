// The Transition and Static Effect pages over a timeline of three scenes: the
// thumbnails stand upright (the engine's frames are bottom-up), the hover loop, the
// transition buttons giving the scenes what the timeline's rules say, a static effect
// added over the marks, and the level and outline edits of the selected effect with
// their undo steps.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "filter/effects/fTavEffect.h"
#include "filter/transitions/fTavTransition.h"
#include "studio/shell/StringTable.h"
#include "studio/shell/TimelineEditor.h"
#include "studio/shell/ui/ProgramPictures.h"
#include "studio/shell/ui/StaticEffectPage.h"
#include "studio/shell/ui/TransitionPage.h"
#include "tests/support/SampleTimeline.h"
#include "tests/support/ScriptedPrompt.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

using Heard = testsupport::CountingListener;

void Grab(QWidget& page, const char* name)
{
    const std::string out = std::string(ZOLVEX_SOURCE_DIR) + "/out";
    mkdir(out.c_str(), 0755);
    ASSERT_TRUE(page.grab().save(QString::fromStdString(out + "/" + name)));
}

QImage Rgb(const QImage& image) { return image.convertToFormat(QImage::Format_RGB32); }

QImage IconImage(QListWidgetItem* item, QSize size) { return Rgb(item->icon().pixmap(size).toImage()); }

QPoint ItemCentre(QListWidget* list, int row) { return list->visualItemRect(list->item(row)).center(); }

// As a person double-clicks: a click, then the second press that the view sees as
// the double-click on the item it pressed.
void DoubleClick(QListWidget* list, int row)
{
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, ItemCentre(list, row));
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, ItemCentre(list, row));
}

class DecorationPagesTest : public ::testing::Test {
protected:
    DecorationPagesTest() : editor(model, prompt, heard)
    {
        Strings().Load(Language::kEnglish);
        editor.SetBusyStep(0);
        model.header = ProjectHeader{720, 576, 4, 3};
        for (int n = 0; n < 3; ++n)
            AddScene(n, 4.0);
        model.RecomputeLength();
    }
    ~DecorationPagesTest() override { editor.WaitUntilReady(); }

    void AddScene(int n, double length)
    {
        MediaItem item;
        std::memset(&item, 0, sizeof item);
        std::snprintf(item.szPath, sizeof item.szPath, "/media/clip%d.mpg", n);
        item.nKind = MEDIA_VIDEO;
        SceneRecord record{};
        std::memcpy(record.szPath, item.szPath, sizeof record.szPath);
        record.nMediaType = MEDIA_TYPE_VIDEO;
        ASSERT_TRUE(model.AppendScene(item, MediaThumbnail(), record, SceneSpan{0.0, length}, 0));
    }

    std::vector<int> Transitions()
    {
        std::vector<int> ids;
        for (int i = 0; i < model.SceneCount(); ++i)
            ids.push_back(model.Record(i).nTransitionID);
        return ids;
    }

    void Choose(QListWidget* list, std::initializer_list<int> rows)
    {
        list->clearSelection();
        for (int row : rows)
            list->item(row)->setSelected(true);
    }

    tagOPR_EFFECT* Effect(int i) { return static_cast<tagOPR_EFFECT*>(model.Object(i)); }

    int Points(const tagOPR_EFFECT* op) { return op->pValidPolygon ? op->pValidPolygon->GetSize() : 0; }

    ProjectModel model;
    testsupport::ScriptedPrompt prompt;
    Heard heard;
    TimelineEditor editor;
};

}  // namespace

// ---- the Transition page ---------------------------------------------------------------

TEST_F(DecorationPagesTest, TransitionThumbnailsAreTheEngineDrawingTheTwoPicturesUpright)
{
    TransitionPage page(editor);
    QListWidget* list = page.Items();
    ASSERT_EQ(list->count(), 28);
    for (int row = 0; row < list->count(); ++row)
        EXPECT_EQ(list->item(row)->text(), QString::fromUtf8(GetTransitionName(row + 1))) << row;
    EXPECT_EQ(list->item(0)->text(), "Fade");
    EXPECT_EQ(list->item(27)->text(), "Clock");

    const QSize size(TransitionPage::kThumbWidth, TransitionPage::kThumbHeight);
    const QImage sunset = Rgb(PaintProgramPicture(ProgramPicture::kSunset, size));
    const QImage field = Rgb(PaintProgramPicture(ProgramPicture::kField, size));
    ASSERT_NE(sunset, field);
    EXPECT_EQ(Rgb(TransitionPage::Thumbnail(1, 0.0)), sunset);
    EXPECT_EQ(Rgb(TransitionPage::Thumbnail(1, 1.0)), field);
    // The still thumbnail is the midpoint.
    EXPECT_EQ(IconImage(list->item(21), size), Rgb(TransitionPage::Thumbnail(22, 0.5)));

    // "Side Top To Bottom" halfway: the field has come down from the top, the sunset
    // has been pushed down; a picture upside down would show them the other way up.
    const QImage half = Rgb(TransitionPage::Thumbnail(22, 0.5));
    const int k = size.height() / 2;
    for (int x = 0; x < size.width(); x += 9) {
        EXPECT_EQ(half.pixel(x, 0), field.pixel(x, k)) << x;
        EXPECT_EQ(half.pixel(x, size.height() - 1), sunset.pixel(x, k - 1)) << x;
    }
}

TEST_F(DecorationPagesTest, TheThumbnailUnderThePointerPlaysInALoopAndStopsWhenItLeaves)
{
    TransitionPage page(editor);
    page.resize(760, 420);
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    QListWidget* list = page.Items();
    const QSize size(TransitionPage::kThumbWidth, TransitionPage::kThumbHeight);
    const QImage still = IconImage(list->item(3), size);

    QTest::mouseMove(list->viewport(), ItemCentre(list, 3));
    QCoreApplication::processEvents();
    ASSERT_EQ(page.Playing(), 4) << "the pointer rests on Erase From Left";
    // The first frame is shown at once; each step shows the next one.
    EXPECT_EQ(IconImage(list->item(3), size), Rgb(TransitionPage::Thumbnail(4, 0.0)));
    for (int step = 1; step < TransitionPage::kLoopFrames; ++step) {
        page.AdvanceLoop();
        const double p = double(step) / (TransitionPage::kLoopFrames - 1);
        ASSERT_EQ(IconImage(list->item(3), size), Rgb(TransitionPage::Thumbnail(4, p))) << step;
    }
    EXPECT_EQ(page.LoopFrame(), 0) << "the loop starts over";

    // Onto another thumbnail: the first one stands still again.
    QTest::mouseMove(list->viewport(), ItemCentre(list, 5));
    QCoreApplication::processEvents();
    EXPECT_EQ(page.Playing(), 6);
    EXPECT_EQ(IconImage(list->item(3), size), still);
    page.Play(-1);
    EXPECT_EQ(page.Playing(), 0);
    EXPECT_EQ(IconImage(list->item(5), size), Rgb(TransitionPage::Thumbnail(6, 0.5)));
}

TEST_F(DecorationPagesTest, TheButtonsGiveTheScenesTheirTransitions)
{
    TransitionPage page(editor);
    page.resize(760, 420);
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    QListWidget* list = page.Items();
    EXPECT_FALSE(page.AddButton()->isEnabled()) << "nothing chosen yet";

    QTest::mouseClick(page.SequenceButton(), Qt::LeftButton);
    editor.WaitUntilReady();
    EXPECT_EQ(Transitions(), (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(model.bModified);

    // The chosen ones, in list order, from the selected scene on.
    editor.SelectScene(1);
    page.SelectionChanged();
    Choose(list, {13, 6});
    EXPECT_EQ(page.Chosen(), (std::vector<int>{7, 14}));
    ASSERT_TRUE(page.AddButton()->isEnabled());
    QTest::mouseClick(page.AddButton(), Qt::LeftButton);
    editor.WaitUntilReady();
    EXPECT_EQ(Transitions(), (std::vector<int>{1, 7, 14}));

    // Past the last scene the rest are left over.
    editor.SelectScene(2);
    Choose(list, {4, 5, 6});
    EXPECT_TRUE(page.AddChosen());
    editor.WaitUntilReady();
    EXPECT_EQ(Transitions(), (std::vector<int>{1, 7, 5}));

    // A double-click gives the transition under the pointer.
    editor.SelectScene(0);
    Choose(list, {1, 2});
    DoubleClick(list, 9);
    editor.WaitUntilReady();
    EXPECT_EQ(Transitions(), (std::vector<int>{10, 7, 5}));

    // Delete takes the selected scene's away, and the page shows it.
    editor.SelectScene(1);
    page.SelectionChanged();
    EXPECT_EQ(page.findChild<QLabel*>("CurrentTransition")->text().toStdString(), "Transition: Erase From Bottom");
    QTest::mouseClick(page.DeleteButton(), Qt::LeftButton);
    editor.WaitUntilReady();
    EXPECT_EQ(Transitions(), (std::vector<int>{10, 0, 5}));
    EXPECT_EQ(page.findChild<QLabel*>("CurrentTransition")->text().toStdString(), "Transition: –");

    QTest::mouseClick(page.RandomButton(), Qt::LeftButton);
    editor.WaitUntilReady();
    for (int id : Transitions())
        EXPECT_TRUE(id >= 1 && id <= 28) << id;
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(DecorationPagesTest, TransitionsWithoutScenesSayWhyAndChangeNothing)
{
    ProjectModel empty;
    TimelineEditor bare(empty, prompt, heard);
    bare.SetBusyStep(0);
    TransitionPage page(bare);
    EXPECT_FALSE(page.AddInSequence());
    EXPECT_EQ(prompt.LastText(), Str(109));
    Choose(page.Items(), {0});
    EXPECT_FALSE(page.AddChosen());
    EXPECT_EQ(prompt.shown.size(), 2u);
    EXPECT_FALSE(empty.bModified);
    EXPECT_EQ(page.findChild<QLabel*>("CurrentTransition")->text().toStdString(), "");
}

// ---- the Static Effect page ---------------------------------------------------------------

TEST_F(DecorationPagesTest, EffectThumbnailsAreTheEngineOnTheSunset)
{
    StaticEffectPage page(editor);
    QListWidget* list = page.Items();
    ASSERT_EQ(StaticEffectPage::StaticCount(), 15);
    ASSERT_EQ(list->count(), 15 + StaticEffectPage::kFurtherEffectCount);
    for (int id = 0; id < 15; ++id)
        EXPECT_EQ(list->item(id)->text(), QString::fromUtf8(GetStaticEffectName(id))) << id;

    const QSize size(StaticEffectPage::kThumbWidth, StaticEffectPage::kThumbHeight);
    const QImage sunset = Rgb(PaintProgramPicture(ProgramPicture::kSunset, size));
    const QImage mirror = Rgb(StaticEffectPage::Thumbnail(3));
    const QImage flip = Rgb(StaticEffectPage::Thumbnail(4));
    const QImage negate = Rgb(StaticEffectPage::Thumbnail(6));
    for (int y = 0; y < size.height(); y += 7)
        for (int x = 0; x < size.width(); x += 7) {
            ASSERT_EQ(mirror.pixel(x, y), sunset.pixel(size.width() - 1 - x, y)) << x << "," << y;
            ASSERT_EQ(flip.pixel(x, y), sunset.pixel(x, size.height() - 1 - y)) << x << "," << y;
            ASSERT_EQ(negate.pixel(x, y) & 0xffffff, ~sunset.pixel(x, y) & 0xffffff) << x << "," << y;
        }
    // Every entry draws something other than the picture itself.
    for (int entry = 0; entry < list->count(); ++entry)
        EXPECT_NE(IconImage(list->item(entry), size), sunset) << entry;
}

TEST_F(DecorationPagesTest, AnOutlineInProjectPixelsConfinesThePreview)
{
    // The left half of a 720 × 576 frame, shown 200 × 150.
    tagOPR_EFFECT op{};
    TrackPoints points(StaticEffectPage::kPointBlock);
    for (tagSIZE p : {tagSIZE{0, 0}, tagSIZE{360, 0}, tagSIZE{360, 576}, tagSIZE{0, 576}})
        points.Add(p);
    op.pValidPolygon = &points;
    const QImage sunset = Rgb(PaintProgramPicture(ProgramPicture::kSunset, QSize(200, 150)));
    const QImage shown = Rgb(StaticEffectPage::Apply(sunset, 6, 50, &op, QSize(720, 576)));
    for (int y = 10; y < 140; y += 13) {
        EXPECT_EQ(shown.pixel(20, y) & 0xffffff, ~sunset.pixel(20, y) & 0xffffff) << y;
        EXPECT_EQ(shown.pixel(180, y), sunset.pixel(180, y)) << y;
    }
    op.pValidPolygon = nullptr;  // the points are the test's own
}

TEST_F(DecorationPagesTest, AChosenEffectGoesOverTheMarks)
{
    StaticEffectPage page(editor);
    page.resize(900, 440);
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    QListWidget* list = page.Items();
    EXPECT_FALSE(page.EditBox()->isEnabled()) << "nothing to edit yet";

    model.dMarkIn = 2.0, model.dMarkOut = 7.0;
    model.bMarkInSet = model.bMarkOutSet = true;
    list->setCurrentRow(5);
    QTest::mouseClick(page.AddButton(), Qt::LeftButton);
    editor.WaitUntilReady();
    ASSERT_EQ(model.ObjectCount(), 1);
    ASSERT_EQ(model.Kind(0), OBJ_EFFECT);
    const tagOPR_EFFECT* op = Effect(0);
    EXPECT_EQ(op->nEffectID, 5);
    EXPECT_EQ(op->nLevel, 50);
    EXPECT_EQ(op->nOverallOpacity, 255);
    EXPECT_TRUE(IsNullGuid(op->guidEffect));
    EXPECT_EQ(op->pValidPolygon, nullptr);
    EXPECT_EQ(op->bSpecialInited, 0);
    EXPECT_DOUBLE_EQ(op->dStartTime, 2.0);
    EXPECT_DOUBLE_EQ(op->dEndTime, 7.0);
    EXPECT_EQ(model.ObjectMark(0), 1);
    // The new effect is the one the page edits; Posterize has no level to set.
    EXPECT_EQ(page.EditedEffect(), op);
    EXPECT_TRUE(page.EditBox()->isEnabled());
    EXPECT_FALSE(page.LevelSlider()->isEnabled());

    // A double-click adds the one under the pointer, over the whole timeline without marks.
    model.dMarkIn = model.dMarkOut = 0.0;
    model.bMarkInSet = model.bMarkOutSet = false;
    DoubleClick(list, 0);
    editor.WaitUntilReady();
    ASSERT_EQ(model.ObjectCount(), 2);
    EXPECT_EQ(Effect(1)->nEffectID, 0);
    EXPECT_DOUBLE_EQ(Effect(1)->dStartTime, 0.0);
    EXPECT_DOUBLE_EQ(Effect(1)->dEndTime, 12.0);
    EXPECT_EQ(page.EditedEffect(), Effect(1));
    EXPECT_TRUE(page.LevelSlider()->isEnabled());

    // The further effects are shown, not added.
    list->setCurrentRow(15 + 2);
    EXPECT_FALSE(page.AddButton()->isEnabled());
    EXPECT_FALSE(page.AddChosen());
    DoubleClick(list, 15 + 2);
    EXPECT_EQ(model.ObjectCount(), 2);

    // A scene selected: there is nothing to edit.
    editor.SelectScene(0);
    page.SelectionChanged();
    EXPECT_EQ(page.EditedEffect(), nullptr);
    EXPECT_FALSE(page.EditBox()->isEnabled());
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(DecorationPagesTest, AnEffectNeedsAScene)
{
    ProjectModel empty;
    TimelineEditor bare(empty, prompt, heard);
    bare.SetBusyStep(0);
    StaticEffectPage page(bare);
    page.Items()->setCurrentRow(0);
    EXPECT_FALSE(page.AddChosen());
    EXPECT_EQ(prompt.LastText(), Str(109));
    EXPECT_EQ(empty.ObjectCount(), 0);
}

TEST_F(DecorationPagesTest, TheLevelSliderEditsTheSelectedEffectOneStepPerGesture)
{
    StaticEffectPage page(editor);
    page.Items()->setCurrentRow(0);  // Adjust Brightness
    ASSERT_TRUE(page.AddChosen());
    editor.WaitUntilReady();
    QSlider* level = page.LevelSlider();
    ASSERT_TRUE(level->isEnabled());
    EXPECT_EQ(level->value(), 50);
    const size_t steps = editor.History().Size();
    const int refreshes = heard.Count(kMsgTimelineChanged);

    // A drag: every move reaches the record and the filter, one undo step at the end.
    level->setSliderDown(true);
    level->setValue(70);
    level->setValue(80);
    EXPECT_EQ(Effect(0)->nLevel, 80);
    EXPECT_EQ(heard.Count(kMsgTimelineChanged), refreshes + 2);
    EXPECT_EQ(editor.History().Size(), steps);
    level->setSliderDown(false);
    EXPECT_EQ(editor.History().Size(), steps + 1);

    // A key press is a gesture of its own.
    level->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(Effect(0)->nLevel, 81);
    EXPECT_EQ(editor.History().Size(), steps + 2);

    // Undo brings the dragged level back, and the page shows the restored record.
    ASSERT_TRUE(editor.Undo());
    editor.WaitUntilReady();
    page.SelectionChanged();
    EXPECT_EQ(Effect(0)->nLevel, 80);
    EXPECT_EQ(level->value(), 80);

    // With a scene selected the slider changes no record.
    editor.SelectScene(0);
    page.SelectionChanged();
    const int before = heard.Count(kMsgTimelineChanged);
    level->setValue(20);
    EXPECT_EQ(Effect(0)->nLevel, 80);
    EXPECT_EQ(heard.Count(kMsgTimelineChanged), before);
}

TEST_F(DecorationPagesTest, ClicksOnTheFrameDrawTheOutlineInProjectPixels)
{
    StaticEffectPage page(editor);
    page.resize(900, 440);
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    page.Items()->setCurrentRow(6);  // Negate
    ASSERT_TRUE(page.AddChosen());
    editor.WaitUntilReady();
    EffectRegionView* region = page.Region();
    const QRect frame = region->FrameRect();
    ASSERT_GT(frame.width(), 100);
    EXPECT_NEAR(double(frame.width()) / frame.height(), 720.0 / 576.0, 0.02) << "the frame keeps its aspect";
    EXPECT_FALSE(page.ClearButton()->isEnabled());
    const size_t steps = editor.History().Size();

    QTest::mouseClick(region, Qt::LeftButton, Qt::NoModifier, frame.center());
    ASSERT_EQ(Points(Effect(0)), 1);
    const tagSIZE centre = Effect(0)->pValidPolygon->GetAt(0);
    EXPECT_NEAR(centre.cx, 360, 720.0 / frame.width() + 1);
    EXPECT_NEAR(centre.cy, 288, 576.0 / frame.height() + 1);
    EXPECT_EQ(editor.History().Size(), steps + 1);
    EXPECT_TRUE(page.ClearButton()->isEnabled());

    QTest::mouseClick(region, Qt::LeftButton, Qt::NoModifier, frame.topLeft());
    QTest::mouseClick(region, Qt::LeftButton, Qt::NoModifier, frame.topRight());
    ASSERT_EQ(Points(Effect(0)), 3);
    const tagSIZE corner = Effect(0)->pValidPolygon->GetAt(1);
    EXPECT_LE(corner.cx, 2);
    EXPECT_LE(corner.cy, 2);
    EXPECT_GE(Effect(0)->pValidPolygon->GetAt(2).cx, 716);
    EXPECT_EQ(editor.History().Size(), steps + 3);
    // The outlined stretch shows the effect, the rest of the frame the picture.
    const QImage shown = Rgb(region->grab().toImage());
    const QImage sunset = Rgb(PaintProgramPicture(ProgramPicture::kSunset, frame.size()));
    const QPoint inside = frame.center() - QPoint(0, frame.height() / 5);
    const QPoint outside = frame.center() + QPoint(0, frame.height() / 4);
    EXPECT_EQ(shown.pixel(inside) & 0xffffff, ~sunset.pixel(inside - frame.topLeft()) & 0xffffff);
    EXPECT_EQ(shown.pixel(outside), sunset.pixel(outside - frame.topLeft()));

    ASSERT_TRUE(editor.Undo());
    editor.WaitUntilReady();
    page.SelectionChanged();
    EXPECT_EQ(Points(Effect(0)), 2) << "each point is its own undo step";

    QTest::mouseClick(page.ClearButton(), Qt::LeftButton);
    EXPECT_EQ(Points(Effect(0)), 0);
    EXPECT_FALSE(page.ClearButton()->isEnabled());
    EXPECT_TRUE(model.bModified);

    // Nothing selected: clicks draw nothing.
    editor.SelectScene(1);
    page.SelectionChanged();
    QTest::mouseClick(region, Qt::LeftButton, Qt::NoModifier, frame.center());
    EXPECT_EQ(Points(Effect(0)), 0);
}

TEST_F(DecorationPagesTest, PagesForTheEye)
{
    editor.SelectScene(1);
    ASSERT_TRUE(editor.SetTransitions(kTransitionsInSequence));
    editor.WaitUntilReady();
    TransitionPage transitions(editor);
    transitions.resize(980, 430);
    transitions.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&transitions));
    Choose(transitions.Items(), {2, 7});
    transitions.SelectionChanged();
    Grab(transitions, "transition-page.png");

    StaticEffectPage effects(editor);
    effects.resize(980, 430);
    effects.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&effects));
    effects.Items()->setCurrentRow(6);
    ASSERT_TRUE(effects.AddChosen());
    editor.WaitUntilReady();
    for (QPoint p : {QPoint(120, 90), QPoint(520, 60), QPoint(640, 420), QPoint(260, 500)})
        ASSERT_TRUE(effects.AddOutlinePoint(p));
    Grab(effects, "static-effect-page.png");
}

TEST_F(DecorationPagesTest, BothPagesSpeakTheChosenLanguage)
{
    TransitionPage transitions(editor);
    StaticEffectPage effects(editor);
    ASSERT_TRUE(Strings().Load(Language::kChinese));
    transitions.Retranslate();
    effects.Retranslate();
    EXPECT_EQ(transitions.RandomButton()->text().toStdString(), Str(133));
    EXPECT_EQ(transitions.SequenceButton()->text().toStdString(), Str(134));
    EXPECT_EQ(transitions.DeleteButton()->text().toStdString(), Str(135));
    EXPECT_EQ(transitions.AddButton()->text().toStdString(), Str(20));
    EXPECT_EQ(effects.AddButton()->text().toStdString(), Str(20));
    EXPECT_EQ(effects.EditBox()->title().toStdString(), Str(27));
    EXPECT_EQ(effects.ClearButton()->text().toStdString(), "清除");
    ASSERT_TRUE(Strings().Load(Language::kEnglish));
    effects.Retranslate();
    EXPECT_EQ(effects.ClearButton()->text().toStdString(), "Clear");
}

TEST_F(DecorationPagesTest, AnEffectRecordOutOfRangeIsShownNotTrusted)
{
    // As a damaged project might bring it: an unknown effect, a level past 100, an
    // outline of two points.
    StaticEffectPage page(editor);
    page.resize(900, 440);
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    page.Items()->setCurrentRow(0);
    ASSERT_TRUE(page.AddChosen());
    editor.WaitUntilReady();
    tagOPR_EFFECT* op = Effect(0);
    op->nEffectID = 40;
    op->nLevel = 900;
    op->pValidPolygon = new TrackPoints(StaticEffectPage::kPointBlock);
    op->pValidPolygon->Add(tagSIZE{-50, 99999});
    op->pValidPolygon->Add(tagSIZE{100, 100});
    page.SelectionChanged();
    EXPECT_TRUE(page.EditBox()->isEnabled());
    EXPECT_EQ(page.LevelSlider()->value(), 100);
    EXPECT_FALSE(page.LevelSlider()->isEnabled());
    EXPECT_EQ(op->nLevel, 900) << "showing it changes nothing";
    const QImage shown = page.grab().toImage();
    EXPECT_FALSE(shown.isNull());
    // The third point closes an outline; a click past the frame's edge lands on it.
    ASSERT_TRUE(page.AddOutlinePoint(QPoint(5000, -3)));
    EXPECT_EQ(op->pValidPolygon->GetAt(2).cx, 720);
    EXPECT_EQ(op->pValidPolygon->GetAt(2).cy, 0);
    page.Region()->repaint();
}
