#include "studio/recording/RecordingFormats.h"

#include <cstdio>

namespace zolvex {
namespace studio {

const char* const kNoFormatAvailable = "None Available";

WAVEFORMATEX PcmFormat(uint32_t samplesPerSecond, uint16_t channels, uint16_t bits)
{
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = samplesPerSecond;
    f.wBitsPerSample = bits;
    f.nBlockAlign = uint16_t(channels * bits / 8);
    f.nAvgBytesPerSec = samplesPerSecond * f.nBlockAlign;
    f.cbSize = 0;
    return f;
}

const std::vector<RecordingFormat>& RecordingFormats()
{
    static const std::vector<RecordingFormat> formats = [] {
        struct Entry {
            const char* rate;
            uint32_t hz;
            uint32_t bits[4];  // mono 8, mono 16, stereo 8, stereo 16
        };
        const Entry entries[3] = {{"11.025 kHz", 11025, {0x1, 0x4, 0x2, 0x8}},
                                  {"22.05 kHz", 22050, {0x10, 0x40, 0x20, 0x80}},
                                  {"44.1 kHz", 44100, {0x100, 0x400, 0x200, 0x800}}};
        std::vector<RecordingFormat> list;
        for (const Entry& e : entries)
            for (int k = 0; k < 4; ++k) {
                const uint16_t channels = k < 2 ? 1 : 2, bits = k % 2 == 0 ? 8 : 16;
                char name[64];
                std::snprintf(name, sizeof name, "%s, %s, %d-bit", e.rate, channels == 1 ? "mono" : "stereo", bits);
                list.push_back(RecordingFormat{name, e.bits[k], PcmFormat(e.hz, channels, bits)});
            }
        return list;
    }();
    return formats;
}

std::vector<RecordingFormat> OfferedFormats(const std::vector<CapsRange>& device)
{
    std::vector<RecordingFormat> offered;
    for (const RecordingFormat& f : RecordingFormats()) {
        const int rate = int(f.format.nSamplesPerSec), channels = f.format.nChannels;
        const bool wide = f.format.wBitsPerSample == 16;
        for (const CapsRange& r : device) {
            if (rate >= r.minRate && rate <= r.maxRate && channels >= r.minChannels && channels <= r.maxChannels &&
                (wide ? r.s16 : r.u8)) {
                offered.push_back(f);
                break;
            }
        }
    }
    return offered;
}

std::vector<std::string> FormatDetails(const WAVEFORMATEX& f)
{
    char hz[32], bits[32], rate[48];
    std::snprintf(hz, sizeof hz, "%d Hz", int(f.nSamplesPerSec));
    std::snprintf(bits, sizeof bits, "%d Bit", int(f.wBitsPerSample));
    std::snprintf(rate, sizeof rate, "%d Bytes/sec", int(f.nAvgBytesPerSec));
    return {hz, bits, rate, f.nChannels == 1 ? "Mono" : "Stereo"};
}

}  // namespace studio
}  // namespace zolvex
