// An owned thread of execution. The destructor joins, so a Thread can never outlive the
// object whose members its body uses.
#pragma once

#include <functional>
#include <thread>

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
    // basis: without the privilege to do so the thread runs at normal priority.
    bool start(std::function<void()> body, ThreadPriority priority = ThreadPriority::Normal);

    // Waits for the thread to end. Joining from the thread itself detaches instead of
    // deadlocking (the owner is being torn down from inside its own thread).
    void join();

    bool joinable() const { return thread_.joinable(); }
    bool isCurrent() const { return thread_.get_id() == std::this_thread::get_id(); }

  private:
    std::thread thread_;
};

}  // namespace orvane::platform
