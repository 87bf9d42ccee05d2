#include "filter/effects/fTavEffect.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "filter/effects/StaticEffectTable.h"

CfTavEffect::CfTavEffect() = default;

CfTavEffect::~CfTavEffect()
{
    DeleteObject(hValidRgn);
    hValidRgn = nullptr;
    pActTrackData = nullptr;
    pSpecialBuffers = nullptr;
    pSpecialSizes = nullptr;
}

void CfTavEffect::ReplaceValidRgn(HRGN rgn)
{
    DeleteObject(hValidRgn);
    hValidRgn = rgn;
}

// The whole-frame region reaches five pixels beyond every edge.
static HRGN WholeFrameRgn(int width, int height)
{
    return CreateRectRgn(-5, -5, width + 10, height + 10);
}

void CfTavEffect::InitEffect(tagSIZE size, float scaleX, float scaleY, int level, int bpp)
{
    nWidth = size.cx;
    nHeight = size.cy;
    fScaleX = scaleX;
    fScaleY = scaleY;
    nLevel = level;
    nBpp = bpp;
    nSrcWidth = size.cx;
    nSrcHeight = size.cy;
    if (!hValidRgn)
        hValidRgn = WholeFrameRgn(size.cx, size.cy);
    fFadeOpacity = 1.0f;
}

void CfTavEffect::SetSrcVideoSize(tagSIZE size)
{
    nSrcWidth = size.cx;
    nSrcHeight = size.cy;
    if (hValidRgn)
        ReplaceValidRgn(WholeFrameRgn(size.cx, size.cy));
}

void CfTavEffect::SetCurEffectID(int id) { nCurEffectID = id; }
void CfTavEffect::SetCurEffectTime(double seconds) { dCurEffectTime = seconds; }
void CfTavEffect::SetFadeOpacity(float opacity) { fFadeOpacity = opacity; }
void CfTavEffect::SetAniFrameRate(int fps) { nAniFrameRate = fps; }
void CfTavEffect::SetRomanceData(CTavmArray<void*>* data) { pRomanceData = data; }
void CfTavEffect::SetActTrackData(CTavmArray<void*>* tracks) { pActTrackData = tracks; }

void CfTavEffect::SetSpecialData(CTavmArray<unsigned char*>* buffers, CTavmArray<tagSIZE>* sizes)
{
    pSpecialBuffers = buffers;
    pSpecialSizes = sizes;
}

// Scales one polygon coordinate from source-video to frame pixels, multiplying
// first; 64-bit so that large coordinates cannot overflow.
static LONG ScaleCoord(LONG v, int32_t frame, int32_t source)
{
    const int64_t scaled = int64_t(v) * frame / source;
    return static_cast<LONG>(std::min<int64_t>(std::max<int64_t>(scaled, INT32_MIN), INT32_MAX));
}

void CfTavEffect::UpdateValidRgn(const tagOPR_EFFECT* opr)
{
    if (!opr)
        return;
    CTavmArray<tagSIZE>* polygon = opr->pValidPolygon;
    if (!polygon) {
        if (!hValidRgn)
            hValidRgn = WholeFrameRgn(nWidth, nHeight);
        return;
    }
    const int n = polygon->GetSize();
    // Without a source size there is nothing to scale from; keep the region.
    if (n < 3 || nSrcWidth == 0 || nSrcHeight == 0)
        return;
    std::vector<tagPOINT> points(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
        const tagSIZE p = polygon->GetAt(uint32_t(k));
        points[size_t(k)].x = ScaleCoord(p.cx, nWidth, nSrcWidth);
        points[size_t(k)].y = ScaleCoord(p.cy, nHeight, nSrcHeight);
    }
    ReplaceValidRgn(CreatePolygonRgn(points.data(), n, ALTERNATE));
}

void CfTavEffect::Effect(const unsigned char* src, unsigned char* dst, tagOPR_EFFECT* opr)
{
    UpdateValidRgn(opr);
    if (const zolvex::StaticEffectEntry* entry = zolvex::FindStaticEffect(nCurEffectID))
        entry->apply(*this, src, dst);
    else
        std::memcpy(dst, src, zolvex::FrameBytes(*this));
}

unsigned char* CfTavEffect::GetBits(unsigned char* buffer, int x, int y) const
{
    return buffer + (ptrdiff_t(x) + ptrdiff_t(y) * nWidth) * nBpp;
}

const unsigned char* CfTavEffect::GetBits(const unsigned char* buffer, int x, int y) const
{
    return buffer + (ptrdiff_t(x) + ptrdiff_t(y) * nWidth) * nBpp;
}

bool CfTavEffect::IsPixelValid(int x, int y) const
{
    return PtInRegion(hValidRgn, x, y) != FALSE;
}

int GetStaticEffectCount()
{
    return zolvex::StaticEffectCount();
}

const char* GetStaticEffectName(int id)
{
    const zolvex::StaticEffectEntry* entry = zolvex::FindStaticEffect(id);
    return entry ? entry->name : nullptr;
}
