#include "platform/ThreadPriority.h"

#include <windows.h>

#include "platform/Log.h"

namespace orvane::platform {

// SetThreadPriority on the calling thread; the capture thread runs time-critical so that
// the driver's transfers are queued again without delay.
void applyThreadPriority(ThreadPriority priority) {
    int level = THREAD_PRIORITY_NORMAL;
    switch (priority) {
        case ThreadPriority::Normal:
            return;
        case ThreadPriority::AboveNormal:
            level = THREAD_PRIORITY_ABOVE_NORMAL;
            break;
        case ThreadPriority::Highest:
            level = THREAD_PRIORITY_HIGHEST;
            break;
        case ThreadPriority::TimeCritical:
            level = THREAD_PRIORITY_TIME_CRITICAL;
            break;
    }
    if (!SetThreadPriority(GetCurrentThread(), level))
        ORVANE_LOG(LogLevel::Debug, "thread priority %d not applied (error %lu)", level,
                   static_cast<unsigned long>(GetLastError()));
}

}  // namespace orvane::platform
