// The recording formats the recorder offers: twelve PCM formats in a fixed order,
// each offered only when the input device can deliver it, and the texts that
// describe the chosen one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/wintypes.h"

namespace zolvex {
namespace studio {

struct RecordingFormat {
    std::string name;     // "11.025 kHz, mono, 8-bit" …
    uint32_t capability;  // the device capability bit of the format
    WAVEFORMATEX format;
};

// The list shown when a device can deliver none of the formats.
extern const char* const kNoFormatAvailable;  // "None Available"

// PCM: block align = channels × bits ÷ 8; bytes per second = rate × block align.
WAVEFORMATEX PcmFormat(uint32_t samplesPerSecond, uint16_t channels, uint16_t bits);
// All twelve, in the order they are offered.
const std::vector<RecordingFormat>& RecordingFormats();

// What a device can deliver: one range per kind of raw sound it offers.
struct CapsRange {
    int minRate = 0, maxRate = 0;
    int minChannels = 0, maxChannels = 0;
    bool u8 = false, s16 = false;  // unsigned 8-bit, signed 16-bit little-endian
};
// The formats some range of the device covers, in their order.
std::vector<RecordingFormat> OfferedFormats(const std::vector<CapsRange>& device);

// "%d Hz", "%d Bit", "%d Bytes/sec", and "Mono" or "Stereo".
std::vector<std::string> FormatDetails(const WAVEFORMATEX& format);

}  // namespace studio
}  // namespace zolvex
