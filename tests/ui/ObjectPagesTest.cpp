// The pages that put objects on the timeline and edit the selected one: titles with
// the font height rule, in-place edits that keep one undo step per gesture, the
// animated picture page's messages and a real GIF, the 3D surface of a screen item,
// and the two small dialogs.
#include <gtest/gtest.h>

#include <Magick++.h>

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QCoreApplication>
#include <QTest>

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "filter/media/MagickReady.h"
#include "studio/project/ScreenLibrary.h"
#include "studio/project/ui/ScreenPage.h"
#include "studio/shell/StringTable.h"
#include "studio/shell/StudioSettings.h"
#include "studio/shell/TimelineEditor.h"
#include "studio/shell/ui/AudioLevelDialog.h"
#include "studio/shell/ui/PictureTimeDialog.h"
#include "studio/shell/ui/StickerPage.h"
#include "studio/shell/ui/TextPage.h"
#include "tests/support/ScratchFolder.h"
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
    page.grab().save(QString::fromStdString(out + "/" + name));
}

// A GIF of `frames` frames, w × h, each its own colour.
std::string WriteGif(const std::string& folder, const char* name, int frames, int w, int h)
{
    const char* colours[] = {"red", "green", "blue", "yellow"};
    std::vector<Magick::Image> images;
    for (int i = 0; i < frames; ++i) {
        images.emplace_back(Magick::Geometry(size_t(w), size_t(h)), Magick::Color(colours[i % 4]));
        images.back().animationDelay(10);
    }
    const std::string path = folder + name;
    Magick::writeImages(images.begin(), images.end(), "GIF:" + path);
    return path;
}

class ObjectPagesTest : public ::testing::Test {
protected:
    ObjectPagesTest() : editor(model, prompt, heard)
    {
        Strings().Load(Language::kEnglish);
        magick::EnsureReady();
        editor.SetBusyStep(0);
        model.header = ProjectHeader{352, 240, 352, 240};
        for (int n = 0; n < 2; ++n) {
            MediaItem item;
            std::memset(&item, 0, sizeof item);
            std::snprintf(item.szPath, sizeof item.szPath, "/media/clip%d.mpg", n);
            item.nKind = MEDIA_VIDEO;
            SceneRecord record{};
            std::memcpy(record.szPath, item.szPath, sizeof record.szPath);
            record.nMediaType = MEDIA_TYPE_VIDEO;
            model.AppendScene(item, MediaThumbnail(4, uint8_t(n)), record, SceneSpan{0.0, 4.0 + n}, 0);
        }
        model.RecomputeLength();
    }

    // Each command is refused while the busy period of the last one runs.
    template <typename Command>
    auto Do(Command command)
    {
        auto result = command();
        editor.WaitUntilReady();
        return result;
    }

    static void EndTyping(QWidget* w)
    {
        QFocusEvent out(QEvent::FocusOut);
        QCoreApplication::sendEvent(w, &out);
    }

    testsupport::ScratchFolder scratch{"object-pages"};
    const std::string& folder = scratch.Path();
    ProjectModel model;
    testsupport::ScriptedPrompt prompt;
    Heard heard;
    TimelineEditor editor;
};

}  // namespace

TEST_F(ObjectPagesTest, TheTextPageAddsATitleWithTheFontHeightRule)
{
    TextPage page(editor);
    page.TextEdit()->setPlainText("Happy\nBirthday");
    page.SizeBox()->setValue(25);
    page.StyleList()->setCurrentRow(2);
    page.SetTextColor(QColor(200, 50, 255));
    page.SetShadowColor(QColor(10, 20, 30));
    const std::string face = page.FontBox()->currentText().toStdString();
    ASSERT_FALSE(face.empty());
    EXPECT_FALSE(page.XBox()->isEnabled()) << "a new title starts at 0, 0";

    ASSERT_TRUE(Do([&] { return page.AddText(); }));
    ASSERT_EQ(model.ObjectCount(), 1);
    EXPECT_EQ(model.Kind(0), OBJ_TEXT);
    const TextOp& t = *static_cast<TextOp*>(model.Object(0));
    EXPECT_STREQ(t.szText, "Happy\nBirthday");
    EXPECT_EQ(t.lfFont.lfHeight, 33) << "25 × 20 ÷ 15, whole numbers";
    EXPECT_EQ(t.lfFont.lfWeight, 400);
    EXPECT_EQ(std::string(t.lfFont.lfFaceName), face);
    EXPECT_EQ(t.nStyle, 3);
    EXPECT_EQ(t.crText, RGB(200, 50, 255));
    EXPECT_EQ(t.crShadow, RGB(10, 20, 30));
    EXPECT_EQ(t.nX, 0);
    EXPECT_EQ(t.nY, 0);
    EXPECT_EQ(t.nOpacity, 255);
    EXPECT_DOUBLE_EQ(t.dEndTime, 9.0) << "the whole project";
    EXPECT_EQ(editor.TargetKind(), OBJ_TEXT) << "the new title is selected";
    EXPECT_TRUE(page.XBox()->isEnabled());

    // The size shown for a height gives that height back, for every size offered.
    for (int size = page.SizeBox()->minimum(); size <= page.SizeBox()->maximum(); ++size)
        ASSERT_EQ(TitleFontSize(TitleFontHeight(size)), size) << size;
    for (int style = 1; style <= kTitleStyleCount; ++style)
        EXPECT_EQ(page.StyleList()->item(style - 1)->text().toStdString(), TitleStyleName(style));
    EXPECT_STREQ(TitleStyleName(8), "Flight in/out");

    // With no scene the title is refused with the timeline's message.
    ProjectModel empty;
    testsupport::ScriptedPrompt quiet;
    Heard none;
    TimelineEditor bare(empty, quiet, none);
    TextPage other(bare);
    other.TextEdit()->setPlainText("x");
    EXPECT_FALSE(other.AddText());
    EXPECT_EQ(empty.ObjectCount(), 0);
    EXPECT_EQ(quiet.LastText(), Str(109));

    page.resize(760, 430);
    Grab(page, "text-page.png");
}

TEST_F(ObjectPagesTest, EditingTheSelectedTitleInPlaceKeepsOneUndoStepPerGesture)
{
    TextPage page(editor);
    page.TextEdit()->setPlainText("Hello");
    ASSERT_TRUE(Do([&] { return page.AddText(); }));
    const size_t steps = editor.History().Size();
    const int refreshes = heard.Count(kMsgTimelineChanged);

    // Typing: every key reaches the record and the filter, one step at the end.
    QTest::keyClicks(page.TextEdit(), " you");
    TextOp* t = page.Target();
    ASSERT_NE(t, nullptr);
    EXPECT_STREQ(t->szText, "Hello you");
    EXPECT_GE(heard.Count(kMsgTimelineChanged) - refreshes, 4);
    EXPECT_EQ(editor.History().Size(), steps) << "no step while typing";
    EndTyping(page.TextEdit());
    EXPECT_EQ(editor.History().Size(), steps + 1);
    EndTyping(page.TextEdit());
    EXPECT_EQ(editor.History().Size(), steps + 1) << "nothing new to keep";

    // A position typed in, then finished.
    page.XBox()->setValue(40);
    page.YBox()->setValue(-12);
    page.OpacityBox()->setValue(128);
    emit page.OpacityBox()->editingFinished();
    t = page.Target();
    EXPECT_EQ(t->nX, 40);
    EXPECT_EQ(t->nY, -12);
    EXPECT_EQ(t->nOpacity, 128);
    EXPECT_EQ(editor.History().Size(), steps + 2);

    // A style choice is a gesture of its own.
    page.StyleList()->setCurrentRow(6);
    EXPECT_EQ(page.Target()->nStyle, 7);
    EXPECT_EQ(editor.History().Size(), steps + 3);

    // Undo brings the title back as it was; the page shows the record the timeline now holds.
    ASSERT_TRUE(Do([&] { return editor.Undo(); }));
    ASSERT_TRUE(Do([&] { return editor.Undo(); }));
    page.SelectionChanged();
    ASSERT_NE(page.Target(), nullptr);
    EXPECT_EQ(page.Target()->nX, 0);
    EXPECT_STREQ(page.Target()->szText, "Hello you");
    EXPECT_EQ(page.TextEdit()->toPlainText(), "Hello you");
    EXPECT_EQ(page.XBox()->value(), 0);
    EXPECT_EQ(editor.History().Size(), steps + 3) << "showing a title changes nothing";

    // The title holds 999 bytes of text; more is not taken, and characters stay whole.
    page.TextEdit()->setPlainText(QString(600, QChar(0x00E9)));
    EXPECT_EQ(std::strlen(page.Target()->szText), 998u) << "499 two-byte characters";
    EXPECT_EQ(page.TextEdit()->toPlainText().size(), 499);
}

TEST_F(ObjectPagesTest, TheStickerPageSaysWhatIsMissing)
{
    MediaLibrary library(folder);
    StickerPage page(editor, library, prompt);
    EXPECT_EQ(page.Pictures()->count(), 0);
    EXPECT_TRUE(page.findChild<QLabel*>("StickerEmpty")->isVisibleTo(&page)) << "the empty library's hint";

    EXPECT_FALSE(page.AddSticker());
    EXPECT_FALSE(page.ChangeSticker());
    EXPECT_FALSE(page.RemoveSticker());
    ASSERT_EQ(prompt.shown.size(), 3u);
    EXPECT_EQ(prompt.shown[0].text, Str(83));
    EXPECT_EQ(prompt.shown[1].text, Str(106));
    EXPECT_EQ(prompt.shown[2].text, Str(146));
    for (const auto& shown : prompt.shown) {
        EXPECT_EQ(shown.title, Str(0));
        EXPECT_EQ(shown.icon, kPromptInformation);
    }
    EXPECT_EQ(model.ObjectCount(), 0);

    // A title selected is no picture to change or remove.
    TextOp* title = new TextOp();
    ASSERT_TRUE(Do([&] { return editor.AddObject(OBJ_TEXT, title); }));
    page.SelectionChanged();
    EXPECT_FALSE(page.RemoveSticker());
    EXPECT_EQ(prompt.LastText(), Str(146));
    EXPECT_EQ(model.ObjectCount(), 1);

    // A file that is no picture is named and leaves the library as it was.
    const std::string fake = folder + "broken.png";
    std::ofstream(fake) << "not a picture";
    EXPECT_EQ(page.ImportFiles({QString::fromStdString(fake)}), 0);
    EXPECT_EQ(library.Count(), 0u);
    EXPECT_NE(prompt.LastText().find("broken.png"), std::string::npos);
    EXPECT_EQ(prompt.shown.back().icon, kPromptWarning);
}

TEST_F(ObjectPagesTest, AnAnimatedGifBecomesAPictureObjectAndCanBeChangedAndRemoved)
{
    MediaLibrary library(folder);
    StickerPage page(editor, library, prompt);
    QSignalSpy imported(&page, &StickerPage::libraryChanged);
    const std::string gif = WriteGif(folder, "balloons.gif", 3, 24, 18);
    ASSERT_EQ(page.ImportFiles({QString::fromStdString(gif)}), 1);
    EXPECT_EQ(imported.count(), 1);
    ASSERT_EQ(library.Count(), 1u);
    ASSERT_EQ(page.Pictures()->count(), 1);
    EXPECT_EQ(page.Pictures()->item(0)->text(), "balloons.gif");
    EXPECT_EQ(page.ChosenEntry(), 0) << "the imported picture is chosen";

    ASSERT_TRUE(Do([&] { return page.AddSticker(); }));
    ASSERT_EQ(model.ObjectCount(), 1);
    EXPECT_EQ(model.Kind(0), OBJ_PICTURE);
    StickerOp* op = static_cast<StickerOp*>(model.Object(0));
    EXPECT_EQ(op->nFrameCount, 3);
    EXPECT_EQ(op->nWidth, 24);
    EXPECT_EQ(op->nHeight, 18);
    EXPECT_EQ(op->rcDest[0], 10);
    EXPECT_EQ(op->rcDest[1], 50);
    EXPECT_EQ(op->rcDest[2], 24);
    EXPECT_EQ(op->rcDest[3], 18);
    EXPECT_EQ(op->nAlpha, 255);
    EXPECT_NE(op->hImage, nullptr);
    EXPECT_EQ(std::string(op->szPath), gif);
    ASSERT_EQ(page.Target(), op);
    EXPECT_EQ(page.XBox()->value(), 10);
    EXPECT_EQ(page.HeightBox()->value(), 18);

    // Its place and opacity edited in place: one step for the gesture.
    size_t steps = editor.History().Size();
    page.XBox()->setValue(30);
    page.OpacityBox()->setValue(90);
    emit page.OpacityBox()->editingFinished();
    EXPECT_EQ(op->rcDest[0], 30);
    EXPECT_EQ(op->nAlpha, 90);
    EXPECT_EQ(editor.History().Size(), steps + 1);

    // Change: the other picture in the same record, its place and opacity kept.
    QSignalSpy held(&page, &StickerPage::holdPreview);
    const std::string other = WriteGif(folder, "stars.gif", 2, 20, 10);
    ASSERT_EQ(page.ImportFiles({QString::fromStdString(other)}), 1);
    ASSERT_EQ(page.ChosenEntry(), 1);
    steps = editor.History().Size();
    ASSERT_TRUE(page.ChangeSticker());
    EXPECT_EQ(held.count(), 1) << "the preview lets go before the picture does";
    ASSERT_EQ(model.Object(0), op);
    EXPECT_EQ(op->nFrameCount, 2);
    EXPECT_EQ(op->nWidth, 20);
    EXPECT_EQ(std::string(op->szPath), other);
    EXPECT_EQ(op->rcDest[0], 30);
    EXPECT_EQ(op->rcDest[2], 20);
    EXPECT_EQ(op->nAlpha, 90);
    EXPECT_EQ(editor.History().Size(), steps + 1);
    editor.WaitUntilReady();

    // A picture that has gone since the import leaves the object as it was.
    std::remove(gif.c_str());
    page.Pictures()->setCurrentRow(0);
    EXPECT_FALSE(page.ChangeSticker());
    EXPECT_EQ(std::string(op->szPath), other);
    EXPECT_EQ(op->nFrameCount, 2);
    EXPECT_NE(prompt.LastText().find("balloons.gif"), std::string::npos);

    page.resize(760, 430);
    Grab(page, "sticker-page.png");

    ASSERT_TRUE(Do([&] { return page.RemoveSticker(); }));
    EXPECT_EQ(model.ObjectCount(), 0);
    EXPECT_EQ(page.Target(), nullptr);
    EXPECT_FALSE(page.findChild<QGroupBox*>()->isEnabled());
}

TEST_F(ObjectPagesTest, TheSelectedScreenItemsSurfaceIsEditedInPlace)
{
    ScreenLibrary screens;
    ScreenPage page(screens, folder);
    EXPECT_TRUE(page.EmptyHint()->isVisibleTo(&page)) << "no backgrounds yet";
    EXPECT_FALSE(page.SurfaceGroup()->isVisibleTo(&page)) << "no editor";
    page.SetEditor(&editor);
    EXPECT_FALSE(page.SurfaceGroup()->isVisibleTo(&page)) << "nothing selected";

    ScreenOp* item = new ScreenOp();
    item->nStyle = 2;
    item->afParams[0] = 10.0f;
    ASSERT_TRUE(Do([&] { return editor.AddObject(OBJ_SCREEN3D, item); }));
    page.SelectionChanged();
    ASSERT_EQ(page.Target(), item);
    EXPECT_TRUE(page.SurfaceGroup()->isVisibleTo(&page));
    EXPECT_EQ(page.SurfaceGroup()->title().toStdString(), Str(136));
    EXPECT_EQ(page.ShapeBox()->count(), 25);
    EXPECT_EQ(page.ShapeBox()->currentIndex(), 2);
    EXPECT_DOUBLE_EQ(page.ParamBox(0)->value(), 10.0);

    const size_t steps = editor.History().Size();
    page.resize(760, 430);
    Grab(page, "screen-page.png");
    page.ShapeBox()->setCurrentIndex(24);
    EXPECT_EQ(item->nStyle, 24);
    EXPECT_EQ(editor.History().Size(), steps + 1);
    page.ParamBox(1)->setValue(-35.5);
    page.ParamBox(2)->setValue(400.0);
    emit page.ParamBox(2)->editingFinished();
    EXPECT_FLOAT_EQ(item->afParams[1], -35.5f);
    EXPECT_FLOAT_EQ(item->afParams[2], 360.0f) << "kept within a turn";
    EXPECT_EQ(editor.History().Size(), steps + 2);

    // Something else selected: the settings go, and a change of them reaches nothing.
    ASSERT_TRUE(Do([&] { return editor.AddObject(OBJ_TEXT, new TextOp()); }));
    page.SelectionChanged();
    EXPECT_FALSE(page.SurfaceGroup()->isVisibleTo(&page));
    page.ShapeBox()->setCurrentIndex(3);
    EXPECT_EQ(item->nStyle, 24);
}

TEST_F(ObjectPagesTest, ThePictureTimeIsKeptAndTheAudioLevelToldAtOnce)
{
    SetPictureTimeSetting(12);
    EXPECT_EQ(PictureTimeSetting(), 12);
    SetPictureTimeSetting(0);
    EXPECT_EQ(PictureTimeSetting(), 1);
    SetPictureTimeSetting(500);
    EXPECT_EQ(PictureTimeSetting(), 60);

    SetPictureTimeSetting(7);
    {
        PictureTimeDialog dialog;
        EXPECT_EQ(dialog.windowTitle().toStdString(), Str(143));
        EXPECT_EQ(dialog.Seconds()->value(), 7);
        EXPECT_EQ(dialog.Seconds()->minimum(), 1);
        EXPECT_EQ(dialog.Seconds()->maximum(), 60);
        dialog.Seconds()->setValue(20);
        dialog.reject();
    }
    EXPECT_EQ(PictureTimeSetting(), 7) << "Cancel keeps nothing";
    {
        PictureTimeDialog dialog;
        dialog.Seconds()->setValue(20);
        QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_EQ(PictureTimeSetting(), 20);

    {
        PictureTimeDialog dialog;
        Grab(dialog, "picture-time-dialog.png");
    }
    AudioLevelDialog level(50);
    EXPECT_EQ(level.windowTitle().toStdString(), Str(40));
    QSignalSpy told(&level, &AudioLevelDialog::levelChanged);
    level.Slider()->setValue(70);
    ASSERT_EQ(told.count(), 1);
    EXPECT_EQ(told.at(0).at(0).toInt(), 70);
    EXPECT_EQ(level.ValueLabel()->text(), "70 %");
    Grab(level, "audio-level-dialog.png");
    level.SetLevel(250);
    EXPECT_EQ(level.Level(), 100);
}
