// Hot pixel loops are compiled twice, for the x86-64 baseline and for AVX2, and the
// AVX2 build runs where the processor has it. Both builds come from the same source,
// integer arithmetic only, so their results are identical.
#pragma once

#include "platform/Export.h"

namespace zolvex {

// Whether the AVX2 builds of the pixel loops are used.
ZVF_API bool UseAvx2Kernels();
// Tests compare the two builds: false forces the baseline, true restores detection.
ZVF_API void AllowAvx2Kernels(bool allow);

}  // namespace zolvex

#define ZOLVEX_ALWAYS_INLINE inline __attribute__((always_inline))

#if defined(__x86_64__) || defined(__i386__)
// Defines `name params` (called with `args`), which makes `call` in a build for AVX2
// where the processor has it and in the baseline build elsewhere. Whatever `call`
// reaches must be ZOLVEX_ALWAYS_INLINE so that each build gets its own copy.
#define ZOLVEX_KERNEL_DISPATCH(name, params, args, call)                    \
    __attribute__((target("avx2"))) static void name##Avx2 params { call; } \
    static void name##Base params { call; }                                 \
    static void name params                                                 \
    {                                                                       \
        if (::zolvex::UseAvx2Kernels())                                     \
            name##Avx2 args;                                                \
        else                                                                \
            name##Base args;                                                \
    }
#else
#define ZOLVEX_KERNEL_DISPATCH(name, params, args, call) \
    static void name params { call; }
#endif
