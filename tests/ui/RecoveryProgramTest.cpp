// The real zolvex-studio on Xvfb, driven through its accessible names: the demo
// project edited (two titles), the autosave waited for, the studio killed outright;
// the next start asks about the copy, Yes brings the edits back, File > Save Project
// saves them, and the saved ".mpf" holds every edit. The project's own file is
// untouched until that save, and the copy is gone after it. A screenshot of the
// recovery question is written under out/.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "filter/timeline/model/TimelineRecords.h"
#include "platform/ReadFile.h"
#include "studio/project/ProjectFile.h"
#include "tests/support/DemoStudio.h"

using namespace zolvex;
using namespace zolvex::studio;
using namespace zolvex::testsupport;

namespace {

std::vector<unsigned char> ReadBytes(const std::string& path)
{
    std::vector<unsigned char> bytes;
    ReadRegularFile(path.c_str(), uint64_t(1) << 30, bytes);
    return bytes;
}

// The names in a folder that end in `ending`.
std::vector<std::string> Files(const std::string& folder, const std::string& ending)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            if (name.size() > ending.size() && name.compare(name.size() - ending.size(), ending.size(), ending) == 0)
                names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

// The title texts of a project, in timeline order.
std::vector<std::string> Titles(ProjectModel& model)
{
    std::vector<std::string> titles;
    for (int i = 0; i < model.ObjectCount(); ++i)
        if (model.Kind(i) == OBJ_TEXT)
            titles.push_back(static_cast<TextOp*>(model.Object(i))->szText);
    return titles;
}

class RecoveryProgramTest : public DemoStudioTest {
protected:
    RecoveryProgramTest() : DemoStudioTest(20, 40) {}
};

}  // namespace

TEST_F(RecoveryProgramTest, EditsOfAKilledStudioComeBackAndSave)
{
    const std::string project = root + "/Data/Demo/Demo.mpf";
    const std::string autosaves = root + "/Data/Autosave/";
    const std::vector<unsigned char> original = ReadBytes(project);
    ProjectModel before;
    ASSERT_TRUE(ProjectStore::Parse(original, before));
    const std::vector<std::string> titlesBefore = Titles(before);

    // Edited, then killed once the edits are in the autosave (a few seconds after
    // the last one; the loaded project is busy for two seconds, each edit for half).
    std::string log;
    ASSERT_EQ(Session(root + "/unused.png",
                      "wait:3 tab:Text 'type:text=Saved by the autosave' 'press:Add to Timeline' wait:1 "
                      "'press:Add to Timeline' wait:6 autosaved crash",
                      &log),
              0)
        << log;
    EXPECT_EQ(ReadBytes(project), original) << "the project's own file is only written by a save";
    const std::vector<std::string> copies = Files(autosaves, ".mpf");
    ASSERT_EQ(copies.size(), 1u) << log;
    EXPECT_EQ(copies[0], "Demo.mpf");
    ProjectModel copy;
    ASSERT_TRUE(ProjectStore::Parse(ReadBytes(autosaves + copies[0]), copy));
    ASSERT_EQ(copy.ObjectCount(), before.ObjectCount() + 2) << "the copy holds the last edit";

    // The next start asks; Yes, then Ctrl+S saves.
    const std::string out = std::string(ZOLVEX_SOURCE_DIR) + "/out";
    mkdir(out.c_str(), 0755);
    const std::string shot = out + "/studio-recovery-question.png";
    ASSERT_EQ(Session(shot,
                      "wait:2 shot press:Yes wait:3 key:ctrl+s wait:2",
                      &log),
              0)
        << log;
    EXPECT_NE(log.find("\"Demo\" restored from its autosave"), std::string::npos) << log;

    ProjectModel saved;
    ProjectStore store(saved);
    ASSERT_EQ(store.LoadProjectFile(project), 1) << store.LastError();
    ASSERT_EQ(saved.SceneCount(), before.SceneCount());
    ASSERT_EQ(saved.ObjectCount(), before.ObjectCount() + 2) << log;
    std::vector<std::string> titles = titlesBefore;
    titles.push_back("Saved by the autosave");
    titles.push_back("Saved by the autosave");
    EXPECT_EQ(Titles(saved), titles);
    EXPECT_EQ(ProjectStore::Serialise(saved, 1.0f, 1.0f), ProjectStore::Serialise(copy, 1.0f, 1.0f));
    EXPECT_TRUE(Files(autosaves, ".mpf").empty()) << "the save removed the copy";
    EXPECT_TRUE(Files(autosaves, ".info").empty());

    // The question as it was on the screen.
    struct stat st;
    ASSERT_EQ(stat(shot.c_str(), &st), 0);
    EXPECT_GT(st.st_size, 20000);
}
