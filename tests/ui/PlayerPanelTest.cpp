// The player panel over the real preview (silent sound): the Play button's rules and
// labels, the end of the preview, the rate buttons at their ends, the slider and the
// playhead, the pictures reaching the screen, and the layout of the panel's strip.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <cstdlib>

#include "studio/shell/PreviewLink.h"
#include "studio/shell/StringTable.h"
#include "studio/shell/ui/PlayerPanel.h"
#include "studio/shell/ui/PlayerScreen.h"
#include "tests/support/SampleTimeline.h"
#include "tests/support/ScriptedPrompt.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

class PlayerPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("ZOLVEX_AUDIO_SINK", "fake", 1);
        Strings().Load(Language::kEnglish);
        model.header = ProjectHeader{160, 120, 4, 3};
        panel = std::make_unique<PlayerPanel>(preview, model, prompt);
        panel->resize(480, 440);
        preview.SetListener(panel->AlbumListener());
        std::string error;
        ASSERT_TRUE(preview.Open(true, &error)) << error;
        preview.SetFrame(model.header);
        ASSERT_TRUE(preview.Player().Built());
    }
    void TearDown() override
    {
        preview.Close();
        panel.reset();
    }
    // The timeline of `seconds` handed to the preview, as the window's refresh does.
    void Timeline(double seconds)
    {
        if (seconds > 0)
            ASSERT_TRUE(testsupport::AddSampleScene(model, "scene", seconds, testsupport::SampleThumbnail(0)));
        preview.Refresh(model, 5.0);
        panel->DurationChanged();
        QTest::qWait(300);
    }

    ProjectModel model;
    PreviewLink preview;
    testsupport::ScriptedPrompt prompt;
    std::unique_ptr<PlayerPanel> panel;
};

}  // namespace

TEST_F(PlayerPanelTest, PlayRulesLabelsAndTheEnd)
{
    Timeline(0);
    // Nothing to play: Play on the stopped preview does nothing.
    panel->PressStop();
    panel->PressPlay();
    EXPECT_EQ(preview.Player().State(), GraphPlayer::kStopped);
    EXPECT_EQ(panel->PlayButton()->text(), "Play");

    Timeline(1.0);
    EXPECT_EQ(panel->PositionSlider()->maximum(), 10) << "tenths of a second";
    QSignalSpy positions(panel.get(), &PlayerPanel::playPosition);
    QTest::mouseClick(panel->PlayButton(), Qt::LeftButton);
    EXPECT_EQ(preview.Player().State(), GraphPlayer::kRunning);
    EXPECT_EQ(panel->PlayButton()->text(), "Pause");
    EXPECT_EQ(panel->PlayButton()->accessibleName(), "Pause");
    // The timer follows to the end, then rewinds, stops and shows Play.
    QTRY_COMPARE_WITH_TIMEOUT(preview.Player().State(), GraphPlayer::kStopped, 4000);
    EXPECT_EQ(panel->PlayButton()->text(), "Play");
    EXPECT_EQ(panel->PositionSlider()->value(), 0);
    ASSERT_FALSE(positions.isEmpty());
    EXPECT_EQ(positions.last().at(0).toLongLong(), 0);
    EXPECT_EQ(positions.last().at(1).toLongLong(), 0);
    EXPECT_GE(panel->Ticks(), 1);
    // The pictures reached the screen.
    EXPECT_GT(panel->Screen()->Shown(), 3);
}

TEST_F(PlayerPanelTest, RateButtonsSliderAndPlayhead)
{
    Timeline(3.0);
    panel->PressDecreaseRate();
    panel->PressDecreaseRate();
    EXPECT_DOUBLE_EQ(preview.Player().Rate(), 0.25);
    EXPECT_FALSE(panel->SlowerButton()->isEnabled());
    panel->PressDecreaseRate();
    EXPECT_DOUBLE_EQ(preview.Player().Rate(), 0.25);
    panel->PressIncreaseRate();
    EXPECT_TRUE(panel->SlowerButton()->isEnabled());
    for (int k = 0; k < 5; ++k)
        panel->PressIncreaseRate();
    EXPECT_DOUBLE_EQ(preview.Player().Rate(), 4.0);
    EXPECT_FALSE(panel->FasterButton()->isEnabled());

    // The user's slider pauses a playing preview, tells the playhead and moves there.
    panel->PressPlay();
    QSignalSpy positions(panel.get(), &PlayerPanel::playPosition);
    panel->PositionSlider()->setValue(25);
    EXPECT_EQ(preview.Player().State(), GraphPlayer::kPaused);
    ASSERT_EQ(positions.size(), 1);
    EXPECT_EQ(positions[0].at(0).toLongLong(), 50);
    EXPECT_EQ(positions[0].at(1).toLongLong(), 2);
    QTest::qWait(400);
    EXPECT_NEAR(double(preview.Player().Position()) / 1e7, 2.5, 0.05);

    // The playhead let go at 1.2 s: the slider and the preview follow.
    panel->PlayheadReleased(1.2);
    EXPECT_EQ(panel->PositionSlider()->value(), 12);
    QTest::qWait(400);
    EXPECT_NEAR(double(preview.Player().Position()) / 1e7, 1.2, 0.05);

    // The volume slider sets both players.
    panel->VolumeSlider()->setValue(0);
    EXPECT_EQ(preview.Player().Volume(), 0);
    EXPECT_EQ(panel->File().Volume(), 0);
}

TEST_F(PlayerPanelTest, LayoutOfTheStrip)
{
    panel->resize(640, 520);
    panel->show();
    QApplication::processEvents();
    const int h = panel->height();
    EXPECT_EQ(panel->PositionSlider()->geometry().top(), h - 72);
    EXPECT_EQ(panel->PositionSlider()->geometry().bottom() + 1, h - 61);
    EXPECT_EQ(panel->PlayButton()->width(), 44);
    EXPECT_EQ(panel->StopButton()->width(), 34);
    EXPECT_EQ(panel->SlowerButton()->width(), 34);
    EXPECT_EQ(panel->FasterButton()->width(), 34);
    EXPECT_GE(panel->PlayButton()->geometry().top(), h - 61);
    EXPECT_EQ(panel->VolumeSlider()->x(), 240);
    // The screen keeps the project's 4:3 above the bottom 74 pixels, centred.
    const QRect screen = panel->Screen()->geometry();
    EXPECT_NEAR(double(screen.width()) / screen.height(), 4.0 / 3.0, 0.01);
    EXPECT_LE(screen.bottom(), h - 74);
    EXPECT_NEAR(screen.center().x(), panel->width() / 2, 1);
    // A narrow panel keeps the volume 40 pixels off its right edge.
    panel->resize(300, 400);
    QApplication::processEvents();
    EXPECT_LE(panel->VolumeSlider()->geometry().right() + 1, 300 - 40);
}
