// The filter's class factory: handing it out, registering its entries, and telling
// whether the library is still in use.
#include "filter/timeline/stream/TavmClassFactory.h"

#include <atomic>
#include <cstring>

#include "filter/timeline/stream/TavmSource.h"
#include "platform/ClassRegistry.h"

namespace zolvex {

namespace {

std::atomic<long> g_locks{0};

bool Same(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

// One factory serves both entries: they name the same class and creation function.
class SourceFactory final : public IClassFactory {
public:
    HRESULT QueryInterface(const GUID& iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (!Same(iid, IID_IUnknown) && !Same(iid, IID_IClassFactory)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = this;
        return S_OK;
    }
    ULONG AddRef() override { return 2; }   // a static object
    ULONG Release() override { return 1; }
    HRESULT CreateInstance(IUnknown* outer, const GUID& iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        CTavmSource* source = CTavmSource::Create();
        if (!source)
            return E_OUTOFMEMORY;
        const HRESULT hr = source->QueryInterface(iid, object);
        source->Release();
        return hr;
    }
    HRESULT LockServer(int lock) override
    {
        g_locks += lock ? 1 : -1;
        return S_OK;
    }
};

SourceFactory g_factory;

const char* const kEntries[] = {kTavmFilterName, kTavmAudioFactoryName};

}  // namespace

HRESULT RegisterTavmClasses()
{
    for (const char* name : kEntries) {
        const HRESULT hr = RegisterClassEntry(ClassEntry{CLSID_TavmSource, name, "Both", DllGetClassObject});
        if (hr != S_OK)
            return hr;
    }
    return S_OK;
}

void UnregisterTavmClasses()
{
    for (const char* name : kEntries)
        UnregisterClassEntry(CLSID_TavmSource, name);
}

}  // namespace zolvex

using namespace zolvex;

HRESULT DllGetClassObject(const GUID& clsid, const GUID& iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!Same(clsid, CLSID_TavmSource))
        return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, object);
}

HRESULT DllCanUnloadNow()
{
    return g_locks.load() == 0 && CTavmSource::LiveObjects() == 0 ? S_OK : S_FALSE;
}
