// The autosave controller on a model of the test's own, with its clock in the test's
// hands: when a copy is written, when it goes, and what the recovery question does.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QCoreApplication>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/ReadFile.h"
#include "studio/project/ProjectFile.h"
#include "studio/shell/StringTable.h"
#include "studio/shell/ui/AutosaveController.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ScriptedPrompt.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

struct View : IProjectView {
    int held = 0, replaced = 0, reset = 0;
    bool TimelineBusy() override { return false; }
    void HoldPreview() override { ++held; }
    void ProjectReplaced() override { ++replaced; }
    void TimelineReset(bool loaded) override { reset += loaded ? 1 : 0; }
};

void AddTitle(ProjectModel& model, const char* words)
{
    TextOp* text = new TextOp();
    std::snprintf(text->szText, sizeof text->szText, "%s", words);
    text->dStartTime = 0.0;
    text->dEndTime = 2.0;
    text->nOpacity = 255;
    text->nOrder = model.ObjectCount();
    ASSERT_TRUE(model.AppendObject(OBJ_TEXT, text, 0));
}

class AutosaveControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(root.empty());
        setenv("ZOLVEX_DATA_DIR", (root + "Data").c_str(), 1);
        Strings().Load(Language::kEnglish);
        model.name = Str(96);
        model.header = ProjectHeader{352, 288, 4, 3};
        controller = MakeController();
    }
    void TearDown() override
    {
        controller.reset();
        unsetenv("ZOLVEX_DATA_DIR");
    }
    std::unique_ptr<AutosaveController> MakeController()
    {
        auto c = std::make_unique<AutosaveController>(model, prompt, view);
        c->SetClock([this] { return now; });
        return c;
    }
    // An edit as the timeline makes it.
    void Edit(const char* words)
    {
        AddTitle(model, words);
        model.bModified = true;
        ++model.nChanges;
    }
    // Lets `ms` pass, looking at the model as the timer does.
    void Pass(int64_t ms)
    {
        for (int64_t t = 0; t < ms; t += AutosaveController::kPollMs) {
            now += AutosaveController::kPollMs;
            controller->Poll();
        }
        controller->Files().Flush();
    }
    uint64_t Written() { return controller->Files().Written(); }

    testsupport::ScratchFolder scratch{"autosave-ui"};
    const std::string& root = scratch.Path();
    ProjectModel model;
    testsupport::ScriptedPrompt prompt;
    View view;
    int64_t now = 0;
    std::unique_ptr<AutosaveController> controller;
};

}  // namespace

TEST_F(AutosaveControllerTest, WrittenAfterAPauseAndAtLeastOnceAMinute)
{
    Pass(10000);
    EXPECT_EQ(Written(), 0u) << "nothing changed";

    Edit("one");
    Pass(2500);
    EXPECT_EQ(Written(), 0u) << "the edits have not paused for long enough yet";
    Pass(1000);
    EXPECT_EQ(Written(), 1u);
    EXPECT_EQ(controller->Files().Stem(), "Utitled~" + std::to_string(getpid()));
    Pass(10000);
    EXPECT_EQ(Written(), 1u) << "no change since";

    // Edits every two seconds never pause, yet a copy is made within the minute.
    const int64_t since = now;
    for (int k = 0; k < 40 && Written() == 1u; ++k) {
        Edit("more");
        Pass(2000);
    }
    EXPECT_EQ(Written(), 2u);
    EXPECT_GE(now - since, AutosaveController::kLongestMs);
    EXPECT_LE(now - since, AutosaveController::kLongestMs + 2500);

    // The copy is the project as it stood.
    controller->Files().Flush();
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(ReadRegularFile((controller->Files().Folder() + controller->Files().Stem() + ".mpf").c_str(),
                                1 << 30, bytes));
    const int objects = model.ObjectCount();
    Edit("last");
    Pass(3500);
    ASSERT_TRUE(ReadRegularFile((controller->Files().Folder() + controller->Files().Stem() + ".mpf").c_str(),
                                1 << 30, bytes));
    ProjectModel back;
    ASSERT_TRUE(ProjectStore::Parse(bytes, back));
    EXPECT_EQ(back.ObjectCount(), objects + 1);
}

TEST_F(AutosaveControllerTest, ASaveOrACleanCloseRemovesTheCopy)
{
    Edit("one");
    Pass(3500);
    ASSERT_TRUE(controller->Files().Holding());
    const std::string copy = controller->Files().Folder() + controller->Files().Stem() + ".mpf";
    ASSERT_EQ(access(copy.c_str(), F_OK), 0);

    // Saved as "Trip": the window hears ProjectReplaced with nothing modified.
    model.name = "Trip";
    model.bModified = false;
    controller->ProjectReplaced();
    EXPECT_FALSE(controller->Files().Holding());
    EXPECT_NE(access(copy.c_str(), F_OK), 0);
    Pass(10000);
    EXPECT_EQ(Written(), 1u) << "a saved project needs no copy";

    Edit("two");
    Pass(3500);
    EXPECT_EQ(controller->Files().Stem(), "Trip");
    controller->Closed();
    EXPECT_TRUE(controller->Files().ListRecoverable().empty());
    EXPECT_FALSE(controller->Files().Holding());
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(AutosaveControllerTest, YesRestoresTheProjectModifiedAndNoRemovesIt)
{
    // A studio that ended without a close left its copy of "Trip".
    model.name = "Trip";
    Edit("one");
    Edit("two");
    Pass(3500);
    const std::vector<unsigned char> expected = ProjectStore::Serialise(model, 1.0f, 1.0f);
    controller.reset();
    model.Clear();
    model.name = Str(96);
    model.bModified = false;

    // The next start asks, and Yes brings the project back.
    controller = MakeController();
    prompt.answers = {kAnswerYes};
    controller->Start();
    QCoreApplication::processEvents();
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_NE(prompt.shown[0].text.find("\"Trip\""), std::string::npos) << prompt.shown[0].text;
    EXPECT_EQ(prompt.shown[0].buttons, kPromptYesNo);
    EXPECT_EQ(prompt.shown[0].title, Str(0));
    EXPECT_EQ(model.name, "Trip");
    EXPECT_TRUE(model.bModified) << "the restore is not saved yet";
    EXPECT_EQ(ProjectStore::Serialise(model, 1.0f, 1.0f), expected);
    EXPECT_EQ(view.held, 1);
    EXPECT_EQ(view.reset, 1);
    EXPECT_EQ(view.replaced, 1);
    // It goes on with that copy, and nothing more is asked.
    EXPECT_EQ(controller->Files().Stem(), "Trip");
    EXPECT_TRUE(controller->Files().ListRecoverable().empty());

    // Ended again without a close; this time the answer is No: the copy goes.
    controller.reset();
    model.Clear();
    model.name = Str(96);
    model.bModified = false;
    controller = MakeController();
    prompt.answers = {kAnswerNo};
    controller->Start();
    QCoreApplication::processEvents();
    EXPECT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(model.ObjectCount(), 0);
    EXPECT_EQ(model.name, Str(96));
    EXPECT_TRUE(controller->Files().ListRecoverable().empty());
    Pass(10000);
    EXPECT_EQ(prompt.shown.size(), 2u);
}

TEST_F(AutosaveControllerTest, OpeningAProjectOffersItsOwnCopyOnly)
{
    {
        // Two copies left behind: of "Trip" and of an unnamed project.
        model.name = "Trip";
        Edit("trip");
        Pass(3500);
        auto other = MakeController();
        other->Files().Save(ProjectStore::Serialise(model, 1.0f, 1.0f), Str(96), true);
        other->Files().Flush();
        controller.reset();
    }
    model.Clear();
    model.bModified = false;
    model.name = Str(96);
    controller = MakeController();
    controller->ProjectReplaced();  // what the window knew at its start

    // Opening "Holiday" asks nothing: no copy of it.
    model.name = "Holiday";
    controller->ProjectReplaced();
    EXPECT_TRUE(prompt.shown.empty());
    // Opening "Trip" asks about Trip's copy alone.
    prompt.answers = {kAnswerYes};
    model.name = "Trip";
    controller->ProjectReplaced();
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_NE(prompt.shown[0].text.find("\"Trip\""), std::string::npos);
    EXPECT_EQ(model.ObjectCount(), 1);
    EXPECT_TRUE(model.bModified);
    ASSERT_EQ(controller->Files().ListRecoverable().size(), 1u);
    EXPECT_TRUE(controller->Files().ListRecoverable()[0].unnamed);
}

TEST_F(AutosaveControllerTest, ADamagedCopyIsReportedAndKeptAside)
{
    model.name = "Trip";
    Edit("one");
    Pass(3500);
    const std::string copy = controller->Files().Folder() + "Trip.mpf";
    controller.reset();
    {
        std::vector<unsigned char> bytes(10, 0xEE);
        FILE* f = std::fopen(copy.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    model.Clear();
    model.name = Str(96);
    model.bModified = false;
    AddTitle(model, "kept");
    controller = MakeController();
    prompt.answers = {kAnswerYes, kAnswerOk};
    controller->Start();
    QCoreApplication::processEvents();
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[1].icon, kPromptWarning);
    EXPECT_NE(prompt.shown[1].text.find("Trip.damaged"), std::string::npos) << prompt.shown[1].text;
    EXPECT_EQ(model.ObjectCount(), 1) << "the project open stays as it was";
    EXPECT_EQ(model.name, Str(96));
    EXPECT_EQ(access((controller->Files().Folder() + "Trip.damaged").c_str(), F_OK), 0);
    EXPECT_TRUE(controller->Files().ListRecoverable().empty());
}
