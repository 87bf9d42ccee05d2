// Making and freeing animation effect records. Everything is allocated with the
// non-throwing operator new, so that running out of memory while a damaged or huge
// file is read ends in a clean failure instead of an exception through the reader.
#include "filter/animation/AnimationRecords.h"

#include <cstring>
#include <new>

#include "filter/animation/AnimationInternal.h"

namespace {

constexpr uint16_t kBlockSize = 5;

template <class T>
CTavmArray<T>* NewArray()
{
    return new (std::nothrow) CTavmArray<T>(kBlockSize);
}

}  // namespace

namespace zolvex {
namespace arf {

bool IsVersion(const void* record, const char* version)
{
    return record && std::strncmp(static_cast<const char*>(record), version, 20) == 0;
}

// Zero-area frames carry no bytes but are still frames; negative sides are not.
bool FrameBytes(int64_t width, int64_t height, size_t& bytes)
{
    if (width < 0 || height < 0)
        return false;
    const uint64_t n = uint64_t(width) * uint64_t(height) * 4u;  // < 2^64: both sides < 2^31
    if (n > kMaxFrameBytes)
        return false;
    bytes = size_t(n);
    return true;
}

bool AppendFrame(tagROMANCE_ACTOR* actor, tagSIZE size, unsigned char* bits)
{
    if (actor->pFrameSizes->Add(size) < 0)
        return false;
    if (actor->pFrameBits->Add(bits) < 0) {
        actor->pFrameSizes->RemoveAt(uint32_t(actor->pFrameSizes->GetSize() - 1));
        return false;
    }
    actor->nFrames = actor->pFrameSizes->GetSize();
    return true;
}

}  // namespace arf
}  // namespace zolvex

using namespace zolvex::arf;

tagROMANCE_ACTOR* NewAnimationActor()
{
    tagROMANCE_ACTOR* a = new (std::nothrow) tagROMANCE_ACTOR();
    if (!a)
        return nullptr;
    a->pFrameSizes = NewArray<tagSIZE>();
    a->pFrameBits = NewArray<unsigned char*>();
    a->pGuidePoints = NewArray<tagPOINT>();
    if (!a->pFrameSizes || !a->pFrameBits || !a->pGuidePoints) {
        FreeAnimationActor(a);
        return nullptr;
    }
    return a;
}

tagROMANCE_EFFECT2* NewAnimationEffect2()
{
    tagROMANCE_EFFECT2* e = new (std::nothrow) tagROMANCE_EFFECT2();
    if (!e)
        return nullptr;
    std::strcpy(e->szVersion, ANIMATION_VERSION_2);
    e->pSymbols = NewArray<tagROMANCE_SYMBOL*>();
    e->pActors = NewArray<tagROMANCE_ACTOR*>();
    if (!e->pSymbols || !e->pActors) {
        FreeAnimationEffect(e);
        return nullptr;
    }
    return e;
}

tagROMANCE_EFFECT1* NewAnimationEffect1()
{
    tagROMANCE_EFFECT1* e = new (std::nothrow) tagROMANCE_EFFECT1();
    if (!e)
        return nullptr;
    std::strcpy(e->szVersion, ANIMATION_VERSION_1);
    e->pActors = NewArray<tagROMANCE_ACTOR*>();
    if (!e->pActors) {
        FreeAnimationEffect(e);
        return nullptr;
    }
    return e;
}

bool AddActorFrame(tagROMANCE_ACTOR* actor, int width, int height, const unsigned char* bgra)
{
    size_t bytes = 0;
    if (!actor || !actor->pFrameSizes || !actor->pFrameBits || !FrameBytes(width, height, bytes) ||
        (bytes && !bgra))
        return false;
    unsigned char* copy = new (std::nothrow) unsigned char[bytes];
    if (!copy)
        return false;
    if (bytes)
        std::memcpy(copy, bgra, bytes);
    if (!AppendFrame(actor, tagSIZE{width, height}, copy)) {
        delete[] copy;
        return false;
    }
    return true;
}

void FreeAnimationActor(tagROMANCE_ACTOR* actor)
{
    if (!actor)
        return;
    if (CTavmArray<unsigned char*>* bits = actor->pFrameBits)
        for (int k = 0; k < bits->GetSize(); ++k)
            delete[] bits->GetAt(uint32_t(k));
    delete actor->pFrameBits;
    delete actor->pFrameSizes;
    delete actor->pGuidePoints;
    delete actor;
}

namespace {

void FreeActors(CTavmArray<tagROMANCE_ACTOR*>* actors)
{
    if (!actors)
        return;
    for (int k = 0; k < actors->GetSize(); ++k)
        FreeAnimationActor(actors->GetAt(uint32_t(k)));
    delete actors;
}

}  // namespace

void FreeAnimationEffect(void* record)
{
    if (IsVersion(record, ANIMATION_VERSION_2)) {
        tagROMANCE_EFFECT2* e = static_cast<tagROMANCE_EFFECT2*>(record);
        if (e->pSymbols)
            for (int k = 0; k < e->pSymbols->GetSize(); ++k)
                delete e->pSymbols->GetAt(uint32_t(k));
        delete e->pSymbols;
        FreeActors(e->pActors);
        delete e;
    } else if (IsVersion(record, ANIMATION_VERSION_1)) {
        tagROMANCE_EFFECT1* e = static_cast<tagROMANCE_EFFECT1*>(record);
        FreeActors(e->pActors);
        delete e;
    }
}
