// The windows' texts: an entry of the string table, or a label the table has no
// number for, in the chosen language.
#pragma once

#include <QString>

#include "studio/shell/StringTable.h"

namespace zolvex {
namespace studio {

inline QString S(int n) { return QString::fromStdString(Str(n)); }

inline QString Text(const char* english, const char* chinese)
{
    return QString::fromUtf8(Strings().CurrentLanguage() == Language::kChinese ? chinese : english);
}

}  // namespace studio
}  // namespace zolvex
