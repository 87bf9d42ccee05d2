// Picture scenes: a picture file loaded and fitted into the frame under the display
// aspect, centred with black bars.
#pragma once

#include <string>

#include "platform/Export.h"

namespace zolvex {

// Loads the picture and fits it into frame (width × height × 3 bytes, bottom-up,
// blue-green-red), which is made black first. The first try decodes by content and
// fits nearest-neighbour; the second forces the format named by the lower-cased
// extension and fits with bilinear resampling. False (frame black), with *why when
// given, when neither works.
ZVF_API bool LoadScenePicture(const char* path, int width, int height, int aspectNumerator, int aspectDenominator,
                              unsigned char* frame, std::string* why = nullptr);

}  // namespace zolvex
