#include "filter/media/TavmAudioSource.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "filter/common/Log.h"
#include "filter/media/FfmpegPointers.h"
#include "filter/media/MediaLog.h"
#include "platform/RegularFile.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace zolvex {

namespace {

// Packets one block may read without filling: a source that gives no sound (a
// damaged stream, a stream declared but never sent) must not hold up the mix.
constexpr int kPacketBudget = 4096;
// A source further than this from where the timeline wants it is sought.
constexpr double kDriftSeconds = 1.0;
// Sound that begins later than this after where it was asked for has time stamps
// that cannot be trusted: it is played at once instead.
constexpr double kLateStartSeconds = 2.0;

bool ValidOutput(const PcmFormat& f)
{
    return f.wFormatTag == 1 && f.wBitsPerSample == 16 && f.nChannels >= 1 && f.nChannels <= kMaxOutputChannels &&
           f.nSamplesPerSec >= 1000 && f.nSamplesPerSec <= 768000 && f.nBlockAlign == 2 * f.nChannels;
}

double SaneSeconds(double s)
{
    // Spans of a damaged project can say anything; a day is more than any source.
    return std::isfinite(s) && s > 0 ? std::min(s, 86400.0) : 0.0;
}

}  // namespace

struct CTavmAudioSource::Impl {
    media::InputFormatPtr fmt;
    media::CodecContextPtr codec;
    AVStream* stream = nullptr;
    int streamIndex = -1;
    media::PacketPtr pkt;
    media::FramePtr frame;

    media::SwrPtr swr;
    int swrFormat = -1, swrRate = 0;
    AVChannelLayout swrLayout = {};

    PcmFormat out;
    std::vector<int16_t> queue;  // converted, interleaved samples not handed out yet
    size_t head = 0;             // first sample of the queue still to hand out
    std::vector<unsigned char> block;
    std::vector<const uint8_t*> planesIn;

    std::string path;
    std::string openError;
    bool ok = false;       // the file of `path` is open
    bool eof = false;      // demuxer, decoder and resampler drained
    bool atEnd = false;    // the last block ran into the end
    double startSeconds = 0;  // the container's start: source time 0
    double skipTo = -1;    // decoded audio before this source time is dropped
    double baseSeconds = 0;   // where the last seek put the source
    int64_t framesSince = 0;  // frames handed out since then
    int64_t seeks = 0;

    ~Impl() { Close(); }

    void Close()
    {
        swr.reset();
        av_channel_layout_uninit(&swrLayout);
        frame.reset();
        pkt.reset();
        codec.reset();
        fmt.reset();
        stream = nullptr;
        streamIndex = -1;
        ok = eof = atEnd = false;
        queue.clear();
        head = 0;
    }

    double Position() const { return baseSeconds + double(framesSince) / out.nSamplesPerSec; }
    size_t Queued() const { return (queue.size() - head) / out.nChannels; }

    bool Open(const char* file);
    bool Refuse(const std::string& reason);
    void Seek(double seconds);
    void ResetResampler();
    bool SetUpResampler(const AVFrame* f);
    void Convert(const uint8_t* const* data, int samples);
    void FlushResampler();
    void TakeFrame(AVFrame* f);
    void ReceiveFrames();
    void ReadMore();
    int Fill(unsigned char* dst, int frames, bool looping);
};

// Keeps why the file could not be opened, says so and leaves the slot closed.
bool CTavmAudioSource::Impl::Refuse(const std::string& reason)
{
    Close();
    openError = path.empty() ? reason : path + ": " + reason;
    LogMessage(LogLevel::kWarnings, "cannot open %s\n", openError.c_str());
    return false;
}

bool CTavmAudioSource::Impl::Open(const char* file)
{
    Close();
    media::RouteFfmpegLog();
    openError.clear();
    path = file ? file : "";
    const std::string problem = RegularFileProblem(file);
    if (!problem.empty())
        return Refuse(problem);
    // Only plain files: a scene path must never turn into a network address or
    // one of FFmpeg's compound protocols.
    media::DictionaryPtr options;
    av_dict_set(media::Out(options), "protocol_whitelist", "file", 0);
    int r = avformat_open_input(media::Out(fmt), ("file:" + path).c_str(), nullptr, media::Out(options));
    if (r < 0)
        return Refuse(media::DescribeOpenFailure(r));
    r = avformat_find_stream_info(fmt.get(), nullptr);
    if (r < 0)
        return Refuse(media::DescribeOpenFailure(r));
    const AVCodec* decoder = nullptr;
    streamIndex = av_find_best_stream(fmt.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (streamIndex == AVERROR_STREAM_NOT_FOUND)
        return Refuse("no sound stream");
    if (streamIndex < 0 || !decoder) {
        const int best = av_find_best_stream(fmt.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        return Refuse(best >= 0 ? std::string("the codec ") +
                                      avcodec_get_name(fmt->streams[best]->codecpar->codec_id) +
                                      " cannot be decoded"
                                : media::DescribeOpenFailure(streamIndex));
    }
    stream = fmt->streams[streamIndex];
    // Pictures and other streams are of no use here: the demuxer skips them.
    for (unsigned i = 0; i < fmt->nb_streams; ++i)
        if (int(i) != streamIndex)
            fmt->streams[i]->discard = AVDISCARD_ALL;
    codec.reset(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), stream->codecpar) < 0)
        return Refuse("out of memory");
    codec->pkt_timebase = stream->time_base;
    r = avcodec_open2(codec.get(), decoder, nullptr);
    if (r < 0)
        return Refuse(std::string("the codec ") + avcodec_get_name(stream->codecpar->codec_id) +
                      " cannot be decoded (" + media::DescribeOpenFailure(r) + ")");
    pkt.reset(av_packet_alloc());
    frame.reset(av_frame_alloc());
    if (!pkt || !frame)
        return Refuse("out of memory");
    startSeconds = fmt->start_time != AV_NOPTS_VALUE ? fmt->start_time / double(AV_TIME_BASE) : 0.0;
    if (!std::isfinite(startSeconds))
        startSeconds = 0;
    ok = true;
    return true;
}

void CTavmAudioSource::Impl::ResetResampler()
{
    swr.reset();
    av_channel_layout_uninit(&swrLayout);
    swrFormat = -1;
    swrRate = 0;
}

void CTavmAudioSource::Impl::Seek(double seconds)
{
    ++seeks;
    const AVRational tb = stream->time_base;
    const double target = startSeconds + seconds;
    if (tb.num > 0 && tb.den > 0) {
        const int64_t ts = int64_t(std::llround(target * tb.den / tb.num));
        // At or before the target; the audio up to it is decoded and dropped.
        if (avformat_seek_file(fmt.get(), streamIndex, INT64_MIN, ts, ts, 0) < 0)
            av_seek_frame(fmt.get(), streamIndex, ts, AVSEEK_FLAG_BACKWARD);
    }
    avcodec_flush_buffers(codec.get());
    ResetResampler();
    queue.clear();
    head = 0;
    eof = atEnd = false;
    skipTo = seconds;
    baseSeconds = seconds;
    framesSince = 0;
}

bool CTavmAudioSource::Impl::SetUpResampler(const AVFrame* f)
{
    if (swr && f->format == swrFormat && f->sample_rate == swrRate &&
        av_channel_layout_compare(&f->ch_layout, &swrLayout) == 0)
        return true;
    // The source changed its format mid-stream: what the old set-up still holds
    // belongs before this frame.
    FlushResampler();
    ResetResampler();
    const int inChannels = f->ch_layout.nb_channels;
    if (inChannels < 1 || inChannels > 64 || f->sample_rate < 1 || f->sample_rate > 10000000)
        return false;
    AVChannelLayout in = {};
    if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_check(&f->ch_layout) == 0)
        av_channel_layout_default(&in, inChannels);
    else if (av_channel_layout_copy(&in, &f->ch_layout) < 0)
        return false;
    AVChannelLayout outLayout = {};
    av_channel_layout_default(&outLayout, out.nChannels);
    int r = swr_alloc_set_opts2(media::Out(swr), &outLayout, AV_SAMPLE_FMT_S16, int(out.nSamplesPerSec), &in,
                                AVSampleFormat(f->format), f->sample_rate, 0, nullptr);
    if (r >= 0 && inChannels == 1) {
        // Mono goes to the front pair at full level, as a mono recording is heard
        // from both speakers, rather than at the −3 dB of a centre speaker.
        std::vector<double> matrix(out.nChannels, 0.0);
        for (int c = 0; c < std::min<int>(2, out.nChannels); ++c)
            matrix[size_t(c)] = 1.0;
        r = swr_set_matrix(swr.get(), matrix.data(), 1);
    }
    if (r >= 0)
        r = swr_init(swr.get());
    av_channel_layout_uninit(&outLayout);
    av_channel_layout_uninit(&in);
    // Kept as the frame says it, unspecified order and all, to know the next frame.
    if (r < 0 || av_channel_layout_copy(&swrLayout, &f->ch_layout) < 0) {
        ResetResampler();
        return false;
    }
    swrFormat = f->format;
    swrRate = f->sample_rate;
    return true;
}

void CTavmAudioSource::Impl::Convert(const uint8_t* const* data, int samples)
{
    const int room = swr_get_out_samples(swr.get(), samples);
    if (room <= 0)
        return;
    const size_t at = queue.size();
    queue.resize(at + size_t(room) * out.nChannels);
    uint8_t* dst = reinterpret_cast<uint8_t*>(queue.data() + at);
    const int made = swr_convert(swr.get(), &dst, room, const_cast<const uint8_t**>(data), samples);
    queue.resize(at + size_t(std::max(made, 0)) * out.nChannels);
}

void CTavmAudioSource::Impl::FlushResampler()
{
    if (swr)
        Convert(nullptr, 0);
}

void CTavmAudioSource::Impl::TakeFrame(AVFrame* f)
{
    if (f->nb_samples <= 0 || !SetUpResampler(f))
        return;
    int drop = 0;
    if (skipTo >= 0) {
        const int64_t ts = f->best_effort_timestamp;
        const AVRational tb = stream->time_base;
        if (ts != AV_NOPTS_VALUE && tb.num > 0 && tb.den > 0) {
            const double t = double(ts) * tb.num / tb.den - startSeconds;
            const double d = std::round((skipTo - t) * f->sample_rate);
            if (d >= f->nb_samples)
                return;  // wholly before the target
            drop = d > 0 ? int(d) : 0;
            // Sound that starts after the target (a video whose sound begins late,
            // a seek that went too far) keeps its place behind silence.
            const double gap = (t - skipTo) * out.nSamplesPerSec;
            if (gap >= 1 && t - skipTo <= kLateStartSeconds)
                queue.resize(queue.size() + size_t(std::lround(gap)) * out.nChannels, 0);
        }
        skipTo = -1;
    }
    const int bytes = av_get_bytes_per_sample(AVSampleFormat(f->format));
    const bool planar = av_sample_fmt_is_planar(AVSampleFormat(f->format));
    const int planes = planar ? f->ch_layout.nb_channels : 1;
    const size_t step = size_t(drop) * bytes * (planar ? 1 : f->ch_layout.nb_channels);
    planesIn.resize(static_cast<size_t>(planes));
    for (int p = 0; p < planes; ++p) {
        if (!f->extended_data[p])
            return;
        planesIn[size_t(p)] = f->extended_data[p] + step;
    }
    Convert(planesIn.data(), f->nb_samples - drop);
}

void CTavmAudioSource::Impl::ReceiveFrames()
{
    while (avcodec_receive_frame(codec.get(), frame.get()) == 0) {
        TakeFrame(frame.get());
        av_frame_unref(frame.get());
    }
}

void CTavmAudioSource::Impl::ReadMore()
{
    const int r = av_read_frame(fmt.get(), pkt.get());
    if (r == AVERROR(EAGAIN))
        return;
    if (r < 0) {
        // The end, or a file cut short: what the decoder and the resampler still
        // hold is the tail of the sound.
        avcodec_send_packet(codec.get(), nullptr);
        ReceiveFrames();
        FlushResampler();
        eof = true;
        return;
    }
    // A packet the decoder refuses (damaged data) is passed over.
    if (pkt->stream_index == streamIndex && avcodec_send_packet(codec.get(), pkt.get()) >= 0)
        ReceiveFrames();
    av_packet_unref(pkt.get());
}

int CTavmAudioSource::Impl::Fill(unsigned char* dst, int frames, bool looping)
{
    const size_t align = out.nBlockAlign;
    int got = 0, budget = kPacketBudget;
    bool wrapped = false;
    while (got < frames) {
        if (const size_t queued = Queued()) {
            const int n = int(std::min<size_t>(queued, size_t(frames - got)));
            std::memcpy(dst + size_t(got) * align, queue.data() + head, size_t(n) * align);
            head += size_t(n) * out.nChannels;
            got += n;
            framesSince += n;
            continue;
        }
        if (eof) {
            // Once per block, and only after sound since the last seek, so that a
            // source that ends where it starts cannot keep the block going round.
            if (looping && !wrapped && framesSince > 0) {
                Seek(0);
                wrapped = true;
                continue;
            }
            atEnd = true;
            break;
        }
        if (--budget < 0)
            break;
        ReadMore();
    }
    if (head > 0 && head * 2 >= queue.size()) {
        queue.erase(queue.begin(), queue.begin() + std::ptrdiff_t(head));
        head = 0;
    }
    return got;
}

CTavmAudioSource::CTavmAudioSource() = default;
CTavmAudioSource::~CTavmAudioSource() = default;

bool CTavmAudioSource::Decode(bool opened, const char* path, double seconds, int blockBytes,
                              const PcmFormat& format, bool looping)
{
    if (!impl_)
        impl_.reset(new Impl);
    Impl& s = *impl_;
    s.block.assign(size_t(std::max(blockBytes, 0)), 0);
    if (!ValidOutput(format) || blockBytes < format.nBlockAlign)
        return false;
    seconds = SaneSeconds(seconds);
    const char* file = path ? path : "";

    if (!opened || s.path != file) {
        s.out = format;
        if (!s.Open(file))
            return false;
        if (seconds > 0) {
            s.Seek(seconds);
        } else {
            // Straight after opening the file stands at its start.
            ++s.seeks;
            s.skipTo = s.baseSeconds = 0;
            s.framesSince = 0;
        }
    } else {
        // A source that failed to open stays silent until it is reopened on
        // purpose: trying a damaged file again on every block would stall the mix.
        if (!s.ok)
            return false;
        if (s.out != format) {
            const double at = s.Position();
            s.out = format;
            s.Seek(at);
        }
        if (s.atEnd) {
            s.Seek(0);
            return false;
        }
        if (std::fabs(s.Position() - seconds) > kDriftSeconds)
            s.Seek(seconds);
    }
    return s.Fill(s.block.data(), blockBytes / format.nBlockAlign, looping) > 0;
}

const unsigned char* CTavmAudioSource::Block() const
{
    return impl_ && !impl_->block.empty() ? impl_->block.data() : nullptr;
}

int CTavmAudioSource::BlockBytes() const
{
    return impl_ ? int(impl_->block.size()) : 0;
}

void CTavmAudioSource::Close()
{
    if (impl_) {
        impl_->Close();
        impl_->path.clear();
    }
}

bool CTavmAudioSource::IsOpen() const
{
    return impl_ && impl_->ok;
}

std::string CTavmAudioSource::OpenError() const
{
    return impl_ ? impl_->openError : std::string();
}

int CTavmAudioSource::SourceChannels() const
{
    return IsOpen() ? impl_->codec->ch_layout.nb_channels : 0;
}

int CTavmAudioSource::SourceSampleRate() const
{
    return IsOpen() ? impl_->codec->sample_rate : 0;
}

double CTavmAudioSource::DurationSeconds() const
{
    if (!IsOpen())
        return -1;
    const Impl& s = *impl_;
    if (s.fmt->duration > 0)
        return s.fmt->duration / double(AV_TIME_BASE);
    const AVRational tb = s.stream->time_base;
    if (s.stream->duration > 0 && tb.num > 0 && tb.den > 0)
        return double(s.stream->duration) * tb.num / tb.den;
    return -1;
}

double CTavmAudioSource::CurrentSeconds() const
{
    return IsOpen() ? impl_->Position() : 0.0;
}

int64_t CTavmAudioSource::SeekCount() const
{
    return impl_ ? impl_->seeks : 0;
}

}  // namespace zolvex
