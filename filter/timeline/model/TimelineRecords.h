// The timeline as the studio hands it to the filter: four parallel lists of scenes,
// scene spans, timeline objects and their kinds, and the records they point to. The
// studio owns every list and record; the filter reads through the pointers and writes
// only the fields marked filter-owned.
//
// In memory the records use natural types; RecordLayouts.h reads and writes the byte
// layouts that the project file carries.
#pragma once

#include <cstdint>

#include "filter/common/TavmArray.h"
#include "filter/timeline/model/EffectOperation.h"
#include "platform/wintypes.h"

// Kinds of timeline objects (the Kinds list holds one per object). Other values are
// skipped by both the video and the audio side.
enum TimelineObjectKind {
    OBJ_TEXT = 0,      // TextOp: a title
    OBJ_PICTURE = 1,   // StickerOp: an animated picture
    OBJ_SCREEN3D = 2,  // ScreenOp: a 3D screen item
    OBJ_EFFECT = 3,    // tagOPR_EFFECT: a static or animation effect
    OBJ_MUSIC = 4,     // AudioOp: music or recorded voice
};

// Media types of a scene.
enum SceneMediaType { MEDIA_TYPE_VIDEO = 1, MEDIA_TYPE_PICTURE = 2 };

// The part of the source file a scene shows; its length on the timeline is dOut − dIn.
struct SceneSpan {
    double dIn;   // seconds into the source where the scene starts
    double dOut;  // seconds into the source where it ends
};

struct SceneRecord {
    char szPath[260];        // media file path, NUL-terminated
    int32_t nSourceWidth;    // studio data
    int32_t nSourceHeight;   // studio data
    int32_t bVideoOpen;      // filter-owned: the scene open in the frame producer
    int32_t bAudioOpen;      // filter-owned: the scene open in the audio mixer
    int32_t nTransitionID;   // transition played at the start of the scene, 0–28
    int32_t nMediaType;      // MEDIA_TYPE_VIDEO or MEDIA_TYPE_PICTURE; others are never drawn
    int32_t nReserved;
    double dDuration;        // full length of the source, seconds (studio data)
    double dInPoint;         // source position a video scene seeks to when it opens
    double dOutPoint;        // studio data
};

struct TextOp {
    char szText[1000];  // the title, NUL-terminated; may hold "\n" line breaks
    int32_t nStyle;     // animation style 1–8; other values draw the text still
    double dStartTime;  // timeline seconds
    double dEndTime;
    LOGFONTA lfFont;
    COLORREF crText;
    COLORREF crBackColor;  // not read by the filter
    COLORREF crShadow;
    int32_t nX;            // left, in reference-frame pixels
    int32_t nY;            // top, in reference-frame pixels
    int32_t nReserved2;
    int32_t nOpacity;      // 0–255
    int32_t nReserved3;
    int32_t nOrder;        // studio: objects on the timeline when this one was made
};

// An animated picture (a multi-frame GIF, say) laid over the frame.
struct StickerOp {
    double dStartTime;
    double dEndTime;
    int32_t nFrameCount;   // frames in the picture
    int32_t nCurFrame;     // filter-owned: frame shown
    int32_t nReserved;
    int32_t nWidth;        // picture size, pixels
    int32_t nHeight;
    int32_t rcDest[4];     // destination x, y, width, height in output pixels
    int32_t nFrameDelay;   // filter-owned: delay of the current frame, ms
    int32_t nElapsed;      // filter-owned: ms spent on the current frame
    int32_t nAlpha;        // 0–255, given to every non-transparent pixel
    int32_t* pDelays;      // frame delays, hundredths of a second, one per frame
    void* hImage;          // the decoded multi-frame picture (studio-owned)
    char szPath[260];      // studio: the picture file
    int32_t nOrder;        // studio: objects on the timeline when this one was made
};

struct ScreenOp {
    double dStartTime;
    double dEndTime;
    int32_t nStyle;          // 0–24: the 3D shape; also indexes the picture list
    float afParams[3];       // the shape's three parameters
    int32_t nOrder;          // studio: objects on the timeline when this one was made
    void* pMaskPicture;      // filter-owned cache: picture made from the mask list
    void* pBackground;       // filter-owned cache: background from the picture list
};

struct AudioOp {
    double dStartTime;
    double dEndTime;
    double dLength;          // length of the track file; a longer object loops
    char szPath[260];
    char szName[260];        // studio: the name shown (file name and extension)
    int32_t bOpen;           // filter-owned open flag
    int32_t nOrder;          // studio: objects on the timeline when this one was made
};

// One complete picture file held in memory (the 3D screen backgrounds).
struct PictureBlock {
    const unsigned char* pData;
    uint32_t nBytes;
};

typedef CTavmArray<SceneRecord*> SceneList;
typedef CTavmArray<SceneSpan> SpanList;
typedef CTavmArray<void*> ObjectList;
typedef CTavmArray<int32_t> KindList;
typedef CTavmArray<PictureBlock> PictureList;
