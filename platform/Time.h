// Millisecond clocks and sleeping.
#pragma once

#include <cstdint>

namespace orvane::platform {

// Milliseconds since an arbitrary fixed point (the multimedia timer's role); wraps at 2^32.
uint32_t timeGetTime();

// Milliseconds since an arbitrary fixed point (the tick count's role); wraps at 2^32.
uint32_t getTickCount();

void sleepMs(uint32_t ms);

}  // namespace orvane::platform
