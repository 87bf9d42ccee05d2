// ZolvexVideoFilter: the rendering library of Zolvex Video Studio. Including this
// header brings in every public header of the library.
#pragma once

#include "platform/wintypes.h"
#include "platform/Region.h"
#include "filter/common/TavmArray.h"
#include "filter/common/RowSlices.h"
#include "filter/common/CpuDispatch.h"
#include "filter/effects/fTavEffect.h"
#include "filter/transitions/fTavTransition.h"
#include "filter/timeline/TimelineRecords.h"
#include "filter/timeline/RecordLayouts.h"
#include "filter/timeline/ITavmControl.h"
#include "filter/timeline/TimelineSeams.h"
#include "filter/timeline/TimelineTime.h"
#include "filter/timeline/TimelineObjects.h"
#include "filter/timeline/TavmControl.h"
#include "filter/media/TavmMediaReader.h"
#include "filter/media/TavmDetReader.h"
