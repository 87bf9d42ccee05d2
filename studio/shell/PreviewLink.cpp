#include "studio/shell/PreviewLink.h"

#include <chrono>
#include <thread>

namespace zolvex {
namespace studio {

PreviewLink::~PreviewLink() { Close(); }

bool PreviewLink::Open(bool graph, std::string* error)
{
    if (IsOpen())
        return true;
    if (!player_.Create(error))
        return false;
    wantGraph_ = graph;  // built once the frame size is known
    return true;
}

void PreviewLink::Close()
{
    player_.Destroy();
    builtWidth_ = builtHeight_ = 0;
}

void PreviewLink::SetLibraries(AnimationLibrary* animations, ScreenLibrary* screens)
{
    animations_ = animations;
    screens_ = screens;
}

void PreviewLink::ApplyLibraries()
{
    ITavmControl* c = Control();
    if (!c)
        return;
    if (animations_)
        c->SetAnimationLibrary(animations_->Records(), animations_->Versions());
    if (screens_) {
        c->SetScreenMasks(screens_->Masks(), screens_->MaskSizes());
        c->SetPictureList(screens_->Pictures());
    }
    c->Release();
}

void PreviewLink::SetFrameRate(double fps)
{
    frameRate_ = fps;
    if (ITavmControl* c = Control()) {
        c->SetFrameRate(fps);
        c->Release();
    }
}

ITavmControl* PreviewLink::Control()
{
    ITavmControl* control = nullptr;
    IUnknown* filter = player_.Filter();
    if (filter && filter->QueryInterface(IID_ITavmControl, reinterpret_cast<void**>(&control)) != S_OK)
        control = nullptr;
    return control;
}

void PreviewLink::SetFrame(const ProjectHeader& h)
{
    auto apply = [this, &h] {
        ITavmControl* c = Control();
        if (!c)
            return;
        if (h.nWidth > 0 && h.nHeight > 0) {
            c->SetOutputSize(h.nWidth, h.nHeight);
            c->SetSrcVideoSize(h.nWidth, h.nHeight);
        }
        if (h.nAspectNumerator > 0 && h.nAspectDenominator > 0)
            c->SetDisplayAspect(h.nAspectNumerator, h.nAspectDenominator);
        if (frameRate_ > 0)
            c->SetFrameRate(frameRate_);
        c->Release();
        ApplyLibraries();
    };
    apply();
    if (!wantGraph_ || (player_.Built() && h.nWidth == builtWidth_ && h.nHeight == builtHeight_))
        return;
    // The streams agree their types as the graph is built, and that agreement makes
    // the filter a fresh producer: a new frame size means a new graph, and the
    // settings once more. The caller hands over the lists after this.
    std::string error;
    if (player_.Rebuild(&error) == 1) {
        builtWidth_ = h.nWidth;
        builtHeight_ = h.nHeight;
        apply();
    }
}

bool PreviewLink::Hold(int timeoutMs)
{
    ITavmControl* c = Control();
    if (!c)
        return true;
    if (player_.State() == AlbumPlayer::kRunning)
        player_.Pause();
    c->SetAbort(1);
    bool idle = false;
    for (int waited = 0;; waited += 10) {
        int answer = 0;
        if (c->IsIdle(&answer) == S_OK && answer == 1) {
            idle = true;
            break;
        }
        if (waited >= timeoutMs)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    c->Release();
    return idle;
}

double PreviewLink::Refresh(ProjectModel& model, double pictureSeconds)
{
    ITavmControl* c = Control();
    if (!c)
        return model.TotalLength();
    int64_t position = 0;
    c->GetPosition(&position);
    TimelineLists lists = model.Lists();
    c->SetTimeline(lists.pScenes, lists.pSpans, lists.pObjects, lists.pKinds, 1.0, pictureSeconds);
    int64_t duration = 0;
    c->GetDuration(&duration);
    c->SetAbort(0);
    // The shown picture is rendered again from the new lists.
    if (player_.Built())
        player_.Seek(position >= 0 && position <= duration ? position : 0);
    c->Release();
    ++refreshes_;
    return double(duration) / 1e7;
}

void PreviewLink::SetMusicVolume(int percent)
{
    if (ITavmControl* c = Control()) {
        c->SetMusicVolume(percent);
        c->Release();
    }
}

void PreviewLink::Seek(double seconds)
{
    if (seconds >= 0.0)
        player_.Seek(int64_t(seconds * 1e7));
}

double PreviewLink::Duration()
{
    int64_t d = 0;
    if (ITavmControl* c = Control()) {
        c->GetDuration(&d);
        c->Release();
    }
    return double(d) / 1e7;
}

double PreviewLink::Position()
{
    int64_t p = 0;
    if (ITavmControl* c = Control()) {
        c->GetPosition(&p);
        c->Release();
    }
    return double(p) / 1e7;
}

}  // namespace studio
}  // namespace zolvex
