// The run blends shared by the transitions, built for the baseline and for AVX2.
#include "filter/common/CpuDispatch.h"
#include "filter/transitions/TransitionKit.h"

namespace zolvex {
namespace transition {
namespace {

ZOLVEX_ALWAYS_INLINE void BytesLoop(const uchar* __restrict__ x, const uchar* __restrict__ y, uchar* __restrict__ o,
                                    size_t n, const LaneWeights& lw)
{
    float keep[kLanes], take[kLanes];
    for (int j = 0; j < kLanes; ++j) {
        keep[j] = lw.keep[j];
        take[j] = lw.take[j];
    }
    size_t k = 0;
    for (; k + kLanes <= n; k += kLanes)
        for (int j = 0; j < kLanes; ++j)
            o[k + j] = uchar(int(keep[j] * x[k + j] + take[j] * y[k + j]));
    for (int j = 0; k < n; ++k, ++j)
        o[k] = uchar(int(keep[j] * x[k] + take[j] * y[k]));
}

template <int BPP>
ZOLVEX_ALWAYS_INLINE void PixelsLoop(const uchar* x, const uchar* y, uchar* o, const float* w, int n)
{
    for (int i = 0; i < n; ++i) {
        const float wi = w[i], vi = 1.0f - wi;
        const int k = i * BPP;
        o[k + 0] = uchar(vi * x[k + 0] + wi * y[k + 0]);
        o[k + 1] = uchar(vi * x[k + 1] + wi * y[k + 1]);
        o[k + 2] = uchar(vi * x[k + 2] + wi * y[k + 2]);
    }
}

ZOLVEX_KERNEL_DISPATCH(BytesKernel, (const uchar* x, const uchar* y, uchar* o, size_t n, const LaneWeights& lw),
                       (x, y, o, n, lw), BytesLoop(x, y, o, n, lw))
#define PIXEL_PARAMS (const uchar* x, const uchar* y, uchar* o, const float* w, int n)
#define PIXEL_ARGS (x, y, o, w, n)
ZOLVEX_KERNEL_DISPATCH(Pixels3, PIXEL_PARAMS, PIXEL_ARGS, PixelsLoop<3>(x, y, o, w, n))
ZOLVEX_KERNEL_DISPATCH(Pixels4, PIXEL_PARAMS, PIXEL_ARGS, PixelsLoop<4>(x, y, o, w, n))

}  // namespace

LaneWeights MakeLaneWeights(float w, int bpp, bool alphaFromSecond)
{
    w = w > 0.0f ? (w < 1.0f ? w : 1.0f) : 0.0f;
    LaneWeights lw;
    for (int j = 0; j < kLanes; ++j) {
        const bool alpha = bpp == 4 && j % 4 == 3;
        lw.keep[j] = alpha ? (alphaFromSecond ? 0.0f : 1.0f) : 1.0f - w;
        lw.take[j] = alpha ? (alphaFromSecond ? 1.0f : 0.0f) : w;
    }
    return lw;
}

void BlendBytes(const uchar* x, const uchar* y, uchar* o, size_t n, const LaneWeights& lw)
{
    BytesKernel(x, y, o, n, lw);
}

void BlendPixels(const uchar* x, const uchar* y, uchar* o, const float* w, int n, int bpp)
{
    if (n > 0)
        (bpp == 3 ? Pixels3 : Pixels4)(x, y, o, w, n);
}

}  // namespace transition
}  // namespace zolvex
