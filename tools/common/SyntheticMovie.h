// Frames and sound for feeding the movie encoder: moving colour bars under a band of
// ten black-or-white blocks that spell the frame's number in binary, big enough to
// survive any codec, and a sine tone.
#pragma once

#include <cstdint>
#include <vector>

namespace zolvex {
namespace testpic {

constexpr int kCounterBits = 10;

// A w × h frame, red-green-blue, top row first, rows without padding, showing `index`.
void MakeCounterFrame(unsigned char* rgb, int width, int height, int index);

// The number a decoded counter frame shows, from its grey levels (one byte per
// pixel, top row first, any size).
int ReadCounter(const unsigned char* grey, int width, int height);

// `frames` sample frames of a sine at `hz`, 16-bit interleaved, starting at sample
// `first`; every channel carries the same tone.
std::vector<int16_t> MakeSine(int64_t first, int frames, int channels, int rate, double hz);

}  // namespace testpic
}  // namespace zolvex
