// The settings tree and its file: what lasts and what goes with the process, files
// that are damaged or cannot be written, saved and restored keys, handles to keys
// that are gone, and where the user's settings live.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/SettingsStore.h"

namespace fs = std::filesystem;
using zolvex::SettingsLoad;
using zolvex::SettingsStore;
using zolvex::SettingsValueKind;

namespace {

std::string Contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/zolvex-settings-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
        file_ = dir_ + "/config/settings";
    }
    void TearDown() override
    {
        chmod(dir_.c_str(), 0700);
        fs::remove_all(dir_);
    }

    static std::string Read(const std::string& path) { return Contents(path); }
    static void Put(const std::string& path, const std::string& bytes)
    {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    size_t FilesIn(const std::string& folder) const
    {
        return size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }

    // A settings file with a little of everything.
    std::string SampleFile()
    {
        SettingsStore store(file_);
        const auto key = store.CreateKey(store.Root(), "Window\\Main", false);
        EXPECT_TRUE(store.WriteDword(key, "Width", 640));
        EXPECT_TRUE(store.WriteString(key, "Title", "My holiday 100%"));
        store.CloseKey(key);
        return Read(file_);
    }

    std::string dir_, file_;
};

TEST_F(SettingsStoreTest, PersistentKeysAndValuesSurviveAReload)
{
    const std::string odd = std::string("two words\n%41 \t\x7f tab, caf\xc3\xa9 and a NUL:") + '\0' + "!";
    {
        SettingsStore store(file_);
        EXPECT_EQ(store.LastLoad(), SettingsLoad::kNoFile);
        const auto key = store.CreateKey(store.Root(), "/Software\\Zolvex//Studio/", false);
        ASSERT_NE(key, SettingsStore::kNoKey);
        EXPECT_TRUE(store.WriteDword(key, "Max", 0xFFFFFFFFu));
        EXPECT_TRUE(store.WriteDword(key, "Zero", 0));
        EXPECT_TRUE(store.WriteString(key, "", odd));
        EXPECT_TRUE(store.WriteString(key, "Empty", ""));
        EXPECT_TRUE(store.WriteString(key, "gone", "x"));
        EXPECT_TRUE(store.DeleteValue(key, "GONE"));
        EXPECT_FALSE(store.DeleteValue(key, "gone"));
        EXPECT_NE(store.CreateKey(key, "Old/Deeper", false), SettingsStore::kNoKey);
        EXPECT_TRUE(store.DeleteKey(key, "old"));
        EXPECT_FALSE(store.DeleteKey(key, "old"));
    }
    EXPECT_EQ(Read(file_).rfind("zolvex-settings 1\n", 0), 0u);

    SettingsStore store(file_);
    ASSERT_EQ(store.LastLoad(), SettingsLoad::kLoaded) << store.LastError();
    // Names are found whatever their case and listed in the case they were made with.
    const auto key = store.OpenKey(store.Root(), "SOFTWARE/zolvex/studio");
    ASSERT_NE(key, SettingsStore::kNoKey);
    EXPECT_EQ(store.SubKeys(store.Root()), std::vector<std::string>{"Software"});
    EXPECT_EQ(store.ValueNames(key), (std::vector<std::string>{"", "Empty", "Max", "Zero"}));
    EXPECT_TRUE(store.SubKeys(key).empty());
    uint32_t n = 1;
    std::string text;
    EXPECT_TRUE(store.ReadDword(key, "max", n));
    EXPECT_EQ(n, 0xFFFFFFFFu);
    EXPECT_TRUE(store.ReadDword(key, "Zero", n));
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(store.ReadString(key, "", text));
    EXPECT_EQ(text, odd);
    EXPECT_TRUE(store.ReadString(key, "Empty", text));
    EXPECT_EQ(text, "");
    EXPECT_FALSE(store.ReadString(key, "Max", text)) << "a number is not a string";
    EXPECT_FALSE(store.ReadDword(key, "Empty", n)) << "a string is not a number";
    EXPECT_EQ(store.ValueKind(key, "Max"), SettingsValueKind::kDword);
    EXPECT_EQ(store.ValueKind(key, "Nothing"), SettingsValueKind::kNone);
}

TEST_F(SettingsStoreTest, VolatileKeysNeverReachTheFile)
{
    {
        SettingsStore store(file_);
        const auto scratch = store.CreateKey(store.Root(), "Session", true);
        // Below a volatile key every key is volatile, whatever it asks for.
        const auto below = store.CreateKey(scratch, "Recent", false);
        EXPECT_TRUE(store.IsVolatile(below));
        EXPECT_TRUE(store.WriteDword(below, "Count", 3));
        EXPECT_FALSE(fs::exists(file_)) << "nothing persistent changed, so nothing was written";

        const auto kept = store.CreateKey(store.Root(), "Kept", false);
        EXPECT_FALSE(store.IsVolatile(kept));
        EXPECT_TRUE(store.WriteDword(kept, "Count", 4));
        EXPECT_TRUE(store.Save());
        EXPECT_EQ(Read(file_).find("Session"), std::string::npos);
        EXPECT_EQ(Read(file_).find("Recent"), std::string::npos);
    }
    SettingsStore store(file_);
    EXPECT_EQ(store.OpenKey(store.Root(), "Session"), SettingsStore::kNoKey);
    EXPECT_EQ(store.SubKeys(store.Root()), std::vector<std::string>{"Kept"});
}

// Every cut of a good file, a changed byte, line endings converted, or bytes that
// are no settings at all: the store starts empty and says so, and the file stays as
// it was until a persistent change is written.
TEST_F(SettingsStoreTest, DamagedFilesReadAsEmptyAndStayUntilAWrite)
{
    const std::string good = SampleFile();
    ASSERT_FALSE(good.empty());
    std::vector<std::string> damaged;
    for (size_t n = 0; n < good.size(); ++n)
        damaged.push_back(good.substr(0, n));
    std::string flipped = good;
    flipped[flipped.find("640")] = '7';
    damaged.push_back(flipped);
    std::string crlf;
    for (char c : good)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    damaged.push_back(crlf);
    damaged.push_back(good + "key Extra\n");
    damaged.push_back(std::string("\x89PNG\r\n\x1a\n\0\0\0", 11));

    for (const std::string& bytes : damaged) {
        SCOPED_TRACE(testing::Message() << bytes.size() << " bytes");
        Put(file_, bytes);
        SettingsStore store(file_);
        ASSERT_EQ(store.LastLoad(), SettingsLoad::kDamaged);
        EXPECT_FALSE(store.LastError().empty());
        EXPECT_TRUE(store.SubKeys(store.Root()).empty());
        EXPECT_NE(store.CreateKey(store.Root(), "Scratch", true), SettingsStore::kNoKey);
        EXPECT_EQ(Read(file_), bytes);
    }

    SettingsStore store(file_);
    const auto key = store.CreateKey(store.Root(), "Fresh", false);
    EXPECT_TRUE(store.WriteDword(key, "N", 1));
    EXPECT_EQ(SettingsStore(file_).LastLoad(), SettingsLoad::kLoaded);
}

TEST_F(SettingsStoreTest, AFileThatCannotBeReadIsNeverWrittenOver)
{
    fs::create_directories(file_);  // a folder where the file should be
    SettingsStore store(file_);
    EXPECT_EQ(store.LastLoad(), SettingsLoad::kUnreadable);
    EXPECT_EQ(store.CreateKey(store.Root(), "Kept", false), SettingsStore::kNoKey);
    EXPECT_TRUE(store.SubKeys(store.Root()).empty()) << "the failed change is undone";
    EXPECT_FALSE(store.Save());
    EXPECT_NE(store.CreateKey(store.Root(), "Session", true), SettingsStore::kNoKey)
        << "volatile keys need no file";
    EXPECT_TRUE(fs::is_directory(file_));
}

// A write that fails leaves the old file, no temporary beside it, and the tree in
// memory as the file has it.
void ExpectFailedWriteChangesNothing(SettingsStore& store, const std::string& file, const std::string& old)
{
    const auto key = store.OpenKey(store.Root(), "Window/Main");
    ASSERT_NE(key, SettingsStore::kNoKey);
    EXPECT_FALSE(store.WriteDword(key, "Width", 1024));
    EXPECT_NE(store.LastError().find("cannot write"), std::string::npos) << store.LastError();
    EXPECT_FALSE(store.WriteString(key, "New", std::string(5000, 'n')));
    EXPECT_EQ(store.CreateKey(key, "Sub", false), SettingsStore::kNoKey);
    EXPECT_FALSE(store.DeleteKey(store.Root(), "Window"));
    EXPECT_FALSE(store.DeleteValue(key, "Title"));
    uint32_t width = 0;
    EXPECT_TRUE(store.ReadDword(key, "Width", width));
    EXPECT_EQ(width, 640u);
    EXPECT_EQ(store.ValueNames(key), (std::vector<std::string>{"Title", "Width"}));
    EXPECT_TRUE(store.SubKeys(key).empty());
    EXPECT_EQ(Contents(file), old);
}

TEST_F(SettingsStoreTest, AFolderThatCannotBeWrittenKeepsTheOldFile)
{
    const std::string old = SampleFile();
    const std::string folder = fs::path(file_).parent_path();
    // Root writes into any folder, so the store runs as nobody in a child process.
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (chmod(dir_.c_str(), 0755) != 0 || setuid(65534) != 0))
            _exit(2);
        SettingsStore store(file_);
        ExpectFailedWriteChangesNothing(store, file_, old);
        _exit(testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_EQ(Read(file_), old);
    EXPECT_EQ(FilesIn(folder), 1u);
}

TEST_F(SettingsStoreTest, AFullDiskKeepsTheOldFile)
{
    const std::string old = SampleFile();
    SettingsStore store(file_);
    struct rlimit before;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    void (*was)(int) = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = before;
    small.rlim_cur = 20;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ExpectFailedWriteChangesNothing(store, file_, old);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, was);
    EXPECT_EQ(FilesIn(fs::path(file_).parent_path()), 1u);
}

TEST_F(SettingsStoreTest, HandlesToKeysThatAreGoneFail)
{
    SettingsStore store(file_);
    const auto parent = store.CreateKey(store.Root(), "A", false);
    const auto child = store.CreateKey(parent, "B/C", false);
    const auto again = store.CreateKey(store.Root(), "a\\b\\c", true);
    bool created = true;
    EXPECT_NE(store.CreateKey(again, "", true, &created), SettingsStore::kNoKey);
    EXPECT_FALSE(created);
    EXPECT_FALSE(store.IsVolatile(again)) << "an existing key stays what it was";
    EXPECT_TRUE(store.WriteDword(again, "N", 5));
    uint32_t n = 0;
    EXPECT_TRUE(store.ReadDword(child, "N", n)) << "two handles, one key";

    store.CloseKey(again);
    EXPECT_FALSE(store.WriteDword(again, "N", 6));
    EXPECT_TRUE(store.DeleteKey(store.Root(), "A/B"));
    EXPECT_FALSE(store.ReadDword(child, "N", n));
    EXPECT_EQ(store.CreateKey(child, "D", false), SettingsStore::kNoKey);
    EXPECT_TRUE(store.WriteDword(parent, "M", 1)) << "the parent is still there";

    EXPECT_EQ(store.Load(), SettingsLoad::kLoaded);
    EXPECT_FALSE(store.WriteDword(parent, "M", 2)) << "a load replaces every key";
    EXPECT_TRUE(store.WriteDword(store.Root(), "M", 2)) << "but the root";
    store.CloseKey(store.Root());
    EXPECT_TRUE(store.ReadDword(store.Root(), "M", n));
    EXPECT_FALSE(store.DeleteKey(store.Root(), "/")) << "the root is not deleted";

    std::string deep;
    for (int i = 0; i < 513; ++i)
        deep += "k/";
    EXPECT_EQ(store.CreateKey(store.Root(), deep, true), SettingsStore::kNoKey);
}

TEST_F(SettingsStoreTest, RestoredKeysAreVolatileAndTheFileKeepsTheirOldContent)
{
    const std::string saved = dir_ + "/window.key";
    SettingsStore store(file_);
    const auto window = store.CreateKey(store.Root(), "Window", false);
    ASSERT_TRUE(store.WriteDword(window, "Width", 800));
    const auto session = store.CreateKey(window, "Session", true);
    ASSERT_TRUE(store.WriteString(session, "Last", "a.mpf"));
    ASSERT_TRUE(store.SaveKey(window, saved)) << store.LastError();
    EXPECT_FALSE(store.SaveKey(window, file_)) << "not over the settings file";
    EXPECT_FALSE(store.SaveKey(window, dir_ + "/missing/window.key"));

    const auto other = store.CreateKey(store.Root(), "Other", false);
    ASSERT_TRUE(store.WriteDword(other, "Width", 1));
    const auto oldChild = store.CreateKey(other, "Child", false);
    const std::string before = Read(file_);
    ASSERT_TRUE(store.RestoreKey(other, saved)) << store.LastError();
    EXPECT_EQ(Read(file_), before) << "a restore is not written";
    EXPECT_FALSE(store.WriteDword(oldChild, "N", 1)) << "the former subkeys are gone";
    EXPECT_EQ(store.SubKeys(other), std::vector<std::string>{"Session"});
    uint32_t width = 0;
    std::string last;
    EXPECT_TRUE(store.ReadDword(other, "Width", width));
    EXPECT_EQ(width, 800u);
    const auto restored = store.OpenKey(other, "Session");
    EXPECT_TRUE(store.ReadString(restored, "Last", last));
    EXPECT_EQ(last, "a.mpf");
    EXPECT_TRUE(store.IsVolatile(other));
    EXPECT_TRUE(store.IsVolatile(store.CreateKey(other, "New", false)));
    EXPECT_TRUE(store.WriteDword(other, "Width", 2));
    EXPECT_TRUE(store.Save());
    EXPECT_EQ(Read(file_), before);

    // A damaged or missing key file changes nothing.
    Put(saved, Read(saved).substr(0, 30));
    EXPECT_FALSE(store.RestoreKey(other, saved));
    EXPECT_FALSE(store.RestoreKey(other, dir_ + "/none"));
    EXPECT_TRUE(store.ReadDword(other, "Width", width));
    EXPECT_EQ(width, 2u);

    SettingsStore reloaded(file_);
    const auto original = reloaded.OpenKey(reloaded.Root(), "Other");
    EXPECT_TRUE(reloaded.ReadDword(original, "Width", width));
    EXPECT_EQ(width, 1u);
    EXPECT_EQ(reloaded.SubKeys(original), std::vector<std::string>{"Child"});
}

TEST_F(SettingsStoreTest, ThreadsShareTheStore)
{
    SettingsStore store(file_);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&store, t] {
            const auto key = store.CreateKey(store.Root(), "T" + std::to_string(t), true);
            for (uint32_t i = 0; i < 300; ++i) {
                uint32_t back = 0;
                if (!store.WriteDword(key, "V" + std::to_string(i % 7), i) ||
                    !store.ReadDword(key, "V" + std::to_string(i % 7), back) || back != i)
                    ADD_FAILURE() << "thread " << t << " value " << i;
            }
            store.CloseKey(key);
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(store.SubKeys(store.Root()).size(), 4u);
}

TEST_F(SettingsStoreTest, TheUsersSettingsLiveInTheConfigurationFolder)
{
    struct Saved {
        const char* name;
        std::string value;
        bool set;
    } saved[] = {{"ZOLVEX_SETTINGS_FILE", "", false}, {"XDG_CONFIG_HOME", "", false}, {"HOME", "", false}};
    for (auto& s : saved)
        if (const char* v = getenv(s.name))
            s.value = v, s.set = true;

    unsetenv("ZOLVEX_SETTINGS_FILE");
    setenv("HOME", "/home/me", 1);
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(zolvex::DefaultSettingsPath(), "/cfg/zolvex-video-studio/settings");
    setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_EQ(zolvex::DefaultSettingsPath(), "/home/me/.config/zolvex-video-studio/settings");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(zolvex::DefaultSettingsPath(), "/home/me/.config/zolvex-video-studio/settings");

    // The process-wide store, on a scratch file.
    setenv("ZOLVEX_SETTINGS_FILE", file_.c_str(), 1);
    EXPECT_EQ(zolvex::DefaultSettingsPath(), file_);
    SettingsStore& settings = zolvex::Settings();
    EXPECT_EQ(&settings, &zolvex::Settings());
    EXPECT_EQ(settings.Path(), file_);
    EXPECT_TRUE(settings.WriteDword(settings.Root(), "Runs", 1));
    EXPECT_TRUE(fs::exists(file_));

    for (const auto& s : saved)
        s.set ? setenv(s.name, s.value.c_str(), 1) : unsetenv(s.name);
}

}  // namespace
