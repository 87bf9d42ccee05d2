// Picture loading on GraphicsMagick: files are read into memory and decoded from
// there (never by name, which GraphicsMagick would take as a format or frame
// request), with the decoder that the extension names, and a look at the content
// when that decoder refuses the bytes.
#include "studio/project/TavImage.h"

#include <Magick++.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "filter/media/MagickReady.h"
#include "platform/ReadFile.h"

namespace zolvex {
namespace {

// No picture we load comes from a larger file; anything bigger is not read.
constexpr uint64_t kMaxFileBytes = uint64_t(1) << 30;
constexpr size_t kDibHeaderBytes = 40;

struct TypeName {
    const char* ext;
    int type;
};

const TypeName kTypes[] = {
    {"bmp", CTavImage::kTypeBmp},  {"jpg", CTavImage::kTypeJpg},   {"jpeg", CTavImage::kTypeJpg},
    {"gif", CTavImage::kTypeGif},  {"png", CTavImage::kTypePng},   {"ico", CTavImage::kTypeIco},
    {"tiff", CTavImage::kTypeTif}, {"tif", CTavImage::kTypeTif},   {"tga", CTavImage::kTypeTga},
    {"pcx", CTavImage::kTypePcx},  {"wbmp", CTavImage::kTypeWbmp}, {"wmf", CTavImage::kTypeWmf},
    {"emf", CTavImage::kTypeWmf},  {"jp2", CTavImage::kTypeJp2},   {"j2k", CTavImage::kTypeJp2},
    {"jpc", CTavImage::kTypeJpc},  {"j2c", CTavImage::kTypeJpc},   {"pgx", CTavImage::kTypePgx},
    {"pnm", CTavImage::kTypePnm},  {"pgm", CTavImage::kTypePnm},   {"ppm", CTavImage::kTypePnm},
    {"ras", CTavImage::kTypeRas},
};

// GraphicsMagick's decoder for each type, indexed by type number.
const char* const kDecoders[] = {nullptr, "BMP", "GIF", "JPEG", "PNG", "ICO", "TIFF", "TGA",
                                 "PCX",   "WBMP", "WMF", "JP2", "JPC", "PGX", "PNM", "SUN"};

// Formats a look at the content may pick, with the type they count as. Only the
// picture formats of the type table: content sniffing must never hand a user's file
// to a script, text or vector reader.
const TypeName kContentFormats[] = {
    {"BMP", CTavImage::kTypeBmp},  {"BMP2", CTavImage::kTypeBmp},  {"BMP3", CTavImage::kTypeBmp},
    {"DIB", CTavImage::kTypeBmp},  {"GIF", CTavImage::kTypeGif},   {"GIF87", CTavImage::kTypeGif},
    {"JPEG", CTavImage::kTypeJpg}, {"JPG", CTavImage::kTypeJpg},   {"PNG", CTavImage::kTypePng},
    {"ICO", CTavImage::kTypeIco},  {"TIFF", CTavImage::kTypeTif},  {"TIF", CTavImage::kTypeTif},
    {"TGA", CTavImage::kTypeTga},  {"PCX", CTavImage::kTypePcx},   {"WBMP", CTavImage::kTypeWbmp},
    {"WMF", CTavImage::kTypeWmf},  {"JP2", CTavImage::kTypeJp2},   {"JPC", CTavImage::kTypeJpc},
    {"PGX", CTavImage::kTypePgx},  {"PNM", CTavImage::kTypePnm},   {"PBM", CTavImage::kTypePnm},
    {"PGM", CTavImage::kTypePnm},  {"PPM", CTavImage::kTypePnm},   {"PAM", CTavImage::kTypePnm},
    {"SUN", CTavImage::kTypeRas},  {"RAS", CTavImage::kTypeRas},
};

int ContentFormatType(const char* magick)
{
    if (!magick)
        return -1;
    for (const TypeName& f : kContentFormats)
        if (std::strcmp(f.ext, magick) == 0)
            return f.type;
    return -1;
}

bool HasDecoder(const char* format)
{
    MagickLib::ExceptionInfo ex;
    MagickLib::GetExceptionInfo(&ex);
    const MagickLib::MagickInfo* info = MagickLib::GetMagickInfo(format, &ex);
    MagickLib::DestroyExceptionInfo(&ex);
    return info && info->decoder;
}

uint64_t PixelLimit()
{
    const int64_t limit = MagickLib::GetMagickResourceLimit(MagickLib::PixelsResource);
    return limit > 0 ? uint64_t(limit) : UINT64_MAX;
}

// Not blocking: a pipe or device named like a picture must not hang the loader.
bool ReadWholeFile(const char* path, std::vector<unsigned char>& bytes)
{
    return ReadRegularFile(path, kMaxFileBytes, bytes) && !bytes.empty();
}

// The first frame of the bytes read as `format`, which GraphicsMagick must take as
// told. Null when it fails; warnings (a JPEG cut short, say) do not count.
MagickLib::Image* DecodeAs(const unsigned char* data, size_t size, const char* format)
{
    MagickLib::ImageInfo* info = MagickLib::CloneImageInfo(nullptr);
    if (!info)
        return nullptr;
    info->subimage = 0;
    info->subrange = 1;
    std::snprintf(info->filename, sizeof info->filename, "%s:", format);
    std::snprintf(info->magick, sizeof info->magick, "%s", format);
    info->affirm = 1;
    MagickLib::ExceptionInfo ex;
    MagickLib::GetExceptionInfo(&ex);
    MagickLib::Image* image = MagickLib::BlobToImage(info, data, size, &ex);
    if (image && ex.severity >= MagickLib::ErrorException) {
        MagickLib::DestroyImageList(image);
        image = nullptr;
    }
    MagickLib::DestroyExceptionInfo(&ex);
    MagickLib::DestroyImageInfo(info);
    if (image && image->next) {
        MagickLib::DestroyImageList(image->next);
        image->next = nullptr;
    }
    if (image && (image->columns == 0 || image->rows == 0 ||
                  uint64_t(image->columns) * image->rows > PixelLimit())) {
        MagickLib::DestroyImage(image);
        image = nullptr;
    }
    return image;
}

// Decodes with `format` when given; when that fails (a PNG named .jpg) or none is
// given, with the picture format the content shows. `type` gets the type of the
// decoder that succeeded.
MagickLib::Image* DecodeBytes(const unsigned char* data, size_t size, const char* format, int& type)
{
    MagickLib::Image* image = nullptr;
    if (format && HasDecoder(format))
        image = DecodeAs(data, size, format);
    if (image)
        return image;
    const char* found = MagickLib::GetImageMagick(data, size);
    const int foundType = ContentFormatType(found);
    if (foundType < 0 || (format && std::strcmp(found, format) == 0) || !HasDecoder(found))
        return nullptr;
    image = DecodeAs(data, size, found);
    if (image)
        type = foundType;
    return image;
}

// Bottom-up 24-bit pixels as a packed bitmap: the 40-byte header and rows padded to
// four bytes, as every bitmap reader expects them.
bool BuildDib(const unsigned char* bgr, int width, int height, std::vector<unsigned char>& dib)
{
    const size_t row = size_t(width) * 3;
    const size_t stride = (row + 3) & ~size_t(3);
    try {
        dib.assign(kDibHeaderBytes + stride * size_t(height), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Little-endian field by field, as the header lies in a file; unnamed fields stay 0.
    auto put = [&dib](size_t at, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            dib[at + i] = (unsigned char)(value >> (8 * i));
    };
    put(0, uint32_t(kDibHeaderBytes), 4);  // biSize
    put(4, uint32_t(width), 4);
    put(8, uint32_t(height), 4);
    put(12, 1, 2);                         // planes
    put(14, 24, 2);                        // bits per pixel; compression 0: BI_RGB
    for (int y = 0; y < height; ++y)
        std::memcpy(&dib[kDibHeaderBytes + stride * size_t(y)], bgr + row * size_t(y), row);
    return true;
}

std::string LowerAscii(const char* text)
{
    std::string s(text);
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

}  // namespace
}  // namespace zolvex

CTavImage::CTavImage() = default;

// Decoding runs on the caller's thread to its end, so there is never one to stop.
CTavImage::~CTavImage() = default;

void CTavImage::Clear()
{
    image_.reset();
    exif_.clear();
    type_ = kTypeUnknown;
}

const char* CTavImage::FindExtension(const char* name)
{
    if (!name)
        return "";
    const char* dot = std::strrchr(name, '.');
    return dot ? dot + 1 : "";
}

int CTavImage::FindType(const char* ext)
{
    if (!ext)
        return kTypeUnknown;
    for (const zolvex::TypeName& t : zolvex::kTypes)
        if (std::strcmp(t.ext, ext) == 0)
            return t.type;
    return kTypeUnknown;
}

int CTavImage::LoadPhoto(const char* path)
{
    if (!path)
        return 0;
    const char* ext = FindExtension(path);
    if (!*ext)
        return 0;
    int type = FindType(zolvex::LowerAscii(ext).c_str());
    Clear();
    if (!zolvex::magick::EnsureReady())
        return 0;
    std::vector<unsigned char> bytes;
    if (!zolvex::ReadWholeFile(path, bytes))
        return 0;

    Stopwatch(0);
    MagickLib::Image* decoded = zolvex::DecodeBytes(bytes.data(), bytes.size(), zolvex::kDecoders[type], type);
    Stopwatch(1);
    if (!decoded)
        return 0;
    try {
        image_.reset(new Magick::Image(decoded));  // takes the decoded image over
    } catch (const std::exception&) {
        MagickLib::DestroyImage(decoded);
        return 0;
    }
    image_->quiet(true);
    type_ = type;
    if (type == kTypeJpg) {
        size_t length = 0;
        const void* exif = MagickLib::GetImageProfile(image_->constImage(), "EXIF", &length);
        if (exif && length) {
            const unsigned char* p = static_cast<const unsigned char*>(exif);
            exif_.assign(p, p + length);
        }
    }
    return 1;
}

int CTavImage::LoadPhoto(const unsigned char* bgr, tagSIZE size)
{
    Clear();
    if (!bgr || size.cx <= 0 || size.cy <= 0 || !zolvex::magick::EnsureReady())
        return 0;
    if (uint64_t(size.cx) * uint64_t(size.cy) > zolvex::PixelLimit())
        return 0;
    std::vector<unsigned char> dib;
    if (!zolvex::BuildDib(bgr, size.cx, size.cy, dib))
        return 0;
    // The bitmap has no file header, so it goes to the header-less bitmap decoder.
    MagickLib::Image* decoded = zolvex::DecodeAs(dib.data(), dib.size(), "DIB");
    if (!decoded)
        return 0;
    try {
        image_.reset(new Magick::Image(decoded));
    } catch (const std::exception&) {
        MagickLib::DestroyImage(decoded);
        return 0;
    }
    image_->quiet(true);
    type_ = kTypeBmp;
    return 1;
}

void CTavImage::Resample(int width, int height)
{
    if (!image_ || width <= 0 || height <= 0)
        return;
    if (uint64_t(width) * uint64_t(height) > zolvex::PixelLimit())
        return;
    try {
        Magick::Image resized(*image_);
        Magick::Geometry size{unsigned(width), unsigned(height)};
        size.aspect(true);  // exactly this size, not fitted
        resized.resize(size, MagickLib::TriangleFilter);
        if (resized.columns() == unsigned(width) && resized.rows() == unsigned(height))
            *image_ = resized;
    } catch (const std::exception&) {
        // The held image stays as it was.
    }
}

bool CTavImage::GetPixels24(std::vector<unsigned char>& bgrBottomUp, int& width, int& height) const
{
    if (!image_)
        return false;
    try {
        Magick::Image rgb(*image_);
        if (rgb.constImage()->colorspace != MagickLib::RGBColorspace)
            rgb.colorSpace(MagickLib::RGBColorspace);  // CMYK and YCbCr pictures
        const size_t w = rgb.columns(), h = rgb.rows();
        const size_t row = w * 3;
        std::vector<unsigned char> top(row * h);
        MagickLib::ExceptionInfo ex;
        MagickLib::GetExceptionInfo(&ex);
        const unsigned ok = MagickLib::DispatchImage(rgb.constImage(), 0, 0, w, h, "BGR", MagickLib::CharPixel,
                                                     top.data(), &ex);
        MagickLib::DestroyExceptionInfo(&ex);
        if (!ok)
            return false;
        bgrBottomUp.resize(row * h);
        for (size_t y = 0; y < h; ++y)
            std::memcpy(&bgrBottomUp[row * (h - 1 - y)], &top[row * y], row);
        width = int(w);
        height = int(h);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void CTavImage::Stopwatch(int mode)
{
    const auto now = std::chrono::steady_clock::now();
    if (mode == 0) {
        start_ = now;
        running_ = true;
    } else if (mode == 1 && running_) {
        // A stop without a start would measure from nowhere; it keeps the last time.
        lastTime_ = std::chrono::duration<double>(now - start_).count();
        running_ = false;
    }
}
