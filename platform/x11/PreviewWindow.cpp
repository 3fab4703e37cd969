// The live-preview window on X11.
//
// Connection. Every preview window opens its own Display connection. Xlib is only safe for
// several threads after XInitThreads, which must be the first Xlib call of the process; a
// library loaded into an arbitrary application (possibly a GTK one that has already opened
// its display) cannot promise that. A private connection used by one thread at a time needs
// no process-wide state, and a slow or stuck server then only affects this preview. (Since
// libX11 1.8 Xlib locks every connection by itself anyway; the session still uses a window
// from one thread at a time, under its frame lock.)
//
// Drawing never waits for the server: images go through MIT-SHM when the server shares
// memory with us (the request is a few bytes; a frame is skipped while the server has not
// finished reading the previous one), else through XPutImage followed by XFlush. Window size
// and mapping are tracked from the window's own StructureNotify events, read without
// blocking, so no per-frame round trip is needed.
//
// X errors on these connections (a parent destroyed by the application, for example) are
// absorbed by an error handler installed once per process that hands errors of other
// connections on to the handler that was there before.
#include "platform/PreviewWindow.h"

#include "platform/Log.h"
#include "platform/Sync.h"

#if defined(ORVANE_HAVE_X11)

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace orvane::platform {
namespace {

// ---- X errors on our connections -------------------------------------------------------

using XErrorHandlerFn = int (*)(Display*, XErrorEvent*);

// Connections owned by preview windows and the number of errors each has seen.
struct ErrorBook {
    Mutex mutex;
    std::vector<std::pair<Display*, unsigned long>> counts ORVANE_GUARDED_BY(mutex);
    std::atomic<XErrorHandlerFn> previous{nullptr};  // Set once, at installation.
};

ErrorBook& errorBook() {
    static ErrorBook book;
    return book;
}

int onXError(Display* display, XErrorEvent* event) {
    ErrorBook& book = errorBook();
    {
        LockGuard lock(book.mutex);
        for (auto& entry : book.counts) {
            if (entry.first == display) {
                ++entry.second;
                ORVANE_LOG(LogLevel::Debug, "preview: X error %d (request %d)",
                           static_cast<int>(event->error_code),
                           static_cast<int>(event->request_code));
                return 0;
            }
        }
    }
    // Someone else's connection: what would have happened without us.
    const XErrorHandlerFn previous = book.previous.load();
    return previous != nullptr ? previous(display, event) : 0;
}

void installErrorHandler() {
    static std::once_flag once;
    std::call_once(once, [] { errorBook().previous = XSetErrorHandler(onXError); });
}

unsigned long errorCount(Display* display) {
    ErrorBook& book = errorBook();
    LockGuard lock(book.mutex);
    for (const auto& entry : book.counts)
        if (entry.first == display) return entry.second;
    return 0;
}

// Registers a connection's errors to be absorbed for as long as the object lives; it is
// declared before the connection so that it outlives XCloseDisplay's last round trip.
class ErrorRegistration {
  public:
    ErrorRegistration() = default;
    ~ErrorRegistration() {
        if (display_ == nullptr) return;
        ErrorBook& book = errorBook();
        LockGuard lock(book.mutex);
        std::erase_if(book.counts, [this](const auto& e) { return e.first == display_; });
    }
    ErrorRegistration(const ErrorRegistration&) = delete;
    ErrorRegistration& operator=(const ErrorRegistration&) = delete;
    void track(Display* display) {
        installErrorHandler();
        ErrorBook& book = errorBook();
        LockGuard lock(book.mutex);
        book.counts.emplace_back(display, 0);
        display_ = display;
    }

  private:
    Display* display_ = nullptr;
};

// ---- Owning wrappers -------------------------------------------------------------------

struct DisplayCloser {
    void operator()(Display* d) const noexcept { XCloseDisplay(d); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

// A shared-memory segment attached here and, once attachTo() succeeded, by the server.
class ShmSegment {
  public:
    ShmSegment() = default;
    ~ShmSegment() { release(); }
    ShmSegment(const ShmSegment&) = delete;
    ShmSegment& operator=(const ShmSegment&) = delete;

    // Makes a segment of `bytes` and has the server attach it. False when either fails.
    bool create(Display* display, size_t bytes) {
        release();
        info_.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (info_.shmid < 0) return false;
        void* address = shmat(info_.shmid, nullptr, 0);
        if (address == reinterpret_cast<void*>(-1)) {
            shmctl(info_.shmid, IPC_RMID, nullptr);
            info_.shmid = -1;
            return false;
        }
        info_.shmaddr = static_cast<char*>(address);
        info_.readOnly = True;
        const unsigned long before = errorCount(display);
        const bool attached = XShmAttach(display, &info_) != 0;
        XSync(display, False);
        // Marked for removal now: the segment goes away when both sides have detached,
        // even if this process dies.
        shmctl(info_.shmid, IPC_RMID, nullptr);
        if (!attached || errorCount(display) != before) {
            shmdt(info_.shmaddr);
            info_ = XShmSegmentInfo{};
            return false;
        }
        display_ = display;
        return true;
    }
    void release() {
        if (display_ != nullptr) {
            XShmDetach(display_, &info_);
            XSync(display_, False);
        }
        if (info_.shmaddr != nullptr) shmdt(info_.shmaddr);
        info_ = XShmSegmentInfo{};
        display_ = nullptr;
    }
    XShmSegmentInfo* info() { return &info_; }
    uint8_t* data() const { return reinterpret_cast<uint8_t*>(info_.shmaddr); }

  private:
    Display* display_ = nullptr;  // set while the server has the segment attached
    XShmSegmentInfo info_{};
};

// An XImage whose pixels live in memory we own (a vector or a shared segment); the image
// structure itself is freed without touching the pixels.
struct XImageDeleter {
    void operator()(XImage* image) const noexcept {
        image->data = nullptr;
        XDestroyImage(image);
    }
};
using XImagePtr = std::unique_ptr<XImage, XImageDeleter>;

// Layout of one colour channel in a pixel value.
struct Channel {
    int shift = 0;  // position of the mask's lowest bit
    int bits = 0;   // width of the mask
};

Channel channelOf(unsigned long mask) {
    Channel c;
    if (mask == 0) return c;
    while ((mask & 1) == 0) {
        mask >>= 1;
        ++c.shift;
    }
    while ((mask & 1) != 0) {
        mask >>= 1;
        ++c.bits;
    }
    return c;
}

unsigned long place(uint8_t value, const Channel& c) {
    const unsigned long v =
        c.bits >= 8 ? static_cast<unsigned long>(value) << (c.bits - 8) : value >> (8 - c.bits);
    return v << c.shift;
}

constexpr const char* kTopLevelTitle = "Active Window";
constexpr const char* kChildTitle = "ActiveMovie Window";
constexpr const char* kWindowClass = "OrvanePreview";

}  // namespace

struct PreviewWindow::Impl {
    ErrorRegistration errors;  // outlives the connection
    DisplayPtr display;
    Window window = 0;
    bool windowAlive = false;
    GC gc = nullptr;
    Visual* visual = nullptr;
    int depth = 0;
    Atom wmDelete = 0;
    Channel red, green, blue;
    bool fastBgrx = false;  // 32-bit pixels, blue in the low byte, least significant first
    bool shmAvailable = false;
    int shmCompletion = -1;  // event type of ShmCompletion
    bool shmPending = false;
    // Current image: pixels in `segment` (shared) or `heap`.
    ShmSegment segment;
    std::vector<uint8_t> heap;
    XImagePtr image;
    bool imageShared = false;
    PreviewState state;

    ~Impl() {
        image.reset();
        if (display) {
            segment.release();
            if (gc != nullptr) XFreeGC(display.get(), gc);
            if (windowAlive) XDestroyWindow(display.get(), window);
            XSync(display.get(), False);
        }
    }

    bool makeImage(int width, int height);
    void handle(const XEvent& event);
};

bool PreviewWindow::Impl::makeImage(int width, int height) {
    Display* d = display.get();
    image.reset();
    segment.release();
    heap.clear();
    imageShared = false;
    shmPending = false;
    if (shmAvailable) {
        XImagePtr shared(XShmCreateImage(d, visual, static_cast<unsigned>(depth), ZPixmap, nullptr,
                                         segment.info(), static_cast<unsigned>(width),
                                         static_cast<unsigned>(height)));
        if (shared && segment.create(d, static_cast<size_t>(shared->bytes_per_line) *
                                            static_cast<size_t>(height))) {
            shared->data = reinterpret_cast<char*>(segment.data());
            image = std::move(shared);
            imageShared = true;
            return true;
        }
        // The server cannot share memory with us (a remote display): plain requests from now.
        shmAvailable = false;
        ORVANE_LOG(LogLevel::Info, "preview: MIT-SHM unavailable, using XPutImage");
    }
    XImagePtr plain(XCreateImage(d, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                                 static_cast<unsigned>(width), static_cast<unsigned>(height), 32,
                                 0));
    if (!plain) return false;
    try {
        heap.assign(static_cast<size_t>(plain->bytes_per_line) * static_cast<size_t>(height), 0);
    } catch (...) {
        return false;
    }
    plain->data = reinterpret_cast<char*>(heap.data());
    image = std::move(plain);
    return true;
}

void PreviewWindow::Impl::handle(const XEvent& event) {
    if (shmCompletion >= 0 && event.type == shmCompletion) {
        // Only the segment in use now counts; a late completion for a segment replaced
        // after a resize must not release the new one early.
        const auto& done = reinterpret_cast<const XShmCompletionEvent&>(event);
        if (imageShared && done.shmseg == segment.info()->shmseg) shmPending = false;
        return;
    }
    switch (event.type) {
        case ConfigureNotify:
            if (event.xconfigure.window == window) {
                state.width = event.xconfigure.width;
                state.height = event.xconfigure.height;
            }
            break;
        case MapNotify:
            if (event.xmap.window == window) state.mapped = true;
            break;
        case UnmapNotify:
            if (event.xunmap.window == window) state.mapped = false;
            break;
        case DestroyNotify:
            if (event.xdestroywindow.window == window) {
                state.destroyed = true;
                state.mapped = false;
                windowAlive = false;
            }
            break;
        case ClientMessage:
            // The window manager's close button hides the preview; the window itself
            // belongs to the session until Close. (Without this protocol the window manager
            // would kill the connection, and Xlib would end the whole process.)
            if (static_cast<Atom>(event.xclient.data.l[0]) == wmDelete)
                XUnmapWindow(display.get(), window);
            break;
        default:
            break;
    }
}

PreviewWindow::PreviewWindow(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PreviewWindow::~PreviewWindow() = default;

std::unique_ptr<PreviewWindow> PreviewWindow::create(const PreviewPlacement& placement,
                                                     PreviewResult* result) {
    PreviewResult dummy;
    PreviewResult& r = result != nullptr ? *result : dummy;
    r = PreviewResult::Failed;
    if (placement.width <= 0 || placement.height <= 0) return nullptr;
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || name[0] == '\0') {
        r = PreviewResult::NoDisplay;
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->display.reset(XOpenDisplay(name));
    if (!impl->display) {
        ORVANE_LOG(LogLevel::Info, "preview: cannot open display %s", name);
        r = PreviewResult::NoDisplay;
        return nullptr;
    }
    Display* d = impl->display.get();
    impl->errors.track(d);
    const int screen = DefaultScreen(d);
    const Window root = RootWindow(d, screen);
    impl->visual = DefaultVisual(d, screen);
    impl->depth = DefaultDepth(d, screen);

    Window parent = root;
    int x = placement.x, y = placement.y;
    if (placement.parent != 0) {
        // A window id that is not a window on this display makes the query fail.
        XWindowAttributes attributes{};
        const unsigned long before = errorCount(d);
        const Status ok = XGetWindowAttributes(d, placement.parent, &attributes);
        if (ok == 0 || errorCount(d) != before) {
            r = PreviewResult::BadParent;
            return nullptr;
        }
        parent = placement.parent;
    } else {
        // Centred; a window larger than the screen starts at the corner.
        x = std::max(0, (DisplayWidth(d, screen) - placement.width) / 2);
        y = std::max(0, (DisplayHeight(d, screen) - placement.height) / 2);
    }

    XSetWindowAttributes set{};
    set.background_pixel = BlackPixel(d, screen);
    set.event_mask = StructureNotifyMask;
    set.colormap = DefaultColormap(d, screen);
    set.border_pixel = 0;
    const unsigned long before = errorCount(d);
    impl->window =
        XCreateWindow(d, parent, x, y, static_cast<unsigned>(placement.width),
                      static_cast<unsigned>(placement.height), 0, impl->depth, InputOutput,
                      impl->visual, CWBackPixel | CWEventMask | CWColormap | CWBorderPixel, &set);
    impl->windowAlive = impl->window != 0;
    impl->state.width = placement.width;
    impl->state.height = placement.height;

    XStoreName(d, impl->window, placement.parent != 0 ? kChildTitle : kTopLevelTitle);
    if (placement.parent == 0) {
        XSizeHints* hints = XAllocSizeHints();
        if (hints != nullptr) {
            hints->flags = PPosition | PSize;
            hints->x = x;
            hints->y = y;
            hints->width = placement.width;
            hints->height = placement.height;
            XSetWMNormalHints(d, impl->window, hints);
            XFree(hints);
        }
        XClassHint* cls = XAllocClassHint();
        if (cls != nullptr) {
            cls->res_name = const_cast<char*>(kWindowClass);
            cls->res_class = const_cast<char*>(kWindowClass);
            XSetClassHint(d, impl->window, cls);
            XFree(cls);
        }
        impl->wmDelete = XInternAtom(d, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(d, impl->window, &impl->wmDelete, 1);
    }
    impl->gc = XCreateGC(d, impl->window, 0, nullptr);
    XMapWindow(d, impl->window);
    XSync(d, False);
    if (impl->window == 0 || impl->gc == nullptr || errorCount(d) != before) {
        r = PreviewResult::Failed;
        return nullptr;
    }

    // Pixel layout of the visual: only true-colour visuals are drawn.
    const int visualClass = impl->visual->c_class;
    if (visualClass == TrueColor || visualClass == DirectColor) {
        impl->red = channelOf(impl->visual->red_mask);
        impl->green = channelOf(impl->visual->green_mask);
        impl->blue = channelOf(impl->visual->blue_mask);
    }
    int major = 0, minor = 0;
    Bool pixmaps = False;
    if (XShmQueryVersion(d, &major, &minor, &pixmaps)) {
        impl->shmAvailable = true;
        impl->shmCompletion = XShmGetEventBase(d) + ShmCompletion;
    }
    r = PreviewResult::Ok;
    return std::unique_ptr<PreviewWindow>(new PreviewWindow(std::move(impl)));
}

PreviewState PreviewWindow::poll() {
    Impl& m = *impl_;
    Display* d = m.display.get();
    // Reads what has arrived; never waits for the server.
    while (XEventsQueued(d, QueuedAfterReading) > 0) {
        XEvent event;
        XNextEvent(d, &event);
        m.handle(event);
    }
    return m.state;
}

bool PreviewWindow::put(const PreviewPixels& px) {
    Impl& m = *impl_;
    Display* d = m.display.get();
    if (!m.windowAlive || px.bits == nullptr || px.width <= 0 || px.height <= 0 ||
        (px.bytesPerPixel != 1 && px.bytesPerPixel != 3) || m.red.bits == 0)
        return false;
    if (m.imageShared && m.shmPending) {
        // The server is still reading the previous frame: drop this one rather than wait.
        poll();
        if (m.shmPending) return false;
    }
    if (!m.image || m.image->width != px.width || m.image->height != px.height) {
        if (!m.makeImage(px.width, px.height)) return false;
        XImage& fresh = *m.image;
        m.fastBgrx = fresh.bits_per_pixel == 32 && fresh.byte_order == LSBFirst &&
                     m.red.shift == 16 && m.red.bits == 8 && m.green.shift == 8 &&
                     m.green.bits == 8 && m.blue.shift == 0 && m.blue.bits == 8;
    }
    XImage& image = *m.image;
    for (int y = 0; y < px.height; ++y) {
        const int sourceRow = px.bottomUp ? px.height - 1 - y : y;
        const uint8_t* s = px.bits + static_cast<ptrdiff_t>(sourceRow) * px.stride;
        if (m.fastBgrx) {
            uint8_t* o = reinterpret_cast<uint8_t*>(image.data) +
                         static_cast<ptrdiff_t>(y) * image.bytes_per_line;
            if (px.bytesPerPixel == 1) {
                for (int x = 0; x < px.width; ++x, o += 4) {
                    o[0] = o[1] = o[2] = s[x];
                    o[3] = 0;
                }
            } else {
                for (int x = 0; x < px.width; ++x, o += 4, s += 3) {
                    o[0] = s[0];
                    o[1] = s[1];
                    o[2] = s[2];
                    o[3] = 0;
                }
            }
            continue;
        }
        for (int x = 0; x < px.width; ++x) {
            const uint8_t* p = s + static_cast<ptrdiff_t>(x) * px.bytesPerPixel;
            const uint8_t b = p[0];
            const uint8_t g = px.bytesPerPixel == 1 ? p[0] : p[1];
            const uint8_t rr = px.bytesPerPixel == 1 ? p[0] : p[2];
            XPutPixel(&image, x, y, place(rr, m.red) | place(g, m.green) | place(b, m.blue));
        }
    }
    const auto w = static_cast<unsigned>(px.width), h = static_cast<unsigned>(px.height);
    if (m.imageShared) {
        XShmPutImage(d, m.window, m.gc, &image, 0, 0, 0, 0, w, h, True);
        m.shmPending = true;
    } else {
        XPutImage(d, m.window, m.gc, &image, 0, 0, 0, 0, w, h);
    }
    XFlush(d);
    return true;
}

void PreviewWindow::show() {
    Impl& m = *impl_;
    if (!m.windowAlive) return;
    XMapWindow(m.display.get(), m.window);
    XFlush(m.display.get());
}

unsigned long PreviewWindow::nativeWindow() const {
    return impl_->window;
}

bool PreviewWindow::usesSharedMemory() const {
    return impl_->imageShared;
}

const char* PreviewWindow::className() const {
    return kWindowClass;
}

}  // namespace orvane::platform

#elif !defined(_WIN32)  // neither Xlib nor Windows

namespace orvane::platform {

// Built without Xlib: there is never a display, so previews run without a window.
struct PreviewWindow::Impl {};

PreviewWindow::PreviewWindow(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PreviewWindow::~PreviewWindow() = default;

std::unique_ptr<PreviewWindow> PreviewWindow::create(const PreviewPlacement&,
                                                     PreviewResult* result) {
    if (result != nullptr) *result = PreviewResult::NoDisplay;
    return nullptr;
}
PreviewState PreviewWindow::poll() {
    return PreviewState{};
}
bool PreviewWindow::put(const PreviewPixels&) {
    return false;
}
void PreviewWindow::show() {}
unsigned long PreviewWindow::nativeWindow() const {
    return 0;
}
bool PreviewWindow::usesSharedMemory() const {
    return false;
}
const char* PreviewWindow::className() const {
    return "";
}

}  // namespace orvane::platform

#endif
