// Text titles (OBJ_TEXT) in the overlay pass: eight animation styles, a soft shadow,
// fonts from the title's LOGFONTA.
#pragma once

#include "filter/common/CompositionSurface.h"
#include "filter/timeline/model/TimelineRecords.h"
#include "platform/Export.h"

namespace zolvex {

struct TitleFrame {
    int width = 0, height = 0;                    // output frame
    int referenceWidth = 0, referenceHeight = 0;  // the frame positions are designed in
};

// Draws the title onto the surface as it looks at timeline time t.
ZVF_API void DrawTitle(CompositionSurface& surface, const TextOp& op, double t, const TitleFrame& frame);

}  // namespace zolvex
