// libFuzzer target for the ".arf" reader. Each input is read as a library container
// would hold it (effects back to back) twice: from memory, where the reader knows how
// many bytes are left, and through a FILE that cannot tell, where it reads piecewise.
// Both must agree. Every version-2 effect that reads is written, read back and
// compared, so the writer and the reader check each other.
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "filter/animation/AnimationFile.h"

namespace {

// Effects read per input; a container of a few bytes per effect cannot hold more.
const int kMaxEffects = 16;

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "arf fuzz: %s\n", what);
    std::abort();
}

bool SameActor(tagROMANCE_ACTOR* a, tagROMANCE_ACTOR* b)
{
    if (a->nFrames != b->nFrames || a->nGuidePoints != b->nGuidePoints ||
        a->pFrameSizes->GetSize() != a->nFrames || a->pFrameBits->GetSize() != a->nFrames ||
        a->pGuidePoints->GetSize() != a->nGuidePoints)
        return false;
    for (int k = 0; k < a->nFrames; ++k) {
        const tagSIZE s = a->pFrameSizes->GetAt(k), t = b->pFrameSizes->GetAt(k);
        if (s.cx != t.cx || s.cy != t.cy ||
            std::memcmp(a->pFrameBits->GetAt(k), b->pFrameBits->GetAt(k), size_t(s.cx) * size_t(s.cy) * 4) != 0)
            return false;
    }
    for (int k = 0; k < a->nGuidePoints; ++k) {
        const tagPOINT p = a->pGuidePoints->GetAt(k), q = b->pGuidePoints->GetAt(k);
        if (p.x != q.x || p.y != q.y)
            return false;
    }
    return true;
}

bool SameActors(CTavmArray<tagROMANCE_ACTOR*>* a, CTavmArray<tagROMANCE_ACTOR*>* b)
{
    if (a->GetSize() != b->GetSize())
        return false;
    for (int i = 0; i < a->GetSize(); ++i)
        if (!SameActor(a->GetAt(i), b->GetAt(i)))
            return false;
    return true;
}

// Equal in everything a file keeps (names aside: the writer renames).
bool SameEffect(void* x, void* y, bool names)
{
    const char* v = AnimationRecordVersion(x);
    if (std::strcmp(v, AnimationRecordVersion(y)) != 0)
        return false;
    if (std::strcmp(v, ANIMATION_VERSION_1) == 0) {
        auto* a = static_cast<tagROMANCE_EFFECT1*>(x);
        auto* b = static_cast<tagROMANCE_EFFECT1*>(y);
        // Everything from the GUID up to the actor list is plain data.
        return std::memcmp(&a->guidEffect, &b->guidEffect, offsetof(tagROMANCE_EFFECT1, pActors) - 20) == 0 &&
               SameActors(a->pActors, b->pActors);
    }
    auto* a = static_cast<tagROMANCE_EFFECT2*>(x);
    auto* b = static_cast<tagROMANCE_EFFECT2*>(y);
    if (a->guidEffect != b->guidEffect || a->nSymbols != b->nSymbols || a->pSymbols->GetSize() != a->nSymbols ||
        b->pSymbols->GetSize() != b->nSymbols || !SameActors(a->pActors, b->pActors))
        return false;
    if (names && (std::strcmp(a->szName0, b->szName0) != 0 || std::strcmp(a->szName1, b->szName1) != 0))
        return false;
    for (int i = 0; i < a->nSymbols; ++i)
        if (std::memcmp(a->pSymbols->GetAt(i), b->pSymbols->GetAt(i), sizeof(tagROMANCE_SYMBOL)) != 0)
            return false;
    return true;
}

// Invariants every record that reads must keep.
void CheckRecord(void* p)
{
    const char* v = AnimationRecordVersion(p);
    CTavmArray<tagROMANCE_ACTOR*>* actors;
    int symbols;
    if (std::strcmp(v, ANIMATION_VERSION_2) == 0) {
        auto* e = static_cast<tagROMANCE_EFFECT2*>(p);
        actors = e->pActors;
        symbols = e->nSymbols;
        if (e->pSymbols->GetSize() != symbols)
            Fail("symbol count");
        for (int i = 0; i < symbols; ++i) {
            const tagROMANCE_SYMBOL* s = e->pSymbols->GetAt(i);
            if (s->bGuideLine || s->nImageSource < -1 || s->nImageSource >= symbols)
                Fail("symbol fields");
            for (int j = 0; j < kMotionSlots; ++j)
                if (s->nMotionState[j])
                    Fail("motion state");
        }
    } else if (std::strcmp(v, ANIMATION_VERSION_1) == 0) {
        auto* e = static_cast<tagROMANCE_EFFECT1*>(p);
        actors = e->pActors;
        symbols = e->nSymbols;
    } else {
        Fail("version text");
    }
    if (symbols < 1 || actors->GetSize() != symbols)
        Fail("actor count");
}

std::string g_dir;

void RoundTrip(void* p)
{
    if (std::strcmp(AnimationRecordVersion(p), ANIMATION_VERSION_2) != 0)
        return;
    auto* e = static_cast<tagROMANCE_EFFECT2*>(p);
    if (IsNullGuid(e->guidEffect))
        return;  // written with a fresh GUID: nothing to compare it with
    const std::string path = g_dir + "/effect.arf";
    if (!WriteAnimationEffect(e, path.c_str()))
        Fail("a record that was read cannot be written");
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        Fail("written file is missing");
    FileAnimationSource in(f);
    void* back = ReadAnimationEffect(in);
    const bool whole = std::fgetc(f) == EOF;
    std::fclose(f);
    if (!back || !whole || !SameEffect(p, back, true))
        Fail("round trip differs");
    FreeAnimationEffect(back);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Round trips are written to memory where the system offers it: the writer syncs.
    char shm[] = "/dev/shm/arf-fuzz-XXXXXX", tmp[] = "/tmp/arf-fuzz-XXXXXX";
    const char* name = mkdtemp(shm);
    if (!name && !(name = mkdtemp(tmp)))
        Fail("no temporary folder");
    g_dir = name;
    std::atexit([] {
        unlink((g_dir + "/effect.arf").c_str());
        rmdir(g_dir.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemoryAnimationSource memory(data, size);
    // fmemopen cannot open an empty buffer; a one-byte buffer read past its byte is.
    static const uint8_t kEmpty = 0;
    FILE* f = fmemopen(const_cast<uint8_t*>(size ? data : &kEmpty), size ? size : 1, "rb");
    if (!f)
        return 0;
    if (!size)
        std::fgetc(f);
    FileAnimationSource unsized(f);
    for (int n = 0; n < kMaxEffects; ++n) {
        void* a = ReadAnimationEffect(memory);
        void* b = ReadAnimationEffect(unsized);
        if (!a != !b || (a && !SameEffect(a, b, true)))
            Fail("sized and unsized reads disagree");
        if (!a)
            break;
        if (long(memory.Position()) != ftell(f))
            Fail("sized and unsized reads took different byte counts");
        CheckRecord(a);
        RoundTrip(a);
        FreeAnimationEffect(a);
        FreeAnimationEffect(b);
    }
    std::fclose(f);
    return 0;
}
