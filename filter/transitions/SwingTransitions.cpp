// The first picture folding away like a door.
// (Placeholder: every transition here cuts to the second picture for now.)
#include "filter/transitions/TransitionKit.h"

using namespace zolvex::transition;

void CfTavTransition::SwingSideLeftRight(const uchar* a, const uchar* b, uchar* o, int mode)
{
    (void)mode;
    Pictures p;
    if (Prepare(*this, a, b, o, p))
        std::memcpy(o, b, p.Bytes());
}

void CfTavTransition::SwingSideTopBottom(const uchar* a, const uchar* b, uchar* o, int mode)
{
    (void)mode;
    Pictures p;
    if (Prepare(*this, a, b, o, p))
        std::memcpy(o, b, p.Bytes());
}
