// The reference-counting interface every control interface derives from, with
// Windows' identifiers and semantics: QueryInterface answers by identifier and adds
// a reference; Release frees the object when the last reference goes.
#pragma once

#include "platform/wintypes.h"

typedef uint32_t ULONG;

struct IUnknown {
    virtual HRESULT QueryInterface(const GUID& iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

// {00000000-0000-0000-C000-000000000046}
constexpr GUID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
