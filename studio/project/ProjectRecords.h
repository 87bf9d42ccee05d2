// What a project holds besides the filter's timeline records: the project header, the
// media items and their thumbnails, and the object kinds with their record sizes. In
// memory these are plain records; ProjectLayouts.h gives their bytes in the files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "filter/timeline/model/TimelineRecords.h"
#include "platform/wintypes.h"

namespace zolvex {
namespace studio {

// The frame size and display aspect chosen when the project was made.
struct ProjectHeader {
    int32_t nWidth = 0;
    int32_t nHeight = 0;
    int32_t nAspectNumerator = 0;    // the width, 4 or 16
    int32_t nAspectDenominator = 0;  // the height, 3 or 9
};

enum MediaKind { MEDIA_AUDIO = 0, MEDIA_VIDEO = 1, MEDIA_PICTURE = 2 };

// One media file known to the project (each scene keeps its own copy).
struct MediaItem {
    char szPath[260];
    char szDrive[3];        // always empty here: paths have no drive
    char szDir[256];        // folder with its final "/"
    char szName[256];       // file name without extension
    char szExt[256];        // extension with its dot, lower case
    int32_t nLibraryIndex;  // position in the media library
    int32_t nKind;          // MediaKind
    int32_t nWidth;         // source frame size (video and picture)
    int32_t nHeight;
    uint32_t nFileSize;     // low 32 bits
    SYSTEMTIME stCreation;
    SYSTEMTIME stLastAccess;
    SYSTEMTIME stLastWrite;
    int32_t bViewFlag;      // the library's view state
    double dDuration;       // seconds; for a picture the play time when it was placed
    int32_t bRemoved;       // removed from the library: skipped when the library is stored
};

// A media item's thumbnail: a JPEG of 100 × 90 pixels.
using MediaThumbnail = std::vector<unsigned char>;

constexpr int kThumbnailWidth = 100;
constexpr int kThumbnailHeight = 90;

// Timeline objects of the animation kind: no editing command makes them, but
// projects carry them, so they are kept byte for byte as read.
constexpr int32_t OBJ_ANIMATION = 6;
struct AnimationObject {
    unsigned char bytes[568];
};

// Each object kind: its record's size in the file and where its order field (the
// number of objects on the timeline when it was made) and its times stand.
struct ObjectKindInfo {
    int32_t kind;
    size_t bytes;
    size_t orderAt;
    size_t startAt;  // the end time follows 8 bytes later; kNoTimes where the record has none we read
};

constexpr size_t kNoTimes = size_t(-1);

// The entry for a kind, or nullptr for a kind no project holds (5, or outside 0–6).
const ObjectKindInfo* FindObjectKind(int32_t kind);

// An effect object's track points (x, y in project frame pixels) are its outline.
using TrackPoints = CTavmArray<tagSIZE>;

}  // namespace studio
}  // namespace zolvex
