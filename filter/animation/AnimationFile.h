// Reading and writing animation effect files (".arf"). Both versions are read;
// version 2 is written. A library container holds whole files back to back, so the
// reader takes exactly one effect's bytes from a stream.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>

#include "filter/animation/AnimationRecords.h"
#include "platform/Export.h"

// A stream of bytes positioned at an effect.
class ZVF_API AnimationByteSource {
public:
    virtual ~AnimationByteSource() = default;
    // Reads up to n bytes; returns how many were read.
    virtual size_t Read(void* to, size_t n) = 0;
    // Bytes left in the stream, or -1 when the stream cannot tell.
    virtual int64_t Remaining() const = 0;
};

// An open file, read from its current position; the file stays the caller's.
class ZVF_API FileAnimationSource : public AnimationByteSource {
public:
    explicit FileAnimationSource(FILE* file);
    size_t Read(void* to, size_t n) override;
    int64_t Remaining() const override;

private:
    FILE* file_;
    int64_t size_ = -1;
};

class ZVF_API MemoryAnimationSource : public AnimationByteSource {
public:
    MemoryAnimationSource(const void* data, size_t size);
    size_t Read(void* to, size_t n) override;
    int64_t Remaining() const override;
    size_t Position() const { return pos_; }

private:
    const unsigned char* data_;
    size_t size_, pos_ = 0;
};

// Called right after the GUID is read; returning false stops the read (a library
// that already holds the effect).
typedef std::function<bool(const GUID&)> AnimationGuidCheck;

// Reads one effect: a new tagROMANCE_EFFECT1 or tagROMANCE_EFFECT2 (tell them by
// the version text at its start), or null when the bytes are not a whole, sound
// effect; then nothing of it stays in memory. Free the result with
// FreeAnimationEffect.
ZVF_API void* ReadAnimationEffect(AnimationByteSource& in, const AnimationGuidCheck& check = nullptr);

// Writes a version-2 file. ".arf" is appended unless the path already ends in it; the
// record's names become the file title; a zero GUID is written as a fresh one (the
// record keeps its zero). False when the file cannot be created or written.
ZVF_API bool WriteAnimationEffect(tagROMANCE_EFFECT2* effect, const char* path);
