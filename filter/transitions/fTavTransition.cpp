#include "filter/transitions/fTavTransition.h"

#include "filter/transitions/TransitionKit.h"

using namespace zolvex::transition;

namespace {

struct TransitionEntry {
    int id;
    const char* name;
    void (*render)(CfTavTransition& t, const uchar* a, const uchar* b, uchar* o);
};

// The studio shows these names and passes list index + 1 as the id.
const TransitionEntry kTransitions[] = {
    {1, "Fade", [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.Fade(a, b, o); }},
    {2, "Fade/Zoom In", [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.FadeZoomIn(a, b, o); }},
    {3, "Fade/Zoom Out", [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.FadeZoomOut(a, b, o); }},
    {4, "Erase From Left", [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.Erase(a, b, o, 0); }},
    {5, "Erase From Right", [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.Erase(a, b, o, 1); }},
    {6, "Erase From Top", [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.Erase(a, b, o, 2); }},
    {7, "Erase From Bottom", [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.Erase(a, b, o, 3); }},
    {8, "Cross In", [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.CrossInOut(a, b, o, 0); }},
    {9, "Cross Out", [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.CrossInOut(a, b, o, 1); }},
    {10, "Upper Left Rectangle",
     [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.UpperLeftRectangle(a, b, o); }},
    {11, "Upper Right Rectangle",
     [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.UpperRightRectangle(a, b, o); }},
    {12, "Rectangle", [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.Rectangle(a, b, o); }},
    {13, "Mini Rectangle", [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.MiniRectangle(a, b, o); }},
    {14, "Ellipse", [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.Ellipse(a, b, o); }},
    {15, "Mini Ellipse", [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.MiniEllipse(a, b, o); }},
    {16, "Swing Side Left Out",
     [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.SwingSideLeftRight(a, b, o, 0); }},
    {17, "Swing Side Right Out",
     [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.SwingSideLeftRight(a, b, o, 1); }},
    {18, "Swing Side Top Out",
     [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.SwingSideTopBottom(a, b, o, 0); }},
    {19, "Swing Side Bottom Out",
     [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.SwingSideTopBottom(a, b, o, 1); }},
    {20, "Change Left To Right",
     [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.ChangeLeftToRight(a, b, o); }},
    {21, "Change Right To Left",
     [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.ChangeRightToLeft(a, b, o); }},
    {22, "Side Top To Bottom", [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.SideTopToBottom(a, b, o); }},
    {23, "Side Bottom To Top", [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.SideBottomToTop(a, b, o); }},
    {24, "Center Slip In", [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.CenterSlipIn(a, b, o); }},
    {25, "Center Slip Out", [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.CenterSlipOut(a, b, o); }},
    // The studio lists the outward spin first.
    {26, "Rotate Out", [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.RotateIn(a, b, o); }},
    {27, "Rotate In", [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.RotateOut(a, b, o); }},
    {28, "Clock", [](CfTavTransition& t, const uchar* a, const uchar* b, uchar* o) { t.Clock(a, b, o); }},
};

constexpr int kCount = int(sizeof(kTransitions) / sizeof(kTransitions[0]));

const TransitionEntry* Find(int id)
{
    return id >= 1 && id <= kCount ? &kTransitions[id - 1] : nullptr;
}

}  // namespace

CfTavTransition::CfTavTransition() = default;

void CfTavTransition::InitTransfer(tagSIZE size, int bpp, double duration)
{
    nWidth = size.cx;
    nHeight = size.cy;
    nBpp = bpp;
    dDuration = duration;
}

void CfTavTransition::SetCurTransferID(int id) { nTransferID = id; }
void CfTavTransition::SetCurTransferTime(double time) { dCurTime = time; }

void CfTavTransition::Transfer(const unsigned char* first, const unsigned char* second, unsigned char* out)
{
    if (const TransitionEntry* entry = Find(nTransferID)) {
        entry->render(*this, first, second, out);
        return;
    }
    Pictures p;
    if (Prepare(*this, first, second, out, p))
        std::memcpy(out, second, p.Bytes());
}

int GetTransitionCount()
{
    return kCount;
}

const char* GetTransitionName(int id)
{
    const TransitionEntry* entry = Find(id);
    return entry ? entry->name : nullptr;
}
