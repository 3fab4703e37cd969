// The live-preview window on Windows (GDI).
//
// Message loop. A window answers messages only on the thread that made it, and the thread
// that starts a preview is whatever application thread called Orvane_Preview: often one that
// never pumps messages while the preview runs (a console program, a worker thread, a loop
// blocked in WaitForSingleObject). An unpumped window freezes: the shell marks it as not
// responding, it never repaints its frame, moving or closing it hangs, and destroying its
// parent waits for it. So every preview window has a thread of its own, owned by the window
// object: it registers the class, creates the window, runs GetMessage, and when the window is
// gone (destroyed by the owner, or by the application together with its parent) it
// unregisters the class and ends. The creator and the destructor wait for that thread while
// handling messages sent to their own thread, because creating and destroying a child sends
// WM_PARENTNOTIFY to the parent, whose thread is typically the one waiting.
//
// Window procedure: everything goes to DefWindowProcA except the close button of the
// top-level window, which hides it (the window belongs to the session until Close; the next
// start shows it again), and a private message with which the owner has the window destroyed
// on its own thread.
//
// Drawing happens on the caller's thread (the session's acquisition thread): the pixels are
// copied into a DIB section selected into a memory DC owned by this object, then sent to the
// window's DC, taken and released per frame on that thread (a DC must be released by the
// thread that got it, and a window destroyed in between then simply refuses the DC) with
// BitBlt; pixels whose first memory row is the top are turned over on the copy into the DIB.
// 8-bit pixels carry a linear gray colour table and are drawn through a gray palette.
#include "platform/PreviewWindow.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Log.h"
#include "platform/win32/GdiObject.h"

namespace orvane::platform {
namespace {

constexpr const char* kChildTitle = "ActiveMovie Window";
constexpr const char* kTopLevelTitle = "Active Window";
constexpr DWORD kChildStyle = 0x52000000;     // WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN
constexpr DWORD kTopLevelStyle = 0x16CF0000;  // WS_OVERLAPPEDWINDOW | WS_VISIBLE | clip both
constexpr int kChildId = 6540;
// Posted by the owner: destroy the window (on its own thread, as DestroyWindow requires).
constexpr UINT kDestroyMessage = WM_APP + 0x3A1;

HWND hwndFrom(unsigned long native) {
    // Window handles carry 32 significant bits; LongToHandle restores the sign extension.
    return static_cast<HWND>(LongToHandle(static_cast<LONG>(native)));
}

struct HandleCloser {
    void operator()(HANDLE h) const noexcept { CloseHandle(h); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// A memory DC with a DIB section selected into it; the DC's original bitmap is put back
// before either is deleted.
class DibSurface {
  public:
    DibSurface() = default;
    ~DibSurface() { release(); }
    DibSurface(const DibSurface&) = delete;
    DibSurface& operator=(const DibSurface&) = delete;

    bool matches(int width, int height, int bytesPerPixel) const {
        return dc_ != nullptr && width_ == width && height_ == height &&
               bytesPerPixel_ == bytesPerPixel;
    }
    // A bottom-up DIB of the size and depth; 8-bit ones with a linear gray colour table.
    bool create(int width, int height, int bytesPerPixel) {
        release();
        struct {
            BITMAPINFOHEADER header;
            RGBQUAD colors[256];
        } info{};
        info.header.biSize = sizeof(BITMAPINFOHEADER);
        info.header.biWidth = width;
        info.header.biHeight = height;  // positive: the last memory row is the top
        info.header.biPlanes = 1;
        info.header.biBitCount = static_cast<WORD>(bytesPerPixel * 8);
        info.header.biCompression = BI_RGB;
        if (bytesPerPixel == 1) {
            info.header.biClrUsed = 256;
            for (int i = 0; i < 256; ++i) {
                const auto v = static_cast<BYTE>(i);
                info.colors[i] = RGBQUAD{v, v, v, 0};
            }
        }
        dc_ = CreateCompatibleDC(nullptr);
        if (dc_ == nullptr) return false;
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(dc_, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                   &bits, nullptr, 0);
        if (bitmap_ == nullptr || bits == nullptr) {
            release();
            return false;
        }
        previous_ = SelectObject(dc_, bitmap_);
        bits_ = static_cast<uint8_t*>(bits);
        width_ = width;
        height_ = height;
        bytesPerPixel_ = bytesPerPixel;
        stride_ = ((width * bytesPerPixel * 8 + 31) / 32) * 4;
        return true;
    }
    void release() {
        if (dc_ != nullptr && previous_ != nullptr) SelectObject(dc_, previous_);
        if (bitmap_ != nullptr) DeleteObject(bitmap_);
        if (dc_ != nullptr) DeleteDC(dc_);
        dc_ = nullptr;
        bitmap_ = nullptr;
        previous_ = nullptr;
        bits_ = nullptr;
        width_ = height_ = bytesPerPixel_ = stride_ = 0;
    }
    HDC dc() const { return dc_; }
    uint8_t* row(int memoryRow) const {
        return bits_ + static_cast<ptrdiff_t>(memoryRow) * stride_;
    }
    int stride() const { return stride_; }

  private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    uint8_t* bits_ = nullptr;
    int width_ = 0, height_ = 0, bytesPerPixel_ = 0, stride_ = 0;
};

// The 256 grays as a logical palette, for displays that draw through one (null when it
// cannot be made).
HPALETTE createGrayPalette() {
    struct {
        WORD version;
        WORD count;
        PALETTEENTRY entries[256];
    } log{0x300, 256, {}};
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<BYTE>(i);
        log.entries[i] = PALETTEENTRY{v, v, v, 0};
    }
    return CreatePalette(reinterpret_cast<const LOGPALETTE*>(&log));
}

// Waits for a kernel object while running the messages other threads send to this one, so
// that a child's creation or destruction (which sends to the parent's thread, often this one)
// cannot deadlock. Posted messages stay queued for the application's own loop.
void waitHandlingSentMessages(HANDLE object) {
    for (;;) {
        const DWORD r = MsgWaitForMultipleObjects(1, &object, FALSE, INFINITE, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0 + 1) {
            MSG msg;
            PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            continue;
        }
        return;  // signalled, or the wait itself failed (a closed handle): nothing to wait for
    }
}

}  // namespace

struct PreviewWindow::Impl {
    PreviewPlacement placement;
    char className[64] = {};
    // Written by the window thread before `ready` is signalled, read-only afterwards.
    HWND window = nullptr;
    ATOM atom = 0;
    bool created = false;
    DWORD error = 0;  // why creation failed
    // Cleared by the window thread when the window is destroyed, by whoever destroys it.
    std::atomic<bool> alive{false};
    UniqueHandle ready;
    UniqueHandle thread;
    DWORD threadId = 0;
    // Drawing state, used only by the drawing thread.
    DibSurface surface;
    GdiObject<HPALETTE> grays{createGrayPalette()};

    static DWORD WINAPI threadMain(void* self);
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void createWindow();
    void runLoop();
};

LRESULT CALLBACK PreviewWindow::Impl::procedure(HWND hwnd, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    auto* self = reinterpret_cast<Impl*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    switch (message) {
        case WM_CLOSE:
            // The close button only hides the preview.
            ShowWindow(hwnd, SW_HIDE);
            return 0;
        case kDestroyMessage:
            DestroyWindow(hwnd);
            return 0;
        case WM_NCDESTROY:
            if (self != nullptr) {
                self->alive.store(false);
                // The window is gone, whoever destroyed it: the thread has nothing left to do.
                PostQuitMessage(0);
            }
            break;
        default:
            break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void PreviewWindow::Impl::createWindow() {
    // A fresh name per window: the session's address and a time-and-random stamp.
    std::snprintf(className, sizeof className, "VideoRenderer_%08x_%08x",
                  static_cast<unsigned>(placement.owner),
                  static_cast<unsigned>(timeGetTime() + static_cast<DWORD>(std::rand())));
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA cls{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = &Impl::procedure;
    cls.hInstance = instance;
    cls.hCursor = LoadCursor(nullptr, IDC_ARROW);
    cls.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    cls.lpszClassName = className;
    atom = RegisterClassExA(&cls);
    if (atom == 0) {
        error = GetLastError();
        return;
    }

    HWND made = nullptr;
    if (placement.parent != 0) {
        made = CreateWindowExA(0, className, kChildTitle, kChildStyle, placement.x, placement.y,
                               placement.width, placement.height, hwndFrom(placement.parent),
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kChildId)), instance,
                               this);
    } else {
        RECT r{0, 0, placement.width, placement.height};
        if (!AdjustWindowRectEx(&r, kTopLevelStyle, FALSE, 0)) {
            error = GetLastError();
            return;
        }
        int x = (GetSystemMetrics(SM_CXSCREEN) + r.left - r.right) / 2;
        int y = (GetSystemMetrics(SM_CYSCREEN) + r.top - r.bottom) / 2;
        x = std::max(x, 0);
        y = std::max(y, 0);
        made = CreateWindowExA(0, className, kTopLevelTitle, kTopLevelStyle, x, y, r.right - r.left,
                               r.bottom - r.top, nullptr, nullptr, instance, this);
    }
    if (made == nullptr) {
        error = GetLastError();
        return;
    }
    window = made;
    alive.store(true);
    SetFocus(made);
    ShowWindow(made, SW_SHOW);
    HDC dc = UpdateWindow(made) ? GetDC(made) : nullptr;
    if (dc == nullptr) {
        error = GetLastError();
        DestroyWindow(made);
        return;
    }
    ReleaseDC(made, dc);
    created = true;
}

void PreviewWindow::Impl::runLoop() {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

DWORD WINAPI PreviewWindow::Impl::threadMain(void* self) {
    Impl& m = *static_cast<Impl*>(self);
    m.createWindow();
    const bool created = m.created;
    SetEvent(m.ready.get());
    if (created) m.runLoop();
    // GetMessage failing is the only other way out: the window must not outlive the thread.
    if (m.window != nullptr && IsWindow(m.window)) DestroyWindow(m.window);
    if (m.atom != 0) UnregisterClassA(m.className, GetModuleHandleA(nullptr));
    return 0;
}

PreviewWindow::PreviewWindow(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

PreviewWindow::~PreviewWindow() {
    Impl& m = *impl_;
    if (!m.thread) return;
    // Posting fails when the window has already gone; its thread is then ending by itself.
    if (m.alive.load()) PostMessageA(m.window, kDestroyMessage, 0, 0);
    waitHandlingSentMessages(m.thread.get());
}

std::unique_ptr<PreviewWindow> PreviewWindow::create(const PreviewPlacement& placement,
                                                     PreviewResult* result) {
    PreviewResult ignored;
    PreviewResult& r = result != nullptr ? *result : ignored;
    r = PreviewResult::Failed;
    if (placement.parent != 0 && IsWindow(hwndFrom(placement.parent)) == 0) {
        r = PreviewResult::BadParent;
        return nullptr;
    }
    if (placement.width < 0 || placement.height < 0) return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->placement = placement;
    impl->ready.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!impl->ready) return nullptr;
    impl->thread.reset(CreateThread(nullptr, 0, &Impl::threadMain, impl.get(), 0, &impl->threadId));
    if (!impl->thread) return nullptr;
    // From here the object owns a running thread: its destructor collects it on every path.
    std::unique_ptr<PreviewWindow> window(new PreviewWindow(std::move(impl)));
    Impl& m = *window->impl_;
    waitHandlingSentMessages(m.ready.get());
    if (!m.created) {
        ORVANE_LOG(LogLevel::Warn, "preview: window could not be made (error %lu)",
                   static_cast<unsigned long>(m.error));
        return nullptr;
    }
    r = PreviewResult::Ok;
    return window;
}

PreviewState PreviewWindow::poll() {
    Impl& m = *impl_;
    PreviewState s;
    if (!m.alive.load() || IsWindow(m.window) == 0) {
        s.destroyed = true;
        return s;
    }
    RECT client{};
    if (GetClientRect(m.window, &client)) {
        s.width = client.right - client.left;
        s.height = client.bottom - client.top;
    }
    // Hidden (itself or through an ancestor) or minimised windows are not drawn.
    s.mapped = IsWindowVisible(m.window) != 0 && IsIconic(m.window) == 0;
    return s;
}

bool PreviewWindow::put(const PreviewPixels& px) {
    Impl& m = *impl_;
    if (!m.alive.load() || px.bits == nullptr || px.width <= 0 || px.height <= 0 ||
        (px.bytesPerPixel != 1 && px.bytesPerPixel != 3) || px.stride < px.width * px.bytesPerPixel)
        return false;
    if (!m.surface.matches(px.width, px.height, px.bytesPerPixel) &&
        !m.surface.create(px.width, px.height, px.bytesPerPixel))
        return false;
    // The DIB is bottom-up (its last memory row is the top). Pixels stored top row first are
    // turned over while they are copied: a mirrored StretchBlt source rectangle would do the
    // same, but GDI implementations disagree by one row on where such a rectangle starts.
    const size_t rowBytes = static_cast<size_t>(px.width) * static_cast<size_t>(px.bytesPerPixel);
    for (int y = 0; y < px.height; ++y) {
        const int to = px.bottomUp ? y : px.height - 1 - y;
        std::memcpy(m.surface.row(to), px.bits + static_cast<ptrdiff_t>(y) * px.stride, rowBytes);
    }
    GdiFlush();  // the DIB's memory is complete before GDI reads it

    HDC dc = GetDC(m.window);
    if (dc == nullptr) return false;
    HPALETTE oldPalette = nullptr;
    if (px.bytesPerPixel == 1 && m.grays.get() != nullptr) {
        oldPalette = SelectPalette(dc, m.grays.get(), TRUE);
        RealizePalette(dc);
    }
    const BOOL ok = BitBlt(dc, 0, 0, px.width, px.height, m.surface.dc(), 0, 0, SRCCOPY);
    if (oldPalette != nullptr) SelectPalette(dc, oldPalette, TRUE);
    ReleaseDC(m.window, dc);
    return ok != 0;
}

void PreviewWindow::show() {
    Impl& m = *impl_;
    // Asynchronous: the window's thread shows it; a caller never waits on that thread.
    if (m.alive.load()) ShowWindowAsync(m.window, SW_SHOW);
}

unsigned long PreviewWindow::nativeWindow() const {
    return HandleToULong(impl_->window);
}

const char* PreviewWindow::className() const {
    return impl_->className;
}

bool PreviewWindow::usesSharedMemory() const {
    return false;
}

}  // namespace orvane::platform
