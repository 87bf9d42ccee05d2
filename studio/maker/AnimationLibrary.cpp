// The animation library container and the parsed effects it holds.
//
// Each container entry is read within its own announced size, so an entry never
// runs into the next one; a size that does not fit in the file ends the load. The
// container is never changed in place: an import writes the whole new container
// beside the old one and renames it into place.
#include "studio/maker/AnimationLibrary.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "filter/animation/AnimationFile.h"
#include "platform/ReadFile.h"
#include "platform/ReplacingFile.h"

namespace zolvex {
namespace studio {

namespace {

constexpr uint16_t kListBlock = 16;
constexpr size_t kCopyPiece = size_t(1) << 20;

typedef std::vector<unsigned char> Bytes;

bool IsVersion(const void* record, const char* version)
{
    return record && std::strncmp(AnimationRecordVersion(record), version, 20) == 0;
}

// Both layouts start with the version text and the GUID, but each is read through
// its own type.
const GUID* GuidOf(const void* record)
{
    if (IsVersion(record, ANIMATION_VERSION_2))
        return &static_cast<const tagROMANCE_EFFECT2*>(record)->guidEffect;
    if (IsVersion(record, ANIMATION_VERSION_1))
        return &static_cast<const tagROMANCE_EFFECT1*>(record)->guidEffect;
    return nullptr;
}

void StoreInt(unsigned char* p, int32_t v)
{
    const uint32_t u = uint32_t(v);
    for (int k = 0; k < 4; ++k)
        p[k] = uint8_t(u >> (8 * k));
}

bool ReadInt(FILE* f, int32_t& v)
{
    unsigned char b[4];
    if (std::fread(b, 1, 4, f) != 4)
        return false;
    v = int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
    return true;
}

// The bytes of one container entry: the effect reader may not read past them.
class EntrySource : public AnimationByteSource {
public:
    EntrySource(FILE* file, int64_t size) : file_(file), left_(size) {}
    size_t Read(void* to, size_t n) override
    {
        const size_t k = size_t(std::min<int64_t>(int64_t(n), left_));
        const size_t got = k ? std::fread(to, 1, k, file_) : 0;
        left_ -= int64_t(got);
        return got;
    }
    int64_t Remaining() const override { return left_; }

private:
    FILE* file_;
    int64_t left_;
};

// A whole regular file, refused when it could not be a container entry.
bool ReadWholeFile(const std::string& path, Bytes& bytes)
{
    return ReadRegularFile(path.c_str(), uint64_t(INT32_MAX), bytes);
}

// Copies n bytes from one file to the new container.
bool CopyBytes(FILE* from, ReplacingFile& to, int64_t n, Bytes& piece)
{
    while (n > 0) {
        const size_t k = size_t(std::min<int64_t>(n, int64_t(piece.size())));
        if (std::fread(piece.data(), 1, k, from) != k || !to.Write(piece.data(), k))
            return false;
        n -= int64_t(k);
    }
    return true;
}

// Writes the container anew beside the old one: the old entries as far as they can
// be found by their sizes, then `entry` as the last one, under a count that matches.
// Entries the old count or sizes leave unreachable are not carried over, so the new
// entry is always one a load reaches.
bool AppendToContainer(const std::string& path, const Bytes& entry)
{
    ReplacingFile out;
    if (!out.Open(path))
        return false;
    unsigned char word[4] = {0, 0, 0, 0};
    if (!out.Write(word, 4))
        return false;

    int32_t copied = 0;
    FILE* old = std::fopen(path.c_str(), "rb");
    if (!old && errno != ENOENT)
        return false;  // there is a container we cannot read: leave it alone
    if (old) {
        struct stat st;
        int32_t count = 0;
        bool ok = fstat(fileno(old), &st) == 0 && S_ISREG(st.st_mode);
        if (ok && ReadInt(old, count)) {
            Bytes piece;
            try {
                piece.resize(kCopyPiece);
            } catch (const std::bad_alloc&) {
                ok = false;
            }
            int64_t offset = 4;
            for (int32_t i = 0; ok && i < count && copied < INT32_MAX - 1; ++i) {
                int32_t size = 0;
                if (!ReadInt(old, size) || size < 0 || size > st.st_size - offset - 4)
                    break;
                StoreInt(word, size);
                ok = out.Write(word, 4) && CopyBytes(old, out, size, piece);
                offset += 4 + int64_t(size);
                ++copied;
            }
        }
        std::fclose(old);
        if (!ok)
            return false;
    }

    StoreInt(word, int32_t(entry.size()));
    if (!out.Write(word, 4) || !out.Write(entry.data(), entry.size()))
        return false;
    StoreInt(word, copied + 1);
    return out.WriteAt(0, word, 4) && out.Commit();
}

}  // namespace

AnimationLibrary::AnimationLibrary(const std::string& folder)
    : folder_(folder), records_(kListBlock), versions_(kListBlock)
{
    if (!folder_.empty() && folder_.back() != '/')
        folder_ += '/';
}

AnimationLibrary::~AnimationLibrary() { Clear(); }

int AnimationLibrary::Count() const { return records_.GetSize(); }

std::string AnimationLibrary::Name(int i, int language)
{
    if (i < 0 || i >= Count())
        return std::string();
    void* record = records_.GetAt(uint32_t(i));
    const char* name = nullptr;
    if (IsVersion(record, ANIMATION_VERSION_2)) {
        auto* e = static_cast<tagROMANCE_EFFECT2*>(record);
        name = language == 1 ? e->szName1 : e->szName0;
    } else if (IsVersion(record, ANIMATION_VERSION_1)) {
        auto* e = static_cast<tagROMANCE_EFFECT1*>(record);
        name = language == 1 ? e->szName1 : e->szName0;
    }
    return name ? std::string(name, strnlen(name, 260)) : std::string();
}

// Loading replaces whatever the library held.
bool AnimationLibrary::Load()
{
    Clear();
    FILE* f = std::fopen(ContainerPath().c_str(), "rb");
    if (!f)
        return false;
    struct stat st;
    int32_t count = 0, loaded = 0;
    bool whole = false;
    if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && ReadInt(f, count) && count >= 0) {
        int64_t offset = 4;
        for (; loaded < count; ++loaded) {
            int32_t size = 0;
            if (!ReadInt(f, size) || size < 0 || size > st.st_size - offset - 4)
                break;
            offset += 4;
            EntrySource entry(f, size);
            void* record = ReadAnimationEffect(entry);
            if (!record)
                break;
            if (!Append(record)) {
                FreeAnimationEffect(record);
                break;
            }
            // Bytes of the entry the effect did not need are stepped over.
            offset += size;
            if (fseeko(f, off_t(offset), SEEK_SET) != 0) {
                ++loaded;
                break;
            }
        }
        whole = loaded == count;
    }
    std::fclose(f);
    return whole;
}

bool AnimationLibrary::Import(const std::string& arfPath)
{
    Bytes bytes;
    if (!ReadWholeFile(arfPath, bytes))
        return false;
    MemoryAnimationSource source(bytes.data(), bytes.size());
    void* record = ReadAnimationEffect(source, [this](const GUID& guid) { return !Holds(guid); });
    if (!record)
        return false;
    if (!Append(record)) {
        FreeAnimationEffect(record);
        return false;
    }
    // The effect stays only when the container keeps it too, so that memory and
    // container hold the same effects in the same order.
    if (!AppendToContainer(ContainerPath(), bytes)) {
        const uint32_t last = uint32_t(Count() - 1);
        records_.RemoveAt(last);
        versions_.RemoveAt(last);
        FreeAnimationEffect(record);
        return false;
    }
    return true;
}

bool AnimationLibrary::Append(void* record)
{
    if (records_.Add(record) < 0)
        return false;
    if (versions_.Add(record) < 0) {
        records_.RemoveAt(uint32_t(records_.GetSize() - 1));
        return false;
    }
    return true;
}

bool AnimationLibrary::Holds(const GUID& guid)
{
    for (int i = 0; i < Count(); ++i) {
        const GUID* g = GuidOf(records_.GetAt(uint32_t(i)));
        if (g && *g == guid)
            return true;
    }
    return false;
}

void AnimationLibrary::Clear()
{
    for (int i = 0; i < Count(); ++i)
        FreeAnimationEffect(records_.GetAt(uint32_t(i)));
    records_.RemoveAll();
    versions_.RemoveAll();
}

std::string AnimationLibrary::ContainerPath() const { return folder_ + kContainerName; }

}  // namespace studio
}  // namespace zolvex
