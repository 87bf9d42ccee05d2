// The media library panel: the detail texts and tool tips in their formats, what each
// page and filter shows, Remove, and files dropped from a file manager.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDropEvent>
#include <QIcon>
#include <QImage>
#include <QListWidget>
#include <QPushButton>
#include <QMimeData>
#include <QProgressDialog>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QTreeView>
#include <QUrl>

#include <cstdlib>
#include <cstring>
#include <fstream>

#include "studio/project/MediaItems.h"
#include "studio/project/ui/MediaLibraryPanel.h"
#include "studio/project/ui/ScreenPage.h"
#include "studio/shell/StringTable.h"
#include "tests/support/ScratchFolder.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

MediaItem Item(const char* name, const char* ext, int kind, int w, int h, double seconds)
{
    MediaItem item;
    std::memset(&item, 0, sizeof item);
    std::snprintf(item.szPath, sizeof item.szPath, "/media/%s%s", name, ext);
    std::snprintf(item.szName, sizeof item.szName, "%s", name);
    std::snprintf(item.szExt, sizeof item.szExt, "%s", ext);
    item.nKind = kind;
    item.nWidth = w;
    item.nHeight = h;
    item.dDuration = seconds;
    item.nFileSize = 5000;
    item.stCreation = SYSTEMTIME{2026, 3, 0, 4, 5, 6, 7, 0};
    return item;
}

class MediaLibraryPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(folder.empty());
        Strings().Load(Language::kEnglish);
        library = std::make_unique<MediaLibrary>(folder);
        std::vector<unsigned char> jpeg;
        std::vector<unsigned char> grey(100 * 90 * 3, 128);
        ASSERT_TRUE(EncodeJpeg(grey.data(), 100, 90, 75, jpeg));
        library->Append(Item("holiday", ".mpg", MEDIA_VIDEO, 720, 576, 65.5), jpeg);
        library->Append(Item("song", ".mp3", MEDIA_AUDIO, 0, 0, 3725.0), jpeg);
        library->Append(Item("beach", ".jpg", MEDIA_PICTURE, 1024, 768, 0.0), jpeg);
        library->Append(Item("surf", ".avi", MEDIA_VIDEO, 320, 240, 10.0), jpeg);
    }

    std::vector<std::string> Shown(MediaLibraryPanel& panel)
    {
        std::vector<std::string> names;
        for (int r = 0; r < panel.Model().rowCount(); ++r)
            names.push_back(panel.Model().index(r, 0).data().toString().toStdString());
        return names;
    }

    testsupport::ScratchFolder scratch{"library-ui"};
    const std::string& folder = scratch.Path();
    std::unique_ptr<MediaLibrary> library;
};

}  // namespace

TEST_F(MediaLibraryPanelTest, DetailTextsAndToolTipsInTheirFormats)
{
    MediaLibraryPanel panel(*library);
    MediaLibraryModel& m = panel.Model();
    ASSERT_EQ(m.rowCount(), 3) << "Video & Audio first";
    auto text = [&](int row, int column) { return m.index(row, column).data().toString().toStdString(); };
    EXPECT_EQ(text(0, MediaLibraryModel::kName), "holiday.mpg");
    EXPECT_EQ(text(0, MediaLibraryModel::kDate), "2026-03-04 05:06");
    EXPECT_EQ(text(0, MediaLibraryModel::kDuration), "00:01:05");
    EXPECT_EQ(text(0, MediaLibraryModel::kFileSize), "4 KB");
    EXPECT_EQ(text(0, MediaLibraryModel::kSize), "720 * 576");
    EXPECT_EQ(text(0, MediaLibraryModel::kPath), "/media/holiday.mpg");
    EXPECT_EQ(text(1, MediaLibraryModel::kDuration), "01:02:05");
    EXPECT_EQ(m.headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(), "File size");
    EXPECT_EQ(m.index(0, 0).data(Qt::ToolTipRole).toString(), "name: holiday.mpg\nsize: 720 * 576 \nduration: 00:01:05");
    EXPECT_EQ(m.index(1, 0).data(Qt::ToolTipRole).toString(), "name: song.mp3\nsize:\nduration: 01:02:05");
    EXPECT_FALSE(m.index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull()) << "the thumbnail";
    panel.PageBar()->setCurrentIndex(0);
    EXPECT_EQ(m.index(0, 0).data(Qt::ToolTipRole).toString(), "name: beach.jpg\nsize: 1024 * 768 \nduration:\n");
}

TEST_F(MediaLibraryPanelTest, PagesFiltersRemoveAndFavourites)
{
    MediaLibraryPanel panel(*library);
    using Names = std::vector<std::string>;
    EXPECT_EQ(Shown(panel), (Names{"holiday.mpg", "song.mp3", "surf.avi"}));
    panel.FilterBox()->setCurrentIndex(1);
    EXPECT_EQ(Shown(panel), (Names{"holiday.mpg", "surf.avi"}));
    panel.FilterBox()->setCurrentIndex(2);
    EXPECT_EQ(Shown(panel), (Names{"song.mp3"}));
    panel.FilterBox()->setCurrentIndex(3);
    EXPECT_TRUE(Shown(panel).empty()) << "no pictures on the Video & Audio page";
    panel.PageBar()->setCurrentIndex(0);
    EXPECT_EQ(Shown(panel), (Names{"beach.jpg"}));
    EXPECT_EQ(panel.FilterBox()->itemText(4), "Show Favorite Only");
    library->SetFavourite(3, true);
    panel.PageBar()->setCurrentIndex(1);
    panel.FilterBox()->setCurrentIndex(4);
    EXPECT_EQ(Shown(panel), (Names{"surf.avi"}));

    // Remove: gone from the view at once and from the next store.
    panel.FilterBox()->setCurrentIndex(0);
    panel.SetBrowseMode(1);
    panel.DetailView()->selectionModel()->select(panel.Model().index(0, 0),
                                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::keyClick(&panel, Qt::Key_Delete);
    EXPECT_EQ(Shown(panel), (Names{"song.mp3", "surf.avi"}));
    MediaLibrary stored(folder);
    stored.Load();
    EXPECT_EQ(stored.Count(), 3u);
}

TEST_F(MediaLibraryPanelTest, DroppedFilesAreImported)
{
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    ASSERT_TRUE(picture.save(QString::fromStdString(folder + "dropped.png")));
    MediaLibraryPanel panel(*library);
    QSignalSpy done(&panel, &MediaLibraryPanel::importDone);
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(folder + "dropped.png")),
                  QUrl::fromLocalFile(QString::fromStdString(folder + "missing.png"))});
    ASSERT_TRUE(panel.ImportDropped(&mime));
    ASSERT_TRUE(done.wait(10000));
    EXPECT_EQ(done.front().front().toInt(), 1);
    ASSERT_EQ(library->Count(), 5u);
    EXPECT_STREQ(library->Entry(4).item.szName, "dropped");
    panel.PageBar()->setCurrentIndex(0);
    EXPECT_EQ(Shown(panel), (std::vector<std::string>{"beach.jpg", "dropped.png"}));

    // Files that come while an import runs are read after it; an import quicker than
    // the progress window's delay does not leave the window behind.
    panel.ImportFiles({QString::fromStdString(folder + "dropped.png")});
    panel.ImportFiles({QString::fromStdString(folder + "dropped.png")});
    EXPECT_TRUE(panel.ImportPending());
    QTRY_VERIFY_WITH_TIMEOUT(!panel.ImportPending(), 10000);
    QTest::qWait(500);
    EXPECT_EQ(library->Count(), 7u);
    for (QProgressDialog* progress : panel.findChildren<QProgressDialog*>())
        EXPECT_FALSE(progress->isVisible());
}

TEST_F(MediaLibraryPanelTest, TheScreenPageAddsBackgroundsAndHandsOutTemplates)
{
    ScreenLibrary screens;
    screens.Load(folder);
    ScreenPage page(screens, folder);
    EXPECT_EQ(page.Items()->count(), 0);
    QImage picture(160, 120, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    ASSERT_TRUE(picture.save(QString::fromStdString(folder + "sky.png")));
    std::ofstream(folder + "fake.png") << "no picture";
    EXPECT_FALSE(page.AddBackground(QString::fromStdString(folder + "fake.png")));
    ASSERT_TRUE(page.AddBackground(QString::fromStdString(folder + "sky.png")));
    EXPECT_EQ(page.Items()->count(), 1);
    ScreenLibrary reread;
    ASSERT_TRUE(reread.Load(folder)) << "saved as 3D_Bg";
    EXPECT_EQ(reread.Count(), 1);

    QSignalSpy added(&page, &ScreenPage::addScreenItem);
    page.Items()->setCurrentRow(0);
    QTest::mouseClick(page.findChildren<QPushButton*>().front(), Qt::LeftButton);
    ASSERT_EQ(added.count(), 1);
    const ScreenOp item = added.front().front().value<ScreenOp>();
    EXPECT_EQ(item.dEndTime, 5.0);
    EXPECT_EQ(item.pBackground, nullptr);
}
