// Blurs along the rows: Deriche's recursive Gaussian and the horizontal motion smear.
// Each row reads and writes only itself, so rows are spread over the slice pool.
#include <algorithm>
#include <cmath>
#include <vector>

#include "filter/effects/EffectLoops.h"

using namespace zolvex;

// Deriche's fourth-order fit of the Gaussian, h(x) = (a0 cos(w0 x/σ) + a1 sin(w0 x/σ))
// e^(−b0 x/σ) + (c0 cos(w1 x/σ) + c1 sin(w1 x/σ)) e^(−b1 x/σ), split into a causal part
// (x ≥ 0) and an anti-causal part (x < 0). Each damped cosine sums to a second-order
// rational function of z⁻¹; over their common denominator the causal filter is
//   (n_p[0] + n_p[1] z⁻¹ + n_p[2] z⁻² + n_p[3] z⁻³) / (1 + d_p[1] z⁻¹ + … + d_p[4] z⁻⁴).
// The anti-causal half is the causal one mirrored without its centre tap: H(1/z) − h(0).
// The taps are scaled so that the two halves together have unit gain. A pass that
// starts on a constant edge settles at once at bd × the edge value.
void CfTavEffect::find_constants(double* n_p, double* n_m, double* d_p, double* d_m, double* bd_p, double* bd_m,
                                 double std_dev)
{
    const double a0 = 1.6803, a1 = 3.735, b0 = 1.783, b1 = 1.723;
    const double c0 = -0.6803, c1 = -0.2598, w0 = 0.6318, w1 = 1.997;

    const double e0 = std::exp(-b0 / std_dev), e1 = std::exp(-b1 / std_dev);
    const double cos0 = std::cos(w0 / std_dev), sin0 = std::sin(w0 / std_dev);
    const double cos1 = std::cos(w1 / std_dev), sin1 = std::sin(w1 / std_dev);
    // Σ (A cos ωn + B sin ωn) qⁿ = (A + (B sin ω − A cos ω) q) / (1 − 2 q cos ω + q²),
    // with q = e^(−β) z⁻¹: numerator f0 + f1 z⁻¹ over 1 + p1 z⁻¹ + p2 z⁻².
    const double f0 = a0, f1 = e0 * (a1 * sin0 - a0 * cos0);
    const double g0 = c0, g1 = e1 * (c1 * sin1 - c0 * cos1);
    const double p1 = -2.0 * e0 * cos0, p2 = e0 * e0;
    const double q1 = -2.0 * e1 * cos1, q2 = e1 * e1;

    d_p[0] = 1.0;
    d_p[1] = p1 + q1;
    d_p[2] = p2 + q2 + p1 * q1;
    d_p[3] = p1 * q2 + p2 * q1;
    d_p[4] = p2 * q2;

    n_p[0] = f0 + g0;
    n_p[1] = f1 + f0 * q1 + g1 + g0 * p1;
    n_p[2] = f0 * q2 + f1 * q1 + g0 * p2 + g1 * p1;
    n_p[3] = f1 * q2 + g1 * p2;
    n_p[4] = 0.0;

    n_m[0] = 0.0;
    for (int k = 1; k <= 3; ++k)
        n_m[k] = n_p[k] - d_p[k] * n_p[0];
    n_m[4] = -d_p[4] * n_p[0];

    double sumD = 0.0, sumP = 0.0, sumM = 0.0;
    for (int k = 0; k <= 4; ++k) {
        d_m[k] = d_p[k];
        sumD += d_p[k];
        sumP += n_p[k];
        sumM += n_m[k];
    }
    const double gain = (sumP + sumM) / sumD;
    for (int k = 0; k <= 4; ++k) {
        n_p[k] /= gain;
        n_m[k] /= gain;
    }
    for (int k = 0; k <= 4; ++k) {
        bd_p[k] = sumP / gain / sumD;
        bd_m[k] = sumM / gain / sumD;
    }
}

// Rows only, no vertical pass; a Gaussian of about 0.9 pixels (the spread at which a
// Gaussian three pixels out has fallen to 1/255).
void CfTavEffect::GaussBlur(const unsigned char* src, unsigned char* dst)
{
    CopyFrame(*this, src, dst);
    if (!HasEffectPixels(*this))
        return;
    const int w = nWidth, h = nHeight, bpp = nBpp;
    const double sigma = std::sqrt(-9.0 / (2.0 * std::log(1.0 / 255.0)));
    double n_p[5], n_m[5], d_p[5], d_m[5], bd_p[5], bd_m[5];
    find_constants(n_p, n_m, d_p, d_m, bd_p, bd_m, sigma);

    const size_t stride = RowBytes(*this);
    RunRowSlices(h, int64_t(stride) * 8, [&](int first, int last) {
        ValidSpans spans(hValidRgn, w, h);
        std::vector<double> causal(size_t(w) * 3), anti(size_t(w) * 3);
        for (int i = first; i < last; ++i) {
            uchar* d = dst + size_t(i) * stride;
            for (int c = 0; c < 3; ++c) {
                // Before the row's start the input and the settled output repeat the
                // first pixel, so a flat row stays flat from its first pixel on.
                const double head = d[c];
                double x1 = head, x2 = head, x3 = head;
                double y1 = bd_p[0] * head, y2 = bd_p[1] * head, y3 = bd_p[2] * head, y4 = bd_p[3] * head;
                const uchar* p = d + c;
                for (int j = 0; j < w; ++j, p += bpp) {
                    const double x0 = *p;
                    const double y0 = n_p[0] * x0 + n_p[1] * x1 + n_p[2] * x2 + n_p[3] * x3 - d_p[1] * y1 -
                                      d_p[2] * y2 - d_p[3] * y3 - d_p[4] * y4;
                    causal[size_t(j) * 3 + size_t(c)] = y0;
                    x3 = x2, x2 = x1, x1 = x0;
                    y4 = y3, y3 = y2, y2 = y1, y1 = y0;
                }
                // The anti-causal pass runs from the last pixel, which repeats beyond it.
                const double tail = d[size_t(w - 1) * bpp + size_t(c)];
                x1 = tail, x2 = tail, x3 = tail;
                double x4 = tail;
                y1 = bd_m[0] * tail, y2 = bd_m[1] * tail, y3 = bd_m[2] * tail, y4 = bd_m[3] * tail;
                p = d + size_t(w - 1) * bpp + size_t(c);
                for (int j = w - 1; j >= 0; --j, p -= bpp) {
                    const double y0 = n_m[1] * x1 + n_m[2] * x2 + n_m[3] * x3 + n_m[4] * x4 - d_m[1] * y1 -
                                      d_m[2] * y2 - d_m[3] * y3 - d_m[4] * y4;
                    anti[size_t(j) * 3 + size_t(c)] = y0;
                    x4 = x3, x3 = x2, x2 = x1, x1 = *p;
                    y4 = y3, y3 = y2, y2 = y1, y1 = y0;
                }
            }
            spans.Walk(i, w, [&](int a, int b) {
                for (int j = a; j < b; ++j)
                    for (int c = 0; c < 3; ++c) {
                        // The sum of the halves of a flat row lands a hair below the
                        // value; the small lift keeps truncation from dropping a level.
                        const double v = causal[size_t(j) * 3 + size_t(c)] + anti[size_t(j) * 3 + size_t(c)] + 1e-7;
                        d[size_t(j) * bpp + size_t(c)] = uchar(v <= 0.0 ? 0.0 : (v >= 255.0 ? 255.0 : v));
                    }
            });
        }
    });
}

// A box of n pixels (the frame width less two, within 2 … 12) ahead of each pixel:
// direction 0 looks to the right and repeats the row's last pixel beyond the edge,
// any other direction is its mirror image. The two pixels at the trailing edge have
// no full window and are left as they are.
void CfTavEffect::MotionBlur(const unsigned char* src, unsigned char* dst, int direction)
{
    CopyFrame(*this, src, dst);
    if (!HasEffectPixels(*this) || nWidth < 3)
        return;
    const int w = nWidth, h = nHeight, bpp = nBpp;
    const int n = std::min(std::max(w - 2, 2), 12);
    // Step through the row and where the window's next pixel comes from.
    const int start = direction == 0 ? 0 : w - 1, step = direction == 0 ? 1 : -1, edge = direction == 0 ? w - 1 : 0;

    const size_t stride = RowBytes(*this);
    RunRowSlices(h, int64_t(stride) * 4, [&](int first, int last) {
        ValidSpans spans(hValidRgn, w, h);
        std::vector<uchar> valid(static_cast<size_t>(w));
        for (int i = first; i < last; ++i) {
            // The window holds pixels ahead of the one being written, which are still
            // as copied from src; src also keeps the pixel that leaves the window.
            const uchar* s = src + size_t(i) * stride;
            uchar* d = dst + size_t(i) * stride;
            ValidMask(spans, i, w, valid.data());
            int sum[3] = {0, 0, 0};
            for (int k = 0; k < n; ++k)
                for (int c = 0; c < 3; ++c)
                    sum[c] += s[size_t(start + k * step) * bpp + size_t(c)];
            for (int k = 0; k < w - 2; ++k) {
                const int j = start + k * step;
                const uchar* out = s + size_t(j) * bpp;
                const int next = k + n < w ? start + (k + n) * step : edge;
                const uchar* in = s + size_t(next) * bpp;
                for (int c = 0; c < 3; ++c) {
                    if (valid[size_t(j)])
                        d[size_t(j) * bpp + size_t(c)] = uchar(std::min(std::max(sum[c] / n, 0), 255));
                    sum[c] += in[c] - out[c];
                }
            }
        }
    });
}
