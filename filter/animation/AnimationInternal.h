// Helpers shared by the record code and the ".arf" reader and writer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "filter/animation/AnimationRecords.h"

namespace zolvex {
namespace arf {

// No sprite is this large (8192 × 8192 pixels); a frame size beyond it is damage.
constexpr uint64_t kMaxFrameBytes = uint64_t(256) << 20;

// Plain comparison of a record's 20-byte version text.
bool IsVersion(const void* record, const char* version);
// Pixel bytes of a width × height frame; false for a negative side or a frame
// beyond kMaxFrameBytes.
bool FrameBytes(int64_t width, int64_t height, size_t& bytes);
// Appends a frame whose pixels the actor takes over; false (nothing taken) when out
// of memory.
bool AppendFrame(tagROMANCE_ACTOR* actor, tagSIZE size, unsigned char* bits);

}  // namespace arf
}  // namespace zolvex
