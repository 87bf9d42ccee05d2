// WAV files of recorded voice: a RIFF chunk of form "WAVE" holding a "fmt " chunk
// (the wave format, cbSize + 18 bytes) and a "data" chunk with the samples in the
// order they came. The chunk sizes are written when the file is closed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/wintypes.h"

namespace zolvex {
namespace studio {

class WaveFile {
public:
    WaveFile() = default;
    ~WaveFile();  // closes what was written
    WaveFile(const WaveFile&) = delete;
    WaveFile& operator=(const WaveFile&) = delete;

    // Writing: the file is created (never over an existing one) with its header.
    bool Create(const std::string& path, const WAVEFORMATEX& format);
    // A block goes in whole or not at all; a block that would take the file past
    // what RIFF sizes can say (4 GiB) is refused.
    bool Write(const void* data, size_t bytes);
    // Writes the chunk sizes and closes; false when they could not be written.
    bool Close();

    // Reading an existing file: its format and where its samples are. False with
    // *error one of "Error descending into file" (no RIFF "WAVE" form), "Error
    // descending in wave file" (no "fmt " chunk), "Error ascending in File" (a
    // chunk that runs past the file), "error reading data chunk" (no samples);
    // the reader is then invalid.
    bool Open(const std::string& path, std::string* error);

    bool Valid() const { return valid_; }
    const WAVEFORMATEX& Format() const { return format_; }
    // Bytes of samples written so far, or found in the file read.
    uint64_t DataBytes() const { return dataBytes_; }
    // Where the samples start in the file read.
    uint64_t DataOffset() const { return dataOffset_; }

private:
    FILE* file_ = nullptr;
    bool writing_ = false, valid_ = false;
    WAVEFORMATEX format_{};
    uint64_t dataBytes_ = 0, dataOffset_ = 0;
};

// A name for the recording's temporary file in `folder`: "~temp001.wav" when that can
// be made, else "~temp" + a random number + ".wav" until one can; the file made to
// claim the name is deleted again, the name kept.
std::string TemporaryWavePath(const std::string& folder);

}  // namespace studio
}  // namespace zolvex
