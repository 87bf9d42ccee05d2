// Class objects in process: a small registry that maps a class identifier to the
// function handing out its class factory, and creation by class identifier through
// it — what the platform's component registry does for the filter library.
#pragma once

#include <string>
#include <vector>

#include "platform/Export.h"
#include "platform/Unknown.h"

// {00000001-0000-0000-C000-000000000046}
constexpr GUID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);

struct IClassFactory : IUnknown {
    virtual HRESULT CreateInstance(IUnknown* outer, const GUID& iid, void** object) = 0;
    virtual HRESULT LockServer(int lock) = 0;

protected:
    ~IClassFactory() = default;
};

namespace zolvex {

typedef HRESULT (*GetClassObjectFn)(const GUID& clsid, const GUID& iid, void** object);

struct ClassEntry {
    GUID clsid;
    std::string name;
    std::string threading;  // "Both", "Apartment", …
    GetClassObjectFn getClassObject;
};

// Adds an entry (an entry of the same class and name is replaced).
ZVF_API HRESULT RegisterClassEntry(const ClassEntry& entry);
// Removes every entry of the class with that name; S_FALSE when there was none.
ZVF_API HRESULT UnregisterClassEntry(const GUID& clsid, const std::string& name);
// The entries registered now.
ZVF_API std::vector<ClassEntry> RegisteredClasses();

// Creates an object of a registered class and asks it for `iid`.
ZVF_API HRESULT CreateInstance(const GUID& clsid, const GUID& iid, void** object);

}  // namespace zolvex
