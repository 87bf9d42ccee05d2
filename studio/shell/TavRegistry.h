// The studio's settings access: one open key of the settings store at a time, with
// 32-bit numbers and strings by name, the way the studio has always kept its
// choices. Every operation gives 1 when it succeeded and 0 when it did not; a null
// name or a closed key is a failure, never a crash.
#pragma once

#include <cstdint>
#include <string>

#include "platform/SettingsStore.h"

namespace zolvex {
namespace studio {

// A key: a handle of the settings store or one of the two root keys, which are the
// top keys "HKEY_LOCAL_MACHINE" and "HKEY_CURRENT_USER" of the store. The store's
// handles stay below 2^31, so they never meet the roots' values.
enum class HKEY : uint32_t { kNone = 0 };
constexpr HKEY HKEY_CURRENT_USER = HKEY(0x80000001u);
constexpr HKEY HKEY_LOCAL_MACHINE = HKEY(0x80000002u);

class CTavRegistry {
public:
    // Holds `key` of the user's settings, or of `store`.
    explicit CTavRegistry(HKEY key = HKEY_LOCAL_MACHINE);
    explicit CTavRegistry(SettingsStore& store, HKEY key = HKEY_LOCAL_MACHINE);
    virtual ~CTavRegistry();
    CTavRegistry(const CTavRegistry&) = delete;
    CTavRegistry& operator=(const CTavRegistry&) = delete;

    HKEY Key() const { return key_; }

    // Creates or opens `subkey` below the held key, volatile (it goes with the
    // process), and holds it from then on. The key held before is not closed: it
    // may be a handle the caller still uses.
    int CreateKey(const char* subkey);
    // Opens an existing `subkey` below the held key and holds it from then on; the
    // key held before is not closed.
    int Open(const char* subkey);
    // Closes the held key; until the next Open nothing works.
    int Close();

    int DeleteValue(const char* name);
    // Deletes the value `name` of `key`. A value, not a key: the callers have always
    // used it to remove one setting.
    int DeleteKey(HKEY key, const char* name);

    int Write(const char* name, int value);
    int Write(const char* name, unsigned int value);
    // Stored as a 32-bit number: bits above the low 32 are dropped, as a DWORD drops them.
    int Write(const char* name, unsigned long value);
    // A string value; its size counts the terminating NUL, as any string value's does.
    int Write(const char* name, const char* text);

    // A 32-bit number; a missing value or a string fails.
    int Read(const char* name, unsigned long* value);
    // A string, read as into a 200-byte buffer: at most 199 characters, the rest of a
    // longer one cut off. A missing value or a number fails.
    int Read(const char* name, std::string& text);

    // Saves the held key with all below it to `file`.
    int SaveKey(const char* file);
    // Replaces what the held key holds by the content of a file SaveKey wrote, as a
    // volatile whole: the settings file keeps what the key held before.
    int RestoreKey(const char* file);

    static constexpr size_t kReadBufferBytes = 200;

private:
    class Resolved;

    SettingsStore& store_;
    HKEY key_;
};

}  // namespace studio
}  // namespace zolvex
