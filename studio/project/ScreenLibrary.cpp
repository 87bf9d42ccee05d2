// The 3D screen backgrounds ("3D_Bg") and the three screen masks.
//
// Every length in "3D_Bg" is weighed against what the file still holds before
// anything is allocated for it. The masks are drawn here, once, on first use: each
// frames the picture and leaves its middle clear for the scene.
#include "studio/project/ScreenLibrary.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <new>

#include "filter/timeline/model/RecordLayouts.h"
#include "platform/ReplacingFile.h"

namespace zolvex {
namespace studio {

namespace {

constexpr const char* kFileName = "3D_Bg";
constexpr size_t kTemplateBytes = RecordLayout<ScreenOp>::kBytes;
constexpr int kMaskWidth = 720, kMaskHeight = 576;

std::string PathIn(const std::string& folder)
{
    if (folder.empty() || folder.back() == '/')
        return folder + kFileName;
    return folder + "/" + kFileName;
}

bool ReadInt(FILE* f, int32_t& v)
{
    unsigned char b[4];
    if (std::fread(b, 1, 4, f) != 4)
        return false;
    v = int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
    return true;
}

bool WriteInt(ReplacingFile& out, int32_t v)
{
    const uint32_t u = uint32_t(v);
    const unsigned char b[4] = {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
    return out.Write(b, 4);
}

// The two references are caches of the filter's: never kept, never stored.
ScreenOp Cleared(const ScreenOp& templ)
{
    ScreenOp t = templ;
    t.pMaskPicture = nullptr;
    t.pBackground = nullptr;
    return t;
}

// ---- drawing the masks -----------------------------------------------------------

struct Paint {
    double b, g, r, a;  // colour 0..255, alpha 0..1 (straight)
};

double Clamp01(double v) { return std::min(1.0, std::max(0.0, v)); }

double SmoothStep(double e0, double e1, double x)
{
    const double t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

// Signed distance from a rounded rectangle centred at the origin (negative inside).
double RoundedBoxDistance(double x, double y, double halfW, double halfH, double radius)
{
    const double qx = std::fabs(x) - halfW + radius, qy = std::fabs(y) - halfH + radius;
    const double ox = std::max(qx, 0.0), oy = std::max(qy, 0.0);
    return std::hypot(ox, oy) + std::min(std::max(qx, qy), 0.0) - radius;
}

Paint Mix(const Paint& under, const Paint& over, double t)
{
    return {under.b + (over.b - under.b) * t, under.g + (over.g - under.g) * t, under.r + (over.r - under.r) * t,
            under.a + (over.a - under.a) * t};
}

// Fills a bottom-up blue-green-red-alpha picture from a paint function of picture
// coordinates (pixel centres, y down from the top line).
void Draw(std::vector<unsigned char>& pixels, int w, int h, const std::function<Paint(double, double)>& paint)
{
    pixels.assign(size_t(w) * size_t(h) * 4, 0);
    for (int y = 0; y < h; ++y) {
        unsigned char* p = pixels.data() + size_t(h - 1 - y) * size_t(w) * 4;
        for (int x = 0; x < w; ++x, p += 4) {
            const Paint c = paint(x + 0.5, y + 0.5);
            p[0] = uint8_t(std::lround(std::min(255.0, std::max(0.0, c.b))));
            p[1] = uint8_t(std::lround(std::min(255.0, std::max(0.0, c.g))));
            p[2] = uint8_t(std::lround(std::min(255.0, std::max(0.0, c.r))));
            p[3] = uint8_t(std::lround(Clamp01(c.a) * 255));
        }
    }
}

// A deep blue frame with rounded inner corners and a thin gold line along them.
Paint RoundedFrame(double x, double y, double w, double h)
{
    const double d = RoundedBoxDistance(x - w / 2, y - h / 2, w / 2 - 36, h / 2 - 30, 64);
    const double shade = y / h;  // a little lighter towards the bottom
    Paint frame{70 + 30 * shade, 30 + 14 * shade, 18 + 10 * shade, Clamp01(d + 0.5)};
    const Paint gold{48, 172, 214, 1};
    return Mix(frame, gold, Clamp01(1.5 - std::fabs(d - 7)) * frame.a);
}

// Black that darkens the corners and fades out well before the middle.
Paint OvalVignette(double x, double y, double w, double h)
{
    const double u = (x - w / 2) / (w / 2), v = (y - h / 2) / (h / 2);
    return {6, 10, 16, SmoothStep(0.70, 1.15, std::hypot(u, v))};
}

// Dark bands at the top and bottom with sprocket holes punched through them.
Paint FilmStrip(double x, double y, double h)
{
    const double band = 64;
    const Paint clear{0, 0, 0, 0};
    if (y > band && y < h - band)
        return clear;
    const Paint strip{20, 18, 16, 1};
    const double pitch = 48, holeHalfW = 13, holeHalfH = 11;
    const double cx = std::fmod(x, pitch) - pitch / 2;
    const double cy = y < band ? y - band / 2 : y - (h - band / 2);
    const double d = RoundedBoxDistance(cx, cy, holeHalfW, holeHalfH, 4);
    return Mix(strip, clear, Clamp01(0.5 - d));
}

}  // namespace

ScreenLibrary::ScreenLibrary() : list_(16), maskList_(4), maskSizes_(4) {}

ScreenLibrary::~ScreenLibrary() = default;

bool ScreenLibrary::Load(const std::string& folder)
{
    pictures_.clear();
    templates_.clear();
    FILE* f = std::fopen(PathIn(folder).c_str(), "rb");
    if (!f) {
        RebuildList();
        return false;
    }
    struct stat st;
    int32_t count = 0, read = 0;
    bool whole = false;
    if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && ReadInt(f, count) && count >= 0) {
        int64_t offset = 4;
        for (; read < count; ++read) {
            int32_t length = 0;
            if (!ReadInt(f, length) || length < 0 ||
                int64_t(length) > st.st_size - offset - 4 - int64_t(kTemplateBytes))
                break;
            try {
                std::vector<unsigned char> picture(static_cast<size_t>(length));
                unsigned char templ[kTemplateBytes];
                if (std::fread(picture.data(), 1, picture.size(), f) != picture.size() ||
                    std::fread(templ, 1, kTemplateBytes, f) != kTemplateBytes)
                    break;
                ScreenOp op;
                ReadRecordBytes(templ, op);
                pictures_.push_back(std::move(picture));
                templates_.push_back(Cleared(op));
            } catch (const std::bad_alloc&) {
                if (pictures_.size() > templates_.size())
                    pictures_.pop_back();
                break;
            }
            offset += 4 + int64_t(length) + int64_t(kTemplateBytes);
        }
        whole = read == count;
    }
    std::fclose(f);
    return RebuildList() && whole;
}

bool ScreenLibrary::Save(const std::string& folder)
{
    ReplacingFile out;
    if (!out.Open(PathIn(folder)) || !WriteInt(out, int32_t(pictures_.size())))
        return false;
    for (size_t i = 0; i < pictures_.size(); ++i) {
        unsigned char templ[kTemplateBytes];
        WriteRecordBytes(templates_[i], templ);
        if (!WriteInt(out, int32_t(pictures_[i].size())) || !out.Write(pictures_[i].data(), pictures_[i].size()) ||
            !out.Write(templ, kTemplateBytes))
            return false;
    }
    return out.Commit();
}

bool ScreenLibrary::Add(std::vector<unsigned char> picture, const ScreenOp& templ)
{
    // Lengths are stored as int32; an empty picture is no background.
    if (picture.empty() || picture.size() > size_t(INT32_MAX) || pictures_.size() >= size_t(INT32_MAX))
        return false;
    try {
        pictures_.push_back(std::move(picture));
        templates_.push_back(Cleared(templ));
    } catch (const std::bad_alloc&) {
        if (pictures_.size() > templates_.size())
            pictures_.pop_back();
        return false;
    }
    if (!RebuildList()) {
        pictures_.pop_back();
        templates_.pop_back();
        RebuildList();
        return false;
    }
    return true;
}

// The list points into the pictures' bytes, so it is made again after every change.
bool ScreenLibrary::RebuildList()
{
    list_.RemoveAll();
    for (const std::vector<unsigned char>& p : pictures_) {
        if (list_.Add(PictureBlock{p.data(), uint32_t(p.size())}) < 0) {
            list_.RemoveAll();
            return false;
        }
    }
    return true;
}

CTavmArray<void*>* ScreenLibrary::Masks()
{
    MakeMasks();
    return &maskList_;
}

CTavmArray<tagSIZE>* ScreenLibrary::MaskSizes()
{
    MakeMasks();
    return &maskSizes_;
}

void ScreenLibrary::MakeMasks()
{
    if (maskList_.GetSize() == 3)
        return;
    const double w = kMaskWidth, h = kMaskHeight;
    const std::function<Paint(double, double)> designs[3] = {
        [=](double x, double y) { return RoundedFrame(x, y, w, h); },
        [=](double x, double y) { return OvalVignette(x, y, w, h); },
        [=](double x, double y) { return FilmStrip(x, y, h); },
    };
    maskList_.RemoveAll();
    maskSizes_.RemoveAll();
    try {
        masks_.resize(3);
        for (int i = 0; i < 3; ++i)
            Draw(masks_[size_t(i)], kMaskWidth, kMaskHeight, designs[i]);
    } catch (const std::bad_alloc&) {
        masks_.clear();
        return;
    }
    for (int i = 0; i < 3; ++i) {
        if (maskList_.Add(masks_[size_t(i)].data()) < 0 || maskSizes_.Add(tagSIZE{kMaskWidth, kMaskHeight}) < 0) {
            maskList_.RemoveAll();
            maskSizes_.RemoveAll();
            return;
        }
    }
}

}  // namespace studio
}  // namespace zolvex
