// The Save Movie page's rules (profiles pick their entries, MP4 always in full
// motion, no movie without a name), the progress dialog's bar and buttons, and the
// saver refusing a target it cannot write.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "studio/shell/StringTable.h"
#include "studio/shell/ui/MovieProgressDialog.h"
#include "studio/shell/ui/MovieSaver.h"
#include "studio/shell/ui/SaveMoviePage.h"
#include "tests/support/SampleTimeline.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ScriptedPrompt.h"

using namespace zolvex;
using namespace zolvex::studio;
using testsupport::ScriptedPrompt;

namespace {

std::vector<std::string> Entries(QComboBox* box)
{
    std::vector<std::string> list;
    for (int i = 0; i < box->count(); ++i)
        list.push_back(box->itemText(i).toStdString());
    return list;
}

class SaveMoviePageTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Strings().Load(Language::kEnglish)); }
    void TearDown() override { Strings().Load(Language::kEnglish); }
    ScriptedPrompt prompt_;
};

struct Host : IMovieHost {
    int stops = 0;
    int64_t position = 0;
    std::vector<std::pair<bool, std::string>> ended;
    void StopPreviewForMovie() override { ++stops; }
    void MoviePosition(int64_t at, int64_t hundredths, int64_t seconds) override
    {
        EXPECT_EQ(seconds * 10000000 + hundredths * 100000, at / 100000 * 100000);
        position = at;
    }
    void MovieRunEnded(bool written, const std::string& path) override { ended.emplace_back(written, path); }
};

}  // namespace

TEST_F(SaveMoviePageTest, DiscProfilesPickTheirSizeRateAndOneBitRate)
{
    SaveMoviePage page(prompt_);
    EXPECT_EQ(Entries(page.KindBox()), (std::vector<std::string>{"DVD/SVCD/VCD", "AVI", "3GP", "SWF", "MP4"}));
    page.KindBox()->setCurrentIndex(kMovieDisc);
    const struct {
        DiscProfile profile;
        int size, rate;
        const char* bitRate;
        int codec;
    } rows[] = {{kDvdNtsc, 13, 3, "6000 kbps", 1}, {kDvdPal, 14, 2, "6000 kbps", 1},
                {kSvcdNtsc, 11, 3, "2040 kbps", 1}, {kSvcdPal, 12, 2, "2040 kbps", 1},
                {kVcdNtsc, 9, 3, "1150 kbps", 0},   {kVcdPal, 10, 2, "1150 kbps", 0}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.bitRate);
        page.ProfileBox()->setCurrentIndex(r.profile);
        EXPECT_EQ(page.FrameSizeBox()->currentIndex(), r.size);
        EXPECT_EQ(page.FrameRateBox()->currentIndex(), r.rate);
        EXPECT_EQ(Entries(page.VideoBitRateBox()), std::vector<std::string>{r.bitRate});
        EXPECT_EQ(page.VideoCodecBox()->currentIndex(), r.codec);
        EXPECT_EQ(page.FrameSizeBox()->count(), int(FrameSizes(kMovieDisc).size()));
    }
    EXPECT_EQ(page.FrameRateBox()->itemText(3), "29.97fps");
    EXPECT_EQ(page.FrameRateBox()->itemText(2), "25 fps");
    EXPECT_TRUE(page.ProfileBox()->isEnabled());
    EXPECT_FALSE(page.QualitySlider()->isEnabled()) << "discs are made at their bit rate";

    page.KindBox()->setCurrentIndex(kMovieAvi);
    EXPECT_FALSE(page.ProfileBox()->isEnabled());
    EXPECT_TRUE(page.QualitySlider()->isEnabled());
    EXPECT_EQ(page.AudioBitRateBox()->itemText(0), "64.0 kbps");
    EXPECT_EQ(page.SampleRateBox()->itemText(0), "22050 Hz");
    // The page's choices make the same parameters as the lists say.
    MovieOutputParams p;
    MovieChoices c = page.Choices();
    c.movieName = "x";
    ASSERT_TRUE(FillMovieParams(c, p));
    EXPECT_EQ(QString::asprintf("%d x %d", p.nWidth, p.nHeight), page.FrameSizeBox()->currentText());

    page.KindBox()->setCurrentIndex(kMovie3gp);
    EXPECT_EQ(page.ChannelsBox()->currentText(), "mono");
    EXPECT_FALSE(page.ChannelsBox()->isEnabled()) << "AMR sound is mono only";
    EXPECT_EQ(page.VideoCodecBox()->count(), 6);
}

TEST_F(SaveMoviePageTest, Mp4IsAlwaysInFullMotionAndOtherKindsKeepTheUsersChoice)
{
    SaveMoviePage page(prompt_);
    page.KindBox()->setCurrentIndex(kMovieAvi);
    EXPECT_FALSE(page.FullMotionBox()->isChecked());
    EXPECT_TRUE(page.FullMotionBox()->isEnabled());
    page.KindBox()->setCurrentIndex(kMovieMp4);
    EXPECT_TRUE(page.FullMotionBox()->isChecked());
    EXPECT_FALSE(page.FullMotionBox()->isEnabled());
    EXPECT_EQ(page.ChannelsBox()->currentText(), "stereo");
    page.KindBox()->setCurrentIndex(kMovieSwf);
    EXPECT_FALSE(page.FullMotionBox()->isChecked()) << "MP4 took the box over only while chosen";
    QTest::mouseClick(page.FullMotionBox(), Qt::LeftButton);
    page.KindBox()->setCurrentIndex(kMovieMp4);
    page.KindBox()->setCurrentIndex(kMovieAvi);
    EXPECT_TRUE(page.FullMotionBox()->isChecked());
    EXPECT_TRUE(page.Choices().fullMotion);
}

TEST_F(SaveMoviePageTest, SavingNeedsANameAndThenSendsTheParameters)
{
    testsupport::ScratchFolder folder("save-page");
    SaveMoviePage page(prompt_, QString::fromStdString(folder.Path()));
    QSignalSpy requested(&page, &SaveMoviePage::SaveMovieRequested);
    EXPECT_EQ(page.SaveButton()->text(), "Save Moive Now");
    EXPECT_EQ(page.SaveButton()->accessibleName(), "Save Moive Now");
    page.KindBox()->setCurrentIndex(kMovieDisc);
    page.ProfileBox()->setCurrentIndex(kVcdPal);

    page.NameEdit()->setText("   ");
    QTest::mouseClick(page.SaveButton(), Qt::LeftButton);
    ASSERT_EQ(prompt_.shown.size(), 1u);
    EXPECT_EQ(prompt_.shown[0].text, Str(125));
    EXPECT_EQ(prompt_.shown[0].title, Str(0));
    EXPECT_EQ(requested.count(), 0);

    page.NameEdit()->setText("holiday");
    QTest::mouseClick(page.SaveButton(), Qt::LeftButton);
    ASSERT_EQ(requested.count(), 1);
    const auto params = requested.at(0).at(0).value<MovieOutputParams>();
    EXPECT_EQ(params.szFilePath, folder.Path() + "holiday.mpg");
    EXPECT_EQ(params.nVideoBitRate, 1150000);
    EXPECT_EQ(params.szFormatName, "VCD_PAL");

    // For a look at the layout.
    const std::string out = std::string(ZOLVEX_SOURCE_DIR) + "/out";
    mkdir(out.c_str(), 0755);
    page.resize(page.sizeHint());
    EXPECT_TRUE(page.grab().save(QString::fromStdString(out + "/save-movie-page.png")));

    QString asked;
    page.SetFolderChooser([&](const QString& title, const QString&) {
        asked = title;
        return QString("/srv/movies");
    });
    QTest::mouseClick(page.BrowseButton(), Qt::LeftButton);
    EXPECT_EQ(asked, "Select Output Directory");
    EXPECT_EQ(page.FolderEdit()->text(), "/srv/movies/");

    ASSERT_TRUE(Strings().Load(Language::kChinese));
    page.Retranslate();
    EXPECT_EQ(page.SaveButton()->text().toStdString(), Str(10));
}

TEST_F(SaveMoviePageTest, ProgressDialogDrawsThePublishedPercentAndTogglesPause)
{
    MovieProgressDialog dialog;
    QSignalSpy paused(&dialog, &MovieProgressDialog::PauseRequested);
    QSignalSpy resumed(&dialog, &MovieProgressDialog::ResumeRequested);
    QSignalSpy cancelled(&dialog, &MovieProgressDialog::CancelRequested);
    dialog.Begin();
    EXPECT_EQ(dialog.RefreshTimer()->interval(), 2000);
    EXPECT_TRUE(dialog.RefreshTimer()->isActive());

    dialog.Publish(42.5f);
    EXPECT_EQ(dialog.BarWidth(), 0) << "drawn at the next refresh only";
    dialog.Refresh();
    EXPECT_EQ(dialog.BarWidth(), 162);  // 42.5 × 3.82
    EXPECT_EQ(dialog.BarText(), "42.50 %");
    EXPECT_TRUE(dialog.isVisible());

    EXPECT_EQ(dialog.PauseButton()->text(), "Pause");
    QTest::mouseClick(dialog.PauseButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.PauseButton()->text(), "Resume");
    EXPECT_EQ(paused.count(), 1);
    QTest::mouseClick(dialog.PauseButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.PauseButton()->text(), "Pause");
    EXPECT_EQ(resumed.count(), 1);

    dialog.Publish(100.0f);
    dialog.Refresh();
    EXPECT_EQ(dialog.BarWidth(), 382);
    EXPECT_FALSE(dialog.isVisible()) << "closed at 100";
    EXPECT_EQ(cancelled.count(), 0);

    dialog.Begin();
    EXPECT_EQ(dialog.BarWidth(), 0);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(cancelled.count(), 1) << "Escape cancels the run rather than hiding it";
    EXPECT_FALSE(dialog.isVisible());
    dialog.Begin();
    QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
    EXPECT_EQ(cancelled.count(), 2);
    EXPECT_FALSE(dialog.RefreshTimer()->isActive());
}

TEST_F(SaveMoviePageTest, ASaverThatCannotWriteTheTargetSaysSoAndEndsTheRun)
{
    Host host;
    MovieSaver saver(host, prompt_);
    MovieOutputParams params;
    MovieChoices c;
    c.kind = kMovieAvi;
    c.movieName = "lost";
    c.folder = "/nonexistent-zolvex-folder/";
    ASSERT_TRUE(FillMovieParams(c, params));
    EXPECT_FALSE(saver.Start(params, ProjectHeader{720, 576, 4, 3}, TimelineLists{}, nullptr, nullptr, 5.0));
    EXPECT_EQ(host.stops, 1);
    ASSERT_EQ(host.ended.size(), 1u);
    EXPECT_FALSE(host.ended[0].first);
    EXPECT_EQ(host.ended[0].second, "/nonexistent-zolvex-folder/lost.avi");
    ASSERT_EQ(prompt_.shown.size(), 1u);
    EXPECT_NE(prompt_.LastText().find("/nonexistent-zolvex-folder"), std::string::npos) << prompt_.LastText();
    EXPECT_FALSE(saver.Running());
    EXPECT_FALSE(saver.Dialog()->isVisible());
}

// A short project whose clip is missing renders black and silent, which is movie
// enough to follow the saver through a whole run and through a cancel.
TEST_F(SaveMoviePageTest, TheSaverPutsAFinishedOrCancelledMovieInPlaceAndNothingElse)
{
    testsupport::ScratchFolder folder("saver-run");
    MovieChoices c;
    c.kind = kMovieAvi;
    c.frameSize = 0;  // 176 x 144: quick
    c.folder = folder.Path();
    for (const char* name : {"whole", "cancelled"}) {
        SCOPED_TRACE(name);
        const bool cancel = std::string(name) == "cancelled";
        ProjectModel model;
        model.header = ProjectHeader{352, 288, 4, 3};
        ASSERT_TRUE(
            testsupport::AddSampleScene(model, "missing", cancel ? 600.0 : 2.0, testsupport::SampleThumbnail(1)));
        c.movieName = name;
        MovieOutputParams params;
        ASSERT_TRUE(FillMovieParams(c, params));
        Host host;
        MovieSaver saver(host, prompt_);
        ASSERT_TRUE(saver.Start(params, model.header, model.Lists(), nullptr, nullptr, 5.0)) << prompt_.LastText();
        EXPECT_TRUE(saver.Running());
        EXPECT_EQ(saver.PollTimer()->interval(), 1000);
        const std::string partial = saver.PartialPath();
        EXPECT_EQ(partial.substr(0, folder.Path().size() + 1), folder.Path() + ".") << "hidden beside the target";
        if (cancel) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return host.position > 0 || !saver.Running(); }, 30000));
            EXPECT_TRUE(saver.Running()) << "ten minutes are not made in a second";
            saver.Dialog()->CancelButton()->click();
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return !saver.Running(); }, 30000));
        ASSERT_EQ(host.ended.size(), 1u);
        EXPECT_TRUE(host.ended[0].first) << prompt_.LastText();
        EXPECT_EQ(host.ended[0].second, params.szFilePath);
        EXPECT_EQ(access(params.szFilePath.c_str(), F_OK), 0);
        EXPECT_NE(access(partial.c_str(), F_OK), 0) << "the hidden file became the movie";
        EXPECT_FALSE(saver.Dialog()->isVisible());
    }
    EXPECT_TRUE(prompt_.shown.empty()) << prompt_.LastText();
}
