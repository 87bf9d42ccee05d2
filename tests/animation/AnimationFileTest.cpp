#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "filter/animation/AnimationFile.h"
#include "tools/common/SampleEffect.h"

// The records and the reader allocate only through the non-throwing operators new and
// new[]: the replacements below can make them fail after a number of allocations, and
// keep the largest size asked for, so that tests see whether a damaged file made the
// reader reach for memory it announced but did not hold.
namespace {
std::atomic<int> g_nothrowLeft{-1};  // -1: never fail
std::atomic<size_t> g_largest{0};

// Counts the allocation; false when it is to fail.
bool Allow(size_t size)
{
    size_t seen = g_largest.load();
    while (size > seen && !g_largest.compare_exchange_weak(seen, size)) {
    }
    const int left = g_nothrowLeft.load();
    if (left == 0 || size > (size_t(1) << 30))
        return false;
    if (left > 0)
        g_nothrowLeft.store(left - 1);
    return true;
}
}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return Allow(size) ? ::operator new(size) : nullptr;
    } catch (...) {
        return nullptr;
    }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return Allow(size) ? ::operator new[](size) : nullptr;
    } catch (...) {
        return nullptr;
    }
}

namespace {

namespace fs = std::filesystem;
typedef std::vector<unsigned char> Bytes;

const GUID kGuid = {0x12345678, 0x9abc, 0x4def, {0x81, 2, 3, 4, 5, 6, 7, 8}};

struct Builder {
    Bytes b;
    Builder& Int(int32_t v)
    {
        for (int k = 0; k < 4; ++k)
            b.push_back(uint8_t(uint32_t(v) >> (8 * k)));
        return *this;
    }
    Builder& Float(float f)
    {
        int32_t v;
        std::memcpy(&v, &f, 4);
        return Int(v);
    }
    Builder& Text(const char* s, size_t n)
    {
        const size_t at = b.size();
        b.resize(at + n);
        std::strncpy(reinterpret_cast<char*>(&b[at]), s, n);
        return *this;
    }
    Builder& Header(const char* version, const char* name)
    {
        Text(version, 20).Int(int32_t(kGuid.Data1)).Int(kGuid.Data2 | kGuid.Data3 << 16);
        b.insert(b.end(), kGuid.Data4, kGuid.Data4 + 8);
        return Text(name, 260).Text(name, 260);
    }
    // A version-2 symbol block of defaults with n slots holding 1, 2, 3, ...
    Builder& Symbol(int slots, int imageSource = -1)
    {
        Int(0).Int(200).Int(0).Int(180).Float(0.5f).Float(0.5f).Float(1).Int(12).Int(12);
        Float(0).Float(0).Float(0).Float(0).Float(1).Int(imageSource).Int(slots);
        for (int j = 0; j < slots; ++j)
            Int(j + 1);
        return *this;
    }
    Builder& Frame(int w, int h)
    {
        Int(w).Int(h);
        for (int k = 0; k < w * h * 4; ++k)
            b.push_back(uint8_t(k * 7 + w));
        return *this;
    }
};

// One symbol with one w × h frame and `points` guide points.
Bytes MinimalFile(int w, int h, int points, const char* name = "min")
{
    Builder f;
    f.Header(ANIMATION_VERSION_2, name).Int(1).Symbol(15).Int(1).Frame(w, h).Int(points);
    for (int k = 0; k < points; ++k)
        f.Int(k).Int(-k);
    return f.b;
}

void* Read(const Bytes& b, const AnimationGuidCheck& check = nullptr)
{
    MemoryAnimationSource in(b.data(), b.size());
    return ReadAnimationEffect(in, check);
}

// The same bytes through a stream that cannot tell its length.
void* ReadUnsized(const Bytes& b)
{
    static const unsigned char empty = 0;
    FILE* f = fmemopen(const_cast<unsigned char*>(b.empty() ? &empty : b.data()), b.empty() ? 1 : b.size(), "rb");
    if (!f)
        return nullptr;
    if (b.empty())
        std::fgetc(f);
    FileAnimationSource in(f);
    EXPECT_EQ(in.Remaining(), -1);
    void* e = ReadAnimationEffect(in);
    std::fclose(f);
    return e;
}

Bytes FileBytes(const std::string& path)
{
    Bytes b;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(f)) != EOF)
            b.push_back(uint8_t(c));
        std::fclose(f);
    }
    return b;
}

struct TempDir {
    fs::path path;
    TempDir()
    {
        char name[] = "/tmp/arf-test-XXXXXX";
        path = mkdtemp(name);
    }
    ~TempDir() { fs::remove_all(path); }
    std::string operator/(const char* name) const { return (path / name).string(); }
    size_t Entries() const { return size_t(std::distance(fs::directory_iterator(path), fs::directory_iterator())); }
};

tagROMANCE_EFFECT2* E2(void* p) { return static_cast<tagROMANCE_EFFECT2*>(p); }

// Three symbols, every stored field set to something other than its default, frames of
// several sizes, guide points; symbol 2 shows symbol 0's pictures.
tagROMANCE_EFFECT2* RichEffect()
{
    tagROMANCE_EFFECT2* e = NewAnimationEffect2();
    e->guidEffect = kGuid;
    for (int i = 0; i < 3; ++i) {
        tagROMANCE_SYMBOL* s = new tagROMANCE_SYMBOL{};
        s->nOpacity = 111 + i;
        s->bGuideLine = 1;  // editing state: never stored
        s->bFitScreen = 1;
        s->nGuideSpeed = 20 + i;
        s->nFrameRate = 7 + i;
        s->fSpeedX = -1.25f - i;
        s->fSpeedY = 2.5f;
        s->fRotateSpeed = 0.3f + i;
        s->fZoomSpeed = -0.125f;
        s->fMotionSpeed = 3.5f;
        s->nAngle = 270 + i;
        s->fStretch = 2.75f;
        for (int j = 0; j < kMotionSlots; ++j) {
            s->nMotion[j] = 1 + (i + j) % 14;
            s->nMotionState[j] = 99;  // run-time scratch: never stored
        }
        s->fOriginX = 0.125f * (i + 1);
        s->fOriginY = 0.875f;
        s->nAngleCorrection = -15 * (i + 1);
        s->nImageSource = i == 2 ? 0 : -1;
        e->pSymbols->Add(s);
        tagROMANCE_ACTOR* a = NewAnimationActor();
        for (int k = 0; i < 2 && k < 2 + i; ++k) {
            Bytes px(size_t(3 + k) * size_t(2 + i) * 4);
            for (size_t p = 0; p < px.size(); ++p)
                px[p] = uint8_t(p * 31 + k * 5 + i);
            AddActorFrame(a, 3 + k, 2 + i, px.data());
        }
        for (int k = 0; k < 5 - 2 * i; ++k)
            a->pGuidePoints->Add(tagPOINT{10 * k + i, 240 - 7 * k});
        a->nGuidePoints = a->pGuidePoints->GetSize();
        e->pActors->Add(a);
    }
    e->nSymbols = 3;
    return e;
}

void ExpectSameActor(tagROMANCE_ACTOR* want, tagROMANCE_ACTOR* got)
{
    ASSERT_EQ(got->nFrames, want->nFrames);
    ASSERT_EQ(got->pFrameSizes->GetSize(), want->nFrames);
    ASSERT_EQ(got->pFrameBits->GetSize(), want->nFrames);
    for (int k = 0; k < want->nFrames; ++k) {
        const tagSIZE s = want->pFrameSizes->GetAt(k), t = got->pFrameSizes->GetAt(k);
        ASSERT_EQ(t.cx, s.cx);
        ASSERT_EQ(t.cy, s.cy);
        EXPECT_EQ(0, std::memcmp(want->pFrameBits->GetAt(k), got->pFrameBits->GetAt(k), size_t(s.cx) * s.cy * 4));
    }
    ASSERT_EQ(got->nGuidePoints, want->nGuidePoints);
    ASSERT_EQ(got->pGuidePoints->GetSize(), want->nGuidePoints);
    for (int k = 0; k < want->nGuidePoints; ++k) {
        EXPECT_EQ(got->pGuidePoints->GetAt(k).x, want->pGuidePoints->GetAt(k).x);
        EXPECT_EQ(got->pGuidePoints->GetAt(k).y, want->pGuidePoints->GetAt(k).y);
    }
}

// Everything the file keeps; bGuideLine and nMotionState come back as 0.
void ExpectSameEffect(tagROMANCE_EFFECT2* want, tagROMANCE_EFFECT2* got)
{
    ASSERT_TRUE(got);
    EXPECT_STREQ(got->szVersion, ANIMATION_VERSION_2);
    EXPECT_EQ(got->guidEffect, want->guidEffect);
    EXPECT_STREQ(got->szName0, want->szName0);
    EXPECT_STREQ(got->szName1, want->szName1);
    ASSERT_EQ(got->nSymbols, want->pActors->GetSize());
    ASSERT_EQ(got->pSymbols->GetSize(), got->nSymbols);
    for (int i = 0; i < got->nSymbols; ++i) {
        tagROMANCE_SYMBOL s = *want->pSymbols->GetAt(i);
        s.bGuideLine = 0;
        std::memset(s.nMotionState, 0, sizeof s.nMotionState);
        EXPECT_EQ(0, std::memcmp(&s, got->pSymbols->GetAt(i), sizeof s)) << "symbol " << i;
        ExpectSameActor(want->pActors->GetAt(i), got->pActors->GetAt(i));
    }
}

TEST(AnimationRecords, NewRecordsFramesAndFreeing)
{
    tagROMANCE_EFFECT2* e2 = NewAnimationEffect2();
    tagROMANCE_EFFECT1* e1 = NewAnimationEffect1();
    tagROMANCE_ACTOR* a = NewAnimationActor();
    ASSERT_TRUE(e2 && e1 && a);
    EXPECT_STREQ(e2->szVersion, ANIMATION_VERSION_2);
    EXPECT_STREQ(e1->szVersion, ANIMATION_VERSION_1);
    EXPECT_TRUE(IsNullGuid(e2->guidEffect) && e2->nSymbols == 0 && e1->nDefaultDensity == 0);
    EXPECT_EQ(e2->pSymbols->GetBlockSize(), 5);
    EXPECT_EQ(e1->pActors->GetBlockSize(), 5);
    EXPECT_EQ(a->pGuidePoints->GetBlockSize(), 5);

    unsigned char px[2 * 3 * 4] = {1, 2, 3, 4};
    EXPECT_TRUE(AddActorFrame(a, 2, 3, px));
    px[0] = 9;
    EXPECT_EQ(a->pFrameBits->GetAt(0)[0], 1) << "the picture is copied";
    EXPECT_TRUE(AddActorFrame(a, 0, 0, nullptr));
    EXPECT_FALSE(AddActorFrame(a, -1, 3, px));
    EXPECT_FALSE(AddActorFrame(a, 2, 3, nullptr));
    EXPECT_EQ(a->nFrames, 2);
    EXPECT_EQ(a->pFrameSizes->GetAt(1).cx, 0);
    e1->pActors->Add(a);

    // Another version text frees nothing; the record stays whole.
    e2->szVersion[5] = '3';
    FreeAnimationEffect(e2);
    e2->szVersion[5] = '2';
    FreeAnimationEffect(e2);
    FreeAnimationEffect(e1);
    FreeAnimationEffect(nullptr);
}

TEST(AnimationRecords, RunningOutOfMemoryLeavesNothing)
{
    TempDir dir;
    tagROMANCE_EFFECT2* rich = RichEffect();
    ASSERT_TRUE(WriteAnimationEffect(rich, (dir / "rich").c_str()));
    const Bytes file = FileBytes(dir / "rich.arf");
    bool sawSuccess = false;
    for (int allowed = 0; !sawSuccess; ++allowed) {
        ASSERT_LT(allowed, 1000);
        g_nothrowLeft = allowed;
        void* e = Read(file);
        tagROMANCE_EFFECT1* e1 = NewAnimationEffect1();
        g_nothrowLeft = -1;
        if (allowed == 0) {
            EXPECT_FALSE(e || e1) << "allocation failures reach the library";
        }
        if (e)
            ExpectSameEffect(rich, E2(e));
        sawSuccess = e && e1;
        if (sawSuccess) {
            EXPECT_GT(allowed, 30);
        }
        FreeAnimationEffect(e);
        FreeAnimationEffect(e1);
    }
    FreeAnimationEffect(rich);
}

TEST(AnimationFile, MinimalFileIs704BytesAndMatchesTheLayout)
{
    TempDir dir;
    tagROMANCE_EFFECT2* e = NewAnimationEffect2();
    e->guidEffect = kGuid;
    tagROMANCE_SYMBOL* s = new tagROMANCE_SYMBOL{};
    s->nOpacity = 200;
    s->nGuideSpeed = s->nFrameRate = 12;
    s->fMotionSpeed = s->fStretch = 1;
    s->nAngle = 180;
    for (int j = 0; j < kMotionSlots; ++j)
        s->nMotion[j] = j + 1;
    s->fOriginX = s->fOriginY = 0.5f;
    s->nImageSource = -1;
    e->pSymbols->Add(s);
    e->pActors->Add(NewAnimationActor());
    const Bytes expected = MinimalFile(1, 1, 0, "min");
    AddActorFrame(e->pActors->GetAt(0), 1, 1, &expected[696]);
    ASSERT_TRUE(WriteAnimationEffect(e, (dir / "min.arf").c_str()));
    const Bytes written = FileBytes(dir / "min.arf");
    EXPECT_EQ(written.size(), 704u);
    EXPECT_EQ(written, expected);
    FreeAnimationEffect(e);
}

TEST(AnimationFile, WriterPathRuleNamesAndFreshGuid)
{
    TempDir dir;
    tagROMANCE_EFFECT2* e = RichEffect();
    e->guidEffect = GUID{};
    ASSERT_TRUE(WriteAnimationEffect(e, (dir / "Snow.ARF").c_str()));
    EXPECT_TRUE(fs::exists(dir / "Snow.ARF.arf"));
    EXPECT_STREQ(e->szName0, "Snow.ARF");
    EXPECT_STREQ(e->szName1, "Snow.ARF");
    ASSERT_TRUE(WriteAnimationEffect(e, (dir / "rain.arf").c_str()));
    EXPECT_EQ(dir.Entries(), 2u) << "rain.arf is used as it is, and no temporary file stays";
    EXPECT_STREQ(e->szName0, "rain");
    EXPECT_TRUE(IsNullGuid(e->guidEffect)) << "the record keeps its zero GUID";

    void* a = Read(FileBytes(dir / "Snow.ARF.arf"));
    void* b = Read(FileBytes(dir / "rain.arf"));
    ASSERT_TRUE(a && b);
    const GUID g = E2(a)->guidEffect;
    EXPECT_FALSE(IsNullGuid(g));
    EXPECT_NE(g, E2(b)->guidEffect);
    EXPECT_EQ(g.Data3 >> 12, 4) << "a random (version 4) GUID";
    EXPECT_EQ(g.Data4[0] >> 6, 2);
    EXPECT_STREQ(E2(a)->szName1, "Snow.ARF");
    FreeAnimationEffect(a);
    FreeAnimationEffect(b);
    FreeAnimationEffect(e);
}

TEST(AnimationFile, RichEffectRoundTripsWithSharedPictures)
{
    TempDir dir;
    tagROMANCE_EFFECT2* e = RichEffect();
    ASSERT_TRUE(WriteAnimationEffect(e, (dir / "rich").c_str()));
    FILE* f = std::fopen((dir / "rich.arf").c_str(), "rb");
    ASSERT_TRUE(f);
    FileAnimationSource in(f);
    EXPECT_EQ(in.Remaining(), int64_t(fs::file_size(dir / "rich.arf")));
    void* got = ReadAnimationEffect(in);
    EXPECT_EQ(in.Remaining(), 0);
    std::fclose(f);
    ExpectSameEffect(e, E2(got));
    EXPECT_EQ(E2(got)->pSymbols->GetAt(2)->nImageSource, 0);
    EXPECT_EQ(E2(got)->pActors->GetAt(2)->nFrames, 0);

    // Written again from what was read: the same bytes.
    fs::create_directory(dir.path / "again");
    ASSERT_TRUE(WriteAnimationEffect(E2(got), (dir / "again/rich").c_str()));
    EXPECT_EQ(FileBytes(dir / "again/rich.arf"), FileBytes(dir / "rich.arf"));
    FreeAnimationEffect(got);
    FreeAnimationEffect(e);
}

TEST(AnimationFile, SlotCounts)
{
    for (int n : {3, 0, -4, 20}) {
        Builder f;
        f.Header(ANIMATION_VERSION_2, "slots").Int(2).Symbol(n).Int(0).Int(0).Symbol(15, 0).Int(0).Int(1).Int(7).Int(8);
        void* e = Read(f.b);
        ASSERT_TRUE(e) << n;
        const tagROMANCE_SYMBOL* s = E2(e)->pSymbols->GetAt(0);
        for (int j = 0; j < kMotionSlots; ++j)
            EXPECT_EQ(s->nMotion[j], j < n ? j + 1 : 0) << n << " slot " << j;
        // Slots beyond 15 are stepped over: the second symbol reads right.
        EXPECT_EQ(E2(e)->pSymbols->GetAt(1)->nMotion[14], 15) << n;
        EXPECT_EQ(E2(e)->pActors->GetAt(1)->pGuidePoints->GetAt(0).y, 8) << n;
        FreeAnimationEffect(e);
    }
}

Bytes Version1File()
{
    Builder f;
    f.Header(ANIMATION_VERSION_1, "Fireflies");
    f.Int(40).Int(12).Int(210).Int(24).Int(9).Float(1.5f).Float(-0.75f).Float(2.25f).Int(33).Int(1).Int(7).Int(10);
    for (int j = 0; j < 10; ++j)
        f.Int(14 - j);
    f.Int(2).Int(2).Frame(2, 1).Frame(1, 1).Int(2).Int(3).Int(4).Int(5).Int(6);
    f.Int(1).Frame(1, 3).Int(0);
    return f.b;
}

TEST(AnimationFile, Version1IsReadFieldByField)
{
    const Bytes file = Version1File();
    void* p = Read(file);
    ASSERT_TRUE(p);
    ASSERT_STREQ(AnimationRecordVersion(p), ANIMATION_VERSION_1);
    const tagROMANCE_EFFECT1* e = static_cast<tagROMANCE_EFFECT1*>(p);
    EXPECT_EQ(e->guidEffect, kGuid);
    EXPECT_STREQ(e->szName0, "Fireflies");
    EXPECT_EQ(e->nMaxDensity, 40);
    EXPECT_EQ(e->nDefaultDensity, 12);
    EXPECT_EQ(e->nOpacity, 210);
    EXPECT_EQ(e->nGuideSpeed, 24);
    EXPECT_EQ(e->nFrameRate, 9);
    EXPECT_EQ(e->fDriftX, 1.5f);
    EXPECT_EQ(e->fDriftY, -0.75f);
    EXPECT_EQ(e->fMotionSpeed, 2.25f);
    EXPECT_EQ(e->nMaxSwingAngle, 33);
    EXPECT_EQ(e->bChangeAspect, 1);
    EXPECT_EQ(e->nPlacement, 7);
    for (int j = 0; j < kMotionSlots; ++j) {
        EXPECT_EQ(e->nMotion[j], j < 10 ? 14 - j : 0);
        EXPECT_EQ(e->nMotionState[j], 0);
    }
    ASSERT_EQ(e->nSymbols, 2);
    tagROMANCE_ACTOR* a = e->pActors->GetAt(0);
    EXPECT_EQ(a->nFrames, 2);
    EXPECT_EQ(a->pFrameSizes->GetAt(0).cx, 2);
    EXPECT_EQ(a->pFrameBits->GetAt(0)[7], uint8_t(7 * 7 + 2));
    EXPECT_EQ(a->nGuidePoints, 2);
    EXPECT_EQ(a->pGuidePoints->GetAt(1).x, 5);
    EXPECT_EQ(e->pActors->GetAt(1)->pFrameSizes->GetAt(0).cy, 3);
    FreeAnimationEffect(p);
}

TEST(AnimationFile, EffectsBackToBackAndTheGuidCheck)
{
    const Bytes v1 = Version1File(), v2 = MinimalFile(2, 2, 3);
    Bytes both = v2;
    both.insert(both.end(), v1.begin(), v1.end());
    MemoryAnimationSource in(both.data(), both.size());
    void* first = ReadAnimationEffect(in);
    EXPECT_EQ(in.Position(), v2.size());
    void* second = ReadAnimationEffect(in);
    EXPECT_EQ(in.Position(), both.size());
    ASSERT_TRUE(first && second);
    EXPECT_STREQ(AnimationRecordVersion(second), ANIMATION_VERSION_1);
    EXPECT_EQ(ReadAnimationEffect(in), nullptr);
    // The same bytes read twice give the same GUID, and a library holding it stops the
    // read right after the GUID.
    int calls = 0;
    MemoryAnimationSource again(both.data(), both.size());
    const auto known = [&](const GUID& g) {
        ++calls;
        EXPECT_EQ(again.Position(), 36u);
        return g != E2(first)->guidEffect;
    };
    EXPECT_EQ(ReadAnimationEffect(again, known), nullptr);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(static_cast<tagROMANCE_EFFECT1*>(second)->guidEffect, E2(first)->guidEffect);
    FreeAnimationEffect(first);
    FreeAnimationEffect(second);
}

TEST(AnimationFile, EveryTruncationFails)
{
    TempDir dir;
    tagROMANCE_EFFECT2* rich = RichEffect();
    ASSERT_TRUE(WriteAnimationEffect(rich, (dir / "rich").c_str()));
    FreeAnimationEffect(rich);
    for (const Bytes& file : {FileBytes(dir / "rich.arf"), Version1File()}) {
        for (size_t n = 0; n < file.size(); ++n) {
            const Bytes cut(file.begin(), file.begin() + n);
            ASSERT_EQ(Read(cut), nullptr) << n;
            ASSERT_EQ(ReadUnsized(cut), nullptr) << n;
        }
        void* whole = ReadUnsized(file);
        EXPECT_TRUE(whole);
        FreeAnimationEffect(whole);
    }
}

void Patch(Bytes& b, size_t at, int32_t v)
{
    for (int k = 0; k < 4; ++k)
        b[at + k] = uint8_t(uint32_t(v) >> (8 * k));
}

TEST(AnimationFile, DamageFailsWithoutReachingForAnnouncedMemory)
{
    // Offsets in MinimalFile: nSymbols 556, nImageSource 616, slot count 620, nFrames
    // 684, width 688, height 692, pixels 696.
    const Bytes small = MinimalFile(16, 8, 4);  // 1.2 kB; nGuidePoints at 1208
    const struct {
        size_t at;
        int32_t value;
    } damage[] = {{556, 0}, {556, -1}, {556, 1000000000}, {616, -2}, {616, 1}, {620, INT32_MAX}, {684, -1},
                  {684, 100000000}, {688, -16}, {692, -1}, {688, INT32_MAX}, {688, 8000}, {688, 100000},
                  {1208, -1}, {1208, 2000000000}};
    for (const auto& d : damage) {
        Bytes b = small;
        Patch(b, d.at, d.value);
        if (d.at == 688 && d.value == 8000)
            Patch(b, 692, 8000);  // 256 MB claimed by a 1 kB file
        g_largest = 0;
        EXPECT_EQ(Read(b), nullptr) << d.at << " = " << d.value;
        EXPECT_LT(g_largest.load(), 4096u) << d.at << " = " << d.value;
        g_largest = 0;
        EXPECT_EQ(ReadUnsized(b), nullptr) << d.at << " = " << d.value;
        EXPECT_LE(g_largest.load(), size_t(4) << 20) << d.at << " = " << d.value;
    }
    for (const char* version : {"AMRF_2002", "amrf_2001", "AMRF_2001x", ""}) {
        Bytes b = small;
        std::memset(b.data(), 0, 20);
        std::memcpy(b.data(), version, std::strlen(version));
        EXPECT_EQ(Read(b), nullptr) << version;
    }
    // Frames without area are harmless and kept; bytes after a name's terminator and
    // after the version text's do not matter.
    Bytes b = MinimalFile(0, 5, 0);
    b[15] = b[200] = 'x';
    void* e = Read(b);
    ASSERT_TRUE(e);
    EXPECT_EQ(E2(e)->pActors->GetAt(0)->pFrameSizes->GetAt(0).cy, 5);
    FreeAnimationEffect(e);
}

TEST(AnimationFile, FailedWritesLeaveNoFile)
{
    TempDir dir;
    tagROMANCE_EFFECT2* e = RichEffect();
    EXPECT_FALSE(WriteAnimationEffect(e, (dir / "missing/effect").c_str()));
    EXPECT_EQ(dir.Entries(), 0u);
    ASSERT_TRUE(WriteAnimationEffect(e, (dir / "kept").c_str()));
    const Bytes before = FileBytes(dir / "kept.arf");
    // A symbol list shorter than the actor list cannot be written.
    tagROMANCE_SYMBOL* last = e->pSymbols->GetAt(2);
    e->pSymbols->RemoveAt(2);
    EXPECT_FALSE(WriteAnimationEffect(e, (dir / "kept").c_str()));
    EXPECT_EQ(FileBytes(dir / "kept.arf"), before);
    EXPECT_EQ(dir.Entries(), 1u);
    e->pSymbols->Add(last);
    FreeAnimationEffect(e);
}

TEST(SampleEffect, LivelyAndWritable)
{
    TempDir dir;
    tagROMANCE_EFFECT2* e = MakeSampleAnimationEffect();
    ASSERT_TRUE(e);
    ASSERT_TRUE(WriteAnimationEffect(e, (dir / "sample").c_str()));
    void* got = Read(FileBytes(dir / "sample.arf"));
    ExpectSameEffect(e, E2(got));
    ASSERT_EQ(e->nSymbols, 3);
    int guided = 0, shared = 0;
    for (int i = 0; i < 3; ++i) {
        const tagROMANCE_SYMBOL* s = e->pSymbols->GetAt(i);
        tagROMANCE_ACTOR* a = e->pActors->GetAt(i);
        if (s->nMotion[0] == 1) {
            ++guided;
            EXPECT_GT(a->nGuidePoints, s->nGuideSpeed / 4 + 1);
            for (int k = 0; k < a->nGuidePoints; ++k) {
                const tagPOINT p = a->pGuidePoints->GetAt(k);
                EXPECT_TRUE(p.x >= 0 && p.x < 320 && p.y >= 0 && p.y < 240);
            }
        }
        if (s->nImageSource >= 0) {
            ++shared;
            EXPECT_LT(s->nImageSource, i);
            EXPECT_EQ(a->nFrames, 0);
        } else {
            EXPECT_GE(a->nFrames, 4);
            const tagSIZE sz = a->pFrameSizes->GetAt(0);
            int soft = 0;
            for (int p = 0; p < sz.cx * sz.cy; ++p)
                soft += a->pFrameBits->GetAt(0)[p * 4 + 3] % 255 != 0;
            EXPECT_GT(soft, sz.cx) << "soft alpha edges";
        }
    }
    EXPECT_EQ(guided, 1);
    EXPECT_EQ(shared, 1);
    FreeAnimationEffect(got);
    FreeAnimationEffect(e);
}

}  // namespace
