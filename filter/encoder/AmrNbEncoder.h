// AMR narrow band speech frames for 3GP movies, made with libopencore-amrnb: 20 ms
// of 8 kHz mono 16-bit sound in, one frame in the storage format out (a table-of-
// contents byte, then the speech bits), which is what a 3GP sample holds. Internal.
#pragma once

#include <cstdint>

namespace zolvex {
namespace encoder {

class AmrNbEncoder {
public:
    static constexpr int kSampleRate = 8000;
    static constexpr int kFrameSamples = 160;
    static constexpr int kMaxFrameBytes = 32;

    // Picks the mode whose bit rate is nearest to `bitRate`.
    explicit AmrNbEncoder(int bitRate);
    ~AmrNbEncoder();
    AmrNbEncoder(const AmrNbEncoder&) = delete;
    AmrNbEncoder& operator=(const AmrNbEncoder&) = delete;

    bool IsOpen() const { return state_ != nullptr; }
    // The bit rate of the chosen mode.
    int BitRate() const;
    // Encodes kFrameSamples samples into `out` (kMaxFrameBytes at least); returns
    // the frame's size in bytes, or -1.
    int Encode(const int16_t* samples, unsigned char* out);

private:
    void* state_ = nullptr;
    int mode_ = 0;
};

}  // namespace encoder
}  // namespace zolvex
