// Pictures that zoom, shrink and spin.
// (Placeholder: every transition here cuts to the second picture for now.)
#include "filter/transitions/TransitionKit.h"

using namespace zolvex::transition;

void CfTavTransition::FadeZoomIn(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (Prepare(*this, a, b, o, p))
        std::memcpy(o, b, p.Bytes());
}

void CfTavTransition::FadeZoomOut(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (Prepare(*this, a, b, o, p))
        std::memcpy(o, b, p.Bytes());
}

void CfTavTransition::CenterSlipIn(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (Prepare(*this, a, b, o, p))
        std::memcpy(o, b, p.Bytes());
}

void CfTavTransition::CenterSlipOut(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (Prepare(*this, a, b, o, p))
        std::memcpy(o, b, p.Bytes());
}

void CfTavTransition::RotateIn(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (Prepare(*this, a, b, o, p))
        std::memcpy(o, b, p.Bytes());
}

void CfTavTransition::RotateOut(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (Prepare(*this, a, b, o, p))
        std::memcpy(o, b, p.Bytes());
}
