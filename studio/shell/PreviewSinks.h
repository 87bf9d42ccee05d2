// The sinks the preview plays into: pictures handed to whoever shows them, and sound
// on the default sound device through a volume stage, or, where there is no sound
// device, a silent sink that still keeps the clock's pace.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct _GstElement;

namespace zolvex {
namespace studio {

// One picture of the preview: rows from the top, blue-green-red, `stride` bytes apart.
// The bytes live only for the duration of the call that hands them over.
struct PreviewFrame {
    int width = 0, height = 0;
    size_t stride = 0;
    const uint8_t* bgr = nullptr;
    int64_t time = -1;  // stream time in 100-ns units, -1 when unknown
};

// What a graph's bus has to say, for the window's thread.
enum PlayerNews { kNewsSettled = 1, kNewsEnded = 2, kNewsFailed = 3 };

// The window's side of a player. Both calls come from the graph's own threads: the
// window copies what it needs and carries on on its own thread.
class IPreviewListener {
public:
    virtual ~IPreviewListener() = default;
    virtual void PreviewPicture(const PreviewFrame& picture) = 0;
    // Hand `news` back to the player's HandleNews on the window's thread.
    virtual void PreviewNews(int news) = 0;
};

// A sink bin of pictures for `listener` (nullptr: pictures are taken and dropped),
// paced by the clock, keeping only the newest picture when the window falls behind.
_GstElement* MakePictureSink(IPreviewListener* listener, std::string* error);
// A sink bin of sound with a "volume" element inside (found by that name). *silent
// says whether it plays on a device or only keeps time. ZOLVEX_AUDIO_SINK=fake asks
// for the silent sink whatever is there.
_GstElement* MakeSoundSink(bool* silent, std::string* error);

// The volume index 0..100 in hundredths of a decibel: −5000 (silent) to 0 (full).
int VolumeHundredths(int index);
// The linear gain of a volume in hundredths of a decibel; −5000 and below is silence.
double LinearVolume(int hundredths);

// Sets the "volume" element inside `bin` (a sound sink bin, or a graph holding one).
void SetSinkVolume(_GstElement* bin, double linear);

}  // namespace studio
}  // namespace zolvex
