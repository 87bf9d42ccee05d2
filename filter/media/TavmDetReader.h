// CTavmDetReader: a still of any video file at a time, for the files that
// CTavmMediaReader does not serve. The frame comes as a 40-byte BITMAPINFOHEADER
// followed by bottom-up blue-green-red rows without padding; GetFrameData points
// just past the header.
#pragma once

#include <memory>
#include <string>

#include "platform/Export.h"

class ZVF_API CTavmDetReader {
public:
    CTavmDetReader();
    ~CTavmDetReader();
    CTavmDetReader(const CTavmDetReader&) = delete;
    CTavmDetReader& operator=(const CTavmDetReader&) = delete;

    // Opens any file with a video stream. A refusal is logged as a warning.
    bool Open(const char* path);
    // Why the last Open refused its file, naming it ("…/a.mpg: no video stream");
    // empty after one that opened it.
    std::string OpenError() const;
    // Grabs the picture shown at `seconds`; fails outside [0, duration] and when
    // nothing is open.
    bool ReadFrameAt(double seconds);

    double GetDuration() const;
    int GetWidth() const;
    int GetHeight() const;
    const unsigned char* GetFrameData() const;
    // The whole frame: header and rows.
    const unsigned char* GetFrameBuffer() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
