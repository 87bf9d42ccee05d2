// The media graph "Tavm Album" the studio plays and encodes through: the rendering
// filter's element, a video sink and an audio sink, with running, pausing, seeking
// and stopping. Built on GStreamer; the caller never sees GStreamer types.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Export.h"
#include "platform/Unknown.h"

struct _GstElement;

namespace zolvex {

class ZVF_API CTavmGraph {
public:
    enum Sinks {
        kPlaybackSinks,   // the screen and the sound card, paced by the clock
        kDiscardingSinks  // nothing waits for the clock: encoding as fast as it goes
    };

    // A graph around `filter` (an IUnknown of the rendering filter, which the graph
    // holds a reference to); nullptr with *error when it cannot be built.
    static std::unique_ptr<CTavmGraph> Build(IUnknown* filter, Sinks sinks, std::string* error);
    // The same around sinks of the caller's making (elements or bins with a "sink"
    // pad), which the graph takes over, failing or not.
    static std::unique_ptr<CTavmGraph> Build(IUnknown* filter, _GstElement* videoSink, _GstElement* audioSink,
                                             std::string* error);
    ~CTavmGraph();
    CTavmGraph(const CTavmGraph&) = delete;
    CTavmGraph& operator=(const CTavmGraph&) = delete;

    // Pause waits until the graph is ready (the streams have agreed their types).
    bool Pause(int timeoutMs = 10000);
    bool Run();
    bool Stop();
    // Flushing seek of both streams to `position` (100-ns units) at `rate`.
    bool Seek(int64_t position, double rate = 1.0);
    // Waits for the end of both streams; false on an error (with its text) or timeout.
    bool WaitForEnd(int timeoutMs, std::string* error = nullptr);
    // Waits at most `timeoutMs` for the end or an error, so that a caller can also
    // watch for a cancel or show progress between waits.
    enum class Outcome { kRunning, kEnded, kFailed };
    Outcome PollEnd(int timeoutMs, std::string* error = nullptr);

    _GstElement* Pipeline() const { return pipeline_; }
    _GstElement* Source() const { return source_; }

private:
    CTavmGraph() = default;
    bool WaitForState(int state, int timeoutMs);

    _GstElement* pipeline_ = nullptr;
    _GstElement* source_ = nullptr;
};

}  // namespace zolvex
