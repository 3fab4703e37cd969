#include "session/COrvane.h"

#include <cstring>

#include "platform/TextConv.h"
#include "platform/Time.h"

namespace orvane::session {
namespace {

constexpr int kBitsOfColorIndex[6] = {8, 16, 24, 32, 48, 64};

}  // namespace

COrvane::COrvane() : frameWindowStart_(platform::timeGetTime()) {}

COrvane::~COrvane() {
    // Acquisition threads use the session's members: they are stopped before anything is
    // freed. Without a device object nothing was started.
    if (sdk_) {
        StopPreview();
        Close();
    }
    sdk_.reset();
    for (auto& image : images_) image.reset();
}

// ---- Lifecycle and device selection --------------------------------------------------

int COrvane::Initialize(WindowHandle window) {
    sdk_.reset();
    for (int i = 0; i < kDark16 + 1; ++i) images_[i].reset();
    history_.setWindow(window);
    if (window != nullptr && !platform::registerDeviceNotification(window)) {
        // The window cannot receive notifications (it is not a message window of this
        // process): stop before touching buffers or devices, as a failed registration does.
        history_.record(kErrWindow);
        return 0;
    }
    for (auto& image : images_)
        if (!image) image = std::make_unique<CDibImage>();
    return 1;
}

int COrvane::SetDeviceNumber(int) {
    if (!sdk_) return fail(kErrState);
    return fail(kErrNoCamera);
}

int COrvane::EnumDevice(char (*)[256]) {
    if (!sdk_) return fail(kErrState);
    return 0;
}

int COrvane::EnumDeviceW(char16_t (*names)[256]) {
    char narrow[10][256] = {};
    const int count = EnumDevice(narrow);
    if (names == nullptr) return count;
    for (int i = 0; i < 10; ++i) {
        if (i >= count || platform::ansiToWide(narrow[i], names[i], 256) == 0) names[i][0] = 0;
    }
    return count;
}

int COrvane::GetDeviceName(int, char*, int) {
    if (!sdk_) return fail(kErrState);
    return fail(kErrNoCamera);
}

int COrvane::GetDeviceNameW(int index, char16_t* text, int size) {
    char narrow[256] = {};
    // A failed look-up has recorded its reason; reporting success with an empty name would
    // hide it from a caller that checks only the result.
    if (!GetDeviceName(index, narrow, sizeof narrow)) return 0;
    char16_t wide[1024];
    const size_t units = platform::ansiToWide(narrow, wide, 1024);
    if (units == 0 || text == nullptr || size < 0 || units > static_cast<size_t>(size))
        return fail(kErrConversion);
    std::memcpy(text, wide, units * sizeof(char16_t));
    return 1;
}

// ---- General ----------------------------------------------------------------------------

int COrvane::GetCameraInfo(void*) {
    if (!sdk_) return fail(kErrState);
    return 0;
}

// ---- Acquisition and output ---------------------------------------------------------

int COrvane::Capture() {
    if (!sdk_) return fail(kErrState);
    return 0;
}

int COrvane::Preview() {
    {
        std::lock_guard lock(frameLock_);
        callbackWindow_.store(nullptr);
        appBuffer_ = nullptr;
        appBufferSize_ = 0;
        appRowOrder_ = 0;
    }
    if (!StartPreview()) {
        Close();
        return fail(kErrNoFrame);
    }
    return 1;
}

int COrvane::CallBackPreview(WindowHandle window, void* buffer, int size, int rowOrder) {
    {
        std::lock_guard lock(frameLock_);
        callbackWindow_.store(window);
        appBuffer_ = buffer;
        appBufferSize_ = size;
        appRowOrder_ = rowOrder;
    }
    if (!StartPreview()) {
        Close();
        return fail(kErrNoFrame);
    }
    return 1;
}

int COrvane::StartPreview() {
    if (!sdk_) return fail(kErrState);
    return 0;
}

int COrvane::StopPreview() {
    if (!sdk_) return fail(kErrState);
    runFlag_.store(0);
    mode_.store(0);
    recording_.store(false);
    return 1;
}

int COrvane::Close() {
    if (sdk_) StopPreview();
    frameProcessed_.store(false);
    return 1;
}

int COrvane::SnapShot(void*, int, int) {
    if (!sdk_) return fail(kErrState);
    return 0;
}

int COrvane::GetImage(void*, int, int) {
    if (!sdk_) return fail(kErrState);
    return 0;
}

int COrvane::SetWaitTime(int ms) {
    if (ms < 0) return 0;
    waitTime_.store(ms);
    return 1;
}

int COrvane::SetPreviewWindow(WindowHandle parent, int left, int top, int right, int bottom) {
    if (!sdk_) return fail(kErrState);
    previewParent_ = parent;
    previewRect_ = PreviewRect{left, top, right, bottom};
    return 1;
}

int COrvane::SaveImage(const char*, int) {
    if (!sdk_ || !frameProcessed_.load()) return fail(kErrState);
    return 0;
}

int COrvane::Record(const char* path, int, int) {
    if (path == nullptr || path[0] == '\0') return fail(kErrArgument);
    callbackWindow_.store(nullptr);
    {
        std::lock_guard lock(frameLock_);
        appBuffer_ = nullptr;
        appBufferSize_ = 0;
        appRowOrder_ = 0;
    }
    if (!StartPreview()) {
        Close();
        return fail(kErrConversion);
    }
    return 0;
}

// ---- Geometry and format ------------------------------------------------------------

int COrvane::SetCaptureWindow(int, int) {
    if (!sdk_) return fail(kErrState);
    return 0;
}

int COrvane::SetCaptureWindowEx(int, int, int, int, int, int) {
    if (!sdk_) return fail(kErrState);
    return 0;
}

int COrvane::GetCaptureWindowEx(int* totalWidth, int* xStart, int* width, int* totalHeight,
                                int* yStart, int* height) {
    if (totalWidth) *totalWidth = geometry_.totalWidth;
    if (xStart) *xStart = geometry_.xStart;
    if (width) *width = geometry_.width;
    if (totalHeight) *totalHeight = geometry_.totalHeight;
    if (yStart) *yStart = geometry_.yStart;
    if (height) *height = geometry_.height;
    return 1;
}

int COrvane::Width() { return geometry_.width; }
int COrvane::Height() { return geometry_.height; }

int COrvane::SetColorMode(int bitsPerPixel) {
    for (int index = 0; index < 6; ++index) {
        if (kBitsOfColorIndex[index] == bitsPerPixel) {
            colorIndex_.store(index);
            return 1;
        }
    }
    return fail(kErrArgument);
}

int COrvane::GetColorMode() const {
    const int index = colorIndex_.load();
    return index >= 0 && index < 6 ? kBitsOfColorIndex[index] : -1;
}

int COrvane::SetSubSample(int code) {
    if (code != 0) return 0;
    subSample_.store(code);
    return 1;
}

int COrvane::SetMirrorH(int) {
    if (!sdk_) return fail(kErrState);
    return 0;
}

int COrvane::SetMirrorV(int) {
    if (!sdk_) {
        history_.postOnly(kErrState);
        return 0;
    }
    return 0;
}

int COrvane::GetMirrorH() {
    if (!sdk_) return fail(kErrState);
    return camera_.mirrorH;
}

int COrvane::GetMirrorV() {
    if (!sdk_) {
        history_.postOnly(kErrState);
        return 0;
    }
    return camera_.mirrorV;
}

// ---- Exposure, gain and options -----------------------------------------------------

int COrvane::SetFilterValue(int, int) {
    if (!sdk_) return fail(kErrState);
    return 0;
}

int COrvane::GetFilterValue(int, int* ok) {
    if (ok) *ok = 0;
    if (!sdk_) return fail(kErrState);
    return 0;
}

int COrvane::SetExposureTimeEx(double) {
    if (!sdk_) return fail(kErrState);
    return 0;
}

double COrvane::GetExposureTimeEx(int* ok) {
    if (ok) *ok = 0;
    if (!sdk_) history_.record(kErrState);
    return -1.0;
}

int COrvane::SetRealExposureTime(int) {
    if (!sdk_) return fail(kErrState);
    return 0;
}

int COrvane::GetRealExposureTime(int* ok) {
    if (ok) *ok = 0;
    if (!sdk_) return fail(kErrState);
    return 0;
}

int COrvane::SetAutoIris(int mode) {
    if (mode >= 3 || mode < 0) {
        history_.postOnly(kErrArgument);
        return 0;
    }
    std::lock_guard lock(frameLock_);
    camera_.autoIris = mode;
    return 1;
}

int COrvane::GetAutoIris(int* ok) {
    if (ok) *ok = 1;
    std::lock_guard lock(frameLock_);
    return camera_.autoIris;
}

int COrvane::SetSamplingRate(int) {
    if (!sdk_) return 0;
    return 0;
}

int COrvane::GetSamplingRate(int* value) {
    if (value) *value = 0;
    return 0;
}

double COrvane::GetTemperatureEx(int* ok) {
    if (ok) *ok = 0;
    if (!sdk_) history_.record(kErrState);
    return 0.0;
}

// ---- Registers and configuration memory ----------------------------------------------

int COrvane::FpgaReadRegister(int, int* ok) {
    if (ok) *ok = 0;
    if (!sdk_) return fail(kErrState);
    return 0;
}

int COrvane::FpgaWriteRegister(int, int) {
    if (!sdk_) return fail(kErrState);
    return 0;
}

int COrvane::ReadRegister(int, int* ok) {
    if (ok) *ok = 0;
    if (!sdk_) return fail(kErrState);
    return 0;
}

int COrvane::ReadRegisterEx(int, int* ok) {
    if (ok) *ok = 0;
    if (!sdk_) return fail(kErrState);
    return 0;
}

int COrvane::WriteRegister(int, int) {
    if (!sdk_) return fail(kErrState);
    return 0;
}

int COrvane::WriteRegisterEx(int, int) {
    if (!sdk_) return fail(kErrState);
    return 0;
}

int COrvane::ReadSromID(int, int* ok) {
    if (ok) *ok = 0;
    history_.postOnly(kErrState);
    return 0;
}

int COrvane::WriteSromID(int, int) {
    history_.postOnly(kErrState);
    return 0;
}

int COrvane::GetIOPort(unsigned char*) {
    history_.postOnly(kErrState);
    return 0;
}

int COrvane::SetIOPort(unsigned char) {
    history_.postOnly(kErrState);
    return 0;
}

// ---- Files and masks ------------------------------------------------------------------

int COrvane::LoadConfigFile(const char*) {
    if (!sdk_) return fail(kErrState);
    return 0;
}

int COrvane::LoadMaskFile(const char*) {
    if (!sdk_) return fail(kErrState);
    return 0;
}

int COrvane::SaveMaskFile(const char*) {
    if (!sdk_) return fail(kErrState);
    return 0;
}

int COrvane::UpdateMaskData(int) {
    if (!sdk_) return fail(kErrState);
    return 0;
}

// ---- Dialogs ------------------------------------------------------------------------------

int COrvane::SetCameraDlg(WindowHandle) {
    if (!sdk_) return fail(kErrState);
    return 0;
}

int COrvane::SetImageDlg(WindowHandle) {
    if (!sdk_) return fail(kErrState);
    return 0;
}

int COrvane::SetAnalogDlg(WindowHandle) {
    if (!sdk_) return fail(kErrState);
    return 0;
}

// ---- Not offered ------------------------------------------------------------------------

int COrvane::NotOffered() {
    history_.postOnly(kErrUnsupported);
    return 0;
}

int COrvane::ConfigFilter() {
    history_.record(kErrUnsupported);
    return -1;
}

int COrvane::TextExchange() {
    history_.record(kErrUnsupported);
    return 0;
}

}  // namespace orvane::session
