// Locks and events with the semantics the camera code was designed around: a critical
// section may be re-entered by the thread that holds it, a mutex may not, and events are
// either auto-reset (one waiter is released and the event clears) or manual-reset (stays set
// until reset). The locks carry clang's thread-safety annotations (platform/ThreadSafety.h):
// fields name their lock with ORVANE_GUARDED_BY and are reached through LockGuard, which the
// analysis understands, so clang -Wthread-safety checks every access at compile time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/ThreadSafety.h"

namespace orvane::platform {

// Plain (non-re-entrant) lock.
class ORVANE_CAPABILITY("mutex") Mutex {
  public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock() ORVANE_ACQUIRE() { mutex_.lock(); }
    void unlock() ORVANE_RELEASE() { mutex_.unlock(); }
    bool try_lock() ORVANE_TRY_ACQUIRE(true) { return mutex_.try_lock(); }

    // Condition-variable waits for a caller that holds this mutex: it is given up while
    // waiting and held again when they return. `ready` runs with the mutex held.
    template <class Ready>
    void wait(std::condition_variable& cv, Ready ready) ORVANE_REQUIRES(this) {
        std::unique_lock<std::mutex> held(mutex_, std::adopt_lock);
        cv.wait(held, ready);
        held.release();
    }
    // False when `ready` still fails after `timeout`.
    template <class Ready>
    bool waitFor(std::condition_variable& cv, std::chrono::milliseconds timeout, Ready ready)
        ORVANE_REQUIRES(this) {
        std::unique_lock<std::mutex> held(mutex_, std::adopt_lock);
        const bool result = cv.wait_for(held, timeout, ready);
        held.release();
        return result;
    }

  private:
    std::mutex mutex_;
};

// Re-entrant lock, for the few locks a thread takes again while holding them.
class ORVANE_CAPABILITY("mutex") CriticalSection {
  public:
    CriticalSection() = default;
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void lock() ORVANE_ACQUIRE() { mutex_.lock(); }
    void unlock() ORVANE_RELEASE() { mutex_.unlock(); }
    bool try_lock() ORVANE_TRY_ACQUIRE(true) { return mutex_.try_lock(); }

  private:
    std::recursive_mutex mutex_;
};

// Holds a Mutex or CriticalSection for its lifetime; unlock() and lock() give it up and take
// it again within the scope.
template <class Lock>
class ORVANE_SCOPED_CAPABILITY LockGuard {
  public:
    explicit LockGuard(Lock& lock) ORVANE_ACQUIRE(lock) : lock_(lock) { lock_.lock(); }
    ~LockGuard() ORVANE_RELEASE() {
        if (held_) lock_.unlock();
    }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

    void unlock() ORVANE_RELEASE() {
        lock_.unlock();
        held_ = false;
    }
    void lock() ORVANE_ACQUIRE() {
        lock_.lock();
        held_ = true;
    }

  private:
    Lock& lock_;
    bool held_ = true;
};

class Event {
  public:
    static constexpr uint32_t kInfinite = 0xFFFFFFFFu;

    explicit Event(bool manualReset, bool initiallySet = false)
        : manualReset_(manualReset), set_(initiallySet) {}
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set() {
        {
            LockGuard lock(mutex_);
            set_ = true;
        }
        if (manualReset_)
            cv_.notify_all();
        else
            cv_.notify_one();
    }

    void reset() {
        LockGuard lock(mutex_);
        set_ = false;
    }

    bool isSet() const {
        LockGuard lock(mutex_);
        return set_;
    }

    // Returns true when the event was set within timeoutMs (kInfinite waits for ever).
    // An auto-reset event is cleared by the wait that consumed it.
    bool wait(uint32_t timeoutMs) {
        LockGuard lock(mutex_);
        auto ready = [this]() ORVANE_REQUIRES(mutex_) { return set_; };
        if (timeoutMs == kInfinite) {
            mutex_.wait(cv_, ready);
        } else if (!mutex_.waitFor(cv_, std::chrono::milliseconds(timeoutMs), ready)) {
            return false;
        }
        if (!manualReset_) set_ = false;
        return true;
    }

  private:
    const bool manualReset_;
    mutable Mutex mutex_;
    std::condition_variable cv_;
    bool set_ ORVANE_GUARDED_BY(mutex_);
};

}  // namespace orvane::platform
