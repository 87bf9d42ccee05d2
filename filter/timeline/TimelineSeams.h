// What the control interface drives: the frame producer, the audio mixer, the movie
// encoder and the two output streams. Each is a small interface so that the control
// logic stands on its own and the parts can be replaced (the frame producer is made
// anew whenever the video stream agrees a new frame size).
#pragma once

#include <cstdint>
#include <string>

#include "filter/timeline/RenderGate.h"
#include "filter/timeline/TimelineRecords.h"

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

// Movie output parameters.
struct OutputFormat {
    int32_t nFrameRate = 0;
    int32_t nWidth = 0, nHeight = 0;
    int32_t nVideoCodec = 0, nVideoBitRate = 0;
    int32_t nAudioCodec = 0, nAudioBitRate = 0;
    int32_t nChannels = 0, nSampleRate = 0;
    int32_t nQuality = 0;
    char szPath[260] = {};
    char szPreset[260] = {};
    int32_t nAspectNumerator = 0, nAspectDenominator = 0;
};

enum TimelineMode { kPreviewMode = 0, kEncodeMode = 1 };

class ITimelineVideo {
public:
    virtual ~ITimelineVideo() = default;
    // Stores the lists, resets the scene state and the per-object caches, prepares
    // the animation effects.
    virtual void SetTimeline(const TimelineLists& lists, double dTransition) = 0;
    // Rebuilds the drawing surfaces at the new size.
    virtual void SetFrameSize(int width, int height) = 0;
    virtual void SetSrcVideoSize(int width, int height) = 0;
    virtual void SetDisplayAspect(int numerator, int denominator) = 0;
    virtual void SetAniFrameRate(int fps) = 0;
    virtual void SetSideLists(const SideLists& lists) = 0;
    virtual void SetMode(int mode) = 0;
    virtual RenderGate& Gate() = 0;
};

class ITimelineAudio {
public:
    virtual ~ITimelineAudio() = default;
    // Clears the open flags of scenes and music tracks and sizes the channel buffers.
    virtual void SetTimeline(const TimelineLists& lists) = 0;
    virtual void SetMusicVolume(int percent) = 0;
    virtual void SetChannels(int channels) = 0;
    virtual void SetMode(int mode) = 0;
    virtual RenderGate& Gate() = 0;
};

class IMovieOutput {
public:
    virtual ~IMovieOutput() = default;
    // Opens the movie file, adds the video and audio streams and writes the header.
    virtual bool OpenMovie(const OutputFormat& format) = 0;
    // Closes both encoders, writes the trailer and closes the file.
    virtual void FinishMovie() = 0;
    // Why the last movie could not be opened or written; empty when nothing failed.
    virtual std::string OutputError() const = 0;
};

class IStreamPins {
public:
    virtual ~IStreamPins() = default;
    // Stream length and stop time of both streams, 100-ns units.
    virtual void SetStreamLength(int64_t length) = 0;
    virtual void SetVideoSize(int width, int height) = 0;
    virtual void SetFrameDuration(int64_t duration) = 0;
    virtual void SetAudioFormat(int channels, int sampleRate, int bitsPerSample) = 0;
    virtual void SetAbort(bool abort) = 0;
    virtual void SetMode(int mode) = 0;
    // The video stream's time of its next frame.
    virtual int64_t GetPosition() = 0;
    virtual void SetPosition(int64_t position) = 0;
};

}  // namespace zolvex
