// Animation effects in memory: the parsed form of an ".arf" file. A record of either
// version starts with its 20-byte version text, which tells every consumer the layout.
// Records belong to the studio's animation library; the rendering engine only reads
// them.
#pragma once

#include <cstdint>

#include "filter/common/TavmArray.h"
#include "platform/Export.h"
#include "platform/wintypes.h"

#define ANIMATION_VERSION_1 "AMRF_1001"
#define ANIMATION_VERSION_2 "AMRF_2001"

// Special-motion slots per symbol (version 2) or effect (version 1).
constexpr int kMotionSlots = 15;

// One symbol of a version-2 effect: its properties and its motion block. The 15
// words nMotion followed by the 15 words nMotionState form the 30-word block that
// playback copies per instance.
struct tagROMANCE_SYMBOL {
    int32_t nOpacity;          // 0..255
    int32_t bGuideLine;        // maker's editing state, not stored in files
    int32_t bFitScreen;        // stretched over the whole frame
    int32_t nGuideSpeed;       // guide points per second; time step of the linear motion
    int32_t nFrameRate;        // picture frames per second of the symbol's animation
    float fSpeedX, fSpeedY;    // linear motion
    float fRotateSpeed;
    float fZoomSpeed;
    float fMotionSpeed;        // speed factor of the special motions
    int32_t nAngle;            // start angle, degrees; 180 is upright
    float fStretch;            // size factor
    int32_t nMotion[kMotionSlots];       // special-motion types
    int32_t nMotionState[kMotionSlots];  // run-time scratch, never stored
    float fOriginX, fOriginY;  // start position as fractions of the frame
    int32_t nAngleCorrection;  // degrees subtracted from the guide-line direction
    int32_t nImageSource;      // -1: own pictures; else an earlier symbol's
};
static_assert(sizeof(tagROMANCE_SYMBOL) == 46 * 4, "a symbol is 46 words");

// The pictures and guide line of one symbol (both versions). The arrays and every
// pixel buffer belong to the actor.
struct tagROMANCE_ACTOR {
    int32_t nFrames;
    CTavmArray<tagSIZE>* pFrameSizes;        // width, height per frame
    CTavmArray<unsigned char*>* pFrameBits;  // width × height × 4 bytes per frame: rows top to
                                             // bottom, blue-green-red-alpha, straight alpha
    int32_t nGuidePoints;
    CTavmArray<tagPOINT>* pGuidePoints;      // in the maker's 320 × 240 drawing area
};

struct tagROMANCE_EFFECT2 {
    char szVersion[20];  // "AMRF_2001"
    GUID guidEffect;
    char szName0[260];   // English name
    char szName1[260];   // Chinese name
    int32_t nSymbols;
    CTavmArray<tagROMANCE_SYMBOL*>* pSymbols;  // one per symbol
    CTavmArray<tagROMANCE_ACTOR*>* pActors;    // one per symbol, same index
};

struct tagROMANCE_EFFECT1 {
    char szVersion[20];  // "AMRF_1001"
    GUID guidEffect;
    char szName0[260];
    char szName1[260];
    int32_t nMaxDensity;      // largest instance count the studio offers
    int32_t nDefaultDensity;  // instances shown when the operation sets no count
    int32_t nOpacity;
    int32_t nGuideSpeed;
    int32_t nFrameRate;
    int32_t bChangeAspect;    // instances change width and height at random
    float fDriftX, fDriftY;
    float fMotionSpeed;
    int32_t nPlacement;       // start position mode 0..11
    int32_t nMaxSwingAngle;
    int32_t nMotion[kMotionSlots];
    int32_t nMotionState[kMotionSlots];
    int32_t nSymbols;
    CTavmArray<tagROMANCE_ACTOR*>* pActors;
};

// The version text at the start of a record of either version (null for null).
inline const char* AnimationRecordVersion(const void* record)
{
    return static_cast<const char*>(record);
}

// New, empty records with their arrays made (block size 5); null when out of memory.
ZVF_API tagROMANCE_ACTOR* NewAnimationActor();
ZVF_API tagROMANCE_EFFECT2* NewAnimationEffect2();
ZVF_API tagROMANCE_EFFECT1* NewAnimationEffect1();
// Appends a picture (copied) to an actor and keeps nFrames in step; false when out of
// memory or for a size that is not a picture.
ZVF_API bool AddActorFrame(tagROMANCE_ACTOR* actor, int width, int height, const unsigned char* bgra);
// Frees an actor with its pictures and arrays.
ZVF_API void FreeAnimationActor(tagROMANCE_ACTOR* actor);
// Frees a record of either version completely: symbols, actors, pictures, arrays.
// Any other version text frees nothing.
ZVF_API void FreeAnimationEffect(void* record);
