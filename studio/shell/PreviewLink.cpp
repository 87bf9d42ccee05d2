#include "studio/shell/PreviewLink.h"

#include <chrono>
#include <thread>

#include "filter/timeline/gst/TavmEntryPoints.h"
#include "filter/timeline/stream/TavmSource.h"
#include "platform/ClassRegistry.h"

namespace zolvex {
namespace studio {

PreviewLink::~PreviewLink() { Close(); }

bool PreviewLink::Open(bool graph, std::string* error)
{
    if (filter_)
        return true;
    if (DllRegisterServer() != S_OK) {
        if (error)
            *error = "The rendering filter could not be registered.";
        return false;
    }
    if (CreateInstance(CLSID_TavmSource, IID_IUnknown, reinterpret_cast<void**>(&filter_)) != S_OK || !filter_) {
        filter_ = nullptr;
        if (error)
            *error = "The rendering filter could not be created.";
        return false;
    }
    if (graph) {
        graph_ = CTavmGraph::Build(filter_, CTavmGraph::kDiscardingSinks, error);
        if (!graph_)
            return true;  // the filter still takes the lists; there is just nothing to show
    }
    return true;
}

void PreviewLink::Close()
{
    if (graph_) {
        graph_->Stop();
        graph_.reset();
    }
    if (filter_) {
        filter_->Release();
        filter_ = nullptr;
    }
}

ITavmControl* PreviewLink::Control()
{
    ITavmControl* control = nullptr;
    if (filter_ && filter_->QueryInterface(IID_ITavmControl, reinterpret_cast<void**>(&control)) != S_OK)
        control = nullptr;
    return control;
}

void PreviewLink::SetFrame(const ProjectHeader& h)
{
    ITavmControl* c = Control();
    if (!c)
        return;
    if (h.nWidth > 0 && h.nHeight > 0) {
        c->SetOutputSize(h.nWidth, h.nHeight);
        c->SetSrcVideoSize(h.nWidth, h.nHeight);
    }
    if (h.nAspectNumerator > 0 && h.nAspectDenominator > 0)
        c->SetDisplayAspect(h.nAspectNumerator, h.nAspectDenominator);
    c->Release();
}

bool PreviewLink::Hold(int timeoutMs)
{
    ITavmControl* c = Control();
    if (!c)
        return true;
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
    if (graph_ && position > 0 && position <= duration)
        graph_->Seek(position);
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
    if (graph_ && seconds >= 0.0)
        graph_->Seek(int64_t(seconds * 1e7));
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
