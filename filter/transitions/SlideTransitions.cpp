// Pictures that push each other across the frame.
// (Placeholder: every transition here cuts to the second picture for now.)
#include "filter/transitions/TransitionKit.h"

using namespace zolvex::transition;

void CfTavTransition::ChangeLeftToRight(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (Prepare(*this, a, b, o, p))
        std::memcpy(o, b, p.Bytes());
}

void CfTavTransition::ChangeRightToLeft(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (Prepare(*this, a, b, o, p))
        std::memcpy(o, b, p.Bytes());
}

void CfTavTransition::SideTopToBottom(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (Prepare(*this, a, b, o, p))
        std::memcpy(o, b, p.Bytes());
}

void CfTavTransition::SideBottomToTop(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (Prepare(*this, a, b, o, p))
        std::memcpy(o, b, p.Bytes());
}
