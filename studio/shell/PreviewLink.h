// The main window's hold on the rendering filter: the filter made by its class
// identifier, the graph "Tavm Album" around it, holding rendering before the
// timeline's lists change and handing the edited lists over after. The control
// interface is queried from the graph's source for each use and released after, so
// nothing keeps a stale pointer across a rebuilt graph.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "filter/timeline/gst/TavmGraph.h"
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

    // Makes the filter; with `graph` also the graph around it (paused, discarding
    // sinks until the player shows its pictures). False with *error when it cannot.
    bool Open(bool graph, std::string* error);
    void Close();
    bool IsOpen() const { return filter_ != nullptr; }
    CTavmGraph* Graph() const { return graph_.get(); }

    // The project's frame size and aspect, for the frames the preview renders.
    void SetFrame(const ProjectHeader& header);
    // Holds rendering and waits, polling every 10 ms, until neither stream is inside
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

    IUnknown* filter_ = nullptr;
    std::unique_ptr<CTavmGraph> graph_;
    int64_t refreshes_ = 0;
};

}  // namespace studio
}  // namespace zolvex
