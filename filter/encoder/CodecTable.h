// The studio's codec numbers and the FFmpeg codecs they stand for. The numbers are
// stored in projects and passed by the Save Movie dialog, so they stay as they are;
// this one table says what each means today. Everything that names a codec by
// number (the output parameters, the demo, the tests and the benchmarks) uses the
// names below.
#pragma once

#include "platform/Export.h"

namespace zolvex {
namespace encoder {

constexpr int kCodecMpeg1Video = 1;
constexpr int kCodecMpeg2Video = 2;
constexpr int kCodecH263 = 5;
constexpr int kCodecMpeg4 = 13;
constexpr int kCodecMsMpeg4v1 = 15;
constexpr int kCodecMsMpeg4v2 = 16;
constexpr int kCodecMsMpeg4v3 = 17;
constexpr int kCodecFlv1 = 22;
constexpr int kCodecH264 = 28;
// The PCM family, 0x10000 … 0x10010 in the order of the table.
constexpr int kCodecPcmS16le = 0x10000;
constexpr int kCodecAmrNb = 0x12000;
constexpr int kCodecMp2 = 0x15000;
constexpr int kCodecMp3 = 0x15001;
constexpr int kCodecAac = 0x15002;
constexpr int kCodecAc3 = 0x15004;

struct CodecEntry {
    int number;           // the studio's codec number
    const char* codec;    // FFmpeg codec name (identifies the codec id)
    const char* encoder;  // FFmpeg encoder name; nullptr: encoded outside FFmpeg
};

// The entry for a codec number, or nullptr when the number is unknown.
ZVF_API const CodecEntry* FindCodec(int number);

// The length of one frame in seconds, as a fraction. The studio asks for NTSC's
// 29.97 frames per second as 29 and for film's 23.976 as 23: MPEG-1, MPEG-2 and
// H.264 movies are timed at 30000/1001 for 29 (H.264 also at 24000/1001 for 23),
// since players know those rates only as such. Every other rate is what it says.
struct FrameTime {
    int num, den;
};

inline FrameTime FrameTimeOf(int frameRate, int codec)
{
    const bool mpeg = codec == kCodecMpeg1Video || codec == kCodecMpeg2Video || codec == kCodecH264;
    if (mpeg && frameRate == 29)
        return {1001, 30000};
    if (codec == kCodecH264 && frameRate == 23)
        return {1001, 24000};
    return {1, frameRate};
}

}  // namespace encoder
}  // namespace zolvex
