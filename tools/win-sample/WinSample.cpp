// orvane-win-sample: a small Windows application on the camera library's public interface.
// It lists the attached cameras, runs Orvane_CallBackPreview into a buffer of its own and
// draws every frame it is told about, follows cameras arriving and going (WM_DEVICECHANGE),
// shows the library's errors in its status line and opens the three settings dialogs from
// its menu.
//
//   orvane-win-sample [--exit-after SECONDS] [--dialogs] [--screenshot FILE.bmp]
//
// --exit-after closes the window after that many seconds and exits 0 when frames were drawn
// (1 otherwise); --dialogs opens each settings dialog once at start-up and cancels it after a
// moment; --screenshot writes the window's client area as a BMP file before exiting. Those
// three let a script run the sample unattended.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "OrvaneSdk.h"

namespace {

constexpr UINT kIdCameraList = 100;
constexpr UINT kIdStatus = 101;
constexpr UINT kMenuStreamDialog = 200;
constexpr UINT kMenuImageDialog = 201;
constexpr UINT kMenuAnalogDialog = 202;
constexpr UINT kMenuRestart = 203;
constexpr UINT kMenuExit = 204;
constexpr DWORD kDialogCancelDelayMs = 700;
constexpr UINT kMsgOpenDialogs = WM_APP + 1;
constexpr int kListWidth = 220;
constexpr int kStatusHeight = 22;

struct Options {
    int exitAfterSeconds = 0;
    bool dialogs = false;
    std::string screenshot;
};

struct App {
    Options options;
    HWND window = nullptr;
    HWND list = nullptr;
    HWND status = nullptr;
    ORVANE_HANDLE camera = 0;
    std::vector<uint8_t> frame;  // 24-bit, bottom row first: a bottom-up DIB's layout
    int frameWidth = 0;
    int frameHeight = 0;
    long framesDrawn = 0;
    int lastError = 0;
    bool previewing = false;
};

App g_app;  // the one window's state; touched only by the window's thread

void setStatus(const char* text) {
    if (g_app.status != nullptr) SetWindowTextA(g_app.status, text);
}

void showCounts() {
    char text[160];
    std::snprintf(text, sizeof text, "%dx%d, %ld frames drawn%s%s", g_app.frameWidth,
                  g_app.frameHeight, g_app.framesDrawn, g_app.lastError != 0 ? ", last error " : "",
                  g_app.lastError != 0 ? std::to_string(g_app.lastError).c_str() : "");
    setStatus(text);
}

void fillCameraList() {
    SendMessageA(g_app.list, LB_RESETCONTENT, 0, 0);
    char names[10][256] = {};
    const int count = g_app.camera != 0 ? Orvane_EnumDevice(g_app.camera, names) : 0;
    for (int i = 0; i < count && i < 10; ++i) {
        char row[300];
        std::snprintf(row, sizeof row, "%d: %s", i, names[i]);
        SendMessageA(g_app.list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
    }
    if (count == 0)
        SendMessageA(g_app.list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("(no camera)"));
}

void stopPreview() {
    if (g_app.camera != 0 && g_app.previewing) Orvane_StopPreview(g_app.camera);
    g_app.previewing = false;
}

// (Re)starts the preview into the frame buffer, sized for the current capture window.
bool startPreview() {
    stopPreview();
    if (g_app.camera == 0) return false;
    // No window of the library's own: this application draws the frames itself.
    Orvane_SetPreviewWindow(g_app.camera, nullptr, 0, 0, 0, 0);
    Orvane_SetColorMode(g_app.camera, 24);
    g_app.frameWidth = Orvane_Width(g_app.camera);
    g_app.frameHeight = Orvane_Height(g_app.camera);
    const size_t stride = (static_cast<size_t>(g_app.frameWidth) * 3 + 3) & ~static_cast<size_t>(3);
    g_app.frame.assign(stride * static_cast<size_t>(g_app.frameHeight), 0);
    if (g_app.frame.empty()) return false;
    g_app.previewing = Orvane_CallBackPreview(g_app.camera, g_app.window, g_app.frame.data(),
                                              static_cast<int>(g_app.frame.size()), 0) == 1;
    if (!g_app.previewing) setStatus("preview could not be started");
    return g_app.previewing;
}

RECT previewArea(HWND hwnd) {
    RECT r{};
    GetClientRect(hwnd, &r);
    r.left = kListWidth;
    r.bottom -= kStatusHeight;
    return r;
}

void paintFrame(HDC dc, const RECT& area) {
    if (g_app.frame.empty() || g_app.frameWidth <= 0) {
        FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        return;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = g_app.frameWidth;
    info.bmiHeader.biHeight = g_app.frameHeight;  // bottom-up, as requested with row order 0
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    // Scaled to fit, keeping the picture's proportions.
    const int aw = area.right - area.left, ah = area.bottom - area.top;
    int w = aw,
        h = static_cast<int>(static_cast<long long>(aw) * g_app.frameHeight / g_app.frameWidth);
    if (h > ah) {
        h = ah;
        w = static_cast<int>(static_cast<long long>(ah) * g_app.frameWidth / g_app.frameHeight);
    }
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchDIBits(dc, area.left, area.top, w, h, 0, 0, g_app.frameWidth, g_app.frameHeight,
                  g_app.frame.data(), &info, DIB_RGB_COLORS, SRCCOPY);
    RECT right{area.left + w, area.top, area.right, area.bottom};
    RECT below{area.left, area.top + h, area.left + w, area.bottom};
    FillRect(dc, &right, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    FillRect(dc, &below, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

// Writes the client area as a 24-bit BMP file.
bool saveScreenshot(HWND hwnd, const std::string& path) {
    RECT r{};
    GetClientRect(hwnd, &r);
    const int w = r.right, h = r.bottom;
    if (w <= 0 || h <= 0) return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    HDC dc = GetDC(hwnd);
    HDC memory = CreateCompatibleDC(dc);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (memory != nullptr && dib != nullptr) {
        HGDIOBJ old = SelectObject(memory, dib);
        ok = BitBlt(memory, 0, 0, w, h, dc, 0, 0, SRCCOPY) != 0;
        GdiFlush();
        SelectObject(memory, old);
    }
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    const DWORD imageBytes = stride * static_cast<DWORD>(h);
    if (ok) {
        BITMAPFILEHEADER file{};
        file.bfType = 0x4D42;  // "BM"
        file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
        file.bfSize = file.bfOffBits + imageBytes;
        info.bmiHeader.biSizeImage = imageBytes;
        FILE* out = std::fopen(path.c_str(), "wb");
        ok = out != nullptr && std::fwrite(&file, sizeof file, 1, out) == 1 &&
             std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
             std::fwrite(bits, imageBytes, 1, out) == 1;
        if (out != nullptr && std::fclose(out) != 0) ok = false;
    }
    if (dib != nullptr) DeleteObject(dib);
    if (memory != nullptr) DeleteDC(memory);
    ReleaseDC(hwnd, dc);
    return ok;
}

// While a modal dialog runs (opened with --dialogs), this cancels it: the dialog is the
// enabled, visible window of this thread other than the main window.
void cancelOpenDialog(DWORD windowThread) {
    EnumThreadWindows(
        windowThread,
        [](HWND w, LPARAM) -> BOOL {
            if (w != g_app.window && IsWindowVisible(w) && IsWindowEnabled(w)) {
                PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
                PostMessageA(w, WM_CLOSE, 0, 0);
            }
            return TRUE;
        },
        0);
}

void openDialog(UINT which) {
    if (g_app.camera == 0) return;
    int result = 0;
    switch (which) {
        case kMenuStreamDialog:
            result = Orvane_SetCameraDlg(g_app.camera, g_app.window);
            break;
        case kMenuImageDialog:
            result = Orvane_SetImageDlg(g_app.camera, g_app.window);
            break;
        default:
            result = Orvane_SetAnalogDlg(g_app.camera, g_app.window);
            break;
    }
    if (result == 0) {
        g_app.lastError = Orvane_GetLastError(g_app.camera);
        showCounts();
    }
}

HMENU makeMenu() {
    HMENU bar = CreateMenu();
    HMENU camera = CreatePopupMenu();
    AppendMenuA(camera, MF_STRING, kMenuRestart, "&Restart preview");
    AppendMenuA(camera, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(camera, MF_STRING, kMenuExit, "E&xit");
    HMENU settings = CreatePopupMenu();
    AppendMenuA(settings, MF_STRING, kMenuStreamDialog, "&Stream format...");
    AppendMenuA(settings, MF_STRING, kMenuImageDialog, "&Image filter...");
    AppendMenuA(settings, MF_STRING, kMenuAnalogDialog, "&Analog gain...");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(camera), "&Camera");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(settings), "&Settings");
    return bar;
}

LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: {
            g_app.window = hwnd;
            const auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            g_app.list = CreateWindowExA(
                WS_EX_CLIENTEDGE, "LISTBOX", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOTIFY, 0,
                0, kListWidth, 100, hwnd,
                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdCameraList)), cs->hInstance,
                nullptr);
            g_app.status = CreateWindowExA(
                0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFT, 0, 0, 100, kStatusHeight, hwnd,
                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdStatus)), cs->hInstance, nullptr);
            g_app.camera = Orvane_Initialize(hwnd);
            fillCameraList();
            if (g_app.camera == 0)
                setStatus("the camera library could not make a session");
            else
                startPreview();
            if (g_app.options.dialogs) PostMessageA(hwnd, kMsgOpenDialogs, 0, 0);
            return 0;
        }
        case WM_SIZE: {
            const int w = LOWORD(lParam), h = HIWORD(lParam);
            MoveWindow(g_app.list, 0, 0, kListWidth, h - kStatusHeight, TRUE);
            MoveWindow(g_app.status, 0, h - kStatusHeight, w, kStatusHeight, TRUE);
            return 0;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            paintFrame(dc, previewArea(hwnd));
            EndPaint(hwnd, &ps);
            return 0;
        }
        case ORVANE_WM_FRAME:
            if (lParam == 0) {
                // A fast camera can post frames quicker than they are drawn: draw only the
                // newest, or the queue never empties and timers and painting starve.
                MSG newer;
                if (PeekMessageA(&newer, hwnd, ORVANE_WM_FRAME, ORVANE_WM_FRAME, PM_NOREMOVE) &&
                    newer.lParam == 0)
                    return 0;
                ++g_app.framesDrawn;
                const RECT area = previewArea(hwnd);
                HDC dc = GetDC(hwnd);
                paintFrame(dc, area);
                ReleaseDC(hwnd, dc);
                if (g_app.framesDrawn % 10 == 1) showCounts();
            } else {
                g_app.lastError = static_cast<int>(lParam);  // 5 or 13: acquisition trouble
                showCounts();
            }
            return 0;
        case ORVANE_WM_ERROR:
            g_app.lastError = static_cast<int>(lParam);
            showCounts();
            return 0;
        case WM_DEVICECHANGE:
            // A camera arrived or went: list again; the session opens a sole camera itself.
            fillCameraList();
            return TRUE;
        case kMsgOpenDialogs:
            // Each modal dialog is cancelled from another thread after a moment: a timer of
            // this thread could starve behind the stream of frame messages.
            for (UINT which : {kMenuStreamDialog, kMenuImageDialog, kMenuAnalogDialog}) {
                const DWORD self = GetCurrentThreadId();
                std::thread canceller([self] {
                    Sleep(kDialogCancelDelayMs);
                    cancelOpenDialog(self);
                });
                openDialog(which);
                canceller.join();
            }
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == kIdCameraList && HIWORD(wParam) == LBN_DBLCLK) {
                const LRESULT row = SendMessageA(g_app.list, LB_GETCURSEL, 0, 0);
                if (row >= 0 && g_app.camera != 0) {
                    stopPreview();
                    if (Orvane_SetDeviceNumber(g_app.camera, static_cast<int>(row)) == 1)
                        startPreview();
                }
            } else if (LOWORD(wParam) == kMenuRestart) {
                startPreview();
            } else if (LOWORD(wParam) == kMenuExit) {
                PostMessageA(hwnd, WM_CLOSE, 0, 0);
            } else if (LOWORD(wParam) >= kMenuStreamDialog && LOWORD(wParam) <= kMenuAnalogDialog) {
                openDialog(LOWORD(wParam));
            }
            return 0;
        case WM_CLOSE:
            if (!g_app.options.screenshot.empty() &&
                !saveScreenshot(hwnd, g_app.options.screenshot))
                std::fprintf(stderr, "screenshot %s could not be written\n",
                             g_app.options.screenshot.c_str());
            stopPreview();
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            if (g_app.camera != 0) Orvane_Release(g_app.camera);
            g_app.camera = 0;
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

bool parseOptions(int argc, char** argv, Options* out) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--exit-after" && i + 1 < argc) {
            out->exitAfterSeconds = std::atoi(argv[++i]);
            if (out->exitAfterSeconds <= 0) return false;
        } else if (a == "--dialogs") {
            out->dialogs = true;
        } else if (a == "--screenshot" && i + 1 < argc) {
            out->screenshot = argv[++i];
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    if (!parseOptions(__argc, __argv, &g_app.options)) {
        MessageBoxA(nullptr,
                    "usage: orvane-win-sample [--exit-after SECONDS] [--dialogs] "
                    "[--screenshot FILE.bmp]",
                    "orvane-win-sample", MB_OK | MB_ICONINFORMATION);
        return 2;
    }
    WNDCLASSEXA cls{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = procedure;
    cls.hInstance = instance;
    cls.hCursor = LoadCursor(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    cls.lpszClassName = "OrvaneWinSample";
    if (RegisterClassExA(&cls) == 0) return 1;
    HWND window = CreateWindowExA(0, cls.lpszClassName, "Orvane camera sample",
                                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 960, 640, nullptr, makeMenu(), instance, nullptr);
    if (window == nullptr) return 1;
    ShowWindow(window, show);
    UpdateWindow(window);
    // The unattended run ends from a thread of its own, for the same reason as the dialogs'
    // cancel; a window closed earlier by hand ends it too.
    HANDLE quit = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread closer;
    if (g_app.options.exitAfterSeconds > 0 && quit != nullptr)
        closer = std::thread(
            [quit, window, ms = static_cast<DWORD>(g_app.options.exitAfterSeconds) * 1000] {
                if (WaitForSingleObject(quit, ms) == WAIT_TIMEOUT)
                    PostMessageA(window, WM_CLOSE, 0, 0);
            });
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (quit != nullptr) SetEvent(quit);
    if (closer.joinable()) closer.join();
    if (quit != nullptr) CloseHandle(quit);
    std::printf("frames drawn: %ld\n", g_app.framesDrawn);
    if (g_app.options.exitAfterSeconds > 0) return g_app.framesDrawn > 0 ? 0 : 1;
    return 0;
}
