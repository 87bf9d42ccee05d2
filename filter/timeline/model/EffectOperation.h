// One effect operation on the timeline (an OBJ_EFFECT object): a static effect or
// an animation effect over a stretch of time, with the per-instance state that the
// animation playback keeps in it.
#pragma once

#include <cstdint>

#include "filter/common/TavmArray.h"
#include "platform/wintypes.h"

// One effect operation on the timeline, created zero-filled by its producer.
struct tagOPR_EFFECT {
    double dStartTime;   // start on the timeline, seconds
    double dEndTime;     // end on the timeline, seconds
    int32_t nEffectID;   // static effect id 0–14 (ignored for animation effects)
    int32_t nLevel;      // strength 0–100
    int32_t nInstanceCount;  // version-1 animation instances; 0 = the effect's default
    // Per-instance state of an animation effect, one element per instance; made by
    // the animation set-up and freed by its release.
    CTavmArray<int32_t>* aiSymbol;   // symbol the instance shows
    CTavmArray<int32_t>* aiFrame;    // picture frame to show next
    CTavmArray<float>* afScaleX;     // current scale
    CTavmArray<float>* afScaleY;
    CTavmArray<float>* afAngle;      // degrees
    CTavmArray<float>* afPosX;       // position in frame pixels
    CTavmArray<float>* afPosY;
    CTavmArray<int32_t>* aiOpacity;  // 0..255
    CTavmArray<int32_t*>* apMotion;  // 30-word motion blocks, owned by the array
    CTavmArray<int32_t>* aiTick;     // output frames since the picture sequence restarted
    CTavmArray<int32_t>* aiGuidePos; // current guide-line point
    // Outline the effect is confined to, in source-video picture coordinates
    // (cx = x, cy = y); null means the whole frame.
    CTavmArray<tagSIZE>* pValidPolygon;
    int32_t bSpecialInited;   // non-zero while the per-instance arrays exist
    GUID guidEffect;          // animation effect; all zero for a static effect
    int32_t nReserved2;
    int32_t nOverallOpacity;  // 0–255, multiplies every animation instance's opacity
};
