// The main window's hold on the rendering filter: the filter made by its class
// identifier, the graph "Tavm Album" around it, holding rendering before the
// timeline's lists change and handing the edited lists over after. The control
// interface is queried from the graph's source for each use and released after, so
// nothing keeps a stale pointer across a rebuilt graph.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "studio/maker/AnimationLibrary.h"
#include "studio/project/ScreenLibrary.h"
#include "studio/shell/AlbumPlayer.h"
#include "filter/timeline/stream/ITavmControl.h"
#include "studio/project/ProjectModel.h"

namespace zolvex {
namespace studio {

class PreviewLink {
public:
    PreviewLink() = default;
    ~PreviewLink();
    PreviewLink(const PreviewLink&) = delete;
    PreviewLink& operator=(const PreviewLink&) = delete;

    // Makes the filter; with `graph` also the player's graph around it, paused at the
    // start. False with *error when there is no filter; a graph that cannot be built
    // leaves the filter taking the lists with nothing shown.
    bool Open(bool graph, std::string* error);
    void Close();
    bool IsOpen() const { return player_.Filter() != nullptr; }
    AlbumPlayer& Player() { return player_; }
    CTavmGraph* Graph() const { return player_.Graph(); }
    void SetListener(IPreviewListener* listener) { player_.SetListener(listener); }
    // The animation effects and the 3D screen's masks and pictures the preview draws
    // with (either may be null); they stay the caller's and must outlive the preview.
    void SetLibraries(AnimationLibrary* animations, ScreenLibrary* screens);
    // Hands the libraries' lists to the filter again (after one of them changed,
    // with the preview held).
    void ApplyLibraries();
    // The preview's frame rate: 15 frames a second, or the project's own rate for a
    // smooth preview.
    void SetFrameRate(double fps);

    // The project's frame size and aspect, for the frames the preview renders; the
    // player's graph is (re)built here for a new size. Hand over the lists after it.
    void SetFrame(const ProjectHeader& header);
    // Pauses a playing preview, holds rendering and waits, polling every 10 ms, until neither stream is inside
    // a render call; false when the filter did not come to rest in `timeoutMs`.
    bool Hold(int timeoutMs = 10000);
    // Hands over the model's lists and releases rendering; the preview goes back to
    // where it stood when that is still inside the project. Returns the new length
    // in seconds.
    double Refresh(ProjectModel& model, double pictureSeconds);
    void SetMusicVolume(int percent);
    // Moves the preview to `seconds` (nothing without a graph).
    void Seek(double seconds);
    // The stream length and position in seconds (0 when not open).
    double Duration();
    double Position();

    // Holding and refreshing as the edit-latency benchmark measures them.
    int64_t Refreshes() const { return refreshes_; }

private:
    // The control interface, queried afresh (release it with Release()).
    ITavmControl* Control();

    AlbumPlayer player_;
    bool wantGraph_ = false;
    int builtWidth_ = 0, builtHeight_ = 0;
    double frameRate_ = 0;  // 0: the filter's own
    AnimationLibrary* animations_ = nullptr;
    ScreenLibrary* screens_ = nullptr;
    int64_t refreshes_ = 0;
};

}  // namespace studio
}  // namespace zolvex
