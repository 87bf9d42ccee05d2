// CTavImageEncoder: saves a picture with the encoder that a format name chooses (a
// MIME type such as "image/jpeg", or a file name whose extension names the format),
// with a JPEG quality or a TIFF compression. The encoders are GraphicsMagick's writers,
// the five that every system has first (bitmap, JPEG, GIF, TIFF, PNG).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace Magick {
class Blob;
class Image;
}

namespace zolvex {

// Status codes of Save, with the values of the system picture library's.
enum ImageStatus {
    kImageOk = 0,
    kImageGenericError = 1,
    kImageInvalidParameter = 2,
    kImageOutOfMemory = 3,
    kImageWin32Error = 7,  // the file or stream could not be written
};

struct ImageEncoderInfo {
    std::string name;        // GraphicsMagick's writer ("JPEG")
    std::string mimeType;    // "image/jpeg"
    std::string extensions;  // "*.jpg;*.jpeg;*.jpe;*.jfif", lower case
};

}  // namespace zolvex

class CTavImageEncoder {
public:
    // TIFF compression values as the system picture library numbers them.
    enum { kTiffLzw = 2, kTiffCcitt3 = 3, kTiffCcitt4 = 4, kTiffRle = 5, kTiffNone = 6 };

    explicit CTavImageEncoder(const char* format);

    // The encoders in the order the constructor walks them; made once per process.
    static const std::vector<zolvex::ImageEncoderInfo>& InstalledEncoders();

    bool IsValid() const { return valid_; }
    const std::string& MimeType() const { return mimeType_; }
    void SetJpgQuality(long quality) { jpgQuality_ = quality; }
    void SetTiffCompression(long compression) { tiffCompression_ = compression; }

    // A status code of zolvex::ImageStatus; kImageGenericError when no encoder matched.
    // The picture is encoded first; only then does it replace a file at the path.
    int Save(Magick::Image& image, const char* path);
    int Save(Magick::Image& image, std::ostream& stream);

private:
    int Encode(const Magick::Image& image, Magick::Blob& bytes) const;

    std::string writer_;  // GraphicsMagick's name of the chosen encoder
    std::string mimeType_;
    bool valid_ = false;
    long jpgQuality_ = 90;
    long tiffCompression_ = kTiffLzw;
};
