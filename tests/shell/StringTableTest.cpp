// The numbered interface texts: lookups with and without a table, the English texts as
// the program has them, the Chinese table against the English one, and slot bounds.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "studio/shell/StringTable.h"

using namespace zolvex::studio;

namespace {

size_t Offset(int n)
{
    return size_t(n) * kStringBytes;
}

TEST(StringTable, EnglishLookups)
{
    StringTable table;
    EXPECT_FALSE(table.Loaded());
    EXPECT_EQ(table.Get(0), "");
    EXPECT_EQ(table.Data(), nullptr);

    ASSERT_TRUE(table.Load(Language::kEnglish));
    EXPECT_EQ(table.CurrentLanguage(), Language::kEnglish);
    EXPECT_EQ(table.Get(0), "Zolvex Video Studio");
    EXPECT_EQ(table.Get(10), "Save Moive Now");
    EXPECT_EQ(table.Get(19), "Freqency");
    EXPECT_EQ(table.Get(87), "The project has been modified , Do you want to save it?");
    EXPECT_EQ(table.Get(88), "Please select a prject name to open it.");
    EXPECT_EQ(table.Get(96), "Utitled");
    EXPECT_EQ(table.Get(108), "There is no scene on the timeline,\n Please add video or picture first.");
    EXPECT_EQ(table.Get(145),
              "Remove the animation effect will cause project which has included it\n"
              " can not be using normally , are you sure to remove?");
    for (int n : {23, 61, 149, -1, 1000})
        EXPECT_EQ(table.Get(n), "") << n;

    // The slots lie end to end, zero after each text, the last ending the 38,740 bytes.
    ASSERT_EQ(kStringTableBytes, 38740u);
    const unsigned char* data = table.Data();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::memcmp(data + Offset(148), "Text Color", 11), 0);
    const std::vector<unsigned char> zeros(kStringBytes, 0);
    EXPECT_EQ(std::memcmp(data + Offset(148) + 11, zeros.data(), kStringBytes - 11), 0);
    EXPECT_EQ(std::memcmp(data + Offset(23), zeros.data(), kStringBytes), 0);

    table.Unload();
    EXPECT_FALSE(table.Loaded());
    EXPECT_EQ(table.Get(0), "");
    EXPECT_EQ(table.Data(), nullptr);

    // The program's table is one and the same wherever it is asked for.
    ASSERT_TRUE(Strings().Load(Language::kEnglish));
    EXPECT_EQ(Str(96), "Utitled");
    Strings().Unload();
    EXPECT_EQ(Str(96), "");
}

TEST(StringTable, LanguagesAndSlots)
{
    for (int n = 0; n < kStringCount; ++n) {
        const char* english = StringText(Language::kEnglish, n);
        const char* chinese = StringText(Language::kChinese, n);
        ASSERT_NE(english, nullptr) << n;
        ASSERT_NE(chinese, nullptr) << n;
        EXPECT_LT(std::strlen(english), size_t(kStringBytes)) << n;
        EXPECT_LT(std::strlen(chinese), size_t(kStringBytes)) << n;
        EXPECT_EQ(*english == '\0', *chinese == '\0') << n;
        EXPECT_EQ(std::strchr(english, '\n') != nullptr, std::strchr(chinese, '\n') != nullptr) << n;
    }
    EXPECT_EQ(StringText(Language::kEnglish, kStringCount), nullptr);
    EXPECT_EQ(StringText(static_cast<Language>(2), 0), nullptr);

    StringTable table;
    ASSERT_TRUE(table.Load(Language::kEnglish));
    ASSERT_TRUE(table.Load(Language::kChinese));
    EXPECT_EQ(table.CurrentLanguage(), Language::kChinese);
    EXPECT_EQ(table.Get(96), "未命名");
    EXPECT_EQ(table.Get(103), "Noto Sans CJK SC");
    EXPECT_EQ(table.Get(23), "");
    EXPECT_FALSE(table.Load(static_cast<Language>(2)));
    EXPECT_EQ(table.Get(96), "未命名");
    ASSERT_TRUE(table.Load(Language::kEnglish));
    EXPECT_EQ(table.Get(96), "Utitled");

    // A slot with no NUL is read to its own end and no further.
    std::vector<unsigned char> bytes(kStringTableBytes, 0);
    std::memset(bytes.data() + Offset(5), 'x', kStringBytes);
    std::memcpy(bytes.data() + Offset(6), "next", 4);
    std::memset(bytes.data() + Offset(148), 'y', kStringBytes);
    EXPECT_FALSE(table.LoadBytes(Language::kChinese, bytes.data(), bytes.size() - 1));
    ASSERT_TRUE(table.LoadBytes(Language::kChinese, bytes.data(), bytes.size()));
    EXPECT_EQ(table.Get(5), std::string(kStringBytes, 'x'));
    EXPECT_EQ(table.Get(6), "next");
    EXPECT_EQ(table.Get(148), std::string(kStringBytes, 'y'));
}

}  // namespace
