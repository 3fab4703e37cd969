#include "platform/ThreadPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/Log.h"

namespace orvane::platform {

// Linux applies setpriority() with a thread id to that thread alone. Lowering the nice
// value needs CAP_SYS_NICE; without it the thread keeps normal priority, which is fine.
void applyThreadPriority(ThreadPriority priority) {
    int nice = 0;
    switch (priority) {
        case ThreadPriority::Normal:
            return;
        case ThreadPriority::AboveNormal:
            nice = -2;
            break;
        case ThreadPriority::Highest:
            nice = -5;
            break;
        case ThreadPriority::TimeCritical:
            nice = -10;
            break;
    }
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    if (setpriority(PRIO_PROCESS, tid, nice) != 0)
        ORVANE_LOG(LogLevel::Debug, "thread priority not raised (nice %d refused)", nice);
}

}  // namespace orvane::platform
