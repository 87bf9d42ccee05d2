// The active string table and its slots. A slot is copied out only up to its own end,
// so a table read from elsewhere with an unterminated slot cannot run into the next.
#include "studio/shell/StringTable.h"

#include <cstring>

namespace zolvex {
namespace studio {

bool StringTable::Load(Language language)
{
    std::vector<unsigned char> data(kStringTableBytes, 0);
    for (int n = 0; n < kStringCount; ++n) {
        const char* text = StringText(language, n);
        if (!text)
            return false;
        const size_t length = std::strlen(text);
        if (length >= size_t(kStringBytes))
            return false;
        std::memcpy(data.data() + size_t(n) * kStringBytes, text, length);
    }
    data_.swap(data);
    language_ = language;
    return true;
}

bool StringTable::LoadBytes(Language language, const unsigned char* bytes, size_t size)
{
    if (!bytes || size != kStringTableBytes)
        return false;
    data_.assign(bytes, bytes + size);
    language_ = language;
    return true;
}

void StringTable::Unload()
{
    data_.clear();
    data_.shrink_to_fit();
    language_ = Language::kEnglish;
}

std::string StringTable::Get(int n) const
{
    if (data_.empty() || n < 0 || n >= kStringCount)
        return std::string();
    const char* slot = reinterpret_cast<const char*>(data_.data()) + size_t(n) * kStringBytes;
    const void* end = std::memchr(slot, 0, kStringBytes);
    return std::string(slot, end ? static_cast<const char*>(end) - slot : kStringBytes);
}

StringTable& Strings()
{
    static StringTable table;
    return table;
}

std::string Str(int n)
{
    return Strings().Get(n);
}

}  // namespace studio
}  // namespace zolvex
