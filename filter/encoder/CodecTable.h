// The studio's codec numbers and the FFmpeg codecs they stand for. The numbers are
// stored in projects and passed by the Save Movie dialog, so they stay as they are;
// this one table says what each means today. Internal to the library.
#pragma once

namespace zolvex {
namespace encoder {

struct CodecEntry {
    int number;           // the studio's codec number
    const char* codec;    // FFmpeg codec name (identifies the codec id)
    const char* encoder;  // FFmpeg encoder name; nullptr: encoded outside FFmpeg
};

// The entry for a codec number, or nullptr when the number is unknown.
const CodecEntry* FindCodec(int number);

constexpr int kCodecMpeg1Video = 1;
constexpr int kCodecMpeg2Video = 2;
constexpr int kCodecAmrNb = 0x12000;

// NTSC's 29.97 frames per second, which the studio asks for as 29: MPEG-1 and MPEG-2
// video know that rate only as 30000/1001, so those movies are timed at it.
inline bool IsNtscMpegRate(int frameRate, int codec)
{
    return frameRate == 29 && (codec == kCodecMpeg1Video || codec == kCodecMpeg2Video);
}

}  // namespace encoder
}  // namespace zolvex
