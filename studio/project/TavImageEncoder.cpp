// Picture encoding on GraphicsMagick's writers. The picture is encoded into memory
// before the file at the path is touched, and the file is replaced by a rename, so a
// failed save leaves neither half a picture nor a lost one.
#include "studio/project/TavImageEncoder.h"

#include <Magick++.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <ostream>

#include "filter/media/MagickReady.h"

namespace zolvex {
namespace {

// The encoders every system has, in the order the system lists them.
const ImageEncoderInfo kBuiltIn[] = {
    {"BMP", "image/bmp", "*.bmp;*.dib;*.rle"},
    {"JPEG", "image/jpeg", "*.jpg;*.jpeg;*.jpe;*.jfif"},
    {"GIF", "image/gif", "*.gif"},
    {"TIFF", "image/tiff", "*.tif;*.tiff"},
    {"PNG", "image/png", "*.png"},
};

// Writers that are not pictures (metadata, text, scripts, reports) or that repeat one
// of the built-in five under another name.
const char* const kNotListed[] = {
    "BMP",   "JPEG",      "JPG",      "GIF",       "TIFF",      "TIF",      "PNG",    "8BIM",     "8BIMTEXT",
    "8BIMWTEXT", "APP1",  "APP1JPEG", "EXIF",      "ICC",       "ICM",      "IPTC",   "IPTCTEXT", "IPTCWTEXT",
    "XMP",   "INFO",      "HISTOGRAM", "MSL",      "MVG",       "NULL",     "PREVIEW", "TXT",     "TEXT",
    "HTML",  "SHTML",     "HTM",      "BRF",       "ISOBRL",    "ISOBRL6",  "UBRL",   "UBRL6",    "LOCALE",
    "LOCALEC", "LOCALEH", "LOCALEMC", "MPR",       "MPRI",      "LOGO",     "X",
};

struct KnownMime {
    const char* name;
    const char* mime;
};

// MIME types better known than "image/x-<name>".
const KnownMime kKnownMimes[] = {
    {"PS", "application/postscript"},       {"WBMP", "image/vnd.wap.wbmp"},
    {"WEBP", "image/webp"},                 {"JXL", "image/jxl"},
    {"PNM", "image/x-portable-anymap"},     {"PBM", "image/x-portable-bitmap"},
    {"PGM", "image/x-portable-graymap"},    {"PPM", "image/x-portable-pixmap"},
    {"PAM", "image/x-portable-arbitrarymap"}, {"XBM", "image/x-xbitmap"},
    {"XPM", "image/x-xpixmap"},             {"MNG", "video/x-mng"},
    {"FAX", "image/g3fax"},                 {"RAS", "image/x-cmu-raster"},
    {"FITS", "image/fits"},
};

std::string Lower(const char* text)
{
    std::string s(text);
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

bool Listed(const char* name)
{
    for (const char* skip : kNotListed)
        if (std::strcmp(skip, name) == 0)
            return false;
    return true;
}

bool HasEncoder(const char* name)
{
    MagickLib::ExceptionInfo ex;
    MagickLib::GetExceptionInfo(&ex);
    const MagickLib::MagickInfo* info = MagickLib::GetMagickInfo(name, &ex);
    MagickLib::DestroyExceptionInfo(&ex);
    return info && info->encoder;
}

std::vector<ImageEncoderInfo> FindEncoders()
{
    std::vector<ImageEncoderInfo> list;
    if (!magick::EnsureReady())
        return list;
    for (const ImageEncoderInfo& e : kBuiltIn)
        if (HasEncoder(e.name.c_str()))
            list.push_back(e);

    MagickLib::ExceptionInfo ex;
    MagickLib::GetExceptionInfo(&ex);
    MagickLib::MagickInfo** all = MagickLib::GetMagickInfoArray(&ex);
    MagickLib::DestroyExceptionInfo(&ex);
    for (size_t i = 0; all && all[i]; ++i) {
        const MagickLib::MagickInfo* m = all[i];
        // Only writers of whole picture files that can write into memory (streams)
        // and that read back without being told the size.
        if (!m->name || !m->encoder || m->stealth || !m->blob_support || m->raw ||
            m->extension_treatment == MagickLib::IgnoreExtensionTreatment ||
            m->coder_class == MagickLib::BrokenCoderClass || !Listed(m->name))
            continue;
        ImageEncoderInfo e;
        e.name = m->name;
        const std::string lower = Lower(m->name);
        e.mimeType = "image/x-" + lower;
        for (const KnownMime& k : kKnownMimes)
            if (std::strcmp(k.name, m->name) == 0)
                e.mimeType = k.mime;
        e.extensions = "*." + lower;
        list.push_back(std::move(e));
    }
    MagickLib::MagickFree(all);
    return list;
}

// Whole entries of a ";"-separated list: "*.jp" is not "*.jpg".
bool ListHolds(const std::string& list, const std::string& entry)
{
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos)
            end = list.size();
        if (list.compare(start, end - start, entry) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

bool TiffCompression(long value, MagickLib::CompressionType& type)
{
    switch (value) {
    case CTavImageEncoder::kTiffLzw: type = MagickLib::LZWCompression; return true;
    case CTavImageEncoder::kTiffCcitt3: type = MagickLib::FaxCompression; return true;
    case CTavImageEncoder::kTiffCcitt4: type = MagickLib::Group4Compression; return true;
    case CTavImageEncoder::kTiffRle: type = MagickLib::RLECompression; return true;
    case CTavImageEncoder::kTiffNone: type = MagickLib::NoCompression; return true;
    default: return false;
    }
}

bool WriteAll(int fd, const unsigned char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

// Writes the bytes to a new file beside the path and renames it over the path.
bool ReplaceFile(const char* path, const unsigned char* data, size_t size)
{
    static std::atomic<unsigned> serial{0};
    const std::string target(path);
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash == 0 ? 1 : slash);
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder + "/.tavimage-" + std::to_string(long(getpid())) + "-" + std::to_string(serial++) + ".tmp";
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    bool ok = WriteAll(fd, data, size);
    ok = (::close(fd) == 0) && ok;
    ok = ok && std::rename(temp.c_str(), path) == 0;
    if (!ok)
        ::unlink(temp.c_str());
    return ok;
}

}  // namespace
}  // namespace zolvex

using namespace zolvex;

CTavImageEncoder::CTavImageEncoder(const char* format)
{
    if (!format || !*format)
        return;
    std::string name = Lower(format);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name = "*" + name.substr(dot);
    for (const ImageEncoderInfo& e : InstalledEncoders()) {
        if (e.mimeType == name || ListHolds(e.extensions, name)) {
            writer_ = e.name;
            mimeType_ = e.mimeType;
            valid_ = true;
            return;
        }
    }
}

const std::vector<ImageEncoderInfo>& CTavImageEncoder::InstalledEncoders()
{
    static const std::vector<ImageEncoderInfo> encoders = FindEncoders();
    return encoders;
}

int CTavImageEncoder::Encode(const Magick::Image& image, Magick::Blob& bytes) const
{
    if (!magick::EnsureReady())
        return kImageGenericError;
    try {
        if (image.columns() == 0 || image.rows() == 0)
            return kImageInvalidParameter;
        // A copy shares the pixels; the settings below stay off the caller's image.
        Magick::Image copy(image);
        copy.quiet(true);
        if (mimeType_ == "image/jpeg") {
            if (jpgQuality_ < 0 || jpgQuality_ > 100)
                return kImageInvalidParameter;
            copy.quality(unsigned(jpgQuality_));
        } else if (mimeType_ == "image/tiff") {
            MagickLib::CompressionType compression;
            if (!TiffCompression(tiffCompression_, compression))
                return kImageInvalidParameter;
            copy.compressType(compression);
        }
        copy.write(&bytes, writer_);
        return bytes.length() > 0 ? kImageOk : kImageGenericError;
    } catch (const Magick::ErrorResourceLimit&) {
        return kImageOutOfMemory;
    } catch (const std::bad_alloc&) {
        return kImageOutOfMemory;
    } catch (const std::exception&) {
        return kImageGenericError;
    }
}

int CTavImageEncoder::Save(Magick::Image& image, const char* path)
{
    if (!valid_)
        return kImageGenericError;
    if (!path || !*path)
        return kImageInvalidParameter;
    Magick::Blob bytes;
    const int status = Encode(image, bytes);
    if (status != kImageOk)
        return status;
    return ReplaceFile(path, static_cast<const unsigned char*>(bytes.data()), bytes.length()) ? kImageOk
                                                                                              : kImageWin32Error;
}

int CTavImageEncoder::Save(Magick::Image& image, std::ostream& stream)
{
    if (!valid_)
        return kImageGenericError;
    Magick::Blob bytes;
    const int status = Encode(image, bytes);
    if (status != kImageOk)
        return status;
    try {
        stream.write(static_cast<const char*>(bytes.data()), std::streamsize(bytes.length()));
        stream.flush();
        return stream ? kImageOk : kImageWin32Error;
    } catch (const std::exception&) {
        return kImageWin32Error;
    }
}
