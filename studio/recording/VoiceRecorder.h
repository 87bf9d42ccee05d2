// Voice capture: the default input device and the formats it offers, and a
// recording run that writes exactly the chosen format into a WAV file whatever the
// device delivers (a fixed conversion chain before the format's caps), with the
// input's level for a meter. GStreamer streams on its own threads; the caller's
// thread starts and stops.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "studio/recording/RecordingFormats.h"
#include "studio/recording/WaveFile.h"

struct _GstElement;
struct _GstCaps;
struct _GstAppSink;

namespace zolvex {
namespace studio {

// What a device's caps allow, as ranges of raw sound (other kinds are left out).
std::vector<CapsRange> RangesOfCaps(const _GstCaps* caps);

// The default input device: its name and ranges. False when there is none; sources
// that only mirror an output ("monitor" devices) are not inputs.
struct InputDevice {
    std::string name;
    std::vector<CapsRange> ranges;
    // Makes the element that records from this device (the formats listed are its).
    std::function<_GstElement*()> source;
};
bool DefaultInputDevice(InputDevice* device);

// The message for a failing input device: "WAVEIN:" with the code in hex, the
// system's text for it (at most 100 bytes) and what was being done.
std::string WaveInMessage(int code, const std::string& text, const std::string& context);

class VoiceRecorder {
public:
    // Makes the source element to record from (the system's default source when not
    // given).
    using SourceMaker = std::function<_GstElement*()>;
    // Sample frames in each block written to the file.
    static constexpr int kBlockFrames = 1000;

    explicit VoiceRecorder(SourceMaker source = nullptr);
    ~VoiceRecorder();
    VoiceRecorder(const VoiceRecorder&) = delete;
    VoiceRecorder& operator=(const VoiceRecorder&) = delete;

    // Creates the WAV file and starts recording into it; false with *error. With no
    // path it only listens: the level is measured and nothing is written (the meter
    // before a take).
    bool Start(const WAVEFORMATEX& format, const std::string& path, std::string* error);
    // Ends the stream, waits until all of it is in the file, and closes the file.
    bool Stop(std::string* error);
    bool Recording() const { return pipeline_ != nullptr; }
    // Seconds recorded, and the input's level in dB (−90 for silence or none yet).
    double Elapsed() const;
    double LevelDb() const { return level_.load(); }
    // A write to the file failed: the recording stopped taking samples.
    bool WriteFailed() const { return writeFailed_.load(); }
    // The device or the chain failed while recording (the stream then ends).
    struct DeviceError {
        bool failed = false;
        int code = 0;
        std::string text;
    };
    DeviceError Failure() const;

private:
    static int OnSample(_GstAppSink* sink, void* self);
    void Take(const uint8_t* data, size_t bytes);

    SourceMaker source_;
    _GstElement* pipeline_ = nullptr;
    WaveFile wav_;
    std::mutex lock_;
    std::vector<uint8_t> block_;
    size_t blockBytes_ = 0;
    std::atomic<double> level_{-90.0};
    std::atomic<bool> writeFailed_{false};
    bool listening_ = false;
    std::chrono::steady_clock::time_point started_;
};

}  // namespace studio
}  // namespace zolvex
