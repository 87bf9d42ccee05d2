// The maker's window: pictures imported as one library symbol, symbols added from
// it, sliders that edit the selected symbol, the controls each placement enables, a
// guide line drawn with the mouse landing on the canvas, and the question on closing.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include "studio/maker/ui/EffectMakerWindow.h"
#include "studio/shell/StringTable.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ScriptedPrompt.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

class EffectMakerWindowTest : public ::testing::Test {
protected:
    EffectMakerWindowTest()
    {
        Strings().Load(Language::kEnglish);
        for (const char* name : {"one", "two"}) {
            QImage picture(24, 24, QImage::Format_ARGB32);
            picture.fill(QColor(250, 200, 0));
            const QString path = QString::fromStdString(folder.Path()) + name + ".png";
            picture.save(path);
            files << path;
        }
        window.SetChoosers([this] { return files; },
                           [this] { return QString::fromStdString(folder.Path() + "made.arf"); });
    }

    testsupport::ScratchFolder folder{"maker-window"};
    testsupport::ScriptedPrompt prompt;
    EffectMakerWindow window{folder.Path(), prompt};
    QStringList files;
};

}  // namespace

TEST_F(EffectMakerWindowTest, SymbolsSlidersAndPlacements)
{
    EXPECT_FALSE(window.AddSymbol()) << "nothing in the library yet";
    EXPECT_EQ(prompt.LastText(), "Please select an animation symbol in the library.");
    ASSERT_TRUE(window.ImportPictures());
    ASSERT_EQ(window.LibraryList()->count(), 1);
    EXPECT_EQ(window.Library().At(0).size(), 2u) << "two pictures, one symbol";
    ASSERT_TRUE(window.AddSymbol());
    ASSERT_EQ(window.SymbolStrip()->count(), 1);
    EXPECT_EQ(window.Maker().Selected(), 0);
    // The sliders show the new symbol's defaults and edit its fields.
    EXPECT_EQ(window.Slider(SymbolProperty::kOpacity)->value(), 200);
    EXPECT_EQ(window.Slider(SymbolProperty::kAngle)->value(), 360);
    window.Slider(SymbolProperty::kStretch)->setValue(150);
    EXPECT_FLOAT_EQ(window.Maker().Symbol(0)->fStretch, 6.0f);
    window.SpecialMotion()->setCurrentIndex(3);
    EXPECT_EQ(window.Maker().Symbol(0)->nMotion[0], 4);

    // Fit screen: no stretch, no motion controls; the guide line: stretch again.
    window.PlacementButton(Placement::kFitScreen)->click();
    EXPECT_EQ(window.Maker().Symbol(0)->bFitScreen, 1);
    EXPECT_FALSE(window.Slider(SymbolProperty::kStretch)->isEnabled());
    EXPECT_FALSE(window.Slider(SymbolProperty::kSpeedX)->isEnabled());
    EXPECT_TRUE(window.Slider(SymbolProperty::kOpacity)->isEnabled());
    window.PlacementButton(Placement::kGuideLine)->click();
    EXPECT_TRUE(window.Slider(SymbolProperty::kStretch)->isEnabled());
    EXPECT_FALSE(window.SpecialMotion()->isEnabled());
    EXPECT_EQ(window.Maker().Symbol(0)->nMotion[0], 1);
    window.PlacementButton(Placement::kDefault)->click();
    EXPECT_TRUE(window.Slider(SymbolProperty::kSpeedX)->isEnabled());

    // The preview draws the symbol over the program's sunset.
    window.Tick();
    EXPECT_FALSE(window.Preview()->pixmap().isNull());
}

TEST_F(EffectMakerWindowTest, AGuideLineDrawnWithTheMouseLandsOnTheCanvas)
{
    ASSERT_TRUE(window.ImportPictures());
    ASSERT_TRUE(window.AddSymbol());
    GuideLineWindow guide(window.Maker(), QImage());
    guide.show();
    QTest::mousePress(&guide, Qt::LeftButton, Qt::NoModifier, QPoint(95, 115));
    QTest::mouseMove(&guide, QPoint(95, 115));  // no movement: no second point
    QTest::mouseMove(&guide, QPoint(200, 180));
    QTest::mouseMove(&guide, QPoint(600, 180));  // outside the drawing area
    QTest::mouseRelease(&guide, Qt::LeftButton, Qt::NoModifier, QPoint(200, 180));
    QTest::mouseMove(&guide, QPoint(300, 300));  // the button is up: nothing
    const tagROMANCE_ACTOR* actor = window.Maker().Actor(0);
    ASSERT_EQ(actor->nGuidePoints, 2);
    EXPECT_EQ(actor->pGuidePoints->GetAt(0).x, 0);
    EXPECT_EQ(actor->pGuidePoints->GetAt(0).y, 0);
    EXPECT_EQ(actor->pGuidePoints->GetAt(1).x, 105);
    EXPECT_EQ(actor->pGuidePoints->GetAt(1).y, 65);
    guide.SpeedSlider()->setValue(20);
    EXPECT_EQ(window.Maker().Symbol(0)->nGuideSpeed, 25);
    QTest::mouseClick(guide.ClearButton(), Qt::LeftButton);
    EXPECT_EQ(actor->nGuidePoints, 0);
}

TEST_F(EffectMakerWindowTest, ClosingAsksToSaveAnUnsavedEffect)
{
    window.DrawGuideLine();
    EXPECT_EQ(prompt.LastText(), "Please add an animation symbol first.");
    ASSERT_TRUE(window.ImportPictures());
    ASSERT_TRUE(window.AddSymbol());
    prompt.answers = {kAnswerYes};
    window.reject();
    EXPECT_EQ(prompt.LastText(), "Do you want to save this animation effect?");
    EXPECT_TRUE(window.Maker().Saved());
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(folder.Path() + "made.arf")));
}
