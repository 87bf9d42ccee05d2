#include "tools/common/SampleEffect.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <new>
#include <vector>

namespace {

const double kPi = 3.14159265358979323846;
const int kS = kSampleSpriteSize;

struct Rgb {
    double r, g, b;
};

// Coverage of each pixel by a shape given as an inside test in pixel coordinates
// (x right, y down), from 4 × 4 samples per pixel.
std::vector<float> Coverage(const std::function<bool(double, double)>& inside)
{
    std::vector<float> c(size_t(kS) * kS);
    for (int y = 0; y < kS; ++y)
        for (int x = 0; x < kS; ++x) {
            int hits = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx)
                    hits += inside(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4);
            c[size_t(y) * kS + x] = hits / 16.0f;
        }
    return c;
}

// Box blur of radius r along rows and then columns; run twice it gives a soft halo.
std::vector<float> Blur(const std::vector<float>& in, int r)
{
    std::vector<float> tmp(in.size()), out(in.size());
    for (int pass = 0; pass < 2; ++pass) {
        const std::vector<float>& src = pass ? tmp : in;
        std::vector<float>& dst = pass ? out : tmp;
        for (int a = 0; a < kS; ++a)
            for (int b = 0; b < kS; ++b) {
                float sum = 0;
                for (int k = -r; k <= r; ++k) {
                    const int t = std::clamp(b + k, 0, kS - 1);
                    sum += pass ? src[size_t(t) * kS + a] : src[size_t(a) * kS + t];
                }
                dst[pass ? size_t(b) * kS + a : size_t(a) * kS + b] = sum / float(2 * r + 1);
            }
    }
    return out;
}

// A sprite from its coverage: the fill colour inside (fill(x, y)), a halo of the glow
// colour around it, straight alpha, rows top to bottom, blue-green-red-alpha.
std::vector<unsigned char> Paint(const std::vector<float>& cover, const std::function<Rgb(double, double)>& fill,
                                 Rgb glow, float glowStrength)
{
    const std::vector<float> halo = Blur(Blur(cover, 3), 3);
    std::vector<unsigned char> px(size_t(kS) * kS * 4);
    for (int y = 0; y < kS; ++y)
        for (int x = 0; x < kS; ++x) {
            const size_t i = size_t(y) * kS + x;
            const double c = cover[i];
            const double a = std::max(c, double(halo[i]) * glowStrength);
            unsigned char* p = &px[i * 4];
            if (a <= 0)
                continue;
            const Rgb f = fill(x + 0.5, y + 0.5);
            const double k = c / a;  // share of the fill in this pixel
            p[0] = uint8_t(std::lround(k * f.b + (1 - k) * glow.b));
            p[1] = uint8_t(std::lround(k * f.g + (1 - k) * glow.g));
            p[2] = uint8_t(std::lround(k * f.r + (1 - k) * glow.r));
            p[3] = uint8_t(std::lround(std::min(1.0, a) * 255));
        }
    return px;
}

bool InPolygon(const std::vector<double>& xy, double x, double y)
{
    bool in = false;
    const size_t n = xy.size() / 2;
    for (size_t i = 0, j = n - 1; i < n; j = i++) {
        const double xi = xy[2 * i], yi = xy[2 * i + 1], xj = xy[2 * j], yj = xy[2 * j + 1];
        if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi)
            in = !in;
    }
    return in;
}

// Frame k of 4 of the turning star: 18 degrees a frame is a quarter of its 72-degree
// symmetry, so the loop is seamless; it also breathes a little.
std::vector<unsigned char> StarFrame(int k)
{
    static const double kScale[4] = {1.0, 0.94, 0.88, 0.94};
    const double c = kS / 2.0, outer = kS * 0.36 * kScale[k], inner = outer * 0.45;
    const double turn = k * 18 * kPi / 180;
    std::vector<double> xy;
    for (int v = 0; v < 10; ++v) {
        const double r = v % 2 ? inner : outer, t = -kPi / 2 + turn + v * kPi / 5;
        xy.push_back(c + r * std::cos(t));
        xy.push_back(c + r * std::sin(t));
    }
    const auto cover = Coverage([&](double x, double y) { return InPolygon(xy, x, y); });
    const auto fill = [&](double x, double y) {
        const double d = std::min(1.0, std::hypot(x - c, y - c) / outer);
        return Rgb{255, 250 - 70 * d, 205 - 175 * d};
    };
    return Paint(cover, fill, Rgb{255, 235, 150}, 0.55f);
}

// Frame k of 4 of the beating heart.
std::vector<unsigned char> HeartFrame(int k)
{
    static const double kScale[4] = {0.82, 0.92, 1.0, 0.92};
    const double s = kS * 0.3 * kScale[k], cx = kS / 2.0, cy = kS / 2.0 - s * 0.1;
    const auto inside = [&](double x, double y) {
        const double u = (x - cx) / s, v = (cy - y) / s;
        const double q = u * u + v * v - 1;
        return q * q * q - u * u * v * v * v <= 0;
    };
    const auto fill = [&](double x, double y) {
        // Lighter towards the upper left, as if lit from there.
        const double l = std::clamp(0.5 - ((x - cx) + (y - cy)) / (3 * s), 0.0, 1.0);
        return Rgb{200 + 55 * l, 25 + 120 * l * l, 60 + 90 * l * l};
    };
    return Paint(Coverage(inside), fill, Rgb{255, 120, 160}, 0.5f);
}

// A figure of eight as a hand would draw it with the mouse in the 320 × 240 area:
// uneven speed along the stroke and a pixel of tremor.
void AddGuideLine(tagROMANCE_ACTOR* a, bool& ok)
{
    const int n = 144;
    for (int k = 0; k < n && ok; ++k) {
        const double u = 2 * kPi * k / n, t = u + 0.18 * std::sin(3 * u);
        const int x = int(std::lround(160 + 118 * std::sin(t) + std::sin(7.3 * k)));
        const int y = int(std::lround(122 + 72 * std::sin(2 * t) + std::cos(5.1 * k)));
        ok = a->pGuidePoints->Add(tagPOINT{x, y}) >= 0;
    }
    a->nGuidePoints = a->pGuidePoints->GetSize();
}

tagROMANCE_SYMBOL BaseSymbol()
{
    tagROMANCE_SYMBOL s = {};
    s.nOpacity = 200;
    s.nAngle = 180;
    s.fOriginX = s.fOriginY = 0.5f;
    s.fStretch = 1;
    s.nGuideSpeed = 12;
    s.nFrameRate = 12;
    s.fMotionSpeed = 1;
    s.nImageSource = -1;
    return s;
}

}  // namespace

tagROMANCE_EFFECT2* MakeSampleAnimationEffect()
{
    tagROMANCE_EFFECT2* e = NewAnimationEffect2();
    if (!e)
        return nullptr;
    e->guidEffect = kSampleEffectGuid;
    std::strcpy(e->szName0, "Stars and Hearts");
    std::strcpy(e->szName1, "Stars and Hearts");

    tagROMANCE_SYMBOL s[3] = {BaseSymbol(), BaseSymbol(), BaseSymbol()};
    // The star travels the guide line, about ten seconds a round.
    s[0].nOpacity = 235;
    s[0].bGuideLine = 1;
    s[0].fStretch = 1.1f;
    s[0].nGuideSpeed = 15;
    s[0].nFrameRate = 8;
    s[0].nMotion[0] = 1;
    // The heart drifts slowly to the upper left, swinging; nGuideSpeed is its time step
    // (one step a frame at 25 or 30 frames a second).
    s[1].nOpacity = 215;
    s[1].fOriginX = 0.76f;
    s[1].fOriginY = 0.34f;
    s[1].nGuideSpeed = 30;
    s[1].nFrameRate = 6;
    s[1].fSpeedX = -0.35f;
    s[1].fSpeedY = -0.2f;
    s[1].fMotionSpeed = 0.8f;
    s[1].nMotion[0] = 3;
    // A small spinning copy of the star wanders about and flickers.
    s[2].nOpacity = 190;
    s[2].nAngle = 200;
    s[2].fOriginX = 0.24f;
    s[2].fOriginY = 0.7f;
    s[2].fStretch = 0.6f;
    s[2].nGuideSpeed = 30;
    s[2].nFrameRate = 10;
    s[2].fRotateSpeed = 0.6f;
    s[2].fZoomSpeed = 0.005f;
    s[2].fMotionSpeed = 0.5f;
    s[2].nImageSource = 0;
    s[2].nMotion[0] = 2;
    s[2].nMotion[1] = 4;

    bool ok = true;
    for (int i = 0; i < 3 && ok; ++i) {
        tagROMANCE_SYMBOL* sym = new (std::nothrow) tagROMANCE_SYMBOL(s[i]);
        if (!sym || e->pSymbols->Add(sym) < 0) {
            delete sym;
            ok = false;
            break;
        }
        tagROMANCE_ACTOR* a = NewAnimationActor();
        if (!a || e->pActors->Add(a) < 0) {
            FreeAnimationActor(a);
            ok = false;
        }
    }
    try {
        for (int k = 0; k < 4 && ok; ++k)
            ok = AddActorFrame(e->pActors->GetAt(0), kS, kS, StarFrame(k).data()) &&
                 AddActorFrame(e->pActors->GetAt(1), kS, kS, HeartFrame(k).data());
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (ok)
        AddGuideLine(e->pActors->GetAt(0), ok);
    if (!ok) {
        FreeAnimationEffect(e);
        return nullptr;
    }
    e->nSymbols = 3;
    return e;
}
