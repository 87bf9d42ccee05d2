// CfTavTransition: blends two pictures of equal size into a third according to a
// transition id and the time elapsed within the transition. The first picture is
// the one shown at the start, the second the one shown at the end.
//
// Pictures follow the frame conventions: width × height × bpp bytes (bpp 3 or 4),
// blue-green-red(-alpha), bottom-up (memory row 0 is the bottom line), no padding.
#pragma once

#include <cstdint>

#include "platform/Export.h"
#include "platform/wintypes.h"

class ZVF_API CfTavTransition {
public:
    CfTavTransition();

    void InitTransfer(tagSIZE size, int bpp, double duration);
    // 1–28 select a transition; any other id cuts to the second picture.
    void SetCurTransferID(int id);
    // Time elapsed since the transition started, in the unit of the duration.
    void SetCurTransferTime(double time);
    // Renders one picture into out. first, second and out are distinct buffers of
    // the object's size; first and second are only read.
    void Transfer(const unsigned char* first, const unsigned char* second, unsigned char* out);

    int GetWidth() const { return nWidth; }
    int GetHeight() const { return nHeight; }
    // The constant size of the studio's transition list.
    int GetCount() const { return 30; }

    // The transitions, each from first (a) and second (b) into out (o).
    void Fade(const unsigned char* a, const unsigned char* b, unsigned char* o);
    void FadeZoomIn(const unsigned char* a, const unsigned char* b, unsigned char* o);
    void FadeZoomOut(const unsigned char* a, const unsigned char* b, unsigned char* o);
    // direction 0 from the left, 1 from the right, 2 from the top, 3 from the bottom.
    void Erase(const unsigned char* a, const unsigned char* b, unsigned char* o, int direction);
    // out 0: Cross In, 1: Cross Out.
    void CrossInOut(const unsigned char* a, const unsigned char* b, unsigned char* o, int out);
    void UpperLeftRectangle(const unsigned char* a, const unsigned char* b, unsigned char* o);
    void UpperRightRectangle(const unsigned char* a, const unsigned char* b, unsigned char* o);
    void Rectangle(const unsigned char* a, const unsigned char* b, unsigned char* o);
    void MiniRectangle(const unsigned char* a, const unsigned char* b, unsigned char* o);
    void Ellipse(const unsigned char* a, const unsigned char* b, unsigned char* o);
    void MiniEllipse(const unsigned char* a, const unsigned char* b, unsigned char* o);
    // mode 0 hinged on the left edge, 1 on the right.
    void SwingSideLeftRight(const unsigned char* a, const unsigned char* b, unsigned char* o, int mode);
    // mode 0 hinged on the top edge, 1 on the bottom.
    void SwingSideTopBottom(const unsigned char* a, const unsigned char* b, unsigned char* o, int mode);
    void ChangeLeftToRight(const unsigned char* a, const unsigned char* b, unsigned char* o);
    void ChangeRightToLeft(const unsigned char* a, const unsigned char* b, unsigned char* o);
    void SideTopToBottom(const unsigned char* a, const unsigned char* b, unsigned char* o);
    void SideBottomToTop(const unsigned char* a, const unsigned char* b, unsigned char* o);
    void CenterSlipIn(const unsigned char* a, const unsigned char* b, unsigned char* o);
    void CenterSlipOut(const unsigned char* a, const unsigned char* b, unsigned char* o);
    void RotateIn(const unsigned char* a, const unsigned char* b, unsigned char* o);
    void RotateOut(const unsigned char* a, const unsigned char* b, unsigned char* o);
    void Clock(const unsigned char* a, const unsigned char* b, unsigned char* o);

    // Fields, in declaration order.
    int32_t nTransferID = 0;          // selected transition, 1–28 (others: cut)
    int32_t nWidth = 0, nHeight = 0;  // picture size
    int32_t nBpp = 0;                 // bytes per pixel, 3 or 4
    double dDuration = 0.0;           // length of the transition
    double dCurTime = 0.0;            // time elapsed since it started
};

// The transitions in id order (ids 1 … GetTransitionCount()), as the studio lists them.
ZVF_API int GetTransitionCount();
// Name of a transition id ("Fade", "Fade/Zoom In" …), or null outside 1 … 28.
ZVF_API const char* GetTransitionName(int id);
