// The filmstrip of an animation effect. (Arrives with animation playback.)
#include "tools/zolvex-gallery/Sheet.h"

namespace gallery {

bool AnimationSheet(const std::string&)
{
    return true;
}

}  // namespace gallery
