// Mirror and flip: pixels exchange places with their partner across the middle
// column or row.
#include <vector>

#include "filter/common/CpuDispatch.h"
#include "filter/effects/EffectLoops.h"

using namespace zolvex;

namespace {

inline void CopyColour(uchar* d, const uchar* s)
{
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
}

// A whole row reversed: colours from the mirrored column, alpha from its own.
template <int BPP>
ZOLVEX_ALWAYS_INLINE void MirrorRow(const uchar* __restrict s, uchar* __restrict d, int w)
{
    for (int j = 0; j < w; ++j) {
        const uchar* p = s + (w - 1 - j) * BPP;
        d[j * BPP] = p[0];
        d[j * BPP + 1] = p[1];
        d[j * BPP + 2] = p[2];
        if (BPP == 4)
            d[j * BPP + 3] = s[j * BPP + 3];
    }
}

ZOLVEX_KERNEL_DISPATCH(MirrorRow3, (const uchar* s, uchar* d, int w), (s, d, w), MirrorRow<3>(s, d, w))
ZOLVEX_KERNEL_DISPATCH(MirrorRow4, (const uchar* s, uchar* d, int w), (s, d, w), MirrorRow<4>(s, d, w))

}  // namespace

// A pair exchanges when its left pixel is valid; the right pixel takes the left
// one's colour only when it lies in the region too, so nothing outside changes.
void CfTavEffect::mirror(const unsigned char* src, unsigned char* dst)
{
    if (!HasEffectPixels(*this)) {
        CopyFrame(*this, src, dst);
        return;
    }
    const int w = nWidth, h = nHeight, bpp = nBpp;
    const size_t stride = RowBytes(*this);
    RunRowSlices(h, int64_t(stride), [&](int first, int last) {
        ValidSpans spans(hValidRgn, w, h);
        std::vector<uchar> valid(size_t(w), 0);
        for (int i = first; i < last; ++i) {
            const uchar* s = src + size_t(i) * stride;
            uchar* d = dst + size_t(i) * stride;
            if (spans.Covers(i, w)) {
                (bpp == 3 ? MirrorRow3 : MirrorRow4)(s, d, w);
                continue;
            }
            std::memcpy(d, s, stride);
            ValidMask(spans, i, w, valid.data());
            for (int j = 0; j < w / 2; ++j) {
                if (!valid[size_t(j)])
                    continue;
                const int p = w - 1 - j;
                CopyColour(d + size_t(j) * bpp, s + size_t(p) * bpp);
                if (valid[size_t(p)])
                    CopyColour(d + size_t(p) * bpp, s + size_t(j) * bpp);
            }
        }
    });
}

// Rows i < height / 2 exchange with row height − 1 − i, under the same rule as
// mirror; an odd middle row stays.
void CfTavEffect::flip(const unsigned char* src, unsigned char* dst)
{
    if (!HasEffectPixels(*this)) {
        CopyFrame(*this, src, dst);
        return;
    }
    const int w = nWidth, h = nHeight, bpp = nBpp;
    const size_t stride = RowBytes(*this);
    RunRowSlices((h + 1) / 2, 2 * int64_t(stride), [&](int first, int last) {
        ValidSpans spans(hValidRgn, w, h);
        std::vector<uchar> valid(size_t(w), 0), partnerValid(size_t(w), 0);
        for (int i = first; i < last; ++i) {
            const int p = h - 1 - i;
            const uchar* s = src + size_t(i) * stride;
            const uchar* sp = src + size_t(p) * stride;
            uchar* d = dst + size_t(i) * stride;
            uchar* dp = dst + size_t(p) * stride;
            if (p == i) {
                std::memcpy(d, s, stride);
                continue;
            }
            // Whole rows of 3-byte pixels exchange as they are.
            if (bpp == 3 && spans.Covers(i, w) && spans.Covers(p, w)) {
                std::memcpy(d, sp, stride);
                std::memcpy(dp, s, stride);
                continue;
            }
            std::memcpy(d, s, stride);
            std::memcpy(dp, sp, stride);
            ValidMask(spans, i, w, valid.data());
            ValidMask(spans, p, w, partnerValid.data());
            for (int j = 0; j < w; ++j) {
                if (!valid[size_t(j)])
                    continue;
                CopyColour(d + size_t(j) * bpp, sp + size_t(j) * bpp);
                if (partnerValid[size_t(j)])
                    CopyColour(dp + size_t(j) * bpp, s + size_t(j) * bpp);
            }
        }
    });
}
