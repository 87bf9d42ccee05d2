#include "filter/timeline/stream/TavmSource.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "filter/timeline/model/TimelineTime.h"

namespace zolvex {

namespace {

constexpr int64_t kShortestFrame = 100000;    // 100 frames per second
constexpr int64_t kLongestFrame = 10000000;   // one frame per second

std::atomic<long> g_live{0};

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

// Bytes of a bottom-up 24-bit bitmap: rows padded to four bytes. The frame size is
// always a multiple of four wide, where this equals width × height × 3.
uint32_t ImageBytes(int width, int height) { return uint32_t(((width * 3 + 3) & ~3) * height); }

// The control interface of a source: its references are the source's, so holding
// it keeps the whole filter alive.
class SourceControl final : public CTavmControl {
public:
    explicit SourceControl(IUnknown& owner) : owner_(owner) {}
    ~SourceControl() override = default;
    HRESULT QueryInterface(const GUID& iid, void** object) override { return owner_.QueryInterface(iid, object); }
    ULONG AddRef() override { return owner_.AddRef(); }
    ULONG Release() override { return owner_.Release(); }

private:
    IUnknown& owner_;
};

class SourceProblems final : public ITavmMediaProblems {
public:
    SourceProblems(IUnknown& owner, const MediaProblemList& list) : owner_(owner), list_(list) {}
    HRESULT QueryInterface(const GUID& iid, void** object) override { return owner_.QueryInterface(iid, object); }
    ULONG AddRef() override { return owner_.AddRef(); }
    ULONG Release() override { return owner_.Release(); }

    HRESULT GetProblemCount(int* count) override
    {
        if (!count)
            return E_POINTER;
        *count = int(list_.Count());
        return S_OK;
    }

    HRESULT GetProblem(int index, char* path, int pathSize, char* why, int whySize) override
    {
        const std::vector<MediaProblem> items = list_.Items();
        if (index < 0 || size_t(index) >= items.size())
            return E_INVALIDARG;
        const MediaProblem& p = items[size_t(index)];
        CopyCut(p.path, path, pathSize);
        CopyCut(p.why, why, whySize);
        return S_OK;
    }

private:
    static void CopyCut(const std::string& text, char* out, int size)
    {
        if (!out || size <= 0)
            return;
        const size_t n = std::min(text.size(), size_t(size) - 1);
        std::memcpy(out, text.data(), n);
        out[n] = 0;
    }

    IUnknown& owner_;
    const MediaProblemList& list_;
};

}  // namespace

// ---- what both pins share --------------------------------------------------------

CTavmPin::~CTavmPin() = default;

HRESULT CTavmPin::CheckAllocation(int buffers, uint32_t bytes) const
{
    return buffers >= 1 && bytes >= BufferSize() ? S_OK : E_FAIL;
}

void CTavmPin::OnThreadCreate()
{
    std::lock_guard<std::mutex> hold(lock_);
    loop_->StartStreaming(start_);
}

StreamSegment CTavmPin::OnThreadStartPlay()
{
    std::lock_guard<std::mutex> hold(lock_);
    loop_->MarkDiscontinuity();
    return StreamSegment{start_, stop_, rate_};
}

void CTavmPin::OnThreadHalt() { loop_->Halt(); }

bool CTavmPin::ChangeStart(int64_t start)
{
    std::lock_guard<std::mutex> hold(lock_);
    start_ = start;
    loop_->Reposition(start);
    return true;
}

bool CTavmPin::ChangeStop(int64_t stop)
{
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = stop;
    loop_->SetStop(stop);
    return loop_->Position() >= stop;
}

HRESULT CTavmPin::ChangeRate(double rate, bool* restart)
{
    if (!(rate >= kSlowestRate))
        return E_INVALIDARG;
    std::lock_guard<std::mutex> hold(lock_);
    rate_ = rate;
    loop_->SetRate(rate);
    if (restart)
        *restart = true;
    return S_OK;
}

int64_t CTavmPin::Position() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return loop_->Position();
}

// ---- video pin -------------------------------------------------------------------

CTavmVideoPin::CTavmVideoPin(CTavmSource& filter) : CTavmPin(filter) { Replace(width_, height_); }

// The loop serves the producer: it goes first.
CTavmVideoPin::~CTavmVideoPin() { loop_.reset(); }

void CTavmVideoPin::Replace(int width, int height)
{
    auto renderer = std::make_unique<CTavmRenderer>(width, height);
    auto loop = std::make_unique<VideoFrameLoop>(*renderer);
    loop->SetEncoder(&filter_.encoder_, &filter_.lock_);
    loop->SetStop(stop_);
    loop->SetFullMotion(filter_.fullMotion_);
    renderer->SetMode(filter_.mode_);
    renderer->Gate().SetAbort(filter_.abort_);
    renderer->SetMediaProblems(&filter_.problems_);
    filter_.control_->AttachVideo(renderer.get());
    loop_ = std::move(loop);
    renderer_ = std::move(renderer);
    width_ = width;
    height_ = height;
    buffer_.assign(size_t(width) * size_t(height) * 3, 0);
}

HRESULT CTavmVideoPin::GetMediaType(int position, MediaType* type) const
{
    if (!type)
        return E_POINTER;
    if (position != 0)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> hold(lock_);
    *type = MediaType();
    type->majortype = MEDIATYPE_Video;
    type->subtype = MEDIASUBTYPE_RGB24;
    type->formattype = FORMAT_VideoInfo;
    BITMAPINFOHEADER& bmi = type->video.bmiHeader;
    bmi.biSize = 40;
    bmi.biWidth = width_;
    bmi.biHeight = height_;  // positive: bottom-up rows
    bmi.biPlanes = 1;
    bmi.biBitCount = 24;
    bmi.biCompression = 0;
    bmi.biSizeImage = ImageBytes(width_, height_);
    type->lSampleSize = bmi.biSizeImage;
    type->bTemporalCompression = false;
    return S_OK;
}

HRESULT CTavmVideoPin::CheckMediaType(const MediaType& type) const
{
    if (!SameGuid(type.majortype, MEDIATYPE_Video) || !SameGuid(type.subtype, MEDIASUBTYPE_RGB24) ||
        !SameGuid(type.formattype, FORMAT_VideoInfo))
        return E_INVALIDARG;
    std::lock_guard<std::mutex> hold(lock_);
    const BITMAPINFOHEADER& bmi = type.video.bmiHeader;
    if (bmi.biWidth != renderer_->Width() || bmi.biHeight != renderer_->Height())
        return E_INVALIDARG;
    return S_OK;
}

HRESULT CTavmVideoPin::SetMediaType(MediaType& type)
{
    const HRESULT hr = CheckMediaType(type);
    if (hr != S_OK)
        return hr;
    std::lock_guard<std::mutex> hold(lock_);
    if (filter_.mode_ == kEncodeMode)
        type.video.llAvgTimePerFrame = frameDuration_;
    try {
        Replace(type.video.bmiHeader.biWidth, type.video.bmiHeader.biHeight);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

uint32_t CTavmVideoPin::BufferSize() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return ImageBytes(width_, height_);
}

void CTavmVideoPin::OnThreadCreate()
{
    std::lock_guard<std::mutex> hold(lock_);
    loop_->StartStreaming(start_);
    frameDuration_ = Frames().FrameDuration();
}

VideoFrame CTavmVideoPin::FillBuffer()
{
    std::lock_guard<std::mutex> hold(lock_);
    return Frames().NextFrame(buffer_.data());
}

HRESULT CTavmVideoPin::Notify(long proportion)
{
    // A slow renderer must not change a movie's frame rate.
    if (filter_.mode_ == kEncodeMode)
        return E_FAIL;
    std::lock_guard<std::mutex> hold(lock_);
    int64_t duration = kLongestFrame;
    if (proportion > 0)
        duration = std::clamp<int64_t>(frameDuration_ * 1000 / proportion, kShortestFrame, kLongestFrame);
    frameDuration_ = duration;
    Frames().SetFrameDuration(duration);
    return S_OK;
}

int64_t CTavmVideoPin::FrameDuration() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return frameDuration_;
}

void CTavmVideoPin::SetSize(int width, int height)
{
    std::lock_guard<std::mutex> hold(lock_);
    width_ = width;
    height_ = height;
    buffer_.assign(size_t(width) * size_t(height) * 3, 0);
}

void CTavmVideoPin::SetFrameDuration(int64_t duration)
{
    std::lock_guard<std::mutex> hold(lock_);
    frameDuration_ = duration;
    Frames().SetFrameDuration(duration);
}

void CTavmVideoPin::SetFullMotion(bool on)
{
    std::lock_guard<std::mutex> hold(lock_);
    Frames().SetFullMotion(on);
}

// ---- audio pin -------------------------------------------------------------------

CTavmAudioPin::CTavmAudioPin(CTavmSource& filter) : CTavmPin(filter)
{
    buffer_.assign(kBufferBytes, 0);
    Replace(channels_);
}

// The loop serves the mixer: it goes first.
CTavmAudioPin::~CTavmAudioPin() { loop_.reset(); }

void CTavmAudioPin::Replace(int channels)
{
    auto mixer = std::make_unique<CTavmMixer>(channels);
    auto loop = std::make_unique<AudioBlockLoop>(*mixer);
    loop->SetEncoder(&filter_.encoder_, &filter_.lock_);
    loop->SetStop(stop_);
    mixer->SetMode(filter_.mode_);
    mixer->Gate().SetAbort(filter_.abort_);
    mixer->SetMediaProblems(&filter_.problems_);
    filter_.control_->AttachAudio(mixer.get());
    loop_ = std::move(loop);
    mixer_ = std::move(mixer);
    channels_ = channels;
}

HRESULT CTavmAudioPin::GetMediaType(int position, MediaType* type) const
{
    if (!type)
        return E_POINTER;
    if (position != 0)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> hold(lock_);
    *type = MediaType();
    type->majortype = MEDIATYPE_Audio;
    type->subtype = MEDIASUBTYPE_PCM;
    type->formattype = FORMAT_WaveFormatEx;
    PcmFormat& f = type->audio;
    f.wFormatTag = 1;
    f.nChannels = uint16_t(channels_);
    f.nSamplesPerSec = CTavmMixer::kSampleRate;
    f.nBlockAlign = uint16_t(2 * channels_);
    f.nAvgBytesPerSec = CTavmMixer::kSampleRate * f.nBlockAlign;
    f.wBitsPerSample = 16;
    type->lSampleSize = kBufferBytes;
    type->bTemporalCompression = false;
    return S_OK;
}

HRESULT CTavmAudioPin::CheckMediaType(const MediaType& type) const
{
    return SameGuid(type.majortype, MEDIATYPE_Audio) && SameGuid(type.formattype, FORMAT_WaveFormatEx)
               ? S_OK
               : E_INVALIDARG;
}

HRESULT CTavmAudioPin::SetMediaType(MediaType& type)
{
    const HRESULT hr = CheckMediaType(type);
    if (hr != S_OK)
        return hr;
    const int channels = type.audio.nChannels;
    if (channels < 1 || channels > kMaxChannels)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> hold(lock_);
    try {
        Replace(channels);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

AudioBlock CTavmAudioPin::FillBuffer()
{
    std::lock_guard<std::mutex> hold(lock_);
    return Blocks().NextBlock(buffer_.data(), int(buffer_.size()));
}

int64_t CTavmAudioPin::BlockDuration() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return Blocks().BlockDuration();
}

void CTavmAudioPin::SetChannels(int channels)
{
    std::lock_guard<std::mutex> hold(lock_);
    channels_ = channels;
}

// ---- filter ------------------------------------------------------------------------

CTavmSource* CTavmSource::Create()
{
    CTavmSource* source = new (std::nothrow) CTavmSource();
    if (!source)
        return nullptr;
    try {
        source->control_ = new SourceControl(*source);
        source->control_->AttachOutput(&source->encoder_);
        source->control_->AttachProblems(&source->problems_);
        source->problemsInterface_ = new SourceProblems(*source, source->problems_);
        source->video_ = std::make_unique<CTavmVideoPin>(*source);
        source->audio_ = std::make_unique<CTavmAudioPin>(*source);
        source->control_->AttachPins(source);
    } catch (const std::bad_alloc&) {
        // A half-built filter is released whole.
        delete source;
        return nullptr;
    }
    return source;
}

CTavmSource::CTavmSource() { ++g_live; }

long CTavmSource::LiveObjects() { return g_live.load(); }

CTavmSource::~CTavmSource()
{
    --g_live;
    if (control_) {
        control_->AttachVideo(nullptr);
        control_->AttachAudio(nullptr);
        control_->AttachPins(nullptr);
    }
    video_.reset();
    audio_.reset();
    delete static_cast<SourceControl*>(control_);
    delete static_cast<SourceProblems*>(problemsInterface_);
}

HRESULT CTavmSource::QueryInterface(const GUID& iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (SameGuid(iid, IID_ITavmControl)) {
        *object = static_cast<ITavmControl*>(control_);
    } else if (SameGuid(iid, IID_ITavmMediaProblems)) {
        *object = problemsInterface_;
    } else if (SameGuid(iid, IID_IUnknown)) {
        *object = static_cast<IUnknown*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG CTavmSource::AddRef() { return ++refs_; }

ULONG CTavmSource::Release()
{
    const ULONG left = --refs_;
    if (left == 0)
        delete this;
    return left;
}

void CTavmSource::SetStreamLength(int64_t length)
{
    video_->ChangeStop(length);
    audio_->ChangeStop(length);
}

void CTavmSource::SetVideoSize(int width, int height)
{
    if (width == video_->Width() && height == video_->Height())
        return;
    video_->SetSize(width, height);
    if (host_)
        host_->RenegotiateVideo();
}

void CTavmSource::SetFrameDuration(int64_t duration) { video_->SetFrameDuration(duration); }

void CTavmSource::SetAudioFormat(int channels, int, int) { audio_->SetChannels(channels); }

void CTavmSource::SetAbort(bool abort) { abort_ = abort; }

void CTavmSource::SetMode(int mode) { mode_ = mode; }

void CTavmSource::SetFullMotion(bool on)
{
    fullMotion_ = on;
    video_->SetFullMotion(on);
}

int64_t CTavmSource::GetPosition() { return video_->Position(); }

void CTavmSource::SetPosition(int64_t position)
{
    video_->ChangeStart(position);
    audio_->ChangeStart(position);
    if (host_)
        host_->RestartStreams();
}

}  // namespace zolvex
