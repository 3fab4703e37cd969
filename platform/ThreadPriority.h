// Raises the calling thread's scheduling priority; the one part of Thread that differs
// between POSIX and Windows. A priority the system refuses leaves the thread as it was.
#pragma once

#include "platform/Thread.h"

namespace orvane::platform {

void applyThreadPriority(ThreadPriority priority);

}  // namespace orvane::platform
