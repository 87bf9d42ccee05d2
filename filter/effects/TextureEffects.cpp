// Texture effects: Gaussian grain, mosaic blocks and random whitening. Grain and
// whitening draw from the C library generator in pixel order, on one thread.
#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "filter/effects/EffectLoops.h"

using namespace zolvex;

// The sum of four uniform draws, centred and scaled to a standard deviation of
// 6.35, added to all three colours of a pixel. The scale was worked out for draws
// of 0 … 32767; it is carried over to this library's RAND_MAX so that the grain
// keeps its strength (unscaled, 31-bit draws would drive every pixel to 255).
void CfTavEffect::Noise(const unsigned char* src, unsigned char* dst)
{
    if (!HasEffectPixels(*this)) {
        CopyFrame(*this, src, dst);
        return;
    }
    std::srand(unsigned(std::time(nullptr)));
    const int bpp = nBpp;
    const double unit = 0.0000528596089837 * 32767.0 / double(RAND_MAX);
    RewriteValidRuns(*this, src, dst, true, [&](int, const uchar* s, uchar* d, int a, int b) {
        s += size_t(a) * bpp;
        d += size_t(a) * bpp;
        for (int j = a; j < b; ++j, s += bpp, d += bpp) {
            int64_t sum = std::rand();
            sum += std::rand();
            sum += std::rand();
            sum += std::rand();
            const int n = int((double(sum) * unit - 3.46410161514) * 6.35);
            for (int c = 0; c < 3; ++c)
                d[c] = uchar(std::min(std::max(s[c] + n, 0), 255));
            if (bpp == 4)
                d[3] = s[3];
        }
    });
}

// Blocks of a thirtieth of the width. A block's first pixel (lowest memory row,
// leftmost column) takes the block's colour averaged with alpha as the weight (every
// 3-byte pixel weighs 1); blocks at the right and top edges are cut to the frame.
// The block's other valid pixels then take that first pixel's colour from dst, so a
// block shows its average throughout; where the first pixel lies outside the region
// they take its own colour. Frames narrower than 30 pixels have no blocks and are
// copied.
void CfTavEffect::Mosaic(const unsigned char* src, unsigned char* dst)
{
    CopyFrame(*this, src, dst);
    if (!HasEffectPixels(*this) || nWidth < 30)
        return;
    const int w = nWidth, h = nHeight, bpp = nBpp;
    const int size = w / 30;
    const size_t stride = RowBytes(*this);
    ValidSpans spans(hValidRgn, w, h);
    for (int i = 0; i < h; ++i) {
        uchar* row = dst + size_t(i) * stride;
        const int top = i - i % size;
        uchar* firstRow = dst + size_t(top) * stride;
        spans.Walk(i, w, [&](int a, int b) {
            uchar* d = row + size_t(a) * bpp;
            for (int j = a; j < b; ++j, d += bpp) {
                const int left = j - j % size;
                if (top != i || left != j) {
                    const uchar* origin = firstRow + size_t(left) * bpp;
                    d[0] = origin[0];
                    d[1] = origin[1];
                    d[2] = origin[2];
                    continue;
                }
                int64_t sum[3] = {0, 0, 0}, weight = 0;
                const int right = std::min(j + size, w), end = std::min(i + size, h);
                for (int y = i; y < end; ++y) {
                    const uchar* p = dst + size_t(y) * stride + size_t(j) * bpp;
                    for (int x = j; x < right; ++x, p += bpp) {
                        const int wt = bpp == 4 ? p[3] : 1;
                        sum[0] += p[0] * wt;
                        sum[1] += p[1] * wt;
                        sum[2] += p[2] * wt;
                        weight += wt;
                    }
                }
                for (int c = 0; c < 3; ++c)
                    d[c] = uchar(weight ? sum[c] / weight : 0);
            }
        });
    }
}

// Lightens every pixel, region or not, towards white by a random 0 … 29 parts in 255.
void CfTavEffect::Frog(const unsigned char* src, unsigned char* dst)
{
    if (!HasEffectPixels(*this)) {
        CopyFrame(*this, src, dst);
        return;
    }
    std::srand(unsigned(std::time(nullptr)));
    // The rule for every draw and byte value, worked out once.
    static const int kSteps = 30;
    uchar table[kSteps][256];
    for (int m = 0; m < kSteps; ++m) {
        const double k = 1.0 - m * 0.003921569;
        for (int v = 0; v < 256; ++v)
            table[m][v] = uchar((1.0 - k) * 255.0 + k * v);
    }
    const int bpp = nBpp;
    const size_t pixels = size_t(nWidth) * size_t(nHeight);
    const uchar* s = src;
    uchar* d = dst;
    for (size_t k = 0; k < pixels; ++k, s += bpp, d += bpp) {
        const uchar* lighten = table[std::rand() % kSteps];
        d[0] = lighten[s[0]];
        d[1] = lighten[s[1]];
        d[2] = lighten[s[2]];
        if (bpp == 4)
            d[3] = s[3];
    }
}
