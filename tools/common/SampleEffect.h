// A version-2 animation effect whose pictures are drawn by code, for the demo project,
// the gallery, tests and benchmarks: the same bytes on every machine.
//
//   symbol 0  a golden star that turns over 4 frames and follows a guide line
//   symbol 1  a red heart that beats over 4 frames, drifts and swings
//   symbol 2  a small copy of the star (it shows symbol 0's pictures) that wanders
//             at random, spins and flickers
#pragma once

#include "filter/animation/AnimationRecords.h"

// The sample's own GUID, so that projects can name it and its file is the same bytes
// on every machine: {FDDDCF84-CB38-4408-AD95-2EE971CDA6F7}.
constexpr GUID kSampleEffectGuid = {0xFDDDCF84, 0xCB38, 0x4408, {0xAD, 0x95, 0x2E, 0xE9, 0x71, 0xCD, 0xA6, 0xF7}};

// Sprite side of the sample's pictures, in pixels.
constexpr int kSampleSpriteSize = 64;

// A new effect (free it with FreeAnimationEffect), or null when out of memory.
tagROMANCE_EFFECT2* MakeSampleAnimationEffect();
