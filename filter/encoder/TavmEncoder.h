// CTavmEncoder: writes the movie when the studio saves one. The video stream hands it
// each frame and the audio stream each block (both under the shared encoder lock);
// it compresses them with FFmpeg and multiplexes one file whose container follows
// the file name, or the disc program stream a disc preset names. One object lives
// as long as the filter and is reused for every movie; its rate-control and
// multiplexing settings persist from one movie to the next, changed only by presets.
// Pictures are compressed on a thread of the encoder's own, up to two frames behind
// the caller, so that the video stream renders its next frame meanwhile.
//
// Anything that goes wrong while opening leaves nothing half open: the encoder
// turns inert (every encode call is a no-op, finishing is harmless) and
// LastError() says what happened. A write error while encoding (a full disk) makes
// the rest of the movie a no-op in the same way; what was written stays.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "filter/encoder/EncoderSinks.h"
#include "platform/Export.h"

struct AVFormatContext;
struct AVFrame;
struct AVPacket;

namespace zolvex {

namespace media {
struct PacketFree;
}

// Settings given to every video stream and to the multiplexer. The construction
// values are the defaults of a filter's first movie.
struct EncoderSettings {
    int nGopSize = 12;  // also the group length a movie without a preset inherits
    int nBitRateTolerance = 4000000;
    int nQMin = 2, nQMax = 31;
    int nLMin = 2 * 118, nLMax = 31 * 118;  // Lagrange limits, frame and macroblock
    int nMaxQDiff = 3;
    float fQBlur = 0.5f, fQCompress = 0.5f;
    const char* pszRcEquation = "tex^qComp";
    float fRcSquish = 0.0f;
    float fBufferAggressivity = 1.0f;
    float fInitialComplexity = 0.0f;
    float fIQuantFactor = -0.8f, fIQuantOffset = 0.0f;
    float fBQuantFactor = 1.25f, fBQuantOffset = 1.25f;
    int nMaxBFrames = 0;
    int nWorkaroundBugs = 1;     // automatic detection
    int nMotionEstimation = 5;   // diamond (EPZS) search
    int64_t llRcMaxRate = 0, llRcMinRate = 0;
    int nRcBufferSize = 0;       // bits; the decoder starts with three quarters of it
    // Multiplexer.
    int nPacketSize = 0;
    int nMuxRate = 0;            // bit/s, 0: worked out by the multiplexer
    double dPreload = 0.5;       // seconds
    double dMaxDelay = 0.7;      // seconds
};

// Pixel layouts EncodeVideoFrame accepts: rows from the top, or (the producer's
// frames) blue-first rows from the bottom.
enum EncoderPixelFormat { kEncodeRGB24 = 0, kEncodeBGR24 = 1, kEncodeBottomUpBGR24 = 2 };

class ZVF_API CTavmEncoder : public IMovieOutput, public IVideoEncoderSink, public IAudioEncoderSink {
public:
    CTavmEncoder();
    ~CTavmEncoder() override;
    CTavmEncoder(const CTavmEncoder&) = delete;
    CTavmEncoder& operator=(const CTavmEncoder&) = delete;

    // Picks the container from the file name (unknown extension: false).
    bool OpenOutput(const char* path);
    // Stream index, or −1. `quality` −1 works to the bit rate, otherwise a fixed
    // quantiser from 0 (finest) to 255 (coarsest). The aspect is the display aspect
    // of the picture.
    int AddVideoStream(int frameRate, int width, int height, int codec, int bitRate, int quality,
                       const char* preset, int aspectNumerator, int aspectDenominator);
    int AddAudioStream(int codec, int bitRate, int channels, int sampleRate);
    // Opens the stream's encoder; false when the codec refuses the settings.
    bool OpenStream(int index);
    bool WriteHeader();
    // Pixels top row first, 3 bytes each, rows without padding.
    void EncodeVideoFrame(int index, const unsigned char* pixels, int pixelFormat, int width, int height);
    // 16-bit signed interleaved samples.
    void EncodeAudioBlock(int index, const unsigned char* samples, int bytes, int channels, int sampleRate);
    // Drains what the encoder still holds into the file, then closes the encoder.
    void CloseStream(int index);
    // Writes the trailer and closes the file.
    void Finish();

    // IMovieOutput: the whole opening sequence, and the whole closing one.
    bool OpenMovie(const OutputFormat& format) override;
    void FinishMovie() override;
    std::string OutputError() const override;

    // IVideoEncoderSink / IAudioEncoderSink: to the streams OpenMovie added.
    void EncodeVideoFrame(const unsigned char* rgb, int width, int height) override;
    // Turned and swapped in the one copy the encoder makes anyway; a held picture is
    // not copied or converted again: the last converted one is compressed once more.
    void EncodeRenderedFrame(const unsigned char* bgr, int width, int height, bool held) override;
    void EncodeAudioBlock(const unsigned char* samples, int bytes, int channels, int sampleRate) override;

    const EncoderSettings& Settings() const { return settings_; }
    // The container's short name ("vcd", "avi", …), empty when none is open.
    std::string ContainerName() const;
    // True from a successful WriteHeader until Finish or a failure.
    bool IsWriting() const;

private:
    struct Stream;
    struct VideoWorker;
    // Frees the output context; defined where FFmpeg's headers are.
    struct FormatFree {
        void operator()(AVFormatContext* format) const;
    };
    using PacketList = std::vector<std::unique_ptr<AVPacket, media::PacketFree>>;

    void ApplyPreset(const char* preset);
    bool SwitchToDiscMuxer(const char* preset);
    // A failure while opening: records why and frees everything opened so far.
    bool FailOpen(const std::string& message);
    // A failure while writing: records why; later encode calls do nothing.
    void Fail(const std::string& message);
    void Abandon();
    void FinishLocked();
    int IoError() const;
    Stream* Usable(int index, bool video);
    void EncodeVideoLocked(Stream& s, const unsigned char* pixels, int pixelFormat, int width, int height,
                           bool held = false);
    void EncodeAudioLocked(Stream& s, const unsigned char* samples, int bytes, int channels, int sampleRate);
    void Resample(Stream& s, const uint8_t* const* input, int frames);
    void SendAudioFrames(Stream& s, bool flush);
    void SendFrame(Stream& s, const AVFrame* frame);
    void RunVideoWorker(Stream& s);
    void ReceivePackets(Stream& s, PacketList& packets);
    void WritePackets(Stream& s, PacketList& packets);
    void StopVideoWorker(Stream& s, bool write);
    void WritePacket(Stream& s, AVPacket* packet);
    void FreeStream(Stream& s);

    mutable std::mutex mutex_;
    EncoderSettings settings_;
    char szFileName_[260] = {};
    std::unique_ptr<AVFormatContext, FormatFree> format_;
    std::vector<std::unique_ptr<Stream>> streams_;
    bool fileOpen_ = false;
    bool headerWritten_ = false;
    bool failed_ = false;
    std::string error_;
    int videoIndex_ = -1, audioIndex_ = -1;
    bool directPictures_ = false;  // the movie being opened is in full motion
};

}  // namespace zolvex
