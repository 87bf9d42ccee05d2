// The main window around the timeline editor: the library's Add to Timeline and the
// 3D Screen page reach the timeline, every edit reaches the rendering filter, the
// keys undo and redo, and a new project starts an empty history.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <cstdlib>

#include "studio/project/ui/MediaLibraryPanel.h"
#include "studio/project/ui/ScreenPage.h"
#include "studio/shell/StringTable.h"
#include "studio/shell/ui/MainWindow.h"
#include "tests/ui/WindowFixture.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

class TimelineWiringTest : public testsupport::WindowFixture {
protected:
    TimelineWiringTest() : WindowFixture("wiring") {}
    // Lets the queued messages of an edit and its busy period pass.
    static void Settle(MainWindow& window)
    {
        QApplication::processEvents();
        window.Editor().WaitUntilReady();
        QApplication::processEvents();
    }
};

TEST_F(TimelineWiringTest, LibraryAndPagesReachTheTimelineAndEveryEditReachesTheFilter)
{
    MainWindow window(&prompt);
    window.Editor().SetBusyStep(0);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTRY_VERIFY(window.Preview().IsOpen());
    const int64_t refreshes = window.Preview().Refreshes();

    AddPicture(window, "one.png");
    AddPicture(window, "two.png");
    auto* library = window.findChild<MediaLibraryPanel*>();
    ASSERT_NE(library, nullptr);
    emit library->addToTimeline({0, 1});
    Settle(window);
    ASSERT_EQ(window.Model().SceneCount(), 2);
    EXPECT_DOUBLE_EQ(window.Model().TotalLength(), 2.0 * window.PictureSeconds());
    EXPECT_GT(window.Preview().Refreshes(), refreshes);
    EXPECT_DOUBLE_EQ(window.Preview().Duration(), 2.0 * window.PictureSeconds());
    EXPECT_TRUE(window.windowTitle().endsWith(" *"));

    auto* screens = window.findChild<ScreenPage*>();
    ASSERT_NE(screens, nullptr);
    ScreenOp item{};
    item.nStyle = 4;
    item.pMaskPicture = &item;  // a stale cache pointer must not reach the timeline
    emit screens->addScreenItem(item);
    Settle(window);
    ASSERT_EQ(window.Model().ObjectCount(), 1);
    EXPECT_EQ(window.Model().Kind(0), OBJ_SCREEN3D);
    const auto* added = static_cast<const ScreenOp*>(window.Model().Object(0));
    EXPECT_EQ(added->nStyle, 4);
    EXPECT_EQ(added->pMaskPicture, nullptr);

    // Ctrl+Z takes the 3D screen away again, Ctrl+Y brings it back.
    QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
    Settle(window);
    EXPECT_EQ(window.Model().ObjectCount(), 0);
    QTest::keyClick(&window, Qt::Key_Y, Qt::ControlModifier);
    Settle(window);
    EXPECT_EQ(window.Model().ObjectCount(), 1);

    // Commands by their identifiers: Move Left on the selected scene needs a scene selected.
    window.Editor().SelectScene(1);
    EXPECT_TRUE(window.RunCommand(10146));
    Settle(window);
    EXPECT_EQ(window.Editor().SelectedScene(), 0);
    EXPECT_FALSE(window.RunCommand(12345));
}

}  // namespace
