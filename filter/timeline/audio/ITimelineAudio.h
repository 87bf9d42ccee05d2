// What the control interface asks of the audio mixer (made anew whenever the audio
// stream agrees a new channel count).
#pragma once

#include "filter/common/RenderGate.h"
#include "filter/timeline/model/TimelineLists.h"

namespace zolvex {

class ITimelineAudio {
public:
    virtual ~ITimelineAudio() = default;
    // Clears the open flags of scenes and music tracks and sizes the channel buffers.
    virtual void SetTimeline(const TimelineLists& lists) = 0;
    virtual void SetMusicVolume(int percent) = 0;
    virtual void SetChannels(int channels) = 0;
    virtual void SetMode(int mode) = 0;
    virtual RenderGate& Gate() = 0;
};

}  // namespace zolvex
