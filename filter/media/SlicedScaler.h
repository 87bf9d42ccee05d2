// A libswscale context that converts in row slices on every processor, as the ffmpeg
// command does. Use it with sws_scale_frame (the slices need frame buffers).
// Internal to the library.
#pragma once

struct SwsContext;

namespace zolvex {
namespace media {

// nullptr when libswscale refuses the sizes or formats (AVPixelFormat values).
SwsContext* NewSlicedScaler(int srcWidth, int srcHeight, int srcFormat, int dstWidth, int dstHeight, int dstFormat);

}  // namespace media
}  // namespace zolvex
