#include "filter/encoder/TavmEncoder.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "filter/common/PixelRows.h"
#include "filter/encoder/AmrNbEncoder.h"
#include "filter/encoder/CodecTable.h"
#include "filter/media/FfmpegPointers.h"
#include "filter/media/MediaLog.h"
#include "filter/media/SlicedScaler.h"

namespace zolvex {

namespace {

constexpr int kLambdaPerQuantiser = 118;  // FFmpeg's quantiser-to-lambda factor
constexpr int kMaxSide = 8192;
constexpr int kMaxAudioChannels = 8;
constexpr int kEncoderThreads = 3;

// The disc presets: the rate limits and multiplexing constants of video CD, super
// video CD and DVD. A negative value leaves that setting as it was.
struct Preset {
    const char* name;
    const char* muxer;
    int gop;
    int64_t maxRate, minRate;
    int bufferBits;
    int packetSize;
    int muxRate;
    double preload;
};

const Preset kPresets[] = {
    {"VCD_PAL", "vcd", 15, 1150000, 1150000, 327680, 2324, 1411200, 0.44},
    {"VCD_NTSC", "vcd", 18, 1150000, 1150000, 327680, 2324, 1411200, 0.44},
    {"SVCD_PAL", "svcd", 15, 2516000, 0, 1835008, 2324, -1, -1},
    {"SVCD_NTSC", "svcd", 18, 2516000, 0, 1835008, 2324, -1, -1},
    {"DVD_PAL", "dvd", 15, 9000000, 0, 1835008, 2048, 10080000, -1},
    {"DVD_NTSC", "dvd", 18, 9000000, 0, 1835008, 2048, 10080000, -1},
};

const Preset* FindPreset(const char* name)
{
    if (!name)
        return nullptr;
    for (const Preset& p : kPresets)
        if (std::strcmp(p.name, name) == 0)
            return &p;
    return nullptr;
}

// The studio's quality runs from 0 (best) to 255 (smallest file); the encoders'
// quantiser from 2 to 31. Taken as a quantiser itself, every value above 31 would be
// the coarsest, so all but the two best quality choices would look the same.
int FixedQuantiser(int quality)
{
    const int q = std::clamp(quality, 0, 255);
    return 2 + (q * 29 + 127) / 255;
}

// The same quality onto x264's constant rate factor: 0 is factor 13 (visually
// lossless for home video), 255 factor 33; the studio's middle choice lands on 23,
// x264's own default.
int ConstantRateFactor(int quality)
{
    const int q = std::clamp(quality, 0, 255);
    return 13 + (q * 20 + 127) / 255;
}

std::string ErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// Today's motion estimation choices for the old method numbers (1 zero, 5 EPZS,
// 6 X1); every other method is served by the diamond search.
const char* MotionEstimationName(int method)
{
    switch (method) {
    case 1: return "zero";
    case 6: return "xone";
    default: return "epzs";
    }
}

bool SupportsRate(const AVCodec* codec, int rate)
{
    if (!codec->supported_samplerates)
        return true;
    for (const int* r = codec->supported_samplerates; *r; ++r)
        if (*r == rate)
            return true;
    return false;
}

bool SupportsChannels(const AVCodec* codec, int channels)
{
    if (!codec->ch_layouts)
        return true;
    for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels; ++l)
        if (l->nb_channels == channels)
            return true;
    return false;
}

AVSampleFormat PickSampleFormat(const AVCodec* codec)
{
    if (!codec->sample_fmts)
        return AV_SAMPLE_FMT_S16;
    for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
        if (*f == AV_SAMPLE_FMT_S16)
            return *f;
    return codec->sample_fmts[0];
}

}  // namespace

// Video is compressed on a thread of its own, so that the stream's thread renders the
// next frame while this one is being encoded. The caller copies each frame into a
// free slot and queues it; the worker converts and compresses it and leaves the
// packets for the caller, who multiplexes them under the encoder's lock on its next
// call. The worker never takes that lock, so stopping it can never wait on it.
struct CTavmEncoder::VideoWorker {
    static constexpr int kSlots = 3;  // one being encoded, two waiting

    // A picture to compress: one in a slot, or (no slot) the last one converted again.
    struct Job {
        AVFrame* in;
        int64_t pts;
        int quality;
    };

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Job> queued;  // the jobs' pictures and free point into the slots
    std::vector<AVFrame*> free;
    bool pictureQueued = false;  // the caller queued a picture since the stream opened
    PacketList done;
    bool stop = false;
    media::FramePtr slots[kSlots];
    std::thread thread;
};

struct CTavmEncoder::Stream {
    bool video = false;
    bool open = false;
    AVStream* st = nullptr;
    const AVCodec* codec = nullptr;
    media::CodecContextPtr ctx;
    std::unique_ptr<encoder::AmrNbEncoder> amr;
    media::PacketPtr packet;
    media::FramePtr frame;  // picture or sound in the codec's format
    int64_t nextPts = 0;    // in the codec's time base
    AVRational timeBase{1, 1};
    // Video: the worker converts the pictures with a scaler of its own.
    int quality = -1;
    bool direct = false;  // producer frames are converted straight into the codec's planes
    std::unique_ptr<VideoWorker> worker;  // from the first frame to the stream's close
    // Audio: blocks are converted to the codec's layout and gathered into whole frames.
    media::SwrPtr swr;
    int swrChannels = 0, swrRate = 0;
    media::AudioFifoPtr fifo;
    AVSampleFormat sampleFormat = AV_SAMPLE_FMT_S16;
    int channels = 0, sampleRate = 0;
    int frameSize = 0;  // 0: any block size (PCM)
    std::vector<uint8_t> converted;
};

void CTavmEncoder::FormatFree::operator()(AVFormatContext* format) const
{
    media::OutputFormatFree()(format);
}

CTavmEncoder::CTavmEncoder() = default;

CTavmEncoder::~CTavmEncoder()
{
    std::lock_guard<std::mutex> lock(mutex_);
    FinishLocked();
}

// ---- opening -------------------------------------------------------------------

bool CTavmEncoder::FailOpen(const std::string& message)
{
    Abandon();
    failed_ = true;
    error_ = message;
    return false;
}

void CTavmEncoder::Fail(const std::string& message)
{
    if (!failed_)
        error_ = message;
    failed_ = true;
}

void CTavmEncoder::FreeStream(Stream& s)
{
    // The worker compresses through the codec context and the frame until it ends.
    StopVideoWorker(s, false);
    s.ctx.reset();
    s.frame.reset();
    s.packet.reset();
    s.swr.reset();
    s.fifo.reset();
    s.amr.reset();
    s.converted = {};
    s.open = false;
}

void CTavmEncoder::Abandon()
{
    for (std::unique_ptr<Stream>& s : streams_)
        FreeStream(*s);
    streams_.clear();
    if (format_) {
        if (fileOpen_) {
            avio_closep(&format_->pb);
            // A file without its header is no movie; one with it keeps what was written.
            if (!headerWritten_)
                std::remove(szFileName_);
        }
        format_.reset();
    }
    fileOpen_ = headerWritten_ = false;
    videoIndex_ = audioIndex_ = -1;
}

bool CTavmEncoder::OpenOutput(const char* path)
{
    std::lock_guard<std::mutex> lock(mutex_);
    media::RouteFfmpegLog();
    Abandon();
    failed_ = false;
    error_.clear();
    if (!path || !*path || strnlen(path, sizeof szFileName_) >= sizeof szFileName_)
        return FailOpen("The movie file name is empty or too long.");
    std::strcpy(szFileName_, path);
    const AVOutputFormat* guessed = av_guess_format(nullptr, szFileName_, nullptr);
    if (!guessed)
        return FailOpen(std::string("No movie format is known for the file name '") + szFileName_ + "'.");
    // Out() hands the pointer back only when the call's full expression ends, so the
    // result is tested on a line of its own.
    const int allocated = avformat_alloc_output_context2(media::Out(format_), guessed, nullptr, szFileName_);
    if (allocated < 0 || !format_)
        return FailOpen("Out of memory opening the movie.");
    return true;
}

// Disc players and authoring tools take only the disc's own program stream, so a
// disc preset turns a plain MPEG program stream into the one its name promises.
bool CTavmEncoder::SwitchToDiscMuxer(const char* preset)
{
    const Preset* p = FindPreset(preset);
    if (!p || format_->nb_streams != 0 || std::strcmp(format_->oformat->name, "mpeg") != 0)
        return true;
    format_.reset();
    const int allocated = avformat_alloc_output_context2(media::Out(format_), nullptr, p->muxer, szFileName_);
    if (allocated < 0 || !format_)
        return FailOpen(std::string("The '") + p->muxer + "' movie format is not available.");
    return true;
}

void CTavmEncoder::ApplyPreset(const char* preset)
{
    const Preset* p = FindPreset(preset);
    if (!p)
        return;
    settings_.nGopSize = p->gop;
    settings_.llRcMaxRate = p->maxRate;
    settings_.llRcMinRate = p->minRate;
    settings_.nRcBufferSize = p->bufferBits;
    settings_.nPacketSize = p->packetSize;
    if (p->muxRate >= 0)
        settings_.nMuxRate = p->muxRate;
    if (p->preload >= 0)
        settings_.dPreload = p->preload;
}

int CTavmEncoder::AddVideoStream(int frameRate, int width, int height, int codec, int bitRate, int quality,
                                 const char* preset, int aspectNumerator, int aspectDenominator)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!format_ || failed_)
        return -1;
    if (!SwitchToDiscMuxer(preset))
        return -1;
    const encoder::CodecEntry* entry = encoder::FindCodec(codec);
    if (!entry || !entry->encoder)
        return FailOpen("Video codec " + std::to_string(codec) + " is unknown."), -1;
    const AVCodec* c = avcodec_find_encoder_by_name(entry->encoder);
    if (!c || c->type != AVMEDIA_TYPE_VIDEO)
        return FailOpen(std::string("No encoder is available for the video codec '") + entry->codec + "'."), -1;
    if (frameRate < 1 || frameRate > 1000)
        return FailOpen("The frame rate " + std::to_string(frameRate) + " is out of range."), -1;
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide)
        return FailOpen("The frame size " + std::to_string(width) + " x " + std::to_string(height) +
                        " is out of range."), -1;
    if (bitRate < 0)
        return FailOpen("The video bit rate is negative."), -1;

    // H.264 goes out as 4:2:0, the one layout every player and browser decodes.
    const bool h264 = codec == encoder::kCodecH264;
    const AVPixelFormat pixelFormat = h264 || !c->pix_fmts ? AV_PIX_FMT_YUV420P : c->pix_fmts[0];
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(pixelFormat);
    if (desc && ((width & ((1 << desc->log2_chroma_w) - 1)) || (height & ((1 << desc->log2_chroma_h) - 1))))
        return FailOpen(std::string("The ") + entry->codec + " codec needs an even frame width and height, not " +
                        std::to_string(width) + " x " + std::to_string(height) + "."), -1;

    auto s = std::make_unique<Stream>();
    s->video = true;
    s->codec = c;
    // H.264 is driven by a constant-quality factor for the whole movie, not by a
    // quantiser per frame.
    s->quality = h264 ? -1 : quality;
    s->direct = directPictures_ && pixelFormat == AV_PIX_FMT_YUV420P;
    s->st = avformat_new_stream(format_.get(), nullptr);
    s->ctx.reset(avcodec_alloc_context3(c));
    s->packet.reset(av_packet_alloc());
    if (!s->st || !s->ctx || !s->packet) {
        FreeStream(*s);
        return FailOpen("Out of memory adding the video stream."), -1;
    }
    AVCodecContext* ctx = s->ctx.get();
    // Containers that carry the codec's set-up in their own header want it there
    // rather than in the stream.
    if (format_->oformat->flags & AVFMT_GLOBALHEADER)
        ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    ctx->codec_type = AVMEDIA_TYPE_VIDEO;
    ctx->codec_id = c->id;
    ctx->pix_fmt = pixelFormat;
    ctx->width = width;
    ctx->height = height;
    ctx->bit_rate = bitRate;
    if (quality != -1 && !h264) {
        ctx->flags |= AV_CODEC_FLAG_QSCALE;
        ctx->global_quality = FixedQuantiser(quality) * kLambdaPerQuantiser;
    }
    const encoder::FrameTime frame = encoder::FrameTimeOf(frameRate, codec);
    ctx->time_base = AVRational{frame.num, frame.den};
    ctx->framerate = av_inv_q(ctx->time_base);
    if (aspectNumerator > 0 && aspectDenominator > 0)
        ctx->sample_aspect_ratio =
            av_d2q(double(aspectNumerator) / aspectDenominator * height / width, 255);
    else
        ctx->sample_aspect_ratio = AVRational{1, 1};

    if (h264) {
        // x264 keeps its own rate control, group length and B-frames: the MPEG
        // settings would hold it to MPEG-2's quantisers and twelve-frame groups.
        av_opt_set(ctx->priv_data, "profile", "high", 0);
        if (quality != -1)
            av_opt_set_double(ctx->priv_data, "crf", ConstantRateFactor(quality), 0);
    } else {
        ApplyPreset(preset);
        const EncoderSettings& e = settings_;
        ctx->gop_size = e.nGopSize;
        ctx->rc_max_rate = e.llRcMaxRate;
        ctx->rc_min_rate = e.llRcMinRate;
        ctx->rc_buffer_size = e.nRcBufferSize;
        ctx->rc_initial_buffer_occupancy = e.nRcBufferSize * 3 / 4;
        ctx->bit_rate_tolerance = e.nBitRateTolerance;
        ctx->qmin = e.nQMin;
        ctx->qmax = e.nQMax;
        ctx->mb_lmin = e.nLMin;
        ctx->mb_lmax = e.nLMax;
        ctx->max_qdiff = e.nMaxQDiff;
        ctx->qblur = e.fQBlur;
        ctx->qcompress = e.fQCompress;
        ctx->i_quant_factor = e.fIQuantFactor;
        ctx->i_quant_offset = e.fIQuantOffset;
        ctx->b_quant_factor = e.fBQuantFactor;
        ctx->b_quant_offset = e.fBQuantOffset;
        ctx->max_b_frames = e.nMaxBFrames;
        ctx->workaround_bugs = e.nWorkaroundBugs;
        // The rest are options of FFmpeg's own MPEG-family encoders; an encoder without
        // them simply does not take them.
        av_opt_set_int(ctx, "lmin", e.nLMin, AV_OPT_SEARCH_CHILDREN);
        av_opt_set_int(ctx, "lmax", e.nLMax, AV_OPT_SEARCH_CHILDREN);
        av_opt_set(ctx, "rc_eq", e.pszRcEquation, AV_OPT_SEARCH_CHILDREN);
        av_opt_set_double(ctx, "qsquish", e.fRcSquish, AV_OPT_SEARCH_CHILDREN);
        av_opt_set_double(ctx, "rc_buf_aggressivity", e.fBufferAggressivity, AV_OPT_SEARCH_CHILDREN);
        av_opt_set_double(ctx, "rc_init_cplx", e.fInitialComplexity, AV_OPT_SEARCH_CHILDREN);
        av_opt_set(ctx, "motion_est", MotionEstimationName(e.nMotionEstimation), AV_OPT_SEARCH_CHILDREN);
        // MPEG-1 chooses macroblock modes by rate and distortion: with the simple choice
        // some blocks' coefficients overflow where chroma motion does not follow luma.
        if (codec == encoder::kCodecMpeg1Video)
            ctx->mb_decision = FF_MB_DECISION_RD;
    }
    // A fixed number of threads: how an encoder splits its work across threads shapes
    // its output (motion search across slice edges, x264's frame lookahead), and a
    // movie must come out byte for byte the same on one core as on many. Three is
    // what FFmpeg picks by itself on two cores.
    ctx->thread_count = kEncoderThreads;

    s->st->time_base = ctx->time_base;
    s->st->avg_frame_rate = ctx->framerate;
    s->st->sample_aspect_ratio = ctx->sample_aspect_ratio;
    s->timeBase = ctx->time_base;
    streams_.push_back(std::move(s));
    return static_cast<int>(streams_.size()) - 1;
}

int CTavmEncoder::AddAudioStream(int codec, int bitRate, int channels, int sampleRate)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!format_ || failed_)
        return -1;
    const encoder::CodecEntry* entry = encoder::FindCodec(codec);
    if (!entry)
        return FailOpen("Audio codec " + std::to_string(codec) + " is unknown."), -1;
    if (channels < 1 || channels > kMaxAudioChannels)
        return FailOpen(std::to_string(channels) + " sound channels cannot be encoded."), -1;
    if (sampleRate < 1000 || sampleRate > 192000)
        return FailOpen("The sample rate " + std::to_string(sampleRate) + " Hz is out of range."), -1;
    if (bitRate < 0)
        return FailOpen("The audio bit rate is negative."), -1;

    auto s = std::make_unique<Stream>();
    s->packet.reset(av_packet_alloc());
    s->st = avformat_new_stream(format_.get(), nullptr);
    if (!s->packet || !s->st) {
        FreeStream(*s);
        return FailOpen("Out of memory adding the audio stream."), -1;
    }
    if (!entry->encoder) {
        // AMR narrow band: always 8 kHz mono speech frames, whatever was asked for.
        s->amr = std::make_unique<encoder::AmrNbEncoder>(bitRate);
        s->sampleFormat = AV_SAMPLE_FMT_S16;
        s->channels = 1;
        s->sampleRate = encoder::AmrNbEncoder::kSampleRate;
        s->frameSize = encoder::AmrNbEncoder::kFrameSamples;
        AVCodecParameters* par = s->st->codecpar;
        par->codec_type = AVMEDIA_TYPE_AUDIO;
        par->codec_id = AV_CODEC_ID_AMR_NB;
        par->sample_rate = s->sampleRate;
        av_channel_layout_default(&par->ch_layout, 1);
        par->frame_size = s->frameSize;
        par->bit_rate = s->amr->BitRate();
    } else {
        const AVCodec* c = avcodec_find_encoder_by_name(entry->encoder);
        if (!c || c->type != AVMEDIA_TYPE_AUDIO) {
            FreeStream(*s);
            return FailOpen(std::string("No encoder is available for the audio codec '") + entry->codec + "'."), -1;
        }
        if (!SupportsRate(c, sampleRate) || !SupportsChannels(c, channels)) {
            FreeStream(*s);
            return FailOpen(std::string("The ") + entry->codec + " codec cannot encode " + std::to_string(channels) +
                            " channels at " + std::to_string(sampleRate) + " Hz."), -1;
        }
        s->codec = c;
        s->ctx.reset(avcodec_alloc_context3(c));
        if (!s->ctx) {
            FreeStream(*s);
            return FailOpen("Out of memory adding the audio stream."), -1;
        }
        AVCodecContext* ctx = s->ctx.get();
        if (format_->oformat->flags & AVFMT_GLOBALHEADER)
            ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        ctx->codec_type = AVMEDIA_TYPE_AUDIO;
        ctx->codec_id = c->id;
        ctx->bit_rate = bitRate;
        ctx->sample_rate = sampleRate;
        av_channel_layout_default(&ctx->ch_layout, channels);
        ctx->sample_fmt = PickSampleFormat(c);
        ctx->time_base = AVRational{1, sampleRate};
        s->sampleFormat = ctx->sample_fmt;
        s->channels = channels;
        s->sampleRate = sampleRate;
    }
    s->timeBase = AVRational{1, s->sampleRate};
    s->st->time_base = s->timeBase;
    streams_.push_back(std::move(s));
    return static_cast<int>(streams_.size()) - 1;
}

bool CTavmEncoder::OpenStream(int index)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!format_ || failed_ || index < 0 || index >= static_cast<int>(streams_.size()))
        return false;
    Stream& s = *streams_[index];
    if (s.open)
        return true;
    if (s.amr) {
        if (!s.amr->IsOpen())
            return FailOpen("The AMR speech encoder could not start.");
    } else {
        const int r = avcodec_open2(s.ctx.get(), s.codec, nullptr);
        if (r < 0)
            return FailOpen(std::string("The ") + s.codec->name + " encoder refused the movie settings (" +
                            ErrorText(r) + ").");
        if (avcodec_parameters_from_context(s.st->codecpar, s.ctx.get()) < 0)
            return FailOpen("Out of memory opening the encoder.");
        // What the encoder tells the multiplexer about its stream, such as the
        // decoder buffer size that disc program streams announce.
        for (int i = 0; i < s.ctx->nb_coded_side_data; ++i) {
            const AVPacketSideData& side = s.ctx->coded_side_data[i];
            uint8_t* data = av_stream_new_side_data(s.st, side.type, side.size);
            if (!data)
                return FailOpen("Out of memory opening the encoder.");
            std::memcpy(data, side.data, side.size);
        }
    }
    s.frame.reset(av_frame_alloc());
    if (!s.frame)
        return FailOpen("Out of memory opening the encoder.");
    if (s.video) {
        s.worker = std::make_unique<VideoWorker>();
        for (media::FramePtr& slot : s.worker->slots) {
            slot.reset(av_frame_alloc());
            if (!slot)
                return FailOpen("Out of memory opening the encoder.");
            s.worker->free.push_back(slot.get());
        }
        s.frame->format = s.ctx->pix_fmt;
        s.frame->width = s.ctx->width;
        s.frame->height = s.ctx->height;
        if (av_frame_get_buffer(s.frame.get(), 0) < 0)
            return FailOpen("Out of memory opening the encoder.");
    } else {
        if (s.ctx && !(s.codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE))
            s.frameSize = s.ctx->frame_size;
        s.fifo.reset(av_audio_fifo_alloc(s.sampleFormat, s.channels, std::max(s.frameSize, 4096)));
        if (!s.fifo)
            return FailOpen("Out of memory opening the encoder.");
    }
    s.open = true;
    return true;
}

bool CTavmEncoder::WriteHeader()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!format_ || failed_)
        return false;
    if (streams_.empty())
        return FailOpen("The movie has no streams.");
    for (const std::unique_ptr<Stream>& s : streams_)
        if (!s->open)
            return FailOpen("A stream of the movie was not opened.");
    // The multiplexer's settings are options of today's muxers; a muxer without one
    // of them ignores it.
    format_->packet_size = static_cast<unsigned>(std::max(settings_.nPacketSize, 0));
    format_->max_delay = static_cast<int>(settings_.dMaxDelay * 1000000.0);
    media::DictionaryPtr options;
    if (settings_.nMuxRate > 0)
        av_dict_set_int(media::Out(options), "muxrate", settings_.nMuxRate, 0);
    av_dict_set_int(media::Out(options), "preload", static_cast<int64_t>(settings_.dPreload * 1000000.0), 0);
    // MP4's index goes before the media, so that a browser or a phone starts playing
    // before the whole file has arrived.
    if (std::strcmp(format_->oformat->name, "mp4") == 0 || std::strcmp(format_->oformat->name, "mov") == 0)
        av_dict_set(media::Out(options), "movflags", "+faststart", 0);
    // At the info level: shown only when the program asks for that much.
    av_dump_format(format_.get(), 0, szFileName_, 1);
    if (!(format_->oformat->flags & AVFMT_NOFILE)) {
        const int r = avio_open(&format_->pb, szFileName_, AVIO_FLAG_WRITE);
        if (r < 0) {
            return FailOpen(std::string("The movie file '") + szFileName_ + "' cannot be written (" +
                            ErrorText(r) + ").");
        }
        fileOpen_ = true;
    }
    const int r = avformat_write_header(format_.get(), media::Out(options));
    options.reset();
    if (r < 0 || IoError() < 0)
        return FailOpen(std::string("The movie header could not be written (") + ErrorText(r < 0 ? r : IoError()) +
                        ").");
    headerWritten_ = true;
    return true;
}

// ---- encoding ------------------------------------------------------------------

// The file's write error (a full disk, say), 0 when there is none or no file.
int CTavmEncoder::IoError() const { return format_ && format_->pb ? format_->pb->error : 0; }

CTavmEncoder::Stream* CTavmEncoder::Usable(int index, bool video)
{
    if (failed_ || !headerWritten_ || index < 0 || index >= static_cast<int>(streams_.size()))
        return nullptr;
    Stream* s = streams_[index].get();
    return s->open && s->video == video ? s : nullptr;
}

void CTavmEncoder::WritePacket(Stream& s, AVPacket* packet)
{
    packet->stream_index = s.st->index;
    av_packet_rescale_ts(packet, s.timeBase, s.st->time_base);
    const int r = av_interleaved_write_frame(format_.get(), packet);
    av_packet_unref(packet);
    if (r < 0 || IoError() < 0)
        Fail(std::string("Writing the movie failed (") + ErrorText(r < 0 ? r : IoError()) + ").");
}

// Hands one frame (nullptr: the end) to the encoder and writes every packet it
// gives back. A frame the encoder rejects is skipped.
void CTavmEncoder::SendFrame(Stream& s, const AVFrame* frame)
{
    if (avcodec_send_frame(s.ctx.get(), frame) < 0)
        return;
    while (!failed_ && avcodec_receive_packet(s.ctx.get(), s.packet.get()) == 0)
        WritePacket(s, s.packet.get());
}

void CTavmEncoder::EncodeVideoFrame(int index, const unsigned char* pixels, int pixelFormat, int width, int height)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (Stream* s = Usable(index, true))
        EncodeVideoLocked(*s, pixels, pixelFormat, width, height);
}

void CTavmEncoder::EncodeVideoLocked(Stream& s, const unsigned char* pixels, int pixelFormat, int width,
                                     int height, bool held)
{
    if (!pixels || width < 1 || height < 1 || width > kMaxSide || height > kMaxSide || !s.worker)
        return;
    VideoWorker& w = *s.worker;
    if (!w.thread.joinable()) {
        try {
            w.thread = std::thread([this, &s] { RunVideoWorker(s); });
        } catch (const std::system_error&) {
            Fail("The encoder could not start its video thread.");
            return;
        }
    }
    const int quality = s.quality != -1 ? FixedQuantiser(s.quality) * kLambdaPerQuantiser : 0;

    PacketList packets;
    if (held && w.pictureQueued) {
        // The same picture again: the worker compresses its last conversion anew. The
        // queue stays short, so that the stream keeps to the encoder's pace as it does
        // when it waits for a slot.
        {
            std::unique_lock<std::mutex> lock(w.mutex);
            w.changed.wait(lock, [&] { return w.queued.size() < 3 * VideoWorker::kSlots; });
            w.queued.push_back(VideoWorker::Job{nullptr, s.nextPts++, quality});
            packets.swap(w.done);
        }
        w.changed.notify_all();
        WritePackets(s, packets);
        return;
    }

    // A free slot: waiting here holds the stream's thread to the encoder's pace.
    AVFrame* in;
    {
        std::unique_lock<std::mutex> lock(w.mutex);
        w.changed.wait(lock, [&] { return !w.free.empty(); });
        in = w.free.back();
        w.free.pop_back();
    }
    // The producer's blue-first rows from the bottom become red-first rows from the
    // top as they are copied, or, in full motion, the codec's planes at once.
    const bool bottomUp = pixelFormat == kEncodeBottomUpBGR24;
    const bool direct = bottomUp && s.direct && width == s.ctx->width && height == s.ctx->height;
    const AVPixelFormat source = direct                       ? AV_PIX_FMT_YUV420P
                                 : pixelFormat == kEncodeBGR24 ? AV_PIX_FMT_BGR24
                                                               : AV_PIX_FMT_RGB24;
    bool ready = true;
    // A slot the codec still holds (it compresses from it directly) gets new memory.
    if (in->width != width || in->height != height || in->format != source || !in->data[0] ||
        !av_frame_is_writable(in)) {
        av_frame_unref(in);
        in->width = width;
        in->height = height;
        in->format = source;
        ready = av_frame_get_buffer(in, 64) >= 0;
    }
    if (ready && direct) {
        BottomUpBgrToYuv420(pixels, width, height, in->data[0], in->linesize[0], in->data[1], in->linesize[1],
                            in->data[2], in->linesize[2]);
    } else if (ready) {
        // libswscale reads a little beyond the last pixel of a row, so the caller's
        // exact-size frame is copied into padded rows.
        const size_t stride = size_t(width) * 3;
        for (int y = 0; y < height; ++y) {
            unsigned char* row = in->data[0] + ptrdiff_t(y) * in->linesize[0];
            if (bottomUp)
                SwapRedBlueRow(pixels + size_t(height - 1 - y) * stride, row, width);
            else
                std::memcpy(row, pixels + y * stride, stride);
        }
    }
    {
        std::lock_guard<std::mutex> lock(w.mutex);
        if (ready) {
            w.queued.push_back(VideoWorker::Job{in, s.nextPts++, quality});
            w.pictureQueued = true;
        } else {
            w.free.push_back(in);
        }
        packets.swap(w.done);
    }
    w.changed.notify_all();
    WritePackets(s, packets);
}

void CTavmEncoder::WritePackets(Stream& s, PacketList& packets)
{
    for (media::PacketPtr& packet : packets)
        if (!failed_)
            WritePacket(s, packet.get());
    packets.clear();
}

// The worker: converts each queued picture to the codec's pixel format and
// compresses it, in the order the frames came.
void CTavmEncoder::RunVideoWorker(Stream& s)
{
    VideoWorker& w = *s.worker;
    media::SwsPtr sws;
    int swsWidth = 0, swsHeight = 0, swsFormat = -1;
    bool converted = false;  // s.frame holds the last picture converted
    for (;;) {
        VideoWorker::Job job;
        {
            std::unique_lock<std::mutex> lock(w.mutex);
            w.changed.wait(lock, [&] { return w.stop || !w.queued.empty(); });
            if (w.queued.empty())
                break;
            job = w.queued.front();
        }
        PacketList packets;
        AVFrame* in = job.in;
        if (in && in->format == s.ctx->pix_fmt && in->width == s.ctx->width && in->height == s.ctx->height) {
            // Already in the codec's planes: compressed from the slot itself.
            av_frame_unref(s.frame.get());
            converted = av_frame_ref(s.frame.get(), in) >= 0;
        } else if (in) {
            if (!sws || swsWidth != in->width || swsHeight != in->height || swsFormat != in->format) {
                sws.reset(media::NewSlicedScaler(in->width, in->height, in->format, s.ctx->width, s.ctx->height,
                                                 s.ctx->pix_fmt));
                swsWidth = in->width;
                swsHeight = in->height;
                swsFormat = in->format;
            }
            converted = sws && av_frame_make_writable(s.frame.get()) >= 0 &&
                        sws_scale_frame(sws.get(), s.frame.get(), in) >= 0;
        }
        if (converted) {
            s.frame->pts = job.pts;
            s.frame->quality = job.quality;
            if (avcodec_send_frame(s.ctx.get(), s.frame.get()) >= 0)
                ReceivePackets(s, packets);
        }
        {
            std::lock_guard<std::mutex> lock(w.mutex);
            w.queued.pop_front();
            if (in)
                w.free.push_back(in);
            for (media::PacketPtr& packet : packets)
                w.done.push_back(std::move(packet));
        }
        w.changed.notify_all();
    }
}

void CTavmEncoder::ReceivePackets(Stream& s, PacketList& packets)
{
    while (avcodec_receive_packet(s.ctx.get(), s.packet.get()) == 0) {
        media::PacketPtr copy(av_packet_alloc());
        if (!copy) {
            av_packet_unref(s.packet.get());
            break;
        }
        av_packet_move_ref(copy.get(), s.packet.get());
        packets.push_back(std::move(copy));
    }
}

// Lets the worker finish what is queued and ends it; the packets it made are
// written when `write` says so (and nothing has failed), else dropped.
void CTavmEncoder::StopVideoWorker(Stream& s, bool write)
{
    if (!s.worker)
        return;
    VideoWorker& w = *s.worker;
    if (w.thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(w.mutex);
            w.stop = true;
        }
        w.changed.notify_all();
        w.thread.join();
    }
    PacketList packets;
    packets.swap(w.done);
    if (write)
        WritePackets(s, packets);
    packets.clear();  // dropped unless written
    s.worker.reset();  // and the frame slots with it
}

void CTavmEncoder::EncodeAudioBlock(int index, const unsigned char* samples, int bytes, int channels,
                                    int sampleRate)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (Stream* s = Usable(index, false))
        EncodeAudioLocked(*s, samples, bytes, channels, sampleRate);
}

void CTavmEncoder::EncodeAudioLocked(Stream& s, const unsigned char* samples, int bytes, int channels,
                                     int sampleRate)
{
    if (!samples || bytes <= 0 || channels < 1 || channels > kMaxAudioChannels || sampleRate < 1000 ||
        sampleRate > 192000)
        return;
    const int frames = bytes / (2 * channels);
    if (frames == 0)
        return;
    if (channels == s.channels && sampleRate == s.sampleRate && s.sampleFormat == AV_SAMPLE_FMT_S16) {
        void* data[1] = {const_cast<unsigned char*>(samples)};
        av_audio_fifo_write(s.fifo.get(), data, frames);
    } else {
        // One resampler per input layout, kept across blocks so that rate conversion
        // carries its filter state from one block to the next without clicks.
        if (!s.swr || s.swrChannels != channels || s.swrRate != sampleRate) {
            s.swr.reset();
            AVChannelLayout in, out;
            av_channel_layout_default(&in, channels);
            av_channel_layout_default(&out, s.channels);
            const int made = swr_alloc_set_opts2(media::Out(s.swr), &out, s.sampleFormat, s.sampleRate, &in,
                                                 AV_SAMPLE_FMT_S16, sampleRate, 0, nullptr);
            if (made < 0 || swr_init(s.swr.get()) < 0) {
                s.swr.reset();
                return;
            }
            s.swrChannels = channels;
            s.swrRate = sampleRate;
        }
        const uint8_t* input[1] = {samples};
        Resample(s, input, frames);
    }
    SendAudioFrames(s, false);
}

// Converts `frames` sample frames (none and no input: what the resampler still
// holds) to the codec's layout and appends them to the FIFO.
void CTavmEncoder::Resample(Stream& s, const uint8_t* const* input, int frames)
{
    const int capacity = swr_get_out_samples(s.swr.get(), frames);
    if (capacity <= 0)
        return;
    int lineSize = 0;
    const int size = av_samples_get_buffer_size(&lineSize, s.channels, capacity, s.sampleFormat, 1);
    if (size <= 0)
        return;
    s.converted.resize(size);
    uint8_t* out[kMaxAudioChannels] = {};
    const int planes = av_sample_fmt_is_planar(s.sampleFormat) ? s.channels : 1;
    for (int p = 0; p < planes; ++p)
        out[p] = s.converted.data() + size_t(p) * lineSize;
    const int got = swr_convert(s.swr.get(), out, capacity, const_cast<const uint8_t**>(input), frames);
    if (got > 0)
        av_audio_fifo_write(s.fifo.get(), reinterpret_cast<void**>(out), got);
}

// Encodes whole frames from the FIFO; when flushing, the remainder too, padded with
// silence to a whole frame.
void CTavmEncoder::SendAudioFrames(Stream& s, bool flush)
{
    for (;;) {
        if (failed_)
            return;
        const int held = av_audio_fifo_size(s.fifo.get());
        const int size = s.frameSize > 0 ? s.frameSize : held;
        if (held == 0 || (held < size && !flush))
            return;
        const int take = std::min(held, size);
        if (s.amr) {
            int16_t speech[encoder::AmrNbEncoder::kFrameSamples] = {};
            void* planes[1] = {speech};
            av_audio_fifo_read(s.fifo.get(), planes, take);
            unsigned char bytes[encoder::AmrNbEncoder::kMaxFrameBytes];
            const int n = s.amr->Encode(speech, bytes);
            if (n > 0 && av_new_packet(s.packet.get(), n) == 0) {
                std::memcpy(s.packet->data, bytes, n);
                s.packet->pts = s.packet->dts = s.nextPts;
                s.packet->duration = size;
                s.packet->flags |= AV_PKT_FLAG_KEY;
                WritePacket(s, s.packet.get());
            }
            s.nextPts += size;
            continue;
        }
        AVFrame* f = s.frame.get();
        if (f->nb_samples < size || !f->buf[0] || av_frame_make_writable(f) < 0) {
            av_frame_unref(f);
            f->format = s.sampleFormat;
            f->nb_samples = size;
            f->sample_rate = s.sampleRate;
            if (av_channel_layout_copy(&f->ch_layout, &s.ctx->ch_layout) < 0 || av_frame_get_buffer(f, 0) < 0) {
                Fail("Out of memory encoding sound.");
                return;
            }
        }
        f->nb_samples = size;
        av_audio_fifo_read(s.fifo.get(), reinterpret_cast<void**>(f->data), take);
        if (take < size)
            av_samples_set_silence(f->data, take, size - take, s.channels, s.sampleFormat);
        f->pts = s.nextPts;
        s.nextPts += size;
        SendFrame(s, f);
    }
}

// ---- closing -------------------------------------------------------------------

void CTavmEncoder::CloseStream(int index)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < 0 || index >= static_cast<int>(streams_.size()))
        return;
    Stream& s = *streams_[index];
    // What the resampler and the encoder still hold is the end of the movie.
    if (Usable(index, s.video)) {
        if (s.video) {
            StopVideoWorker(s, true);
        } else {
            if (s.swr)
                Resample(s, nullptr, 0);
            SendAudioFrames(s, true);
        }
        if (s.ctx && !failed_)
            SendFrame(s, nullptr);
    }
    FreeStream(s);
}

void CTavmEncoder::Finish()
{
    std::lock_guard<std::mutex> lock(mutex_);
    FinishLocked();
}

void CTavmEncoder::FinishLocked()
{
    if (!format_)
        return;
    if (headerWritten_ && !failed_) {
        const int r = av_write_trailer(format_.get());
        if (r < 0 || IoError() < 0)
            Fail(std::string("The end of the movie could not be written (") + ErrorText(r < 0 ? r : IoError()) + ").");
    }
    if (fileOpen_ && avio_closep(&format_->pb) < 0)
        Fail("The movie file could not be closed.");
    fileOpen_ = false;
    headerWritten_ = false;
    Abandon();
}

// ---- the control interface's view --------------------------------------------

bool CTavmEncoder::OpenMovie(const OutputFormat& f)
{
    if (!OpenOutput(f.szPath))
        return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        directPictures_ = f.bFullMotion;
    }
    const int video = AddVideoStream(f.nFrameRate, f.nWidth, f.nHeight, f.nVideoCodec, f.nVideoBitRate, f.nQuality,
                                     f.szPreset, f.nAspectNumerator, f.nAspectDenominator);
    if (video < 0)
        return false;
    const int audio = AddAudioStream(f.nAudioCodec, f.nAudioBitRate, f.nChannels, f.nSampleRate);
    if (audio < 0 || !OpenStream(video) || !OpenStream(audio) || !WriteHeader())
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    videoIndex_ = video;
    audioIndex_ = audio;
    return true;
}

void CTavmEncoder::FinishMovie()
{
    int video, audio;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        video = videoIndex_;
        audio = audioIndex_;
        // A movie without a single picture is no movie: players refuse the file, so
        // it must not pass for one.
        Stream* pictures = Usable(video, true);
        if (pictures && pictures->nextPts == 0)
            Fail("The movie has no pictures: nothing was rendered into it.");
    }
    CloseStream(video);
    CloseStream(audio);
    Finish();
}

std::string CTavmEncoder::OutputError() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

void CTavmEncoder::EncodeVideoFrame(const unsigned char* rgb, int width, int height)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (Stream* s = Usable(videoIndex_, true))
        EncodeVideoLocked(*s, rgb, kEncodeRGB24, width, height);
}

void CTavmEncoder::EncodeRenderedFrame(const unsigned char* bgr, int width, int height, bool held)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (Stream* s = Usable(videoIndex_, true))
        EncodeVideoLocked(*s, bgr, kEncodeBottomUpBGR24, width, height, held);
}

void CTavmEncoder::EncodeAudioBlock(const unsigned char* samples, int bytes, int channels, int sampleRate)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (Stream* s = Usable(audioIndex_, false))
        EncodeAudioLocked(*s, samples, bytes, channels, sampleRate);
}

std::string CTavmEncoder::ContainerName() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return format_ ? format_->oformat->name : "";
}

bool CTavmEncoder::IsWriting() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return headerWritten_ && !failed_;
}

}  // namespace zolvex
