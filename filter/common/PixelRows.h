// Rows of 3-byte pixels turned between the frame layout of the producer (blue first)
// and the red-first layout of decoders and encoders. Internal to the library.
#pragma once

#include "platform/Export.h"

namespace zolvex {

// `width` pixels of `src` into `dst` with the first and third byte of each swapped;
// the two rows must not overlap.
void SwapRedBlueRow(const unsigned char* src, unsigned char* dst, int width);

// A producer frame (width × height × 3 bytes, blue first, bottom row first, no
// padding; width and height even) as the three planes of 4:2:0 video, top row
// first: BT.601 studio range, each chroma sample from the mean of its 2 × 2 pixels.
ZVF_API void BottomUpBgrToYuv420(const unsigned char* bgr, int width, int height, unsigned char* y, int yStride,
                                 unsigned char* u, int uStride, unsigned char* v, int vStride);

}  // namespace zolvex
