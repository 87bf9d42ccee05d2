// Shapes of one picture growing over the other.
// (Placeholder: every transition here cuts to the second picture for now.)
#include "filter/transitions/TransitionKit.h"

using namespace zolvex::transition;

void CfTavTransition::CrossInOut(const uchar* a, const uchar* b, uchar* o, int out)
{
    (void)out;
    Pictures p;
    if (Prepare(*this, a, b, o, p))
        std::memcpy(o, b, p.Bytes());
}

void CfTavTransition::UpperLeftRectangle(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (Prepare(*this, a, b, o, p))
        std::memcpy(o, b, p.Bytes());
}

void CfTavTransition::UpperRightRectangle(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (Prepare(*this, a, b, o, p))
        std::memcpy(o, b, p.Bytes());
}

void CfTavTransition::Rectangle(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (Prepare(*this, a, b, o, p))
        std::memcpy(o, b, p.Bytes());
}

void CfTavTransition::MiniRectangle(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (Prepare(*this, a, b, o, p))
        std::memcpy(o, b, p.Bytes());
}

void CfTavTransition::Ellipse(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (Prepare(*this, a, b, o, p))
        std::memcpy(o, b, p.Bytes());
}

void CfTavTransition::MiniEllipse(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (Prepare(*this, a, b, o, p))
        std::memcpy(o, b, p.Bytes());
}
