// The Save Movie choices as output parameters. Every list the page offers lives in
// one table per kind; the parameters are looked up from it and nothing else.
#include "studio/shell/MovieOutputParams.h"

#include <cstdio>

#include "filter/encoder/CodecTable.h"

namespace zolvex {
namespace studio {

namespace {

using namespace encoder;

// The encoder keeps the path in a 260-byte field.
constexpr size_t kMaxPath = 259;

struct Size {
    int width, height;
};

// Disc sizes: the profiles' own sizes are entries 9 to 14.
const Size kDiscSizes[] = {{128, 96},  {160, 120}, {176, 120}, {176, 144}, {320, 240},
                           {352, 480}, {352, 576}, {640, 480}, {704, 576}, {352, 240},
                           {352, 288}, {480, 480}, {480, 576}, {720, 480}, {720, 576}};
const Size kAviSizes[] = {{176, 144}, {320, 240}, {352, 288}, {640, 480}, {720, 480}, {720, 576}};
const Size k3gpSizes[] = {{128, 96}, {176, 144}, {352, 288}};  // the sizes H.263 takes
const Size kSwfSizes[] = {{320, 240}, {640, 480}};
// The project sizes, the wide PAL size, and 720p and 1080p.
const Size kMp4Sizes[] = {{640, 480}, {720, 480}, {720, 576}, {1024, 576}, {1280, 720}, {1920, 1080}};

// 29 stands for 29.97 on discs: the encoder gives MPEG video at 29 the 30000/1001
// time base. Elsewhere 29 is 29.
const int kDiscRates[] = {24, 30, 25, 29};
const int kAviRates[] = {15, 25, 29, 30};
const int k3gpRates[] = {15};
const int kSwfRates[] = {15, 25};
// 23 and 29 stand for 23.976 and 29.97, as the encoder times H.264 at them.
const int kMp4Rates[] = {23, 24, 25, 29, 30, 50, 60};

const int kDvdAudioRates[] = {192000, 224000};
const int kCdAudioRates[] = {224000};
const int kAviAudioRates[] = {64000, 96000, 128000, 160000, 192000, 224000, 256000, 320000};
const int k3gpAudioRates[] = {4750, 5150, 5900, 6700, 7400, 7950, 10200, 12200};
const int kSwfAudioRates[] = {32000, 48000, 64000, 96000, 128000};
const int kMp4AudioRates[] = {128000, 160000, 192000, 224000, 256000};

const int kDvdSampleRates[] = {48000};
const int kCdSampleRates[] = {44100};
const int kAviSampleRates[] = {22050, 44100, 48000};
const int k3gpSampleRates[] = {8000};
const int kSwfSampleRates[] = {11025, 22050, 44100};
const int kMp4SampleRates[] = {44100, 48000};

struct ProfileRow {
    const char* name;
    int frameSize, frameRate;
    int videoBitRate;
    int audioCodec;
};

const ProfileRow kProfiles[] = {
    {"DVD_NTSC", 13, 3, 6000000, kCodecAc3},  {"DVD_PAL", 14, 2, 6000000, kCodecAc3},
    {"SVCD_NTSC", 11, 3, 2040000, kCodecMp2}, {"SVCD_PAL", 12, 2, 2040000, kCodecMp2},
    {"VCD_NTSC", 9, 3, 1150000, kCodecMp2},   {"VCD_PAL", 10, 2, 1150000, kCodecMp2},
};

// 3GP codec choices: H.263 or MPEG-4 part 2.
const int k3gpVideoCodecs[] = {kCodecH263, kCodecMpeg4, kCodecH263, kCodecMpeg4, kCodecH263, kCodecH263};

template <class T, size_t N>
constexpr int CountOf(const T (&)[N])
{
    return int(N);
}

bool ValidKind(MovieKind kind) { return kind >= kMovieDisc && kind <= kMovieMp4; }
bool ValidProfile(DiscProfile profile) { return profile >= kDvdNtsc && profile <= kVcdPal; }
bool IsDvd(DiscProfile profile) { return profile == kDvdNtsc || profile == kDvdPal; }

std::vector<ChoiceEntry> SizeEntries(const Size* sizes, int n)
{
    std::vector<ChoiceEntry> list;
    for (int i = 0; i < n; ++i) {
        char label[32];
        std::snprintf(label, sizeof label, "%d x %d", sizes[i].width, sizes[i].height);
        list.push_back(ChoiceEntry{label, sizes[i].width, sizes[i].height, 0});
    }
    return list;
}

// `fractional`: 29 (and 23) stand for NTSC's 29.97 (and film's 23.976).
std::vector<ChoiceEntry> RateEntries(const int* rates, int n, bool fractional)
{
    std::vector<ChoiceEntry> list;
    for (int i = 0; i < n; ++i) {
        char label[32];
        if (fractional && rates[i] == 29)
            std::snprintf(label, sizeof label, "29.97fps");
        else if (fractional && rates[i] == 23)
            std::snprintf(label, sizeof label, "23.976fps");
        else
            std::snprintf(label, sizeof label, "%d fps", rates[i]);
        list.push_back(ChoiceEntry{label, 0, 0, rates[i]});
    }
    return list;
}

std::vector<ChoiceEntry> ValueEntries(const int* values, int n, const char* format, double unit)
{
    std::vector<ChoiceEntry> list;
    for (int i = 0; i < n; ++i) {
        char label[32];
        if (unit == 1)
            std::snprintf(label, sizeof label, format, values[i]);
        else
            std::snprintf(label, sizeof label, format, values[i] / unit);
        list.push_back(ChoiceEntry{label, 0, 0, values[i]});
    }
    return list;
}

// The kind's default entry of a list, for a choice of −1.
int DefaultFrameSize(MovieKind kind, DiscProfile profile)
{
    switch (kind) {
    case kMovieDisc: return ProfileFrameSize(profile);
    case kMovieAvi: return 3;  // 640 x 480
    case kMovie3gp: return 1;  // 176 x 144
    case kMovieSwf: return 0;  // 320 x 240
    case kMovieMp4: return 4;  // 1280 x 720
    }
    return -1;
}

int DefaultFrameRate(MovieKind kind, DiscProfile profile)
{
    switch (kind) {
    case kMovieDisc: return ProfileFrameRate(profile);
    case kMovieAvi: return 1;  // 25 fps
    case kMovie3gp: return 0;  // 15 fps
    case kMovieSwf: return 0;  // 15 fps
    case kMovieMp4: return 2;  // 25 fps
    }
    return -1;
}

int DefaultAudioBitRate(MovieKind kind, DiscProfile profile)
{
    switch (kind) {
    case kMovieDisc: return IsDvd(profile) ? 1 : 0;  // 224 kbps
    case kMovieAvi: return 2;                        // 128 kbps
    case kMovie3gp: return 7;                        // 12.2 kbps
    case kMovieSwf: return 2;                        // 64 kbps
    case kMovieMp4: return 2;                        // 192 kbps
    }
    return -1;
}

int DefaultSampleRate(MovieKind kind)
{
    switch (kind) {
    case kMovieDisc: return 0;
    case kMovieAvi: return 1;  // 44100 Hz
    case kMovie3gp: return 0;  // 8000 Hz
    case kMovieSwf: return 2;  // 44100 Hz
    case kMovieMp4: return 1;  // 48000 Hz
    }
    return -1;
}

// The entry a choice names: the default for −1; false with a message when the
// list has no such entry.
bool Pick(const std::vector<ChoiceEntry>& list, int choice, int fallback, const char* what, ChoiceEntry& entry,
          std::string* error)
{
    const int index = choice == -1 ? fallback : choice;
    if (index < 0 || index >= int(list.size())) {
        if (error)
            *error = std::string("The ") + what + " choice " + std::to_string(choice) + " is not one of the " +
                     std::to_string(list.size()) + " offered.";
        return false;
    }
    entry = list[size_t(index)];
    return true;
}

bool Refuse(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

}  // namespace

std::vector<ChoiceEntry> FrameSizes(MovieKind kind)
{
    switch (kind) {
    case kMovieDisc: return SizeEntries(kDiscSizes, CountOf(kDiscSizes));
    case kMovieAvi: return SizeEntries(kAviSizes, CountOf(kAviSizes));
    case kMovie3gp: return SizeEntries(k3gpSizes, CountOf(k3gpSizes));
    case kMovieSwf: return SizeEntries(kSwfSizes, CountOf(kSwfSizes));
    case kMovieMp4: return SizeEntries(kMp4Sizes, CountOf(kMp4Sizes));
    }
    return {};
}

std::vector<ChoiceEntry> FrameRates(MovieKind kind)
{
    switch (kind) {
    case kMovieDisc: return RateEntries(kDiscRates, CountOf(kDiscRates), true);
    case kMovieAvi: return RateEntries(kAviRates, CountOf(kAviRates), false);
    case kMovie3gp: return RateEntries(k3gpRates, CountOf(k3gpRates), false);
    case kMovieSwf: return RateEntries(kSwfRates, CountOf(kSwfRates), false);
    case kMovieMp4: return RateEntries(kMp4Rates, CountOf(kMp4Rates), true);
    }
    return {};
}

std::vector<ChoiceEntry> AudioBitRates(MovieKind kind, DiscProfile profile)
{
    const char* format = "%.1f kbps";
    switch (kind) {
    case kMovieDisc:
        if (!ValidProfile(profile))
            return {};
        return IsDvd(profile) ? ValueEntries(kDvdAudioRates, CountOf(kDvdAudioRates), format, 1000)
                              : ValueEntries(kCdAudioRates, CountOf(kCdAudioRates), format, 1000);
    case kMovieAvi: return ValueEntries(kAviAudioRates, CountOf(kAviAudioRates), format, 1000);
    case kMovie3gp: return ValueEntries(k3gpAudioRates, CountOf(k3gpAudioRates), format, 1000);
    case kMovieSwf: return ValueEntries(kSwfAudioRates, CountOf(kSwfAudioRates), format, 1000);
    case kMovieMp4: return ValueEntries(kMp4AudioRates, CountOf(kMp4AudioRates), format, 1000);
    }
    return {};
}

std::vector<ChoiceEntry> SampleRates(MovieKind kind, DiscProfile profile)
{
    const char* format = "%d Hz";
    switch (kind) {
    case kMovieDisc:
        if (!ValidProfile(profile))
            return {};
        return IsDvd(profile) ? ValueEntries(kDvdSampleRates, CountOf(kDvdSampleRates), format, 1)
                              : ValueEntries(kCdSampleRates, CountOf(kCdSampleRates), format, 1);
    case kMovieAvi: return ValueEntries(kAviSampleRates, CountOf(kAviSampleRates), format, 1);
    case kMovie3gp: return ValueEntries(k3gpSampleRates, CountOf(k3gpSampleRates), format, 1);
    case kMovieSwf: return ValueEntries(kSwfSampleRates, CountOf(kSwfSampleRates), format, 1);
    case kMovieMp4: return ValueEntries(kMp4SampleRates, CountOf(kMp4SampleRates), format, 1);
    }
    return {};
}

int ProfileFrameSize(DiscProfile profile) { return ValidProfile(profile) ? kProfiles[profile].frameSize : -1; }

int ProfileFrameRate(DiscProfile profile) { return ValidProfile(profile) ? kProfiles[profile].frameRate : -1; }

const char* MovieExtension(MovieKind kind)
{
    switch (kind) {
    case kMovieDisc: return ".mpg";
    case kMovieAvi: return ".avi";
    case kMovie3gp: return ".3gp";
    case kMovieSwf: return ".swf";
    case kMovieMp4: return ".mp4";
    }
    return "";
}

bool ParseFormatName(const std::string& name, MovieKind& kind, DiscProfile& profile)
{
    for (int p = kDvdNtsc; p <= kVcdPal; ++p) {
        if (name == kProfiles[p].name) {
            kind = kMovieDisc;
            profile = DiscProfile(p);
            return true;
        }
    }
    static const struct {
        const char* name;
        MovieKind kind;
    } kOthers[] = {{"AVI", kMovieAvi}, {"3GP", kMovie3gp}, {"SWF", kMovieSwf}, {"MP4", kMovieMp4}};
    for (const auto& other : kOthers) {
        if (name == other.name) {
            kind = other.kind;
            return true;
        }
    }
    return false;
}

int EncoderQuality(int choice) { return (10 - choice) * 255 / 10; }

bool FillMovieParams(const MovieChoices& c, MovieOutputParams& params, std::string* error)
{
    if (!ValidKind(c.kind))
        return Refuse(error, "Unknown output kind " + std::to_string(int(c.kind)) + ".");
    const bool disc = c.kind == kMovieDisc;
    if (disc && !ValidProfile(c.profile))
        return Refuse(error, "Unknown disc profile " + std::to_string(int(c.profile)) + ".");
    if (c.movieName.empty())
        return Refuse(error, "The movie has no name.");
    if (c.movieName.find('/') != std::string::npos)
        return Refuse(error, "The movie name \"" + c.movieName + "\" holds a \"/\".");

    MovieOutputParams p;
    ChoiceEntry size, rate, audioRate, sampleRate;
    if (!Pick(FrameSizes(c.kind), c.frameSize, DefaultFrameSize(c.kind, c.profile), "frame size", size, error) ||
        !Pick(FrameRates(c.kind), c.frameRate, DefaultFrameRate(c.kind, c.profile), "frame rate", rate, error) ||
        !Pick(AudioBitRates(c.kind, c.profile), c.audioBitRate, DefaultAudioBitRate(c.kind, c.profile),
              "audio bit rate", audioRate, error) ||
        !Pick(SampleRates(c.kind, c.profile), c.sampleRate, DefaultSampleRate(c.kind), "sample rate", sampleRate,
              error))
        return false;
    p.nWidth = size.width;
    p.nHeight = size.height;
    p.nFrameRate = rate.value;
    p.nAudioBitRate = audioRate.value;
    p.nSampleRate = sampleRate.value;

    // AMR narrow band is mono only, MP4's sound stereo only; −1 takes the kind's
    // channel count.
    const int fewest = c.kind == kMovieMp4 ? 1 : 0, most = c.kind == kMovie3gp ? 0 : 1;
    const int channels = c.channels == -1 ? most : c.channels;
    if (channels < fewest || channels > most)
        return Refuse(error, "The channel choice " + std::to_string(c.channels) + " is not offered for " +
                                 (c.kind == kMovie3gp ? "3GP" : c.kind == kMovieMp4 ? "MP4" : "this kind") +
                                 " movies.");
    p.nChannels = channels + 1;

    // Each kind offers one sound codec.
    if (c.audioCodec != 0)
        return Refuse(error, "The audio codec choice " + std::to_string(c.audioCodec) + " is not offered.");
    const int videoCodecChoices = disc ? 2 : c.kind == kMovie3gp ? CountOf(k3gpVideoCodecs) : 1;
    if (c.videoCodec < 0 || c.videoCodec >= videoCodecChoices)
        return Refuse(error, "The video codec choice " + std::to_string(c.videoCodec) + " is not offered.");
    if (!disc && (c.quality < 0 || c.quality > 10))
        return Refuse(error, "The quality choice " + std::to_string(c.quality) + " is outside 0 to 10.");
    const int quality = disc ? -1 : EncoderQuality(c.quality);

    switch (c.kind) {
    case kMovieDisc: {
        const ProfileRow& row = kProfiles[c.profile];
        p.nVideoCodec = c.videoCodec == 1 ? kCodecMpeg2Video : kCodecMpeg1Video;
        p.nVideoBitRate = row.videoBitRate;
        p.szFormatName = row.name;
        p.nQuality = -1;
        p.nAudioCodec = row.audioCodec;
        break;
    }
    case kMovieAvi:
        p.nVideoCodec = kCodecMpeg4;
        p.nVideoBitRate = 0;  // a fixed quantiser drives it
        p.szFormatName = "AVI";
        p.nQuality = quality;
        p.nAudioCodec = kCodecMp3;
        break;
    case kMovie3gp:
        p.nVideoCodec = k3gpVideoCodecs[c.videoCodec];
        p.nVideoBitRate = 160000;
        p.szFormatName = "3GP";
        p.nQuality = quality;
        p.nAudioCodec = kCodecAmrNb;
        break;
    case kMovieSwf:
        p.nVideoCodec = kCodecFlv1;
        p.nVideoBitRate = 0;
        p.szFormatName = "SWF";
        p.nQuality = quality;
        p.nAudioCodec = kCodecMp3;
        break;
    case kMovieMp4:
        p.nVideoCodec = kCodecH264;
        p.nVideoBitRate = 0;  // constant quality
        p.szFormatName = "MP4";
        p.nQuality = quality;
        p.nAudioCodec = kCodecAac;
        break;
    }
    // Today's players show every frame they are given: MP4 movies always move at
    // their full rate.
    p.bFullMotion = c.fullMotion || c.kind == kMovieMp4;

    std::string path = c.folder;
    if (!path.empty() && path.back() != '/')
        path += '/';
    path += c.movieName + MovieExtension(c.kind);
    if (path.size() > kMaxPath)
        return Refuse(error, "The movie path \"" + path + "\" is longer than " + std::to_string(kMaxPath) +
                                 " bytes.");
    p.szFilePath = path;
    params = p;
    return true;
}

}  // namespace studio
}  // namespace zolvex
