// ITavmControl: how the studio drives the rendering filter. The studio never sends
// frames or samples; it hands over the project (the four timeline lists and a few
// settings) and controls playback and movie output. Every operation returns a status;
// S_OK unless an argument is refused.
#pragma once

#include <cstdint>

#include "filter/timeline/model/TimelineRecords.h"
#include "platform/Unknown.h"

// {3A6A6226-336E-4A87-BB64-FDE55546BC81}
constexpr GUID IID_ITavmControl = {0x3A6A6226, 0x336E, 0x4A87, {0xBB, 0x64, 0xFD, 0xE5, 0x55, 0x46, 0xBC, 0x81}};

struct ITavmControl : IUnknown {
    // 1. Hands over the timeline: the four lists stay the studio's and must stay valid
    //    until the next call. dTransition is the transition length in seconds;
    //    dPictureTime the studio's picture play time (stored only).
    virtual HRESULT SetTimeline(SceneList* scenes, SpanList* spans, ObjectList* objects, KindList* kinds,
                                double dTransition, double dPictureTime) = 0;
    // 2. Frame size of the video stream and of every rendered frame.
    virtual HRESULT SetOutputSize(int width, int height) = 0;
    // 3. The frame size in which the studio designed positions.
    virtual HRESULT SetSrcVideoSize(int width, int height) = 0;
    // 4. Display aspect of the output (4:3, 16:9 …).
    virtual HRESULT SetDisplayAspect(int numerator, int denominator) = 0;
    // 5. Weight of music tracks against scene sound, percent 0–100.
    virtual HRESULT SetMusicVolume(int percent) = 0;
    // 6. Movie output parameters; the two texts must fit 259 bytes.
    virtual HRESULT SetOutputFormat(int frameRate, int width, int height, int videoCodec, int videoBitRate,
                                    int audioCodec, int audioBitRate, int channels, int sampleRate, int quality,
                                    const char* path, const char* preset, int aspectNumerator,
                                    int aspectDenominator) = 0;
    // 7. Raises (1) or clears (0) the stop flag of every producer and both streams.
    virtual HRESULT SetAbort(int flag) = 0;
    // 8. *idle = 1 when neither the frame producer nor the mixer is inside a render call.
    virtual HRESULT IsIdle(int* idle) = 0;
    // 9–11. Side lists, read on use: the animation library (records and their tags),
    //       the 3D screen masks and their sizes, the in-memory pictures.
    virtual HRESULT SetAnimationLibrary(CTavmArray<void*>* entries, CTavmArray<void*>* tags) = 0;
    virtual HRESULT SetScreenMasks(CTavmArray<void*>* masks, CTavmArray<tagSIZE>* sizes) = 0;
    virtual HRESULT SetPictureList(PictureList* pictures) = 0;
    // 12. 0 = preview, 1 = encode to file (opens the movie file). The mode changes even
    //     when the file cannot be opened, so the graph runs to its end as usual;
    //     E_FAIL then says that no movie is being written.
    virtual HRESULT SetMode(int mode) = 0;
    // 13. Frame duration and animation frame rate from frames per second (in encode
    //     mode without full motion, a third or a half of it at higher rates).
    virtual HRESULT SetFrameRate(double fps) = 0;
    // 14. Stream length in 100-ns units.
    virtual HRESULT GetDuration(int64_t* duration) = 0;
    // 15–16. Stream time of the next video frame.
    virtual HRESULT GetPosition(int64_t* position) = 0;
    virtual HRESULT SetPosition(int64_t position) = 0;
    // 17. Percent of the movie written.
    virtual HRESULT GetProgress(float* percent) = 0;
    // 18. Closes the movie file after the last frame.
    virtual HRESULT FinishOutput() = 0;
    // 19. Why the last movie could not be opened or written, NUL-terminated and cut
    //     to `size` bytes; an empty text when nothing failed.
    virtual HRESULT GetOutputError(char* text, int size) = 0;
    // 20. Full motion: 1 renders every frame of a movie, and the animations step at
    //     the full frame rate; 0 (the default) renders every second or third frame at
    //     higher rates and writes each picture that many times.
    virtual HRESULT SetFullMotion(int on) = 0;

protected:
    ~ITavmControl() = default;
};
