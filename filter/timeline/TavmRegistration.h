// The library's four standard entry points, as the component framework calls them.
#pragma once

#include "platform/Export.h"
#include "platform/wintypes.h"

// Registers the filter's class factory entries ("Tavm Video", "Tavm Audio") in the
// in-process class registry, and its GStreamer element at rank none.
extern "C" ZVF_API HRESULT DllRegisterServer();
extern "C" ZVF_API HRESULT DllUnregisterServer();
// The class factory of the rendering filter (IID_IClassFactory).
extern "C" ZVF_API HRESULT DllGetClassObject(const GUID& clsid, const GUID& iid, void** object);
// S_OK when no filter and no factory lock is alive.
extern "C" ZVF_API HRESULT DllCanUnloadNow();
