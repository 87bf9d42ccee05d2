// How the rest of the filter meets the movie encoder: the movie's parameters, the
// opening and closing of a movie, and the two inputs through which the video and the
// audio stream hand over each frame and block.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
    // Every frame rendered: the producer's pictures then go straight into the codec's
    // own planes. Off, they pass through the scaler as they always have, so that such
    // movies stay byte for byte what they were.
    bool bFullMotion = false;
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
    // The producer's own frame: width × height × 3 bytes, blue-green-red, bottom row
    // first. `held` says it is the very picture handed over with the frame before,
    // unchanged, which an encoder may take again without reading it. By default the
    // frame is turned into the layout above and passed on.
    virtual void EncodeRenderedFrame(const unsigned char* bgr, int width, int height, bool held)
    {
        (void)held;
        const size_t row = size_t(width) * 3;
        std::vector<unsigned char> rgb(row * size_t(height));
        for (int y = 0; y < height; ++y) {
            const unsigned char* s = bgr + size_t(height - 1 - y) * row;
            unsigned char* d = rgb.data() + size_t(y) * row;
            for (size_t x = 0; x < row; x += 3) {
                d[x] = s[x + 2];
                d[x + 1] = s[x + 1];
                d[x + 2] = s[x];
            }
        }
        EncodeVideoFrame(rgb.data(), width, height);
    }
};

}  // namespace zolvex
