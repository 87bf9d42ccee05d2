// (Placeholder.)
#include "filter/screen3d/Screen3D.h"

namespace zolvex {

void PrepareScreenItem(ScreenOp&, const PictureList*, int, int) {}
void ReleaseScreenItem(ScreenOp&) {}
void DrawScreenItem(CompositionSurface&, ScreenOp&, const SideLists&, const unsigned char*, int, int) {}

}  // namespace zolvex
