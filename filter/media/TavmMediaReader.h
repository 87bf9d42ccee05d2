// CTavmMediaReader: the picture of a video file at a source time, decoded with FFmpeg,
// as a 24-bit frame of the file's own size (top-down rows, red-green-blue, width × 3
// bytes per row). It serves MPEG-2, MPEG-4 part 2 and MS-MPEG4 v1/v2/v3 video; other
// files go to CTavmDetReader.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Export.h"

class ZVF_API CTavmMediaReader {
public:
    // The filter's reader plays timelines; the studio's reader makes thumbnails and
    // durations for its media library: it counts source time from the stream's own
    // zero (no container start time) and seeks only when a read asks it to.
    enum Flavour { kFilterReader = 0, kStudioReader = 1 };

    explicit CTavmMediaReader(Flavour flavour = kFilterReader);
    ~CTavmMediaReader();
    CTavmMediaReader(const CTavmMediaReader&) = delete;
    CTavmMediaReader& operator=(const CTavmMediaReader&) = delete;

    // Opens the file and accepts it only for the codecs this reader serves; sets *flip
    // to 1 (the frames come top-down, red first) when it does.
    bool Probe(const char* path, int* flip);
    // Opens the file for reading; false for a file without a usable video stream or
    // without a known duration. A refusal is logged as a warning.
    bool Open(const char* path);
    // Why the last Probe or Open refused its file, naming it ("…/a.mpg: no such
    // file"); empty after one that accepted it. Probe logs nothing: a file of another
    // codec is no failure, only one for the other reader.
    std::string OpenError() const;
    // Decodes the picture shown at `seconds` of source time into the frame buffer.
    // Past the end the last picture stays.
    bool ReadFrameAt(double seconds);

    double GetDuration() const;
    int GetWidth() const;
    int GetHeight() const;
    // Frames from the next read on in the producer's own layout (blue first, bottom
    // row first) instead of top-down red first; the same pixels, one pass fewer for a
    // caller that wants them so.
    void SetBottomUpBgr(bool on);
    // The RGB frame of the last successful read (GetWidth() × GetHeight() × 3 bytes).
    const unsigned char* GetFrameData() const;

    // Reads since the count was last reset, and seeks made since opening.
    int64_t GetReadCount() const;
    int64_t GetSeekCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Duration of a file whose container does not say: 90 % of its size over the byte
// rate of the stream's bit rate; −1 when that cannot be worked out. A positive
// container duration (microseconds) is used as it stands.
ZVF_API double GuessMediaDuration(int64_t containerDurationUs, int64_t streamBitRate, int64_t fileSize);
