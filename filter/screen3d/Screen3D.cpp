// 3D screen items: the scene picture laid on a bent or turned surface and seen in
// perspective, over the item's background and the mask of its style.
//
// Pixel layouts of what the studio hands over:
// - masks (SideLists::pMasks, sizes in pMaskSizes): 4 bytes a pixel, blue, green, red,
//   alpha (straight, not premultiplied), rows bottom-up without padding, like every
//   frame buffer here. A mask whose alpha bytes are all 0 is taken as opaque: it was
//   written as a plain 32-bit picture.
// - backgrounds (the picture list): complete picture files; their alpha is kept, so a
//   background with transparent parts lets the mask and the scene show through.
//
// Drawing order per item: the mask stretched over the frame, the background over the
// whole frame, then the picture on its shape.
#include "filter/screen3d/Screen3D.h"

#define cimg_display 0
#define cimg_verbosity 0
#include <CImg.h>
#include <Magick++.h>

#include "filter/media/MagickReady.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "filter/common/RowSlices.h"
#include "filter/screen3d/ScreenRaster.h"
#include "filter/screen3d/ScreenShapes.h"

namespace zolvex {
namespace {

using cimg_library::CImg;
using namespace screen3d;

constexpr int kBackgroundWidth = 720, kBackgroundHeight = 480;  // what is taken of a background
constexpr int kMaxSide = 16384;
constexpr int64_t kMaxPixels = int64_t(1) << 26;
constexpr int64_t kMaxDecodePixels = 40000000;  // a larger background is refused undecoded
constexpr int kBandRows = 32;

bool SaneSize(int64_t w, int64_t h)
{
    return w > 0 && h > 0 && w <= kMaxSide && h <= kMaxSide && w * h <= kMaxPixels;
}

inline unsigned Div255(unsigned x)
{
    x += 128;
    return (x + (x >> 8)) >> 8;
}

// A picture ready to be laid over the frame: planes blue, green, red and alpha,
// premultiplied, rows top to bottom.
struct Overlay {
    CImg<unsigned char> planes;
    bool opaque = true;

    int Width() const { return planes.width(); }
    int Height() const { return planes.height(); }

    void FindOpacity()
    {
        const unsigned char* a = planes.data(0, 0, 0, 3);
        opaque = std::all_of(a, a + size_t(Width()) * size_t(Height()), [](unsigned char x) { return x == 255; });
    }

    // Premultiplies the colour planes by the alpha plane.
    void Premultiply()
    {
        const size_t n = size_t(Width()) * size_t(Height());
        const unsigned char* a = planes.data(0, 0, 0, 3);
        for (int c = 0; c < 3; ++c) {
            unsigned char* p = planes.data(0, 0, 0, c);
            for (size_t k = 0; k < n; ++k)
                p[k] = (unsigned char)Div255(unsigned(p[k]) * a[k]);
        }
        FindOpacity();
    }

    // Lays row y over one surface row of the same width.
    void BlendRow(int y, unsigned char* d) const
    {
        const int w = Width();
        const unsigned char* b = planes.data(0, y, 0, 0);
        const unsigned char* g = planes.data(0, y, 0, 1);
        const unsigned char* r = planes.data(0, y, 0, 2);
        const unsigned char* a = planes.data(0, y, 0, 3);
        if (opaque) {
            for (int x = 0; x < w; ++x, d += 4) {
                d[0] = b[x];
                d[1] = g[x];
                d[2] = r[x];
                d[3] = 255;
            }
            return;
        }
        for (int x = 0; x < w; ++x, d += 4) {
            const unsigned rest = 255u - a[x];
            if (rest == 255)
                continue;
            d[0] = (unsigned char)(b[x] + Div255(d[0] * rest));
            d[1] = (unsigned char)(g[x] + Div255(d[1] * rest));
            d[2] = (unsigned char)(r[x] + Div255(d[2] * rest));
        }
    }
};

// What pBackground holds.
struct Background {
    Overlay picture;  // frame size
};

// What pMaskPicture holds: the mask as made from its pixels, and the same stretched
// to the frame size it was last drawn at.
struct MaskPicture {
    int index = -1;
    Overlay mask;
    Overlay stretched;
};

template <class T>
bool ElementOf(const CTavmArray<T>* list, int index, T& value)
{
    if (!list || index < 0 || index >= list->GetSize())
        return false;
    CTavmArrayReader<T> reader(list);  // leaves the cursor alone: the studio may read too
    for (int k = 0; k <= index; ++k)
        if (!reader.Next(value))
            return false;
    return true;
}

bool EnsureMagick()
{
    return magick::EnsureReady();
}

// Decodes a picture file held in memory and returns its top-left 720 × 480 pixels
// (or what it has of them) as straight blue-green-red-alpha, top row first.
bool DecodeTopLeft(const unsigned char* data, size_t bytes, std::vector<unsigned char>& pixels, int& w, int& h)
{
    if (!data || bytes == 0)
        return false;
    try {
        if (!EnsureMagick())
            return false;
        const Magick::Blob blob(data, bytes);
        Magick::Image probe;
        probe.quiet(true);
        probe.ping(blob);  // the size alone, so that a huge picture is refused undecoded
        const int64_t cols = probe.columns(), rows = probe.rows();
        if (cols <= 0 || rows <= 0 || cols > 65535 || rows > 65535 || cols * rows > kMaxDecodePixels)
            return false;
        Magick::Image picture;
        picture.quiet(true);
        picture.read(blob);
        if (picture.columns() == 0 || picture.rows() == 0)
            return false;
        if (picture.colorSpace() != Magick::RGBColorspace)
            picture.colorSpace(Magick::RGBColorspace);  // CMYK and YCbCr pictures
        w = int(std::min<int64_t>(picture.columns(), kBackgroundWidth));
        h = int(std::min<int64_t>(picture.rows(), kBackgroundHeight));
        pixels.assign(size_t(w) * size_t(h) * 4, 0);
        picture.write(0, 0, unsigned(w), unsigned(h), "BGRA", Magick::CharPixel, pixels.data());
        return true;
    } catch (...) {
        return false;
    }
}

// Nearest neighbour, sampled at the centres of the destination pixels.
Background* MakeBackground(const std::vector<unsigned char>& src, int sw, int sh, int width, int height)
{
    std::unique_ptr<Background> bg(new Background);
    CImg<unsigned char>& p = bg->picture.planes;
    p.assign(width, height, 1, 4);
    std::vector<int> cols(size_t(width), 0);
    for (int x = 0; x < width; ++x)
        cols[size_t(x)] = int((int64_t(2 * x + 1) * sw) / (2 * int64_t(width)));
    for (int y = 0; y < height; ++y) {
        const int sy = int((int64_t(2 * y + 1) * sh) / (2 * int64_t(height)));
        const unsigned char* row = &src[size_t(sy) * size_t(sw) * 4];
        for (int c = 0; c < 4; ++c) {
            unsigned char* d = p.data(0, y, 0, c);
            for (int x = 0; x < width; ++x)
                d[x] = row[size_t(cols[size_t(x)]) * 4 + size_t(c)];
        }
    }
    bg->picture.Premultiply();
    return bg.release();
}

// The mask of the item's style, made on first use and stretched to the frame; null
// when the style has no mask or the mask list lacks it.
const Overlay* MaskFor(ScreenOp& item, const SideLists& sides, int width, int height)
{
    const int index = item.nStyle % 4 - 1;  // 1, 5, … 21 → 0; 2, … 22 → 1; 3, … 23 → 2
    if (index < 0)
        return nullptr;
    auto* cached = static_cast<MaskPicture*>(item.pMaskPicture);
    if (cached && cached->index != index) {
        delete cached;
        item.pMaskPicture = cached = nullptr;
    }
    if (!cached) {
        void* pixels = nullptr;
        tagSIZE size{};
        if (!ElementOf(sides.pMasks, index, pixels) || !ElementOf(sides.pMaskSizes, index, size) || !pixels ||
            !SaneSize(size.cx, size.cy))
            return nullptr;
        std::unique_ptr<MaskPicture> made(new MaskPicture);
        made->index = index;
        const int mw = size.cx, mh = size.cy;
        const auto* src = static_cast<const unsigned char*>(pixels);
        CImg<unsigned char>& p = made->mask.planes;
        p.assign(mw, mh, 1, 4);
        bool anyAlpha = false;
        for (int y = 0; y < mh; ++y) {
            const unsigned char* s = src + size_t(mh - 1 - y) * size_t(mw) * 4;
            for (int c = 0; c < 4; ++c) {
                unsigned char* d = p.data(0, y, 0, c);
                for (int x = 0; x < mw; ++x)
                    d[x] = s[size_t(x) * 4 + size_t(c)];
            }
            const unsigned char* a = p.data(0, y, 0, 3);
            anyAlpha = anyAlpha || std::any_of(a, a + mw, [](unsigned char v) { return v != 0; });
        }
        if (!anyAlpha)
            p.get_shared_channel(3).fill(255);
        made->mask.Premultiply();
        item.pMaskPicture = cached = made.release();
    }
    Overlay& st = cached->stretched;
    if (st.Width() != width || st.Height() != height) {
        // Stretched from (−1, −1) over (width + 2) × (height + 2), so that the mask's
        // outermost pixels fall just outside the frame.
        const CImg<unsigned char>& m = cached->mask.planes;
        const bool shrink = m.width() > 2 * (width + 2) || m.height() > 2 * (height + 2);
        st.planes = m.get_resize(width + 2, height + 2, 1, 4, shrink ? 2 : 3).crop(1, 1, width, height);
        st.FindOpacity();
    }
    return st.Width() == width && st.Height() == height ? &st : nullptr;
}

// The background at the frame size; a frame size changed since the item was prepared
// resamples the prepared one.
const Overlay* BackgroundFor(ScreenOp& item, int width, int height)
{
    auto* bg = static_cast<Background*>(item.pBackground);
    if (!bg || bg->picture.planes.is_empty())
        return nullptr;
    Overlay& p = bg->picture;
    if (p.Width() != width || p.Height() != height) {
        p.planes.resize(width, height, 1, 4, 1);
        p.FindOpacity();
    }
    if (p.Width() != width || p.Height() != height)
        return nullptr;
    return &p;
}

// The item's surface as projected triangles for a width × height frame.
void BuildTriangles(const ScreenOp& item, int width, int height, std::vector<Triangle>& out)
{
    double angles[3];
    const Surface sf = MakeSurface(item.nStyle, item.afParams, width, height, angles);

    // A margin of about two pixels beyond the picture's edges, where they fade out.
    const double eu = 1 / sf.a, ev = 1 / sf.b;
    struct Patch {
        double u0, u1, v0, v1;
        int cu, cv, side;
    };
    std::vector<Patch> patches;
    const int along = sf.CellsAlong();
    if (sf.shape == Shape::Fold) {
        if (sf.across) {
            patches.push_back({-eu, 1 + eu, -ev, 0.5, 1, 1, 1});
            patches.push_back({-eu, 1 + eu, 0.5, 1 + ev, 1, 1, -1});
        } else {
            patches.push_back({-eu, 0.5, -ev, 1 + ev, 1, 1, -1});
            patches.push_back({0.5, 1 + eu, -ev, 1 + ev, 1, 1, 1});
        }
    } else if (sf.shape == Shape::Sphere) {
        patches.push_back({-eu, 1 + eu, -ev, 1 + ev, along, sf.CellsAcross(), 1});
    } else if (sf.across) {
        patches.push_back({-eu, 1 + eu, -ev, 1 + ev, 1, along, 1});
    } else {
        patches.push_back({-eu, 1 + eu, -ev, 1 + ev, along, 1, 1});
    }

    // Turned about the picture's own vertical axis first, then leaned, then rolled.
    const CImg<double> rotation = CImg<double>::rotation_matrix(0, 0, 1, float(angles[2])) *
                                  CImg<double>::rotation_matrix(1, 0, 0, float(angles[0])) *
                                  CImg<double>::rotation_matrix(0, 1, 0, float(-angles[1]));
    // Seen from a distance that shows an unturned picture at its own size.
    const double distance = 1.3 * std::max(width, height), nearest = 0.05 * distance;
    const double cx = width / 2.0, cy = height / 2.0;

    std::vector<RasterVertex> verts;
    for (const Patch& pt : patches) {
        const int nu = pt.cu + 1, nv = pt.cv + 1;
        CImg<double> points(nu * nv, 3), normals(nu * nv, 3);
        std::vector<double> us(size_t(nu) * nv), vs(size_t(nu) * nv);
        for (int j = 0; j < nv; ++j)
            for (int i = 0; i < nu; ++i) {
                const int k = j * nu + i;
                const double u = pt.u0 + (pt.u1 - pt.u0) * i / pt.cu, v = pt.v0 + (pt.v1 - pt.v0) * j / pt.cv;
                double p[3], n[3];
                sf.At(u, v, pt.side, p, n);
                for (int c = 0; c < 3; ++c) {
                    points(k, c) = p[c];
                    normals(k, c) = n[c];
                }
                us[size_t(k)] = u;
                vs[size_t(k)] = v;
            }
        const CImg<double> turned = rotation * points, turnedNormals = rotation * normals;
        verts.resize(size_t(nu) * nv);
        for (int k = 0; k < nu * nv; ++k) {
            const double z = turned(k, 2) + distance;
            RasterVertex& rv = verts[size_t(k)];
            rv.u = us[size_t(k)];
            rv.v = vs[size_t(k)];
            const double nx = turnedNormals(k, 0), ny = turnedNormals(k, 1), nz = turnedNormals(k, 2);
            const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
            // Lit from the viewer: facing surfaces keep their colours, both sides alike.
            rv.shade = std::min(1.0, 0.45 + 0.55 * (len > 0 ? std::fabs(nz) / len : 1.0));
            if (!(z > nearest)) {
                rv.w = -1;  // triangles touching it are dropped
                rv.x = rv.y = 0;
                continue;
            }
            rv.w = 1 / z;
            rv.x = cx + distance * turned(k, 0) / z;
            rv.y = cy - distance * turned(k, 1) / z;
        }
        for (int j = 0; j < pt.cv; ++j)
            for (int i = 0; i < pt.cu; ++i) {
                const RasterVertex* a = &verts[size_t(j * nu + i)];
                const RasterVertex* b = a + 1;
                const RasterVertex* c = a + nu + 1;
                const RasterVertex* d = a + nu;
                Triangle t;
                if (out.size() < kMaxTriangles && SetupTriangle(a, b, c, width, height, t))
                    out.push_back(t);
                if (out.size() < kMaxTriangles && SetupTriangle(a, c, d, width, height, t))
                    out.push_back(t);
            }
    }
}

// The scene picture (bottom-up blue-green-red) sampled bilinearly at the fragments of
// one surface row, shaded and laid over it.
void ShadeRow(const Fragment* f, unsigned char* d, int width, const unsigned char* scene, int sw, int sh)
{
    const size_t texStride = size_t(sw) * 3;
    const float maxX = float(sw - 1), maxY = float(sh - 1);
    for (int x = 0; x < width; ++x, d += 4) {
        const Fragment& fr = f[x];
        if (!(fr.w > 0))
            continue;
        const float tx = std::max(0.0f, std::min(maxX, fr.u * float(sw) - 0.5f));
        const float ty = std::max(0.0f, std::min(maxY, fr.v * float(sh) - 0.5f));
        const int ix = int(tx), iy = int(ty);
        const unsigned fx = unsigned((tx - float(ix)) * 256), fy = unsigned((ty - float(iy)) * 256);
        const int ix1 = std::min(ix + 1, sw - 1), iy1 = std::min(iy + 1, sh - 1);
        const unsigned char* r0 = scene + size_t(sh - 1 - iy) * texStride;  // bottom-up rows
        const unsigned char* r1 = scene + size_t(sh - 1 - iy1) * texStride;
        const unsigned char* p00 = r0 + size_t(ix) * 3;
        const unsigned char* p01 = r0 + size_t(ix1) * 3;
        const unsigned char* p10 = r1 + size_t(ix) * 3;
        const unsigned char* p11 = r1 + size_t(ix1) * 3;
        const unsigned w00 = (256 - fx) * (256 - fy), w01 = fx * (256 - fy), w10 = (256 - fx) * fy, w11 = fx * fy;
        unsigned texel[3];
        for (int c = 0; c < 3; ++c)
            texel[c] = (p00[c] * w00 + p01[c] * w01 + p10[c] * w10 + p11[c] * w11 + 32768) >> 16;
        const unsigned shade = fr.shade, alpha = fr.alpha;
        if (alpha == 255) {
            for (int c = 0; c < 3; ++c)
                d[c] = (unsigned char)(shade == 255 ? texel[c] : Div255(texel[c] * shade));
            continue;
        }
        for (int c = 0; c < 3; ++c)
            d[c] = (unsigned char)Div255(Div255(texel[c] * shade) * alpha + d[c] * (255u - alpha));
    }
}

}  // namespace

void ReleaseScreenItem(ScreenOp& item)
{
    delete static_cast<MaskPicture*>(item.pMaskPicture);
    delete static_cast<Background*>(item.pBackground);
    item.pMaskPicture = nullptr;
    item.pBackground = nullptr;
}

void PrepareScreenItem(ScreenOp& item, const PictureList* pictures, int width, int height)
{
    ReleaseScreenItem(item);
    // Items that are never drawn keep no background.
    if (item.nStyle < 0 || item.nStyle >= kScreenStyles || !SaneSize(width, height))
        return;
    PictureBlock block{};
    if (!ElementOf(pictures, item.nStyle, block))
        return;
    std::vector<unsigned char> pixels;
    int w = 0, h = 0;
    if (!DecodeTopLeft(block.pData, block.nBytes, pixels, w, h))
        return;
    try {
        item.pBackground = MakeBackground(pixels, w, h, width, height);
    } catch (...) {  // out of memory, from CImg or new: the item goes without
        item.pBackground = nullptr;
    }
}

void DrawScreenItem(CompositionSurface& surface, ScreenOp& item, const SideLists& sides,
                    const unsigned char* scenePicture, int width, int height)
{
    if (!surface.Valid() || item.nStyle < 0 || item.nStyle >= kScreenStyles)
        return;
    const int sw = surface.Width(), sh = surface.Height();
    // Whatever cannot be made for want of memory is left out.
    const Overlay* mask = nullptr;
    const Overlay* background = nullptr;
    std::vector<Triangle> triangles;
    try {
        mask = MaskFor(item, sides, sw, sh);
    } catch (...) {
    }
    try {
        background = BackgroundFor(item, sw, sh);
    } catch (...) {
    }
    try {
        if (scenePicture && SaneSize(width, height))
            BuildTriangles(item, sw, sh, triangles);
    } catch (...) {
        triangles.clear();
    }
    if (!mask && !background && triangles.empty())
        return;

    surface.Flush();
    unsigned char* pixels = surface.Pixels();
    const int stride = surface.Stride();
    if (!pixels)
        return;
    RunRowSlices(sh, int64_t(sw) * 64, [&](int first, int last) {
        static thread_local std::vector<Fragment> frags;
        static thread_local std::vector<std::pair<size_t, Fragment>> changes;
        static thread_local std::vector<uint8_t> cover;
        for (int top = first; top < last; top += kBandRows) {
            const int rows = std::min(kBandRows, last - top);
            for (int y = top; y < top + rows; ++y) {
                unsigned char* d = pixels + size_t(y) * size_t(stride);
                if (mask)
                    mask->BlendRow(y, d);
                if (background)
                    background->BlendRow(y, d);
            }
            if (triangles.empty())
                continue;
            // One row more above and below, for the outline's neighbours.
            const int bufTop = std::max(0, top - 1), bufRows = std::min(sh, top + rows + 1) - bufTop;
            const size_t need = size_t(bufRows) * size_t(sw);
            try {
                if (frags.size() < need)
                    frags.resize(need);
            } catch (...) {
                continue;
            }
            std::memset(static_cast<void*>(frags.data()), 0, need * sizeof(Fragment));
            for (size_t k = 0; k < triangles.size(); ++k) {
                const Triangle& t = triangles[k];
                if (t.y1 >= bufTop && t.y0 < bufTop + bufRows)
                    RasterTriangle(t, uint16_t(k + 1), bufTop, bufRows, sw, frags.data());
            }
            try {
                SmoothOutline(triangles, frags.data(), bufTop, bufRows, top, top + rows, sw, cover, changes);
            } catch (...) {  // no memory for the changes: a harder outline
            }
            for (int y = top; y < top + rows; ++y)
                ShadeRow(&frags[size_t(y - bufTop) * size_t(sw)], pixels + size_t(y) * size_t(stride), sw,
                         scenePicture, width, height);
        }
    });
    surface.MarkDirty();
}

}  // namespace zolvex
