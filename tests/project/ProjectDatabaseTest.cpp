// The project database: its bytes, the project dialog's name check in its order with
// each message, registering after a save, the list that opens and deletes projects,
// and what a damaged database or a failed write leaves.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "studio/project/ProjectDatabase.h"
#include "studio/shell/StringTable.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ScriptedPrompt.h"

using namespace zolvex;
using namespace zolvex::studio;
using zolvex::testsupport::ScriptedPrompt;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

bool IsFolder(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class ProjectDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(data.empty());
        Strings().Load(Language::kEnglish);
    }
    testsupport::ScratchFolder scratch{"projectdb"};
    const std::string& data = scratch.Path();
    ScriptedPrompt prompt;
};

}  // namespace

TEST_F(ProjectDatabaseTest, NamesAreRegisteredInOrderInTheirSlots)
{
    ProjectDatabase db(data);
    EXPECT_FALSE(db.Exists());
    ASSERT_TRUE(db.CreateProject("Holiday", &prompt));
    ASSERT_TRUE(db.CreateProject("Wedding 2026", &prompt));
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_TRUE(IsFolder(data + "Holiday") && IsFolder(data + "Wedding 2026"));

    const Bytes bytes = FileBytes(db.Path());
    ASSERT_EQ(bytes.size(), 4u + 2 * 260);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 4), (Bytes{2, 0, 0, 0}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[4])), "Holiday");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[264])), "Wedding 2026");
    EXPECT_EQ(bytes[4 + 7], 0);

    // After a save: a listed name is not added twice; a new one is appended.
    db.AddProject("Holiday");
    db.AddProject("");
    db.AddProject("Saved");
    std::vector<std::string> names;
    ASSERT_TRUE(db.Read(&names));
    EXPECT_EQ(names, (std::vector<std::string>{"Holiday", "Wedding 2026", "Saved"}));
    EXPECT_TRUE(IsFolder(data + "Saved"));
}

TEST_F(ProjectDatabaseTest, TheNameCheckRefusesInItsOrderWithEachMessage)
{
    ProjectDatabase db(data);
    ASSERT_TRUE(db.CreateProject("Con", &prompt)) << "only the exact reserved name is refused";
    struct Case {
        std::string name;
        std::string text, title;
        PromptIcon icon;
    };
    const Case cases[] = {
        {"con", "Failed to create project with the name", "Error", kPromptWarning},
        {"", "Please enter project name.", "Zolvex Video Studio", kPromptInformation},
        {"Con", "The specified name is already exist in project database.", "Zolvex Video Studio", kPromptWarning},
        {"a/b", "The specified name is not a valid project name.", "Zolvex Video Studio", kPromptWarning},
        {"..", "The specified name is not a valid project name.", "Zolvex Video Studio", kPromptWarning},
        {std::string(300, 'x'), "The specified name is not a valid project name.", "Zolvex Video Studio",
         kPromptWarning},
    };
    const Bytes before = FileBytes(db.Path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.substr(0, 20));
        prompt.shown.clear();
        EXPECT_FALSE(db.CreateProject(c.name, &prompt));
        ASSERT_EQ(prompt.shown.size(), 1u);
        EXPECT_EQ(prompt.shown[0].text, c.text);
        EXPECT_EQ(prompt.shown[0].title, c.title);
        EXPECT_EQ(prompt.shown[0].icon, c.icon);
    }
    EXPECT_EQ(FileBytes(db.Path()), before) << "no refusal touches the database";
    EXPECT_FALSE(IsFolder(data + "a"));
}

TEST_F(ProjectDatabaseTest, TheListShowsProjectsWithFoldersAndDeleteKeepsTheFolder)
{
    ProjectDatabase db(data);
    for (const char* name : {"One", "Two", "Three"})
        ASSERT_TRUE(db.CreateProject(name, &prompt));
    WriteBytes(data + "Two/Two.mpf", Bytes{1, 2, 3});
    std::system(("rm -rf '" + data + "Three'").c_str());  // removed by hand

    std::vector<std::string> shown = db.OpenableProjects();
    EXPECT_EQ(shown, (std::vector<std::string>{"One", "Two"}));
    ASSERT_TRUE(db.DeleteProject("Two", shown));
    EXPECT_EQ(shown, (std::vector<std::string>{"One"}));
    EXPECT_TRUE(IsFolder(data + "Two"));
    EXPECT_NE(access((data + "Two/Two.mpf").c_str(), F_OK), 0);
    std::vector<std::string> names;
    ASSERT_TRUE(db.Read(&names));
    EXPECT_EQ(names, (std::vector<std::string>{"One"})) << "the hidden name leaves with the rewrite";
    EXPECT_FALSE(db.DeleteProject("Nowhere", shown));
}

TEST_F(ProjectDatabaseTest, DamageAndFailedWritesLoseNothing)
{
    ProjectDatabase db(data);
    ASSERT_TRUE(db.CreateProject("Kept", &prompt));
    ASSERT_TRUE(db.CreateProject("Cut", &prompt));
    // The count promises two names, the file holds one and a half.
    Bytes bytes = FileBytes(db.Path());
    bytes.resize(4 + 260 + 100);
    WriteBytes(db.Path(), bytes);
    std::vector<std::string> names;
    EXPECT_FALSE(db.Read(&names));
    EXPECT_EQ(names, (std::vector<std::string>{"Kept"}));
    // A new project still registers, and the database is whole again.
    ASSERT_TRUE(db.CreateProject("After", &prompt));
    ASSERT_TRUE(db.Read(&names));
    EXPECT_EQ(names, (std::vector<std::string>{"Kept", "After"}));

    // A write that fails part way (here a file size limit, as a full disk would):
    // the old file stays byte for byte.
    {
        const Bytes whole = FileBytes(db.Path());
        struct rlimit saved;
        getrlimit(RLIMIT_FSIZE, &saved);
        struct rlimit small = saved;
        small.rlim_cur = 300;
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool written = db.Write({"Other", "Names", "Than", "Before"});
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_FALSE(written);
        EXPECT_EQ(FileBytes(db.Path()), whole);
    }
    // A file that is not a database at all reads as nothing.
    WriteBytes(db.Path(), Bytes{0xff, 0xff, 0xff, 0xff});
    EXPECT_FALSE(db.Read(&names));
    EXPECT_TRUE(names.empty());
}

TEST_F(ProjectDatabaseTest, TheDefaultMovieFolderIsMadeLevelByLevel)
{
    const std::string documents = data + "Documents";
    EXPECT_EQ(DefaultMovieFolder(documents), documents + "/Zolvex Video Studio/Moive Output/");
    EXPECT_TRUE(IsFolder(documents + "/Zolvex Video Studio/Moive Output"));
    EXPECT_EQ(DefaultMovieFolder(documents + "/"), documents + "/Zolvex Video Studio/Moive Output/") << "again";
    WriteBytes(data + "file", Bytes{1});
    EXPECT_EQ(DefaultMovieFolder(data + "file"), "") << "a file where a folder must go";
    EXPECT_EQ(DefaultMovieFolder(""), "");
}
