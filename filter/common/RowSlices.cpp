#include "filter/common/RowSlices.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace zolvex {
namespace {

// Below this many bytes a job is cheaper than waking a worker.
constexpr int64_t kMinParallelBytes = 96 * 1024;
constexpr int kMaxThreads = 8;
constexpr int kSlicesPerThread = 4;

std::atomic<int> g_requestedThreads{0};

int EffectiveThreads()
{
    // Asking the system costs a file read on Linux: ask once.
    static const int processors = static_cast<int>(std::thread::hardware_concurrency());
    int n = g_requestedThreads.load(std::memory_order_relaxed);
    if (n <= 0)
        n = processors;
    return std::max(1, std::min(n, kMaxThreads));
}

class SlicePool {
public:
    ~SlicePool()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : workers_)
            t.join();
    }

    // Returns false when another caller holds the pool.
    bool TryRun(int rows, int threads, const std::function<void(int, int)>& job)
    {
        std::unique_lock<std::mutex> owner(runMutex_, std::try_to_lock);
        if (!owner.owns_lock())
            return false;
        while (static_cast<int>(workers_.size()) < threads - 1) {
            const int index = static_cast<int>(workers_.size());
            workers_.emplace_back([this, index] { WorkerLoop(index); });
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job_ = &job;
            rows_ = rows;
            slices_ = std::min(rows, threads * kSlicesPerThread);
            sliceRows_ = (rows + slices_ - 1) / slices_;
            nextSlice_.store(0, std::memory_order_relaxed);
            helpers_ = threads - 1;
            pending_ = helpers_;
            ++generation_;
        }
        wake_.notify_all();
        Work();
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return pending_ == 0; });
        job_ = nullptr;
        return true;
    }

private:
    void Work()
    {
        for (;;) {
            const int s = nextSlice_.fetch_add(1, std::memory_order_relaxed);
            if (s >= slices_)
                return;
            const int begin = s * sliceRows_;
            const int end = std::min(rows_, begin + sliceRows_);
            if (begin < end)
                (*job_)(begin, end);
        }
    }

    void WorkerLoop(int index)
    {
        uint64_t seen = 0;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
            if (stop_)
                return;
            seen = generation_;
            if (index >= helpers_)
                continue;
            lock.unlock();
            Work();
            lock.lock();
            if (--pending_ == 0)
                done_.notify_one();
        }
    }

    std::mutex runMutex_;  // held by the caller whose job the pool runs
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::vector<std::thread> workers_;
    const std::function<void(int, int)>* job_ = nullptr;
    int rows_ = 0, slices_ = 0, sliceRows_ = 0, helpers_ = 0, pending_ = 0;
    std::atomic<int> nextSlice_{0};
    uint64_t generation_ = 0;
    bool stop_ = false;
};

SlicePool& Pool()
{
    static SlicePool pool;
    return pool;
}

}  // namespace

void RunRowSlices(int rows, int64_t bytesPerRow, const std::function<void(int, int)>& job)
{
    if (rows <= 0)
        return;
    const int threads = std::min(EffectiveThreads(), rows);
    if (threads > 1 && int64_t(rows) * bytesPerRow >= kMinParallelBytes && Pool().TryRun(rows, threads, job))
        return;
    job(0, rows);
}

void SetSliceThreads(int threads)
{
    g_requestedThreads.store(std::max(0, threads), std::memory_order_relaxed);
}

int GetSliceThreads()
{
    return EffectiveThreads();
}

}  // namespace zolvex
