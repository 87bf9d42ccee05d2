// Autosaves in a scratch data folder: what is written reads back as the project it
// was taken from, it never lands on the project's own file, and a recovery offers
// only copies that no running studio holds and that are newer than the project.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <Magick++.h>

#include <csignal>
#include <cstdlib>
#include <memory>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "filter/media/AnimatedPicture.h"
#include "filter/media/MagickReady.h"
#include "platform/ReadFile.h"
#include "studio/project/DataFolder.h"
#include "studio/project/ProjectFile.h"
#include "studio/shell/Autosave.h"
#include "studio/shell/StringTable.h"
#include "tests/support/ScratchFolder.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

std::vector<unsigned char> ReadBytes(const std::string& path)
{
    std::vector<unsigned char> bytes;
    ReadRegularFile(path.c_str(), uint64_t(1) << 30, bytes);
    return bytes;
}

void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Sets a file's modification time to `seconds` since 1970.
void SetModified(const std::string& path, time_t seconds)
{
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

void AddScene(ProjectModel& model, const std::string& path, double in, double out)
{
    MediaItem item;
    std::memset(&item, 0, sizeof item);
    std::snprintf(item.szPath, sizeof item.szPath, "%s", path.c_str());
    item.nKind = MEDIA_PICTURE;
    SceneRecord record;
    std::memset(&record, 0, sizeof record);
    std::snprintf(record.szPath, sizeof record.szPath, "%s", path.c_str());
    record.nMediaType = MEDIA_TYPE_PICTURE;
    record.dDuration = out;
    record.dInPoint = in;
    record.dOutPoint = out;
    MediaThumbnail thumb(200, (unsigned char)(model.SceneCount() * 13 + 1));
    ASSERT_TRUE(model.AppendScene(item, thumb, record, SceneSpan{in, out}, 1));
}

void AddTitle(ProjectModel& model, const char* words, double start, double end)
{
    TextOp* text = new TextOp();
    std::snprintf(text->szText, sizeof text->szText, "%s", words);
    text->dStartTime = start;
    text->dEndTime = end;
    text->nOpacity = 255;
    text->nOrder = model.ObjectCount();
    ASSERT_TRUE(model.AppendObject(OBJ_TEXT, text, 0));
}

struct Undo : IUndoHistory {
    std::vector<std::string> calls;
    void Clear() override { calls.push_back("clear"); }
    void StartAfresh() override { calls.push_back("afresh"); }
};

class AutosaveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(root.empty());
        setenv("ZOLVEX_DATA_DIR", (root + "Data").c_str(), 1);
        Strings().Load(Language::kEnglish);
        model.header = ProjectHeader{352, 288, 4, 3};
        AddScene(model, root + "a.jpg", 0.0, 5.0);
        AddScene(model, root + "b.jpg", 1.0, 3.5);
        AddTitle(model, "Hello", 0.5, 2.0);
    }
    void TearDown() override { unsetenv("ZOLVEX_DATA_DIR"); }

    std::vector<unsigned char> Bytes() { return ProjectStore::Serialise(model, 1.0f, 1.0f); }

    // Saves the model as a project of that name, the way the studio does.
    void SaveProjectAs(const std::string& name)
    {
        model.name = name;
        ProjectStore store(model);
        ASSERT_EQ(store.SaveProject(1.0f, 1.0f), 1);
    }

    testsupport::ScratchFolder scratch{"autosave"};
    const std::string& root = scratch.Path();
    ProjectModel model;
};

}  // namespace

TEST_F(AutosaveTest, TheCopyIsTheProjectFileAndItsRecordSaysWhose)
{
    Autosave autosave;
    ASSERT_EQ(autosave.Folder(), root + "Data/Autosave/");
    const std::vector<unsigned char> bytes = Bytes();
    ASSERT_TRUE(autosave.Save(bytes, "Holiday", false));
    autosave.Flush();
    EXPECT_EQ(autosave.LastError(), "");
    EXPECT_EQ(autosave.Written(), 1u);
    EXPECT_EQ(autosave.Stem(), "Holiday");

    const std::string data = autosave.Folder() + "Holiday.mpf";
    EXPECT_EQ(ReadBytes(data), bytes);
    const std::vector<unsigned char> record = ReadBytes(autosave.Folder() + "Holiday.info");
    AutosaveEntry entry;
    ASSERT_TRUE(Autosave::ReadRecord(std::string(record.begin(), record.end()), &entry));
    EXPECT_EQ(entry.project, "Holiday");
    EXPECT_FALSE(entry.unnamed);
    EXPECT_EQ(entry.bytes, int64_t(bytes.size()));
    EXPECT_NEAR(double(entry.savedAt), double(time(nullptr)), 60.0);

    // Parsed back, the copy is the same project, byte for byte.
    ProjectModel back;
    ASSERT_TRUE(ProjectStore::Parse(ReadBytes(data), back));
    EXPECT_EQ(back.SceneCount(), 2);
    EXPECT_EQ(back.ObjectCount(), 1);
    EXPECT_EQ(ProjectStore::Serialise(back, 1.0f, 1.0f), bytes);

    // Only the newest copy counts: a second save replaces the first in place.
    AddTitle(model, "Again", 3.0, 4.0);
    ASSERT_TRUE(autosave.Save(Bytes(), "Holiday", false));
    autosave.Flush();
    EXPECT_EQ(ReadBytes(data), Bytes());
    EXPECT_EQ(autosave.Stem(), "Holiday");
}

TEST_F(AutosaveTest, TheProjectsOwnFileIsNeverWritten)
{
    SaveProjectAs("Trip");
    const std::string projectFile = ProjectStore::ProjectFilePath("Trip");
    const std::vector<unsigned char> saved = ReadBytes(projectFile);
    ASSERT_FALSE(saved.empty());
    SetModified(projectFile, 1000000000);

    AddTitle(model, "Unsaved", 1.0, 2.0);
    Autosave autosave;
    ASSERT_TRUE(autosave.Save(Bytes(), "Trip", false));
    autosave.Flush();
    struct stat st;
    ASSERT_EQ(stat(projectFile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1000000000);
    EXPECT_EQ(ReadBytes(projectFile), saved);
    EXPECT_NE(autosave.Folder() + autosave.Stem() + ".mpf", projectFile);
    EXPECT_EQ(ReadBytes(autosave.Folder() + "Trip.mpf"), Bytes());

    // Removing the copy leaves the project alone too.
    autosave.Remove();
    EXPECT_EQ(ReadBytes(projectFile), saved);
}

TEST_F(AutosaveTest, UnnamedSessionsKeepApartAndNothingIsWrittenOverAnotherCopy)
{
    Autosave first, second;
    ASSERT_TRUE(first.Save(Bytes(), Str(96), true));
    ASSERT_TRUE(second.Save(Bytes(), Str(96), true));
    EXPECT_EQ(first.Stem(), "Utitled~" + std::to_string(getpid()));
    EXPECT_NE(second.Stem(), first.Stem());

    // A copy left by a run that ended is not taken over by a new run of the same project.
    {
        Autosave crashed;
        ASSERT_TRUE(crashed.Save(Bytes(), "Trip", false));
        crashed.Flush();
    }  // the lock goes, the copy stays
    const std::vector<unsigned char> left = ReadBytes(first.Folder() + "Trip.mpf");
    Autosave later;
    AddTitle(model, "Later", 4.0, 5.0);
    ASSERT_TRUE(later.Save(Bytes(), "Trip", false));
    later.Flush();
    EXPECT_EQ(later.Stem(), "Trip~2");
    EXPECT_EQ(ReadBytes(first.Folder() + "Trip.mpf"), left);
}

TEST_F(AutosaveTest, OnlyCopiesNoStudioHoldsAreOffered)
{
    auto running = std::make_unique<Autosave>();
    ASSERT_TRUE(running->Save(Bytes(), "Held", false));
    running->Flush();
    Autosave look;
    AutosaveEntry entry;
    EXPECT_FALSE(look.FindRecoverable("Held", &entry)) << "this run holds it";
    running.reset();

    // Another process holds it the same way.
    const std::string lockPath = look.Folder() + "Held.lock";
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    if (child == 0) {
        const int fd = open(lockPath.c_str(), O_RDWR);
        flock(fd, LOCK_EX);
        char c = 1;
        (void)!write(pipeFds[1], &c, 1);
        pause();
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(pipeFds[0], &c, 1), 1);
    EXPECT_FALSE(look.FindRecoverable("Held", &entry)) << "another studio holds it";
    EXPECT_TRUE(look.ListRecoverable().empty());
    AutosaveEntry held;
    held.dataPath = look.Folder() + "Held.mpf";
    held.recordPath = look.Folder() + "Held.info";
    held.lockPath = lockPath;
    EXPECT_FALSE(Autosave::Discard(held));
    EXPECT_EQ(access(held.dataPath.c_str(), F_OK), 0) << "a held copy is not discarded";

    // Killed outright, the studio lets go, and the copy is offered.
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(pipeFds[0]);
    close(pipeFds[1]);
    ASSERT_TRUE(look.FindRecoverable("Held", &entry));
    EXPECT_EQ(entry.stem, "Held");
    EXPECT_EQ(entry.project, "Held");
    EXPECT_FALSE(entry.unnamed);
    // Declined, it goes.
    EXPECT_TRUE(Autosave::Discard(entry));
    EXPECT_NE(access(held.dataPath.c_str(), F_OK), 0);
    EXPECT_TRUE(look.ListRecoverable().empty());
}

TEST_F(AutosaveTest, ACopyOlderThanTheProjectFileIsNotOffered)
{
    SaveProjectAs("Trip");
    const std::string projectFile = ProjectStore::ProjectFilePath("Trip");
    {
        Autosave crashed, unnamed;
        ASSERT_TRUE(crashed.Save(Bytes(), "Trip", false));
        ASSERT_TRUE(unnamed.Save(Bytes(), Str(96), true));
    }
    Autosave look;
    const std::string copy = look.Folder() + "Trip.mpf";
    SetModified(copy, 1700000000);

    // The project was saved after the copy: it already has everything the copy has.
    SetModified(projectFile, 1700000100);
    AutosaveEntry entry;
    EXPECT_FALSE(look.FindRecoverable("Trip", &entry));
    SetModified(projectFile, 1700000000);
    EXPECT_FALSE(look.FindRecoverable("Trip", &entry)) << "as old as the project is not newer";

    // Saved before the copy: the copy has work the project lacks.
    SetModified(projectFile, 1699999900);
    ASSERT_TRUE(look.FindRecoverable("Trip", &entry));
    EXPECT_EQ(entry.stem, "Trip");
    // Never saved at all: offered whatever its age, and after the named one, which is newer.
    SetModified(look.Folder() + "Utitled~" + std::to_string(getpid()) + ".mpf", 1600000000);
    const std::vector<AutosaveEntry> all = look.ListRecoverable();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_TRUE(all[1].unnamed || all[0].unnamed);
    SetModified(projectFile, 1700000100);
    ASSERT_EQ(look.ListRecoverable().size(), 1u);
    EXPECT_TRUE(look.ListRecoverable()[0].unnamed);
}

TEST_F(AutosaveTest, RemovedOnSaveAndNothingLeftBehind)
{
    Autosave autosave;
    ASSERT_TRUE(autosave.Save(Bytes(), "Trip", false));
    autosave.Flush();
    ASSERT_EQ(autosave.Written(), 1u);
    // A copy handed over just before the save is dropped with the rest.
    ASSERT_TRUE(autosave.Save(Bytes(), "Trip", false));
    autosave.Remove();
    autosave.Flush();
    EXPECT_FALSE(autosave.Holding());
    for (const char* ending : {".mpf", ".info", ".lock"})
        EXPECT_NE(access((autosave.Folder() + "Trip" + ending).c_str(), F_OK), 0) << ending;
    Autosave look;
    EXPECT_TRUE(look.ListRecoverable().empty());

    // The next change starts a new copy under the same name.
    ASSERT_TRUE(autosave.Save(Bytes(), "Trip", false));
    autosave.Flush();
    EXPECT_EQ(autosave.Stem(), "Trip");
}

TEST_F(AutosaveTest, RestoreFillsTheModelModifiedUnderTheProjectsName)
{
    {
        Autosave crashed;
        ASSERT_TRUE(crashed.Save(Bytes(), "Trip", false));
        crashed.Flush();
    }
    const std::vector<unsigned char> expected = Bytes();
    Autosave autosave;
    AutosaveEntry entry;
    ASSERT_TRUE(autosave.FindRecoverable("Trip", &entry));

    ProjectModel restored;
    Undo undo;
    restored.undo = &undo;
    restored.name = Str(96);
    AddScene(restored, root + "other.jpg", 0.0, 1.0);
    const uint64_t changes = restored.nChanges;
    const AutosaveRestore result = Autosave::Restore(entry, restored);
    ASSERT_TRUE(result.restored) << result.why;
    EXPECT_EQ(restored.name, "Trip");
    EXPECT_TRUE(restored.bModified);
    EXPECT_GT(restored.nChanges, changes);
    EXPECT_DOUBLE_EQ(restored.TotalLength(), 7.5);
    EXPECT_EQ(ProjectStore::Serialise(restored, 1.0f, 1.0f), expected);
    EXPECT_EQ(undo.calls, (std::vector<std::string>{"clear", "afresh"}));
    // The scene pictures were never made: both scenes stay, and both are named.
    ASSERT_EQ(result.missingScenes.size(), 2u);
    EXPECT_EQ(result.missingScenes[0].path, root + "a.jpg");

    // Taken over, the copy is this run's: written over by the next save, not offered.
    ASSERT_TRUE(autosave.Adopt(entry));
    EXPECT_FALSE(autosave.FindRecoverable("Trip", &entry));
    ASSERT_TRUE(autosave.Save(Bytes(), "Trip", false));
    autosave.Flush();
    EXPECT_EQ(autosave.Stem(), "Trip");

    // An unnamed copy comes back unnamed, under this language's word for it.
    autosave.Remove();
    {
        Autosave crashed;
        ASSERT_TRUE(crashed.Save(Bytes(), "Utitled", true));
        crashed.Flush();
    }
    const std::vector<AutosaveEntry> all = autosave.ListRecoverable();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_TRUE(all[0].unnamed);
    Strings().Load(Language::kChinese);
    ASSERT_TRUE(Autosave::Restore(all[0], restored).restored);
    EXPECT_EQ(restored.name, Str(96));
    Strings().Load(Language::kEnglish);
    restored.undo = nullptr;
}

TEST_F(AutosaveTest, MissingMediaAndDamagedCopies)
{
    // An animated picture whose file went away is left out; the rest opens.
    magick::EnsureReady();
    const std::string picture = root + "sticker.gif";
    Magick::Image frame(Magick::Geometry(16, 12), Magick::Color("red"));
    frame.write(picture);
    StickerOp* sticker = new StickerOp();
    sticker->dStartTime = 1.0;
    sticker->dEndTime = 2.0;
    std::snprintf(sticker->szPath, sizeof sticker->szPath, "%s", picture.c_str());
    sticker->nOrder = model.ObjectCount();
    ASSERT_TRUE(OpenStickerPicture(*sticker));
    ASSERT_TRUE(model.AppendObject(OBJ_PICTURE, sticker, 0));
    AddTitle(model, "After", 2.0, 3.0);
    {
        Autosave crashed;
        ASSERT_TRUE(crashed.Save(Bytes(), "Trip", false));
        crashed.Flush();
    }
    ASSERT_EQ(unlink(picture.c_str()), 0);
    Autosave look;
    AutosaveEntry entry;
    ASSERT_TRUE(look.FindRecoverable("Trip", &entry));
    ProjectModel restored;
    AutosaveRestore result = Autosave::Restore(entry, restored);
    ASSERT_TRUE(result.restored) << result.why;
    EXPECT_EQ(restored.SceneCount(), 2);
    ASSERT_EQ(restored.ObjectCount(), 2);
    EXPECT_EQ(restored.Kind(0), OBJ_TEXT);
    EXPECT_EQ(restored.Kind(1), OBJ_TEXT);
    ASSERT_EQ(result.droppedPictures.size(), 1u);
    EXPECT_EQ(result.droppedPictures[0].path, picture);

    // A copy cut short fails with a reason and leaves the open project as it was.
    std::vector<unsigned char> bytes = ReadBytes(entry.dataPath);
    bytes.resize(bytes.size() / 2);
    WriteBytes(entry.dataPath, bytes);
    const std::vector<unsigned char> before = ProjectStore::Serialise(restored, 1.0f, 1.0f);
    result = Autosave::Restore(entry, restored);
    EXPECT_FALSE(result.restored);
    EXPECT_FALSE(result.why.empty());
    EXPECT_EQ(ProjectStore::Serialise(restored, 1.0f, 1.0f), before);
    // Set aside, it is kept but no longer offered.
    const std::string kept = Autosave::SetAside(entry);
    EXPECT_EQ(kept, look.Folder() + "Trip.damaged");
    EXPECT_EQ(ReadBytes(kept), bytes);
    EXPECT_TRUE(look.ListRecoverable().empty());

    // A missing copy is a reason too, not a crash.
    EXPECT_FALSE(Autosave::Restore(entry, restored).restored);
}

TEST_F(AutosaveTest, SideRecordsThatAreNotOursAreSkipped)
{
    AutosaveEntry entry;
    const std::string good = Autosave::RecordText("Line\nbreak", false, 12, 34);
    ASSERT_TRUE(Autosave::ReadRecord(good, &entry));
    EXPECT_EQ(entry.project, "Line\nbreak");
    EXPECT_EQ(entry.savedAt, 12);
    EXPECT_EQ(entry.bytes, 34);
    for (size_t cut = 0; cut + 1 < good.size(); ++cut)
        EXPECT_FALSE(Autosave::ReadRecord(good.substr(0, cut), &entry)) << cut;
    EXPECT_FALSE(Autosave::ReadRecord("something else\nproject=x\n", &entry));

    // Junk in the folder is passed over; a good copy beside it is still found.
    Autosave look;
    WriteBytes(look.Folder() + "junk.info", {'x', 'y'});
    WriteBytes(look.Folder() + "nodata.info", std::vector<unsigned char>(good.begin(), good.end()));
    {
        Autosave crashed;
        ASSERT_TRUE(crashed.Save(Bytes(), "Trip", false));
        crashed.Flush();
    }
    const std::vector<AutosaveEntry> all = look.ListRecoverable();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].stem, "Trip");
}
