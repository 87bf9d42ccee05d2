#include "filter/timeline/stream/TavmControl.h"

#include <cmath>
#include <cstring>

#include "filter/encoder/CodecTable.h"
#include "filter/timeline/audio/TavmMixer.h"
#include "filter/timeline/model/TimelineTime.h"

namespace zolvex {
namespace {

bool ValidFrameSize(int width, int height)
{
    return width > 0 && height > 0 && width <= kMaxFrameSide && height <= kMaxFrameSide;
}

// A text that fits a 260-byte field with its terminator; null counts as empty.
bool FitsTextField(const char* text)
{
    return !text || std::strlen(text) < 260;
}

void CopyText(char (&field)[260], const char* text)
{
    std::memset(field, 0, sizeof field);
    if (text)
        std::memcpy(field, text, std::strlen(text));
}

}  // namespace

CTavmControl::CTavmControl() = default;
CTavmControl::~CTavmControl() = default;

HRESULT CTavmControl::QueryInterface(const GUID& iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_ITavmControl || iid == IID_IUnknown) {
        *object = static_cast<ITavmControl*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CTavmControl::AddRef()
{
    return ++refs_;
}

ULONG CTavmControl::Release()
{
    const ULONG left = --refs_;
    if (left == 0)
        delete this;
    return left;
}

HRESULT CTavmControl::SetTimeline(SceneList* scenes, SpanList* spans, ObjectList* objects, KindList* kinds,
                                  double dTransition, double dPictureTime)
{
    lists_.pScenes = scenes;
    lists_.pSpans = spans;
    lists_.pObjects = objects;
    lists_.pKinds = kinds;
    settings_.dTransition = dTransition;
    settings_.dPictureTime = dPictureTime;
    projectSeconds_ = ProjectLength(scenes, spans);
    streamLength_ = StreamLength(projectSeconds_);
    if (problems_)
        problems_->Clear();
    if (video_)
        video_->SetTimeline(lists_, dTransition);
    if (audio_)
        audio_->SetTimeline(lists_);
    if (pins_)
        pins_->SetStreamLength(streamLength_);
    return S_OK;
}

void CTavmControl::ApplyFrameSize(int width, int height)
{
    settings_.nOutputWidth = width;
    settings_.nOutputHeight = height;
    if (pins_)
        pins_->SetVideoSize(width, height);
    if (video_)
        video_->SetFrameSize(width, height);
}

HRESULT CTavmControl::SetOutputSize(int width, int height)
{
    if (!ValidFrameSize(width, height))
        return E_INVALIDARG;
    ApplyFrameSize(width, height);
    return S_OK;
}

HRESULT CTavmControl::SetSrcVideoSize(int width, int height)
{
    if (!ValidFrameSize(width, height))
        return E_INVALIDARG;
    settings_.nSrcWidth = width;
    settings_.nSrcHeight = height;
    if (video_)
        video_->SetSrcVideoSize(width, height);
    return S_OK;
}

HRESULT CTavmControl::SetDisplayAspect(int numerator, int denominator)
{
    if (numerator <= 0 || denominator <= 0)
        return E_INVALIDARG;
    settings_.nAspectNumerator = numerator;
    settings_.nAspectDenominator = denominator;
    if (video_)
        video_->SetDisplayAspect(numerator, denominator);
    return S_OK;
}

HRESULT CTavmControl::SetMusicVolume(int percent)
{
    if (percent < 0 || percent > 100)
        return E_INVALIDARG;
    settings_.nMusicVolume = percent;
    if (audio_)
        audio_->SetMusicVolume(percent);
    return S_OK;
}

HRESULT CTavmControl::SetOutputFormat(int frameRate, int width, int height, int videoCodec, int videoBitRate,
                                      int audioCodec, int audioBitRate, int channels, int sampleRate, int quality,
                                      const char* path, const char* preset, int aspectNumerator,
                                      int aspectDenominator)
{
    // A request that cannot be kept whole changes nothing: a path cut short would
    // write the movie somewhere the user did not ask for.
    if (frameRate <= 0 || !ValidFrameSize(width, height) || channels < 1 || channels > kMaxChannels ||
        !FitsTextField(path) ||
        !FitsTextField(preset))
        return E_INVALIDARG;
    format_.nFrameRate = frameRate;
    format_.nWidth = width;
    format_.nHeight = height;
    format_.nVideoCodec = videoCodec;
    format_.nVideoBitRate = videoBitRate;
    format_.nAudioCodec = audioCodec;
    format_.nAudioBitRate = audioBitRate;
    format_.nChannels = channels;
    format_.nSampleRate = sampleRate;
    format_.nQuality = quality;
    CopyText(format_.szPath, path);
    CopyText(format_.szPreset, preset);
    format_.nAspectNumerator = aspectNumerator;
    format_.nAspectDenominator = aspectDenominator;

    // The pictures are made at the rate the movie plays them, or the sound, made by
    // the timeline's clock, would drift away from them (by 3 % at NTSC's 29.97).
    const encoder::FrameTime frame = encoder::FrameTimeOf(frameRate, videoCodec);
    settings_.llFrameDuration = kUnitsPerSecond * frame.num / frame.den;
    if (pins_) {
        pins_->SetFrameDuration(settings_.llFrameDuration);
        pins_->SetAudioFormat(channels, CTavmMixer::kSampleRate, 16);
    }
    if (audio_)
        audio_->SetChannels(channels);
    ApplyFrameSize(width, height);
    return S_OK;
}

HRESULT CTavmControl::SetAbort(int flag)
{
    settings_.bAbort = flag != 0;
    if (pins_)
        pins_->SetAbort(settings_.bAbort);
    if (video_)
        video_->Gate().SetAbort(settings_.bAbort);
    if (audio_)
        audio_->Gate().SetAbort(settings_.bAbort);
    return S_OK;
}

HRESULT CTavmControl::IsIdle(int* idle)
{
    if (!idle)
        return E_POINTER;
    const bool busy = (video_ && video_->Gate().IsBusy()) || (audio_ && audio_->Gate().IsBusy());
    *idle = busy ? 0 : 1;
    return S_OK;
}

HRESULT CTavmControl::SetAnimationLibrary(CTavmArray<void*>* entries, CTavmArray<void*>* tags)
{
    sides_.pAnimationEntries = entries;
    sides_.pAnimationTags = tags;
    if (video_)
        video_->SetSideLists(sides_);
    return S_OK;
}

HRESULT CTavmControl::SetScreenMasks(CTavmArray<void*>* masks, CTavmArray<tagSIZE>* sizes)
{
    sides_.pMasks = masks;
    sides_.pMaskSizes = sizes;
    if (video_)
        video_->SetSideLists(sides_);
    return S_OK;
}

HRESULT CTavmControl::SetPictureList(PictureList* pictures)
{
    sides_.pPictures = pictures;
    if (video_)
        video_->SetSideLists(sides_);
    return S_OK;
}

HRESULT CTavmControl::SetMode(int mode)
{
    if (mode != kPreviewMode && mode != kEncodeMode)
        return E_INVALIDARG;
    // A movie file that cannot be opened leaves the encoder inert; the graph still
    // runs in encode mode so that the studio's save ends as always, and the failure
    // is reported here and through GetOutputError.
    format_.bFullMotion = settings_.bFullMotion;
    const bool opened = !(mode == kEncodeMode && output_ && !output_->OpenMovie(format_));
    settings_.nMode = mode;
    if (video_)
        video_->SetMode(mode);
    if (audio_)
        audio_->SetMode(mode);
    if (pins_)
        pins_->SetMode(mode);
    return opened ? S_OK : E_FAIL;
}

HRESULT CTavmControl::SetFrameRate(double fps)
{
    // Below a thousandth of a frame per second the frame duration no longer fits.
    if (!(fps >= 1e-3) || !std::isfinite(fps))
        return E_INVALIDARG;
    // Encoding renders only every second or third frame at higher rates, so the
    // animations step at the rate of the pictures actually rendered.
    int divisor = 1;
    if (settings_.nMode == kEncodeMode && !settings_.bFullMotion)
        divisor = fps > 20 ? 3 : (fps > 10 ? 2 : 1);
    settings_.llFrameDuration = static_cast<int64_t>(double(kUnitsPerSecond) / fps);
    settings_.nAniFrameRate = static_cast<int32_t>(std::min(fps / divisor, 1.0e6));
    if (pins_)
        pins_->SetFrameDuration(settings_.llFrameDuration);
    if (video_)
        video_->SetAniFrameRate(settings_.nAniFrameRate);
    return S_OK;
}

HRESULT CTavmControl::GetDuration(int64_t* duration)
{
    if (!duration)
        return E_POINTER;
    *duration = streamLength_;
    return S_OK;
}

HRESULT CTavmControl::GetPosition(int64_t* position)
{
    if (!position)
        return E_POINTER;
    *position = pins_ ? pins_->GetPosition() : position_;
    return S_OK;
}

HRESULT CTavmControl::SetPosition(int64_t position)
{
    position_ = position;
    if (pins_)
        pins_->SetPosition(position);
    return S_OK;
}

HRESULT CTavmControl::GetProgress(float* percent)
{
    if (!percent)
        return E_POINTER;
    int64_t position = 0;
    GetPosition(&position);
    // The last tenth of a second counts as done, so that the studio's wait for
    // exactly 100 ends even when the final frame lands just short of the end.
    if (streamLength_ - position > 999999) {
        const double done = (double(position) / 10000.0) / (double(streamLength_) / 10000.0) * 100.0;
        *percent = static_cast<float>(std::max(done, 0.0));
    } else {
        *percent = 100.0f;
    }
    return S_OK;
}

HRESULT CTavmControl::FinishOutput()
{
    if (output_)
        output_->FinishMovie();
    return S_OK;
}

HRESULT CTavmControl::GetOutputError(char* text, int size)
{
    if (!text)
        return E_POINTER;
    if (size < 1)
        return E_INVALIDARG;
    const std::string error = output_ ? output_->OutputError() : std::string();
    const size_t n = std::min(error.size(), size_t(size - 1));
    std::memcpy(text, error.data(), n);
    text[n] = '\0';
    return S_OK;
}

HRESULT CTavmControl::SetFullMotion(int on)
{
    if (on != 0 && on != 1)
        return E_INVALIDARG;
    settings_.bFullMotion = on == 1;
    if (pins_)
        pins_->SetFullMotion(settings_.bFullMotion);
    return S_OK;
}

}  // namespace zolvex
