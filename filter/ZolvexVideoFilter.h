// ZolvexVideoFilter: the rendering library of Zolvex Video Studio. Including this
// header brings in every public header of the library (every header installed; the
// layer check of the tests holds the two lists together), layer by layer from the
// bottom up.
#pragma once

// platform: the stand-ins for the services of the platform the library was first
// written for.
#include "platform/wintypes.h"
#include "platform/Export.h"
#include "platform/Unknown.h"
#include "platform/Region.h"
#include "platform/ClassRegistry.h"
#include "platform/Prompt.h"
#include "platform/ReplacingFile.h"
#include "platform/RegularFile.h"
#include "platform/ReadFile.h"
#include "platform/SettingsStore.h"
// common: frames, lists, threads, drawing surfaces and the log.
#include "filter/common/TavmArray.h"
#include "filter/common/ByteLayout.h"
#include "filter/common/RowSlices.h"
#include "filter/common/CpuDispatch.h"
#include "filter/common/RenderGate.h"
#include "filter/common/CompositionSurface.h"
#include "filter/common/Log.h"
// timeline model: the records the studio hands over and their byte layouts.
#include "filter/timeline/model/EffectOperation.h"
#include "filter/timeline/model/TimelineRecords.h"
#include "filter/timeline/model/RecordLayouts.h"
#include "filter/timeline/model/TimelineLists.h"
#include "filter/timeline/model/TimelineTime.h"
#include "filter/timeline/model/TimelineObjects.h"
// the engines: effects, transitions, text, animation, media, 3D screen.
#include "filter/effects/fTavEffect.h"
#include "filter/transitions/fTavTransition.h"
#include "filter/text/fTavTextBuffer.h"
#include "filter/text/fTavTextTransfer.h"
#include "filter/animation/AnimationRecords.h"
#include "filter/animation/AnimationFile.h"
#include "filter/animation/AnimationPlayback.h"
#include "filter/media/MagickReady.h"
#include "filter/media/TavmMediaReader.h"
#include "filter/media/TavmDetReader.h"
#include "filter/media/TavmAudioSource.h"
#include "filter/media/AnimatedPicture.h"
#include "filter/media/MediaProblems.h"
#include "filter/screen3d/Screen3D.h"
// timeline video and audio: the frame producer and the mixer.
#include "filter/timeline/video/ITimelineVideo.h"
#include "filter/timeline/video/ScenePicture.h"
#include "filter/timeline/video/StickerDrawing.h"
#include "filter/timeline/video/TitleDrawing.h"
#include "filter/timeline/video/TavmRenderer.h"
#include "filter/timeline/audio/ITimelineAudio.h"
#include "filter/timeline/audio/TavmMixer.h"
// encoder: the movie file.
#include "filter/encoder/CodecTable.h"
#include "filter/encoder/EncoderSinks.h"
#include "filter/encoder/TavmEncoder.h"
// timeline stream: the control interface, the source and its pins, the stream loops.
#include "filter/timeline/stream/ITavmControl.h"
#include "filter/timeline/stream/ITavmMediaProblems.h"
#include "filter/timeline/stream/TavmControl.h"
#include "filter/timeline/stream/EncoderLock.h"
#include "filter/timeline/stream/StreamLoop.h"
#include "filter/timeline/stream/TavmSource.h"
#include "filter/timeline/stream/TavmClassFactory.h"
// timeline gst: the GStreamer element, the graph, the registration entry points.
#include "filter/timeline/gst/GstTavmSource.h"
#include "filter/timeline/gst/TavmGraph.h"
#include "filter/timeline/gst/TavmEntryPoints.h"
