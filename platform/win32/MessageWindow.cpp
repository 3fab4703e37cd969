// Win32 application windows: handles are real HWNDs and messages go through PostMessageA,
// so they arrive in the application's own GetMessage/PeekMessage loop. A destroyed window
// is refused by the system (IsWindow/PostMessageA fail) and nothing is posted to it.
#include "platform/MessageWindow.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/Sync.h"

namespace orvane::platform {
namespace {

HWND toHwnd(WindowHandle window) {
    return reinterpret_cast<HWND>(window);
}

struct NotifyList {
    Mutex mutex;
    std::vector<HWND> windows ORVANE_GUARDED_BY(mutex);
};

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

bool registerDeviceNotification(WindowHandle window) {
    if (!isMessageWindow(window)) return false;
    NotifyList& list = notifyList();
    LockGuard lock(list.mutex);
    if (std::find(list.windows.begin(), list.windows.end(), toHwnd(window)) == list.windows.end())
        list.windows.push_back(toHwnd(window));
    return true;
}

void broadcastDeviceChange(uintptr_t event) {
    NotifyList& list = notifyList();
    LockGuard lock(list.mutex);
    // Windows destroyed since they registered drop out here.
    std::erase_if(list.windows, [](HWND w) { return IsWindow(w) == 0; });
    for (HWND w : list.windows) PostMessageA(w, kWmDeviceChange, static_cast<WPARAM>(event), 0);
}

}  // namespace orvane::platform
