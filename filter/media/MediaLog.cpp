#include "filter/media/MediaLog.h"

#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <mutex>

#include "filter/common/Log.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace zolvex {
namespace media {

namespace {

// Trace has no level of ours: it is below debugging and would bury everything else.
bool MapLevel(int ffmpegLevel, LogLevel* level)
{
    if (ffmpegLevel <= AV_LOG_QUIET)
        return false;
    if (ffmpegLevel <= AV_LOG_ERROR)
        *level = LogLevel::kErrors;
    else if (ffmpegLevel <= AV_LOG_WARNING)
        *level = LogLevel::kWarnings;
    else if (ffmpegLevel <= AV_LOG_INFO)
        *level = LogLevel::kInfo;
    else if (ffmpegLevel <= AV_LOG_DEBUG)
        *level = LogLevel::kDebug;
    else
        return false;
    return true;
}

std::mutex g_prefixMutex;
// FFmpeg writes many lines in pieces: its "[muxer @ 0x…]" prefix belongs only
// before the first piece of each line.
int g_ffmpegLineStart = 1;

void FfmpegCallback(void* context, int ffmpegLevel, const char* format, va_list args)
{
    LogLevel level;
    if (!MapLevel(ffmpegLevel, &level) || !LogEnabled(level))
        return;
    char line[1024];
    {
        std::lock_guard<std::mutex> lock(g_prefixMutex);
        const int length =
            av_log_format_line2(context, ffmpegLevel, format, args, line, sizeof line, &g_ffmpegLineStart);
        if (length < 0)
            return;
        // A line cut to fit still ends, so that the next one gets its prefix.
        if (size_t(length) >= sizeof line && g_ffmpegLineStart)
            line[sizeof line - 2] = '\n';
    }
    LogMessage(level, "%s", line);
}

}  // namespace

void RouteFfmpegLog()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(&FfmpegCallback); });
}

std::string DescribeOpenFailure(int ffmpegError)
{
    if (ffmpegError == AVERROR(ENOENT))
        return "no such file";
    if (ffmpegError == AVERROR(EISDIR))
        return "a folder, not a file";
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(ffmpegError, text, sizeof text);
    return text;
}

}  // namespace media
}  // namespace zolvex
