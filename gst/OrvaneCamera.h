// A camera session of the Orvane library as the orvanesrc element uses it: open, configure,
// stream through the callback preview and hand out frames. Only the library's public C
// interface is used, as any application would.
//
// Threads: open/close/startStream/stopStream are called with the element's state lock held
// (application or streaming thread); waitFrame and copyFrame run on the streaming thread;
// wake() may be called from any thread to release a waitFrame in progress. Setting and
// reading values is allowed from any thread while the session is open (the library is
// thread-safe for them).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "OrvaneSdk.h"

namespace orvane::gst {

// An eventfd that wakes a poll() from another thread.
class WakeFd {
  public:
    WakeFd();
    ~WakeFd();
    WakeFd(const WakeFd&) = delete;
    WakeFd& operator=(const WakeFd&) = delete;
    int fd() const { return fd_; }
    void signal();
    void clear();

  private:
    int fd_ = -1;
};

// What waitFrame saw.
enum class FrameWait {
    Frame,     // at least one new frame was processed by the library
    Woken,     // wake() was called
    TimedOut,  // nothing within the time limit
    Failed,    // the library reported that frame delivery failed (camera gone, stream broken)
};

class OrvaneCamera {
  public:
    OrvaneCamera() = default;
    ~OrvaneCamera();
    OrvaneCamera(const OrvaneCamera&) = delete;
    OrvaneCamera& operator=(const OrvaneCamera&) = delete;

    // Makes a session on camera `device`; `virtualCameras` (may be empty) selects virtual
    // cameras as ORVANE_VIRTUAL_CAMERAS does. False with a message on failure.
    bool open(int device, const std::string& virtualCameras, std::string* error);
    void close();
    bool isOpen() const { return handle_.load() != 0; }
    ORVANE_HANDLE handle() const { return handle_.load(); }

    // A message naming `what` with the newest recorded library error ("... : error 2, camera
    // not present or cannot be opened").
    std::string lastError(const char* what) const;

    // Starts the library's callback preview (frames are processed on the library's thread
    // and announced to our message window). Idempotent.
    bool startStream(std::string* error);
    void stopStream();
    bool streaming() const { return streaming_.load(); }

    // Waits up to timeoutMs for a processed frame. `frames` gets the number of frames the
    // library announced since the last call (more than one means the consumer was too slow
    // for the ones in between).
    FrameWait waitFrame(int timeoutMs, uint64_t* frames);
    // Copies the newest processed frame (top row first) into `buffer`. The library may have
    // finished that frame while we waited for its lock and announce it only afterwards;
    // `lateFrames` gets the announcements read right after the copy, which belong to frames
    // no newer than the one copied (the library cannot process another while we hold its
    // lock, and waits between frames). False with a message when the library refuses.
    bool copyFrame(void* buffer, size_t size, uint64_t* lateFrames, std::string* error);
    // The library's error code behind the last FrameWait::Failed.
    int failureCode() const { return pendingFailure_; }
    // Whether the library announced the removal of a camera since the stream started (it
    // does not say which one).
    bool removalSeen() const { return removalSeen_; }
    void wake() { wake_.signal(); }
    void clearWake() { wake_.clear(); }

  private:
    // Reads every waiting message; returns false when one reports a failed delivery.
    bool drainMessages(uint64_t* frames, int* failure);

    std::atomic<ORVANE_HANDLE> handle_{0};
    HWND window_ = nullptr;  // Owned; made by open, destroyed by close (state lock).
    std::atomic<bool> streaming_{false};
    std::mutex streamLock_;  // Serialises start/stop of the preview against copyFrame.
    WakeFd wake_;
    int pendingFailure_ = 0;    // Streaming thread: a failure read after a copy, reported next.
    bool removalSeen_ = false;  // Streaming thread.
};

}  // namespace orvane::gst
