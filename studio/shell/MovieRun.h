// One encoding run: a rendering filter of its own, made by its class identifier,
// in a graph whose sinks discard what they are given, switched into encoding mode
// so that everything the streams render goes into the movie file. The studio's Save
// Movie and zolvex-render both make their movies through it, so the order of the
// calls into the filter (which its encoder depends on) lives in one place.
//
//   MovieRun run;
//   if (!run.Start(setup, &error)) …           // nothing is running; the file may exist, empty
//   while (run.Poll(250, &error) == MovieRun::State::kRunning) … Position(), Progress()
//   run.Finish(&error);                         // after the end, on a failure or to cancel
//
// Every call is made on one thread (the caller's); the filter's own streaming
// threads do the rendering and encoding meanwhile.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "filter/media/MediaProblems.h"
#include "filter/timeline/model/TimelineLists.h"
#include "studio/project/ProjectRecords.h"
#include "studio/shell/MovieOutputParams.h"

struct ITavmControl;

namespace zolvex {

class CTavmGraph;

namespace studio {

class AnimationLibrary;
class ScreenLibrary;

struct MovieRunSetup {
    MovieOutputParams params;
    // The file the encoder writes; params.szFilePath is not looked at, so that a
    // caller can write into a temporary file and put it in place afterwards. Its
    // ending picks the container.
    std::string outputPath;
    ProjectHeader header;  // the frame size and aspect the project was designed in
    TimelineLists lists;   // stay the caller's, valid until Finish
    AnimationLibrary* animations = nullptr;  // may be null: no animation effects
    ScreenLibrary* screens = nullptr;        // may be null: no 3D screen masks or pictures
    double transitionSeconds = 1.0;
    double pictureSeconds = 5.0;
};

class MovieRun {
public:
    enum class State { kIdle, kRunning, kEnded, kFailed };

    MovieRun();
    // A run still going is finished where it stands.
    ~MovieRun();
    MovieRun(const MovieRun&) = delete;
    MovieRun& operator=(const MovieRun&) = delete;

    // Makes the filter and its graph, hands over the settings, the side lists and
    // the timeline, opens the movie file and runs the graph from the start. False
    // with *error when any step fails; nothing is left running then.
    bool Start(const MovieRunSetup& setup, std::string* error);

    // Waits up to `timeoutMs` for the end of both streams at the sinks. kFailed
    // (with *error) when a stream reported an error. Once ended or failed, the
    // answer stays until Finish.
    State Poll(int timeoutMs, std::string* error = nullptr);

    // Stream time of the next video frame and the stream's length, in 100 ns.
    int64_t Position() const;
    int64_t Duration() const;
    // Percent of the movie written, 0 to 100.
    float Progress() const;
    // The encoder's complaint so far (cannot open, cannot write …); "" while all is well.
    std::string OutputError() const;
    // Seconds of one movie frame.
    double FrameSeconds() const { return frameSeconds_; }

    // Holds and continues the streams, and with them the encoding.
    bool Pause();
    bool Resume();
    bool Paused() const { return paused_; }

    // Stops the graph and closes the movie (a cancelled one then ends where the
    // streams stood), puts the filter back into preview mode and lets the filter
    // and graph go. False with the encoder's reason in *error when the movie could
    // not be written. Harmless when nothing runs.
    bool Finish(std::string* error = nullptr);

    bool Active() const { return control_ != nullptr; }
    State LastState() const { return state_; }
    // The media files the filter could not use, gathered as the run finished.
    const std::vector<MediaProblem>& MediaProblems() const { return problems_; }

private:
    bool Settings();
    void Release();

    ITavmControl* control_ = nullptr;
    std::unique_ptr<CTavmGraph> graph_;
    MovieRunSetup setup_;
    double frameSeconds_ = 0.04;
    State state_ = State::kIdle;
    std::string failure_;  // what the graph said when it failed
    bool paused_ = false;
    std::vector<MediaProblem> problems_;
};

}  // namespace studio
}  // namespace zolvex
