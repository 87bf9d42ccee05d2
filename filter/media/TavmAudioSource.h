// CTavmAudioSource: one decoder slot of the audio mixer. It opens the primary audio
// stream of a media file with FFmpeg and hands out the source as a run of output
// blocks in the mixer's PCM format. The decoder, the resampler and a small queue of
// converted samples stay open between blocks, so consecutive blocks of one source
// join sample for sample.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Export.h"

namespace zolvex {

// The fields of a WAVEFORMATEX for plain PCM.
struct PcmFormat {
    uint16_t wFormatTag = 1;  // PCM
    uint16_t nChannels = 2;
    uint32_t nSamplesPerSec = 44100;
    uint32_t nAvgBytesPerSec = 176400;
    uint16_t nBlockAlign = 4;
    uint16_t wBitsPerSample = 16;
    uint16_t cbSize = 0;

    bool operator==(const PcmFormat& o) const
    {
        return wFormatTag == o.wFormatTag && nChannels == o.nChannels && nSamplesPerSec == o.nSamplesPerSec &&
               nAvgBytesPerSec == o.nAvgBytesPerSec && nBlockAlign == o.nBlockAlign &&
               wBitsPerSample == o.wBitsPerSample && cbSize == o.cbSize;
    }
    bool operator!=(const PcmFormat& o) const { return !(*this == o); }
};

// 16-bit PCM with the given channel count and rate.
inline PcmFormat Pcm16(int channels, int rate)
{
    PcmFormat f;
    f.nChannels = uint16_t(channels);
    f.nSamplesPerSec = uint32_t(rate);
    f.nBlockAlign = uint16_t(2 * channels);
    f.nAvgBytesPerSec = uint32_t(rate) * f.nBlockAlign;
    return f;
}

// Channel counts the output can have: the layouts FFmpeg knows by count.
constexpr int kMaxOutputChannels = 8;

class ZVF_API CTavmAudioSource {
public:
    CTavmAudioSource();
    ~CTavmAudioSource();
    CTavmAudioSource(const CTavmAudioSource&) = delete;
    CTavmAudioSource& operator=(const CTavmAudioSource&) = delete;

    // Fills Block() with `blockBytes` of `format` (16-bit PCM): the source audio from
    // `seconds` of source time on. With `opened` false the file is (re)opened and
    // read from `seconds`; otherwise the source carries on where the previous block
    // ended, seeking only when that lies more than a second away from `seconds`. At
    // the end of the source the block is silent and the source rewinds to its start;
    // a `looping` source instead goes on from its start within the same block. False
    // (and a silent block) when nothing could be read. A file that cannot be opened
    // is logged as a warning.
    bool Decode(bool opened, const char* path, double seconds, int blockBytes, const PcmFormat& format,
                bool looping = false);

    // The last block: blockBytes of Decode, whole sample frames, the rest silent.
    const unsigned char* Block() const;
    int BlockBytes() const;

    void Close();
    bool IsOpen() const;
    // Why the last open of a file failed, naming it ("…/a.wav: no sound stream");
    // empty after one that worked.
    std::string OpenError() const;
    // The source's own format (0 until a file is open), its length in seconds (−1
    // when the file does not tell) and the source time of the next sample.
    int SourceChannels() const;
    int SourceSampleRate() const;
    double DurationSeconds() const;
    double CurrentSeconds() const;
    // Seeks made since the slot was created, the one that opens a file included.
    int64_t SeekCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zolvex
