// The sheet of the animated titles. (Arrives with the text engine.)
#include "tools/zolvex-gallery/Sheet.h"

namespace gallery {

bool TitleSheet(const std::string&)
{
    return true;
}

}  // namespace gallery
