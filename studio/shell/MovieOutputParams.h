// How the Save Movie choices become the movie's output parameters: the output kind
// and profile, the frame size, rate, codecs, bit rates, quality, channels and sample
// rate, and the file's extension. The per-kind tables of sizes, rates and bit rates
// are the choices the page lists, in their order.
#pragma once

#include <string>
#include <vector>

namespace zolvex {
namespace studio {

enum MovieKind { kMovieDisc = 0, kMovieAvi = 1, kMovie3gp = 2, kMovieSwf = 3, kMovieMp4 = 4 };
enum DiscProfile { kDvdNtsc = 0, kDvdPal, kSvcdNtsc, kSvcdPal, kVcdNtsc, kVcdPal };

// What the page's controls hold (indices into the kind's lists).
struct MovieChoices {
    MovieKind kind = kMovieDisc;
    DiscProfile profile = kDvdPal;  // disc formats only
    int frameSize = -1;             // -1: the profile's (disc) or the kind's default
    int frameRate = -1;
    int videoCodec = 0;             // disc: 0 MPEG-1, 1 MPEG-2
    int quality = 5;                // 0 coarsest .. 10 finest (not for disc formats)
    int audioCodec = 0;
    int audioBitRate = -1;
    int channels = 1;               // 0 mono, 1 stereo
    int sampleRate = -1;
    bool fullMotion = false;        // every frame rendered (always for MP4)
    std::string movieName;
    std::string folder;             // with or without a final "/"
};

struct MovieOutputParams {
    int nAudioBitRate = 0;
    int nVideoCodec = 0;
    int nChannels = 2;
    int nSampleRate = 44100;
    int nFrameRate = 25;
    int nWidth = 720, nHeight = 576;
    int nAudioCodec = 0;
    int nVideoBitRate = 0;
    int nQuality = -1;
    bool bFullMotion = false;  // every frame rendered, animations at the full rate
    std::string szFormatName;  // "DVD_PAL", "AVI", "3GP", "SWF", "MP4", …
    std::string szFilePath;    // folder + movie name + extension
};

// One entry of a kind's lists, as shown and as the number it stands for.
struct ChoiceEntry {
    std::string label;
    int width = 0, height = 0;  // frame sizes
    int value = 0;              // rates, bit rates
};

// The lists the page offers for a kind (and, for discs, a profile).
std::vector<ChoiceEntry> FrameSizes(MovieKind kind);
std::vector<ChoiceEntry> FrameRates(MovieKind kind);
std::vector<ChoiceEntry> AudioBitRates(MovieKind kind, DiscProfile profile = kDvdPal);
std::vector<ChoiceEntry> SampleRates(MovieKind kind, DiscProfile profile = kDvdPal);

// The frame size and rate entries a disc profile selects.
int ProfileFrameSize(DiscProfile profile);
int ProfileFrameRate(DiscProfile profile);

// The parameters for the choices; false (with *error) for a choice outside its list.
bool FillMovieParams(const MovieChoices& choices, MovieOutputParams& params, std::string* error = nullptr);

// The encoder's fixed quality, 0 (finest) to 255 (coarsest), for a quality choice
// from 0 (coarsest) to 10 (finest). MP4's H.264 takes it as the constant rate
// factor 33 − 2 × choice.
int EncoderQuality(int choice);

// The extension of a kind, with its dot.
const char* MovieExtension(MovieKind kind);
// "DVD_PAL" … "MP4" to the kind and profile; false for an unknown name.
bool ParseFormatName(const std::string& name, MovieKind& kind, DiscProfile& profile);

}  // namespace studio
}  // namespace zolvex
