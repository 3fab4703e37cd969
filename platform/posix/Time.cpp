#include "platform/Time.h"

#include <chrono>
#include <thread>

namespace orvane::platform {

uint32_t timeGetTime() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

uint32_t getTickCount() {
    return timeGetTime();
}

void sleepMs(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace orvane::platform
