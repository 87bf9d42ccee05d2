// The studio's settings access on a scratch store: keys it creates go with the
// process, keys of the file last; numbers as DWORDs, strings as read into a 200-byte
// buffer; values removed by either name; saved and restored keys; a closed key.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "studio/shell/TavRegistry.h"

namespace fs = std::filesystem;
using zolvex::SettingsStore;
using namespace zolvex::studio;

namespace {

class TavRegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/zolvex-registry-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
        file_ = dir_ + "/settings";
        store_.reset(new SettingsStore(file_));
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string FileText() const
    {
        std::ifstream in(file_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // A persistent key, as the studio's installer would have made it.
    void MakeKey(const std::string& path)
    {
        store_->CloseKey(store_->CreateKey(store_->Root(), path, false));
    }

    std::string dir_, file_;
    std::unique_ptr<SettingsStore> store_;
};

TEST_F(TavRegistryTest, CreateKeyHoldsANewVolatileKey)
{
    MakeKey("HKEY_CURRENT_USER");
    CTavRegistry base(*store_, HKEY_CURRENT_USER);
    ASSERT_EQ(base.Open(""), 1);
    {
        CTavRegistry reg(*store_, HKEY_CURRENT_USER);
        ASSERT_EQ(reg.CreateKey("Software\\Zolvex/Session"), 1);
        EXPECT_NE(reg.Key(), HKEY_CURRENT_USER);
        EXPECT_EQ(reg.Write("Width", 720), 1);
        EXPECT_TRUE(store_->IsVolatile(static_cast<SettingsStore::Handle>(reg.Key())));

        // The key held before is not closed by CreateKey.
        CTavRegistry sub(*store_, base.Key());
        ASSERT_EQ(sub.CreateKey("Recent"), 1);
        EXPECT_EQ(base.Write("Kept", 1), 1);
        unsigned long n = 0;
        EXPECT_EQ(reg.Read("Width", &n), 1);
        EXPECT_EQ(n, 720u);
    }
    ASSERT_TRUE(store_->Save());
    EXPECT_EQ(FileText().find("Zolvex"), std::string::npos);
    EXPECT_EQ(FileText().find("Recent"), std::string::npos);

    SettingsStore fresh(file_);
    CTavRegistry reg(fresh, HKEY_CURRENT_USER);
    EXPECT_EQ(reg.Open("Software"), 0);
    unsigned long kept = 0;
    EXPECT_EQ(reg.Read("Kept", &kept), 1);
    EXPECT_EQ(kept, 1u);
}

TEST_F(TavRegistryTest, ValuesOfPersistentKeysSurviveAReload)
{
    MakeKey("HKEY_LOCAL_MACHINE/Software/Zolvex");
    {
        CTavRegistry reg(*store_);
        ASSERT_EQ(reg.Open("SOFTWARE\\zolvex"), 1);
        EXPECT_EQ(reg.Write("Minus", -1), 1);
        EXPECT_EQ(reg.Write("Wide", 0x123456789ul), 1);
        EXPECT_EQ(reg.Write("Folder", "/home/me/Movies"), 1);
        CTavRegistry user(*store_, HKEY_CURRENT_USER);
        EXPECT_EQ(user.Write("Folder", "elsewhere"), 1);
    }
    SettingsStore fresh(file_);
    CTavRegistry reg(fresh);
    ASSERT_EQ(reg.Open("Software/Zolvex"), 1);
    unsigned long n = 0;
    EXPECT_EQ(reg.Read("Minus", &n), 1);
    EXPECT_EQ(n, 0xFFFFFFFFul);
    EXPECT_EQ(reg.Read("Wide", &n), 1);
    EXPECT_EQ(n, 0x23456789ul) << "the low 32 bits, as a DWORD keeps";
    std::string text;
    EXPECT_EQ(reg.Read("Folder", text), 1);
    EXPECT_EQ(text, "/home/me/Movies");
    CTavRegistry user(fresh, HKEY_CURRENT_USER);
    EXPECT_EQ(user.Read("Folder", text), 1);
    EXPECT_EQ(text, "elsewhere") << "the two roots are different keys";
}

TEST_F(TavRegistryTest, ReadsTakeTheirOwnKindAndStringsFitTwoHundredBytes)
{
    CTavRegistry reg(*store_);
    ASSERT_EQ(reg.CreateKey("Strings"), 1);
    const std::string fits(199, 'a');
    const std::string longer = std::string(199, 'b') + "cut";
    ASSERT_EQ(reg.Write("Fits", fits.c_str()), 1);
    ASSERT_EQ(reg.Write("Longer", longer.c_str()), 1);
    ASSERT_EQ(reg.Write("Number", 7), 1);
    std::string text = "untouched";
    EXPECT_EQ(reg.Read("Fits", text), 1);
    EXPECT_EQ(text, fits);
    EXPECT_EQ(reg.Read("Longer", text), 1);
    EXPECT_EQ(text, std::string(199, 'b'));

    text = "untouched";
    unsigned long n = 99;
    EXPECT_EQ(reg.Read("Number", text), 0);
    EXPECT_EQ(reg.Read("Fits", &n), 0);
    EXPECT_EQ(reg.Read("Missing", &n), 0);
    EXPECT_EQ(reg.Read("Missing", text), 0);
    EXPECT_EQ(text, "untouched");
    EXPECT_EQ(n, 99u);
    EXPECT_EQ(reg.Read("Number", nullptr), 0);
    EXPECT_EQ(reg.Read(nullptr, text), 0);
    EXPECT_EQ(reg.Write(nullptr, 1), 0);
    EXPECT_EQ(reg.Write("Null", static_cast<const char*>(nullptr)), 0);
    EXPECT_EQ(reg.CreateKey(nullptr), 0);
    EXPECT_EQ(reg.Open(nullptr), 0);
}

TEST_F(TavRegistryTest, DeleteKeyAndDeleteValueRemoveOneValue)
{
    CTavRegistry reg(*store_);
    ASSERT_EQ(reg.CreateKey("Recent"), 1);
    const HKEY recent = reg.Key();
    ASSERT_EQ(reg.CreateKey("Last"), 1);  // a subkey named as the value
    CTavRegistry at(*store_, recent);
    ASSERT_EQ(at.Write("Last", "a.mpf"), 1);
    ASSERT_EQ(at.Write("Count", 2), 1);

    EXPECT_EQ(reg.DeleteKey(recent, "Last"), 1);
    std::string text;
    EXPECT_EQ(at.Read("Last", text), 0);
    EXPECT_EQ(at.Open("Last"), 1) << "the key of that name stays";
    EXPECT_EQ(reg.DeleteKey(recent, "Last"), 0);
    EXPECT_EQ(reg.DeleteKey(recent, nullptr), 0);

    CTavRegistry again(*store_, recent);
    EXPECT_EQ(again.DeleteValue("Count"), 1);
    unsigned long n = 0;
    EXPECT_EQ(again.Read("Count", &n), 0);
    EXPECT_EQ(again.DeleteValue("Count"), 0);
}

TEST_F(TavRegistryTest, SaveKeyAndRestoreKeyRoundTrip)
{
    const std::string saved = dir_ + "/window.key";
    MakeKey("HKEY_LOCAL_MACHINE/Window");
    CTavRegistry reg(*store_);
    ASSERT_EQ(reg.Open("Window"), 1);
    ASSERT_EQ(reg.Write("Width", 800), 1);
    ASSERT_EQ(reg.Write("Title", "Holiday"), 1);
    CTavRegistry sub(*store_, reg.Key());
    ASSERT_EQ(sub.CreateKey("Panels"), 1);
    ASSERT_EQ(sub.Write("Count", 3), 1);
    ASSERT_EQ(reg.SaveKey(saved.c_str()), 1);

    ASSERT_EQ(reg.Write("Width", 1024), 1);
    ASSERT_EQ(reg.DeleteValue("Title"), 1);
    const std::string before = FileText();
    ASSERT_EQ(reg.RestoreKey(saved.c_str()), 1);
    unsigned long n = 0;
    std::string text;
    EXPECT_EQ(reg.Read("Width", &n), 1);
    EXPECT_EQ(n, 800u);
    EXPECT_EQ(reg.Read("Title", text), 1);
    EXPECT_EQ(text, "Holiday");
    CTavRegistry panels(*store_, reg.Key());
    ASSERT_EQ(panels.Open("Panels"), 1);
    EXPECT_EQ(panels.Read("Count", &n), 1);
    EXPECT_EQ(n, 3u);

    // Restored as a volatile whole: the file still holds the settings from before.
    EXPECT_EQ(FileText(), before);
    SettingsStore fresh(file_);
    CTavRegistry reloaded(fresh);
    ASSERT_EQ(reloaded.Open("Window"), 1);
    EXPECT_EQ(reloaded.Read("Width", &n), 1);
    EXPECT_EQ(n, 1024u);
    EXPECT_EQ(reloaded.Read("Title", text), 0);

    EXPECT_EQ(reg.RestoreKey((dir_ + "/none").c_str()), 0);
    EXPECT_EQ(reg.SaveKey((dir_ + "/no/such/folder").c_str()), 0);
    EXPECT_EQ(reg.SaveKey(nullptr), 0);
    EXPECT_EQ(reg.RestoreKey(nullptr), 0);
}

TEST_F(TavRegistryTest, AfterCloseEverythingFails)
{
    const std::string saved = dir_ + "/k";
    CTavRegistry reg(*store_);
    ASSERT_EQ(reg.CreateKey("Session"), 1);
    const HKEY session = reg.Key();
    ASSERT_EQ(reg.Write("N", 1), 1);
    ASSERT_EQ(reg.SaveKey(saved.c_str()), 1);
    EXPECT_EQ(reg.Close(), 1);
    EXPECT_EQ(reg.Close(), 0);
    EXPECT_EQ(reg.Key(), HKEY::kNone);

    unsigned long n = 0;
    std::string text;
    EXPECT_EQ(reg.Read("N", &n), 0);
    EXPECT_EQ(reg.Read("N", text), 0);
    EXPECT_EQ(reg.Write("N", 2), 0);
    EXPECT_EQ(reg.Write("S", "x"), 0);
    EXPECT_EQ(reg.DeleteValue("N"), 0);
    EXPECT_EQ(reg.CreateKey("Sub"), 0);
    EXPECT_EQ(reg.Open(""), 0);
    EXPECT_EQ(reg.SaveKey(saved.c_str()), 0);
    EXPECT_EQ(reg.RestoreKey(saved.c_str()), 0);
    EXPECT_EQ(reg.DeleteKey(session, "N"), 0) << "the handle closed with it";
}

}  // namespace
