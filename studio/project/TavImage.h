// CTavImage: the studio's picture loader. Loads a picture file, or a 24-bit frame of
// the house format, into one GraphicsMagick image that it owns, resamples it and hands
// its pixels back in the house format (thumbnails and frame pictures use it).
#pragma once

#include <chrono>
#include <memory>
#include <vector>

#include "platform/wintypes.h"

namespace Magick {
class Image;
}

class CTavImage {
public:
    // Picture type numbers, by lower-case extension (FindType).
    enum {
        kTypeUnknown = 0, kTypeBmp = 1, kTypeGif = 2, kTypeJpg = 3, kTypePng = 4, kTypeIco = 5, kTypeTif = 6,
        kTypeTga = 7, kTypePcx = 8, kTypeWbmp = 9, kTypeWmf = 10, kTypeJp2 = 11, kTypeJpc = 12, kTypePgx = 13,
        kTypePnm = 14, kTypeRas = 15
    };

    CTavImage();
    ~CTavImage();
    CTavImage(const CTavImage&) = delete;
    CTavImage& operator=(const CTavImage&) = delete;

    // The text after the last "." of name; "" when there is none (or name is null).
    static const char* FindExtension(const char* name);
    // The type number of an extension without its dot; exact, case-sensitive.
    static int FindType(const char* ext);

    // Loads a picture file; 1 loaded, 0 failed (then no image is held, except for a
    // name without extension, which is refused before the old image is touched).
    int LoadPhoto(const char* path);
    // Loads width × height 24-bit pixels, bottom-up blue-green-red rows without
    // padding; 1 loaded, 0 refused or failed (no image is held then).
    int LoadPhoto(const unsigned char* bgr, tagSIZE size);

    // Resamples the held image to the size, bilinear; no effect without an image,
    // for sizes ≤ 0 or when the size is beyond the pixel limit.
    void Resample(int width, int height);

    Magick::Image* GetImage() { return image_.get(); }
    // The type of the last successful load (the decoder that read it).
    int GetType() const { return type_; }
    // The EXIF block of the last loaded JPEG, as the file holds it; empty when none.
    const std::vector<unsigned char>& ExifBlock() const { return exif_; }
    // The held image as 24-bit bottom-up blue-green-red rows without padding.
    bool GetPixels24(std::vector<unsigned char>& bgrBottomUp, int& width, int& height) const;

    // 0 starts, 1 stops and keeps the time between the two as the last time.
    void Stopwatch(int mode);
    // Seconds of the last measurement; −1 before any.
    double LastTime() const { return lastTime_; }

private:
    void Clear();

    std::unique_ptr<Magick::Image> image_;
    int type_ = kTypeUnknown;
    std::vector<unsigned char> exif_;
    std::chrono::steady_clock::time_point start_{};
    bool running_ = false;
    double lastTime_ = -1.0;
};
