// The session's error history: the twenty newest reason codes, newest first, and the
// notification of each recorded code to the application window.
#pragma once

#include <array>
#include <atomic>

#include "platform/MessageWindow.h"
#include "platform/Sync.h"

namespace orvane::session {

// Message posted to the application window for every recorded code (lParam = code).
constexpr unsigned int kMsgError = 0x8003;
// Message posted to the callback window per frame (wParam = frame record) or on
// acquisition errors (lParam = code).
constexpr unsigned int kMsgFrame = 0x8002;

enum ErrorCode : int {
    kErrNone = 0,
    kErrState = 1,
    kErrNoCamera = 2,
    kErrThread = 3,
    kErrWindow = 4,
    kErrMemory = 5,
    kErrDevice = 6,
    kErrWindowRange = 7,
    kErrNoFrame = 8,
    kErrArgument = 9,
    kErrUnsupported = 11,
    kErrConversion = 12,
    kErrDelivery = 13,
    kErrMaskFile = 14,
};

class ErrorHistory {
  public:
    static constexpr int kDepth = 20;

    // Window that receives kMsgError; may be null (then recorded codes are not posted).
    // Safe to call from any thread.
    void setWindow(platform::WindowHandle window) { window_.store(window); }
    platform::WindowHandle window() const { return window_.load(); }

    // Pushes code as the newest entry (the oldest of twenty is lost) and posts kMsgError
    // with it when a window is set. Any thread (application threads and the acquisition
    // thread record concurrently).
    void record(int code);

    // Posts kMsgError without recording, and without testing the window: with no window
    // the message goes to the calling thread's own queue. Any thread.
    void postOnly(int code) const;

    // Returns the newest code and removes it; 0 when the history is empty. Any thread.
    int pop();

    // Copy of the entries, newest first (for tests and diagnostics).
    std::array<int, kDepth> snapshot() const;

  private:
    mutable platform::Mutex mutex_;
    std::array<int, kDepth> codes_ ORVANE_GUARDED_BY(mutex_){};
    std::atomic<platform::WindowHandle> window_{nullptr};
};

}  // namespace orvane::session
