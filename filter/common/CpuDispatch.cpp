#include "filter/common/CpuDispatch.h"

#include <atomic>

namespace zolvex {
namespace {

bool DetectAvx2()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

std::atomic<bool> g_allowed{true};

}  // namespace

bool UseAvx2Kernels()
{
    static const bool present = DetectAvx2();
    return present && g_allowed.load(std::memory_order_relaxed);
}

void AllowAvx2Kernels(bool allow)
{
    g_allowed.store(allow, std::memory_order_relaxed);
}

}  // namespace zolvex
