#include "filter/common/PixelRows.h"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "filter/common/CpuDispatch.h"

namespace zolvex {
namespace {

ZOLVEX_ALWAYS_INLINE void SwapLoop(const unsigned char* __restrict s, unsigned char* __restrict d, int w)
{
    for (int x = 0; x < w; ++x) {
        d[3 * x] = s[3 * x + 2];
        d[3 * x + 1] = s[3 * x + 1];
        d[3 * x + 2] = s[3 * x];
    }
}

ZOLVEX_KERNEL_DISPATCH(Swap, (const unsigned char* s, unsigned char* d, int w), (s, d, w), SwapLoop(s, d, w))

// One row of blue-first pixels split into its three channels.
ZOLVEX_ALWAYS_INLINE void SplitLoop(const unsigned char* __restrict s, int w, uint16_t* __restrict b,
                                    uint16_t* __restrict g, uint16_t* __restrict r)
{
    for (int x = 0; x < w; ++x) {
        b[x] = s[3 * x];
        g[x] = s[3 * x + 1];
        r[x] = s[3 * x + 2];
    }
}

// Luma of a split row: the sums stay below 65,536, so 16-bit lanes hold them.
ZOLVEX_ALWAYS_INLINE void LumaLoop(const uint16_t* __restrict b, const uint16_t* __restrict g,
                                   const uint16_t* __restrict r, int w, unsigned char* __restrict y)
{
    for (int x = 0; x < w; ++x)
        y[x] = uint8_t(((66 * r[x] + 129 * g[x] + 25 * b[x] + 128) >> 8) + 16);
}

// Chroma of two split rows, from the sums of each 2 × 2 block; offset so that the
// sums stay positive before the shift.
ZOLVEX_ALWAYS_INLINE void ChromaLoop(const uint16_t* __restrict b0, const uint16_t* __restrict g0,
                                     const uint16_t* __restrict r0, const uint16_t* __restrict b1,
                                     const uint16_t* __restrict g1, const uint16_t* __restrict r1, int w,
                                     unsigned char* __restrict u, unsigned char* __restrict v)
{
    for (int x = 0; x < w / 2; ++x) {
        const int bs = b0[2 * x] + b0[2 * x + 1] + b1[2 * x] + b1[2 * x + 1];
        const int gs = g0[2 * x] + g0[2 * x + 1] + g1[2 * x] + g1[2 * x + 1];
        const int rs = r0[2 * x] + r0[2 * x + 1] + r1[2 * x] + r1[2 * x + 1];
        u[x] = uint8_t((-38 * rs - 74 * gs + 112 * bs + (128 << 10) + 512) >> 10);
        v[x] = uint8_t((112 * rs - 94 * gs - 18 * bs + (128 << 10) + 512) >> 10);
    }
}

// Two picture rows (`top` above `bottom`) into two rows of luma and one of each
// chroma; `t` holds six rows of `w` channel values.
ZOLVEX_ALWAYS_INLINE void YuvPairLoop(const unsigned char* top, const unsigned char* bottom, int w, uint16_t* t,
                                      unsigned char* y0, unsigned char* y1, unsigned char* u, unsigned char* v)
{
    uint16_t *b0 = t, *g0 = t + w, *r0 = t + 2 * w, *b1 = t + 3 * w, *g1 = t + 4 * w, *r1 = t + 5 * w;
    SplitLoop(top, w, b0, g0, r0);
    SplitLoop(bottom, w, b1, g1, r1);
    LumaLoop(b0, g0, r0, w, y0);
    LumaLoop(b1, g1, r1, w, y1);
    ChromaLoop(b0, g0, r0, b1, g1, r1, w, u, v);
}

ZOLVEX_KERNEL_DISPATCH(YuvPair,
                       (const unsigned char* top, const unsigned char* bottom, int w, uint16_t* t, unsigned char* y0,
                        unsigned char* y1, unsigned char* u, unsigned char* v),
                       (top, bottom, w, t, y0, y1, u, v), YuvPairLoop(top, bottom, w, t, y0, y1, u, v))

}  // namespace

void BottomUpBgrToYuv420(const unsigned char* bgr, int width, int height, unsigned char* y, int yStride,
                         unsigned char* u, int uStride, unsigned char* v, int vStride)
{
    const size_t row = size_t(width) * 3;
    std::vector<uint16_t> channels(size_t(width) * 6);
    for (int j = 0; j + 1 < height; j += 2) {
        const unsigned char* top = bgr + size_t(height - 1 - j) * row;
        YuvPair(top, top - row, width, channels.data(), y + ptrdiff_t(j) * yStride, y + ptrdiff_t(j + 1) * yStride,
                u + ptrdiff_t(j / 2) * uStride, v + ptrdiff_t(j / 2) * vStride);
    }
}

void SwapRedBlueRow(const unsigned char* src, unsigned char* dst, int width) { Swap(src, dst, width); }

}  // namespace zolvex
