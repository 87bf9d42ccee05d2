// CfTavTextTransfer: lays a text picture from CfTavTextBuffer over a video frame at
// a position, zoom, angle and opacity that follow the time within the title's
// display interval. Set up per frame:
//
//   SetSrcVideoSize → InitTransfer → SetCurTransferID → SetCurTransferTime → Transfer
//
// Frames are bare blocks of width × height × bpp bytes (bpp 3 or 4), blue-green-
// red(-alpha), bottom-up, without row padding; the text picture is 4 bytes per pixel
// with alpha, bottom-up. Pixels outside the frame are skipped; nothing is reported.
#pragma once

#include <cstdint>

#include "platform/Export.h"
#include "platform/wintypes.h"

// One text operation, zero-filled by its producer.
struct tagOPR_TEXT {
    char szText[1000];     // NUL-terminated; UTF-8 here
    int32_t nReserved0;    // not read
    double dStartTime;     // display interval on the timeline, seconds; the caller
    double dEndTime;       // passes their difference as the duration
    LOGFONTA lfFont;
    COLORREF crColor;      // text colour
    COLORREF crBackColor;
    int32_t nReserved1;    // copied, not used
    int32_t nPosX, nPosY;  // top-left of the text in source-video pixels
    int32_t nReserved2;    // copied, not used
    int32_t nOpacity;      // 0–255
};

// Text animation ids; any other id draws the text still (DefaultTransfer).
enum TextTransferId {
    TEXT_FADE_IN = 1,
    TEXT_FLASH = 2,
    TEXT_SCROLL_BAND = 3,
    TEXT_ROTATE_IN = 4,
    TEXT_ZOOM_IN = 5,
};

class ZVF_API CfTavTextTransfer {
public:
    CfTavTextTransfer();

    // Source-video size, in which the record's position is given; before InitTransfer.
    // Without one the position is taken in frame pixels.
    void SetSrcVideoSize(tagSIZE size) { sizeSrcVideo = size; }
    // Takes the text picture's and the frame's size, the frame's bytes per pixel, the
    // display interval's length, colours, position (scaled to the frame) and opacity
    // of the record, and the base zoom. A null record draws nothing.
    void InitTransfer(tagSIZE textSize, tagSIZE frameSize, int bpp, double duration, const tagOPR_TEXT* record,
                      float zoomX, float zoomY);
    void SetCurTransferID(int id) { nTransferID = id; }
    // Seconds since the display interval started.
    void SetCurTransferTime(double time) { dCurTime = time; }

    // Draws the text picture into the frame with the selected animation; size is not
    // used (the text picture has the size given to InitTransfer).
    void Transfer(unsigned char* frame, const unsigned char* text, tagSIZE size);
    // The animations, one per id. In and out phases of dFadeTime seconds scale the
    // animated quantity by k = t / F, then 1, then (T − t) / F.
    void DefaultTransfer(unsigned char* frame, const unsigned char* text, tagSIZE size);
    void FadeIn(unsigned char* frame, const unsigned char* text, tagSIZE size);      // opacity × k
    void Flash(unsigned char* frame, const unsigned char* text, tagSIZE size);       // hidden, shown, every 0.5 s
    void ScrollBand(unsigned char* frame, const unsigned char* text, tagSIZE size);  // right to left every 10 s
    void RotateIn(unsigned char* frame, const unsigned char* text, tagSIZE size);    // zoom × k, 180° × k
    void ZoomIn(unsigned char* frame, const unsigned char* text, tagSIZE size);      // zoom × k

    // Lays the text picture (textWidth × textHeight) over the frame scaled by zoomX
    // (rows stretched by zoomY / zoomX), turned by angle degrees, with its box's top-
    // left near picture point (x, y) and opacity 0–255. At angle 180, mirror 1 keeps
    // the text upright and unmirrored.
    void AddRenderPropsBuf(float zoomX, float zoomY, float angle, unsigned char* frame, const unsigned char* text,
                           int textWidth, int textHeight, int x, int y, int opacity, int mirror);
    // The integer bilinear stretch of CfTavEffect::Stretch_Linear.
    static void Stretch_Linear(int bpp, const unsigned char* src, unsigned char* dst, int srcWidth, int srcHeight,
                               int dstWidth, int dstHeight, int reverse);

    // Fields, in declaration order.
    int32_t nTransferID = 0;
    tagSIZE sizeText{};           // size of the text picture
    int32_t nBpp = 0;             // bytes per pixel of the frame
    double dDuration = 0.0;       // display interval length, seconds
    double dCurTime = 0.0;        // time since the interval started
    COLORREF crBackColor = 0;
    int32_t nReserved1 = 0;
    COLORREF crColor = 0;
    int32_t nReserved2 = 0;
    double dFadeTime = 2.0;       // length of the in and out phases, seconds
    float fReserved = 0.62f;      // not used
    tagSIZE sizeSrcVideo{};
    tagSIZE sizePicture{};        // same as sizeText
    tagSIZE sizeFrame{};
    int32_t nX = 0, nY = 0;       // top-left of the text in frame pixels
    int32_t nOpacity = 0;         // 0–255
    float fZoomX = 0.0f, fZoomY = 0.0f;  // base zoom

private:
    // k of the in, middle and out phases at the current time.
    double PhaseFactor() const;
};

// The animations in id order as the studio names them ("Fade in/out" …): ids 1 to
// GetTextTransferCount(); null for any other id.
ZVF_API int GetTextTransferCount();
ZVF_API const char* GetTextTransferName(int id);
