// 3D screen items (OBJ_SCREEN3D): the scene picture shown on a three-dimensional
// surface in perspective, over a background picture and under a mask.
#pragma once

#include "filter/common/CompositionSurface.h"
#include "filter/timeline/model/TimelineLists.h"
#include "platform/Export.h"

namespace zolvex {

// Shapes 0–24 are drawn; other styles are not.
constexpr int kScreenStyles = 25;

// At a new timeline: frees the item's cached pictures and rebuilds its background
// from picture nStyle of the list (its top-left 720 × 480 pixels resampled to
// width × height).
ZVF_API void PrepareScreenItem(ScreenOp& item, const PictureList* pictures, int width, int height);
// Frees the item's cached pictures (pMaskPicture, pBackground).
ZVF_API void ReleaseScreenItem(ScreenOp& item);
// Overlay pass: the item's mask (if its style has one) stretched over the frame, then
// the scene picture (width × height × 3 bytes, bottom-up) drawn on the item's shape.
ZVF_API void DrawScreenItem(CompositionSurface& surface, ScreenOp& item, const SideLists& sides,
                            const unsigned char* scenePicture, int width, int height);

}  // namespace zolvex
