#include "filter/encoder/AmrNbEncoder.h"

#include <cstdlib>

#include <opencore-amrnb/interf_enc.h>

namespace zolvex {
namespace encoder {

namespace {
// Bit rates of the eight speech modes, in the order of the library's mode numbers.
constexpr int kModeRates[] = {4750, 5150, 5900, 6700, 7400, 7950, 10200, 12200};
}  // namespace

AmrNbEncoder::AmrNbEncoder(int bitRate)
{
    int best = 0;
    for (int m = 1; m < 8; ++m)
        if (std::abs(kModeRates[m] - bitRate) < std::abs(kModeRates[best] - bitRate))
            best = m;
    mode_ = best;
    state_ = Encoder_Interface_init(0);
}

AmrNbEncoder::~AmrNbEncoder()
{
    if (state_)
        Encoder_Interface_exit(state_);
}

int AmrNbEncoder::BitRate() const { return kModeRates[mode_]; }

int AmrNbEncoder::Encode(const int16_t* samples, unsigned char* out)
{
    if (!state_)
        return -1;
    const int n = Encoder_Interface_Encode(state_, static_cast<Mode>(mode_), samples, out, 0);
    return n > 0 && n <= kMaxFrameBytes ? n : -1;
}

}  // namespace encoder
}  // namespace zolvex
