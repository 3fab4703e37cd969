// The fuzz build's clock: sleeps only advance a virtual offset, so a retry series that would
// sleep for seconds on a real device costs nothing, while time limits still see the time
// pass (the clocks add the offset to the real steady clock).
#include <atomic>
#include <chrono>

#include "platform/Time.h"

namespace orvane::platform {

namespace {

std::atomic<uint64_t> g_sleptMs{0};

uint32_t nowMs() {
    const auto real = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<uint32_t>(static_cast<uint64_t>(real.count()) + g_sleptMs.load());
}

}  // namespace

uint32_t timeGetTime() {
    return nowMs();
}

uint32_t getTickCount() {
    return nowMs();
}

void sleepMs(uint32_t ms) {
    g_sleptMs.fetch_add(ms);
}

}  // namespace orvane::platform
