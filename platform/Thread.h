// An owned thread of execution. The destructor joins, so a Thread can never outlive the
// object whose members its body uses.
//
// Threads: every member may be called from any thread at the same time. A second start
// while a thread runs (or is being joined) is refused rather than replacing it, and a join
// returns only once the thread has ended, even when another caller's join is the one that
// collects it.
#pragma once

#include <condition_variable>
#include <functional>
#include <thread>

#include "platform/Sync.h"

namespace orvane::platform {

enum class ThreadPriority { Normal, AboveNormal, Highest, TimeCritical };

class Thread {
  public:
    Thread() = default;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    ~Thread() { join(); }

    // Starts body on a new thread. Fails (returns false) if this object already runs a
    // thread or the system refuses to create one. The priority is raised on a best-effort
    // basis: without the privilege to do so the thread runs at normal priority. An
    // exception escaping body is logged and ends the thread, never the process.
    bool start(std::function<void()> body, ThreadPriority priority = ThreadPriority::Normal);

    // Waits for the thread to end. Joining from the thread itself detaches instead of
    // deadlocking (the owner is being torn down from inside its own thread).
    void join();

    // True from a successful start until the thread has been joined or detached.
    bool joinable() const;
    // True when called on the thread this object runs.
    bool isCurrent() const;

  private:
    mutable Mutex mutex_;
    std::condition_variable joined_;
    // Moved out by the join that collects it.
    std::thread thread_ ORVANE_GUARDED_BY(mutex_);
    // The running thread's id, or none.
    std::thread::id id_ ORVANE_GUARDED_BY(mutex_);
    // A join is waiting for the thread.
    bool joining_ ORVANE_GUARDED_BY(mutex_) = false;
};

}  // namespace orvane::platform
