// CTavmRenderer: the frame producer. For a timeline position it finds the scene,
// decodes its source frame or loads its picture, fits it to the output, lays the
// titles, animated pictures, effects and 3D screen items over it, and blends it with
// the previous scene through the scene's transition.
//
// Frames are W × H × 3 bytes, blue-green-red, bottom-up, without padding.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "filter/media/MediaProblems.h"
#include "filter/media/TavmDetReader.h"
#include "filter/media/TavmMediaReader.h"
#include "filter/common/CompositionSurface.h"
#include "filter/timeline/video/ITimelineVideo.h"
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
    // Where a scene file that cannot be used is named (none: only the log hears of it).
    void SetMediaProblems(MediaProblemList* problems) { problems_ = problems; }

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
    void Unusable(const SceneRecord* scene, const std::string& why);
    // The media reader's last frame into the scene picture.
    void ScaleMediaFrame();
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
    MediaProblemList* problems_ = nullptr;
    CompositionSurface surface_;

    CTavmMediaReader mediaReader_;
    CTavmDetReader detReader_;
    bool usingDetReader_ = false;
    int flip_ = 0;
    bool mediaBottomUp_ = false;  // the media reader gives frames in the producer's layout

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

}  // namespace zolvex
