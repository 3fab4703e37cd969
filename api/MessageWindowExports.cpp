// The POSIX message windows: stand-ins for application windows, exported only where HWND is
// not a real window handle. The Windows build leaves this file out.
#include "OrvaneSdk.h"
#include "platform/MessageWindow.h"

extern "C" {

ORVANE_API HWND Orvane_CreateMessageWindow(unsigned long nativeWindow) {
    try {
        return orvane::platform::createMessageWindow(nativeWindow);
    } catch (...) {
        return nullptr;
    }
}

ORVANE_API int Orvane_DestroyMessageWindow(HWND window) {
    try {
        return orvane::platform::destroyMessageWindow(window) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

ORVANE_API int Orvane_GetMessage(HWND window, OrvaneMessage* msg, int timeoutMs) {
    try {
        orvane::platform::Message m{};
        if (orvane::platform::getMessage(window, &m, timeoutMs) != 1) return 0;
        if (msg != nullptr) *msg = OrvaneMessage{m.message, m.wParam, m.lParam};
        return 1;
    } catch (...) {
        return 0;
    }
}

ORVANE_API int Orvane_GetMessageFd(HWND window) {
    try {
        return orvane::platform::messageFd(window);
    } catch (...) {
        return -1;
    }
}

}  // extern "C"
