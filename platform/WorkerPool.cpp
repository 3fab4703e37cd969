#include "platform/WorkerPool.h"

#include <algorithm>

namespace orvane::platform {

WorkerPool::WorkerPool(int threads) {
    const int helpers = std::max(threads, 1) - 1;
    bands_.resize(static_cast<size_t>(helpers) + 1);
    helpers_.reserve(static_cast<size_t>(helpers));
    for (int i = 0; i < helpers; ++i) helpers_.emplace_back([this, i] { helperLoop(i + 1); });
}

WorkerPool::~WorkerPool() {
    {
        LockGuard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (auto& t : helpers_) t.join();
}

void WorkerPool::run(int begin, int end, int align, void (*fn)(void*, int, int), void* ctx) {
    if (end <= begin) return;
    if (align < 1) align = 1;
    const int n = threadCount();
    if (n <= 1) {
        fn(ctx, begin, end);
        return;
    }
    LockGuard submit(submitMutex_);
    // Band boundaries on multiples of align (from begin) keep, for example, a Bayer phase
    // or a pair of rows together.
    const int total = end - begin;
    const int units = (total + align - 1) / align;
    std::pair<int, int> first{begin, begin};
    {
        LockGuard lock(mutex_);
        int unitStart = 0;
        for (int i = 0; i < n; ++i) {
            const int unitEnd = static_cast<int>(static_cast<int64_t>(units) * (i + 1) / n);
            const int b = std::min(end, begin + unitStart * align);
            const int e = std::min(end, begin + unitEnd * align);
            bands_[static_cast<size_t>(i)] = {b, e};
            unitStart = unitEnd;
        }
        first = bands_[0];
        fn_ = fn;
        ctx_ = ctx;
        pending_ = n - 1;
        ++generation_;
    }
    wake_.notify_all();
    if (first.second > first.first) fn(ctx, first.first, first.second);
    LockGuard lock(mutex_);
    mutex_.wait(done_, [this]() ORVANE_REQUIRES(mutex_) { return pending_ == 0; });
    fn_ = nullptr;
    ctx_ = nullptr;
}

void WorkerPool::helperLoop(int index) {
    uint64_t seen = 0;
    for (;;) {
        std::pair<int, int> band;
        void (*fn)(void*, int, int) = nullptr;
        void* ctx = nullptr;
        {
            LockGuard lock(mutex_);
            mutex_.wait(wake_,
                        [&]() ORVANE_REQUIRES(mutex_) { return stopping_ || generation_ != seen; });
            if (stopping_) return;
            seen = generation_;
            band = bands_[static_cast<size_t>(index)];
            fn = fn_;
            ctx = ctx_;
        }
        if (band.second > band.first) fn(ctx, band.first, band.second);
        bool last = false;
        {
            LockGuard lock(mutex_);
            last = (--pending_ == 0);
        }
        if (last) done_.notify_all();
    }
}

}  // namespace orvane::platform
