#include "filter/media/TavmMediaReader.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string>
#include <vector>

#include "filter/media/VideoDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
}

namespace {

// Forward jumps shorter than this many frames are decoded through; longer ones seek.
const double kMaxDecodeThroughFrames = 15;
// Reads are counted up to this and then start again from 0.
const int64_t kReadCountWrap = 100000;
// Any time past this is past the end of every file; it keeps microsecond counts
// well inside 64 bits.
const double kLatestSeconds = 1e9;

bool ServedCodec(int id)
{
    return id == AV_CODEC_ID_MPEG2VIDEO || id == AV_CODEC_ID_MPEG4 || id == AV_CODEC_ID_MSMPEG4V1 ||
           id == AV_CODEC_ID_MSMPEG4V2 || id == AV_CODEC_ID_MSMPEG4V3;
}

}  // namespace

double GuessMediaDuration(int64_t containerDurationUs, int64_t streamBitRate, int64_t fileSize)
{
    const double known = double(containerDurationUs) * 0.000001;
    if (known > 0)
        return known;
    const int64_t byteRate = streamBitRate / 8;
    // Below 8 bits per second there is no byte rate to divide by.
    if (streamBitRate <= 0 || fileSize <= 0 || byteRate <= 0)
        return -1;
    const double guess = double(fileSize) * 0.9 / double(byteRate);
    if (!(guess > 0))
        return -1;
    av_log(nullptr, AV_LOG_WARNING, "  ** duration is unknown: %.2f; guessing: %.2f s. from bit_rate\n", known, guess);
    return guess;
}

struct CTavmMediaReader::Impl {
    Flavour flavour;
    zolvex::media::VideoDecoder dec;
    bool open = false;
    int width = 0, height = 0;
    double duration = 0;
    std::vector<unsigned char> rgb;
    uint64_t convertedGeneration = 0;
    bool converted = false;
    bool bottomUpBgr = false;
    // Survives reopening, like the reader itself.
    int64_t readCount = 0;

    void CloseFile()
    {
        dec.Close();
        open = false;
        converted = false;
        width = height = 0;
        duration = 0;
        rgb.clear();
    }
};

CTavmMediaReader::CTavmMediaReader(Flavour flavour) : impl_(new Impl)
{
    impl_->flavour = flavour;
}

CTavmMediaReader::~CTavmMediaReader() = default;

bool CTavmMediaReader::Probe(const char* path, int* flip)
{
    // Probing opens the file in place of the one open before.
    impl_->CloseFile();
    zolvex::media::VideoDecoder& dec = impl_->dec;
    if (!dec.OpenDemuxer(path))
        return false;
    const int id = dec.Stream()->codecpar->codec_id;
    const bool served = ServedCodec(id);
    const bool accepted = served && avcodec_find_decoder(AVCodecID(id)) != nullptr;
    if (!accepted) {
        const std::string codec = avcodec_get_name(AVCodecID(id));
        dec.SetOpenError(served ? "the codec " + codec + " cannot be decoded"
                                : "this reader does not serve the codec " + codec);
    }
    dec.Close();
    if (!accepted)
        return false;
    if (flip)
        *flip = 1;
    return true;
}

bool CTavmMediaReader::Open(const char* path)
{
    Impl& m = *impl_;
    m.CloseFile();
    zolvex::media::VideoDecoder& dec = m.dec;
    if (!dec.OpenDemuxer(path))
        return dec.Refuse();
    if (!dec.Format()) {
        av_log(nullptr, AV_LOG_ERROR, "NULL != m_pFormatCtx\n");
        return dec.Refuse("no demuxer");
    }
    if (!dec.OpenDecoder())
        return dec.Refuse();
    const AVStream* stream = dec.Stream();
    if (!stream || !stream->codecpar) {
        av_log(nullptr, AV_LOG_ERROR, "NULL != pStream && NULL != pStream->codec\n");
        return dec.Refuse("no video stream");
    }
    const double duration = GuessMediaDuration(dec.Format()->duration, stream->codecpar->bit_rate, dec.FileSize());
    if (!(duration > 0))
        return dec.Refuse("the length of the video is unknown");

    const AVCodecContext* codec = dec.Codec();
    const AVRational sar = av_guess_sample_aspect_ratio(dec.Format(), const_cast<AVStream*>(stream), nullptr);
    if (sar.num > 0 && sar.den > 0) {
        const double ratio = av_q2d(sar);
        if (ratio < 0.999 || ratio > 1.001)
            av_log(nullptr, AV_LOG_INFO,
                   "  * scaling input * %dx%d => %dx%d according to sample_aspect_ratio %d/%d\n", codec->width,
                   codec->height, int(std::lround(codec->width * ratio)), codec->height, sar.num, sar.den);
    }

    const int w = codec->width, h = codec->height;
    if (w <= 0 || h <= 0 || av_image_check_size(unsigned(w), unsigned(h), 0, nullptr) < 0)
        return dec.Refuse("the picture size " + std::to_string(w) + " x " + std::to_string(h) + " cannot be used");
    try {
        m.rgb.assign(size_t(w) * h * 3, 0);
    } catch (const std::bad_alloc&) {
        return dec.Refuse("out of memory");
    }
    m.width = w;
    m.height = h;
    m.duration = duration;
    m.open = true;
    return true;
}

bool CTavmMediaReader::ReadFrameAt(double seconds)
{
    Impl& m = *impl_;
    // No picture is shown before the start, nor at a time that is no number.
    if (!m.open || !(seconds >= 0))
        return false;
    zolvex::media::VideoDecoder& dec = m.dec;
    const int64_t us = int64_t(std::min(seconds, kLatestSeconds) * 1000000.0);
    const int64_t target = m.flavour == kFilterReader ? us + dec.ContainerStartUs() : us;
    ++m.readCount;

    bool seek = dec.IsBehind(target);
    if (m.flavour == kFilterReader) {
        // A long jump ahead costs less as a seek than as frames decoded and dropped.
        seek = seek || dec.FramesAhead(target) >= kMaxDecodeThroughFrames;
    } else {
        // The studio's reader seeks once per second's worth of reads, wherever they go.
        const int64_t perSecond = std::max<int64_t>(1, std::llround(dec.FramesPerSecond()));
        seek = seek || m.readCount % perSecond == 0;
    }
    if (m.readCount > kReadCountWrap)
        m.readCount = 0;

    if (!(seek ? dec.SeekTo(target) : dec.DecodeTo(target)))
        return false;
    if (!m.converted || m.convertedGeneration != dec.PictureGeneration()) {
        if (!dec.Convert(m.rgb.data(), m.width, m.height, m.bottomUpBgr))
            return false;
        m.converted = true;
        m.convertedGeneration = dec.PictureGeneration();
    }
    return true;
}

void CTavmMediaReader::SetBottomUpBgr(bool on)
{
    if (impl_->bottomUpBgr != on)
        impl_->converted = false;  // the frame held is in the other layout
    impl_->bottomUpBgr = on;
}

double CTavmMediaReader::GetDuration() const { return impl_->duration; }
int CTavmMediaReader::GetWidth() const { return impl_->width; }
int CTavmMediaReader::GetHeight() const { return impl_->height; }

const unsigned char* CTavmMediaReader::GetFrameData() const
{
    return impl_->rgb.empty() ? nullptr : impl_->rgb.data();
}

std::string CTavmMediaReader::OpenError() const { return impl_->dec.OpenError(); }

int64_t CTavmMediaReader::GetReadCount() const { return impl_->readCount; }
int64_t CTavmMediaReader::GetSeekCount() const { return impl_->dec.SeekCount(); }
