// Triangle rasteriser of the 3D screen. Rather than pushing picture pixels forward,
// every screen pixel that a triangle covers gets its picture position (u, v), found
// perspective-correctly, so the picture is then sampled once per screen pixel: no
// holes, no double hits. Vertices are snapped to 1/256 pixel and edges are tested in
// integers, which makes meshes watertight: a pixel centre on an edge shared by two
// triangles is inside at least one of them. Internal to Screen3D.cpp.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace zolvex {
namespace screen3d {

// A projected vertex: screen position in pixels (y down), w = 1 / depth, picture
// position and brightness.
struct RasterVertex {
    double x, y, w, u, v, shade;
};

// The nearest surface point seen at one pixel; w = 0 where nothing is.
struct Fragment {
    float w, u, v;
    uint8_t shade, alpha;  // alpha: coverage at the picture's outer edges
    uint16_t triangle;     // 1 + index of the triangle it came from
};

constexpr size_t kMaxTriangles = 65535;

struct Triangle {
    int64_t ea[3], eb[3], ec[3];  // edge functions ea·X + eb·Y + ec in 1/256 pixel, ≥ 0 inside
    int x0, x1, y0, y1;           // candidate pixels, inside the target
    double pa[4], pb[4], pc[4];   // w, u·w, v·w, shade·w as pa·x + pb·y + pc at pixel centres
    double guardU, guardV;        // u, v this far inside the picture are fully covered
};

constexpr int kSubPixel = 256;
constexpr double kMaxCoordinate = 1 << 19;  // keeps the edge products well inside int64

inline int64_t FloorDiv(int64_t n, int64_t d)  // d > 0
{
    int64_t q = n / d;
    if (n % d != 0 && n < 0)
        --q;
    return q;
}

inline int64_t CeilDiv(int64_t n, int64_t d)  // d > 0
{
    int64_t q = n / d;
    if (n % d != 0 && n > 0)
        ++q;
    return q;
}

// False when the triangle covers no pixel of a width × height target or cannot be
// drawn (behind the viewer, absurdly far out, degenerate).
inline bool SetupTriangle(const RasterVertex* in0, const RasterVertex* in1, const RasterVertex* in2, int width,
                          int height, Triangle& t)
{
    const RasterVertex* v[3] = {in0, in1, in2};
    int64_t X[3], Y[3];
    for (int k = 0; k < 3; ++k) {
        if (!(v[k]->w > 0) || !(std::fabs(v[k]->x) < kMaxCoordinate) || !(std::fabs(v[k]->y) < kMaxCoordinate) ||
            !std::isfinite(v[k]->u) || !std::isfinite(v[k]->v) || !std::isfinite(v[k]->shade))
            return false;
        X[k] = std::llround(v[k]->x * kSubPixel);
        Y[k] = std::llround(v[k]->y * kSubPixel);
    }
    int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (Y[1] - Y[0]) * (X[2] - X[0]);
    if (area == 0)
        return false;
    if (area < 0) {  // both sides of the surface are drawn
        std::swap(v[1], v[2]);
        std::swap(X[1], X[2]);
        std::swap(Y[1], Y[2]);
        area = -area;
    }
    const int64_t minX = std::min({X[0], X[1], X[2]}), maxX = std::max({X[0], X[1], X[2]});
    const int64_t minY = std::min({Y[0], Y[1], Y[2]}), maxY = std::max({Y[0], Y[1], Y[2]});
    const int64_t half = kSubPixel / 2;
    t.x0 = int(std::max<int64_t>(0, CeilDiv(minX - half, kSubPixel)));
    t.x1 = int(std::min<int64_t>(width - 1, FloorDiv(maxX - half, kSubPixel)));
    t.y0 = int(std::max<int64_t>(0, CeilDiv(minY - half, kSubPixel)));
    t.y1 = int(std::min<int64_t>(height - 1, FloorDiv(maxY - half, kSubPixel)));
    if (t.x0 > t.x1 || t.y0 > t.y1)
        return false;
    for (int k = 0; k < 3; ++k) {
        const int i = k, j = (k + 1) % 3;
        t.ea[k] = -(Y[j] - Y[i]);
        t.eb[k] = X[j] - X[i];
        t.ec[k] = (Y[j] - Y[i]) * X[i] - (X[j] - X[i]) * Y[i];
    }
    // Attribute planes over the snapped positions.
    double xs[3], ys[3];
    for (int k = 0; k < 3; ++k) {
        xs[k] = double(X[k]) / kSubPixel;
        ys[k] = double(Y[k]) / kSubPixel;
    }
    const double dx1 = xs[1] - xs[0], dy1 = ys[1] - ys[0], dx2 = xs[2] - xs[0], dy2 = ys[2] - ys[0];
    const double det = dx1 * dy2 - dx2 * dy1;
    for (int q = 0; q < 4; ++q) {
        double val[3];
        for (int k = 0; k < 3; ++k) {
            const double w = v[k]->w;
            val[k] = q == 0 ? w : q == 1 ? v[k]->u * w : q == 2 ? v[k]->v * w : v[k]->shade * w;
        }
        const double d1 = val[1] - val[0], d2 = val[2] - val[0];
        t.pa[q] = (d1 * dy2 - d2 * dy1) / det;
        t.pb[q] = (d2 * dx1 - d1 * dx2) / det;
        t.pc[q] = val[0] - t.pa[q] * xs[0] - t.pb[q] * ys[0];
    }
    // Bounds of half the per-pixel change of u and v over the triangle, so that the
    // coverage is worked out only near the picture's edges.
    double minW = v[0]->w, maxU = 0, maxV = 0;
    for (int k = 0; k < 3; ++k) {
        minW = std::min(minW, v[k]->w);
        maxU = std::max(maxU, std::fabs(v[k]->u));
        maxV = std::max(maxV, std::fabs(v[k]->v));
    }
    const double wa = std::fabs(t.pa[0]), wb = std::fabs(t.pb[0]);
    t.guardU = (std::fabs(t.pa[1]) + std::fabs(t.pb[1]) + maxU * (wa + wb)) / minW;
    t.guardV = (std::fabs(t.pa[2]) + std::fabs(t.pb[2]) + maxV * (wa + wb)) / minW;
    if (!std::isfinite(t.guardU) || !std::isfinite(t.guardV))
        return false;
    return true;
}

// Coverage of a pixel by the picture along one direction: 1 inside, fading to 0
// over the half pixel beyond the edge (pos is u or v, grad its change per pixel).
inline double EdgeCoverage(double pos, double grad)
{
    const double inside = std::min(pos, 1 - pos);
    if (!(grad > 1e-12))
        return inside >= 0 ? 1 : 0;
    return std::max(0.0, std::min(1.0, 0.5 + inside / grad));
}

// Draws rows [top, top + rows) of the triangle into `frags` (rows × width, the first
// fragment at row `top`), keeping the nearest surface at every pixel.
inline void RasterTriangle(const Triangle& t, uint16_t id, int top, int rows, int width, Fragment* frags)
{
    const int ya = std::max(t.y0, top), yb = std::min(t.y1, top + rows - 1);
    for (int y = ya; y <= yb; ++y) {
        const int64_t py = int64_t(y) * kSubPixel + kSubPixel / 2;
        int64_t lo = t.x0, hi = t.x1;
        for (int k = 0; k < 3 && lo <= hi; ++k) {
            const int64_t e0 = t.ea[k] * (kSubPixel / 2) + t.eb[k] * py + t.ec[k];  // at x = 0
            const int64_t step = t.ea[k] * kSubPixel;
            if (step > 0)
                lo = std::max(lo, CeilDiv(-e0, step));
            else if (step < 0)
                hi = std::min(hi, FloorDiv(e0, -step));
            else if (e0 < 0)
                hi = lo - 1;
        }
        if (lo > hi)
            continue;
        const double cy = y + 0.5;
        double base[4];
        for (int q = 0; q < 4; ++q)
            base[q] = t.pb[q] * cy + t.pc[q];
        Fragment* row = frags + size_t(y - top) * size_t(width);
        for (int64_t x = lo; x <= hi; ++x) {
            const double cx = double(x) + 0.5;
            const double w = t.pa[0] * cx + base[0];
            Fragment& f = row[x];
            if (!(w > f.w))
                continue;
            const double inv = 1 / w;
            const double u = (t.pa[1] * cx + base[1]) * inv;
            const double v = (t.pa[2] * cx + base[2]) * inv;
            int alpha = 255;
            if (std::min(u, 1 - u) < t.guardU || std::min(v, 1 - v) < t.guardV) {
                // How far u and v move per screen pixel, for the coverage at the edges.
                const double dudx = (t.pa[1] - u * t.pa[0]) * inv, dudy = (t.pb[1] - u * t.pb[0]) * inv;
                const double dvdx = (t.pa[2] - v * t.pa[0]) * inv, dvdy = (t.pb[2] - v * t.pb[0]) * inv;
                const double cover = EdgeCoverage(u, std::sqrt(dudx * dudx + dudy * dudy)) *
                                     EdgeCoverage(v, std::sqrt(dvdx * dvdx + dvdy * dvdy));
                alpha = int(cover * 255 + 0.5);
                if (alpha <= 0)
                    continue;  // beyond the picture's edge: hides nothing behind it
            }
            const double s = (t.pa[3] * cx + base[3]) * inv;
            f.w = float(w);
            f.u = float(u);
            f.v = float(v);
            f.shade = uint8_t(std::max(0.0, std::min(255.0, s * 255 + 0.5)));
            f.alpha = uint8_t(alpha);
            f.triangle = id;
        }
    }
}

// The surface's attributes at the centre of pixel (x, y) from the plane equations of
// triangle t, also outside it; false where the plane lies behind the viewer.
inline bool FragmentAt(const Triangle& t, uint16_t id, int x, int y, Fragment& f)
{
    const double cx = x + 0.5, cy = y + 0.5;
    const double w = t.pa[0] * cx + t.pb[0] * cy + t.pc[0];
    if (!(w > 0))
        return false;
    const double inv = 1 / w;
    const double u = (t.pa[1] * cx + t.pb[1] * cy + t.pc[1]) * inv;
    const double v = (t.pa[2] * cx + t.pb[2] * cy + t.pc[2]) * inv;
    const double s = (t.pa[3] * cx + t.pb[3] * cy + t.pc[3]) * inv;
    if (!std::isfinite(u) || !std::isfinite(v))
        return false;
    const double dudx = (t.pa[1] - u * t.pa[0]) * inv, dudy = (t.pb[1] - u * t.pb[0]) * inv;
    const double dvdx = (t.pa[2] - v * t.pa[0]) * inv, dvdy = (t.pb[2] - v * t.pb[0]) * inv;
    const double cover = EdgeCoverage(u, std::sqrt(dudx * dudx + dudy * dudy)) *
                         EdgeCoverage(v, std::sqrt(dvdx * dvdx + dvdy * dvdy));
    f.w = float(w);
    f.u = float(u);
    f.v = float(v);
    f.shade = uint8_t(std::max(0.0, std::min(255.0, s * 255 + 0.5)));
    f.alpha = uint8_t(std::max(0.0, std::min(255.0, cover * 255 + 0.5)));
    f.triangle = id;
    return true;
}

// Smooths the outline where the surface turns away from the viewer (the rim of a
// sphere, the side of a column), which the picture's own edges do not cover: every
// pixel on either side of the outline is tested at four more points against the
// triangles seen around it, and its coverage becomes its alpha. Works on rows
// [y0, y1) of a buffer that starts at row `top` and holds `rows` rows; neighbours
// beyond the buffer count as alike. `cover` and `changes` are scratch space.
inline void SmoothOutline(const std::vector<Triangle>& tris, Fragment* frags, int top, int rows, int y0, int y1,
                          int width, std::vector<uint8_t>& cover, std::vector<std::pair<size_t, Fragment>>& changes)
{
    static const int kSamples[4][2] = {{96, 32}, {224, 96}, {160, 224}, {32, 160}};  // in 1/256 pixel
    changes.clear();
    const size_t n = size_t(rows) * size_t(width);
    if (cover.size() < n)
        cover.resize(n);
    for (size_t k = 0; k < n; ++k)
        cover[k] = frags[k].w > 0;
    auto at = [&](int x, int y) -> const Fragment& { return frags[size_t(y - top) * size_t(width) + size_t(x)]; };
    for (int y = y0; y < y1; ++y) {
        const uint8_t* c = &cover[size_t(y - top) * size_t(width)];
        const uint8_t* up = y > top ? c - width : c;
        const uint8_t* down = y + 1 < top + rows ? c + width : c;
        for (int x = 0; x < width; ++x) {
            const bool covered = c[x] != 0;
            if (c[x] == up[x] && c[x] == down[x] && (x == 0 || c[x] == c[x - 1]) &&
                (x + 1 == width || c[x] == c[x + 1]))
                continue;
            const Fragment& self = at(x, y);
            uint16_t seen[9];
            int count = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int xx = x + dx, yy = y + dy;
                    if (xx < 0 || xx >= width || yy < top || yy >= top + rows)
                        continue;
                    const uint16_t id = at(xx, yy).triangle;
                    if (at(xx, yy).w > 0 && id > 0 && id <= tris.size() &&
                        std::find(seen, seen + count, id) == seen + count)
                        seen[count++] = id;
                }
            int hits = covered ? 1 : 0;  // the centre is the fifth point
            uint16_t front = 0;
            double frontW = 0;
            for (const auto& sp : kSamples) {
                const int64_t sx = int64_t(x) * kSubPixel + sp[0], sy = int64_t(y) * kSubPixel + sp[1];
                for (int k = 0; k < count; ++k) {
                    const Triangle& t = tris[seen[k] - 1u];
                    bool in = true;
                    for (int e = 0; e < 3 && in; ++e)
                        in = t.ea[e] * sx + t.eb[e] * sy + t.ec[e] >= 0;
                    if (!in)
                        continue;
                    ++hits;
                    const double w = t.pa[0] * (x + 0.5) + t.pb[0] * (y + 0.5) + t.pc[0];
                    if (w > frontW) {
                        frontW = w;
                        front = seen[k];
                    }
                    break;
                }
            }
            Fragment f = self;
            if (!covered && (front == 0 || !FragmentAt(tris[front - 1u], front, x, y, f)))
                continue;
            const int alpha = std::min(int(f.alpha), (hits * 255 + 2) / 5);
            if (alpha == f.alpha)
                continue;
            f.alpha = uint8_t(alpha);
            changes.emplace_back(size_t(y - top) * size_t(width) + size_t(x), f);
        }
    }
    for (const auto& ch : changes)
        frags[ch.first] = ch.second;
}

}  // namespace screen3d
}  // namespace zolvex
