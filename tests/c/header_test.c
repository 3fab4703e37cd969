/* A C99 program that includes the public header and calls a few functions, as an
 * application written in C would. */
#include <stdio.h>
#include <string.h>

#include "OrvaneSdk.h"
#include "check.h"

int main(void) {
    ORVANE_HANDLE h;
    HWND window;
    OrvaneMessage msg;
    OrvaneFrameInfo frame;
    int ok = -1;

    CHECK(Orvane_GetDllVersion() == 0x01F80520u);
    CHECK(sizeof(OrvaneCameraInfo) == 56);
    CHECK(offsetof(OrvaneCameraInfo, exposureSecondsMin) == 40);
    CHECK(offsetof(OrvaneFrameInfo, buffer) == 24 || sizeof(void*) == 4);
    memset(&frame, 0, sizeof frame);

    window = Orvane_CreateMessageWindow(0);
    CHECK(window != NULL);
    h = Orvane_Initialize(window);
    CHECK(h != 0);
    while (Orvane_GetMessage(window, &msg, 0) == 1) {
    }
    CHECK(Orvane_SetColorMode(h, 12) == 0);
    CHECK(Orvane_GetMessage(window, &msg, 1000) == 1);
    CHECK(msg.message == ORVANE_WM_ERROR && msg.lParam == ORVANE_ERR_ARGUMENT);
    CHECK(Orvane_GetLastError(h) == ORVANE_ERR_ARGUMENT);
    CHECK(Orvane_GetBrightness(h, &ok) == 0);
    CHECK(ok == 1);
    CHECK(Orvane_SetBrightness(h, 256) == 0);
    CHECK(Orvane_GetLastError(h) == ORVANE_ERR_ARGUMENT);
    CHECK(Orvane_GetColorMode(h + 1) == -1);
    CHECK(Orvane_Release(h) == 1);
    CHECK(Orvane_Release(h) == 0);
    CHECK(Orvane_DestroyMessageWindow(window) == 1);

    if (failures == 0) printf("c_header_test: 1 passed, 0 failed\n");
    return failures == 0 ? 0 : 1;
}
