// Win32 application windows: handles are real HWNDs and messages go through PostMessageA,
// so they arrive in the application's own GetMessage/PeekMessage loop. A destroyed window
// is refused by the system (IsWindow/PostMessageA fail) and nothing is posted to it.
#include "platform/MessageWindow.h"

#include <windows.h>
// After windows.h:
#include <dbt.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/Sync.h"

namespace orvane::platform {
namespace {

HWND toHwnd(WindowHandle window) {
    return reinterpret_cast<HWND>(window);
}

// The camera's device-interface class.
constexpr GUID kCameraInterface = {
    0x328184C5, 0x93E6, 0x49B7, {0x94, 0xB8, 0x2A, 0xDA, 0x13, 0xAA, 0xBB, 0x39}};

struct DeviceNotifyCloser {
    void operator()(HDEVNOTIFY h) const noexcept { UnregisterDeviceNotification(h); }
};
using DeviceNotify = std::unique_ptr<void, DeviceNotifyCloser>;

// One registration per window, however many sessions name it; dropped once the window is
// gone.
struct Registration {
    HWND window = nullptr;
    DeviceNotify notify;
};

struct NotifyList {
    Mutex mutex;
    std::vector<Registration> windows ORVANE_GUARDED_BY(mutex);
    // At unload the registrations of live windows are left to the system, as an application
    // that registered its window itself would: unregistering talks to the device-event
    // service, which must not be waited for under the loader lock.
    ~NotifyList() {
        LockGuard lock(mutex);
        for (Registration& r : windows) static_cast<void>(r.notify.release());
    }
};

// The arrival or removal record sent with the library's own notifications (virtual cameras):
// the same layout the system sends for the interface class, with an empty device name.
// Static, so that the address stays valid for every window it is sent to.
const DEV_BROADCAST_DEVICEINTERFACE_A kVirtualDeviceRecord = {
    sizeof(DEV_BROADCAST_DEVICEINTERFACE_A), DBT_DEVTYP_DEVICEINTERFACE, 0, kCameraInterface, {0}};

// How long a virtual camera's arrival or removal waits for each window of another thread.
constexpr UINT kDeviceChangeAnswerMs = 1000;

NotifyList& notifyList() {
    static NotifyList list;
    return list;
}

}  // namespace

// A message-only window (HWND_MESSAGE) of the predefined "STATIC" class, for applications
// and tests that want a target without a visible window. It belongs to the creating
// thread, whose queue receives its messages.
WindowHandle createMessageWindow(unsigned long nativeWindow) {
    HWND parent = nativeWindow != 0 ? reinterpret_cast<HWND>(static_cast<uintptr_t>(nativeWindow))
                                    : HWND_MESSAGE;
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, parent, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    return reinterpret_cast<WindowHandle>(window);
}

bool destroyMessageWindow(WindowHandle window) {
    return window != nullptr && DestroyWindow(toHwnd(window)) != 0;
}

bool isMessageWindow(WindowHandle window) {
    return window != nullptr && IsWindow(toHwnd(window)) != 0;
}

unsigned long nativeWindowOf(WindowHandle window) {
    return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(window));
}

bool postMessage(WindowHandle window, unsigned int message, uintptr_t wParam, intptr_t lParam) {
    if (window == nullptr)
        return PostThreadMessageA(GetCurrentThreadId(), message, static_cast<WPARAM>(wParam),
                                  static_cast<LPARAM>(lParam)) != 0;
    if (!IsWindow(toHwnd(window))) return false;
    return PostMessageA(toHwnd(window), message, static_cast<WPARAM>(wParam),
                        static_cast<LPARAM>(lParam)) != 0;
}

int getMessage(WindowHandle window, Message* out, int timeoutMs) {
    if (out == nullptr) return 0;
    HWND hwnd = toHwnd(window);
    if (window != nullptr && !IsWindow(hwnd)) return 0;
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        // A null window: only the thread's own posted messages (hwnd -1 selects those).
        if (PeekMessageA(&msg, window != nullptr ? hwnd : reinterpret_cast<HWND>(-1), 0, 0,
                         PM_REMOVE)) {
            out->message = msg.message;
            out->wParam = static_cast<uintptr_t>(msg.wParam);
            out->lParam = static_cast<intptr_t>(msg.lParam);
            return 1;
        }
        DWORD wait = INFINITE;
        if (timeoutMs >= 0) {
            const DWORD spent = GetTickCount() - start;
            if (spent >= static_cast<DWORD>(timeoutMs)) return 0;
            wait = static_cast<DWORD>(timeoutMs) - spent;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
        if (window != nullptr && !IsWindow(hwnd)) return 0;
    }
}

// Windows loops wait on their message queue, not on a descriptor.
int messageFd(WindowHandle) {
    return -1;
}

// The system tells registered windows when a camera of the interface class arrives or goes
// (WM_DEVICECHANGE with DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE). A window that the
// system refuses to register is refused here too.
bool registerDeviceNotification(WindowHandle window) {
    if (!isMessageWindow(window)) return false;
    NotifyList& list = notifyList();
    LockGuard lock(list.mutex);
    std::erase_if(list.windows, [](const Registration& r) { return IsWindow(r.window) == 0; });
    for (const Registration& r : list.windows)
        if (r.window == toHwnd(window)) return true;
    DEV_BROADCAST_DEVICEINTERFACE_A filter{};
    filter.dbcc_size = sizeof filter;  // 32 bytes
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kCameraInterface;
    DeviceNotify notify(
        RegisterDeviceNotificationA(toHwnd(window), &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
    if (!notify) return false;
    list.windows.push_back(Registration{toHwnd(window), std::move(notify)});
    return true;
}

// Cameras the system does not know of (the virtual ones) announce themselves through here,
// to the same windows and in the same form as the system's notifications. An arrival or
// removal carries a pointer, so the system refuses to post it (ERROR_MESSAGE_SYNC_ONLY): it is
// sent, outside the list's lock so that window procedures may call back into the library. A
// window of another thread that does not answer in time (its thread may be waiting for this
// one) misses the event rather than stalling the caller.
void broadcastDeviceChange(uintptr_t event) {
    std::vector<HWND> targets;
    {
        NotifyList& list = notifyList();
        LockGuard lock(list.mutex);
        // Windows destroyed since they registered drop out here.
        std::erase_if(list.windows, [](const Registration& r) { return IsWindow(r.window) == 0; });
        for (const Registration& r : list.windows) targets.push_back(r.window);
    }
    for (HWND window : targets) {
        DWORD_PTR answer = 0;
        SendMessageTimeoutA(window, kWmDeviceChange, static_cast<WPARAM>(event),
                            reinterpret_cast<LPARAM>(&kVirtualDeviceRecord),
                            SMTO_NORMAL | SMTO_ABORTIFHUNG, kDeviceChangeAnswerMs, &answer);
    }
}

}  // namespace orvane::platform
