#include "filter/media/VideoDecoder.h"

#include "filter/common/Log.h"
#include "filter/media/MediaLog.h"
#include "filter/media/SlicedScaler.h"
#include "platform/RegularFile.h"

#include <algorithm>
#include <cstring>
#include <cmath>
#include <utility>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace zolvex {
namespace media {

namespace {

bool ValidRate(AVRational r) { return r.num > 0 && r.den > 0; }

// The destination frame wraps the caller's buffer; it is never freed through it.

// Damaged files carry any timestamps at all: sums saturate rather than overflow.
int64_t Add(int64_t a, int64_t b)
{
    int64_t r;
    return __builtin_add_overflow(a, b, &r) ? (b < 0 ? INT64_MIN : INT64_MAX) : r;
}

}  // namespace

VideoDecoder::VideoDecoder() = default;

VideoDecoder::~VideoDecoder()
{
    Close();
}

void VideoDecoder::Close()
{
    sws_.reset();
    swsSrcFormat_ = swsDstFormat_ = -1;
    dstFrame_.reset();
    cur_.reset();
    next_.reset();
    tmp_.reset();
    pkt_.reset();
    codec_.reset();
    fmt_.reset();
    stream_ = nullptr;
    streamIndex_ = -1;
    pktPending_ = draining_ = eof_ = false;
    hasCur_ = hasNext_ = haveLastPts_ = false;
    seekCount_ = 0;
}

void VideoDecoder::SetOpenError(const std::string& reason)
{
    openError_ = path_.empty() ? reason : path_ + ": " + reason;
}

bool VideoDecoder::Fail(const std::string& reason)
{
    SetOpenError(reason);
    Close();
    return false;
}

bool VideoDecoder::Refuse(const std::string& reason)
{
    if (!reason.empty())
        SetOpenError(reason);
    Close();
    LogMessage(LogLevel::kWarnings, "cannot open %s\n", openError_.c_str());
    return false;
}

bool VideoDecoder::OpenDemuxer(const char* path)
{
    Close();
    RouteFfmpegLog();
    path_ = path ? path : "";
    openError_.clear();
    const std::string problem = RegularFileProblem(path);
    if (!problem.empty())
        return Fail(problem);
    int r = avformat_open_input(Out(fmt_), path, nullptr, nullptr);
    if (r < 0)
        return Fail(DescribeOpenFailure(r));
    // Packets the demuxer knows to be incomplete (the tail of a cut file) would only
    // give a half-drawn picture: drop them.
    fmt_->flags |= AVFMT_FLAG_GENPTS | AVFMT_FLAG_DISCARD_CORRUPT;
    r = avformat_find_stream_info(fmt_.get(), nullptr);
    if (r < 0)
        return Fail(DescribeOpenFailure(r));
    for (unsigned i = 0; i < fmt_->nb_streams; ++i) {
        AVStream* s = fmt_->streams[i];
        // A cover picture of a sound file is no video to play.
        if (s->codecpar && s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(s->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            stream_ = s;
            streamIndex_ = int(i);
            break;
        }
    }
    if (!stream_)
        return Fail("no video stream");

    const AVRational tb = stream_->time_base;
    if (!ValidRate(tb))
        return Fail("the video stream has no time base");
    AVRational rate = stream_->avg_frame_rate;
    if (!ValidRate(rate))
        rate = stream_->r_frame_rate;
    if (!ValidRate(rate) || av_q2d(rate) > 1000)
        rate = AVRational{25, 1};
    fps_ = av_q2d(rate);
    frameTicks_ = double(tb.den) / tb.num / fps_;
    toleranceUs_ = int64_t(250000 / fps_);

    if (stream_->start_time != AV_NOPTS_VALUE)
        startTicks_ = stream_->start_time;
    else if (fmt_->start_time != AV_NOPTS_VALUE)
        startTicks_ = av_rescale_q(fmt_->start_time, AV_TIME_BASE_Q, tb);
    else
        startTicks_ = 0;
    seekSettleTicks_ = 0;
    if (fmt_->iformat->flags & (AVFMT_TS_DISCONT | AVFMT_GENERIC_INDEX | AVFMT_NOTIMESTAMPS))
        seekSettleTicks_ = av_rescale_q(1, AVRational{1, 1}, tb);
    endTicks_ = INT64_MAX;
    if (fmt_->duration > 0)
        endTicks_ = av_rescale_q(Add(ContainerStartUs(), fmt_->duration), AV_TIME_BASE_Q, tb);
    return true;
}

bool VideoDecoder::OpenDecoder()
{
    if (!stream_ || codec_)
        return false;
    const AVCodecID id = stream_->codecpar->codec_id;
    const AVCodec* decoder = avcodec_find_decoder(id);
    if (!decoder) {
        // A stream whose codec is not even known is what a cut or damaged file leaves.
        SetOpenError(id == AV_CODEC_ID_NONE ? std::string("no video stream that can be decoded (damaged or cut short?)")
                                            : std::string("the codec ") + avcodec_get_name(id) + " cannot be decoded");
        return false;
    }
    codec_.reset(avcodec_alloc_context3(decoder));
    if (!codec_ || avcodec_parameters_to_context(codec_.get(), stream_->codecpar) < 0) {
        SetOpenError("out of memory");
        codec_.reset();
        return false;
    }
    codec_->pkt_timebase = stream_->time_base;
    // One decoding thread per processor, as the ffmpeg command uses: the pictures
    // are the same, only later by a frame or two.
    codec_->thread_count = 0;
    codec_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    const int r = avcodec_open2(codec_.get(), decoder, nullptr);
    if (r < 0) {
        SetOpenError(std::string("the codec ") + avcodec_get_name(id) + " cannot be decoded (" +
                     DescribeOpenFailure(r) + ")");
        codec_.reset();
        return false;
    }
    cur_.reset(av_frame_alloc());
    next_.reset(av_frame_alloc());
    tmp_.reset(av_frame_alloc());
    if (!cur_ || !next_ || !tmp_) {
        av_log(nullptr, AV_LOG_ERROR, "  couldn't allocate a video frame\n");
        SetOpenError("out of memory");
        codec_.reset();
        return false;
    }
    dstFrame_.reset(av_frame_alloc());
    pkt_.reset(av_packet_alloc());
    if (!dstFrame_ || !pkt_) {
        SetOpenError("out of memory");
        codec_.reset();
        return false;
    }
    firstFromStart_ = true;
    return true;
}

int64_t VideoDecoder::FileSize() const
{
    return fmt_ && fmt_->pb ? avio_size(fmt_->pb) : -1;
}

int64_t VideoDecoder::ContainerStartUs() const
{
    // Bounded so that adding a time to it cannot overflow, whatever a file says.
    const int64_t bound = int64_t(1) << 60;
    return fmt_ && fmt_->start_time != AV_NOPTS_VALUE ? std::clamp(fmt_->start_time, -bound, bound) : 0;
}

int64_t VideoDecoder::LimitTicks(int64_t us) const
{
    // Rounded down: a picture counts only once its time has come.
    return av_rescale_q_rnd(Add(us, toleranceUs_), AV_TIME_BASE_Q, stream_->time_base, AV_ROUND_DOWN);
}

bool VideoDecoder::IsBehind(int64_t us) const
{
    // The stream's first picture is shown for any earlier time as well.
    return stream_ && hasCur_ && curPts_ > LimitTicks(us) && curPts_ > startTicks_;
}

double VideoDecoder::FramesAhead(int64_t us) const
{
    if (!stream_ || eof_)
        return 0;
    const int64_t pos = hasNext_ ? nextPts_ : hasCur_ ? curPts_ : startTicks_;
    return (double(LimitTicks(us)) - double(pos)) / frameTicks_;
}

void VideoDecoder::ResetDecoding()
{
    avcodec_flush_buffers(codec_.get());
    av_packet_unref(pkt_.get());
    pktPending_ = draining_ = eof_ = false;
    hasCur_ = hasNext_ = haveLastPts_ = false;
    firstFromStart_ = false;
}

int VideoDecoder::DecodeNext(AVFrame* out, int64_t* pts)
{
    if (eof_)
        return 0;
    // Bounds the loop should a broken decoder neither give a picture nor end.
    int idleRounds = 0;
    for (;;) {
        int r = avcodec_receive_frame(codec_.get(), out);
        if (r >= 0) {
            int64_t p = out->best_effort_timestamp;
            if (p == AV_NOPTS_VALUE)
                p = haveLastPts_ ? Add(lastPts_, std::llround(frameTicks_)) : startTicks_;
            if (firstFromStart_) {
                startTicks_ = std::min(startTicks_, p);
                firstFromStart_ = false;
            }
            lastPts_ = p;
            haveLastPts_ = true;
            *pts = p;
            return 1;
        }
        if (r == AVERROR_EOF || (draining_ && ++idleRounds > 64)) {
            eof_ = true;
            return 0;
        }
        // Other errors are damaged pictures: skip them, as a player would.
        if (draining_)
            continue;
        if (!pktPending_) {
            r = av_read_frame(fmt_.get(), pkt_.get());
            if (r < 0) {
                if (fmt_->pb && fmt_->pb->error < 0)
                    return -1;
                avcodec_send_packet(codec_.get(), nullptr);
                draining_ = true;
                continue;
            }
            if (pkt_->stream_index != streamIndex_) {
                av_packet_unref(pkt_.get());
                continue;
            }
        }
        r = avcodec_send_packet(codec_.get(), pkt_.get());
        if (r == AVERROR(EAGAIN)) {
            // The decoder must give a picture before it takes more; if it gave
            // nothing just now, it is stuck.
            if (pktPending_)
                return -1;
            pktPending_ = true;
            continue;
        }
        pktPending_ = false;
        av_packet_unref(pkt_.get());
    }
}

bool VideoDecoder::DecodeTo(int64_t us)
{
    if (!codec_)
        return false;
    const int64_t limit = LimitTicks(us);
    if (hasNext_ && nextPts_ <= limit) {
        std::swap(cur_, next_);
        curPts_ = nextPts_;
        hasCur_ = true;
        hasNext_ = false;
        ++generation_;
    }
    while (!hasNext_ && !eof_) {
        int64_t pts = 0;
        const int r = DecodeNext(tmp_.get(), &pts);
        if (r < 0)
            return false;
        if (r == 0)
            break;
        if (!hasCur_ || pts <= limit) {
            std::swap(cur_, tmp_);
            curPts_ = pts;
            hasCur_ = true;
            ++generation_;
        } else {
            std::swap(next_, tmp_);
            nextPts_ = pts;
            hasNext_ = true;
        }
    }
    return hasCur_;
}

bool VideoDecoder::SeekTo(int64_t us)
{
    if (!codec_)
        return false;
    ++seekCount_;
    const int64_t limit = LimitTicks(us);
    int64_t ts = std::max(Add(std::min(std::max(limit, startTicks_), endTicks_), -seekSettleTicks_), startTicks_);
    const AVRational tb = stream_->time_base;
    int64_t back = std::max<int64_t>(1, tb.den / tb.num);  // one second, doubling
    for (int attempt = 0;; ++attempt) {
        int r = -1;
        // Back to the first byte, these demuxers read as if the file were new.
        if (seekSettleTicks_ > 0 && ts <= startTicks_)
            r = av_seek_frame(fmt_.get(), -1, 0, AVSEEK_FLAG_BYTE);
        if (r < 0)
            r = av_seek_frame(fmt_.get(), streamIndex_, ts, AVSEEK_FLAG_BACKWARD);
        if (r < 0)
            r = avformat_seek_file(fmt_.get(), streamIndex_, INT64_MIN, ts, INT64_MAX, 0);
        ResetDecoding();
        if (r < 0)
            return false;
        int64_t pts = 0;
        const int d = DecodeNext(cur_.get(), &pts);
        if (d < 0)
            return false;
        if (d > 0) {
            hasCur_ = true;
            curPts_ = pts;
            ++generation_;
        }
        // Some demuxers seek by decoding time or land past the target; then step
        // back until the first picture is not after the target.
        if ((d > 0 && (pts <= limit || pts <= startTicks_)) || ts <= startTicks_ || attempt >= 6)
            break;
        ts = std::max(startTicks_, Add(ts, -back));
        back *= 2;
    }
    return DecodeTo(us);
}

bool VideoDecoder::SetUpScaler(const AVFrame* src, int width, int height, int dstFormat)
{
    if (sws_ && swsSrcW_ == src->width && swsSrcH_ == src->height && swsSrcFormat_ == src->format &&
        swsDstW_ == width && swsDstH_ == height && swsDstFormat_ == dstFormat)
        return true;
    sws_.reset(NewSlicedScaler(src->width, src->height, src->format, width, height, dstFormat));
    if (!sws_)
        return false;
    swsSrcW_ = src->width;
    swsSrcH_ = src->height;
    swsSrcFormat_ = src->format;
    swsDstW_ = width;
    swsDstH_ = height;
    swsDstFormat_ = dstFormat;
    return true;
}

bool VideoDecoder::Convert(unsigned char* dst, int width, int height, bool bottomUpBgr)
{
    if (!hasCur_ || !dst || width <= 0 || height <= 0 || cur_->width <= 0 || cur_->height <= 0)
        return false;
    const int dstFormat = bottomUpBgr ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_RGB24;
    if (!SetUpScaler(cur_.get(), width, height, dstFormat))
        return false;
    // libswscale's vector code writes a little past the end of each row, so it works
    // into padded rows of its own, which are then copied out without the padding.
    // They are kept from one picture to the next.
    if (!dstFrame_->data[0] || dstFrame_->width != width || dstFrame_->height != height ||
        dstFrame_->format != dstFormat) {
        av_frame_unref(dstFrame_.get());
        dstFrame_->width = width;
        dstFrame_->height = height;
        dstFrame_->format = dstFormat;
        if (av_frame_get_buffer(dstFrame_.get(), 64) < 0)
            return false;
    }
    const int r = sws_scale_frame(sws_.get(), dstFrame_.get(), cur_.get());
    if (r >= 0) {
        const size_t stride = size_t(width) * 3;
        for (int y = 0; y < height; ++y) {
            // Bottom-up rows: the picture's top row goes last.
            unsigned char* to = dst + size_t(bottomUpBgr ? height - 1 - y : y) * stride;
            std::memcpy(to, dstFrame_->data[0] + ptrdiff_t(y) * dstFrame_->linesize[0], stride);
        }
    }
    return r >= 0;
}

}  // namespace media
}  // namespace zolvex
