// The POSIX message-window calls the API tests use, for the Windows build of those tests:
// real message-only windows, read through PeekMessage on the thread that made them. Included
// ahead of every source of the Windows test programs (scripts: tests/WindowsTests.cmake),
// so that the same tests check that 0x8002/0x8003 reach a real Windows message queue.
#pragma once

#include <windows.h>

#include <cstdint>

struct OrvaneMessage {
    unsigned int message;
    uintptr_t wParam;
    intptr_t lParam;
};

// nativeWindow: a parent window, or 0 for a message-only window.
HWND Orvane_CreateMessageWindow(unsigned long nativeWindow);
int Orvane_DestroyMessageWindow(HWND window);
// 1: a message posted to `window` (or, for a null window, to the calling thread) was taken
// within timeoutMs (< 0: no limit); 0: none came, or the window does not exist.
int Orvane_GetMessage(HWND window, OrvaneMessage* msg, int timeoutMs);
