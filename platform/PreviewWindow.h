// The live-preview window: a window of its own (a child of an application window, or a
// top-level window) that the acquisition thread paints frames into. One interface, two
// implementations: x11/PreviewWindow.cpp (Xlib, MIT-SHM) and win32/PreviewWindow.cpp (GDI);
// each source says how it keeps the window responsive and how it draws.
//
// Threads: create() and destruction on any one thread; poll() and put() on one thread at a
// time (the session calls them under its frame lock and destroys the window outside it, after
// taking it out under the same lock). The object does no locking of its own.
#pragma once

#include <cstdint>
#include <memory>

namespace orvane::platform {

// Where the window goes.
struct PreviewPlacement {
    // Native window of the parent (an X11 window id, or an HWND's 32 significant bits); 0 for
    // a top-level window.
    unsigned long parent = 0;
    // Child: position and size inside the parent. Top-level: the client size (x, y unused).
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    // Who asks (the low 32 bits of the session's address): part of the Windows class name.
    uint32_t owner = 0;
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
    // The native window: the X11 window id, or the HWND's 32 significant bits (for tests and
    // diagnostics).
    unsigned long nativeWindow() const;
    // The window class it was made with ("VideoRenderer_%08x_%08x" on Windows).
    const char* className() const;
    // Whether images go through MIT-SHM (X11 only).
    bool usesSharedMemory() const;

    struct Impl;

  private:
    explicit PreviewWindow(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace orvane::platform
