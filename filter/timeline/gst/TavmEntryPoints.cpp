// Registration of the whole filter: its class entries and its GStreamer element.
#include "filter/timeline/gst/TavmEntryPoints.h"

#include "filter/timeline/gst/GstTavmSource.h"

HRESULT DllRegisterServer()
{
    const HRESULT hr = zolvex::RegisterTavmClasses();
    if (hr != S_OK)
        return hr;
    return zolvex::RegisterTavmElement() ? S_OK : E_FAIL;
}

HRESULT DllUnregisterServer()
{
    // GStreamer keeps element types for the life of the process; the class entries
    // are what creation goes through, and they go.
    zolvex::UnregisterTavmClasses();
    return S_OK;
}
