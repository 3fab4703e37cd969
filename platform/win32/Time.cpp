// Win32 clocks: the multimedia timer, run at 1 ms resolution while the library is loaded so
// that frame timing and Sleep() are not rounded to the 15.6 ms scheduler tick.
#include "platform/Time.h"

// <mmsystem.h> needs the types of <windows.h> first.
// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

namespace orvane::platform {
namespace {

struct TimerResolution {
    TimerResolution() : raised(timeBeginPeriod(1) == TIMERR_NOERROR) {}
    ~TimerResolution() {
        if (raised) timeEndPeriod(1);
    }
    TimerResolution(const TimerResolution&) = delete;
    TimerResolution& operator=(const TimerResolution&) = delete;
    const bool raised;
};

void ensureResolution() {
    static const TimerResolution resolution;  // thread-safe static init, undone at unload
    (void)resolution;
}

}  // namespace

uint32_t timeGetTime() {
    ensureResolution();
    return static_cast<uint32_t>(::timeGetTime());
}

uint32_t getTickCount() {
    return static_cast<uint32_t>(::GetTickCount());
}

void sleepMs(uint32_t ms) {
    ensureResolution();
    ::Sleep(ms);
}

}  // namespace orvane::platform
