// The rendering filter in GStreamer: the element "zolvexsrc", a source with a "video"
// and an "audio" pad. Its "filter" property takes the CTavmSource (an IUnknown) it
// plays; an element made without one makes its own when it leaves the null state.
#pragma once

#include "platform/Export.h"

namespace zolvex {

constexpr char kTavmElementName[] = "zolvexsrc";

// Registers the element with GStreamer (initialising GStreamer when nothing has),
// at rank none: automatic pipeline building never picks it.
ZVF_API bool RegisterTavmElement();

}  // namespace zolvex
