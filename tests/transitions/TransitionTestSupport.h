// Helpers shared by the transition tests.
#pragma once

#include <cstdint>
#include <vector>

#include "filter/transitions/fTavTransition.h"
#include "tools/common/SyntheticPicture.h"

namespace zolvex {
namespace test {

typedef std::vector<unsigned char> Picture;

// Renders transition `id` at progress p (time p of a duration of 1) from a to b.
// The output starts filled with 0xCD so that untouched bytes show.
inline Picture RenderTransition(int id, int w, int h, int bpp, double p, const Picture& a, const Picture& b)
{
    CfTavTransition t;
    t.InitTransfer(tagSIZE{w, h}, bpp, 1.0);
    t.SetCurTransferTime(p);
    t.SetCurTransferID(id);
    Picture o(size_t(w) * size_t(h) * size_t(bpp), 0xCD);
    t.Transfer(a.data(), b.data(), o.data());
    return o;
}

inline Picture Uniform(int w, int h, int bpp, uint8_t v, uint8_t alpha = 255)
{
    return testpic::MakeUniform(w, h, bpp, v, v, v, alpha);
}

// Pointer to pixel (x, memory row) of a picture.
inline const unsigned char* PixelAt(const Picture& f, int w, int bpp, int x, int row)
{
    return f.data() + (size_t(row) * size_t(w) + size_t(x)) * size_t(bpp);
}

}  // namespace test
}  // namespace zolvex
