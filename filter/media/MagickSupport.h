// GraphicsMagick made ready once for the whole library, and the reading steps that
// picture scenes and animated pictures share. Internal to the library: include it
// from .cpp files only (it brings in GraphicsMagick's C interface).
#pragma once

#include <magick/api.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "filter/media/MagickReady.h"

namespace zolvex {
namespace magick {

// All frames of one picture together: far above an 8000 × 8000 photo (64 M), far
// below what would exhaust memory (GraphicsMagick keeps 8 bytes a pixel, and we a
// copy of 4).
constexpr uint64_t kMaxPixels = 100000000;
constexpr unsigned kMaxFrames = 10000;
// No picture file we take is larger; anything bigger is not read into memory.
constexpr uint64_t kMaxFileBytes = uint64_t(1) << 30;

// Why a picture cannot be used, as the list of unusable media words it.
constexpr const char* kNotAPicture = "not a picture in a format this program reads";
constexpr const char* kTooLarge = "too large: more than 100 million pixels or 10000 frames in all";
constexpr const char* kDamaged = "damaged: the picture could not be decoded";

struct ImageListDeleter {
    void operator()(Image* list) const
    {
        if (list)
            DestroyImageList(list);
    }
};
using ImageList = std::unique_ptr<Image, ImageListDeleter>;

// The whole file; false, with why, when it is missing, not a regular file, empty or
// larger than kMaxFileBytes.
bool ReadWholeFile(const char* path, std::vector<unsigned char>& bytes, std::string* why = nullptr);

// Reads the headers (Ping) or the pixels (Decode) of the first `frames` frames (0:
// all) of the bytes as `format`, or by their content when format is empty. Null on
// failure; warnings do not count as failure.
ImageList Ping(const std::vector<unsigned char>& bytes, const std::string& format, unsigned frames);
ImageList Decode(const std::vector<unsigned char>& bytes, const std::string& format, unsigned frames);

// True when the list has between 1 and kMaxFrames frames, none of them empty, and
// no more than kMaxPixels pixels in all.
bool WithinLimits(const Image* list);

// GraphicsMagick composes a GIF on the size of its first frame, while a viewer shows
// the logical screen, which the first frame need not fill: this lays the first frame
// of a GIF on a transparent screen of the screen's size. Other lists are left as they
// are; false when the screen cannot be made.
bool WidenToScreen(ImageList& list);

// The formats a content-sniffing system decoder takes (bitmaps, GIF, JPEG, PNG,
// TIFF, icons, metafiles).
bool IsSystemFormat(const char* magick);

// Turns a picture that is not RGB (a CMYK JPEG, say) into RGB before its colours are
// exported; false when that fails.
bool MakeRgb(Image* image);

// rows × image->columns pixels from row y down, 8 bits a channel in map order
// ("BGR", "BGRA"; alpha is 255 where the picture has none).
bool ExportRows(const Image* image, long y, unsigned long rows, const char* map, unsigned char* out);

}  // namespace magick
}  // namespace zolvex
