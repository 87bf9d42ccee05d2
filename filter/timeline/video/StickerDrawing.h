// Animated pictures (OBJ_PICTURE) in the overlay pass.
#pragma once

#include "filter/common/CompositionSurface.h"
#include "filter/timeline/model/TimelineRecords.h"
#include "platform/Export.h"

namespace zolvex {

// Advances the animated picture of op to timeline time t and draws its current frame
// into op.rcDest. lastFrameTime is the renderer's time of its previous frame (set
// back to t when playback restarted); mode 0 preview, 1 encode.
ZVF_API void DrawSticker(CompositionSurface& surface, StickerOp& op, double t, double& lastFrameTime, int mode);

}  // namespace zolvex
