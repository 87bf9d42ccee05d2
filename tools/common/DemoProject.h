// A demo project made from media generated on the spot: two video clips and a
// picture with transitions between them, two titles, an animated picture, a static
// effect confined to a polygon, the sample animation effect and a 3D screen item.
// The gallery renders frames of it; the headless renderer will make a movie of it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "filter/animation/AnimationRecords.h"
#include "filter/timeline/model/TimelineLists.h"

namespace zolvex {
namespace demo {

class DemoProject {
public:
    DemoProject();
    ~DemoProject();
    DemoProject(const DemoProject&) = delete;
    DemoProject& operator=(const DemoProject&) = delete;

    // Makes the media in `folder` (which must exist) at the given frame size with the
    // ffmpeg command and Cairo, and builds the timeline; false, with the reason in
    // *error, when something cannot be made.
    bool Build(const std::string& folder, int width, int height, std::string* error);

    TimelineLists Lists();
    SideLists Sides();
    double LengthSeconds() const;
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    struct Storage;
    std::unique_ptr<Storage> s_;
    int width_ = 0, height_ = 0;
};

}  // namespace demo
}  // namespace zolvex
