#include "Win32Messages.h"

HWND Orvane_CreateMessageWindow(unsigned long nativeWindow) {
    HWND parent = nativeWindow != 0 ? reinterpret_cast<HWND>(static_cast<uintptr_t>(nativeWindow))
                                    : HWND_MESSAGE;
    return CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, parent, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

int Orvane_DestroyMessageWindow(HWND window) {
    return window != nullptr && DestroyWindow(window) ? 1 : 0;
}

int Orvane_GetMessage(HWND window, OrvaneMessage* msg, int timeoutMs) {
    if (window != nullptr && !IsWindow(window)) return 0;
    // (HWND)-1 selects the messages posted to the thread itself rather than to a window.
    HWND filter = window != nullptr ? window : reinterpret_cast<HWND>(-1);
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        MSG m{};
        if (PeekMessageA(&m, filter, 0, 0, PM_REMOVE)) {
            if (msg != nullptr) *msg = OrvaneMessage{m.message, m.wParam, m.lParam};
            return 1;
        }
        DWORD wait = INFINITE;
        if (timeoutMs >= 0) {
            const ULONGLONG elapsed = GetTickCount64() - start;
            if (elapsed >= static_cast<ULONGLONG>(timeoutMs)) return 0;
            wait = static_cast<DWORD>(static_cast<ULONGLONG>(timeoutMs) - elapsed);
        }
        // Wakes for anything new in this thread's queue; the loop takes it.
        MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLPOSTMESSAGE, MWMO_INPUTAVAILABLE);
        if (window != nullptr && !IsWindow(window)) return 0;
    }
}
