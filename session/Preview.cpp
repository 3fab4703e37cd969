// The preview window: made by Preview, CallBackPreview and Record, painted by the
// acquisition thread with every processed frame, destroyed by Close.
#include <algorithm>
#include <cstdio>

#include "imaging/Conversions.h"
#include "session/COrvane.h"
#include "session/PreviewDraw.h"

namespace orvane::session {

bool planPreviewDraw(const imaging::CDibImage& source, int colorIndex, int clientWidth,
                     int clientHeight, imaging::CDibImage& display, PreviewPlan* plan) {
    if (plan == nullptr || clientWidth <= 0 || clientHeight <= 0 || source.empty()) return false;
    if (clientWidth == source.width() && clientHeight == source.height() && colorIndex != 1) {
        plan->pixels = source.view();
        plan->bottomUp = false;
        return true;
    }
    const int bits = colorIndex <= 1 ? 8 : 24;
    if (source.bitCount() != bits) return false;
    // The depth is compared too: a colour-mode change between frames needs the other kind.
    if (display.width() != clientWidth || display.height() != clientHeight ||
        display.bitCount() != bits) {
        if (!display.Create(clientWidth, clientHeight, bits)) return false;
    }
    const imaging::PixelRect to{0, 0, clientWidth, clientHeight};
    const imaging::PixelRect from{0, 0, source.width(), source.height()};
    const bool scaled = bits == 8
                            ? imaging::scaleNearest8(display.view(), to, source.view(), from)
                            : imaging::scaleNearest24(display.view(), to, source.view(), from);
    if (!scaled) return false;
    plan->pixels = display.view();
    plan->bottomUp = true;
    return true;
}

int COrvane::subSampleFactor(int code) {
    switch (code) {
        case 1:
        case 17:
            return 2;
        case 2:
        case 18:
            return 4;
        case 3:
        case 19:
            return 8;
        default:
            return 1;
    }
}

int COrvane::CreatePreviewWindow() {
    WindowHandle parent = nullptr;
    PreviewRect r;
    CaptureGeometry g;
    {
        platform::LockGuard lock(geometryLock_);
        parent = previewParent_;
        r = previewRect_;
        g = geometry_;
    }
    if (parent == nullptr && r.left == 0 && r.top == 0 && r.right == 0 && r.bottom == 0)
        return 1;  // no window wanted: preview runs without one

    platform::PreviewPlacement placement;
    // The low 32 bits of the session's address name its window class.
    placement.owner = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(this));
    if (parent != nullptr) {
        // The parent must be a live window with a native window to live in (an HWND, or a
        // message window carrying an X11 window).
        if (!platform::isMessageWindow(parent)) return fail(kErrWindow);
        placement.parent = platform::nativeWindowOf(parent);
        if (placement.parent == 0) return fail(kErrWindow);
        placement.x = r.left;
        placement.y = r.top;
        // X has no empty windows; an empty child is kept at one pixel (on both systems, so
        // that they behave alike) and never drawn.
        placement.width = std::max(r.right, 1);
        placement.height = std::max(r.bottom, 1);
    } else {
        const int factor = subSampleFactor(subSample_.load());
        placement.width = g.width / factor;
        placement.height = g.height / factor;
        if (placement.width <= 0 || placement.height <= 0) return fail(kErrWindow);
    }

    {
        // Starting again with the same placement keeps the window (and whatever size or
        // place the user gave it) instead of leaving the old one behind or flashing a new one.
        platform::LockGuard lock(frameLock_);
        if (previewWindow_ && previewMadeFor_.parent == placement.parent &&
            previewMadeFor_.x == placement.x && previewMadeFor_.y == placement.y &&
            previewMadeFor_.width == placement.width &&
            previewMadeFor_.height == placement.height && !previewWindow_->poll().destroyed) {
            previewWindow_->show();
            return 1;
        }
    }
    platform::PreviewResult result = platform::PreviewResult::Failed;
    std::unique_ptr<platform::PreviewWindow> window =
        platform::PreviewWindow::create(placement, &result);
    if (result == platform::PreviewResult::NoDisplay) return 1;  // runs without a window
    if (!window) return fail(kErrWindow);
    const bool emptyChild = parent != nullptr && (r.right <= 0 || r.bottom <= 0);
    std::unique_ptr<platform::PreviewWindow> old;
    {
        platform::LockGuard lock(frameLock_);
        old = std::move(previewWindow_);
        std::snprintf(previewClassName_, sizeof previewClassName_, "%s", window->className());
        previewWindow_ = std::move(window);
        previewEmpty_ = emptyChild;
        previewMadeFor_ = placement;
    }
    return 1;  // `old` (a window from an earlier start) goes here, outside the lock
}

void COrvane::DestroyPreviewWindow() {
    std::unique_ptr<platform::PreviewWindow> old;
    {
        platform::LockGuard lock(frameLock_);
        old = std::move(previewWindow_);
        previewEmpty_ = false;
        previewClassName_[0] = '\0';
    }
}

bool COrvane::PreviewClientSize(int* width, int* height) {
    if (!previewWindow_ || previewEmpty_) return false;
    const platform::PreviewState state = previewWindow_->poll();
    if (state.destroyed || !state.mapped || state.width <= 0 || state.height <= 0) return false;
    *width = state.width;
    *height = state.height;
    return true;
}

void COrvane::SizeDisplayBuffer(int colorIndex) {
    int width = 0, height = 0;
    if (!PreviewClientSize(&width, &height)) return;
    CDibImage& display = *images_[kDisplay];
    const int bits = colorIndex <= 1 ? 8 : 24;
    if (display.width() != width || display.height() != height || display.bitCount() != bits)
        display.Create(width, height, bits);
}

CDibImage* COrvane::PreviewSource(int colorIndex) {
    CDibImage& raw8 = *images_[kRaw8];
    CDibImage& out24 = *images_[kOut24];
    switch (colorIndex) {
        case 0:
            return &raw8;
        case 1: {
            const CDibImage& raw16 = *images_[kRaw16];
            if (raw16.empty()) return nullptr;
            if ((raw8.width() != raw16.width() || raw8.height() != raw16.height() ||
                 raw8.bitCount() != 8) &&
                !raw8.Create(raw16.width(), raw16.height(), 8))
                return nullptr;
            imaging::ApplyPixelRoutine(raw8, imaging::Convert16To8High, raw16);
            return &raw8;
        }
        case 2:
            return &out24;
        case 3:
            imaging::ApplyPixelRoutine(out24, imaging::Convert32To24, *images_[kOut32]);
            return &out24;
        case 4:
        case 5:
            imaging::ApplyPixelRoutine(out24, imaging::Convert48To24Bits12,
                                       *images_[colorIndex == 4 ? kOut48 : kOut64]);
            return &out24;
        default:
            return nullptr;
    }
}

void COrvane::DrawPreview() {
    int width = 0, height = 0;
    if (!PreviewClientSize(&width, &height)) return;
    const int ci = preparedColor_;  // the mode the frame was processed in
    CDibImage* source = PreviewSource(ci);
    if (source == nullptr || source->empty()) return;
    PreviewPlan plan;
    if (!planPreviewDraw(*source, ci, width, height, *images_[kDisplay], &plan)) return;
    previewWindow_->put(platform::PreviewPixels{plan.pixels.bits, plan.pixels.width,
                                                plan.pixels.height, plan.pixels.stride,
                                                plan.pixels.bytesPerPixel, plan.bottomUp});
}

}  // namespace orvane::session
