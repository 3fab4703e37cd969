#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/WorkerPool.h"

namespace orvane::platform {
namespace {

TEST(WorkerPool, CoversEveryRowOnceInAlignedBands) {
    for (int threads : {1, 2, 3}) {
        WorkerPool pool(threads);
        EXPECT_EQ(pool.threadCount(), threads);
        for (auto [b, e] : {std::pair{0, 1}, {2, 2046}, {5, 6}, {0, 17}}) {
            std::vector<std::atomic<int>> hits(static_cast<size_t>(e));
            std::atomic<int> bands{0};
            pool.parallelFor(b, e, 2, [&](int bb, int ee) {
                EXPECT_EQ((bb - b) % 2, 0);
                ++bands;
                for (int i = bb; i < ee; ++i) ++hits[static_cast<size_t>(i)];
            });
            for (int i = 0; i < e; ++i)
                ASSERT_EQ(hits[static_cast<size_t>(i)].load(), i >= b ? 1 : 0);
            EXPECT_LE(bands.load(), threads);
        }
    }
}

TEST(WorkerPool, ServesConcurrentCallersOneAfterTheOther) {
    WorkerPool pool(2);
    std::atomic<long> total{0};
    std::vector<std::thread> callers;
    for (int c = 0; c < 3; ++c)
        callers.emplace_back([&] {
            for (int k = 0; k < 200; ++k)
                forBands(&pool, 0, 100, 1, [&](int b, int e) { total += e - b; });
        });
    for (auto& t : callers) t.join();
    EXPECT_EQ(total.load(), 3L * 200 * 100);
}

TEST(WorkerPool, WithoutPoolRunsOnCaller) {
    const auto self = std::this_thread::get_id();
    int calls = 0;
    forBands(nullptr, 0, 10, 1, [&](int b, int e) {
        EXPECT_EQ(std::this_thread::get_id(), self);
        EXPECT_EQ(b, 0);
        EXPECT_EQ(e, 10);
        ++calls;
    });
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace orvane::platform
