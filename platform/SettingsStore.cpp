// The settings tree and its file.
//
// The file is text, one line each for a key, a value and the end of a key, under a
// first line naming the format and over a last line with a checksum of everything
// before it:
//
//   zolvex-settings 1
//   key Window
//   dword Width 640
//   string Title My%20holiday
//   end
//   check 1f2e3d4c
//
// Names and strings are written with spaces, control bytes, DEL and '%' as %XX, so
// the fields of a line are split at single spaces and an empty field is an empty
// name or string. A file that differs from this anywhere — a cut, a stray byte, a
// checksum that does not match — is damaged as a whole: settings half read would be
// settings nobody chose.
#include "platform/SettingsStore.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/ReadFile.h"
#include "platform/ReplacingFile.h"

namespace zolvex {

namespace {

constexpr char kMagic[] = "zolvex-settings 1\n";
constexpr size_t kMaxDepth = 512;              // keys below the root, as deep as the registry allows
constexpr uint64_t kMaxFileBytes = 64u << 20;  // far beyond any settings; a bigger file is not ours

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

struct NoCase {
    bool operator()(const std::string& a, const std::string& b) const
    {
        const size_t n = a.size() < b.size() ? a.size() : b.size();
        for (size_t i = 0; i < n; ++i) {
            const unsigned char x = static_cast<unsigned char>(Lower(a[i]));
            const unsigned char y = static_cast<unsigned char>(Lower(b[i]));
            if (x != y)
                return x < y;
        }
        return a.size() < b.size();
    }
};

struct Value {
    SettingsValueKind kind = SettingsValueKind::kNone;
    uint32_t dword = 0;
    std::string text;
};

typedef SettingsStore::Node Node;

struct Content {
    std::map<std::string, Value, NoCase> values;
    std::map<std::string, std::shared_ptr<Node>, NoCase> children;
};

}  // namespace

struct SettingsStore::Node {
    std::string name;
    bool isVolatile = false;
    bool gone = false;  // deleted or replaced: handles to it no longer work
    Node* parent = nullptr;
    Content content;
    // While restored content covers a persistent key, what the file keeps for it.
    std::unique_ptr<Content> kept;

    bool HoldsVolatile() const { return isVolatile || kept; }
};

namespace {

void Adopt(Node& node)
{
    for (auto& child : node.content.children)
        child.second->parent = &node;
}

void MarkGone(Content& content)
{
    for (auto& child : content.children) {
        child.second->gone = true;
        MarkGone(child.second->content);
        if (child.second->kept)
            MarkGone(*child.second->kept);
    }
}

void MarkVolatile(Content& content)
{
    for (auto& child : content.children) {
        child.second->isVolatile = true;
        MarkVolatile(child.second->content);
    }
}

size_t Depth(const Node* node)
{
    size_t depth = 0;
    for (; node->parent; node = node->parent)
        ++depth;
    return depth;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

std::vector<std::string> SplitPath(const std::string& path)
{
    std::vector<std::string> parts;
    size_t i = 0;
    while (i < path.size()) {
        while (i < path.size() && IsSeparator(path[i]))
            ++i;
        size_t j = i;
        while (j < path.size() && !IsSeparator(path[j]))
            ++j;
        if (j > i)
            parts.push_back(path.substr(i, j - i));
        i = j;
    }
    return parts;
}

// ---- the file format -----------------------------------------------------------

uint32_t Checksum(const char* p, size_t n)
{
    uint32_t h = 2166136261u;  // FNV-1a
    for (size_t i = 0; i < n; ++i) {
        h ^= static_cast<unsigned char>(p[i]);
        h *= 16777619u;
    }
    return h;
}

bool NeedsEscape(unsigned char c) { return c <= 0x20 || c == '%' || c == 0x7f; }

void PutEscaped(std::string& out, const std::string& field)
{
    static const char kHex[] = "0123456789ABCDEF";
    for (unsigned char c : field) {
        if (NeedsEscape(c)) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += char(c);
        }
    }
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool Unescape(const std::string& field, std::string& out)
{
    out.clear();
    for (size_t i = 0; i < field.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(field[i]);
        if (c == '%') {
            const int hi = i + 1 < field.size() ? HexDigit(field[i + 1]) : -1;
            const int lo = i + 2 < field.size() ? HexDigit(field[i + 2]) : -1;
            if (hi < 0 || lo < 0)
                return false;
            out += char(hi * 16 + lo);
            i += 2;
        } else if (NeedsEscape(c)) {
            return false;
        } else {
            out += char(c);
        }
    }
    return true;
}

void Emit(std::string& out, const Content& content, bool persistentOnly)
{
    for (const auto& v : content.values) {
        if (v.second.kind == SettingsValueKind::kDword) {
            out += "dword ";
            PutEscaped(out, v.first);
            out += ' ';
            out += std::to_string(v.second.dword);
        } else {
            out += "string ";
            PutEscaped(out, v.first);
            out += ' ';
            PutEscaped(out, v.second.text);
        }
        out += '\n';
    }
    for (const auto& c : content.children) {
        const Node& child = *c.second;
        if (persistentOnly && child.isVolatile)
            continue;
        out += "key ";
        PutEscaped(out, child.name);
        out += '\n';
        Emit(out, persistentOnly && child.kept ? *child.kept : child.content, persistentOnly);
        out += "end\n";
    }
}

// The file's bytes for what `node` holds: only what outlives the process, or all.
std::string Serialize(const Node& node, bool persistentOnly)
{
    std::string out = kMagic;
    Emit(out, persistentOnly && node.kept ? *node.kept : node.content, persistentOnly);
    char check[32];
    snprintf(check, sizeof check, "check %08x\n", Checksum(out.data(), out.size()));
    return out + check;
}

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t space = line.find(' ', start);
        fields.push_back(line.substr(start, space - start));
        if (space == std::string::npos)
            return fields;
        start = space + 1;
    }
}

bool ParseDword(const std::string& text, uint32_t& value)
{
    if (text.empty() || text.size() > 10 || (text.size() > 1 && text[0] == '0'))
        return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + uint64_t(c - '0');
    }
    if (v > 0xFFFFFFFFu)
        return false;
    value = uint32_t(v);
    return true;
}

// Reads a whole file's bytes into `out` (keys not yet adopted by a parent at the
// top); false with *why for anything but a complete, intact file. *depth is the
// deepest key's level.
bool Parse(const std::string& bytes, Content& out, size_t& depth, std::string& why)
{
    out = Content();
    depth = 0;
    const size_t magic = sizeof kMagic - 1;
    if (bytes.compare(0, magic, kMagic) != 0)
        return (why = "not a settings file"), false;
    if (bytes.empty() || bytes.back() != '\n')
        return (why = "the file is cut short"), false;
    const size_t last = bytes.rfind('\n', bytes.size() - 2);
    const size_t body = last + 1;
    if (last == std::string::npos || body < magic)
        return (why = "the file is cut short"), false;
    char expected[32];
    snprintf(expected, sizeof expected, "check %08x\n", Checksum(bytes.data(), body));
    if (bytes.compare(body, std::string::npos, expected) != 0)
        return (why = bytes.compare(body, 6, "check ") == 0 ? "the checksum does not match" : "the file is cut short"),
               false;

    std::vector<Content*> open{&out};
    std::vector<Node*> owners{nullptr};
    size_t pos = magic, lineNumber = 1;
    while (pos < body) {
        const size_t end = bytes.find('\n', pos);
        const std::string line = bytes.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        const std::vector<std::string> f = Fields(line);
        std::string name;
        bool good = f.size() >= 2 && Unescape(f[1], name);
        if (f[0] == "end" && f.size() == 1) {
            good = open.size() > 1;
            if (good) {
                open.pop_back();
                owners.pop_back();
            }
        } else if (f[0] == "key" && f.size() == 2) {
            good = good && !name.empty() && name.find_first_of("/\\") == std::string::npos &&
                   !open.back()->children.count(name) && open.size() <= kMaxDepth;
            if (good) {
                auto node = std::make_shared<Node>();
                node->name = name;
                node->parent = owners.back();
                Node* raw = node.get();
                open.back()->children.emplace(name, std::move(node));
                open.push_back(&raw->content);
                owners.push_back(raw);
                if (open.size() - 1 > depth)
                    depth = open.size() - 1;
            }
        } else if ((f[0] == "dword" || f[0] == "string") && f.size() == 3) {
            Value v;
            if (f[0] == "dword") {
                v.kind = SettingsValueKind::kDword;
                good = good && ParseDword(f[2], v.dword);
            } else {
                v.kind = SettingsValueKind::kString;
                good = good && Unescape(f[2], v.text);
            }
            good = good && open.back()->values.emplace(name, std::move(v)).second;
        } else {
            good = false;
        }
        if (!good)
            return (why = "line " + std::to_string(lineNumber) + " is damaged"), false;
    }
    if (open.size() != 1)
        return (why = "the file is cut short"), false;
    return true;
}

bool MakeFolders(const std::string& file)
{
    const size_t slash = file.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return true;
    for (size_t at = file.find('/', 1); at != std::string::npos && at <= slash; at = file.find('/', at + 1)) {
        const std::string folder = file.substr(0, at);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat x, y;
    return stat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

}  // namespace

// ---- the store -----------------------------------------------------------------

SettingsStore::SettingsStore(std::string path) : path_(std::move(path)), root_(std::make_shared<Node>())
{
    handles_[kRootHandle] = root_;
    written_ = Serialize(*root_, true);
    std::lock_guard<std::mutex> lock(mutex_);
    LoadLocked();
}

SettingsStore::~SettingsStore() = default;

SettingsLoad SettingsStore::Load()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return LoadLocked();
}

SettingsLoad SettingsStore::LastLoad() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return lastLoad_;
}

SettingsLoad SettingsStore::LoadLocked()
{
    auto fresh = std::make_shared<Node>();
    SettingsLoad result = SettingsLoad::kLoaded;
    struct stat st;
    if (path_.empty()) {
        result = SettingsLoad::kNoFile;
    } else if (stat(path_.c_str(), &st) != 0) {
        result = errno == ENOENT || errno == ENOTDIR ? SettingsLoad::kNoFile : SettingsLoad::kUnreadable;
        if (result == SettingsLoad::kUnreadable)
            Fail("cannot read " + path_ + ": " + std::strerror(errno));
    } else if (!S_ISREG(st.st_mode)) {
        result = SettingsLoad::kUnreadable;
        Fail(path_ + " is not a regular file");
    } else if (uint64_t(st.st_size) > kMaxFileBytes) {
        result = SettingsLoad::kDamaged;
        Fail(path_ + " is too large to be a settings file");
    } else {
        std::vector<unsigned char> raw;
        std::string why;
        if (!ReadRegularFile(path_.c_str(), kMaxFileBytes, raw, &why)) {
            result = SettingsLoad::kUnreadable;
            Fail("cannot read " + path_ + ": " + why);
        } else {
            size_t depth = 0;
            if (!Parse(std::string(raw.begin(), raw.end()), fresh->content, depth, why)) {
                fresh->content = Content();
                result = SettingsLoad::kDamaged;
                Fail(path_ + " is damaged (" + why + "); starting with no settings");
            }
            Adopt(*fresh);
        }
    }
    root_->gone = true;
    MarkGone(root_->content);
    if (root_->kept)
        MarkGone(*root_->kept);
    root_ = fresh;
    handles_[kRootHandle] = root_;
    written_ = Serialize(*root_, true);
    mayWrite_ = result != SettingsLoad::kUnreadable;
    lastLoad_ = result;
    return result;
}

bool SettingsStore::Save()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (path_.empty())
        return Fail("these settings are kept in memory only");
    if (!mayWrite_)
        return Fail(path_ + " could not be read, so it is not written over");
    std::string bytes = Serialize(*root_, true);
    if (!WriteFile(path_, bytes, true))
        return false;
    written_ = std::move(bytes);
    return true;
}

std::string SettingsStore::LastError() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

bool SettingsStore::Fail(const std::string& why) const
{
    error_ = why;
    return false;
}

std::shared_ptr<Node> SettingsStore::Find(Handle key) const
{
    const auto it = handles_.find(key);
    if (it == handles_.end() || it->second->gone) {
        Fail("the key is not open");
        return nullptr;
    }
    return it->second;
}

SettingsStore::Handle SettingsStore::NewHandle(std::shared_ptr<Node> node)
{
    // Ids are handed out in turn and reused only after 2^31 of them, so a stale
    // handle a caller kept is very unlikely to name another key.
    for (;;) {
        const Handle id = next_;
        next_ = next_ >= 0x7FFFFFFFu ? kRootHandle + 1 : next_ + 1;
        if (!handles_.count(id)) {
            handles_.emplace(id, std::move(node));
            return id;
        }
    }
}

// After a change: writes the file when what it should hold is different, and undoes
// the change when that write fails.
template <class Undo>
bool SettingsStore::Persist(Undo undo)
{
    if (path_.empty())
        return true;
    std::string bytes = Serialize(*root_, true);
    if (bytes == written_)
        return true;
    if (!mayWrite_) {
        undo();
        return Fail(path_ + " could not be read, so it is not written over");
    }
    if (!WriteFile(path_, bytes, true)) {
        undo();
        return false;
    }
    written_ = std::move(bytes);
    return true;
}

bool SettingsStore::WriteFile(const std::string& file, const std::string& bytes, bool makeFolders)
{
    ReplacingFile out;
    if ((makeFolders && !MakeFolders(file)) || !out.Open(file) || !out.Write(bytes.data(), bytes.size()) ||
        !out.Commit())
        return Fail("cannot write " + file + ": " + std::strerror(errno));
    return true;
}

SettingsStore::Handle SettingsStore::CreateKey(Handle parent, const std::string& path, bool isVolatile, bool* created)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (created)
        *created = false;
    std::shared_ptr<Node> at = Find(parent);
    if (!at)
        return kNoKey;
    const std::vector<std::string> parts = SplitPath(path);
    size_t i = 0;
    for (; i < parts.size(); ++i) {
        const auto it = at->content.children.find(parts[i]);
        if (it == at->content.children.end())
            break;
        at = it->second;
    }
    if (i == parts.size())
        return NewHandle(at);
    if (Depth(at.get()) + (parts.size() - i) > kMaxDepth) {
        Fail("the key would lie too deep");
        return kNoKey;
    }

    const bool makeVolatile = isVolatile || at->HoldsVolatile();
    const std::shared_ptr<Node> base = at;
    const std::string first = parts[i];
    for (; i < parts.size(); ++i) {
        auto node = std::make_shared<Node>();
        node->name = parts[i];
        node->isVolatile = makeVolatile;
        node->parent = at.get();
        at->content.children.emplace(parts[i], node);
        at = node;
    }
    if (!Persist([&] { base->content.children.erase(first); }))
        return kNoKey;
    if (created)
        *created = true;
    return NewHandle(at);
}

SettingsStore::Handle SettingsStore::OpenKey(Handle parent, const std::string& path)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::shared_ptr<Node> at = Find(parent);
    if (!at)
        return kNoKey;
    for (const std::string& part : SplitPath(path)) {
        const auto it = at->content.children.find(part);
        if (it == at->content.children.end()) {
            Fail("no key " + path);
            return kNoKey;
        }
        at = it->second;
    }
    return NewHandle(at);
}

void SettingsStore::CloseKey(Handle key)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (key != kRootHandle)
        handles_.erase(key);
}

bool SettingsStore::DeleteKey(Handle parent, const std::string& path)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::shared_ptr<Node> at = Find(parent);
    if (!at)
        return false;
    const std::vector<std::string> parts = SplitPath(path);
    if (parts.empty())
        return Fail("no key named to delete");
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        const auto it = at->content.children.find(parts[i]);
        if (it == at->content.children.end())
            return Fail("no key " + path);
        at = it->second;
    }
    const auto it = at->content.children.find(parts.back());
    if (it == at->content.children.end())
        return Fail("no key " + path);
    const std::shared_ptr<Node> doomed = it->second;
    at->content.children.erase(it);
    if (!Persist([&] { at->content.children.emplace(doomed->name, doomed); }))
        return false;
    doomed->gone = true;
    MarkGone(doomed->content);
    if (doomed->kept)
        MarkGone(*doomed->kept);
    return true;
}

bool SettingsStore::WriteDword(Handle key, const std::string& name, uint32_t value)
{
    return PutValue(key, name, false, value, std::string());
}

bool SettingsStore::WriteString(Handle key, const std::string& name, const std::string& text)
{
    return PutValue(key, name, true, 0, text);
}

bool SettingsStore::PutValue(Handle key, const std::string& name, bool isString, uint32_t dword,
                             const std::string& text)
{
    Value v;
    v.kind = isString ? SettingsValueKind::kString : SettingsValueKind::kDword;
    v.dword = dword;
    v.text = text;
    std::lock_guard<std::mutex> lock(mutex_);
    const std::shared_ptr<Node> node = Find(key);
    if (!node)
        return false;
    auto& values = node->content.values;
    const auto it = values.find(name);
    const bool had = it != values.end();
    const Value old = had ? it->second : Value();
    values[name] = std::move(v);
    return Persist([&] {
        if (had)
            values[name] = old;
        else
            values.erase(name);
    });
}

bool SettingsStore::DeleteValue(Handle key, const std::string& name)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const std::shared_ptr<Node> node = Find(key);
    if (!node)
        return false;
    auto& values = node->content.values;
    const auto it = values.find(name);
    if (it == values.end())
        return Fail("no value " + name);
    const std::pair<std::string, Value> old = *it;
    values.erase(it);
    return Persist([&] { values.insert(old); });
}

namespace {

// The value of `name` in the key when it is of `kind`, else null.
const Value* ValueOfKind(const Node& node, const std::string& name, SettingsValueKind kind)
{
    const auto it = node.content.values.find(name);
    return it == node.content.values.end() || it->second.kind != kind ? nullptr : &it->second;
}

}  // namespace

bool SettingsStore::ReadDword(Handle key, const std::string& name, uint32_t& value) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const std::shared_ptr<Node> node = Find(key);
    if (!node)
        return false;
    const Value* v = ValueOfKind(*node, name, SettingsValueKind::kDword);
    if (!v)
        return Fail("no number " + name);
    value = v->dword;
    return true;
}

bool SettingsStore::ReadString(Handle key, const std::string& name, std::string& text) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const std::shared_ptr<Node> node = Find(key);
    if (!node)
        return false;
    const Value* v = ValueOfKind(*node, name, SettingsValueKind::kString);
    if (!v)
        return Fail("no string " + name);
    text = v->text;
    return true;
}

SettingsValueKind SettingsStore::ValueKind(Handle key, const std::string& name) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const std::shared_ptr<Node> node = Find(key);
    if (!node)
        return SettingsValueKind::kNone;
    const auto it = node->content.values.find(name);
    return it == node->content.values.end() ? SettingsValueKind::kNone : it->second.kind;
}

std::vector<std::string> SettingsStore::SubKeys(Handle key) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> names;
    if (const std::shared_ptr<Node> node = Find(key))
        for (const auto& child : node->content.children)
            names.push_back(child.second->name);
    return names;
}

std::vector<std::string> SettingsStore::ValueNames(Handle key) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> names;
    if (const std::shared_ptr<Node> node = Find(key))
        for (const auto& value : node->content.values)
            names.push_back(value.first);
    return names;
}

bool SettingsStore::IsVolatile(Handle key) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const std::shared_ptr<Node> node = Find(key);
    return node && node->HoldsVolatile();
}

bool SettingsStore::SaveKey(Handle key, const std::string& file)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const std::shared_ptr<Node> node = Find(key);
    if (!node)
        return false;
    if (file.empty())
        return Fail("no file named");
    // The settings file holds only what outlives the process; a key saved over it
    // would put volatile content in and the rest of the settings out.
    if (!path_.empty() && (file == path_ || SameFile(file, path_)))
        return Fail("a key is not saved over the settings file");
    return WriteFile(file, Serialize(*node, false), false);
}

bool SettingsStore::RestoreKey(Handle key, const std::string& file)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const std::shared_ptr<Node> node = Find(key);
    if (!node)
        return false;
    std::vector<unsigned char> raw;
    std::string why;
    if (file.empty() || !ReadRegularFile(file.c_str(), kMaxFileBytes, raw, &why))
        return Fail("cannot read " + file + ": " + (file.empty() ? "no file named" : why));
    Content restored;
    size_t depth = 0;
    if (!Parse(std::string(raw.begin(), raw.end()), restored, depth, why))
        return Fail(file + " is damaged (" + why + ")");
    if (Depth(node.get()) + depth > kMaxDepth)
        return Fail("the restored keys would lie too deep");
    MarkVolatile(restored);

    // The first restore over persistent content sets that content aside for the file;
    // anything restored over volatile content simply replaces it.
    MarkGone(node->content);
    if (!node->HoldsVolatile())
        node->kept.reset(new Content(std::move(node->content)));
    node->content = std::move(restored);
    Adopt(*node);
    return true;
}

// ---- the user's settings -------------------------------------------------------

std::string DefaultSettingsPath()
{
    const char* override = std::getenv("ZOLVEX_SETTINGS_FILE");
    if (override && *override)
        return override;
    const char* subpath = "/zolvex-video-studio/settings";
    // A relative XDG_CONFIG_HOME is to be ignored: it would follow the working folder.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/')
        return std::string(config) + subpath;
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const struct passwd* user = getpwuid(getuid());
        home = user ? user->pw_dir : nullptr;
    }
    if (!home || !*home)
        return std::string();
    return std::string(home) + "/.config" + subpath;
}

SettingsStore& Settings()
{
    // Never destroyed: a worker thread may still read a setting while the process
    // exits.
    static SettingsStore* store = new SettingsStore(DefaultSettingsPath());
    return *store;
}

}  // namespace zolvex
