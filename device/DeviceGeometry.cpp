// Device SDK object: exposure, capture window, transfer width and the buffers that follow the
// geometry.
#include <mutex>
#include <new>

#include "device/COrvaneU3Q7Base.h"
#include "transport/CKelCy3Cam.h"

namespace orvane::device {

namespace {

// Margin around the window that the buffers allow for, in pixels per direction, and their
// granularity in bytes.
constexpr uint64_t kBufferMargin = 128;
constexpr uint64_t kBufferGranule = 8192;

constexpr unsigned kLongExposure = 50000;  // 0.1 ms units: 5 s
constexpr uint32_t kShortPayloadTimeoutMs = 5000;

}  // namespace

int COrvaneU3Q7Base::SetExposure(unsigned time) {
    if (!withSensor(false, [](CSensorBase&) { return true; })) return 0;
    // A payload chunk may take as long as the exposure: allow twice the exposure.
    payloadTimeoutMs_ = time <= kLongExposure ? kShortPayloadTimeoutMs : time / 5;
    return withSensor(0, [&](CSensorBase& s) { return s.SetExposureTime(time); });
}

int COrvaneU3Q7Base::SetCaptureWindow(int x, int y, int width, int height, int mode) {
    Guard lock(lock_);
    platform::LockGuard sensorGuard(sensorLock_);
    if (!sensor_) return 0;
    const sensors::SensorInfo& info = sensor_->info();
    if (x == info.windowX && y == info.windowY && width == info.windowWidth &&
        height == info.windowHeight && mode == info.windowMode)
        return 1;
    if (sensor_->SetWindow(x, width, y, height, mode) == 0) return 0;
    int ax = 0, aw = 0, ay = 0, ah = 0, am = 0;
    sensor_->GetWindow(&ax, &aw, &ay, &ah, &am);
    sensor_->storeWindow(ax, ay, aw, ah, am);
    geometryChanged_ = true;
    return 1;
}

int COrvaneU3Q7Base::GetSensorGeometry(int* x, int* y, int* width, int* height, int* mode) {
    return withSensor(0, [&](CSensorBase& s) {
        s.storedWindow(x, y, width, height, mode);
        return 1;
    });
}

int COrvaneU3Q7Base::ApplyGeometry() {
    Guard lock(lock_);
    return applyGeometryLocked();
}

int COrvaneU3Q7Base::applyGeometryLocked() {
    // The buffers are replaced: the capture thread must not be using them.
    if (capturing_ || thread_) stopCaptureLocked();
    payload_.reset();
    payloadCapacity_ = 0;
    if (!sensor_) return 0;
    sensors::SensorInfo info;
    {
        platform::LockGuard sensorGuard(sensorLock_);
        sensor_->GetSensorInfo(&info);
    }
    if (info.windowWidth <= 0 || info.windowHeight <= 0) return 0;
    const uint64_t width = static_cast<uint64_t>(info.windowWidth);
    const uint64_t height = static_cast<uint64_t>(info.windowHeight);

    const uint64_t capacity =
        ((height + kBufferMargin) * (width + kBufferMargin) * 2 + kBufferGranule - 1) &
        ~(kBufferGranule - 1);
    if (capacity > UINT32_MAX) return 0;
    payload_ = allocateZeroedBytes(static_cast<uint32_t>(capacity));
    if (!payload_) return 0;
    payloadCapacity_ = static_cast<uint32_t>(capacity);

    const uint32_t bytesPerPixel = (wideTransfer_ == 1 || wideTransfer_ == 2) ? 2 : 1;
    frameSize_ = static_cast<uint32_t>(width * height * bytesPerPixel);
    if (!ring_.allocate(payloadCapacity_)) return 0;
    FrameFormat format;
    format.frameBytes = frameSize_;
    format.width = static_cast<uint32_t>(width);
    format.height = static_cast<uint32_t>(height);
    format.bytesPerPixel = bytesPerPixel;
    format.orientation = info.orientation;
    ring_.setFormat(format);

    if (isEndpoint83() || !controller_) return 0;
    const uint32_t w = static_cast<uint32_t>(width), h = static_cast<uint32_t>(height);
    controller_->WriteFpgaRegister(transport::kFpgaWidthLow, static_cast<uint8_t>(w));
    controller_->WriteFpgaRegister(transport::kFpgaWidthHigh, static_cast<uint8_t>(w >> 8));
    controller_->WriteFpgaRegister(transport::kFpgaHeightLow, static_cast<uint8_t>(h));
    controller_->WriteFpgaRegister(transport::kFpgaHeightHigh, static_cast<uint8_t>(h >> 8));
    if (productId_ == kProductIdImx178) {
        uint8_t revision = 0;
        if (controller_->ReadFpgaRegister(transport::kFpgaWordHigh, &revision) == 0) revision = 0;
        const bool timing = revision >= transport::kFpgaRevisionWithTiming;
        controller_->WriteFpgaRegister(transport::kFpgaTiming0, timing ? 31 : 0);
        controller_->WriteFpgaRegister(transport::kFpgaTiming1, 0);
        controller_->WriteFpgaRegister(transport::kFpgaTiming2, timing ? 12 : 0);
        controller_->WriteFpgaRegister(transport::kFpgaTiming3, 0);
    }
    geometryChanged_ = false;
    return 1;
}

int COrvaneU3Q7Base::SetWideTransfer(int mode) {
    Guard lock(lock_);
    if (!controller_) return 0;
    const int newMode = mode == 1 ? 1 : mode;
    const uint8_t wire = mode == 1 ? transport::kTransferWidth16 : transport::kTransferWidth8;
    if (controller_->WriteFpgaRegister(transport::kFpgaTransferWidth, wire) == 0) return 0;
    if (wideTransfer_ == newMode) return 1;
    wideTransfer_ = newMode;
    return applyGeometryLocked();
}

}  // namespace orvane::device
