// Handles created, used and released from several threads at once, including handles that
// another thread is using at the moment they are released.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "OrvaneSdk.h"

namespace {

TEST(RegistryStress, FourThreadsInitializeUseAndReleaseAtRandom) {
    std::mutex poolMutex;
    std::vector<ORVANE_HANDLE> pool;  // Guarded by poolMutex.
    std::atomic<int> calls{0};
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);

    auto worker = [&](unsigned seed) {
        std::mt19937 rng(seed);
        OrvaneMessage m;
        while (std::chrono::steady_clock::now() < end) {
            const unsigned action = rng() % 10;
            if (action < 2) {
                {
                    std::lock_guard lock(poolMutex);
                    if (pool.size() >= 6) continue;  // sessions hold full-size buffers
                }
                const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
                ASSERT_NE(h, 0u);
                std::lock_guard lock(poolMutex);
                pool.push_back(h);
            } else if (action < 4) {
                ORVANE_HANDLE h = 0;
                {
                    std::lock_guard lock(poolMutex);
                    if (pool.empty()) continue;
                    const size_t i = rng() % pool.size();
                    h = pool[i];
                    pool.erase(pool.begin() + static_cast<long>(i));
                }
                EXPECT_EQ(Orvane_Release(h), 1);
            } else {
                // Use any handle, possibly one that another thread is releasing right now.
                ORVANE_HANDLE h = 0;
                {
                    std::lock_guard lock(poolMutex);
                    if (!pool.empty()) h = pool[rng() % pool.size()];
                }
                Orvane_SetColorMode(h, (rng() % 2) ? 24 : 12);
                Orvane_GetColorMode(h);
                Orvane_SetWaitTime(h, static_cast<int>(rng() % 50));
                Orvane_GetLastError(h);
                Orvane_Trigger(h);  // posts to this thread's queue
                Orvane_GetCaptureWindowEx(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
                while (Orvane_GetMessage(nullptr, &m, 0) == 1) {
                }
                calls.fetch_add(1);
            }
        }
    };
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < 4; ++t) threads.emplace_back(worker, 100 + t);
    for (auto& t : threads) t.join();
    for (ORVANE_HANDLE h : pool) EXPECT_EQ(Orvane_Release(h), 1);
    EXPECT_GT(calls.load(), 0);
}

}  // namespace
