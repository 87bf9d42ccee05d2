#include "platform/ClassRegistry.h"

#include <cstring>
#include <mutex>

namespace zolvex {

namespace {

std::mutex g_mutex;

std::vector<ClassEntry>& Entries()
{
    static std::vector<ClassEntry> entries;
    return entries;
}

bool Same(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

}  // namespace

HRESULT RegisterClassEntry(const ClassEntry& entry)
{
    if (!entry.getClassObject)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(g_mutex);
    for (ClassEntry& e : Entries()) {
        if (Same(e.clsid, entry.clsid) && e.name == entry.name) {
            e = entry;
            return S_OK;
        }
    }
    Entries().push_back(entry);
    return S_OK;
}

HRESULT UnregisterClassEntry(const GUID& clsid, const std::string& name)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    std::vector<ClassEntry>& entries = Entries();
    const size_t before = entries.size();
    for (size_t i = entries.size(); i-- > 0;)
        if (Same(entries[i].clsid, clsid) && entries[i].name == name)
            entries.erase(entries.begin() + long(i));
    return entries.size() < before ? S_OK : S_FALSE;
}

std::vector<ClassEntry> RegisteredClasses()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return Entries();
}

HRESULT CreateInstance(const GUID& clsid, const GUID& iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    GetClassObjectFn get = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        for (const ClassEntry& e : Entries())
            if (Same(e.clsid, clsid))
                get = e.getClassObject;
    }
    if (!get)
        return REGDB_E_CLASSNOTREG;
    IClassFactory* factory = nullptr;
    HRESULT hr = get(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (hr != S_OK || !factory)
        return hr == S_OK ? E_FAIL : hr;
    hr = factory->CreateInstance(nullptr, iid, object);
    factory->Release();
    return hr;
}

}  // namespace zolvex
