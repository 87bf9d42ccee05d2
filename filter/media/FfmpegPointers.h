// Owning pointers for FFmpeg's objects, each freed by the call FFmpeg makes for it,
// and Out() to hand one to the functions that allocate through a pointer to a
// pointer. Internal to the library.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace zolvex {
namespace media {

struct InputFormatClose {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
// An output context also closes the file it writes, should that still be open;
// callers that care whether closing worked close it themselves first.
struct OutputFormatFree {
    void operator()(AVFormatContext* f) const
    {
        if (f->oformat && !(f->oformat->flags & AVFMT_NOFILE))
            avio_closep(&f->pb);
        avformat_free_context(f);
    }
};
struct CodecContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwrFree {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct SwsFree {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct AudioFifoFree {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};
struct DictionaryFree {
    void operator()(AVDictionary* d) const { av_dict_free(&d); }
};

using InputFormatPtr = std::unique_ptr<AVFormatContext, InputFormatClose>;
using OutputFormatPtr = std::unique_ptr<AVFormatContext, OutputFormatFree>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using SwrPtr = std::unique_ptr<SwrContext, SwrFree>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFree>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoFree>;
using DictionaryPtr = std::unique_ptr<AVDictionary, DictionaryFree>;

// Lends the pointer to a call that takes `T**`: what the call leaves there (a new
// object, or nullptr where it freed the old one on failure) is owned again when the
// full expression ends, as with avformat_open_input(Out(format), …).
template <class Ptr>
class OutPointer {
public:
    explicit OutPointer(Ptr& owner) : owner_(owner), raw_(owner.release()) {}
    ~OutPointer() { owner_.reset(raw_); }
    OutPointer(const OutPointer&) = delete;
    OutPointer& operator=(const OutPointer&) = delete;
    operator typename Ptr::pointer*() { return &raw_; }

private:
    Ptr& owner_;
    typename Ptr::pointer raw_;
};

template <class Ptr>
OutPointer<Ptr> Out(Ptr& owner)
{
    return OutPointer<Ptr>(owner);
}

}  // namespace media
}  // namespace zolvex
