// (Placeholder until the reader and writer are built.)
#include "filter/animation/AnimationFile.h"

FileAnimationSource::FileAnimationSource(FILE* file) : file_(file) {}
size_t FileAnimationSource::Read(void*, size_t) { return 0; }
int64_t FileAnimationSource::Remaining() const { return -1; }
MemoryAnimationSource::MemoryAnimationSource(const void* data, size_t size)
    : data_(static_cast<const unsigned char*>(data)), size_(size) {}
size_t MemoryAnimationSource::Read(void*, size_t) { return 0; }
int64_t MemoryAnimationSource::Remaining() const { return int64_t(size_ - pos_); }
void* ReadAnimationEffect(AnimationByteSource&, const AnimationGuidCheck&) { return nullptr; }
bool WriteAnimationEffect(tagROMANCE_EFFECT2*, const char*) { return false; }
