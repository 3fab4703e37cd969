#include "platform/Thread.h"

#include <exception>
#include <system_error>

#include "platform/Log.h"
#include "platform/ThreadPriority.h"

namespace orvane::platform {
bool Thread::start(std::function<void()> body, ThreadPriority priority) {
    if (!body) return false;
    LockGuard lock(mutex_);
    if (thread_.joinable() || joining_) return false;
    try {
        thread_ = std::thread([body = std::move(body), priority] {
            applyThreadPriority(priority);
            try {
                body();
            } catch (const std::exception& e) {
                ORVANE_LOG(LogLevel::Warn, "thread ended by an exception: %s", e.what());
            } catch (...) {
                ORVANE_LOG(LogLevel::Warn, "thread ended by an exception");
            }
        });
    } catch (const std::system_error&) {
        return false;
    }
    id_ = thread_.get_id();
    return true;
}

void Thread::join() {
    LockGuard lock(mutex_);
    if (!thread_.joinable()) {
        // The body asking to join itself while another caller collects it: that caller
        // waits for this thread, so it must not wait in turn.
        if (id_ == std::this_thread::get_id()) return;
        // Another caller is collecting the thread: it has not necessarily ended yet.
        mutex_.wait(joined_, [this]() ORVANE_REQUIRES(mutex_) { return !joining_; });
        return;
    }
    if (thread_.get_id() == std::this_thread::get_id()) {
        thread_.detach();
        id_ = {};
        return;
    }
    // Joined outside the lock, so that the body may still ask isCurrent() or joinable().
    std::thread running = std::move(thread_);
    joining_ = true;
    lock.unlock();
    running.join();
    lock.lock();
    joining_ = false;
    id_ = {};
    lock.unlock();
    joined_.notify_all();
}

bool Thread::joinable() const {
    LockGuard lock(mutex_);
    return thread_.joinable() || joining_;
}

bool Thread::isCurrent() const {
    LockGuard lock(mutex_);
    return id_ != std::thread::id{} && id_ == std::this_thread::get_id();
}

}  // namespace orvane::platform
