// The project dialog and the project list as a user meets them: what they list and
// preselect, and a dialog that stays open while its name is refused.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "studio/project/ui/ProjectDialog.h"
#include "studio/project/ui/ProjectListDialog.h"
#include "studio/shell/StringTable.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ScriptedPrompt.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

class ProjectDialogsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(data.empty());
        database = std::make_unique<ProjectDatabase>(data);
        Strings().Load(Language::kEnglish);
    }
    void TearDown() override { Strings().Load(Language::kEnglish); }
    testsupport::ScratchFolder scratch{"dialogs"};
    const std::string& data = scratch.Path();
    std::unique_ptr<ProjectDatabase> database;
    testsupport::ScriptedPrompt prompt;
};

}  // namespace

TEST_F(ProjectDialogsTest, TheProjectDialogListsSizesAndAspectsAndPreselectsByLanguage)
{
    ProjectDialog dialog(*database, prompt);
    EXPECT_EQ(dialog.windowTitle(), "New Project");
    QComboBox* sizes = dialog.FrameSizes();
    ASSERT_EQ(sizes->count(), 16);
    EXPECT_EQ(sizes->itemText(0), "80*60");
    EXPECT_EQ(sizes->itemText(15), "720*576");
    EXPECT_EQ(sizes->currentText(), "352*240");
    QComboBox* aspects = dialog.Aspects();
    ASSERT_EQ(aspects->count(), 3);
    EXPECT_EQ(aspects->itemText(0), "Original Aspect");
    EXPECT_EQ(aspects->itemText(1), "TV Aspect (4:3) ") << "with its trailing blank";
    EXPECT_EQ(aspects->itemText(2), "Wide Aspect (16:9)");
    EXPECT_EQ(aspects->currentIndex(), 0);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.NameField()->hasFocus(); }, 2000)) << "the name has the focus";
    EXPECT_EQ(dialog.OkButton()->accessibleName(), "OK");

    Strings().Load(Language::kChinese);
    ProjectDialog chinese(*database, prompt, "Save Project");
    EXPECT_EQ(chinese.windowTitle(), "Save Project");
    EXPECT_EQ(chinese.FrameSizes()->currentText(), "352*288");
}

TEST_F(ProjectDialogsTest, TheDialogStaysOpenWhileTheNameIsRefused)
{
    ProjectDialog dialog(*database, prompt);
    dialog.show();
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(prompt.LastText(), "Please enter project name.");

    dialog.NameField()->setText("Garden");
    dialog.FrameSizes()->setCurrentIndex(15);
    dialog.Aspects()->setCurrentIndex(2);
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Choice().name, "Garden");
    EXPECT_EQ(dialog.Choice().header.nWidth, 720);
    EXPECT_EQ(dialog.Choice().header.nHeight, 576);
    EXPECT_EQ(dialog.Choice().header.nAspectNumerator, 16);
    EXPECT_EQ(dialog.Choice().header.nAspectDenominator, 9);

    // The same name again is refused and the dialog stays.
    ProjectDialog again(*database, prompt);
    again.show();
    again.NameField()->setText("Garden");
    QTest::mouseClick(again.OkButton(), Qt::LeftButton);
    EXPECT_TRUE(again.isVisible());
    EXPECT_EQ(prompt.LastText(), "The specified name is already exist in project database.");
    // Original aspect is the frame's own.
    again.NameField()->setText("Pond");
    again.FrameSizes()->setCurrentIndex(11);
    QTest::mouseClick(again.OkButton(), Qt::LeftButton);
    EXPECT_EQ(again.Choice().header.nAspectNumerator, 352);
    EXPECT_EQ(again.Choice().header.nAspectDenominator, 288);
}

TEST_F(ProjectDialogsTest, TheListOpensAndDeletes)
{
    for (const char* name : {"Alpha", "Beta", "Gone"})
        ASSERT_TRUE(database->CreateProject(name, &prompt));
    std::ofstream(data + "Beta/Beta.mpf") << "x";
    rmdir((data + "Gone").c_str());

    ProjectListDialog list(*database, prompt);
    EXPECT_EQ(list.windowTitle(), "Open Project");
    ASSERT_EQ(list.List()->count(), 2);
    EXPECT_EQ(list.List()->currentRow(), 0);

    // Delete Beta, answered Yes: the file goes, the folder stays.
    list.List()->setCurrentRow(1);
    prompt.answers = {kAnswerYes};
    QTest::mouseClick(list.DeleteButton(), Qt::LeftButton);
    EXPECT_EQ(prompt.LastText(), "Are you sure to delete the selected project?");
    EXPECT_EQ(list.List()->count(), 1);
    EXPECT_NE(access((data + "Beta/Beta.mpf").c_str(), F_OK), 0);
    EXPECT_EQ(access((data + "Beta").c_str(), F_OK), 0);

    // Nothing selected: each button says so.
    list.List()->setCurrentRow(-1);
    QTest::mouseClick(list.OpenButton(), Qt::LeftButton);
    EXPECT_EQ(prompt.LastText(), "Please select a prject name to open it.");
    QTest::mouseClick(list.DeleteButton(), Qt::LeftButton);
    EXPECT_EQ(prompt.LastText(), "Please select a project.");
    EXPECT_EQ(prompt.shown.back().icon, kPromptWarning);

    list.List()->setCurrentRow(0);
    QTest::mouseClick(list.OpenButton(), Qt::LeftButton);
    EXPECT_EQ(list.result(), QDialog::Accepted);
    EXPECT_EQ(list.Chosen(), "Alpha");
}
