// Effects that fill a pixel from a displaced point of the picture: the ripple, the
// glass tiles at 45° and the kaleidoscopic smear. They sample the picture as already
// rewritten (dst), so the pixels are visited in order on one thread.
#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>

#include "filter/common/Log.h"
#include "filter/effects/EffectLoops.h"

using namespace zolvex;

namespace {

// Clamps v into [lo, hi]; NaN goes to lo.
inline double Clamp(double v, double lo, double hi)
{
    return v > lo ? (v < hi ? v : hi) : lo;
}

// Calls pixel(i, j, d) for every valid pixel in row order, d pointing at it in dst.
template <class Pixel>
void ForEachValidPixel(const CfTavEffect& fx, uchar* dst, Pixel&& pixel)
{
    const int w = fx.nWidth, h = fx.nHeight, bpp = fx.nBpp;
    ValidSpans spans(fx.hValidRgn, w, h);
    for (int i = 0; i < h; ++i) {
        uchar* row = dst + size_t(i) * RowBytes(fx);
        spans.Walk(i, w, [&](int a, int b) {
            uchar* d = row + size_t(a) * bpp;
            for (int j = a; j < b; ++j, d += bpp)
                pixel(i, j, d);
        });
    }
}

// The ripple: rings of 25 pixels' wavelength about the centre push the picture out
// and in by up to 30 pixels, measured on the frame stretched to a square.
struct Ripple {
    double width, height, xs = 1.0, ys = 1.0;

    Ripple(int w, int h) : width(w), height(h)
    {
        if (w < h)
            xs = height / width;
        else if (h < w)
            ys = width / height;
    }

    void Source(int x, int y, double& sx, double& sy) const
    {
        const double dx = (x - width * 0.5) * xs, dy = (y - height * 0.5) * ys;
        const double d = 30.0 * std::sin(std::sqrt(dx * dx + dy * dy) * 6.2831853 * 0.04 + 0.23);
        sx = Clamp(width * 0.5 + (dx + d) / xs, 0.0, width - 1.0);
        sy = Clamp(height * 0.5 + (dy + d) / ys, 0.0, height - 1.0);
    }
};

// The fractions of a clamped point always lie in [0, 1); should one ever not, a
// frame of video is no reason to stop the program: say so once and carry on.
void ReportBadFraction()
{
    static std::atomic<bool> reported{false};
    if (!reported.exchange(true))
        LogMessage(LogLevel::kErrors,
                   "fTavEffect: assertion failed: (x > -FLT_EPSILON) && (x < 1.0) && (y > -FLT_EPSILON) && "
                   "(y < 1.0)\n");
}

}  // namespace

bool CfTavEffect::calc_undistorted_coord(int x, int y, double& sx, double& sy) const
{
    Ripple(nWidth, nHeight).Source(x, y, sx, sy);
    return true;
}

// Every pixel takes the bilinear mix (all bytes, alpha included, rounded) of the four
// pixels around its source point.
void CfTavEffect::Distord(const unsigned char* src, unsigned char* dst)
{
    CopyFrame(*this, src, dst);
    if (!HasEffectPixels(*this))
        return;
    const int w = nWidth, h = nHeight, bpp = nBpp;
    const Ripple ripple(w, h);
    ForEachValidPixel(*this, dst, [&](int i, int j, uchar* d) {
        double sx, sy;
        ripple.Source(j, i, sx, sy);
        const int x0 = int(std::floor(sx)), y0 = int(std::floor(sy));
        double x = sx - x0, y = sy - y0;
        if (!((x > -FLT_EPSILON) && (x < 1.0) && (y > -FLT_EPSILON) && (y < 1.0))) {
            ReportBadFraction();
            x = Clamp(x, 0.0, 1.0);
            y = Clamp(y, 0.0, 1.0);
        }
        // On the last column or row the far neighbour has no weight; it must not be
        // read from beyond the frame either.
        const int x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
        const uchar* p00 = GetBits(dst, x0, y0);
        const uchar* p10 = GetBits(dst, x1, y0);
        const uchar* p01 = GetBits(dst, x0, y1);
        const uchar* p11 = GetBits(dst, x1, y1);
        uchar mixed[4];
        if (std::memcmp(p00, p10, size_t(bpp)) == 0 && std::memcmp(p00, p01, size_t(bpp)) == 0 &&
            std::memcmp(p00, p11, size_t(bpp)) == 0) {
            CopyPixel(mixed, p00, bpp);
        } else {
            for (int c = 0; c < bpp; ++c) {
                const double v = (1.0 - x) * (1.0 - y) * p00[c] + x * (1.0 - y) * p10[c] + (1.0 - x) * y * p01[c] +
                                 x * y * p11[c];
                mixed[c] = uchar(Clamp(v + 0.5, 0.0, 255.0));
            }
        }
        CopyPixel(d, mixed, bpp);
    });
}

// Glass tiles at 45°: seventeen samples spread over the pixel are each pushed by the
// tangent of their position within a tile (rotated by 45°) and averaged.
void CfTavEffect::TileReflection(const unsigned char* src, unsigned char* dst)
{
    CopyFrame(*this, src, dst);
    if (!HasEffectPixels(*this))
        return;
    const int w = nWidth, h = nHeight;
    const int kSamples = 17;
    const double tile = std::max(std::min(w, 200), 2);
    const double scale = 3.14159265 / tile, curvature = 25.6, angle = 0.7853981625;
    const double cs = std::cos(angle), sn = std::sin(angle);
    double offX[kSamples], offY[kSamples];
    for (int k = 0; k < kSamples; ++k) {
        const double u = double(k) / kSamples, f = 4.0 * k / kSamples, v = f - std::floor(f);
        offX[k] = v * cs + u * sn;
        offY[k] = u * cs - v * sn;
    }
    const int cx = w / 2, cy = h / 2;
    ForEachValidPixel(*this, dst, [&](int i, int j, uchar* d) {
        int sum[3] = {0, 0, 0};
        for (int k = 0; k < kSamples; ++k) {
            const double x = j - cx + offX[k], y = i - cy - offY[k];
            double rx = x * cs - y * sn, ry = x * sn + y * cs;
            rx += curvature * std::tan(rx * scale);
            ry += curvature * std::tan(ry * scale);
            // Clamped before truncation: near a tile's edge the tangent runs away.
            const int sx = int(Clamp(rx * cs + ry * sn + cx, 0.0, w - 1.0));
            const int sy = int(Clamp(-rx * sn + ry * cs + cy, 0.0, h - 1.0));
            const uchar* p = GetBits(dst, sx, sy);
            sum[0] += p[0];
            sum[1] += p[1];
            sum[2] += p[2];
        }
        for (int c = 0; c < 3; ++c)
            d[c] = uchar(std::min(sum[c] / kSamples, 255));
    });
}

// Each pixel moves towards a point a quarter of the diagonal away, in one of four
// directions chosen by the pixel's angle about the centre, the more so the farther it
// lies from the centre. Every byte, alpha included, is mixed.
void CfTavEffect::Illusion(const unsigned char* src, unsigned char* dst)
{
    CopyFrame(*this, src, dst);
    if (!HasEffectPixels(*this))
        return;
    const int w = nWidth, h = nHeight, bpp = nBpp;
    const int diagonal = int(std::sqrt(double(w) * w + double(h) * h));
    const double half = diagonal * 0.5;
    const int r = int(half * 0.5);
    const double sector = 1.04719755;
    // atan2 lies in [−π, π], so the sector k is −2, −1, 0 or 1.
    double reachX[4], reachY[4];
    for (int k = -2; k <= 1; ++k) {
        const double theta = (2 * k + 1) * sector;
        reachX[k + 2] = std::cos(theta) * r;
        reachY[k + 2] = std::sin(theta) * r;
    }
    ForEachValidPixel(*this, dst, [&](int i, int j, uchar* d) {
        const double x = (j - w * 0.5) / half, y = (i - h * 0.5) / half;
        const int k = std::min(std::max(int(std::floor(std::atan2(y, x) * 0.5 / sector)), -2), 1);
        const double rho = std::sqrt(x * x + y * y);
        const int sx = int(Clamp(j - reachX[k + 2], 0.0, w - 1.0));
        const int sy = int(Clamp(i - reachY[k + 2], 0.0, h - 1.0));
        const uchar* p = GetBits(dst, sx, sy);
        uchar mixed[4];
        for (int c = 0; c < bpp; ++c)
            mixed[c] = uchar(std::min(std::max(d[c] + int((p[c] - d[c]) * rho), 0), 255));
        CopyPixel(d, mixed, bpp);
    });
}
