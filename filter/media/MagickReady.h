// GraphicsMagick is made ready once for the whole process, from whichever part
// decodes a picture first (the studio's picture classes use it too).
#pragma once

#include "platform/Export.h"

namespace zolvex {
namespace magick {

// Initialises GraphicsMagick once per process (thread-safe) and sets its pixel
// limit; later calls only report the result. Call before any other GraphicsMagick use.
ZVF_API bool EnsureReady();

}  // namespace magick
}  // namespace zolvex
