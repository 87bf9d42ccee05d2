// Picture scenes. GraphicsMagick plays both decoders the scene picture was made for:
// first the system decoder, which sniffs the content, takes the common formats and
// fits nearest-neighbour; then the picture library, told the format by the file's
// extension, which fits with a bilinear resample.
#include "filter/timeline/video/ScenePicture.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "filter/media/MagickSupport.h"

namespace zolvex {
namespace {

using namespace magick;

struct ExtensionFormat {
    const char* extension;
    const char* format;
};

// The picture library's formats by extension; any other extension leaves it to
// find one of its formats in the content.
const ExtensionFormat kExtensionFormats[] = {
    {"bmp", "BMP"},  {"jpg", "JPEG"}, {"jpeg", "JPEG"}, {"gif", "GIF"},  {"png", "PNG"}, {"ico", "ICO"},
    {"tif", "TIFF"}, {"tiff", "TIFF"}, {"tga", "TGA"},  {"pcx", "PCX"},  {"wbmp", "WBMP"}, {"wmf", "WMF"},
    {"emf", "WMF"},  {"jp2", "JP2"},  {"j2k", "JP2"},   {"jpc", "JPC"},  {"j2c", "JPC"}, {"pgx", "PGX"},
    {"pnm", "PNM"},  {"pgm", "PNM"},  {"ppm", "PNM"},   {"ras", "SUN"},
};

bool IsLibraryFormat(const char* magick)
{
    static const char* const kAlso[] = {"BMP2", "BMP3", "GIF87", "TIFF64", "PBM", "PGM", "PPM", "RAS"};
    for (const ExtensionFormat& e : kExtensionFormats)
        if (std::strcmp(magick, e.format) == 0)
            return true;
    for (const char* f : kAlso)
        if (std::strcmp(magick, f) == 0)
            return true;
    return false;
}

// The lower-cased text after the last dot of the file name; false when the name has
// no dot (a dot in a folder name is no extension).
bool Extension(const char* path, std::string& ext)
{
    const char* name = std::strrchr(path, '/');
    name = name ? name + 1 : path;
    const char* dot = std::strrchr(name, '.');
    if (!dot)
        return false;
    ext.clear();
    for (const char* p = dot + 1; *p; ++p)
        ext += char(std::tolower(static_cast<unsigned char>(*p)));
    return true;
}

// Picture pixels to output pixels under the display aspect; square pixels when the
// aspect is unset or nonsense.
double AspectFactor(int width, int height, int numerator, int denominator)
{
    if (numerator <= 0 || denominator <= 0)
        return 1.0;
    return (double(width) / height) / (double(numerator) / denominator);
}

int ClampSize(double v, int limit)
{
    if (!(v > 0))
        return 0;
    return v >= limit ? limit : int(v);
}

// The system decoder's fit: nearest neighbour into the centred display rectangle. Its
// rows come top-down and the frame is bottom-up, so the source is read from its last
// row up.
bool FitNearest(const Image* image, double a, int width, int height, unsigned char* frame)
{
    const int64_t w = int64_t(image->columns), h = int64_t(image->rows);
    int dw, dh;
    if (double(width) / height >= double(w) * a / double(h)) {
        dh = height;
        dw = ClampSize(std::trunc(double(height) * double(w) * a) / double(h), width);
    } else {
        dw = width;
        dh = ClampSize(double(h) * width / (double(w) * a), height);
    }
    if (dw == 0 || dh == 0)
        return true;
    const double sx = double(dw) / double(w), sy = double(dh) / double(h);
    const int left = (width - dw) / 2, bottom = (height - dh) / 2;

    // An enlargement of two or more would pick one column and row past the picture;
    // the last one stands in for it.
    std::vector<int64_t> columns(static_cast<size_t>(dw));
    for (int x = 0; x < dw; ++x)
        columns[size_t(x)] = std::min(int64_t(x / sx + 0.5), w - 1) * 3;
    std::vector<unsigned char> row(size_t(w) * 3);
    int64_t loaded = -1;
    for (int y = 0; y < dh; ++y) {
        const int64_t source = h - 1 - std::min(int64_t(y / sy + 0.5), h - 1);
        if (source != loaded) {
            if (!ExportRows(image, long(source), 1, "BGR", row.data()))
                return false;
            loaded = source;
        }
        unsigned char* d = frame + (size_t(bottom + y) * size_t(width) + size_t(left)) * 3;
        for (int x = 0; x < dw; ++x, d += 3) {
            const unsigned char* s = row.data() + columns[size_t(x)];
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
        }
    }
    return true;
}

// The picture library's fit: a bilinear resample to the display size, copied centred.
bool FitBilinear(const Image* image, double a, int width, int height, unsigned char* frame)
{
    const double w = double(image->columns), h = double(image->rows);
    int nw, nh;
    if (w * a / h > double(width) / height) {
        nh = ClampSize(h * width / (w * a), height);
        nw = width;
    } else {
        nw = ClampSize(w * height * a / h, width);
        nh = height;
    }
    if (nw == 0 || nh == 0)
        return true;
    const unsigned long cw = static_cast<unsigned long>(nw), ch = static_cast<unsigned long>(nh);
    ImageList resized;
    const Image* fitted = image;
    if (cw != image->columns || ch != image->rows) {
        ExceptionInfo ex;
        GetExceptionInfo(&ex);
        resized.reset(ResizeImage(image, cw, ch, TriangleFilter, 1.0, &ex));
        if (ex.severity >= ErrorException)
            resized.reset();
        DestroyExceptionInfo(&ex);
        if (!resized || resized->columns != cw || resized->rows != ch)
            return false;
        fitted = resized.get();
    }
    std::vector<unsigned char> pixels(size_t(nw) * size_t(nh) * 3);
    if (!ExportRows(fitted, 0, ch, "BGR", pixels.data()))
        return false;
    const int left = (width - nw) / 2, bottom = (height - nh) / 2;
    for (int r = 0; r < nh; ++r)
        std::memcpy(frame + (size_t(bottom + nh - 1 - r) * size_t(width) + size_t(left)) * 3,
                    pixels.data() + size_t(r) * size_t(nw) * 3, size_t(nw) * 3);
    return true;
}

bool DecodeAndFit(const std::vector<unsigned char>& bytes, const std::string& format, bool nearest, double a,
                  int width, int height, unsigned char* frame)
{
    ImageList image = Decode(bytes, format, 1);
    if (!WithinLimits(image.get()) || !WidenToScreen(image) || !MakeRgb(image.get()))
        return false;
    if (nearest ? FitNearest(image.get(), a, width, height, frame)
                : FitBilinear(image.get(), a, width, height, frame))
        return true;
    std::memset(frame, 0, size_t(width) * size_t(height) * 3);
    return false;
}

}  // namespace

bool LoadScenePicture(const char* path, int width, int height, int aspectNumerator, int aspectDenominator,
                      unsigned char* frame, std::string* why)
{
    auto fail = [why](const char* reason) {
        if (why)
            *why = reason;
        return false;
    };
    if (!frame || width <= 0 || height <= 0)
        return fail("no frame to draw into");
    const size_t frameBytes = size_t(width) * size_t(height) * 3;
    std::memset(frame, 0, frameBytes);
    if (!path || !*path)
        return fail("no file name");
    if (!EnsureReady())
        return fail("the picture library could not start");
    const double a = AspectFactor(width, height, aspectNumerator, aspectDenominator);
    try {
        std::vector<unsigned char> bytes;
        if (!ReadWholeFile(path, bytes, why))
            return false;

        // Sizes are read from the headers first, so that no picture too large to
        // hold is ever decoded.
        ImageList sniffed = Ping(bytes, std::string(), 1);
        if (sniffed && IsSystemFormat(sniffed->magick) && WithinLimits(sniffed.get()) &&
            DecodeAndFit(bytes, sniffed->magick, true, a, width, height, frame))
            return true;
        // The reason of the first try stands unless the second finds a worse one.
        const char* reason = !sniffed ? kNotAPicture : WithinLimits(sniffed.get()) ? kDamaged : kTooLarge;

        std::string ext;
        if (!Extension(path, ext))
            return fail(reason);
        std::string format;
        for (const ExtensionFormat& e : kExtensionFormats)
            if (ext == e.extension)
                format = e.format;
        ImageList pinged;
        if (format.empty()) {
            if (!sniffed || !IsLibraryFormat(sniffed->magick))
                return fail(reason);
            format = sniffed->magick;
            pinged = std::move(sniffed);
        } else {
            pinged = Ping(bytes, format, 1);
        }
        if (!pinged)
            return fail(reason);
        if (!WithinLimits(pinged.get()))
            return fail(kTooLarge);
        return DecodeAndFit(bytes, format, false, a, width, height, frame) || fail(kDamaged);
    } catch (const std::bad_alloc&) {
        std::memset(frame, 0, frameBytes);
        return fail("not enough memory to decode it");
    }
}

}  // namespace zolvex
