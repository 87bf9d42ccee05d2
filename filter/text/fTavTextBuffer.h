// CfTavTextBuffer: turns a text, a GDI font description and a colour into a picture
// whose alpha byte marks the glyph pixels, ready to be laid over frames by
// CfTavTextTransfer.
//
//   construct → SetText → SetColor → SetFont → SetBackColor → InitBuf (measures and
//   makes the picture) → GetTextBuffer or GetTextBufferGdip → copy the
//   GetTextWidth() × GetTextHeight() × 4 bytes out → destruct
//
// The picture is nTextWidth × nTextHeight pixels of 4 bytes, blue-green-red-alpha,
// bottom-up (memory row 0 is the bottom line), without row padding. It belongs to the
// object and stays valid until the next InitBuf, rendering call or the destructor.
// The text is UTF-8 and may hold line breaks; the font goes through the mapping of
// FontMapping.h. One object per thread.
#pragma once

#include <cstdint>

#include "platform/Export.h"
#include "platform/wintypes.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

class ZVF_API CfTavTextBuffer {
public:
    CfTavTextBuffer();
    ~CfTavTextBuffer();
    CfTavTextBuffer(const CfTavTextBuffer&) = delete;
    CfTavTextBuffer& operator=(const CfTavTextBuffer&) = delete;

    // Keeps the pointer (not the text); null counts as an empty text.
    void SetText(const char* text) { pText = text; }
    void SetFont(LOGFONTA font) { lfFont = font; }
    void SetColor(COLORREF rgb) { crColor = rgb; }
    // Kept only until the next rendering call, which picks its own background.
    void SetBackColor(COLORREF rgb) { crBackColor = rgb; }
    void SetPixelSize(int bpp) { nPixelSize = bpp; }

    // Measures the text and makes the picture for it, replacing an earlier one.
    // 1 on success; 0 for an empty text, a picture larger than 32767 pixels a side or
    // 2^24 pixels in all, or when memory runs out (there is then no picture).
    int InitBuf();
    // Size of the text as it would be laid out now: the longest line, and all lines
    // (0 when it cannot be measured).
    int GetTextWidth();
    int GetTextHeight();

    // Draws the text centred line by line without anti-aliasing on a background
    // chosen against the text colour; alpha is 255 exactly where a pixel has the text
    // colour. Returns the picture, or null without one (InitBuf failed or not run).
    unsigned char* GetTextBuffer();
    // Draws the text left-aligned at three quarters of lfHeight, anti-aliased, over a
    // three-step drop shadow; alpha is 0 only where a pixel keeps the background.
    unsigned char* GetTextBufferGdip();

    // Fields, in declaration order. The memory device context and DIB section of the
    // Windows design are a Cairo context on a Cairo image surface here.
    void* hOldBitmap = nullptr;                // nothing is selected out: always null
    cairo_surface_t* hDibSection = nullptr;    // the surface drawn on; owned
    unsigned char* pBits = nullptr;            // the picture: the surface's pixels
    cairo_t* hMemDC = nullptr;                 // context on the surface; owned
    int32_t nTextWidth = 0, nTextHeight = 0;   // picture size, measured by InitBuf
    const char* pText = "";                    // not owned
    int32_t nPixelSize = 3;                    // bytes-per-pixel hint, not read
    LOGFONTA lfFont{};
    COLORREF crColor = 0x00FFFFFF;
    COLORREF crBackColor = 0;                  // background of the last rendering call

private:
    void FreePicture();
};
