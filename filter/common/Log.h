// The library's log: one level, set by the program, decides what reaches stderr.
// FFmpeg's own messages are sorted onto the same levels, so one setting quiets both.
#pragma once

#include <cstdarg>

#include "platform/Export.h"

#if defined(__GNUC__)
#define ZOLVEX_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define ZOLVEX_PRINTF_FORMAT(f, a)
#endif

namespace zolvex {

// Each level shows its own messages and those of the levels before it.
enum class LogLevel { kQuiet, kErrors, kWarnings, kInfo, kDebug };

// kErrors until the program says otherwise.
ZVF_API void SetLogLevel(LogLevel level);
ZVF_API LogLevel GetLogLevel();
// Whether a message of `level` would be shown now.
ZVF_API bool LogEnabled(LogLevel level);

// printf-style, to stderr. Each line begins with "zolvex: "; a message that does not
// end its line is carried on by the next one.
ZVF_API void LogMessage(LogLevel level, const char* format, ...) ZOLVEX_PRINTF_FORMAT(2, 3);
ZVF_API void LogMessageV(LogLevel level, const char* format, va_list args) ZOLVEX_PRINTF_FORMAT(2, 0);

}  // namespace zolvex
