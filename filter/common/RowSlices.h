// Splits per-row work over a small pool of worker threads. Only for work whose
// result does not depend on the order of rows: every row is processed exactly once
// and the output is identical whatever the number of threads.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/Export.h"

namespace zolvex {

// Runs job(begin, end) over consecutive row ranges covering [0, rows) and returns
// when all are done. Jobs of less than about a frame's worth of bytes, and calls made
// while another caller is using the pool, run on the calling thread.
ZVF_API void RunRowSlices(int rows, int64_t bytesPerRow, const std::function<void(int, int)>& job);

// Threads taking part in one job, the caller included: 1 keeps all work on the
// calling thread; 0 (the default) uses one per processor, at most 8.
ZVF_API void SetSliceThreads(int threads);
ZVF_API int GetSliceThreads();

}  // namespace zolvex
