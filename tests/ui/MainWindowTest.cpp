// The main window as it opens: its title, pages and menu buttons, the keyboard keys
// that open the menus, the language choice, and a name for every control.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QMenu>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cstdlib>

#include "studio/shell/StringTable.h"
#include "studio/shell/StudioSettings.h"
#include "studio/shell/ui/MainWindow.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ScriptedPrompt.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(root.empty());
        setenv("ZOLVEX_DATA_DIR", (root + "Data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root + "config").c_str(), 1);
        Strings().Load(Language::kEnglish);
    }
    void TearDown() override
    {
        Strings().Load(Language::kEnglish);
        unsetenv("ZOLVEX_DATA_DIR");
    }
    testsupport::ScratchFolder scratch{"window"};
    const std::string& root = scratch.Path();
    testsupport::ScriptedPrompt prompt;
};

// The menu a key opened, read while it is open and then closed.
QString MenuOpenedBy(QWidget& window, Qt::Key key)
{
    // The offscreen platform may leave a closed menu as the active window.
    window.activateWindow();
    QTest::qWaitForWindowActive(&window);
    QString title;
    QTimer::singleShot(100, [&] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            if (auto* menu = qobject_cast<QMenu*>(popup))
                title = menu->actions().isEmpty() ? QString("(empty)") : menu->actions().first()->text();
            popup->close();
        }
    });
    QTest::keyClick(&window, key, Qt::ControlModifier);
    QTest::qWait(200);
    return title;
}

}  // namespace

TEST_F(MainWindowTest, OpensWithItsTitlePagesAndMenus)
{
    MainWindow window(&prompt);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.windowTitle(), "Zolvex Video Studio - Utitled");
    ASSERT_EQ(window.Pages()->count(), 7);
    const char* pages[] = {"Create Video", "Animation Effect", "3D Screen", "Transition", "Static Effect", "Text",
                           "Save Movie"};
    for (int k = 0; k < 7; ++k)
        EXPECT_EQ(window.Pages()->tabText(k), pages[k]);
    const char* buttons[] = {"File", "Animation Effect", "Navigation", "Help"};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(window.MenuButton(k)->accessibleName(), buttons[k]);
    QStringList file;
    for (QAction* a : window.MenuButton(0)->menu()->actions())
        if (!a->isSeparator())
            file << a->text();
    EXPECT_EQ(file, (QStringList{"New Project", "Open Project", "Save Project", "Adjust Audio Level",
                                 "Picture Play Time", "Record Audio", "Smooth preview", "Exit"}));

    // Ctrl+F, Ctrl+T, Ctrl+N, Ctrl+H open the four menus (once the preview, made
    // after the first paint, has settled).
    QTRY_VERIFY(window.Preview().IsOpen());
    QTest::qWait(300);
    EXPECT_EQ(MenuOpenedBy(window, Qt::Key_F), "New Project");
    EXPECT_EQ(MenuOpenedBy(window, Qt::Key_T), "Import");
    EXPECT_EQ(MenuOpenedBy(window, Qt::Key_N), "Create Video");
    EXPECT_EQ(MenuOpenedBy(window, Qt::Key_H), "Help Content");

    // Screen readers and test tools find every button by a name.
    for (QAbstractButton* b : window.findChildren<QAbstractButton*>()) {
        if (!b->isVisibleTo(&window))
            continue;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(b);
        ASSERT_NE(a, nullptr);
        EXPECT_FALSE(a->text(QAccessible::Name).isEmpty()) << b->objectName().toStdString();
    }
}

TEST_F(MainWindowTest, TheLanguageChangesEveryTextAndIsKept)
{
    {
        MainWindow window(&prompt);
        QAction* chinese = nullptr;
        for (QAction* a : window.MenuButton(3)->menu()->actions())
            if (a->text() == QString::fromUtf8("中文"))
                chinese = a;
        ASSERT_NE(chinese, nullptr);
        chinese->trigger();
        EXPECT_EQ(window.Pages()->tabText(0), QString::fromStdString(Str(1)));
        EXPECT_NE(window.Pages()->tabText(0), "Create Video");
        EXPECT_EQ(window.windowTitle(), QString::fromStdString(Str(0) + " - " + Str(96)));
    }
    // The next start speaks Chinese too.
    Strings().Load(Language::kEnglish);
    EXPECT_EQ(LanguageSetting(), 1);
}
