// Little-endian byte layouts described once for both directions: a layout function
// visits a record's fields with their offsets, and the visitor either writes them
// (ByteWriter: unnamed bytes become 0, pointer slots stay 0) or reads them back
// (ByteReader: pointers come back null, texts always NUL-terminated).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zolvex {

class ByteWriter {
public:
    ByteWriter(unsigned char* out, size_t size) : out_(out) { std::memset(out, 0, size); }

    void I32(size_t at, const int32_t& v) { Put(at, uint32_t(v), 4); }
    void U32(size_t at, const uint32_t& v) { Put(at, v, 4); }
    void U16(size_t at, const uint16_t& v) { Put(at, v, 2); }
    void U8(size_t at, const uint8_t& v) { out_[at] = v; }
    void F32(size_t at, const float& v)
    {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        Put(at, bits, 4);
    }
    void F64(size_t at, const double& v)
    {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        Put(at, bits, 8);
    }
    template <size_t N>
    void Text(size_t at, const char (&s)[N])
    {
        std::memcpy(out_ + at, s, N);
        out_[at + N - 1] = 0;
    }
    template <class P>
    void Pointer(size_t, P* const&)
    {
        // Runtime references mean nothing on disk: the slot stays 0.
    }

private:
    void Put(size_t at, uint64_t v, int bytes)
    {
        for (int k = 0; k < bytes; ++k)
            out_[at + size_t(k)] = uint8_t(v >> (8 * k));
    }
    unsigned char* out_;
};

class ByteReader {
public:
    explicit ByteReader(const unsigned char* in) : in_(in) {}

    void I32(size_t at, int32_t& v) { v = int32_t(uint32_t(Get(at, 4))); }
    void U32(size_t at, uint32_t& v) { v = uint32_t(Get(at, 4)); }
    void U16(size_t at, uint16_t& v) { v = uint16_t(Get(at, 2)); }
    void U8(size_t at, uint8_t& v) { v = in_[at]; }
    void F32(size_t at, float& v)
    {
        const uint32_t bits = uint32_t(Get(at, 4));
        std::memcpy(&v, &bits, 4);
    }
    void F64(size_t at, double& v)
    {
        const uint64_t bits = Get(at, 8);
        std::memcpy(&v, &bits, 8);
    }
    template <size_t N>
    void Text(size_t at, char (&s)[N])
    {
        std::memcpy(s, in_ + at, N);
        s[N - 1] = 0;
    }
    template <class P>
    void Pointer(size_t, P*& p)
    {
        p = nullptr;
    }

private:
    uint64_t Get(size_t at, int bytes) const
    {
        uint64_t v = 0;
        for (int k = 0; k < bytes; ++k)
            v |= uint64_t(in_[at + size_t(k)]) << (8 * k);
        return v;
    }
    const unsigned char* in_;
};

}  // namespace zolvex
