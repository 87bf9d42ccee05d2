// What the control interface asks of the frame producer. A small interface, so that
// the control logic stands on its own and the producer can be replaced (it is made
// anew whenever the video stream agrees a new frame size).
#pragma once

#include "filter/common/RenderGate.h"
#include "filter/timeline/model/TimelineLists.h"

namespace zolvex {

class ITimelineVideo {
public:
    virtual ~ITimelineVideo() = default;
    // Stores the lists, resets the scene state and the per-object caches, prepares
    // the animation effects.
    virtual void SetTimeline(const TimelineLists& lists, double dTransition) = 0;
    // Rebuilds the drawing surfaces at the new size.
    virtual void SetFrameSize(int width, int height) = 0;
    virtual void SetSrcVideoSize(int width, int height) = 0;
    virtual void SetDisplayAspect(int numerator, int denominator) = 0;
    virtual void SetAniFrameRate(int fps) = 0;
    virtual void SetSideLists(const SideLists& lists) = 0;
    virtual void SetMode(int mode) = 0;
    virtual RenderGate& Gate() = 0;
};

}  // namespace zolvex
