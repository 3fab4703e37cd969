#include "OrvaneCamera.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "ErrorText.h"

namespace orvane::gst {
namespace {

// Virtual cameras are chosen through the environment when a session is made. Sessions of
// several elements may be made from several threads; the variable is set, used and put back
// under this lock so that each session sees its own list and the process environment is left
// as the application had it.
std::mutex g_environmentLock;

class ScopedVirtualCameras {
  public:
    explicit ScopedVirtualCameras(const std::string& cameras) : active_(!cameras.empty()) {
        if (!active_) return;
        if (const char* old = std::getenv(kVariable)) previous_ = old;
        setenv(kVariable, cameras.c_str(), 1);
    }
    ~ScopedVirtualCameras() {
        if (!active_) return;
        if (previous_)
            setenv(kVariable, previous_->c_str(), 1);
        else
            unsetenv(kVariable);
    }
    ScopedVirtualCameras(const ScopedVirtualCameras&) = delete;
    ScopedVirtualCameras& operator=(const ScopedVirtualCameras&) = delete;

  private:
    static constexpr const char* kVariable = "ORVANE_VIRTUAL_CAMERAS";
    bool active_;
    std::optional<std::string> previous_;
};

}  // namespace

WakeFd::WakeFd() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeFd::~WakeFd() {
    if (fd_ >= 0) ::close(fd_);
}

void WakeFd::signal() {
    const uint64_t one = 1;
    if (fd_ >= 0) {
        // A full counter already wakes every poll; nothing else can go wrong here.
        [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
    }
}

void WakeFd::clear() {
    uint64_t value = 0;
    if (fd_ >= 0) {
        [[maybe_unused]] const ssize_t n = ::read(fd_, &value, sizeof value);
    }
}

OrvaneCamera::~OrvaneCamera() {
    close();
}

bool OrvaneCamera::open(int device, const std::string& virtualCameras, std::string* error) {
    close();
    window_ = Orvane_CreateMessageWindow(0);
    if (window_ == nullptr) {
        *error = "cannot create a message window for the camera session";
        return false;
    }
    ORVANE_HANDLE handle = 0;
    {
        std::lock_guard lock(g_environmentLock);
        ScopedVirtualCameras cameras(virtualCameras);
        handle = Orvane_Initialize(window_);
        if (handle != 0) handle_.store(handle);
        if (handle != 0 && !Orvane_SetDeviceNumber(handle, device)) {
            *error = lastError(("cannot open camera " + std::to_string(device)).c_str());
            close();
            return false;
        }
    }
    if (handle == 0) {
        *error = "the library could not make a camera session";
        close();
        return false;
    }
    return true;
}

void OrvaneCamera::close() {
    stopStream();
    if (const ORVANE_HANDLE h = handle_.exchange(0); h != 0) Orvane_Release(h);
    if (window_ != nullptr) {
        Orvane_DestroyMessageWindow(window_);
        window_ = nullptr;
    }
}

std::string OrvaneCamera::lastError(const char* what) const {
    const int code = Orvane_GetLastError(handle_.load());
    return std::string(what) + ": error " + std::to_string(code) + ", " +
           orvane::tools::errorText(code);
}

bool OrvaneCamera::startStream(std::string* error) {
    std::lock_guard lock(streamLock_);
    if (streaming_.load()) return true;
    const ORVANE_HANDLE h = handle_.load();
    if (h == 0) {
        *error = "no camera session";
        return false;
    }
    // Messages of an earlier stream must not count as frames of this one.
    uint64_t stale = 0;
    int failure = 0;
    drainMessages(&stale, &failure);
    pendingFailure_ = 0;
    removalSeen_ = false;
    // No buffer: the library keeps each processed frame and copyFrame takes it under the
    // library's frame lock, so a frame is never read while the next one is written.
    if (!Orvane_CallBackPreview(h, window_, nullptr, 0, 1)) {
        *error = lastError("cannot start the camera stream");
        return false;
    }
    streaming_.store(true);
    return true;
}

void OrvaneCamera::stopStream() {
    std::lock_guard lock(streamLock_);
    if (!streaming_.exchange(false)) return;
    Orvane_StopPreview(handle_.load());
}

bool OrvaneCamera::drainMessages(uint64_t* frames, int* failure) {
    OrvaneMessage m{};
    bool ok = true;
    while (window_ != nullptr && Orvane_GetMessage(window_, &m, 0) == 1) {
        if (m.message == WM_DEVICECHANGE && m.wParam == DBT_DEVICEREMOVECOMPLETE)
            removalSeen_ = true;
        if (m.message != ORVANE_WM_FRAME) continue;  // errors also reach us as return values
        if (m.wParam != 0) {
            ++*frames;
        } else if (m.lParam == ORVANE_ERR_DELIVERY || m.lParam == ORVANE_ERR_MEMORY) {
            *failure = static_cast<int>(m.lParam);
            ok = false;
        }
    }
    return ok;
}

FrameWait OrvaneCamera::waitFrame(int timeoutMs, uint64_t* frames) {
    *frames = 0;
    if (window_ == nullptr) {
        pendingFailure_ = ORVANE_ERR_STATE;
        return FrameWait::Failed;
    }
    pollfd fds[2] = {{Orvane_GetMessageFd(window_), POLLIN, 0}, {wake_.fd(), POLLIN, 0}};
    if (pendingFailure_ != 0) return FrameWait::Failed;
    for (;;) {
        int failure = 0;
        if (!drainMessages(frames, &failure)) {
            pendingFailure_ = failure;
            return FrameWait::Failed;
        }
        if (*frames > 0) return FrameWait::Frame;
        const int n = ::poll(fds, 2, timeoutMs);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return FrameWait::TimedOut;
        if (fds[1].revents & POLLIN) return FrameWait::Woken;
    }
}

bool OrvaneCamera::copyFrame(void* buffer, size_t size, uint64_t* lateFrames, std::string* error) {
    *lateFrames = 0;
    std::lock_guard lock(streamLock_);
    if (!streaming_.load()) {
        *error = "the camera stream is stopped";
        return false;
    }
    if (!Orvane_GetImage(handle_.load(), buffer, static_cast<int>(size), 1)) {
        *error = lastError("cannot take the frame from the library");
        return false;
    }
    int failure = 0;
    if (!drainMessages(lateFrames, &failure)) pendingFailure_ = failure;
    return true;
}

}  // namespace orvane::gst
