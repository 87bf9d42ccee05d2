// Animation playback draws from the C library generator and re-seeds it from the
// clock (seconds) at every call, so a crowd looks different every time it is played.
#pragma once

#include "platform/Export.h"

namespace zolvex {

// Where the seeds come from; null restores the clock. Tests use a fixed seed to
// compare positions.
ZVF_API void SetAnimationSeedSource(unsigned (*source)());

}  // namespace zolvex
