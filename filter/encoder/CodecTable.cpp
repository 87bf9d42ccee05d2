#include "filter/encoder/CodecTable.h"

namespace zolvex {
namespace encoder {

namespace {

const CodecEntry kCodecs[] = {
    {kCodecMpeg1Video, "mpeg1video", "mpeg1video"},
    {kCodecMpeg2Video, "mpeg2video", "mpeg2video"},
    {kCodecH263, "h263", "h263"},
    {kCodecMpeg4, "mpeg4", "mpeg4"},
    {kCodecMsMpeg4v1, "msmpeg4v1", "msmpeg4v1"},  // FFmpeg decodes it but has no encoder
    {kCodecMsMpeg4v2, "msmpeg4v2", "msmpeg4v2"},
    {kCodecMsMpeg4v3, "msmpeg4v3", "msmpeg4"},
    {kCodecFlv1, "flv1", "flv"},
    {kCodecH264, "h264", "libx264"},
    {kCodecPcmS16le, "pcm_s16le", "pcm_s16le"},
    {0x10001, "pcm_s16be", "pcm_s16be"},
    {0x10002, "pcm_u16le", "pcm_u16le"},
    {0x10003, "pcm_u16be", "pcm_u16be"},
    {0x10004, "pcm_s8", "pcm_s8"},
    {0x10005, "pcm_u8", "pcm_u8"},
    {0x10006, "pcm_mulaw", "pcm_mulaw"},
    {0x10007, "pcm_alaw", "pcm_alaw"},
    {0x10008, "pcm_s32le", "pcm_s32le"},
    {0x10009, "pcm_s32be", "pcm_s32be"},
    {0x1000A, "pcm_u32le", "pcm_u32le"},
    {0x1000B, "pcm_u32be", "pcm_u32be"},
    {0x1000C, "pcm_s24le", "pcm_s24le"},
    {0x1000D, "pcm_s24be", "pcm_s24be"},
    {0x1000E, "pcm_u24le", "pcm_u24le"},
    {0x1000F, "pcm_u24be", "pcm_u24be"},
    {0x10010, "pcm_s24daud", "pcm_s24daud"},
    // FFmpeg as shipped has no AMR narrow band encoder; libopencore-amrnb makes the frames.
    {kCodecAmrNb, "amr_nb", nullptr},
    {kCodecMp2, "mp2", "mp2"},
    {kCodecMp3, "mp3", "libmp3lame"},
    {kCodecAac, "aac", "aac"},
    {kCodecAc3, "ac3", "ac3"},
};

}  // namespace

const CodecEntry* FindCodec(int number)
{
    for (const CodecEntry& entry : kCodecs)
        if (entry.number == number)
            return &entry;
    return nullptr;
}

}  // namespace encoder
}  // namespace zolvex
