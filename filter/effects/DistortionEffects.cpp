// (Placeholder) Ripple, tile reflection and illusion.
#include "filter/effects/EffectLoops.h"

using namespace zolvex;

void CfTavEffect::Distord(const unsigned char* src, unsigned char* dst) { CopyFrame(*this, src, dst); }
void CfTavEffect::TileReflection(const unsigned char* src, unsigned char* dst) { CopyFrame(*this, src, dst); }
void CfTavEffect::Illusion(const unsigned char* src, unsigned char* dst) { CopyFrame(*this, src, dst); }
bool CfTavEffect::calc_undistorted_coord(int, int, double& sx, double& sy) const
{
    sx = sy = 0;
    return true;
}
