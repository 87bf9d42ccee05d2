// The program's settings: a tree of keys, each with 32-bit and string values by name
// and subkeys, standing in for the Windows registry. Persistent keys are kept in one
// file under the user's configuration folder; volatile keys live in memory for the
// life of the process only. Every change that alters what the file holds is written
// through at once, and a change whose write fails is undone, so the tree in memory
// never claims what the disk does not have.
//
// Key paths take "/" or "\" between names; names compare without regard to ASCII
// case and keep the case they were created with. All members may be called from
// any thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Export.h"

namespace zolvex {

// What a load found.
enum class SettingsLoad {
    kLoaded,      // the file was read
    kNoFile,      // there is none yet: an empty tree
    kDamaged,     // not a settings file, or cut short: an empty tree; the file stays until a write
    kUnreadable,  // it could not be read (permissions, not a regular file): an empty tree, and
                  // the file is never written over, so settings that may be fine are not lost
};

enum class SettingsValueKind { kNone, kDword, kString };

class ZVF_API SettingsStore {
public:
    // An open key. Handles are nonzero and below 2^31, so a caller may give the
    // upper half meanings of its own.
    typedef uint32_t Handle;
    static constexpr Handle kNoKey = 0;

    // A store on `path`, loaded from it at once (LastLoad tells how that went); an
    // empty path keeps everything in memory.
    explicit SettingsStore(std::string path = std::string());
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    const std::string& Path() const { return path_; }

    // Reads the file again, in place of the tree; every handle but the root's stops
    // working.
    SettingsLoad Load();
    SettingsLoad LastLoad() const;
    // Writes the persistent keys to the file now (changes are written as they are
    // made; this is for a file that should be rewritten regardless).
    bool Save();
    // Why the latest load, save or change that failed did, in a few words.
    std::string LastError() const;

    // The tree's root; it is always open and closing it does nothing.
    Handle Root() const { return kRootHandle; }

    // Opens `path` below `parent`, creating the keys it lacks. Keys created below a
    // volatile key are volatile whatever `isVolatile` says; an existing key keeps
    // what it is. *created (when given) tells whether the last key was new. An
    // empty path opens `parent` again.
    Handle CreateKey(Handle parent, const std::string& path, bool isVolatile, bool* created = nullptr);
    // Opens an existing key; kNoKey when there is none.
    Handle OpenKey(Handle parent, const std::string& path);
    void CloseKey(Handle key);
    // Deletes the key at `path` below `parent` with all its subkeys. Handles into
    // the deleted keys stop working.
    bool DeleteKey(Handle parent, const std::string& path);

    bool WriteDword(Handle key, const std::string& name, uint32_t value);
    bool WriteString(Handle key, const std::string& name, const std::string& text);
    bool DeleteValue(Handle key, const std::string& name);
    // False for a missing value or one of the other kind.
    bool ReadDword(Handle key, const std::string& name, uint32_t& value) const;
    bool ReadString(Handle key, const std::string& name, std::string& text) const;
    SettingsValueKind ValueKind(Handle key, const std::string& name) const;

    // Names in order, without regard to case.
    std::vector<std::string> SubKeys(Handle key) const;
    std::vector<std::string> ValueNames(Handle key) const;
    // True when what is written under the key lives in memory only.
    bool IsVolatile(Handle key) const;

    // Writes what the key holds now, volatile parts included, to `file` in the
    // settings file's own format (an existing file is replaced).
    bool SaveKey(Handle key, const std::string& file);
    // Replaces the key's values and subkeys by those saved in `file`, all volatile:
    // the restored content is gone with the process, and the settings file keeps
    // what the key held before. A damaged file changes nothing. Handles to the key's
    // former subkeys stop working.
    bool RestoreKey(Handle key, const std::string& file);

    struct Node;  // the tree's keys, private to the implementation

private:
    static constexpr Handle kRootHandle = 1;

    SettingsLoad LoadLocked();
    std::shared_ptr<Node> Find(Handle key) const;
    Handle NewHandle(std::shared_ptr<Node> node);
    bool PutValue(Handle key, const std::string& name, bool isString, uint32_t dword, const std::string& text);
    template <class Undo>
    bool Persist(Undo undo);
    bool WriteFile(const std::string& file, const std::string& bytes, bool makeFolders);
    bool Fail(const std::string& why) const;

    const std::string path_;
    mutable std::mutex mutex_;
    std::shared_ptr<Node> root_;
    std::map<Handle, std::shared_ptr<Node>> handles_;
    Handle next_ = kRootHandle + 1;
    std::string written_;       // what the file holds, as this store last read or wrote it
    bool mayWrite_ = true;      // false once the file could not be read
    SettingsLoad lastLoad_ = SettingsLoad::kNoFile;
    mutable std::string error_;
};

// Where the user's settings live: $ZOLVEX_SETTINGS_FILE when set, else
// "zolvex-video-studio/settings" in $XDG_CONFIG_HOME or $HOME/.config. Empty when
// there is no home to put it in.
ZVF_API std::string DefaultSettingsPath();

// The process-wide store on the user's settings, loaded on first use.
ZVF_API SettingsStore& Settings();

}  // namespace zolvex
