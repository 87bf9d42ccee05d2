// (Placeholder until the records are built.)
#include "filter/animation/AnimationRecords.h"

tagROMANCE_ACTOR* NewAnimationActor() { return nullptr; }
tagROMANCE_EFFECT2* NewAnimationEffect2() { return nullptr; }
tagROMANCE_EFFECT1* NewAnimationEffect1() { return nullptr; }
bool AddActorFrame(tagROMANCE_ACTOR*, int, int, const unsigned char*) { return false; }
void FreeAnimationActor(tagROMANCE_ACTOR*) {}
void FreeAnimationEffect(void*) {}
