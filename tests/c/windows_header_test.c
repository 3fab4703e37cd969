/* A C99 Windows program: <windows.h> first, then the public header, linked against the DLL's
 * import library. Errors arrive as ORVANE_WM_ERROR through an ordinary message loop. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "OrvaneSdk.h"
#include "check.h"

/* The first ORVANE_WM_ERROR for `window` within about a second: its lParam, or -1. */
static LPARAM next_error(HWND window) {
    MSG msg;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 1000) {
        while (PeekMessageA(&msg, window, 0, 0, PM_REMOVE)) {
            if (msg.message == ORVANE_WM_ERROR) return msg.lParam;
        }
        Sleep(5);
    }
    return -1;
}

int main(void) {
    ORVANE_HANDLE h;
    HWND window;
    int ok = -1;

    CHECK(Orvane_GetDllVersion() == 0x01F80520u);
    CHECK(sizeof(OrvaneCameraInfo) == 56);
    CHECK(sizeof(OrvaneWChar) == sizeof(wchar_t));

    window = CreateWindowExA(0, "STATIC", "orvane", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                             GetModuleHandleA(NULL), NULL);
    CHECK(window != NULL);
    h = Orvane_Initialize(window);
    CHECK(h != 0);
    while (next_error(window) != -1) {
    }
    CHECK(Orvane_SetColorMode(h, 12) == 0);
    CHECK(next_error(window) == ORVANE_ERR_ARGUMENT);
    CHECK(Orvane_GetLastError(h) == ORVANE_ERR_ARGUMENT);
    CHECK(Orvane_GetBrightness(h, &ok) == 0);
    CHECK(ok == 1);
    CHECK(Orvane_GetColorMode(h + 1) == -1);
    CHECK(Orvane_Release(h) == 1);
    CHECK(Orvane_Release(h) == 0);
    CHECK(DestroyWindow(window));

    if (failures == 0) printf("c_windows_header_test: 1 passed, 0 failed\n");
    return failures == 0 ? 0 : 1;
}
