// The file that replaces another whole: the old file stays as it was until the new
// one is complete, and nothing of an unfinished new one is left behind.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "platform/ReplacingFile.h"

namespace fs = std::filesystem;
using zolvex::ReplacingFile;

namespace {

class ReplacingFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/zolvex-replacing-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string At(const std::string& name) const { return dir_ + "/" + name; }
    std::set<std::string> Names() const
    {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_))
            names.insert(e.path().filename().string());
        return names;
    }
    static std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void Put(const std::string& path, const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }

    std::string dir_;
};

TEST_F(ReplacingFileTest, CommitPutsTheNewBytesInPlaceOfTheOld)
{
    const std::string target = At("project.mpf");
    Put(target, "old contents");
    ReplacingFile file;
    ASSERT_TRUE(file.Open(target));
    EXPECT_EQ(file.Path().compare(0, target.size() + 1, target + "."), 0) << file.Path();
    ASSERT_TRUE(file.Write("?? new bytes", 12));
    ASSERT_TRUE(file.WriteAt(0, "12", 2));
    EXPECT_EQ(Read(target), "old contents") << "untouched until the commit";
    EXPECT_EQ(Names().size(), 2u);

    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(Read(target), "12 new bytes");
    EXPECT_EQ(Names(), std::set<std::string>{"project.mpf"});
    EXPECT_TRUE(file.Path().empty());
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u) << "an ordinary file, not a private temporary";
    EXPECT_FALSE(file.Commit()) << "nothing left to commit";
}

TEST_F(ReplacingFileTest, AFailedWriteLeavesTheOldFileAndNoTemporary)
{
    const std::string target = At("library");
    const std::string old(300, 'o');
    Put(target, old);

    // Files may grow to 100 bytes only: the write fails part of the way with EFBIG.
    struct rlimit before;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    void (*was)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ReplacingFile file;
    ASSERT_TRUE(file.Open(target));
    struct rlimit small = before;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string bytes(1000, 'n');
    const bool written = file.Write(bytes.data(), bytes.size());
    const int writeError = errno;
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, was);

    EXPECT_FALSE(written);
    EXPECT_EQ(writeError, EFBIG);
    EXPECT_FALSE(file.Write("x", 1)) << "a failed file takes no more bytes";
    errno = 0;
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(errno, EFBIG) << "the commit tells why the file could not be made";
    EXPECT_EQ(Read(target), old);
    EXPECT_EQ(Names(), std::set<std::string>{"library"});

    // A folder that does not exist: nothing is made anywhere.
    ReplacingFile none;
    EXPECT_FALSE(none.Open(At("missing/library")));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(none.Write("x", 1));
    EXPECT_FALSE(none.Commit());
    EXPECT_EQ(Names(), std::set<std::string>{"library"});
}

TEST_F(ReplacingFileTest, AbandonedFilesLeaveNothing)
{
    const std::string kept = At("kept");
    Put(kept, "kept");
    {
        ReplacingFile file;
        ASSERT_TRUE(file.Open(kept));
        ASSERT_TRUE(file.Write("lost", 4));
        file.Abandon();
        EXPECT_TRUE(file.Path().empty());
        EXPECT_FALSE(file.Commit());
        ReplacingFile dropped;  // never committed: its destructor abandons it
        ASSERT_TRUE(dropped.Open(At("fresh")));
        ASSERT_TRUE(dropped.Write("lost", 4));
        ReplacingFile reopened;  // a second Open gives up the first fresh file
        ASSERT_TRUE(reopened.Open(At("one")));
        ASSERT_TRUE(reopened.Open(At("two")));
        EXPECT_EQ(Names().size(), 3u);
    }
    EXPECT_EQ(Names(), std::set<std::string>{"kept"});
    EXPECT_EQ(Read(kept), "kept");
}

// The way zolvex-render uses it: the encoder opens the hidden file by its name and
// writes the movie; the commit only flushes and renames.
TEST_F(ReplacingFileTest, HiddenTemporaryKeepsItsSuffixAndTakesBytesWrittenByName)
{
    const std::string target = At("movie.mpg");
    const std::string decoy = At(".zolvex-render-AbCdEf.mpg");  // another run's
    Put(decoy, "someone else's");
    ReplacingFile a, b;
    ASSERT_TRUE(a.OpenHidden(target, ".zolvex-render-", ".mpg"));
    ASSERT_TRUE(b.OpenHidden(target, ".zolvex-render-", ".mpg"));
    for (const ReplacingFile* f : {&a, &b}) {
        const std::string name = fs::path(f->Path()).filename().string();
        EXPECT_EQ(fs::path(f->Path()).parent_path(), fs::path(dir_));
        EXPECT_EQ(name.size(), std::string(".zolvex-render-XXXXXX.mpg").size()) << name;
        EXPECT_EQ(name.compare(0, 15, ".zolvex-render-"), 0) << name;
        EXPECT_EQ(name.substr(name.size() - 4), ".mpg") << name;
        EXPECT_TRUE(fs::is_regular_file(f->Path()));
    }
    EXPECT_NE(a.Path(), b.Path());

    FILE* writer = std::fopen(a.Path().c_str(), "wb");
    ASSERT_NE(writer, nullptr);
    std::fputs("movie bytes", writer);
    ASSERT_EQ(std::fclose(writer), 0);
    ASSERT_TRUE(a.Commit());
    b.Abandon();
    EXPECT_EQ(Read(target), "movie bytes");
    EXPECT_EQ(Read(decoy), "someone else's");
    EXPECT_EQ(Names(), (std::set<std::string>{"movie.mpg", ".zolvex-render-AbCdEf.mpg"}));

    // Without a folder in the target's name the file goes into the current folder.
    const std::string here = fs::current_path().string();
    fs::current_path(dir_);
    ReplacingFile local;
    const bool opened = local.OpenHidden("clip.avi", ".zolvex-render-", ".avi");
    const std::string path = local.Path();
    const bool committed = opened && local.Commit();
    fs::current_path(here);
    ASSERT_TRUE(opened);
    EXPECT_EQ(path.compare(0, 17, "./.zolvex-render-"), 0) << path;
    EXPECT_TRUE(committed);
    EXPECT_TRUE(fs::is_regular_file(At("clip.avi")));
}

}  // namespace
