// (Placeholder.)
#include "filter/timeline/ScenePicture.h"

#include <cstring>

namespace zolvex {

bool LoadScenePicture(const char*, int width, int height, int, int, unsigned char* frame)
{
    if (frame && width > 0 && height > 0)
        std::memset(frame, 0, size_t(width) * size_t(height) * 3);
    return false;
}

}  // namespace zolvex
