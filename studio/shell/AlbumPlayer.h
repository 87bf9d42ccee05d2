// The timeline preview: the rendering filter in the graph "Tavm Album" with a picture
// sink for the player's screen and a sound sink on the default sound device (a silent
// one, keeping the clock's pace, when there is none).
#pragma once

#include <memory>
#include <string>

#include "filter/timeline/gst/TavmGraph.h"
#include "studio/shell/GraphPlayer.h"

namespace zolvex {
namespace studio {

class AlbumPlayer : public GraphPlayer {
public:
    explicit AlbumPlayer(IPreviewListener* listener = nullptr) : GraphPlayer(listener) {}
    ~AlbumPlayer() override { Destroy(); }

    // Tears down what there was and makes a new filter; false with *error.
    bool Create(std::string* error = nullptr);
    // The graph around the filter, prerolled and paused: 1 built, 0 failed (and the
    // player shows nothing).
    int Build(std::string* error = nullptr);
    // A new graph around the same filter (after the frame size changed).
    int Rebuild(std::string* error = nullptr);
    // Stops the graph and lets go of it and of the filter.
    void Destroy();

    IUnknown* Filter() const { return filter_; }
    CTavmGraph* Graph() const { return graph_.get(); }

private:
    IUnknown* filter_ = nullptr;
    std::unique_ptr<CTavmGraph> graph_;
};

}  // namespace studio
}  // namespace zolvex
