// GraphicsMagick is made ready once for the whole library, from whichever part
// decodes a picture first.
#pragma once

namespace zolvex {
namespace magick {

// Initialises GraphicsMagick once per process (thread-safe) and sets its pixel
// limit; later calls only report the result. Call before any other GraphicsMagick use.
bool EnsureReady();

}  // namespace magick
}  // namespace zolvex
