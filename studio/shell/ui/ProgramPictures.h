// The program's own sample pictures, painted rather than shipped as files: a sunset
// over the sea and a green field under a summer sky. The Transition and Static Effect
// pages draw their thumbnails from them, through the engine's frame buffers.
#pragma once

#include <QImage>
#include <QSize>

#include <vector>

namespace zolvex {
namespace studio {

enum class ProgramPicture { kSunset, kField };

// The picture at the size asked for (RGB32); an empty image for an empty size.
QImage PaintProgramPicture(ProgramPicture which, QSize size);

// A frame of the engine (3 bytes a pixel, blue-green-red, bottom-up, no padding) from
// an image, and back. Empty for an empty image / a null frame or empty size.
std::vector<unsigned char> FrameFromImage(const QImage& image);
QImage ImageFromFrame(const unsigned char* frame, int width, int height);

}  // namespace studio
}  // namespace zolvex
