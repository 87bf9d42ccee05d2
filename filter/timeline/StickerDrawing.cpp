// (Placeholder.)
#include "filter/timeline/StickerDrawing.h"

namespace zolvex {

void DrawSticker(CompositionSurface&, StickerOp&, double, double&, int) {}

}  // namespace zolvex
