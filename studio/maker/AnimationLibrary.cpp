// The animation library container and the parsed effects it holds.
//
// Each container entry is read within its own announced size, so an entry never
// runs into the next one; a size that does not fit in the file ends the load. The
// container is never changed in place: an import writes the whole new container
// beside the old one and renames it into place; a removal writes it into
// "ZozEvoreraT", deletes the old one and renames the new one, and the next load
// finishes a removal that stopped between the two.
#include "studio/maker/AnimationLibrary.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "filter/animation/AnimationFile.h"
#include "filter/effects/fTavEffect.h"
#include "platform/ReadFile.h"
#include "platform/ReplacingFile.h"
#include "studio/shell/StringTable.h"

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

// Copies n bytes of a file to `write`, a piece at a time.
template <typename Write>
bool CopyBytes(FILE* from, int64_t n, Bytes& piece, Write write)
{
    while (n > 0) {
        const size_t k = size_t(std::min<int64_t>(n, int64_t(piece.size())));
        if (std::fread(piece.data(), 1, k, from) != k || !write(piece.data(), k))
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
                ok = out.Write(word, 4) &&
                     CopyBytes(old, size, piece, [&out](const void* p, size_t k) { return out.Write(p, k); });
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

bool Exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Rows from the top to rows from the bottom and back.
std::vector<uint8_t> Flipped(const std::vector<uint8_t>& picture, int width, int height)
{
    std::vector<uint8_t> out(picture.size());
    const size_t row = size_t(width) * 3;
    for (int y = 0; y < height; ++y)
        std::memcpy(&out[size_t(height - 1 - y) * row], &picture[size_t(y) * row], row);
    return out;
}

// The thumbnails' own background: dusk blue at the top to a soft violet below.
std::vector<uint8_t> GradientBackground(int width, int height)
{
    std::vector<uint8_t> picture(size_t(width) * size_t(height) * 3);
    for (int y = 0; y < height; ++y) {
        const double t = double(y) / (height - 1);
        const uint8_t b = uint8_t(120 + 40 * t), g = uint8_t(52 + 10 * t), r = uint8_t(36 + 70 * t);
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &picture[(size_t(y) * width + x) * 3];
            p[0] = b, p[1] = g, p[2] = r;
        }
    }
    return picture;
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
    const std::string temporary = folder_ + kTemporaryName;
    if (Exists(temporary)) {
        // The new container was written whole before the old one went: alone, it is
        // the container; beside the old one, the removal never got that far.
        if (!Exists(ContainerPath()))
            std::rename(temporary.c_str(), ContainerPath().c_str());
        else
            std::remove(temporary.c_str());
    }
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
        CfTavEffect::ReleaseOprSpecialData(&thumbs_.back()->op);
        thumbs_.pop_back();
        records_.RemoveAt(last);
        versions_.RemoveAt(last);
        FreeAnimationEffect(record);
        return false;
    }
    return true;
}

bool AnimationLibrary::Remove(int index, IPrompt& prompt)
{
    if (index < 0 || index >= Count()) {
        prompt.Show(Str(146), Str(0), kPromptInformation, kPromptOk);
        return false;
    }
    if (prompt.Show(Str(145), Str(0), kPromptQuestion, kPromptYesNo) != kAnswerYes)
        return false;
    // The container goes first: an effect that is still in it stays in memory too.
    if (Exists(ContainerPath()) && !RewriteWithout(index))
        return false;
    void* record = records_.GetAt(uint32_t(index));
    CfTavEffect::ReleaseOprSpecialData(&thumbs_[size_t(index)]->op);
    thumbs_.erase(thumbs_.begin() + index);
    records_.RemoveAt(uint32_t(index));
    versions_.RemoveAt(uint32_t(index));
    FreeAnimationEffect(record);
    return true;
}

// Every entry but `index`, into the temporary container; then the old container is
// deleted (waited for while it is still there) and the new one takes its name.
bool AnimationLibrary::RewriteWithout(int index)
{
    const std::string temporary = folder_ + kTemporaryName;
    FILE* in = std::fopen(ContainerPath().c_str(), "rb");
    if (!in)
        return false;
    FILE* out = std::fopen(temporary.c_str(), "wb");
    if (!out) {
        std::fclose(in);
        return false;
    }
    struct stat st;
    int32_t count = 0;
    bool ok = fstat(fileno(in), &st) == 0 && ReadInt(in, count) && count > 0;
    Bytes piece;
    int32_t kept = 0;
    if (ok) {
        try {
            piece.resize(kCopyPiece);
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    unsigned char word[4];
    StoreInt(word, 0);
    ok = ok && std::fwrite(word, 1, 4, out) == 4;
    int64_t offset = 4;
    // Only the entries a load reaches are entries: as many as were loaded.
    for (int32_t i = 0; ok && i < count && i < Count(); ++i) {
        int32_t size = 0;
        if (!ReadInt(in, size) || size < 0 || size > st.st_size - offset - 4) {
            ok = false;
            break;
        }
        offset += 4 + int64_t(size);
        if (i == index) {
            ok = fseeko(in, off_t(offset), SEEK_SET) == 0;
            continue;
        }
        StoreInt(word, size);
        ok = std::fwrite(word, 1, 4, out) == 4 &&
             CopyBytes(in, size, piece, [out](const void* p, size_t k) { return std::fwrite(p, 1, k, out) == k; });
        ++kept;
    }
    StoreInt(word, kept);
    ok = ok && std::fseek(out, 0, SEEK_SET) == 0 && std::fwrite(word, 1, 4, out) == 4 && std::fflush(out) == 0 &&
         fsync(fileno(out)) == 0;
    std::fclose(in);
    ok = std::fclose(out) == 0 && ok;
    if (!ok) {
        std::remove(temporary.c_str());
        return false;
    }
    std::remove(ContainerPath().c_str());
    for (int waited = 0; Exists(ContainerPath()) && waited < 2000; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // Should the rename fail, the next load takes the temporary container.
    std::rename(temporary.c_str(), ContainerPath().c_str());
    return true;
}

GUID AnimationLibrary::Guid(int i) const
{
    return i >= 0 && i < int(thumbs_.size()) ? thumbs_[size_t(i)]->op.guidEffect : GUID{};
}

const uint8_t* AnimationLibrary::Thumbnail(int i) const
{
    return i >= 0 && i < int(thumbs_.size()) ? thumbs_[size_t(i)]->picture.data() : nullptr;
}

int AnimationLibrary::ItemFlag(int i, int which) const
{
    return i >= 0 && i < int(thumbs_.size()) && (which == 0 || which == 1) ? thumbs_[size_t(i)]->flags[which] : 0;
}

void AnimationLibrary::SetThumbnailBackground(const std::vector<uint8_t>& picture)
{
    if (picture.size() == size_t(kThumbWidth) * kThumbHeight * 3)
        background_ = picture;
}

bool AnimationLibrary::NextThumbnailFrame(int i)
{
    if (i < 0 || i >= int(thumbs_.size()))
        return false;
    MakeThumbnail(i);
    return true;
}

// The background, and over it the effect's next frame at the thumbnail's scale.
void AnimationLibrary::MakeThumbnail(int i)
{
    Thumb& t = *thumbs_[size_t(i)];
    if (background_.empty())
        background_ = GradientBackground(kThumbWidth, kThumbHeight);
    std::vector<uint8_t> frame = Flipped(background_, kThumbWidth, kThumbHeight);
    const char* version = AnimationRecordVersion(records_.GetAt(uint32_t(i)));
    CfTavEffect fx;
    const float scale = float(kThumbWidth) / 720.0f;
    fx.InitEffect(tagSIZE{kThumbWidth, kThumbHeight}, scale, scale, 100, 3);
    fx.SetRomanceData(&records_);
    fx.SetSrcVideoSize(tagSIZE{kThumbWidth, kThumbHeight});
    fx.SetAniFrameRate(10);
    fx.InitSpecial(t.op.guidEffect, &t.op, version, nullptr);
    fx.Special_Effect(&t.op, frame.data(), frame.data(), version, nullptr);
    t.picture = Flipped(frame, kThumbWidth, kThumbHeight);
}

bool AnimationLibrary::Append(void* record)
{
    if (records_.Add(record) < 0)
        return false;
    if (versions_.Add(record) < 0) {
        records_.RemoveAt(uint32_t(records_.GetSize() - 1));
        return false;
    }
    auto thumb = std::make_unique<Thumb>();
    thumb->op.nOverallOpacity = 255;
    if (const GUID* guid = GuidOf(record))
        thumb->op.guidEffect = *guid;
    thumbs_.push_back(std::move(thumb));
    MakeThumbnail(Count() - 1);
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
    for (auto& thumb : thumbs_)
        CfTavEffect::ReleaseOprSpecialData(&thumb->op);
    thumbs_.clear();
    for (int i = 0; i < Count(); ++i)
        FreeAnimationEffect(records_.GetAt(uint32_t(i)));
    records_.RemoveAll();
    versions_.RemoveAll();
}

std::string AnimationLibrary::ContainerPath() const { return folder_ + kContainerName; }

}  // namespace studio
}  // namespace zolvex
