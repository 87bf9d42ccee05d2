// FFmpeg's log through the library's: one callback, installed on the first open of a
// media file or a movie, sorts FFmpeg's levels onto the library's and shows what the
// level set with SetLogLevel lets through. Internal to the library.
#pragma once

#include <string>

namespace zolvex {
namespace media {

// Installs the callback once; later calls do nothing.
void RouteFfmpegLog();

// Why FFmpeg could not open or read a file, from its error code: the commonest
// reasons in plain words, the rest in FFmpeg's own.
std::string DescribeOpenFailure(int ffmpegError);

}  // namespace media
}  // namespace zolvex
