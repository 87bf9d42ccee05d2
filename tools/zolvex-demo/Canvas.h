// A small floating-point drawing surface for the demo's pictures and movie frames:
// gradients, soft discs, rotated ellipses, shapes given by a radius per angle (stars,
// petals) and value noise for a photo-like texture. Channels run from 0 to 1; an
// optional alpha plane makes pictures with transparent parts (the animated GIF).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace zolvex {
namespace demomaker {

constexpr float kPi = 3.14159265358979f;

struct Rgb {
    float r, g, b;
};

inline float Clamp01(float v) { return v < 0.f ? 0.f : (v > 1.f ? 1.f : v); }

inline Rgb Mix(Rgb a, Rgb b, float t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

inline Rgb Scale(Rgb c, float k) { return {c.r * k, c.g * k, c.b * k}; }

inline float SmoothStep(float e0, float e1, float x)
{
    const float t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3.f - 2.f * t);
}

// A colour from hue (0..1 around the circle), saturation and value.
inline Rgb Hsv(float h, float s, float v)
{
    h = (h - std::floor(h)) * 6.f;
    const int i = int(h) % 6;
    const float f = h - std::floor(h);
    const float p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    switch (i) {
    case 0: return {v, t, p};
    case 1: return {q, v, p};
    case 2: return {p, v, t};
    case 3: return {p, q, v};
    case 4: return {t, p, v};
    default: return {v, p, q};
    }
}

// Deterministic pseudo-random numbers from integers, the same on every machine.
inline uint32_t Hash(uint32_t a, uint32_t b = 0)
{
    uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

inline float Random01(uint32_t a, uint32_t b = 0) { return float(Hash(a, b) & 0xFFFFFF) / float(0xFFFFFF); }

// Smooth value noise in 0..1 on an integer lattice.
inline float ValueNoise(float x, float y, uint32_t seed)
{
    const float fx = std::floor(x), fy = std::floor(y);
    const int ix = int(fx), iy = int(fy);
    float u = x - fx, v = y - fy;
    u = u * u * (3 - 2 * u);
    v = v * v * (3 - 2 * v);
    auto at = [&](int i, int j) { return Random01(uint32_t(i) * 73856093u ^ uint32_t(j) * 19349663u, seed); };
    const float a = at(ix, iy), b = at(ix + 1, iy), c = at(ix, iy + 1), d = at(ix + 1, iy + 1);
    return (a + (b - a) * u) + ((c + (d - c) * u) - (a + (b - a) * u)) * v;
}

// Several octaves of value noise (a fractal texture), in 0..1.
inline float Fbm(float x, float y, uint32_t seed, int octaves = 5)
{
    float sum = 0, amplitude = 0.5f, total = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * ValueNoise(x, y, seed + uint32_t(o) * 101u);
        total += amplitude;
        x *= 2.03f;
        y *= 2.03f;
        amplitude *= 0.5f;
    }
    return sum / total;
}

class Canvas {
public:
    Canvas(int width, int height, bool withAlpha = false)
        : width_(width), height_(height), pixels_(size_t(width) * height, Rgb{0, 0, 0}),
          alpha_(withAlpha ? size_t(width) * height : 0, 0.f)
    {
    }

    int Width() const { return width_; }
    int Height() const { return height_; }
    Rgb& At(int x, int y) { return pixels_[size_t(y) * width_ + x]; }
    const Rgb& At(int x, int y) const { return pixels_[size_t(y) * width_ + x]; }

    // Every pixel from colour(x, y) (pixel centres).
    template <class F>
    void Fill(F colour)
    {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                At(x, y) = colour(x + 0.5f, y + 0.5f);
    }

    // Lays colour c over pixel (x, y) with opacity a (coverage times alpha).
    void Blend(int x, int y, Rgb c, float a)
    {
        if (x < 0 || y < 0 || x >= width_ || y >= height_ || a <= 0.f)
            return;
        a = std::min(a, 1.f);
        const size_t i = size_t(y) * width_ + x;
        Rgb& p = pixels_[i];
        if (alpha_.empty()) {
            p = Mix(p, c, a);
            return;
        }
        // Straight alpha "over": the colour below counts by its own opacity.
        const float below = alpha_[i] * (1.f - a), out = a + below;
        if (out > 0.f)
            p = {(c.r * a + p.r * below) / out, (c.g * a + p.g * below) / out, (c.b * a + p.b * below) / out};
        alpha_[i] = out;
    }

    // A shape over its bounding box: cover(x, y) gives the opacity at a pixel centre.
    template <class F>
    void Shape(float left, float top, float right, float bottom, F cover)
    {
        const int x0 = std::max(0, int(std::floor(left))), x1 = std::min(width_ - 1, int(std::ceil(right)));
        const int y0 = std::max(0, int(std::floor(top))), y1 = std::min(height_ - 1, int(std::ceil(bottom)));
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                Rgb c;
                const float a = cover(x + 0.5f, y + 0.5f, c);
                if (a > 0.f)
                    Blend(x, y, c, a);
            }
    }

    // A disc whose edge fades over `soft` pixels (1 gives a crisp, smoothed edge).
    void Disc(float cx, float cy, float r, Rgb c, float alpha, float soft = 1.f)
    {
        const float reach = r + soft;
        Shape(cx - reach, cy - reach, cx + reach, cy + reach, [&](float x, float y, Rgb& out) {
            const float d = std::hypot(x - cx, y - cy);
            out = c;
            return alpha * Clamp01((r - d) / soft + 0.5f);
        });
    }

    // A disc shaded by shade(dx, dy) with the offset from the centre in units of r
    // (the unit disc); shade returns the colour and sets the opacity there.
    template <class F>
    void ShadedDisc(float cx, float cy, float r, float alpha, F shade)
    {
        Shape(cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1, [&](float x, float y, Rgb& out) {
            const float dx = (x - cx) / r, dy = (y - cy) / r;
            const float edge = Clamp01((r - std::hypot(x - cx, y - cy)) + 0.5f);
            if (edge <= 0.f)
                return 0.f;
            float a = alpha;
            out = shade(dx, dy, a);
            return edge * a;
        });
    }

    // An ellipse with half-axes rx, ry turned by `angle` radians.
    void Ellipse(float cx, float cy, float rx, float ry, float angle, Rgb c, float alpha, float soft = 1.f)
    {
        const float ca = std::cos(angle), sa = std::sin(angle), reach = std::max(rx, ry) + soft;
        Shape(cx - reach, cy - reach, cx + reach, cy + reach, [&](float x, float y, Rgb& out) {
            const float u = ((x - cx) * ca + (y - cy) * sa) / rx, v = (-(x - cx) * sa + (y - cy) * ca) / ry;
            const float d = std::sqrt(u * u + v * v);
            // Distance to the edge in pixels, from the gradient of d.
            const float g = std::sqrt(u * u / (rx * rx) + v * v / (ry * ry)) / std::max(d, 1e-6f);
            out = c;
            return alpha * Clamp01((1.f - d) / std::max(g, 1e-6f) / soft + 0.5f);
        });
    }

    // A shape given by its radius at each angle (radius(theta), theta in radians
    // from the x axis, the shape turned by `angle`), at most maxRadius.
    template <class R>
    void PolarShape(float cx, float cy, float maxRadius, float angle, Rgb c, float alpha, R radius)
    {
        Shape(cx - maxRadius - 1, cy - maxRadius - 1, cx + maxRadius + 1, cy + maxRadius + 1,
              [&](float x, float y, Rgb& out) {
                  const float dx = x - cx, dy = y - cy;
                  const float rho = std::hypot(dx, dy);
                  out = c;
                  return alpha * Clamp01(radius(std::atan2(dy, dx) - angle) - rho + 0.5f);
              });
    }

    // Red-green-blue bytes, top row first.
    std::vector<unsigned char> Rgb24() const
    {
        std::vector<unsigned char> out(pixels_.size() * 3);
        for (size_t i = 0; i < pixels_.size(); ++i) {
            out[i * 3] = Byte(pixels_[i].r);
            out[i * 3 + 1] = Byte(pixels_[i].g);
            out[i * 3 + 2] = Byte(pixels_[i].b);
        }
        return out;
    }

    // Red-green-blue-alpha bytes, top row first; with `binaryAlpha` every pixel is
    // either opaque or clear (what a GIF can hold).
    std::vector<unsigned char> Rgba32(bool binaryAlpha) const
    {
        std::vector<unsigned char> out(pixels_.size() * 4);
        for (size_t i = 0; i < pixels_.size(); ++i) {
            float a = alpha_.empty() ? 1.f : alpha_[i];
            if (binaryAlpha)
                a = a >= 0.5f ? 1.f : 0.f;
            out[i * 4] = a > 0.f ? Byte(pixels_[i].r) : 0;
            out[i * 4 + 1] = a > 0.f ? Byte(pixels_[i].g) : 0;
            out[i * 4 + 2] = a > 0.f ? Byte(pixels_[i].b) : 0;
            out[i * 4 + 3] = Byte(a);
        }
        return out;
    }

private:
    static unsigned char Byte(float v) { return (unsigned char)std::lround(Clamp01(v) * 255.f); }

    int width_, height_;
    std::vector<Rgb> pixels_;
    std::vector<float> alpha_;
};

}  // namespace demomaker
}  // namespace zolvex
