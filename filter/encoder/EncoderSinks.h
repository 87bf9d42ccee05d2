// How the rest of the filter meets the movie encoder: the movie's parameters, the
// opening and closing of a movie, and the two inputs through which the video and the
// audio stream hand over each frame and block.
#pragma once

#include <cstdint>
#include <string>

namespace zolvex {

// Movie output parameters.
struct OutputFormat {
    int32_t nFrameRate = 0;
    int32_t nWidth = 0, nHeight = 0;
    int32_t nVideoCodec = 0, nVideoBitRate = 0;
    int32_t nAudioCodec = 0, nAudioBitRate = 0;
    int32_t nChannels = 0, nSampleRate = 0;
    int32_t nQuality = 0;
    char szPath[260] = {};
    char szPreset[260] = {};
    int32_t nAspectNumerator = 0, nAspectDenominator = 0;
};

class IMovieOutput {
public:
    virtual ~IMovieOutput() = default;
    // Opens the movie file, adds the video and audio streams and writes the header.
    virtual bool OpenMovie(const OutputFormat& format) = 0;
    // Closes both encoders, writes the trailer and closes the file.
    virtual void FinishMovie() = 0;
    // Why the last movie could not be opened or written; empty when nothing failed.
    virtual std::string OutputError() const = 0;
};

// The movie encoder's audio input: 16-bit signed interleaved PCM. Called under the
// encoder lock.
class IAudioEncoderSink {
public:
    virtual ~IAudioEncoderSink() = default;
    virtual void EncodeAudioBlock(const unsigned char* samples, int bytes, int channels, int sampleRate) = 0;
};

// The movie encoder's video input: width × height × 3 bytes, red-green-blue, top row
// first. Called under the encoder lock.
class IVideoEncoderSink {
public:
    virtual ~IVideoEncoderSink() = default;
    virtual void EncodeVideoFrame(const unsigned char* rgb, int width, int height) = 0;
};

}  // namespace zolvex
