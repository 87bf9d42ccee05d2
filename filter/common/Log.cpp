#include "filter/common/Log.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

namespace zolvex {

namespace {

std::atomic<int> g_level{int(LogLevel::kErrors)};

// Whether the next message starts a line, and one writer at a time so that lines
// from different threads do not run into each other.
std::mutex g_writeMutex;
bool g_atLineStart = true;

}  // namespace

void SetLogLevel(LogLevel level)
{
    g_level.store(int(level), std::memory_order_relaxed);
}

LogLevel GetLogLevel()
{
    return LogLevel(g_level.load(std::memory_order_relaxed));
}

bool LogEnabled(LogLevel level)
{
    return level != LogLevel::kQuiet && int(level) <= g_level.load(std::memory_order_relaxed);
}

void LogMessage(LogLevel level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    LogMessageV(level, format, args);
    va_end(args);
}

void LogMessageV(LogLevel level, const char* format, va_list args)
{
    if (!format || !LogEnabled(level))
        return;
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length <= 0)
        return;
    std::string text(size_t(length) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), format, args);
    text.resize(size_t(length));

    std::lock_guard<std::mutex> lock(g_writeMutex);
    // Prefixed line by line, then written at once.
    std::string out;
    size_t at = 0;
    while (at < text.size()) {
        if (g_atLineStart)
            out += "zolvex: ";
        const size_t end = text.find('\n', at);
        const size_t next = end == std::string::npos ? text.size() : end + 1;
        out.append(text, at, next - at);
        g_atLineStart = end != std::string::npos;
        at = next;
    }
    std::fwrite(out.data(), 1, out.size(), stderr);
    std::fflush(stderr);
}

}  // namespace zolvex
