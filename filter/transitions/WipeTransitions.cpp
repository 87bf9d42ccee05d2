// Fade, erase and clock wipes.
// (Placeholder: every transition here cuts to the second picture for now.)
#include "filter/transitions/TransitionKit.h"

using namespace zolvex::transition;

void CfTavTransition::Fade(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (Prepare(*this, a, b, o, p))
        std::memcpy(o, b, p.Bytes());
}

void CfTavTransition::Erase(const uchar* a, const uchar* b, uchar* o, int direction)
{
    (void)direction;
    Pictures p;
    if (Prepare(*this, a, b, o, p))
        std::memcpy(o, b, p.Bytes());
}

void CfTavTransition::Clock(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (Prepare(*this, a, b, o, p))
        std::memcpy(o, b, p.Bytes());
}
