// Message windows: the POSIX stand-in for application windows that receive posted
// messages. A window handle is an opaque value (never dereferenced, never reused), so a
// message posted to a destroyed window is simply dropped.
#pragma once

#include <cstddef>
#include <cstdint>

struct OrvaneWindow;  // Opaque; the public header's HWND is a pointer to it.

namespace orvane::platform {

using WindowHandle = OrvaneWindow*;

struct Message {
    unsigned int message;
    uintptr_t wParam;
    intptr_t lParam;
};

constexpr unsigned int kWmDeviceChange = 0x0219;
constexpr uintptr_t kDbtDeviceArrival = 0x8000;
constexpr uintptr_t kDbtDeviceRemoveComplete = 0x8004;

// Queued messages per window (or per thread); further posts fail until the owner reads,
// so an application that never reads cannot make the library grow without bound.
constexpr size_t kMaxQueuedMessages = 10000;

// nativeWindow: the X11 window that previews are parented to (0 for none).
WindowHandle createMessageWindow(unsigned long nativeWindow);
bool destroyMessageWindow(WindowHandle window);
bool isMessageWindow(WindowHandle window);
unsigned long nativeWindowOf(WindowHandle window);

// Queues a message. A null window means the calling thread's own queue. Returns false for
// a destroyed or unknown window or a full queue.
bool postMessage(WindowHandle window, unsigned int message, uintptr_t wParam, intptr_t lParam);

// 1: a message was taken; 0: timed out, or the window is unknown or was destroyed while
// waiting. A null window reads the calling thread's queue. timeoutMs < 0 waits for ever.
int getMessage(WindowHandle window, Message* out, int timeoutMs);

// A descriptor that is readable while messages wait (for poll()-based loops); -1 for an
// unknown window. It stays owned by the window.
int messageFd(WindowHandle window);

// Device-change notifications: windows registered here receive WM_DEVICECHANGE with
// DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE from the USB backends.
bool registerDeviceNotification(WindowHandle window);
void broadcastDeviceChange(uintptr_t event);

}  // namespace orvane::platform
