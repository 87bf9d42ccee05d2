// The file preview: one media file of the library played by GStreamer's own playback
// element into the same picture and sound sinks as the timeline preview. A file that
// cannot be played is reported in the "Player Window" box with the text of the step
// that failed, and the player is closed again.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Prompt.h"
#include "studio/shell/GraphPlayer.h"

namespace zolvex {
namespace studio {

// The steps of opening a file whose failure the user is told about, each with its
// own text.
enum class FileStep {
    kCreateGraph,
    kRenderFile,
    kQueryControl,
    kQueryEvent,
    kQuerySeeking,
    kQueryPosition,
    kQueryVideoWindow,
    kQueryBasicVideo,
    kQueryBasicAudio,
    kNotifyWindow,
    kOwner,
    kWindowStyle,
    kInitVideoWindow,
    kInitPlayerWindow,
    kRun,
    kWindowPosition,
    kVisible,
};

// The box's text for a step that failed with `hr` (at most 511 bytes).
std::string FileStepFailure(FileStep step, uint32_t hr);

class FilePlayer : public GraphPlayer {
public:
    explicit FilePlayer(IPreviewListener* listener = nullptr) : GraphPlayer(listener) {}
    ~FilePlayer() override { Close(); }

    // Opens `path` and plays it; on failure the "Player Window" box tells `prompt`
    // (when given) which step failed, the player is closed and the step returned
    // through *failed.
    bool Open(const std::string& path, IPrompt* prompt, FileStep* failed = nullptr);
    void Close();
    const std::string& Path() const { return path_; }
    bool AudioOnly() const { return audioOnly_; }

private:
    bool Fail(FileStep step, uint32_t hr, IPrompt* prompt, FileStep* failed);

    struct _GstElement* playbin_ = nullptr;
    std::string path_;
    bool audioOnly_ = false;
};

}  // namespace studio
}  // namespace zolvex
