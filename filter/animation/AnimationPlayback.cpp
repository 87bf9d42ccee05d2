// (Placeholder until playback is built.)
#include "filter/effects/fTavEffect.h"

void CfTavEffect::InitSpecial(GUID, tagOPR_EFFECT*, const char*, void*) {}
void CfTavEffect::Special_Effect(tagOPR_EFFECT*, const unsigned char*, unsigned char*, const char*, void*) {}
void CfTavEffect::ReleaseOprSpecialData(tagOPR_EFFECT*) {}
