// Per-channel and per-pixel colour effects: brightness, contrast, gamma, posterize,
// negate, solarize, gray, threshold, halftone and the channel swapper.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "filter/common/CpuDispatch.h"
#include "filter/effects/EffectLoops.h"

using namespace zolvex;

namespace {

typedef uint8_t Lut[256];

uint8_t ClampByte(int64_t v)
{
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// ---- channel tables ----------------------------------------------------------------
// Each channel rule is evaluated once per possible byte value, so a table lookup
// gives exactly the rule's result. Runs of 3-byte pixels are contiguous bytes that
// all go through the table; they are looked up two bytes at a time in a table of
// byte pairs, kept per thread while the same rule is asked for again (the renderer
// applies one operation to frame after frame).
struct PairTable {
    Lut key;
    bool ready = false;
    std::vector<uint16_t> pairs;
};

const uint16_t* PairsFor(const Lut& lut)
{
    thread_local PairTable table;
    if (table.ready && std::memcmp(table.key, lut, sizeof(Lut)) == 0)
        return table.pairs.data();
    table.pairs.resize(65536);
    for (int hi = 0; hi < 256; ++hi) {
        uint16_t* row = table.pairs.data() + hi * 256;
        const uint16_t high = uint16_t(lut[hi] << 8);
        for (int lo = 0; lo < 256; ++lo)
            row[lo] = uint16_t(high | lut[lo]);
    }
    std::memcpy(table.key, lut, sizeof(Lut));
    table.ready = true;
    return table.pairs.data();
}

void MapBytes(const uchar* s, uchar* d, size_t bytes, const uint16_t* pairs, const Lut& lut)
{
    size_t k = 0;
    for (; k + 8 <= bytes; k += 8) {
        uint64_t v;
        std::memcpy(&v, s + k, 8);
        const uint64_t out = uint64_t(pairs[v & 0xFFFF]) | (uint64_t(pairs[(v >> 16) & 0xFFFF]) << 16) |
                             (uint64_t(pairs[(v >> 32) & 0xFFFF]) << 32) | (uint64_t(pairs[v >> 48]) << 48);
        std::memcpy(d + k, &out, 8);
    }
    for (; k < bytes; ++k)
        d[k] = lut[s[k]];
}

// Maps bytes 0–2 of every valid pixel through lut; other pixels are copied.
void ApplyChannelLut(const CfTavEffect& fx, const uchar* src, uchar* dst, const Lut& lut)
{
    if (!HasEffectPixels(fx)) {
        CopyFrame(fx, src, dst);
        return;
    }
    if (fx.nBpp == 3) {
        const uint16_t* pairs = PairsFor(lut);
        RewriteValidRuns(fx, src, dst, false, [&](int, const uchar* s, uchar* d, int a, int b) {
            MapBytes(s + size_t(a) * 3, d + size_t(a) * 3, size_t(b - a) * 3, pairs, lut);
        });
    } else {
        RewriteValidRuns(fx, src, dst, false, [&](int, const uchar* s, uchar* d, int a, int b) {
            for (size_t k = size_t(a) * 4, end = size_t(b) * 4; k < end; k += 4) {
                d[k] = lut[s[k]];
                d[k + 1] = lut[s[k + 1]];
                d[k + 2] = lut[s[k + 2]];
                d[k + 3] = s[k + 3];
            }
        });
    }
}

// ---- per-pixel kernels: one run of n pixels, s and d at its first pixel -------------

template <int BPP>
ZOLVEX_ALWAYS_INLINE void GrayRun(const uchar* s, uchar* d, int n)
{
    for (int j = 0; j < n; ++j) {
        const uchar g = s[j * BPP + 1];
        for (int c = 0; c < BPP; ++c)
            d[j * BPP + c] = g;
    }
}

// Grey as the threshold and halftone effects weigh it, taken as a byte.
ZOLVEX_ALWAYS_INLINE int WeightedGrey(const uchar* p)
{
    return uint8_t((59 * p[1] + 30 * p[2] + 11 * p[0]) / 100);
}

template <int BPP>
ZOLVEX_ALWAYS_INLINE void SetColour(const uchar* s, uchar* d, uchar v)
{
    d[0] = d[1] = d[2] = v;
    if (BPP == 4)
        d[3] = s[3];
}

template <int BPP>
ZOLVEX_ALWAYS_INLINE void ThresholdRun(const uchar* s, uchar* d, int n)
{
    for (int j = 0; j < n; ++j)
        SetColour<BPP>(s + j * BPP, d + j * BPP, WeightedGrey(s + j * BPP) > 100 ? 255 : 0);
}

// `cells` holds the dither matrix entry of every pixel of the run.
template <int BPP>
ZOLVEX_ALWAYS_INLINE void HalftoneRun(const uchar* s, uchar* d, int n, const uint8_t* cells)
{
    for (int j = 0; j < n; ++j)
        SetColour<BPP>(s + j * BPP, d + j * BPP, cells[j] < WeightedGrey(s + j * BPP) / 4 ? 255 : 0);
}

// Bytes 0, 1, 2 of the result come from bytes A, B, C of the source.
template <int BPP, int A, int B, int C>
ZOLVEX_ALWAYS_INLINE void ReorderRun(const uchar* s, uchar* d, int n)
{
    for (int j = 0; j < n; ++j) {
        const uchar* p = s + j * BPP;
        uchar* q = d + j * BPP;
        const uchar v0 = p[A], v1 = p[B], v2 = p[C];
        q[0] = v0;
        q[1] = v1;
        q[2] = v2;
        if (BPP == 4)
            q[3] = p[3];
    }
}

#define RUN_PARAMS (const uchar* s, uchar* d, int n)
#define RUN_ARGS (s, d, n)
ZOLVEX_KERNEL_DISPATCH(Gray3, RUN_PARAMS, RUN_ARGS, GrayRun<3>(s, d, n))
ZOLVEX_KERNEL_DISPATCH(Gray4, RUN_PARAMS, RUN_ARGS, GrayRun<4>(s, d, n))
ZOLVEX_KERNEL_DISPATCH(Threshold3, RUN_PARAMS, RUN_ARGS, ThresholdRun<3>(s, d, n))
ZOLVEX_KERNEL_DISPATCH(Threshold4, RUN_PARAMS, RUN_ARGS, ThresholdRun<4>(s, d, n))
ZOLVEX_KERNEL_DISPATCH(Halftone3, (const uchar* s, uchar* d, int n, const uint8_t* cells), (s, d, n, cells),
                       HalftoneRun<3>(s, d, n, cells))
ZOLVEX_KERNEL_DISPATCH(Halftone4, (const uchar* s, uchar* d, int n, const uint8_t* cells), (s, d, n, cells),
                       HalftoneRun<4>(s, d, n, cells))
ZOLVEX_KERNEL_DISPATCH(SwapBG3, RUN_PARAMS, RUN_ARGS, (ReorderRun<3, 1, 0, 2>(s, d, n)))
ZOLVEX_KERNEL_DISPATCH(SwapBG4, RUN_PARAMS, RUN_ARGS, (ReorderRun<4, 1, 0, 2>(s, d, n)))
ZOLVEX_KERNEL_DISPATCH(SwapGR3, RUN_PARAMS, RUN_ARGS, (ReorderRun<3, 0, 2, 1>(s, d, n)))
ZOLVEX_KERNEL_DISPATCH(SwapGR4, RUN_PARAMS, RUN_ARGS, (ReorderRun<4, 0, 2, 1>(s, d, n)))
ZOLVEX_KERNEL_DISPATCH(SwapBR3, RUN_PARAMS, RUN_ARGS, (ReorderRun<3, 2, 1, 0>(s, d, n)))
ZOLVEX_KERNEL_DISPATCH(SwapBR4, RUN_PARAMS, RUN_ARGS, (ReorderRun<4, 2, 1, 0>(s, d, n)))
ZOLVEX_KERNEL_DISPATCH(RotateRBG3, RUN_PARAMS, RUN_ARGS, (ReorderRun<3, 2, 0, 1>(s, d, n)))
ZOLVEX_KERNEL_DISPATCH(RotateRBG4, RUN_PARAMS, RUN_ARGS, (ReorderRun<4, 2, 0, 1>(s, d, n)))
ZOLVEX_KERNEL_DISPATCH(RotateGRB3, RUN_PARAMS, RUN_ARGS, (ReorderRun<3, 1, 2, 0>(s, d, n)))
ZOLVEX_KERNEL_DISPATCH(RotateGRB4, RUN_PARAMS, RUN_ARGS, (ReorderRun<4, 1, 2, 0>(s, d, n)))

typedef void (*RunKernel)(const uchar* s, uchar* d, int n);

// Runs the kernel of the object's pixel size over every valid run; other pixels are
// copied from src.
void RewriteWith(const CfTavEffect& fx, const uchar* src, uchar* dst, RunKernel three, RunKernel four)
{
    if (!HasEffectPixels(fx)) {
        CopyFrame(fx, src, dst);
        return;
    }
    const int bpp = fx.nBpp;
    const RunKernel kernel = bpp == 3 ? three : four;
    RewriteValidRuns(fx, src, dst, false, [&](int, const uchar* s, uchar* d, int a, int b) {
        kernel(s + size_t(a) * bpp, d + size_t(a) * bpp, b - a);
    });
}

// The standard 8 × 8 Bayer ordered-dither matrix, indexed by memory row, then column.
const uint8_t kBayer[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

}  // namespace

void CfTavEffect::Brightness(const unsigned char* src, unsigned char* dst, int c)
{
    Lut lut;
    for (int v = 0; v < 256; ++v)
        lut[v] = ClampByte(int64_t(v) * c / 100);
    ApplyChannelLut(*this, src, dst, lut);
}

void CfTavEffect::Contrast(const unsigned char* src, unsigned char* dst, int c)
{
    Lut lut;
    for (int v = 0; v < 256; ++v)
        lut[v] = ClampByte(int64_t(v - 128) * c / 100 + 128);
    ApplyChannelLut(*this, src, dst, lut);
}

void CfTavEffect::Gamma(const unsigned char* src, unsigned char* dst, float g)
{
    Lut lut;
    if (g > 0) {
        const double e = 1.0 / g;
        const double k = std::pow(255.0, e) / 255.0;
        for (int v = 0; v < 256; ++v) {
            const double r = std::trunc(std::pow(double(v), e) / k);
            // A vanishing gamma overflows to inf / inf; such a value is no light.
            lut[v] = r >= 0 ? static_cast<uint8_t>(std::min(r, 255.0)) : 0;
        }
    } else {
        std::memset(lut, 0, sizeof lut);  // g <= 0: the exponent is infinite
    }
    ApplyChannelLut(*this, src, dst, lut);
}

void CfTavEffect::posterize(const unsigned char* src, unsigned char* dst)
{
    Lut lut;
    for (int v = 0; v < 256; ++v) {
        const double k = std::floor(v * 0.011764705882352941 + 0.5);
        lut[v] = ClampByte(int64_t(k * 85));
    }
    ApplyChannelLut(*this, src, dst, lut);
}

void CfTavEffect::negate(const unsigned char* src, unsigned char* dst)
{
    Lut lut;
    for (int v = 0; v < 256; ++v)
        lut[v] = uint8_t(255 - v);
    ApplyChannelLut(*this, src, dst, lut);
}

void CfTavEffect::Solarize(const unsigned char* src, unsigned char* dst)
{
    Lut lut;
    for (int v = 0; v < 256; ++v)
        lut[v] = uint8_t(v >= 30 ? 255 - v : v);
    ApplyChannelLut(*this, src, dst, lut);
}

void CfTavEffect::Gray(const unsigned char* src, unsigned char* dst)
{
    if (!HasEffectPixels(*this))
        return;
    const int bpp = nBpp;
    const RunKernel kernel = bpp == 3 ? Gray3 : Gray4;
    WriteValidRuns(*this, src, dst, [&](int, const uchar* s, uchar* d, int a, int b) {
        kernel(s + size_t(a) * bpp, d + size_t(a) * bpp, b - a);
    });
}

void CfTavEffect::threshold(const unsigned char* src, unsigned char* dst)
{
    RewriteWith(*this, src, dst, Threshold3, Threshold4);
}

void CfTavEffect::halftone(const unsigned char* src, unsigned char* dst)
{
    if (!HasEffectPixels(*this)) {
        CopyFrame(*this, src, dst);
        return;
    }
    // The matrix entry of every column, for each of the eight row phases.
    const int w = nWidth, bpp = nBpp;
    std::vector<uint8_t> cells(size_t(8) * size_t(w));
    for (int r = 0; r < 8; ++r)
        for (int j = 0; j < w; ++j)
            cells[size_t(r) * w + j] = kBayer[r][j & 7];
    RewriteValidRuns(*this, src, dst, false, [&](int i, const uchar* s, uchar* d, int a, int b) {
        const uint8_t* rowCells = cells.data() + size_t(i & 7) * w + a;
        if (bpp == 3)
            Halftone3(s + size_t(a) * 3, d + size_t(a) * 3, b - a, rowCells);
        else
            Halftone4(s + size_t(a) * 4, d + size_t(a) * 4, b - a, rowCells);
    });
}

// Mode 1 exchanges green and red, so that modes 0–2 are the three pairwise swaps.
void CfTavEffect::SwapColor(const unsigned char* src, unsigned char* dst, int mode)
{
    static const RunKernel kModes[5][2] = {{SwapBG3, SwapBG4},
                                           {SwapGR3, SwapGR4},
                                           {SwapBR3, SwapBR4},
                                           {RotateRBG3, RotateRBG4},
                                           {RotateGRB3, RotateGRB4}};
    if (mode < 0 || mode > 4) {
        CopyFrame(*this, src, dst);
        return;
    }
    RewriteWith(*this, src, dst, kModes[mode][0], kModes[mode][1]);
}
