// (Placeholder.)
#include "filter/timeline/TitleDrawing.h"

namespace zolvex {

void DrawTitle(CompositionSurface&, const TextOp&, double, const TitleFrame&) {}

}  // namespace zolvex
