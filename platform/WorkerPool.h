// A small fixed pool of worker threads with a parallel-for over row ranges.
//
// The session owns one pool and hands it to the pixel routines, which split their rows into
// one band per thread. The calling thread works on the first band itself, so a pool of N
// threads starts N - 1 helpers. A pool is meant to be shared by the sessions of one process:
// concurrent callers of parallelFor are served one after the other (submitMutex_).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/Sync.h"

namespace orvane::platform {

class WorkerPool {
  public:
    // threads: total number of threads that work on a job, the caller included; values
    // below 1 are taken as 1 (no helper threads, every job runs on the caller).
    explicit WorkerPool(int threads);
    ~WorkerPool();

    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int threadCount() const { return static_cast<int>(helpers_.size()) + 1; }

    // Splits [begin, end) into at most threadCount() contiguous bands whose starts (apart
    // from the first) are multiples of `align` counted from begin, and calls
    // fn(ctx, bandBegin, bandEnd) once per non-empty band, the first band on the calling
    // thread. Returns when every band is done. Allocates nothing.
    void run(int begin, int end, int align, void (*fn)(void* ctx, int bandBegin, int bandEnd),
             void* ctx);

    // Convenience form for a callable f(bandBegin, bandEnd).
    template <class F>
    void parallelFor(int begin, int end, int align, F&& f) {
        run(
            begin, end, align,
            [](void* c, int b, int e) { (*static_cast<std::remove_reference_t<F>*>(c))(b, e); },
            const_cast<void*>(static_cast<const void*>(&f)));
    }

  private:
    void helperLoop(int index);

    std::vector<std::thread> helpers_;

    Mutex submitMutex_;  // serialises jobs from different callers

    Mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    uint64_t generation_ ORVANE_GUARDED_BY(mutex_) = 0;
    int pending_ ORVANE_GUARDED_BY(mutex_) = 0;
    bool stopping_ ORVANE_GUARDED_BY(mutex_) = false;
    void (*fn_)(void*, int, int) ORVANE_GUARDED_BY(mutex_) = nullptr;
    void* ctx_ ORVANE_GUARDED_BY(mutex_) = nullptr;
    std::vector<std::pair<int, int>> bands_ ORVANE_GUARDED_BY(mutex_);  // sized once
};

// Runs f over [begin, end) on the pool when there is one, else on the calling thread.
template <class F>
inline void forBands(WorkerPool* pool, int begin, int end, int align, F&& f) {
    if (end <= begin) return;
    if (pool == nullptr || pool->threadCount() <= 1 || end - begin < 2 * align) {
        f(begin, end);
        return;
    }
    pool->parallelFor(begin, end, align, f);
}

}  // namespace orvane::platform
