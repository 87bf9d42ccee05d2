#include "filter/media/TavmDetReader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "filter/media/TavmMediaReader.h"
#include "filter/media/VideoDecoder.h"
#include "platform/wintypes.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
}

namespace {

const size_t kHeaderBytes = sizeof(BITMAPINFOHEADER);
const double kMaxDecodeThroughFrames = 15;
// Past the end of every file, and small enough to count in microseconds.
const double kLatestSeconds = 1e9;

}  // namespace

struct CTavmDetReader::Impl {
    zolvex::media::VideoDecoder dec;
    bool open = false;
    double duration = 0;
    int width = 0, height = 0;
    std::vector<unsigned char> buffer;  // header, then bottom-up rows
    uint64_t convertedGeneration = 0;
    bool converted = false;

    void CloseFile()
    {
        dec.Close();
        open = converted = false;
        duration = 0;
        width = height = 0;
        buffer.clear();
    }
};

CTavmDetReader::CTavmDetReader() : impl_(new Impl) {}

CTavmDetReader::~CTavmDetReader() = default;

bool CTavmDetReader::Open(const char* path)
{
    Impl& m = *impl_;
    m.CloseFile();
    zolvex::media::VideoDecoder& dec = m.dec;
    if (!dec.OpenDemuxer(path) || !dec.OpenDecoder())
        return dec.Refuse();
    const int w = dec.Codec()->width, h = dec.Codec()->height;
    if (w <= 0 || h <= 0 || av_image_check_size(unsigned(w), unsigned(h), 0, nullptr) < 0)
        return dec.Refuse("the picture size " + std::to_string(w) + " x " + std::to_string(h) + " cannot be used");
    const size_t rowsBytes = size_t(w) * 3 * h;
    try {
        m.buffer.assign(kHeaderBytes + rowsBytes, 0);
    } catch (const std::bad_alloc&) {
        return dec.Refuse("out of memory");
    }
    BITMAPINFOHEADER header{};
    header.biSize = DWORD(kHeaderBytes);
    header.biWidth = w;
    header.biHeight = h;  // positive: bottom-up rows
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = DWORD(rowsBytes);
    std::memcpy(m.buffer.data(), &header, kHeaderBytes);

    // A file whose length cannot be known still opens; only its first picture
    // can be grabbed then.
    const double duration =
        GuessMediaDuration(dec.Format()->duration, dec.Stream()->codecpar->bit_rate, dec.FileSize());
    m.duration = duration > 0 ? duration : 0;
    m.width = w;
    m.height = h;
    m.open = true;
    return true;
}

bool CTavmDetReader::ReadFrameAt(double seconds)
{
    Impl& m = *impl_;
    if (!m.open || !(seconds >= 0) || seconds > m.duration)
        return false;
    zolvex::media::VideoDecoder& dec = m.dec;
    const int64_t target = int64_t(std::min(seconds, kLatestSeconds) * 1000000.0) + dec.ContainerStartUs();
    const bool seek = dec.IsBehind(target) || dec.FramesAhead(target) >= kMaxDecodeThroughFrames;
    if (!(seek ? dec.SeekTo(target) : dec.DecodeTo(target)))
        return false;
    if (!m.converted || m.convertedGeneration != dec.PictureGeneration()) {
        if (!dec.Convert(m.buffer.data() + kHeaderBytes, m.width, m.height, true))
            return false;
        m.converted = true;
        m.convertedGeneration = dec.PictureGeneration();
    }
    return true;
}

double CTavmDetReader::GetDuration() const { return impl_->duration; }
int CTavmDetReader::GetWidth() const { return impl_->width; }
int CTavmDetReader::GetHeight() const { return impl_->height; }

std::string CTavmDetReader::OpenError() const { return impl_->dec.OpenError(); }

const unsigned char* CTavmDetReader::GetFrameData() const
{
    return impl_->buffer.empty() ? nullptr : impl_->buffer.data() + kHeaderBytes;
}

const unsigned char* CTavmDetReader::GetFrameBuffer() const
{
    return impl_->buffer.empty() ? nullptr : impl_->buffer.data();
}
