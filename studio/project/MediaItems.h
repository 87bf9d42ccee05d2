// Media items made from files: the kind by extension, the path's parts, the file's
// times and size, and the 100 × 90 JPEG thumbnail (for video also the frame size
// and duration, for pictures the frame size).
#pragma once

#include <vector>

#include "studio/project/ProjectRecords.h"

namespace zolvex {
namespace studio {

// MEDIA_AUDIO, MEDIA_VIDEO or MEDIA_PICTURE by the file's extension; −1 when the
// extension names no media the studio takes.
int MediaKindOf(const char* path);

// The record of a media file, zero-filled, with its path, parts, times and size.
// False for a file of no media kind, a missing file, or a path of 260 bytes or more.
bool BuildMediaItem(const char* path, MediaItem& item);

// The item's thumbnail; for video also fills the frame size and duration, for a
// picture the frame size. False when the file cannot be read (a picture or video
// that does not decode): such a file makes no item.
bool MakeThumbnail(MediaItem& item, MediaThumbnail& thumbnail);

// Both steps, as an import makes an item.
bool CreateMediaItem(const char* path, MediaItem& item, MediaThumbnail& thumbnail);

// A 24-bit picture (bottom-up blue-green-red rows without padding) as JPEG.
bool EncodeJpeg(const unsigned char* bgrBottomUp, int width, int height, int quality,
                std::vector<unsigned char>& jpeg);

// The fixed picture audio items show: 100 × 90, bottom-up blue-green-red.
const std::vector<unsigned char>& AudioThumbnailPicture();

}  // namespace studio
}  // namespace zolvex
