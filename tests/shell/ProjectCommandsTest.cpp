// The New, Open and Save Project commands against a scratch data folder, with the
// dialogs and the window played by the test.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <string>

#include "studio/project/ProjectDatabase.h"
#include "studio/shell/ProjectCommands.h"
#include "studio/shell/StringTable.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ScriptedPrompt.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

struct Dialogs : IProjectDialogs {
    ProjectDatabase* database = nullptr;
    IPrompt* prompt = nullptr;
    std::deque<NewProjectChoice> projects;  // an empty name stands for Cancel
    std::deque<std::string> opens;
    std::vector<std::string> titles;
    bool AskProject(const std::string& title, NewProjectChoice* choice) override
    {
        titles.push_back(title);
        if (projects.empty() || projects.front().name.empty()) {
            if (!projects.empty())
                projects.pop_front();
            return false;
        }
        *choice = projects.front();
        projects.pop_front();
        return database->CreateProject(choice->name, prompt);
    }
    bool AskProjectToOpen(std::string* name) override
    {
        if (opens.empty())
            return false;
        *name = opens.front();
        opens.pop_front();
        return true;
    }
};

struct View : IProjectView {
    bool busy = false;
    int held = 0, replaced = 0;
    bool TimelineBusy() override { return busy; }
    void HoldPreview() override { ++held; }
    void ProjectReplaced() override { ++replaced; }
};

class ProjectCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(root.empty());
        setenv("ZOLVEX_DATA_DIR", (root + "Data").c_str(), 1);
        Strings().Load(Language::kEnglish);
        database = std::make_unique<ProjectDatabase>(DataFolder());
        store = std::make_unique<ProjectStore>(model);
        store->SetReadyDelay(0);
        store->SetPrompt(&prompt);
        store->SetDatabase(database.get());
        dialogs.database = database.get();
        dialogs.prompt = &prompt;
        commands = std::make_unique<ProjectCommands>(model, *store, prompt, dialogs, view);
        model.name = Str(96);
    }
    void TearDown() override { unsetenv("ZOLVEX_DATA_DIR"); }
    testsupport::ScratchFolder scratch{"commands"};
    const std::string& root = scratch.Path();
    ProjectModel model;
    testsupport::ScriptedPrompt prompt;
    std::unique_ptr<ProjectDatabase> database;
    std::unique_ptr<ProjectStore> store;
    Dialogs dialogs;
    View view;
    std::unique_ptr<ProjectCommands> commands;
};

}  // namespace

TEST_F(ProjectCommandsTest, NewThenSaveThenOpenAgain)
{
    dialogs.projects.push_back({"Trip", ProjectHeader{720, 576, 4, 3}});
    ASSERT_TRUE(commands->NewProject());
    EXPECT_EQ(dialogs.titles.back(), "New Project");
    EXPECT_EQ(model.name, "Trip");
    EXPECT_EQ(model.header.nWidth, 720);
    EXPECT_TRUE(view.held == 1 && view.replaced == 1);
    EXPECT_FALSE(commands->Untitled());

    // A named project saves at once, without a dialog.
    model.bModified = true;
    ASSERT_TRUE(commands->SaveProject());
    EXPECT_FALSE(model.bModified);
    EXPECT_EQ(dialogs.titles.size(), 1u);
    EXPECT_EQ(access((DataFolder() + "Trip/Trip.mpf").c_str(), F_OK), 0);

    // Open, unmodified: no question; the chosen project comes with its header.
    model.header = ProjectHeader{};
    dialogs.opens.push_back("Trip");
    ASSERT_TRUE(commands->OpenProject());
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_EQ(model.header.nWidth, 720);
    EXPECT_EQ(model.name, "Trip");

    // Busy: nothing happens at all.
    view.busy = true;
    EXPECT_FALSE(commands->NewProject());
    EXPECT_FALSE(commands->OpenProject());
    EXPECT_EQ(dialogs.titles.size(), 1u);
}

TEST_F(ProjectCommandsTest, AnUntitledProjectIsNamedWhenSavedAndScaled)
{
    EXPECT_TRUE(commands->Untitled());
    model.header = ProjectHeader{352, 240, 352, 240};
    // Cancel: nothing saved.
    dialogs.projects.push_back({"", {}});
    EXPECT_FALSE(commands->SaveProject());
    EXPECT_EQ(dialogs.titles.back(), "Save Project");
    EXPECT_TRUE(commands->Untitled());

    dialogs.projects.push_back({"Named", ProjectHeader{704, 480, 16, 9}});
    ASSERT_TRUE(commands->SaveProject());
    EXPECT_EQ(model.name, "Named");
    EXPECT_EQ(model.header.nAspectNumerator, 16);
    std::vector<std::string> names;
    ASSERT_TRUE(database->Read(&names));
    EXPECT_EQ(names, (std::vector<std::string>{"Named"}));
}

TEST_F(ProjectCommandsTest, OpeningAModifiedProjectAsksFirst)
{
    dialogs.projects.push_back({"First", ProjectHeader{320, 240, 4, 3}});
    ASSERT_TRUE(commands->NewProject());
    ASSERT_TRUE(commands->SaveProject());
    // Modified and answered No: not saved, the list still comes.
    model.header.nWidth = 160;
    model.bModified = true;
    prompt.answers = {kAnswerNo};
    dialogs.opens.push_back("First");
    ASSERT_TRUE(commands->OpenProject());
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text, "The project has been modified , Do you want to save it?");
    EXPECT_EQ(prompt.shown[0].icon, kPromptInformation);
    EXPECT_EQ(prompt.shown[0].buttons, kPromptYesNo);
    EXPECT_EQ(model.header.nWidth, 320) << "the file as it was saved";
    EXPECT_FALSE(model.bModified);
    // Cancel in the list: the project stays.
    EXPECT_FALSE(commands->OpenProject());
    EXPECT_EQ(model.name, "First");
}
