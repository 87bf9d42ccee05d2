#include "filter/timeline/video/TavmRenderer.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "filter/animation/AnimationRecords.h"
#include "filter/common/PixelRows.h"
#include "filter/effects/fTavEffect.h"
#include "filter/screen3d/Screen3D.h"
#include "filter/timeline/video/ScenePicture.h"
#include "filter/timeline/video/StickerDrawing.h"
#include "filter/timeline/model/TimelineObjects.h"
#include "filter/timeline/model/TimelineTime.h"
#include "filter/timeline/video/TitleDrawing.h"
#include "filter/transitions/fTavTransition.h"
#include "platform/RegularFile.h"

namespace zolvex {
namespace {

// The version text of an animation library entry, or null for any other text.
const char* AnimationVersion(const void* entry)
{
    const char* text = static_cast<const char*>(entry);
    if (!text || !std::memchr(text, 0, 20))
        return nullptr;
    if (std::strcmp(text, ANIMATION_VERSION_1) == 0 || std::strcmp(text, ANIMATION_VERSION_2) == 0)
        return text;
    return nullptr;
}

// The version text of the library record whose GUID is the effect's; the entries
// whose tag (or, without tags, own) version text is neither version are passed over.
const char* FindAnimationVersion(const SideLists& sides, const GUID& guid)
{
    if (!sides.pAnimationEntries)
        return nullptr;
    CTavmArrayReader<void*> entries(sides.pAnimationEntries);
    CTavmArrayReader<void*> tags(sides.pAnimationTags);
    void* entry = nullptr;
    while (entries.Next(entry)) {
        void* tag = entry;
        if (sides.pAnimationTags && !tags.Next(tag))
            break;
        const char* version = AnimationVersion(tag);
        if (!version || !entry || !AnimationVersion(entry))
            continue;
        const GUID& g = std::strcmp(static_cast<const char*>(entry), ANIMATION_VERSION_2) == 0
                            ? static_cast<const tagROMANCE_EFFECT2*>(entry)->guidEffect
                            : static_cast<const tagROMANCE_EFFECT1*>(entry)->guidEffect;
        if (g == guid)
            return version;
    }
    return nullptr;
}

}  // namespace

CTavmRenderer::CTavmRenderer(int width, int height)
{
    SetFrameSize(width, height);
}

CTavmRenderer::~CTavmRenderer() = default;

void CTavmRenderer::SetFrameSize(int width, int height)
{
    if (width <= 0 || height <= 0)
        width = height = 0;
    width_ = width;
    height_ = height;
    const size_t bytes = size_t(width) * size_t(height) * 3;
    sceneFrame_.assign(bytes, 0);
    curFrame_.assign(bytes, 0);
    prevFrame_.assign(bytes, 0);
    work_.assign(bytes, 0);
    copy_.assign(bytes, 0);
    surface_.Resize(width, height);
    // The scene pictures were made at the old size: every scene opens again.
    ReopenScenes();
}

void CTavmRenderer::SetSrcVideoSize(int width, int height)
{
    srcWidth_ = width;
    srcHeight_ = height;
}

void CTavmRenderer::SetDisplayAspect(int numerator, int denominator)
{
    aspectNumerator_ = numerator;
    aspectDenominator_ = denominator;
}

void CTavmRenderer::ReopenScenes()
{
    ForEachScene(lists_, [](SceneRecord* scene, const SceneSpan&) {
        if (scene)
            scene->bVideoOpen = 0;
    });
}

void CTavmRenderer::SetTimeline(const TimelineLists& lists, double dTransition)
{
    lists_ = lists;
    transitionLength_ = dTransition;
    projectSeconds_ = ProjectLength(lists.pScenes, lists.pSpans);
    sceneTime_ = 0;
    inTransition_ = false;
    transitionId_ = 0;
    ReopenScenes();
    ForEachTimelineObject(lists_, [&](int kind, void* record) {
        if (kind == OBJ_SCREEN3D)
            PrepareScreenItem(*static_cast<ScreenOp*>(record), sides_.pPictures, width_, height_);
        else if (kind == OBJ_EFFECT)
            PrepareEffect(*static_cast<tagOPR_EFFECT*>(record));
    });
}

void CTavmRenderer::ClearFrame(unsigned char* buffer) const
{
    if (buffer)
        std::memset(buffer, 0, size_t(width_) * size_t(height_) * 3);
}

void CTavmRenderer::RenderFrame(int64_t position)
{
    RenderGate::Call call(gate_);
    if (!call.entered() || width_ <= 0 || height_ <= 0)
        return;
    const auto started = std::chrono::steady_clock::now();

    // The timeline loops: positions beyond its end come round to the start.
    const int64_t lengthMs = int64_t(std::min(projectSeconds_ * 1000.0, 9.0e15));
    const int64_t ms = std::max<int64_t>(position, 0) / 10000;
    const double t = lengthMs > 0 ? double(ms % lengthMs) / 1000.0 : 0.0;

    // Every scene that covers t runs its step; on a boundary the later one wins.
    double start = 0;
    const bool whole = ForEachScene(lists_, [&](SceneRecord* scene, const SceneSpan& span) {
        if (gate_.AbortRequested())
            return false;
        const double length = SceneLength(span);
        if (scene && start <= t && t <= start + length) {
            sceneTime_ = t - start;
            inTransition_ = sceneTime_ <= transitionLength_;
            if (PathFieldNamesData(scene->szPath))
                SceneStep(scene, span.dIn);
            else
                Unusable(scene, RegularFileProblem(scene->szPath));
        }
        start += length;
        return true;
    });
    if (!whole)
        return;

    OverlayPass(t);
    if (gate_.AbortRequested())
        return;
    if (outFrame_) {
        if (inTransition_)
            RunTransition();
        else
            std::memcpy(outFrame_, curFrame_.data(), curFrame_.size());
    }
    lastFrameTime_ = t;
    const auto elapsed = std::chrono::steady_clock::now() - started;
    renderTime_ = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() * 10000;
}

void CTavmRenderer::OpenScene(SceneRecord* scene)
{
    // The transition blends from the last composed picture (black before the first).
    prevFrame_ = curFrame_;
    transitionId_ = scene->nTransitionID;
    ForEachScene(lists_, [](SceneRecord* other, const SceneSpan&) {
        if (other)
            other->bVideoOpen = 0;
    });
    scene->bVideoOpen = 1;
}

void CTavmRenderer::SceneStep(SceneRecord* scene, double dIn)
{
    if (scene->nMediaType == MEDIA_TYPE_PICTURE) {
        if (!scene->bVideoOpen) {
            OpenScene(scene);
            std::string why;
            if (!LoadScenePicture(scene->szPath, width_, height_, aspectNumerator_, aspectDenominator_,
                                  sceneFrame_.data(), &why))
                Unusable(scene, why);
        }
    } else if (scene->nMediaType == MEDIA_TYPE_VIDEO) {
        if (!scene->bVideoOpen) {
            OpenScene(scene);
            // A scene opened part way (after a seek or an edit) starts at the frame of
            // its time rather than at its first frame.
            OpenVideo(scene, scene->dInPoint + sceneTime_);
        } else if (usingDetReader_) {
            if (detReader_.ReadFrameAt(dIn + sceneTime_))
                ScaleVideoFrame(detReader_.GetFrameData(), detReader_.GetWidth(), detReader_.GetHeight(), false);
        } else {
            if (mediaReader_.ReadFrameAt(dIn + sceneTime_))
                ScaleMediaFrame();
        }
    } else {
        return;
    }
    curFrame_ = sceneFrame_;
}

void CTavmRenderer::OpenVideo(SceneRecord* scene, double sourceTime)
{
    std::fill(sceneFrame_.begin(), sceneFrame_.end(), 0);
    flip_ = 0;
    // A file that opens but gives no picture where its scene starts is damaged
    // (cut short, say): its scene stays black.
    static const char kNoPicture[] = "no picture could be decoded from it";
    if (mediaReader_.Probe(scene->szPath, &flip_) && mediaReader_.Open(scene->szPath)) {
        usingDetReader_ = false;
        // A clip of the frame's own size comes in the frame's layout, row for row.
        mediaBottomUp_ = mediaReader_.GetWidth() == width_ && mediaReader_.GetHeight() == height_;
        mediaReader_.SetBottomUpBgr(mediaBottomUp_);
        if (mediaReader_.ReadFrameAt(sourceTime))
            ScaleMediaFrame();
        else
            Unusable(scene, kNoPicture);
        return;
    }
    usingDetReader_ = true;
    if (!detReader_.Open(scene->szPath))
        Unusable(scene, detReader_.OpenError());
    else if (detReader_.ReadFrameAt(sourceTime))
        ScaleVideoFrame(detReader_.GetFrameData(), detReader_.GetWidth(), detReader_.GetHeight(), false);
    else
        Unusable(scene, kNoPicture);
}

void CTavmRenderer::Unusable(const SceneRecord* scene, const std::string& why)
{
    if (!problems_)
        return;
    // An unterminated path field names no file that could be shown.
    const char* end = static_cast<const char*>(std::memchr(scene->szPath, 0, sizeof scene->szPath));
    problems_->Add(end ? scene->szPath : "", end ? why : "the scene's file name is damaged");
}

// Nearest neighbour to the full frame; the video's own aspect is not kept.
void CTavmRenderer::ScaleMediaFrame()
{
    ScaleVideoFrame(mediaReader_.GetFrameData(), mediaReader_.GetWidth(), mediaReader_.GetHeight(), !mediaBottomUp_);
}

void CTavmRenderer::ScaleVideoFrame(const unsigned char* frame, int w, int h, bool topDownRgb)
{
    if (!frame || w <= 0 || h <= 0)
        return;
    const int W = width_, H = height_;
    if (w == W && h == H) {
        // The same size: every row lands whole.
        for (int i = 0; i < H; ++i) {
            const unsigned char* src = frame + size_t(h - i - 1) * size_t(w) * 3;
            unsigned char* dst = sceneFrame_.data() + size_t(topDownRgb ? i : H - 1 - i) * size_t(W) * 3;
            if (topDownRgb)
                SwapRedBlueRow(src, dst, W);
            else
                std::memcpy(dst, src, size_t(W) * 3);
        }
        return;
    }
    const float ry = float(H) / h, rx = float(W) / w;
    std::vector<int> column(static_cast<size_t>(W));
    for (int j = 0; j < W; ++j) {
        const int m = int(j / rx + 0.5f);
        column[size_t(j)] = m < w ? m * 3 : -1;
    }
    unsigned char* out = sceneFrame_.data();
    for (int i = 0; i < H; ++i) {
        const int e = int(i / ry + 0.5f);
        // Top-down red-first rows land at memory row i with red and blue swapped;
        // bottom-up rows land at memory row H − 1 − i as they are.
        unsigned char* dst = out + size_t(topDownRgb ? i : H - 1 - i) * size_t(W) * 3;
        if (e >= h) {
            std::memset(dst, 0, size_t(W) * 3);
            continue;
        }
        const unsigned char* src = frame + size_t(h - e - 1) * size_t(w) * 3;
        for (int j = 0; j < W; ++j, dst += 3) {
            const int m = column[size_t(j)];
            if (m < 0) {
                dst[0] = dst[1] = dst[2] = 0;
            } else if (topDownRgb) {
                dst[0] = src[m + 2];
                dst[1] = src[m + 1];
                dst[2] = src[m];
            } else {
                dst[0] = src[m];
                dst[1] = src[m + 1];
                dst[2] = src[m + 2];
            }
        }
    }
}

void CTavmRenderer::OverlayPass(double t)
{
    if (!surface_.Valid())
        return;
    // The picture moves between the 3-byte frame and the surface only when the kind
    // of work changes: Cairo draws titles, pictures and 3D items on the surface,
    // effects work on the 3-byte frame.
    work_ = curFrame_;
    bool onSurface = false;
    const auto toSurface = [&] {
        if (!onSurface)
            surface_.LoadFrame(work_.data());
        onSurface = true;
    };
    const auto toFrame = [&] {
        if (onSurface)
            surface_.StoreFrame(work_.data());
        onSurface = false;
    };
    const TitleFrame titleFrame{width_, height_, srcWidth_, srcHeight_};
    const bool whole = ForEachTimelineObject(lists_, [&](int kind, void* record) {
        if (gate_.AbortRequested())
            return false;
        switch (kind) {
        case OBJ_TEXT: {
            const TextOp& op = *static_cast<const TextOp*>(record);
            if (ObjectActiveAt(op.dStartTime, op.dEndTime, t)) {
                toSurface();
                DrawTitle(surface_, op, t, titleFrame);
            }
            break;
        }
        case OBJ_PICTURE: {
            StickerOp& op = *static_cast<StickerOp*>(record);
            if (ObjectActiveAt(op.dStartTime, op.dEndTime, t)) {
                toSurface();
                DrawSticker(surface_, op, t, lastFrameTime_, mode_);
            }
            break;
        }
        case OBJ_EFFECT: {
            tagOPR_EFFECT& op = *static_cast<tagOPR_EFFECT*>(record);
            if (ObjectActiveAt(op.dStartTime, op.dEndTime, t) && outFrame_) {
                toFrame();
                ApplyEffect(op, t);
            }
            break;
        }
        case OBJ_SCREEN3D: {
            ScreenOp& op = *static_cast<ScreenOp*>(record);
            if (ObjectActiveAt(op.dStartTime, op.dEndTime, t)) {
                toSurface();
                DrawScreenItem(surface_, op, sides_, sceneFrame_.data(), width_, height_);
            }
            break;
        }
        default:
            break;
        }
        return true;
    });
    // An abort ends the pass without writing back.
    if (!whole)
        return;
    toFrame();
    curFrame_.swap(work_);
}

void CTavmRenderer::SetUpEffect(CfTavEffect& fx, const tagOPR_EFFECT& op, float fade) const
{
    const float scaleX = width_ / 720.0f;
    // Effects are designed on the reference frame; the vertical scale follows the
    // display aspect against the reference frame's own.
    float scaleY = scaleX;
    if (aspectNumerator_ > 0 && aspectDenominator_ > 0 && srcWidth_ > 0 && srcHeight_ > 0)
        scaleY = float(double(aspectNumerator_) / aspectDenominator_ * scaleX / (double(srcWidth_) / srcHeight_));
    fx.InitEffect(tagSIZE{width_, height_}, scaleX, scaleY, op.nLevel, 3);
    fx.SetRomanceData(sides_.pAnimationEntries);
    fx.SetCurEffectID(op.nEffectID);
    if (srcWidth_ > 0 && srcHeight_ > 0)
        fx.SetSrcVideoSize(tagSIZE{srcWidth_, srcHeight_});
    fx.SetAniFrameRate(aniFrameRate_);
    fx.SetCurEffectTime(0.0);
    fx.SetFadeOpacity(fade);
}

void CTavmRenderer::ApplyEffect(tagOPR_EFFECT& op, double t)
{
    // One second of fade in and out.
    const double e = t - op.dStartTime, rem = (op.dEndTime - op.dStartTime) - e;
    const float fade = float(e < 1 ? e : (rem < 1 ? rem : 1.0));
    CfTavEffect fx;
    SetUpEffect(fx, op, fade);
    copy_ = work_;
    if (IsNullGuid(op.guidEffect)) {
        fx.Effect(copy_.data(), work_.data(), &op);
    } else {
        const char* version = FindAnimationVersion(sides_, op.guidEffect);
        fx.Special_Effect(&op, copy_.data(), work_.data(), version ? version : "", nullptr);
    }
}

void CTavmRenderer::PrepareEffect(tagOPR_EFFECT& op)
{
    if (IsNullGuid(op.guidEffect))
        return;
    CfTavEffect fx;
    SetUpEffect(fx, op, 1.0f);
    // Setting up again releases the polygon with the animation data: keep its points.
    std::vector<tagSIZE> points;
    if (op.pValidPolygon) {
        CTavmArrayReader<tagSIZE> reader(op.pValidPolygon);
        tagSIZE p;
        while (reader.Next(p))
            points.push_back(p);
    }
    CfTavEffect::ReleaseOprSpecialData(&op);
    const char* version = FindAnimationVersion(sides_, op.guidEffect);
    fx.InitSpecial(op.guidEffect, &op, version ? version : "", nullptr);
    if (!points.empty() && op.pValidPolygon) {
        op.pValidPolygon->RemoveAll();
        for (const tagSIZE& p : points)
            op.pValidPolygon->Add(p);
    }
}

void CTavmRenderer::RunTransition()
{
    CfTavTransition transition;
    transition.InitTransfer(tagSIZE{width_, height_}, 3, transitionLength_);
    transition.SetCurTransferTime(sceneTime_);
    transition.SetCurTransferID(transitionId_);
    transition.Transfer(prevFrame_.data(), curFrame_.data(), outFrame_);
}

}  // namespace zolvex
