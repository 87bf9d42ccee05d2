// The timeline as the filter holds it: the four lists the studio hands over, the side
// lists the frame producer reads on use, and the two modes the filter runs in.
#pragma once

#include "filter/timeline/model/TimelineRecords.h"

namespace zolvex {

struct TimelineLists {
    SceneList* pScenes = nullptr;
    SpanList* pSpans = nullptr;
    ObjectList* pObjects = nullptr;
    KindList* pKinds = nullptr;
};

// Side lists that the studio keeps and the frame producer reads on use.
struct SideLists {
    CTavmArray<void*>* pAnimationEntries = nullptr;
    CTavmArray<void*>* pAnimationTags = nullptr;
    CTavmArray<void*>* pMasks = nullptr;
    CTavmArray<tagSIZE>* pMaskSizes = nullptr;
    PictureList* pPictures = nullptr;
};

enum TimelineMode { kPreviewMode = 0, kEncodeMode = 1 };

}  // namespace zolvex
