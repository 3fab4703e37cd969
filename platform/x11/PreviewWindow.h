// The live-preview window on X11: a window of its own (a child of an application window, or a
// top-level window) that the acquisition thread paints frames into.
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
//
// Threads: create() and destruction on any one thread; poll() and put() on one thread at a
// time (the session calls them under its frame lock and destroys the window under the same
// lock). The object does no locking of its own.
#pragma once

#include <cstdint>
#include <memory>

namespace orvane::platform {

// Where the window goes.
struct PreviewPlacement {
    unsigned long parent = 0;  // X11 window of the parent; 0 for a top-level window
    // Child: position and size inside the parent. Top-level: the client size (x, y unused).
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Pixels to show: 1 byte per pixel (gray) or 3 bytes (blue, green, red). Rows are `stride`
// bytes apart; with bottomUp the last memory row is the top of the picture.
struct PreviewPixels {
    const uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
    int bytesPerPixel = 0;
    bool bottomUp = false;
};

// What the window looks like now, as far as the events read so far tell.
struct PreviewState {
    int width = 0;  // client size
    int height = 0;
    bool mapped = false;     // mapped and not fully obscured
    bool destroyed = false;  // destroyed from outside (with its parent, for example)
};

enum class PreviewResult {
    Ok,
    NoDisplay,  // no DISPLAY, or the server refused the connection
    BadParent,  // the parent window does not exist on the display
    Failed,     // the window could not be made
};

class PreviewWindow {
  public:
    // Opens a connection and makes the window, mapped: a child titled "ActiveMovie Window"
    // at the placement, or a top-level window titled "Active Window" whose client area is
    // the placement's size, centred on the screen with a negative position clamped to 0.
    // Null (with the reason in *result) on failure. Blocks for a few round trips.
    static std::unique_ptr<PreviewWindow> create(const PreviewPlacement& placement,
                                                 PreviewResult* result);
    ~PreviewWindow();
    PreviewWindow(const PreviewWindow&) = delete;
    PreviewWindow& operator=(const PreviewWindow&) = delete;

    // Reads the events that have arrived (without waiting) and returns the current state.
    PreviewState poll();
    // Converts the pixels to the server's visual and sends them to the window's top-left
    // corner. Returns false when nothing was sent: the window is gone, the pixels are
    // unusable, memory ran out, or the previous shared-memory image is still being read.
    bool put(const PreviewPixels& pixels);
    // Maps the window again (after the user closed it through the window manager, which
    // only hides it).
    void show();
    // The X11 window id (for tests and diagnostics).
    unsigned long nativeWindow() const;
    // Whether images go through MIT-SHM.
    bool usesSharedMemory() const;

    struct Impl;

  private:
    explicit PreviewWindow(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace orvane::platform
