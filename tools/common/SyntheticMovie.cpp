#include "tools/common/SyntheticMovie.h"

#include <cmath>

namespace zolvex {
namespace testpic {

namespace {
// The counter band is the top quarter; each bit owns a tenth of the width.
int BandHeight(int height) { return height / 4; }
}  // namespace

void MakeCounterFrame(unsigned char* rgb, int width, int height, int index)
{
    static const unsigned char kBars[8][3] = {{235, 235, 235}, {235, 235, 16}, {16, 235, 235}, {16, 235, 16},
                                              {235, 16, 235},  {235, 16, 16},  {16, 16, 235},  {16, 16, 16}};
    const int band = BandHeight(height);
    const int barWidth = width / 8 > 0 ? width / 8 : 1;
    for (int y = 0; y < height; ++y) {
        unsigned char* row = rgb + size_t(y) * width * 3;
        for (int x = 0; x < width; ++x) {
            unsigned char* p = row + x * 3;
            if (y < band) {
                const int bit = x * kCounterBits / width;
                const unsigned char v = ((index >> (kCounterBits - 1 - bit)) & 1) ? 235 : 16;
                p[0] = p[1] = p[2] = v;
            } else {
                const unsigned char* c = kBars[((x + index * 4) / barWidth) % 8];
                p[0] = c[0];
                p[1] = c[1];
                p[2] = c[2];
            }
        }
    }
}

int ReadCounter(const unsigned char* grey, int width, int height)
{
    const int y = BandHeight(height) / 2;
    int value = 0;
    for (int bit = 0; bit < kCounterBits; ++bit) {
        const int x = (2 * bit + 1) * width / (2 * kCounterBits);
        value = value * 2 + (grey[size_t(y) * width + x] > 128 ? 1 : 0);
    }
    return value;
}

std::vector<int16_t> MakeSine(int64_t first, int frames, int channels, int rate, double hz)
{
    std::vector<int16_t> out(size_t(frames) * channels);
    for (int i = 0; i < frames; ++i) {
        const double t = double(first + i) / rate;
        const int16_t v = static_cast<int16_t>(std::lround(12000.0 * std::sin(2.0 * M_PI * hz * t)));
        for (int c = 0; c < channels; ++c)
            out[size_t(i) * channels + c] = v;
    }
    return out;
}

}  // namespace testpic
}  // namespace zolvex
