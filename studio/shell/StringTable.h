// The studio's numbered interface texts: 149 entries of 260 bytes each, one table per
// language, compiled in. The windows ask for a text by its number through Str(), so a
// language change is one Load() on the active table.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zolvex {
namespace studio {

enum class Language { kEnglish = 0, kChinese = 1 };

constexpr int kStringCount = 149;
constexpr int kStringBytes = 260;  // each slot, its terminating NUL included
constexpr size_t kStringTableBytes = size_t(kStringCount) * kStringBytes;

class StringTable
{
public:
    // Fills the slots from the compiled-in texts of the language. False for a language
    // without texts or a text too long for its slot; the table is then left as it was.
    bool Load(Language language);
    // Takes a table of kStringTableBytes bytes as it stands, slots not necessarily
    // terminated. False (the table left as it was) for any other size.
    bool LoadBytes(Language language, const unsigned char* bytes, size_t size);
    void Unload();

    bool Loaded() const { return !data_.empty(); }
    // The language loaded; English while none is.
    Language CurrentLanguage() const { return language_; }

    // Entry n up to its NUL, never more than its slot's 260 bytes. Empty with no table
    // loaded or n outside 0..148.
    std::string Get(int n) const;
    // The kStringTableBytes bytes of the slots, or null with no table loaded.
    const unsigned char* Data() const { return data_.empty() ? nullptr : data_.data(); }

private:
    std::vector<unsigned char> data_;
    Language language_ = Language::kEnglish;
};

// The compiled-in text of entry n of a language: "" for an entry the language leaves
// empty, null for n outside 0..148 or an unknown language.
const char* StringText(Language language, int n);

// The program's active table, and a lookup in it.
StringTable& Strings();
std::string Str(int n);

}  // namespace studio
}  // namespace zolvex
