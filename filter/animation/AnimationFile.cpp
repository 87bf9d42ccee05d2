// ".arf" animation effect files: the reader for both versions and the version-2
// writer. Fields are decoded byte by byte (little-endian), never by casting structs.
//
// The reader trusts no announced size: counts and picture sizes are weighed against
// what the stream still holds before anything is allocated for them, and a stream
// that cannot tell its length is read piecewise, so that a damaged file of a few
// bytes never asks for gigabytes.
#include "filter/animation/AnimationFile.h"

#include <sys/random.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <random>
#include <string>

#include "filter/animation/AnimationInternal.h"
#include "platform/ReplacingFile.h"

using namespace zolvex::arf;

// ---- byte sources --------------------------------------------------------------

FileAnimationSource::FileAnimationSource(FILE* file) : file_(file)
{
    struct stat st;
    if (file_ && fstat(fileno(file_), &st) == 0 && S_ISREG(st.st_mode))
        size_ = int64_t(st.st_size);
}

size_t FileAnimationSource::Read(void* to, size_t n)
{
    return file_ && n ? std::fread(to, 1, n, file_) : 0;
}

int64_t FileAnimationSource::Remaining() const
{
    if (!file_ || size_ < 0)
        return -1;
    const int64_t pos = int64_t(ftello(file_));
    if (pos < 0)
        return -1;
    return pos < size_ ? size_ - pos : 0;
}

MemoryAnimationSource::MemoryAnimationSource(const void* data, size_t size)
    : data_(static_cast<const unsigned char*>(data)), size_(data ? size : 0)
{
}

size_t MemoryAnimationSource::Read(void* to, size_t n)
{
    const size_t k = std::min(n, size_ - pos_);
    if (k)
        std::memcpy(to, data_ + pos_, k);
    pos_ += k;
    return k;
}

int64_t MemoryAnimationSource::Remaining() const { return int64_t(size_ - pos_); }

namespace {

constexpr size_t kVersionBytes = 20, kNameBytes = 260;
// Smallest version-2 symbol: 15 fields, the slot count, and an actor block without
// frames or guide points.
constexpr uint64_t kMinSymbol2Bytes = 16 * 4 + 8;
constexpr uint64_t kMinActorBytes = 8;
// Streams of unknown length are read in pieces that start this small.
constexpr size_t kFirstPiece = size_t(1) << 20;

int32_t LoadInt(const unsigned char* p)
{
    const uint32_t u = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    int32_t v;
    std::memcpy(&v, &u, 4);
    return v;
}

void StoreInt(unsigned char* p, int32_t v)
{
    uint32_t u;
    std::memcpy(&u, &v, 4);
    for (int k = 0; k < 4; ++k)
        p[k] = uint8_t(u >> (8 * k));
}

void LoadGuid(const unsigned char* p, GUID& g)
{
    g.Data1 = uint32_t(LoadInt(p));
    g.Data2 = uint16_t(p[4] | p[5] << 8);
    g.Data3 = uint16_t(p[6] | p[7] << 8);
    std::memcpy(g.Data4, p + 8, 8);
}

void StoreGuid(unsigned char* p, const GUID& g)
{
    StoreInt(p, int32_t(g.Data1));
    p[4] = uint8_t(g.Data2);
    p[5] = uint8_t(g.Data2 >> 8);
    p[6] = uint8_t(g.Data3);
    p[7] = uint8_t(g.Data3 >> 8);
    std::memcpy(p + 8, g.Data4, 8);
}

class FieldReader {
public:
    explicit FieldReader(AnimationByteSource& in) : in_(in) {}

    // Sources may hand out fewer bytes than asked; only a read of nothing ends it.
    bool Bytes(void* to, size_t n)
    {
        unsigned char* p = static_cast<unsigned char*>(to);
        while (n) {
            const size_t k = in_.Read(p, n);
            if (k == 0 || k > n)
                return false;
            p += k;
            n -= k;
        }
        return true;
    }

    bool Int(int32_t& v)
    {
        unsigned char b[4];
        if (!Bytes(b, 4))
            return false;
        v = LoadInt(b);
        return true;
    }

    bool Float(float& v)
    {
        int32_t i;
        if (!Int(i))
            return false;
        std::memcpy(&v, &i, 4);
        return true;
    }

    // False when the stream surely holds fewer than n more bytes.
    bool MayHold(uint64_t n) const
    {
        const int64_t r = in_.Remaining();
        return r < 0 || uint64_t(r) >= n;
    }

    bool Skip(uint64_t n)
    {
        if (!MayHold(n))
            return false;
        unsigned char sink[256];
        while (n) {
            const size_t k = size_t(std::min<uint64_t>(n, sizeof sink));
            if (!Bytes(sink, k))
                return false;
            n -= k;
        }
        return true;
    }

    // A new[] block of n bytes filled from the stream, or null. When the stream cannot
    // tell its length, the block grows as bytes arrive, so a false size costs no more
    // than twice what the stream really held.
    unsigned char* Block(size_t n)
    {
        if (!MayHold(n))
            return nullptr;
        if (in_.Remaining() >= 0 || n <= kFirstPiece) {
            unsigned char* b = new (std::nothrow) unsigned char[n];
            if (b && !Bytes(b, n)) {
                delete[] b;
                return nullptr;
            }
            return b;
        }
        size_t cap = kFirstPiece, have = 0;
        unsigned char* b = new (std::nothrow) unsigned char[cap];
        while (b) {
            if (!Bytes(b + have, cap - have))
                break;
            have = cap;
            if (have == n)
                return b;
            const size_t next = n - cap > cap ? 2 * cap : n;
            unsigned char* grown = new (std::nothrow) unsigned char[next];
            if (grown)
                std::memcpy(grown, b, have);
            delete[] b;
            b = grown;
            cap = next;
        }
        delete[] b;
        return nullptr;
    }

private:
    AnimationByteSource& in_;
};

// The parts every record starts with.
struct Header {
    char szVersion[kVersionBytes];
    GUID guidEffect;
    char szName0[kNameBytes];
    char szName1[kNameBytes];
};

bool ReadHeader(FieldReader& r, const AnimationGuidCheck& check, Header& h)
{
    if (!r.Bytes(h.szVersion, kVersionBytes))
        return false;
    if (!IsVersion(h.szVersion, ANIMATION_VERSION_1) && !IsVersion(h.szVersion, ANIMATION_VERSION_2))
        return false;
    unsigned char g[16];
    if (!r.Bytes(g, 16))
        return false;
    LoadGuid(g, h.guidEffect);
    if (check && !check(h.guidEffect))
        return false;
    if (!r.Bytes(h.szName0, kNameBytes) || !r.Bytes(h.szName1, kNameBytes))
        return false;
    // Names go to displays as C strings; one without its terminator is cut at the end.
    h.szName0[kNameBytes - 1] = h.szName1[kNameBytes - 1] = 0;
    return true;
}

template <class Record>
void CopyHeader(const Header& h, Record* e)
{
    e->guidEffect = h.guidEffect;
    std::memcpy(e->szName0, h.szName0, kNameBytes);
    std::memcpy(e->szName1, h.szName1, kNameBytes);
}

// The slot count and up to 15 motion types. Slots beyond 15 are not kept, but they
// are stepped over so that the fields after them are read from the right place.
bool ReadMotion(FieldReader& r, int32_t* motion, int32_t* state)
{
    int32_t n;
    if (!r.Int(n))
        return false;
    for (int j = 0; j < kMotionSlots; ++j) {
        motion[j] = 0;
        state[j] = 0;
        if (j < n && !r.Int(motion[j]))
            return false;
    }
    return n <= kMotionSlots || r.Skip(uint64_t(n - kMotionSlots) * 4);
}

tagROMANCE_ACTOR* ReadActor(FieldReader& r)
{
    int32_t frames;
    if (!r.Int(frames) || frames < 0 || !r.MayHold(uint64_t(frames) * 8))
        return nullptr;
    tagROMANCE_ACTOR* a = NewAnimationActor();
    if (!a)
        return nullptr;
    for (int32_t k = 0; k < frames; ++k) {
        tagSIZE size;
        size_t bytes;
        if (!r.Int(size.cx) || !r.Int(size.cy) || !FrameBytes(size.cx, size.cy, bytes))
            goto fail;
        unsigned char* bits = r.Block(bytes);
        if (!bits)
            goto fail;
        if (!AppendFrame(a, size, bits)) {
            delete[] bits;
            goto fail;
        }
    }
    int32_t points;
    if (!r.Int(points) || points < 0 || !r.MayHold(uint64_t(points) * 8))
        goto fail;
    for (int32_t k = 0; k < points;) {
        unsigned char chunk[64 * 8];
        const int32_t n = std::min<int32_t>(points - k, 64);
        if (!r.Bytes(chunk, size_t(n) * 8))
            goto fail;
        for (int32_t j = 0; j < n; ++j)
            if (a->pGuidePoints->Add(tagPOINT{LoadInt(chunk + 8 * j), LoadInt(chunk + 8 * j + 4)}) < 0)
                goto fail;
        k += n;
    }
    a->nGuidePoints = points;
    return a;

fail:
    FreeAnimationActor(a);
    return nullptr;
}

bool ReadActors(FieldReader& r, int32_t count, CTavmArray<tagROMANCE_ACTOR*>* actors)
{
    for (int32_t i = 0; i < count; ++i) {
        tagROMANCE_ACTOR* a = ReadActor(r);
        if (!a)
            return false;
        if (actors->Add(a) < 0) {
            FreeAnimationActor(a);
            return false;
        }
    }
    return true;
}

tagROMANCE_SYMBOL* ReadSymbol(FieldReader& r, int32_t symbols)
{
    tagROMANCE_SYMBOL* s = new (std::nothrow) tagROMANCE_SYMBOL();
    if (!s)
        return nullptr;
    const bool ok = r.Int(s->bFitScreen) && r.Int(s->nOpacity) && r.Int(s->nAngleCorrection) && r.Int(s->nAngle) &&
                    r.Float(s->fOriginX) && r.Float(s->fOriginY) && r.Float(s->fStretch) && r.Int(s->nGuideSpeed) &&
                    r.Int(s->nFrameRate) && r.Float(s->fSpeedX) && r.Float(s->fSpeedY) && r.Float(s->fRotateSpeed) &&
                    r.Float(s->fZoomSpeed) && r.Float(s->fMotionSpeed) && r.Int(s->nImageSource) &&
                    ReadMotion(r, s->nMotion, s->nMotionState);
    // A picture source that names no symbol of this effect would send playback
    // outside the actor list.
    if (!ok || s->nImageSource < -1 || s->nImageSource >= symbols) {
        delete s;
        return nullptr;
    }
    s->bGuideLine = 0;
    return s;
}

void* ReadEffect2(FieldReader& r, const Header& h)
{
    int32_t symbols;
    if (!r.Int(symbols) || symbols < 1 || !r.MayHold(uint64_t(symbols) * kMinSymbol2Bytes))
        return nullptr;
    tagROMANCE_EFFECT2* e = NewAnimationEffect2();
    if (!e)
        return nullptr;
    CopyHeader(h, e);
    e->nSymbols = symbols;
    for (int32_t i = 0; i < symbols; ++i) {
        tagROMANCE_SYMBOL* s = ReadSymbol(r, symbols);
        if (!s)
            goto fail;
        if (e->pSymbols->Add(s) < 0) {
            delete s;
            goto fail;
        }
        if (!ReadActors(r, 1, e->pActors))
            goto fail;
    }
    return e;

fail:
    FreeAnimationEffect(e);
    return nullptr;
}

void* ReadEffect1(FieldReader& r, const Header& h)
{
    tagROMANCE_EFFECT1* e = NewAnimationEffect1();
    if (!e)
        return nullptr;
    CopyHeader(h, e);
    // File order; the record keeps bChangeAspect, nPlacement and nMaxSwingAngle in
    // another order.
    const bool ok = r.Int(e->nMaxDensity) && r.Int(e->nDefaultDensity) && r.Int(e->nOpacity) &&
                    r.Int(e->nGuideSpeed) && r.Int(e->nFrameRate) && r.Float(e->fDriftX) && r.Float(e->fDriftY) &&
                    r.Float(e->fMotionSpeed) && r.Int(e->nMaxSwingAngle) && r.Int(e->bChangeAspect) &&
                    r.Int(e->nPlacement) && ReadMotion(r, e->nMotion, e->nMotionState) && r.Int(e->nSymbols) &&
                    e->nSymbols >= 1 && r.MayHold(uint64_t(e->nSymbols) * kMinActorBytes) &&
                    ReadActors(r, e->nSymbols, e->pActors);
    if (!ok) {
        FreeAnimationEffect(e);
        return nullptr;
    }
    return e;
}

}  // namespace

void* ReadAnimationEffect(AnimationByteSource& in, const AnimationGuidCheck& check)
{
    FieldReader r(in);
    Header h;
    if (!ReadHeader(r, check, h))
        return nullptr;
    return IsVersion(h.szVersion, ANIMATION_VERSION_2) ? ReadEffect2(r, h) : ReadEffect1(r, h);
}

// ---- writer --------------------------------------------------------------------

namespace {

bool RandomBytes(void* to, size_t n)
{
    unsigned char* p = static_cast<unsigned char*>(to);
    size_t have = 0;
    while (have < n) {
        const ssize_t k = getrandom(p + have, n - have, 0);
        if (k > 0)
            have += size_t(k);
        else if (k < 0 && errno != EINTR)
            break;
    }
    if (have == n)
        return true;
    try {
        std::random_device rd;
        for (size_t k = 0; k < n; ++k)
            p[k] = uint8_t(rd());
        return true;
    } catch (...) {
        return false;
    }
}

// A random (version 4, RFC 4122 variant) GUID.
bool NewGuid(GUID& g)
{
    unsigned char b[16];
    if (!RandomBytes(b, sizeof b))
        return false;
    LoadGuid(b, g);
    g.Data3 = uint16_t((g.Data3 & 0x0FFF) | 0x4000);
    g.Data4[0] = uint8_t((g.Data4[0] & 0x3F) | 0x80);
    return true;
}

class FieldWriter {
public:
    explicit FieldWriter(zolvex::ReplacingFile& out) : out_(out) {}

    // Fields gather in a buffer, so the file sees a few large writes, not one per field.
    void Bytes(const void* p, size_t n)
    {
        if (!ok_ || !n)
            return;
        if (used_ + n > sizeof buffer_ && !Flush())
            return;
        if (n >= sizeof buffer_) {
            ok_ = out_.Write(p, n);
            return;
        }
        std::memcpy(buffer_ + used_, p, n);
        used_ += n;
    }
    void Int(int32_t v)
    {
        unsigned char b[4];
        StoreInt(b, v);
        Bytes(b, 4);
    }
    void Float(float v)
    {
        int32_t i;
        std::memcpy(&i, &v, 4);
        Int(i);
    }
    bool Flush()
    {
        if (ok_ && used_)
            ok_ = out_.Write(buffer_, used_);
        used_ = 0;
        return ok_;
    }

private:
    zolvex::ReplacingFile& out_;
    unsigned char buffer_[16384];
    size_t used_ = 0;
    bool ok_ = true;
};

// Everything the writer will dereference, checked before a byte is written.
bool Writable(tagROMANCE_EFFECT2* e)
{
    if (!e->pSymbols || !e->pActors || e->pSymbols->GetSize() < e->pActors->GetSize())
        return false;
    for (int i = 0; i < e->pActors->GetSize(); ++i) {
        const tagROMANCE_ACTOR* a = e->pActors->GetAt(uint32_t(i));
        if (!e->pSymbols->GetAt(uint32_t(i)) || !a || !a->pFrameSizes || !a->pFrameBits || !a->pGuidePoints ||
            a->pFrameBits->GetSize() < a->pFrameSizes->GetSize())
            return false;
        for (int k = 0; k < a->pFrameSizes->GetSize(); ++k) {
            const tagSIZE s = a->pFrameSizes->GetAt(uint32_t(k));
            size_t bytes;
            if (!FrameBytes(s.cx, s.cy, bytes) || (bytes && !a->pFrameBits->GetAt(uint32_t(k))))
                return false;
        }
    }
    return true;
}

void WriteSymbol(FieldWriter& w, const tagROMANCE_SYMBOL& s)
{
    w.Int(s.bFitScreen);
    w.Int(s.nOpacity);
    w.Int(s.nAngleCorrection);
    w.Int(s.nAngle);
    w.Float(s.fOriginX);
    w.Float(s.fOriginY);
    w.Float(s.fStretch);
    w.Int(s.nGuideSpeed);
    w.Int(s.nFrameRate);
    w.Float(s.fSpeedX);
    w.Float(s.fSpeedY);
    w.Float(s.fRotateSpeed);
    w.Float(s.fZoomSpeed);
    w.Float(s.fMotionSpeed);
    w.Int(s.nImageSource);
    w.Int(kMotionSlots);
    for (int j = 0; j < kMotionSlots; ++j)
        w.Int(s.nMotion[j]);
}

void WriteActor(FieldWriter& w, tagROMANCE_ACTOR& a)
{
    const int frames = a.pFrameSizes->GetSize();
    w.Int(frames);
    for (int k = 0; k < frames; ++k) {
        const tagSIZE s = a.pFrameSizes->GetAt(uint32_t(k));
        w.Int(s.cx);
        w.Int(s.cy);
        w.Bytes(a.pFrameBits->GetAt(uint32_t(k)), size_t(s.cx) * size_t(s.cy) * 4);
    }
    const int points = a.pGuidePoints->GetSize();
    w.Int(points);
    for (int k = 0; k < points; ++k) {
        const tagPOINT p = a.pGuidePoints->GetAt(uint32_t(k));
        w.Int(p.x);
        w.Int(p.y);
    }
}

void WriteEffect(FieldWriter& w, tagROMANCE_EFFECT2& e, const GUID& guid)
{
    char version[kVersionBytes] = {};
    std::strcpy(version, ANIMATION_VERSION_2);
    unsigned char g[16];
    StoreGuid(g, guid);
    w.Bytes(version, kVersionBytes);
    w.Bytes(g, 16);
    w.Bytes(e.szName0, kNameBytes);
    w.Bytes(e.szName1, kNameBytes);
    const int symbols = e.pActors->GetSize();
    w.Int(symbols);
    for (int i = 0; i < symbols; ++i) {
        WriteSymbol(w, *e.pSymbols->GetAt(uint32_t(i)));
        WriteActor(w, *e.pActors->GetAt(uint32_t(i)));
    }
}

}  // namespace

bool WriteAnimationEffect(tagROMANCE_EFFECT2* effect, const char* path)
{
    if (!effect || !path || !IsVersion(effect, ANIMATION_VERSION_2) || !Writable(effect)) {
        errno = EINVAL;
        return false;
    }
    std::string target = path;
    if (target.size() < 4 || target.compare(target.size() - 4, 4, ".arf") != 0)
        target += ".arf";
    const size_t slash = target.rfind('/');
    const std::string title = target.substr(slash == std::string::npos ? 0 : slash + 1);
    const size_t titleLength = title.size() - 4;
    if (titleLength >= kNameBytes) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::memset(effect->szName0, 0, kNameBytes);
    std::memcpy(effect->szName0, title.data(), titleLength);
    std::memcpy(effect->szName1, effect->szName0, kNameBytes);

    GUID guid = effect->guidEffect;
    if (IsNullGuid(guid) && !NewGuid(guid)) {
        errno = EIO;
        return false;
    }

    // A failed or interrupted write leaves an existing file of that name as it was.
    zolvex::ReplacingFile file;
    if (!file.Open(target))
        return false;
    FieldWriter w(file);
    WriteEffect(w, *effect, guid);
    return w.Flush() && file.Commit();
}
