// The recorder dialog and Record Audio in the main window: what a device offers and
// its details, a take recorded from the buttons with its time and level, the volume
// control's messages, no device at all, and a kept take that reaches the library and
// the timeline as music of its own length.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

#include <cstdlib>

#include "studio/project/ui/MediaLibraryPanel.h"
#include "studio/recording/ui/RecorderDialog.h"
#include "studio/shell/StringTable.h"
#include "studio/shell/ui/MainWindow.h"
#include "tests/recording/FakeMicrophone.h"
#include "tests/ui/WindowFixture.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

const char kStereo44[] = "audio/x-raw,rate=44100,channels=2,format=S16LE";

bool Exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

class RecorderDialogTest : public testsupport::WindowFixture {
protected:
    RecorderDialogTest() : WindowFixture("recorder") {}
};

// A device of 44.1 kHz stereo 16-bit only.
bool Stereo44Device(InputDevice* device)
{
    if (device) {
        CapsRange r;
        r.minRate = r.maxRate = 44100, r.minChannels = r.maxChannels = 2, r.s16 = true;
        device->name = "Fake microphone";
        device->ranges = {r};
    }
    return true;
}

// Records for `milliseconds` in the recorder dialog that Record Audio opens, looking
// for it until it shows.
void RecordInTheDialog(int milliseconds, bool keep)
{
    auto* finder = new QTimer;
    finder->setInterval(50);
    QObject::connect(finder, &QTimer::timeout, [finder, milliseconds, keep] {
        auto* dialog = qobject_cast<RecorderDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        finder->stop();
        finder->deleteLater();
        dialog->KeepBox()->setChecked(keep);
        QTest::mouseClick(dialog->RecordButton(), Qt::LeftButton);
        QTimer::singleShot(milliseconds, dialog, [dialog] { QTest::mouseClick(dialog->StopButton(), Qt::LeftButton); });
    });
    finder->start();
}

}  // namespace

TEST_F(RecorderDialogTest, RecordsFromTheButtonsWithItsTimeAndLevel)
{
    RecordingSession session(root, root + "Data/Voice/", prompt,
                             testsupport::FakeMicrophone("sine", kStereo44));
    InputDevice device;
    Stereo44Device(&device);
    RecorderDialog dialog(OfferedFormats(device.ranges), session, prompt, [] { return true; },
                          [](const std::vector<std::string>&) { return false; });
    ASSERT_EQ(dialog.Formats()->count(), 1);
    EXPECT_EQ(dialog.Formats()->itemText(0), "44.1 kHz, stereo, 16-bit");
    EXPECT_EQ(dialog.Details(), (std::vector<QString>{"44100 Hz", "16 Bit", "176400 Bytes/sec", "Stereo"}));
    EXPECT_TRUE(dialog.RecordButton()->isEnabled());
    EXPECT_FALSE(dialog.StopButton()->isEnabled());
    EXPECT_EQ(dialog.ElapsedLabel()->text(), "Elapsed: 00:00:00");
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTRY_VERIFY_WITH_TIMEOUT(dialog.Meter()->Level() > -40.0, 3000);  // before any take

    QTest::mouseClick(dialog.RecordButton(), Qt::LeftButton);
    ASSERT_TRUE(session.Recording());
    EXPECT_FALSE(dialog.Formats()->isEnabled()) << "the format is fixed while recording";
    QTRY_COMPARE_WITH_TIMEOUT(dialog.ElapsedLabel()->text(), QString("Elapsed: 00:00:01"), 3000);
    EXPECT_GT(dialog.Meter()->Level(), -40.0) << "the meter shows the tone";
    QDir().mkpath(ZOLVEX_SOURCE_DIR "/out");
    dialog.grab().save(ZOLVEX_SOURCE_DIR "/out/recorder-dialog-tone.png");
    QTest::mouseClick(dialog.StopButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted) << "stopping stores the take and closes";
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(Exists(session.StoredPath()));
    EXPECT_TRUE(prompt.shown.empty()) << prompt.LastText();

    // The volume control: none that starts, then no device any more.
    dialog.OpenVolumeControl();
    EXPECT_EQ(prompt.LastText(), "Error launching Volume Control!");
    EXPECT_EQ(prompt.shown.back().title, "Note");
    RecorderDialog gone({}, session, prompt, [] { return false; },
                        [](const std::vector<std::string>&) { return true; });
    EXPECT_EQ(gone.Formats()->itemText(0), "None Available");
    EXPECT_FALSE(gone.RecordButton()->isEnabled());
    gone.OpenVolumeControl();
    EXPECT_EQ(prompt.LastText(), "Unable to detect audio input device. You need a sound card with microphone input.");
}

TEST_F(RecorderDialogTest, AKeptTakeBecomesMusicOfItsLength)
{
    MainWindow window(&prompt);
    window.Editor().SetBusyStep(0);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    // No input device at all.
    window.SetRecordingDevice([](InputDevice*) { return false; }, nullptr);
    EXPECT_TRUE(window.RunCommand(10137));
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text,
              "Unable to detect audio input device. You need a sound card with microphone input.");
    EXPECT_EQ(prompt.shown[0].title, "Note");
    EXPECT_EQ(prompt.shown[0].icon, kPromptWarning);

    // Kept with no scene: in the library, not on the timeline, and the user is told.
    window.SetRecordingDevice(Stereo44Device, testsupport::FakeMicrophone("sine", kStereo44));
    RecordInTheDialog(600, true);
    window.RecordAudio();
    QTRY_COMPARE_WITH_TIMEOUT(window.Library().Count(), size_t(1), 10000);
    QTRY_COMPARE(prompt.shown.size(), size_t(2));
    EXPECT_EQ(prompt.shown[1].text, Str(110));
    EXPECT_EQ(window.Model().ObjectCount(), 0);
    const MediaItem first = window.Library().Entry(0).item;
    EXPECT_EQ(first.nKind, MEDIA_AUDIO);
    EXPECT_EQ(std::string(first.szPath).rfind(root + "Data/" + Str(96) + "/", 0), 0u)
        << "in the folder of the unnamed project: " << first.szPath;

    // With a scene: a music object as long as the take, and the take selected.
    AddPicture(window, "scene.png");
    window.Editor().AddToTimeline(window.Library(), {1}, window.PictureSeconds());
    QApplication::processEvents();
    window.Editor().WaitUntilReady();
    ASSERT_EQ(window.Model().SceneCount(), 1);

    RecordInTheDialog(1500, true);
    QTest::qWait(1100);  // a second later than the first take, so it is a file of its own
    window.RecordAudio();
    QTRY_COMPARE_WITH_TIMEOUT(window.Model().ObjectCount(), 1, 10000);
    ASSERT_EQ(window.Model().Kind(0), OBJ_MUSIC);
    const auto* music = static_cast<const AudioOp*>(window.Model().Object(0));
    EXPECT_NEAR(music->dLength, 1.5, 0.35);
    EXPECT_DOUBLE_EQ(music->dStartTime, 0.0);
    EXPECT_DOUBLE_EQ(music->dEndTime, music->dLength) << "heard once, not over and over";
    ASSERT_EQ(window.Library().Count(), 3u);
    EXPECT_STREQ(music->szPath, window.Library().Entry(2).item.szPath);
    auto* library = window.findChild<MediaLibraryPanel*>();
    EXPECT_EQ(library->Selection(), (std::vector<size_t>{2}));
    EXPECT_EQ(prompt.shown.size(), 2u) << prompt.LastText();

    // Not kept: the file is gone and nothing is added.
    RecordInTheDialog(300, false);
    QTest::qWait(1100);
    window.RecordAudio();
    QTest::qWait(300);
    EXPECT_EQ(window.Library().Count(), 3u);
    EXPECT_EQ(window.Model().ObjectCount(), 1);
    const QDir folder(QString::fromStdString(root + "Data/" + Str(96)));
    EXPECT_EQ(folder.entryList({"*.wav"}, QDir::Files).size(), 2) << "only the two kept takes";
}
