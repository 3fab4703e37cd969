// Owners of the X11 and GLib resources the viewer holds, so each is released on every path.
#pragma once

#include <X11/Xlib.h>
#include <glib.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "OrvaneSdk.h"

namespace orvane::viewer {

struct MessageWindowDeleter {
    void operator()(OrvaneWindow* w) const { Orvane_DestroyMessageWindow(w); }
};
using MessageWindow = std::unique_ptr<OrvaneWindow, MessageWindowDeleter>;

// A picture held by the X server (a pixmap and the GC that fills it). Frames are sent with
// plain XPutImage: cairo's own image upload goes through MIT-SHM, which some X servers
// accept but never show (seen with Xvfb in containers).
class ServerPicture {
  public:
    ServerPicture() = default;
    ~ServerPicture() { reset(); }
    ServerPicture(const ServerPicture&) = delete;
    ServerPicture& operator=(const ServerPicture&) = delete;

    bool create(Display* dpy, Window window, int width, int height, int depth) {
        reset();
        dpy_ = dpy;
        pixmap_ = XCreatePixmap(dpy, window, static_cast<unsigned>(width),
                                static_cast<unsigned>(height), static_cast<unsigned>(depth));
        if (pixmap_ != 0) gc_ = XCreateGC(dpy, pixmap_, 0, nullptr);
        width_ = width;
        height_ = height;
        depth_ = depth;
        return pixmap_ != 0 && gc_ != nullptr;
    }
    void reset() {
        if (gc_ != nullptr) XFreeGC(dpy_, gc_);
        if (pixmap_ != 0) XFreePixmap(dpy_, pixmap_);
        gc_ = nullptr;
        pixmap_ = 0;
        width_ = height_ = 0;
    }
    // Sends 0x00RRGGBB pixels (width x height, packed rows) to the pixmap.
    bool put(std::vector<uint32_t>& pixels) {
        if (pixmap_ == 0 || gc_ == nullptr) return false;
        XImage image{};
        image.width = width_;
        image.height = height_;
        image.format = ZPixmap;
        image.data = reinterpret_cast<char*>(pixels.data());
        // The pixels are native 32-bit words.
        const uint32_t one = 1;
        image.byte_order = *reinterpret_cast<const uint8_t*>(&one) == 1 ? LSBFirst : MSBFirst;
        image.bitmap_unit = 32;
        image.bitmap_bit_order = LSBFirst;
        image.bitmap_pad = 32;
        image.depth = depth_;
        image.bytes_per_line = width_ * 4;
        image.bits_per_pixel = 32;
        image.red_mask = 0xFF0000;
        image.green_mask = 0x00FF00;
        image.blue_mask = 0x0000FF;
        if (XInitImage(&image) == 0) return false;
        XPutImage(dpy_, pixmap_, gc_, &image, 0, 0, 0, 0, static_cast<unsigned>(width_),
                  static_cast<unsigned>(height_));
        return true;
    }
    explicit operator bool() const { return pixmap_ != 0; }
    Pixmap pixmap() const { return pixmap_; }
    int width() const { return width_; }
    int height() const { return height_; }

  private:
    Display* dpy_ = nullptr;
    Pixmap pixmap_ = 0;
    GC gc_ = nullptr;
    int width_ = 0, height_ = 0, depth_ = 0;
};

// A main-loop source removed when the owner goes (or when replaced).
class Source {
  public:
    Source() = default;
    ~Source() { reset(); }
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;
    void reset(guint id = 0) {
        if (id_ != 0) g_source_remove(id_);
        id_ = id;
    }
    // For a one-shot callback that returns G_SOURCE_REMOVE: GLib drops it itself.
    void forget() { id_ = 0; }

  private:
    guint id_ = 0;
};

}  // namespace orvane::viewer
