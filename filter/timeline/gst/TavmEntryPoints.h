// The library's four standard entry points, as the component framework calls them.
#pragma once

#include "filter/timeline/stream/TavmClassFactory.h"
#include "platform/Export.h"
#include "platform/wintypes.h"

// Registers the filter's class factory entries ("Tavm Video", "Tavm Audio") in the
// in-process class registry, and its GStreamer element at rank none.
extern "C" ZVF_API HRESULT DllRegisterServer();
extern "C" ZVF_API HRESULT DllUnregisterServer();
