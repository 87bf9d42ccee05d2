// Effects that read around the pixel they write: emboss and the radial blur.
#include <algorithm>
#include <cmath>
#include <vector>

#include "filter/common/CpuDispatch.h"
#include "filter/effects/EffectLoops.h"

using namespace zolvex;

namespace {

// n pixels that each have a right-hand neighbour.
template <int BPP>
ZOLVEX_ALWAYS_INLINE void EmbossRun(const uchar* s, uchar* d, int n)
{
    for (int j = 0; j < n; ++j) {
        const uchar* p = s + j * BPP;
        const uchar* r = p + BPP;
        const int diff = (p[0] + p[1] + p[2]) - (r[0] + r[1] + r[2]);
        int v = 2 * (diff / 3) + 128;
        v = v < 0 ? 0 : (v > 255 ? 255 : v);
        uchar* q = d + j * BPP;
        q[0] = q[1] = q[2] = uchar(v);
        if (BPP == 4)
            q[3] = p[3];
    }
}

ZOLVEX_KERNEL_DISPATCH(Emboss3, (const uchar* s, uchar* d, int n), (s, d, n), EmbossRun<3>(s, d, n))
ZOLVEX_KERNEL_DISPATCH(Emboss4, (const uchar* s, uchar* d, int n), (s, d, n), EmbossRun<4>(s, d, n))

}  // namespace

// Relief from the brightness step to the right-hand neighbour; the last column has
// no neighbour and becomes flat grey.
void CfTavEffect::Emboss(const unsigned char* src, unsigned char* dst)
{
    if (!HasEffectPixels(*this)) {
        CopyFrame(*this, src, dst);
        return;
    }
    const int w = nWidth, bpp = nBpp;
    RewriteValidRuns(*this, src, dst, false, [&](int, const uchar* s, uchar* d, int a, int b) {
        const int end = std::min(b, w - 1);
        if (a < end)
            (bpp == 3 ? Emboss3 : Emboss4)(s + size_t(a) * bpp, d + size_t(a) * bpp, end - a);
        if (b == w) {
            uchar* q = d + size_t(w - 1) * bpp;
            q[0] = q[1] = q[2] = 128;
            if (bpp == 4)
                q[3] = s[size_t(w - 1) * 4 + 3];
        }
    });
}

// A spin of ±3° about the centre: every pixel averages samples along its arc,
// fewer of them near the centre where the arc is short.
void CfTavEffect::RadialBlur(const unsigned char* src, unsigned char* dst)
{
    if (!HasEffectPixels(*this)) {
        CopyFrame(*this, src, dst);
        return;
    }
    const int w = nWidth, h = nHeight, bpp = nBpp;
    const int cx = w / 2, cy = h / 2;
    const int64_t mx = std::max(cx, w - cx), my = std::max(cy, h - cy);
    const int radius = static_cast<int>(std::sqrt(double(mx * mx + my * my)));
    const int n = static_cast<int>(std::sqrt(double(radius)) * 3.14159265 * 0.13333333333333333 + 2.0);
    const float a = static_cast<float>((3.14159265 * 0.03333333333333333) / (n - 1));
    const float half = static_cast<float>((n - 1) * a * 0.5);
    std::vector<float> cosT(static_cast<size_t>(n)), sinT(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
        const float theta = k * a - half;
        cosT[size_t(k)] = static_cast<float>(std::cos(theta));
        sinT[size_t(k)] = static_cast<float>(std::sin(theta));
    }

    RewriteValidRuns(*this, src, dst, false, [&](int i, const uchar* s, uchar* d, int first, int last) {
        std::memcpy(d + size_t(first) * bpp, s + size_t(first) * bpp, size_t(last - first) * bpp);
        const int dy = i - cy;
        for (int j = first; j < last; ++j) {
            const int dx = j - cx;
            const int r = static_cast<int>(std::sqrt(double(int64_t(dx) * dx + int64_t(dy) * dy)));
            int step = r == 0 ? 1 : radius / r;
            step = std::min(std::max(step, 1), n - 1);
            int count = 0, sumB = 0, sumG = 0, sumR = 0, sumA = 0;
            for (int k = 0; k < n; k += step) {
                const float c = cosT[size_t(k)], sn = sinT[size_t(k)];
                const int sx = static_cast<int>(dx * c + cx - dy * sn);
                const int sy = static_cast<int>(dx * sn + dy * c + cy);
                if (sy < 0 || sy >= h || sx < 0 || sx >= w)
                    continue;
                const uchar* p = src + (size_t(sy) * size_t(w) + size_t(sx)) * bpp;
                ++count;
                if (bpp == 3) {
                    sumB += p[0];
                    sumG += p[1];
                    sumR += p[2];
                } else if (p[3] != 0) {
                    sumA += p[3];
                    sumB += p[0] * p[3];
                    sumG += p[1] * p[3];
                    sumR += p[2] * p[3];
                }
            }
            if (count == 0)
                continue;
            uchar* q = d + size_t(j) * bpp;
            if (bpp == 3) {
                q[0] = static_cast<uchar>(sumB / count);
                q[1] = static_cast<uchar>(sumG / count);
                q[2] = static_cast<uchar>(sumR / count);
            } else {
                q[3] = static_cast<uchar>(sumA / count);
                if (q[3] != 0) {
                    q[0] = static_cast<uchar>(sumB / sumA);
                    q[1] = static_cast<uchar>(sumG / sumA);
                    q[2] = static_cast<uchar>(sumR / sumA);
                }
            }
        }
    });
}
