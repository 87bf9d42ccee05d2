// CTavmRenderer: the frame producer. For a timeline position it finds the scene,
// decodes its source frame or loads its picture, fits it to the output, lays the
// titles, animated pictures, effects and 3D screen items over it, and blends it with
// the previous scene through the scene's transition.
//
// VideoFrameLoop is the video stream's fill step around it: frame by frame, time
// stamps, preview pacing, the end of the stream, and in encode mode the hand-over of
// every frame to the movie encoder. It knows nothing of the media framework; the
// stream calls it from its streaming thread.
//
// Frames are W × H × 3 bytes, blue-green-red, bottom-up, without padding.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "filter/media/TavmDetReader.h"
#include "filter/media/TavmMediaReader.h"
#include "filter/timeline/CompositionSurface.h"
#include "filter/timeline/EncoderLock.h"
#include "filter/timeline/TimelineSeams.h"
#include "platform/Export.h"

class CfTavEffect;

namespace zolvex {

class ZVF_API CTavmRenderer : public ITimelineVideo {
public:
    // The stream makes its producer at its frame size (320 × 240 at first).
    CTavmRenderer(int width = 320, int height = 240);
    ~CTavmRenderer() override;
    CTavmRenderer(const CTavmRenderer&) = delete;
    CTavmRenderer& operator=(const CTavmRenderer&) = delete;

    // ITimelineVideo. They run only while no frame is being rendered (the abort
    // handshake, or the stream stopped).
    void SetTimeline(const TimelineLists& lists, double dTransition) override;
    void SetFrameSize(int width, int height) override;
    void SetSrcVideoSize(int width, int height) override;
    void SetDisplayAspect(int numerator, int denominator) override;
    void SetAniFrameRate(int fps) override { aniFrameRate_ = fps; }
    void SetSideLists(const SideLists& lists) override { sides_ = lists; }
    void SetMode(int mode) override { mode_ = mode; }
    RenderGate& Gate() override { return gate_; }

    // Produces the frame for the timeline position (100-ns units) into the output
    // buffer. Returns at once while an abort is raised.
    void RenderFrame(int64_t position);
    // The stream's sample buffer (W × H × 3 bytes), which RenderFrame writes.
    void SetOutputBuffer(unsigned char* buffer) { outFrame_ = buffer; }
    // Fills a frame of the producer's size with black.
    void ClearFrame(unsigned char* buffer) const;

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Mode() const { return mode_; }
    double LastFrameTime() const { return lastFrameTime_; }
    // Duration of the last RenderFrame, 100-ns units.
    int64_t RenderTime() const { return renderTime_; }
    double SceneTime() const { return sceneTime_; }
    bool InTransition() const { return inTransition_; }
    int TransitionID() const { return transitionId_; }
    // The frames being composed: the current scene's fitted picture, the composed
    // frame, and the last composed frame of the previous scene.
    const std::vector<unsigned char>& SceneFrame() const { return sceneFrame_; }
    const std::vector<unsigned char>& CurrentFrame() const { return curFrame_; }
    const std::vector<unsigned char>& PreviousFrame() const { return prevFrame_; }

private:
    void SceneStep(SceneRecord* scene, double dIn);
    void OpenScene(SceneRecord* scene);
    void OpenVideo(SceneRecord* scene, double sourceTime);
    void ScaleVideoFrame(const unsigned char* frame, int w, int h, bool topDownRgb);
    void OverlayPass(double t);
    void ApplyEffect(tagOPR_EFFECT& op, double t);
    void PrepareEffect(tagOPR_EFFECT& op);
    void SetUpEffect(CfTavEffect& fx, const tagOPR_EFFECT& op, float fade) const;
    void RunTransition();
    void ReopenScenes();

    int width_ = 0, height_ = 0;
    std::vector<unsigned char> sceneFrame_, curFrame_, prevFrame_, work_, copy_;
    unsigned char* outFrame_ = nullptr;
    CompositionSurface surface_;

    CTavmMediaReader mediaReader_;
    CTavmDetReader detReader_;
    bool usingDetReader_ = false;
    int flip_ = 0;

    TimelineLists lists_;
    SideLists sides_;
    double transitionLength_ = 1.0;
    double projectSeconds_ = 0;
    double sceneTime_ = 0;
    bool inTransition_ = false;
    int transitionId_ = 0;
    double lastFrameTime_ = 0;
    int64_t renderTime_ = 0;

    RenderGate gate_;
    int mode_ = kPreviewMode;
    int aniFrameRate_ = 12;
    int srcWidth_ = 0, srcHeight_ = 0;
    int aspectNumerator_ = 0, aspectDenominator_ = 0;
};

// One frame as the video stream sends it downstream.
struct VideoFrame {
    int64_t llStart = 0;        // stream time stamps, 100-ns units
    int64_t llStop = 0;
    bool bEndOfStream = false;  // nothing to send: the stream has ended
    bool bDiscontinuity = false;
    bool bSyncPoint = true;
};

class ZVF_API VideoFrameLoop {
public:
    explicit VideoFrameLoop(CTavmRenderer& renderer);

    // The movie encoder and the lock it shares with the audio stream (which also keeps
    // the two streams within a second of each other); without a sink, encode mode
    // renders only.
    void SetEncoder(IVideoEncoderSink* sink, EncoderLock* lock);
    // Waits of preview pacing; tests record them instead.
    void SetSleeper(std::function<void(int milliseconds)> sleep);

    // The streaming thread was created: sample time 0, position = start, the frame
    // duration back to 666,666, and the next frame is the first (black) one.
    void StartStreaming(int64_t start);
    // Streaming stops or is flushed: the audio stream must not wait for this one.
    // Safe from any thread while NextFrame runs.
    void Halt();
    // Running starts or the stream was repositioned: the next frame says so.
    void MarkDiscontinuity();
    // A new start while streaming: sample time 0, position = start.
    void Reposition(int64_t start);
    void SetStop(int64_t stop);
    // Playback rate; values that are not positive are refused.
    bool SetRate(double rate);
    void SetFrameDuration(int64_t duration);

    int64_t Position() const;
    int64_t SampleTime() const;
    int64_t FrameDuration() const;

    // Fills `buffer` (the stream's sample buffer, W × H × 3 bytes) with the next frame.
    VideoFrame NextFrame(unsigned char* buffer);

    // Preview never runs faster than 15 frames per second.
    static constexpr int64_t kPreviewPeriod = 666666;

private:
    void Encode(const unsigned char* buffer);

    CTavmRenderer& renderer_;
    mutable std::mutex mutex_;  // the stream's lock: position fields and the fill step
    IVideoEncoderSink* sink_ = nullptr;
    EncoderLock* lock_ = nullptr;
    std::function<void(int)> sleep_;
    bool first_ = true;
    bool discontinuity_ = false;
    int64_t position_ = 0, sampleTime_ = 0, stop_ = 0;
    int64_t frameDuration_ = kPreviewPeriod;
    double rate_ = 1.0;
    int encodeCounter_ = 0;
    std::vector<unsigned char> encodeCopy_;
};

}  // namespace zolvex
