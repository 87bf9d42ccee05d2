// (Placeholder) Gaussian and motion blur.
#include "filter/effects/EffectLoops.h"

using namespace zolvex;

void CfTavEffect::GaussBlur(const unsigned char* src, unsigned char* dst) { CopyFrame(*this, src, dst); }
void CfTavEffect::MotionBlur(const unsigned char* src, unsigned char* dst, int) { CopyFrame(*this, src, dst); }
void CfTavEffect::find_constants(double*, double*, double*, double*, double*, double*, double) {}
