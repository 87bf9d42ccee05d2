// Deterministic pictures made from integer formulas, for tests, benchmarks and the
// gallery: the same bytes on every machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zolvex {
namespace testpic {

// A w × h frame (bottom-up, blue-green-red(-alpha), no padding) with gradients, a
// checkerboard, flat colour bars and rings. With bpp 4 the alpha byte varies and
// includes fully opaque and fully transparent patches.
std::vector<unsigned char> MakeTestPicture(int width, int height, int bpp);

// A second, different frame for two-picture work (transitions): diagonal stripes,
// a radial gradient and a white frame line, with its own alpha pattern.
std::vector<unsigned char> MakeSecondPicture(int width, int height, int bpp);

// A frame of one colour.
std::vector<unsigned char> MakeUniform(int width, int height, int bpp, uint8_t b, uint8_t g, uint8_t r,
                                       uint8_t a = 255);

// CRC-32 (IEEE 802.3), as zip and PNG use it.
uint32_t Crc32(const unsigned char* data, size_t size);

}  // namespace testpic
}  // namespace zolvex
