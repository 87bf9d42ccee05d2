#include "studio/shell/MovieRun.h"

#include <gst/gst.h>

#include "filter/encoder/CodecTable.h"
#include "filter/timeline/gst/TavmEntryPoints.h"
#include "filter/timeline/gst/TavmGraph.h"
#include "filter/timeline/stream/ITavmControl.h"
#include "filter/timeline/stream/ITavmMediaProblems.h"
#include "filter/timeline/stream/TavmSource.h"
#include "platform/ClassRegistry.h"
#include "studio/maker/AnimationLibrary.h"
#include "studio/project/ScreenLibrary.h"

namespace zolvex {
namespace studio {

namespace {

bool Say(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

std::string EncoderError(ITavmControl* control)
{
    char why[512];
    control->GetOutputError(why, sizeof why);
    return why;
}

std::vector<MediaProblem> FilterProblems(ITavmControl* control)
{
    std::vector<MediaProblem> list;
    ITavmMediaProblems* problems = nullptr;
    if (control->QueryInterface(IID_ITavmMediaProblems, reinterpret_cast<void**>(&problems)) != S_OK || !problems)
        return list;
    int count = 0;
    problems->GetProblemCount(&count);
    for (int i = 0; i < count; ++i) {
        char path[4096], why[512];
        if (problems->GetProblem(i, path, sizeof path, why, sizeof why) == S_OK)
            list.push_back({path, why});
    }
    problems->Release();
    return list;
}

}  // namespace

MovieRun::MovieRun() = default;

MovieRun::~MovieRun() { Finish(nullptr); }

// The output settings go in twice: once so that the graph agrees the pins' types at
// the movie's size, and again after building, which replaced the frame producer and
// reset the frame duration.
bool MovieRun::Settings()
{
    const MovieOutputParams& p = setup_.params;
    const ProjectHeader& h = setup_.header;
    return control_->SetOutputFormat(p.nFrameRate, p.nWidth, p.nHeight, p.nVideoCodec, p.nVideoBitRate,
                                     p.nAudioCodec, p.nAudioBitRate, p.nChannels, p.nSampleRate, p.nQuality,
                                     setup_.outputPath.c_str(), p.szFormatName.c_str(), h.nAspectNumerator,
                                     h.nAspectDenominator) == S_OK &&
           control_->SetSrcVideoSize(h.nWidth, h.nHeight) == S_OK &&
           control_->SetDisplayAspect(h.nAspectNumerator, h.nAspectDenominator) == S_OK;
}

void MovieRun::Release()
{
    graph_.reset();
    if (control_) {
        control_->Release();
        control_ = nullptr;
    }
    paused_ = false;
}

bool MovieRun::Start(const MovieRunSetup& setup, std::string* error)
{
    if (control_)
        return Say(error, "a movie is being made already");
    setup_ = setup;
    state_ = State::kIdle;
    problems_.clear();
    if (setup_.outputPath.empty())
        return Say(error, "the movie has no file to be written into");

    DllRegisterServer();
    IUnknown* filter = nullptr;
    if (CreateInstance(CLSID_TavmSource, IID_IUnknown, reinterpret_cast<void**>(&filter)) != S_OK || !filter)
        return Say(error, "the rendering filter could not be created");
    filter->QueryInterface(IID_ITavmControl, reinterpret_cast<void**>(&control_));
    filter->Release();
    if (!control_)
        return Say(error, "the rendering filter has no control interface");

    const MovieOutputParams& p = setup_.params;
    const encoder::FrameTime frame = encoder::FrameTimeOf(p.nFrameRate, p.nVideoCodec);
    frameSeconds_ = double(frame.num) / frame.den;
    if (!Settings()) {
        Release();
        return Say(error, "the movie settings are not possible (" + std::to_string(p.nWidth) + "x" +
                              std::to_string(p.nHeight) + ")");
    }
    std::string why;
    graph_ = CTavmGraph::Build(filter, CTavmGraph::kDiscardingSinks, &why);
    if (!graph_ || !graph_->Pause()) {
        const bool built = graph_ != nullptr;
        Release();
        return Say(error, built ? "the graph did not get ready" : why);
    }
    Settings();
    if (setup_.animations)
        control_->SetAnimationLibrary(setup_.animations->Records(), setup_.animations->Versions());
    if (setup_.screens) {
        control_->SetScreenMasks(setup_.screens->Masks(), setup_.screens->MaskSizes());
        control_->SetPictureList(setup_.screens->Pictures());
    }
    // Full motion renders every frame, and the animations step at the movie's own
    // rate; without it the filter keeps to its rule of the rates.
    control_->SetFullMotion(p.bFullMotion ? 1 : 0);
    if (control_->SetMode(1) != S_OK) {
        why = EncoderError(control_);
        control_->SetMode(0);
        Release();
        return Say(error, "the movie cannot be written: " + why);
    }
    if (p.bFullMotion)
        control_->SetFrameRate(1.0 / frameSeconds_);
    const TimelineLists& l = setup_.lists;
    control_->SetTimeline(l.pScenes, l.pSpans, l.pObjects, l.pKinds, setup_.transitionSeconds,
                          setup_.pictureSeconds);
    graph_->Seek(0);
    graph_->Run();
    state_ = State::kRunning;
    failure_.clear();
    return true;
}

MovieRun::State MovieRun::Poll(int timeoutMs, std::string* error)
{
    if (state_ == State::kRunning && graph_) {
        switch (graph_->PollEnd(timeoutMs, &failure_)) {
        case CTavmGraph::Outcome::kRunning: break;
        case CTavmGraph::Outcome::kEnded: state_ = State::kEnded; break;
        case CTavmGraph::Outcome::kFailed: state_ = State::kFailed; break;
        }
    }
    // Asked again, a failed run still says why.
    if (state_ == State::kFailed && error)
        *error = failure_;
    return state_;
}

int64_t MovieRun::Position() const
{
    int64_t position = 0;
    if (control_)
        control_->GetPosition(&position);
    return position;
}

int64_t MovieRun::Duration() const
{
    int64_t length = 0;
    if (control_)
        control_->GetDuration(&length);
    return length;
}

float MovieRun::Progress() const
{
    float percent = 0;
    if (control_)
        control_->GetProgress(&percent);
    return percent;
}

std::string MovieRun::OutputError() const { return control_ ? EncoderError(control_) : std::string(); }

bool MovieRun::Pause()
{
    if (!graph_ || state_ != State::kRunning)
        return false;
    // Asked, not waited for: the streams settle on their own threads, and the window
    // that asked is not held while they do.
    const bool held = gst_element_set_state(graph_->Pipeline(), GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE;
    paused_ = true;
    return held;
}

bool MovieRun::Resume()
{
    if (!graph_ || !paused_)
        return false;
    paused_ = false;
    return graph_->Run();
}

bool MovieRun::Finish(std::string* error)
{
    if (!control_)
        return true;
    if (graph_)
        graph_->Stop();
    problems_ = FilterProblems(control_);
    control_->FinishOutput();
    control_->SetMode(0);
    control_->SetFrameRate(15.0);
    control_->SetFullMotion(0);
    const std::string why = EncoderError(control_);
    Release();
    if (state_ == State::kRunning)
        state_ = State::kIdle;
    if (!why.empty())
        return Say(error, why);
    return true;
}

}  // namespace studio
}  // namespace zolvex
