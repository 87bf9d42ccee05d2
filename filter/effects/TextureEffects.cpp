// (Placeholder) Noise, mosaic and frog.
#include "filter/effects/EffectLoops.h"

using namespace zolvex;

void CfTavEffect::Noise(const unsigned char* src, unsigned char* dst) { CopyFrame(*this, src, dst); }
void CfTavEffect::Mosaic(const unsigned char* src, unsigned char* dst) { CopyFrame(*this, src, dst); }
void CfTavEffect::Frog(const unsigned char* src, unsigned char* dst) { CopyFrame(*this, src, dst); }
