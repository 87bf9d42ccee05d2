// The table of selectable static effects: id → name shown in the studio → call with
// the parameter derived from the object's level.
#pragma once

#include <cstddef>

#include "filter/effects/fTavEffect.h"

namespace zolvex {

struct StaticEffectEntry {
    int id;
    const char* name;
    void (*apply)(CfTavEffect& fx, const unsigned char* src, unsigned char* dst);
};

// Null for an id outside the table.
const StaticEffectEntry* FindStaticEffect(int id);
int StaticEffectCount();

// Bytes of one frame of the object's size; 0 for a size that is not a frame.
inline size_t FrameBytes(const CfTavEffect& fx)
{
    if (fx.nWidth <= 0 || fx.nHeight <= 0 || fx.nBpp <= 0)
        return 0;
    return size_t(fx.nWidth) * size_t(fx.nHeight) * size_t(fx.nBpp);
}

}  // namespace zolvex
