// The shapes of the 3D screen: which surface each style bends the picture onto, and
// the surface itself as a function of the picture position (u, v), both in [0, 1] from
// the top-left corner. Internal to Screen3D.cpp.
#pragma once

#include <algorithm>
#include <cmath>

namespace zolvex {
namespace screen3d {

enum class Shape { Plane, Fold, Cylinder, Wave, Sphere };

// One style: a shape, its bend and the angles it is seen at. The item's three
// parameters are added on top: tilt, turn, and bend (roll for the plane), in degrees.
struct StyleInfo {
    const char* name;
    Shape shape;
    float tilt;   // about the horizontal axis; positive leans the top away
    float turn;   // about the vertical axis; positive turns the right side away
    float roll;   // about the viewing axis
    float bend;   // fold angle, cylinder arc, wave slope or sphere arc
    float scale;  // picture width against the frame width, before the bend
    int waves;    // wave shape: whole waves across the picture
    bool across;  // the bend runs from top to bottom instead of left to right
};

inline constexpr int kStyleCount = 25;

inline constexpr StyleInfo kStyles[kStyleCount] = {
    {"Flat", Shape::Plane, 0, 0, 0, 0, 0.8f, 0, false},
    {"Lean back", Shape::Plane, 40, 0, 0, 0, 0.8f, 0, false},
    {"Turn right", Shape::Plane, 0, 40, 0, 0, 0.72f, 0, false},
    {"Turn left", Shape::Plane, 0, -40, 0, 0, 0.72f, 0, false},
    {"Askew", Shape::Plane, 25, -30, 8, 0, 0.68f, 0, false},
    {"Open book", Shape::Fold, 0, 0, 0, 70, 0.8f, 0, false},
    {"Ridge", Shape::Fold, 0, 0, 0, -60, 0.72f, 0, false},
    {"Book turned", Shape::Fold, 0, 30, 0, 80, 0.8f, 0, false},
    {"Laptop", Shape::Fold, 10, 0, 0, 80, 0.8f, 0, true},
    {"Tent", Shape::Fold, 20, -25, 0, -70, 0.7f, 0, false},
    {"Curved", Shape::Cylinder, 0, 0, 0, 100, 0.8f, 0, false},
    {"Cinema", Shape::Cylinder, 0, 0, 0, -90, 0.7f, 0, false},
    {"Column", Shape::Cylinder, 0, 0, 0, 200, 0.85f, 0, false},
    {"Rolled", Shape::Cylinder, 0, 0, 0, 120, 0.8f, 0, true},
    {"Drum", Shape::Cylinder, 15, 30, 0, 150, 0.8f, 0, false},
    {"Ripple", Shape::Wave, 0, 0, 0, 25, 0.8f, 2, false},
    {"Swell", Shape::Wave, 20, 0, 0, 40, 0.72f, 1, false},
    {"Flag", Shape::Wave, 0, 25, 0, 30, 0.75f, 3, false},
    {"Waves across", Shape::Wave, 0, 0, 0, 30, 0.8f, 2, true},
    {"Wind", Shape::Wave, -15, -20, 0, 45, 0.7f, 2, false},
    {"Dome", Shape::Sphere, 0, 0, 0, 120, 0.8f, 0, false},
    {"Bowl", Shape::Sphere, 0, 0, 0, -110, 0.7f, 0, false},
    {"Globe", Shape::Sphere, 0, 0, 0, 220, 0.85f, 0, false},
    {"Tilted dome", Shape::Sphere, 25, -25, 0, 150, 0.8f, 0, false},
    {"Lens", Shape::Sphere, 0, 0, 0, 70, 0.85f, 0, false},
};

constexpr double kPi = 3.14159265358979323846;

// An angle in degrees as the items carry it: NaN and infinity count as 0, and whole
// turns are dropped so that huge values keep their meaning without losing precision.
inline double SaneDegrees(double deg)
{
    return std::isfinite(deg) ? std::fmod(deg, 360.0) : 0.0;
}

// A style's surface, sized in frame pixels: a × b is half the picture before the bend.
struct Surface {
    Shape shape = Shape::Plane;
    double a = 1, b = 1;
    double bend = 0;  // radians
    int waves = 1;
    bool across = false;

    // Point and normal of the surface at (u, v); the picture centre is at the origin,
    // y runs up and z away from the viewer. Curved shapes bulge towards the viewer
    // for a positive bend. `side` tells which half of a fold (u or v) is meant, so that
    // both halves can share the crease with their own normals.
    void At(double u, double v, int side, double p[3], double n[3]) const
    {
        // s runs along the bend, t across it; both centred.
        double s = (u - 0.5) * 2 * a, t = (0.5 - v) * 2 * b, half = a;
        if (across) {
            s = (0.5 - v) * 2 * b;
            t = (u - 0.5) * 2 * a;
            half = b;
        }
        double ps = s, pz = 0, ns = 0, nz = -1;  // along the bend, depth
        switch (shape) {
        case Shape::Plane:
            break;
        case Shape::Fold: {
            const double h = bend / 2, sign = side < 0 ? -1.0 : 1.0;
            ps = s * std::cos(h);
            pz = std::fabs(s) * std::sin(h);
            ns = sign * std::sin(h);
            nz = -std::cos(h);
            break;
        }
        case Shape::Cylinder:
            if (std::fabs(bend) > 1e-4) {
                const double r = 2 * half / bend, al = s / r;
                const double sh = std::sin(al / 2);
                ps = r * std::sin(al);
                pz = 2 * r * sh * sh;  // r (1 − cos al) without the cancellation
                ns = std::sin(al);
                nz = -std::cos(al);
            }
            break;
        case Shape::Wave: {
            const double k = kPi * waves / half;  // radians per pixel along the bend
            const double amp = std::tan(bend) / k;
            pz = amp * std::sin(k * s);
            const double slope = amp * k * std::cos(k * s);
            const double len = std::sqrt(1 + slope * slope);
            ns = slope / len;
            nz = -1 / len;
            break;
        }
        case Shape::Sphere:
            if (std::fabs(bend) > 1e-4) {
                // Longitude along u, latitude along v, on a sphere whose equator keeps
                // the picture width; the latitude stops short of the poles.
                const double r = 2 * a / bend;
                const double lonSpan = bend;
                double latSpan = bend * b / a;
                const double cap = 170 * kPi / 180;
                latSpan = std::max(-cap, std::min(cap, latSpan));
                const double lon = (u - 0.5) * lonSpan, lat = (0.5 - v) * latSpan;
                const double cl = std::cos(lat), sl = std::sin(lat), so = std::sin(lon);
                const double sh = std::sin(lon / 2);
                p[0] = r * cl * so;
                p[1] = r * sl;
                p[2] = r * (1 - cl) + r * cl * 2 * sh * sh;  // r (1 − cos lat cos lon)
                n[0] = cl * so;
                n[1] = sl;
                n[2] = -cl * std::cos(lon);
                return;
            }
            break;
        }
        if (across) {
            p[0] = t, p[1] = ps, p[2] = pz;
            n[0] = 0, n[1] = ns, n[2] = nz;
        } else {
            p[0] = ps, p[1] = t, p[2] = pz;
            n[0] = ns, n[1] = 0, n[2] = nz;
        }
    }

    // Cells of the mesh along the bend (and across it, for the sphere): enough that
    // the facets stay under about a pixel away from the true surface.
    int CellsAlong() const
    {
        const double deg = std::fabs(bend) * 180 / kPi;
        switch (shape) {
        case Shape::Plane:
            return 1;
        case Shape::Fold:
            return 2;
        case Shape::Cylinder:
            return std::max(8, std::min(96, int(deg / 3)));
        case Shape::Wave:
            return std::max(16, std::min(160, 24 * waves));
        case Shape::Sphere:
            return std::max(12, std::min(72, int(deg / 3)));
        }
        return 1;
    }
    int CellsAcross() const
    {
        if (shape == Shape::Sphere) {
            const double deg = std::min(170.0, std::fabs(bend) * 180 / kPi * b / a);
            return std::max(8, std::min(64, int(deg / 3)));
        }
        return 1;
    }
};

// The surface of style `style` (0–24) for a frame of width × height pixels with the
// item's parameters added; out-of-range amounts are clamped to what the shape can show.
inline Surface MakeSurface(int style, const float params[3], int width, int height, double angles[3])
{
    const StyleInfo& st = kStyles[style];
    Surface sf;
    sf.shape = st.shape;
    sf.a = st.scale * width / 2.0;
    sf.b = st.scale * height / 2.0;
    sf.waves = std::max(1, st.waves);
    sf.across = st.across;
    angles[0] = SaneDegrees(st.tilt + SaneDegrees(params[0]));
    angles[1] = SaneDegrees(st.turn + SaneDegrees(params[1]));
    angles[2] = st.roll;
    double bend = st.bend + SaneDegrees(params[2]);
    switch (st.shape) {
    case Shape::Plane:
        angles[2] = SaneDegrees(st.roll + SaneDegrees(params[2]));
        bend = 0;
        break;
    case Shape::Fold:
        bend = std::max(-170.0, std::min(170.0, bend));
        break;
    case Shape::Cylinder:
        bend = std::max(-340.0, std::min(340.0, bend));
        break;
    case Shape::Wave:
        bend = std::max(-75.0, std::min(75.0, bend));
        break;
    case Shape::Sphere:
        bend = std::max(-300.0, std::min(300.0, bend));
        break;
    }
    sf.bend = bend * kPi / 180;
    return sf;
}

}  // namespace screen3d
}  // namespace zolvex
