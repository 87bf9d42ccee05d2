// CfTavEffect: the frame-effects engine. One object is set up per frame and per
// effect operation: initialise it with the frame size and strength, select an
// effect, and call Effect(src, dst, opr), which writes the result into dst.
//
// Frames are bare blocks of width × height × bpp bytes (bpp 3 or 4), blue-green-
// red(-alpha), bottom-up, without row padding. Every effect is confined to the
// valid region, given in picture coordinates (y down from the top line); memory
// row i meets picture row height − i.
#pragma once

#include <cstdint>

#include "filter/common/TavmArray.h"
#include "filter/timeline/model/EffectOperation.h"
#include "platform/Export.h"
#include "platform/Region.h"
#include "platform/wintypes.h"

typedef struct _cairo cairo_t;
// The device context that DrawRGB32 draws on.
typedef cairo_t* HDC;

class ZVF_API CfTavEffect {
public:
    CfTavEffect();
    ~CfTavEffect();
    CfTavEffect(const CfTavEffect&) = delete;
    CfTavEffect& operator=(const CfTavEffect&) = delete;

    // Stores size, scales, level and bpp; the source size becomes the frame size;
    // makes the whole-frame valid region if there is none; opacity becomes 1.
    void InitEffect(tagSIZE size, float scaleX, float scaleY, int level, int bpp);
    // Source-video size in whose coordinates operation geometry is given. An
    // existing valid region is reset to the whole frame of that size.
    void SetSrcVideoSize(tagSIZE size);
    void SetCurEffectID(int id);
    void SetCurEffectTime(double seconds);
    void SetFadeOpacity(float opacity);
    void SetAniFrameRate(int fps);
    void SetRomanceData(CTavmArray<void*>* data);
    void SetSpecialData(CTavmArray<unsigned char*>* buffers, CTavmArray<tagSIZE>* sizes);
    void SetActTrackData(CTavmArray<void*>* tracks);

    // Updates the valid region from opr (may be null), then applies the selected
    // static effect from src into dst; an unknown id copies src.
    void Effect(const unsigned char* src, unsigned char* dst, tagOPR_EFFECT* opr);
    // Replaces the valid region by the operation's polygon scaled to the frame;
    // keeps it for a null record, a polygon of fewer than 3 points, or no polygon.
    void UpdateValidRgn(const tagOPR_EFFECT* opr);

    // The static effects. src and dst are distinct frames of the object's size.
    // All but Gray copy src into dst first and then rewrite pixels of the valid
    // region; Gray writes only the valid pixels of dst.
    void Brightness(const unsigned char* src, unsigned char* dst, int c);
    void Contrast(const unsigned char* src, unsigned char* dst, int c);
    void Gamma(const unsigned char* src, unsigned char* dst, float g);
    void mirror(const unsigned char* src, unsigned char* dst);
    void flip(const unsigned char* src, unsigned char* dst);
    void posterize(const unsigned char* src, unsigned char* dst);
    void negate(const unsigned char* src, unsigned char* dst);
    void Solarize(const unsigned char* src, unsigned char* dst);
    void Glass(const unsigned char* src, unsigned char* dst);
    void Emboss(const unsigned char* src, unsigned char* dst);
    void Gray(const unsigned char* src, unsigned char* dst);
    void threshold(const unsigned char* src, unsigned char* dst);
    void halftone(const unsigned char* src, unsigned char* dst);
    void splash(const unsigned char* src, unsigned char* dst);
    void RadialBlur(const unsigned char* src, unsigned char* dst);
    // Channel reordering: 0 exchanges blue and green, 1 green and red, 2 blue and
    // red; 3 makes (B, G, R) ← (R, B, G), 4 (B, G, R) ← (G, R, B); others copy.
    void SwapColor(const unsigned char* src, unsigned char* dst, int mode);

    // Further picture effects, confined to the valid region like the static ones; no
    // dispatcher id selects them. Those that sample neighbours read the picture as
    // already rewritten (dst).
    void GaussBlur(const unsigned char* src, unsigned char* dst);
    // direction 0: the window slides left to right; 1: right to left.
    void MotionBlur(const unsigned char* src, unsigned char* dst, int direction);
    void Distord(const unsigned char* src, unsigned char* dst);
    void TileReflection(const unsigned char* src, unsigned char* dst);
    void Noise(const unsigned char* src, unsigned char* dst);
    void Mosaic(const unsigned char* src, unsigned char* dst);
    void Illusion(const unsigned char* src, unsigned char* dst);
    void Frog(const unsigned char* src, unsigned char* dst);
    // Coefficients of Deriche's fourth-order recursive Gaussian for std_dev: the
    // causal (n_p, d_p) and anti-causal (n_m, d_m) numerators and denominators and the
    // edge terms (bd_p, bd_m) that start each pass from the row's end pixels; five each.
    static void find_constants(double* n_p, double* n_m, double* d_p, double* d_m, double* bd_p, double* bd_m,
                               double std_dev);
    // The source point of Distord for pixel (x, memory row y); always true.
    bool calc_undistorted_coord(int x, int y, double& sx, double& sy) const;

    // ---- overlay compositing: 4-byte pictures laid over the frame ----
    // Integer bilinear resampling of src (srcWidth × srcHeight) into dst; all bpp bytes
    // of a pixel are interpolated. reverse = 1 writes 3-byte pixels from the last row
    // upwards with each pixel's bytes reversed.
    static void Stretch_Linear(int bpp, const unsigned char* src, unsigned char* dst, int srcWidth, int srcHeight,
                               int dstWidth, int dstHeight, int reverse);
    static void Track_Stretch_Linear(int bpp, const unsigned char* src, unsigned char* dst, int srcWidth,
                                     int srcHeight, int dstWidth, int dstHeight, int reverse);
    // Lays the overlay (4 bytes per pixel, overlaySize) over frame, scaled by zoomX,
    // zoomY, turned by angle degrees, centred on picture point (x, y), with opacity
    // 0–255; useValidRgn confines it to the valid region.
    void AddRenderPropsBuf(float zoomX, float zoomY, float angle, unsigned char* frame, const unsigned char* overlay,
                           tagSIZE overlaySize, int x, int y, int opacity, int useValidRgn, int flipRows);
    // Mirrored left to right; flipRows reads the box bottom row first.
    void AddV2RenderPropsBuf(float zoomX, float zoomY, float angle, unsigned char* frame, const unsigned char* overlay,
                             tagSIZE overlaySize, int x, int y, int opacity, int useValidRgn, int flipRows);
    // As AddV2RenderPropsBuf, with the overlay's rows reversed first.
    void AddV2TrackRenderPropsBuf(float zoomX, float zoomY, float angle, unsigned char* frame,
                                  const unsigned char* overlay, tagSIZE overlaySize, int x, int y, int opacity,
                                  int useValidRgn, int flipRows);
    // Nearest-neighbour variant for border previews: x is the horizontal centre and y
    // the top line.
    void AddRenderBorderBuf(float zoomX, float zoomY, int angle, unsigned char* frame, const unsigned char* overlay,
                            tagSIZE overlaySize, int x, int y, int opacity, int useValidRgn, int mirror);

    // ---- animation effect playback ----
    // Defined in filter/animation/, next to the effect records they read: the timeline only calls them.
    // Sets up the instances of op from an animation effect record of the given
    // version ("AMRF_1001" or "AMRF_2001"); a null record is looked up by guid in the
    // SetRomanceData list. Does nothing when op is already set up.
    void InitSpecial(GUID guid, tagOPR_EFFECT* op, const char* version, void* record);
    // Advances op's instances by one output frame and draws them onto dst (src is
    // the frame before drawing, not read). A null record is looked up by op's GUID.
    void Special_Effect(tagOPR_EFFECT* op, const unsigned char* src, unsigned char* dst, const char* version,
                        void* record);
    // Frees op's per-instance state and its polygon; op is then not set up.
    static void ReleaseOprSpecialData(tagOPR_EFFECT* op);

    int GetWidth() const { return nWidth; }
    int GetHeight() const { return nHeight; }
    // Address of pixel (x, y) in memory-row coordinates; no bounds check.
    unsigned char* GetBits(unsigned char* buffer, int x, int y) const;
    const unsigned char* GetBits(const unsigned char* buffer, int x, int y) const;
    // Copies 1 to 4 bytes; any other bpp copies nothing.
    static void CopyPixel(unsigned char* dst, const unsigned char* src, int bpp)
    {
        switch (bpp) {
        case 4: dst[3] = src[3]; [[fallthrough]];
        case 3: dst[2] = src[2]; [[fallthrough]];
        case 2: dst[1] = src[1]; [[fallthrough]];
        case 1: dst[0] = src[0]; break;
        default: break;
        }
    }
    // Whether the picture-coordinate point lies in the valid region.
    bool IsPixelValid(int x, int y) const;
    // Shows a 4-byte-per-pixel buffer, read top-down, stretched into rect.
    // Returns 1, or 0 when there is nothing to draw with or on.
    int DrawRGB32(const unsigned char* buffer, tagSIZE size, tagRECT rect, HDC dc);

    // Fields, in declaration order.
    CTavmArray<void*>* pRomanceData = nullptr;          // animation library data; not owned
    CTavmArray<void*>* pActTrackData = nullptr;         // actor track data; not owned
    CTavmArray<unsigned char*>* pSpecialBuffers = nullptr;  // sprite pictures; not owned
    CTavmArray<tagSIZE>* pSpecialSizes = nullptr;       // sprite sizes; not owned
    int32_t nWidth = 0, nHeight = 0;  // frame size in pixels
    int32_t nBpp = 0;                 // bytes per pixel of every buffer passed in
    int32_t nCurEffectID = 0;
    HRGN hValidRgn = nullptr;         // where effects apply; owned
    float fScaleX = 0.0f, fScaleY = 0.0f;  // frame size relative to a 720-pixel-wide canvas
    int32_t nLevel = 0;               // effect strength 0–100
    double dCurEffectTime = 0.0;      // seconds since the operation started
    int32_t nSrcWidth = 0, nSrcHeight = 0;
    int32_t nAniFrameRate = 0;        // frames per second of animation playback
    float fFadeOpacity = 0.0f;        // 0.0–1.0 opacity of the operation

private:
    void ReplaceValidRgn(HRGN rgn);
};

// The selectable static effects, in id order, as the studio lists them.
ZVF_API int GetStaticEffectCount();
// Name of a static effect id ("Adjust Brightness" …), or null for an unknown id.
ZVF_API const char* GetStaticEffectName(int id);
