// Locks and events with the semantics the camera code was designed around: a critical
// section may be re-entered by the thread that holds it, and events are either auto-reset
// (one waiter is released and the event clears) or manual-reset (stays set until reset).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace orvane::platform {

// Re-entrant lock. Usable with std::lock_guard / std::unique_lock / std::scoped_lock.
class CriticalSection {
  public:
    CriticalSection() = default;
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }
    bool try_lock() { return mutex_.try_lock(); }

  private:
    std::recursive_mutex mutex_;
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
            std::lock_guard lock(mutex_);
            set_ = true;
        }
        if (manualReset_)
            cv_.notify_all();
        else
            cv_.notify_one();
    }

    void reset() {
        std::lock_guard lock(mutex_);
        set_ = false;
    }

    bool isSet() const {
        std::lock_guard lock(mutex_);
        return set_;
    }

    // Returns true when the event was set within timeoutMs (kInfinite waits for ever).
    // An auto-reset event is cleared by the wait that consumed it.
    bool wait(uint32_t timeoutMs) {
        std::unique_lock lock(mutex_);
        auto ready = [this] { return set_; };
        if (timeoutMs == kInfinite) {
            cv_.wait(lock, ready);
        } else if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
            return false;
        }
        if (!manualReset_) set_ = false;
        return true;
    }

  private:
    const bool manualReset_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool set_;  // Guarded by mutex_.
};

}  // namespace orvane::platform
