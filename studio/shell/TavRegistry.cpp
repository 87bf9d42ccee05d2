#include "studio/shell/TavRegistry.h"

namespace zolvex {
namespace studio {

namespace {

const char* RootName(HKEY key)
{
    if (key == HKEY_LOCAL_MACHINE)
        return "HKEY_LOCAL_MACHINE";
    if (key == HKEY_CURRENT_USER)
        return "HKEY_CURRENT_USER";
    return nullptr;
}

}  // namespace

// The store's handle for a key. A root key is the store's top key of that name,
// opened for the one operation and closed after it; `create` makes a missing top
// key (persistent, as the roots always are) for operations that write.
class CTavRegistry::Resolved {
public:
    Resolved(SettingsStore& store, HKEY key, bool create) : store_(store)
    {
        if (const char* name = RootName(key)) {
            handle_ = create ? store.CreateKey(store.Root(), name, false) : store.OpenKey(store.Root(), name);
            owned_ = true;
        } else {
            handle_ = static_cast<SettingsStore::Handle>(key);
        }
    }
    ~Resolved()
    {
        if (owned_ && handle_ != SettingsStore::kNoKey)
            store_.CloseKey(handle_);
    }
    Resolved(const Resolved&) = delete;
    Resolved& operator=(const Resolved&) = delete;

    SettingsStore::Handle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != SettingsStore::kNoKey; }

private:
    SettingsStore& store_;
    SettingsStore::Handle handle_ = SettingsStore::kNoKey;
    bool owned_ = false;
};

CTavRegistry::CTavRegistry(HKEY key) : CTavRegistry(Settings(), key) {}

CTavRegistry::CTavRegistry(SettingsStore& store, HKEY key) : store_(store), key_(key) {}

CTavRegistry::~CTavRegistry() { Close(); }

int CTavRegistry::CreateKey(const char* subkey)
{
    // Every access is full access: the store has no access rights to ask for.
    if (!subkey)
        return 0;
    Resolved base(store_, key_, true);
    if (!base)
        return 0;
    const SettingsStore::Handle key = store_.CreateKey(base.Get(), subkey, true);
    if (key == SettingsStore::kNoKey)
        return 0;
    key_ = HKEY(key);
    return 1;
}

int CTavRegistry::Open(const char* subkey)
{
    if (!subkey)
        return 0;
    Resolved base(store_, key_, false);
    if (!base)
        return 0;
    const SettingsStore::Handle key = store_.OpenKey(base.Get(), subkey);
    if (key == SettingsStore::kNoKey)
        return 0;
    key_ = HKEY(key);
    return 1;
}

int CTavRegistry::Close()
{
    if (key_ == HKEY::kNone)
        return 0;
    if (!RootName(key_))  // the roots are never closed
        store_.CloseKey(static_cast<SettingsStore::Handle>(key_));
    key_ = HKEY::kNone;
    return 1;
}

int CTavRegistry::DeleteValue(const char* name) { return DeleteKey(key_, name); }

int CTavRegistry::DeleteKey(HKEY key, const char* name)
{
    if (!name)
        return 0;
    Resolved at(store_, key, false);
    return at && store_.DeleteValue(at.Get(), name) ? 1 : 0;
}

int CTavRegistry::Write(const char* name, int value) { return Write(name, static_cast<unsigned int>(value)); }

int CTavRegistry::Write(const char* name, unsigned long value)
{
    return Write(name, static_cast<unsigned int>(value & 0xFFFFFFFFu));
}

int CTavRegistry::Write(const char* name, unsigned int value)
{
    if (!name)
        return 0;
    Resolved at(store_, key_, true);
    return at && store_.WriteDword(at.Get(), name, uint32_t(value)) ? 1 : 0;
}

int CTavRegistry::Write(const char* name, const char* text)
{
    if (!name || !text)
        return 0;
    Resolved at(store_, key_, true);
    return at && store_.WriteString(at.Get(), name, text) ? 1 : 0;
}

int CTavRegistry::Read(const char* name, unsigned long* value)
{
    if (!name || !value)
        return 0;
    Resolved at(store_, key_, false);
    uint32_t v = 0;
    if (!at || !store_.ReadDword(at.Get(), name, v))
        return 0;
    *value = v;
    return 1;
}

int CTavRegistry::Read(const char* name, std::string& text)
{
    if (!name)
        return 0;
    Resolved at(store_, key_, false);
    std::string stored;
    if (!at || !store_.ReadString(at.Get(), name, stored))
        return 0;
    // What a 200-byte buffer holds as a C string: up to the first NUL, and room
    // for the NUL at the end.
    const size_t nul = stored.find('\0');
    const size_t length = nul == std::string::npos ? stored.size() : nul;
    text.assign(stored, 0, length < kReadBufferBytes - 1 ? length : kReadBufferBytes - 1);
    return 1;
}

int CTavRegistry::SaveKey(const char* file)
{
    if (!file)
        return 0;
    Resolved at(store_, key_, false);
    return at && store_.SaveKey(at.Get(), file) ? 1 : 0;
}

int CTavRegistry::RestoreKey(const char* file)
{
    if (!file)
        return 0;
    Resolved at(store_, key_, true);
    return at && store_.RestoreKey(at.Get(), file) ? 1 : 0;
}

}  // namespace studio
}  // namespace zolvex
