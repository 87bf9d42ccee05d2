// The rendering filter's class factory and its entries in the in-process class
// registry: what creation by class identifier goes through. The library's exported
// registration entry points (gst/TavmEntryPoints.h) add the GStreamer element.
#pragma once

#include "platform/Export.h"
#include "platform/wintypes.h"

namespace zolvex {

// Registers the class factory entries "Tavm Video" and "Tavm Audio".
HRESULT RegisterTavmClasses();
// Removes them; objects made before live on.
void UnregisterTavmClasses();

}  // namespace zolvex

// The class factory of the rendering filter (IID_IClassFactory).
extern "C" ZVF_API HRESULT DllGetClassObject(const GUID& clsid, const GUID& iid, void** object);
// S_OK when no filter and no factory lock is alive.
extern "C" ZVF_API HRESULT DllCanUnloadNow();
