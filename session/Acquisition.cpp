// Acquisition: preparing the device, the snapshot, capture and preview modes, the
// acquisition thread and the per-frame processing pipeline.
#include <cmath>
#include <cstring>
#include <vector>

#include "device/COrvaneUSB3Q7SimpleSdk.h"
#include "dialogs/AnalogGainSheet.h"
#include "dialogs/ImageFilterSheet.h"
#include "imaging/Conversions.h"
#include "imaging/Demosaic.h"
#include "platform/Time.h"
#include "session/AutoIris.h"
#include "session/COrvane.h"

namespace orvane::session {
namespace {

constexpr uint32_t kFrameWaitMs = 3000;
constexpr int kThreshold8 = 30;
constexpr int kThreshold16 = 480;
constexpr int kSubSampleNoHotPixels = 0x10;
constexpr int kWorkerThreads = 2;

enum Mode : int { kIdle = 0, kPreviewMode = 1, kCaptureMode = 2 };

int hotPixelThreshold(const CDibImage& raw) {
    return raw.bitCount() == 16 ? kThreshold16 : kThreshold8;
}
constexpr int kBitsPerPixel[6] = {8, 16, 24, 32, 48, 64};

bool wideIndex(int colorIndex) {
    return colorIndex == 1 || colorIndex == 4 || colorIndex == 5;
}

}  // namespace

CDibImage* COrvane::RawBuffer() {
    return images_[wideIndex(preparedColor_) ? kRaw16 : kRaw8].get();
}

CDibImage* COrvane::OutputBuffer() {
    switch (preparedColor_) {
        case 0:
            return images_[kRaw8].get();
        case 1:
            return images_[kRaw16].get();
        case 2:
            return images_[kOut24].get();
        case 3:
            return images_[kOut32].get();
        case 4:
            return images_[kOut48].get();
        case 5:
            return images_[kOut64].get();
        default:
            return nullptr;
    }
}

int COrvane::Prepare() {
    device::COrvaneUSB3Q7SimpleSdk& d = *sdk_;
    if (!d.HasCamera(d.GetDeviceNumber())) return fail(kErrNoCamera);
    const CaptureGeometry g = geometry();
    const int subSample = subSample_.load();
    if (!GeometryValid(g, subSample)) return fail(kErrWindowRange);
    int w = g.width, h = g.height;
    switch (subSample) {
        case 1:
        case 17:
            w /= 2;
            h /= 2;
            break;
        case 2:
        case 18:
            w /= 4;
            h /= 4;
            break;
        case 3:
        case 19:
            w /= 8;
            h /= 8;
            break;
        default:
            break;
    }
    const int ci = colorIndex_.load();
    if (ci < 0 || ci > 5) return fail(kErrWindowRange);
    {
        platform::LockGuard pipeline(pipelineLock_);
        platform::LockGuard lock(frameLock_);
        // Frames are processed in the mode the buffers are sized for here, even when the
        // application picks another mode while they stream: that one applies from the next
        // preparation on.
        preparedColor_ = ci;
        bool ok = true;
        auto sizeImage = [&](CDibImage& image, int bits) {
            if (image.width() == w && image.height() == h && image.bitCount() == bits) return;
            ok = ok && image.Create(w, h, bits) != 0;
        };
        // Each frame buffer has a twin of the same geometry that the next frame is processed
        // in; finished, the two change places.
        auto size = [&](int role, int bits) ORVANE_REQUIRES(pipelineLock_) {
            sizeImage(*images_[role], bits);
            auto& staged = staged_[static_cast<size_t>(role)];
            if (!staged) staged = std::make_unique<CDibImage>();
            sizeImage(*staged, bits);
        };
        if (ci <= 3) size(kRaw8, 8);
        if (wideIndex(ci)) size(kRaw16, 16);
        if (ci != 1) size(kOut24, 24);
        if (ci == 3) size(kOut32, 32);
        if (ci == 4) size(kOut48, 48);
        if (ci == 5) size(kOut64, 64);
        if (ok) {
            const CDibImage* out = OutputBuffer();
            sizeImage(*images_[kWork], out->bitCount());
        }
        if (!ok) return fail(kErrMemory);
        if (!workers_) workers_ = std::make_unique<platform::WorkerPool>(kWorkerThreads);
        SizeDisplayBuffer(ci);
        pipelineWindow_ = imaging::CaptureWindow{g.xStart, g.yStart, g.width, g.height};
    }
    d.SetWideTransfer(wideIndex(ci) ? 1 : 0);
    if (!d.SetCaptureWindow(g.xStart, g.yStart, g.width, g.height, subSample))
        return fail(kErrWindowRange);
    // The sensor aligns windows (columns in fours, lines in pairs). Frames of another size
    // than the buffers sized above would not fit them, so such a window is refused.
    int ax = -1, ay = -1, aw = -1, ah = -1, am = 0;
    d.GetSensorGeometry(&ax, &ay, &aw, &ah, &am);
    if (ax != g.xStart || ay != g.yStart || aw != g.width || ah != g.height)
        return fail(kErrWindowRange);

    const CameraSettings c = CameraSettingsCopy();
    d.SetMirrorV(c[CameraSettings::kMirrorV]);
    d.SetMirrorH(c[CameraSettings::kMirrorH]);
    d.ApplyTriggerMode(0, 1);
    PushGainsAndExposure(c);
    d.SetGainMode(0);
    if (d.HasGainMode()) d.SetGainMode(c[CameraSettings::kGainMode]);
    if (d.HasLevelControl()) d.SetLevel(c[CameraSettings::kBlackLevel]);
    d.AfterConfigure();
    return 1;
}

int COrvane::Capture() {
    platform::LockGuard lifecycle(lifecycleLock_);
    return CaptureLocked();
}

int COrvane::CaptureLocked() {
    if (!sdk_) return fail(kErrState);
    switch (mode_.load()) {
        case kPreviewMode:
            return fail(kErrState);
        case kCaptureMode:
            return 1;
        default:
            break;
    }
    if (!Prepare()) return 0;
    mode_.store(kCaptureMode);
    return 1;
}

int COrvane::StartPreview() {
    platform::LockGuard lifecycle(lifecycleLock_);
    return StartPreviewLocked();
}

int COrvane::StartPreviewLocked() {
    if (!sdk_) return fail(kErrState);
    if (mode_.load() == kPreviewMode) return 1;
    if (mode_.load() == kCaptureMode) return fail(kErrState);
    if (!Prepare()) return 0;
    if (!sdk_->StartCapture(device::kModeContinuous)) {
        StopPreviewLocked();
        return fail(kErrDevice);
    }
    mode_.store(kPreviewMode);
    runFlag_.store(1);
    if (!acquisitionThread_.start([this] { AcquisitionLoop(); })) {
        StopPreviewLocked();
        return fail(kErrThread);
    }
    return 1;
}

int COrvane::StopPreview() {
    platform::LockGuard lifecycle(lifecycleLock_);
    return StopPreviewLocked();
}

// The threads joined here never take the lifecycle lock, so waiting for them with it held
// cannot deadlock; they do take the frame lock, which is therefore not held here.
int COrvane::StopPreviewLocked() {
    if (!sdk_) return fail(kErrState);
    runFlag_.store(0);
    if (mode_.exchange(kIdle) != kIdle) sdk_->StopCapture();
    acquisitionThread_.join();
    StopRecording();
    return 1;
}

int COrvane::Close() {
    platform::LockGuard lifecycle(lifecycleLock_);
    return CloseLocked();
}

int COrvane::CloseLocked() {
    DestroyPreviewWindow();
    if (sdk_) StopPreviewLocked();
    frameProcessed_.store(false);
    if (sdk_) sdk_->StopCapture();
    return 1;
}

int COrvane::Preview() {
    platform::LockGuard lifecycle(lifecycleLock_);
    {
        platform::LockGuard delivery(deliveryLock_);
        callbackWindow_.store(nullptr);
        appBuffer_ = nullptr;
        appBufferSize_ = 0;
        appRowOrder_ = 0;
    }
    // Without a display there is no preview window: the preview runs as with an empty
    // rectangle and frames are processed all the same. Without a device object there is
    // nothing to show, and StartPreview reports it.
    if (sdk_ && !CreatePreviewWindow()) return 0;
    if (!StartPreviewLocked()) {
        CloseLocked();
        return fail(kErrNoFrame);
    }
    return 1;
}

int COrvane::CallBackPreview(WindowHandle window, void* buffer, int size, int rowOrder) {
    platform::LockGuard lifecycle(lifecycleLock_);
    {
        platform::LockGuard delivery(deliveryLock_);
        callbackWindow_.store(window);
        appBuffer_ = buffer;
        appBufferSize_ = size;
        appRowOrder_ = rowOrder;
    }
    if (sdk_ && !CreatePreviewWindow()) return 0;
    if (!StartPreviewLocked()) {
        CloseLocked();
        return fail(kErrNoFrame);
    }
    return 1;
}

int COrvane::SetWaitTime(int ms) {
    if (ms < 0) return 0;
    waitTime_.store(ms);
    return 1;
}

int COrvane::SetPreviewWindow(WindowHandle parent, int left, int top, int right, int bottom) {
    if (!sdk_) return fail(kErrState);
    platform::LockGuard lock(geometryLock_);
    previewParent_ = parent;
    previewRect_ = PreviewRect{left, top, right, bottom};
    return 1;
}

bool COrvane::CopyOut(void* buffer, int size, int rowOrder) {
    return CopyOutFrom(OutputBuffer(), buffer, size, rowOrder);
}

bool COrvane::CopyOutFrom(const CDibImage* out, void* buffer, int size, int rowOrder) {
    if (out == nullptr || out->empty() || size < 0 ||
        static_cast<size_t>(size) < out->sizeBytes()) {
        if (auto cb = callbackWindow_.load()) platform::postMessage(cb, kMsgFrame, 0, kErrMemory);
        history_.record(kErrMemory);
        return false;
    }
    return imaging::copyOut(out->view(), static_cast<uint8_t*>(buffer), static_cast<size_t>(size),
                            rowOrder);
}

CDibImage* COrvane::StagedRaw(int colorIndex) {
    return staged_[wideIndex(colorIndex) ? kRaw16 : kRaw8].get();
}

CDibImage* COrvane::StagedOutput(int colorIndex) {
    static constexpr int kOutputRole[6] = {kRaw8, kRaw16, kOut24, kOut32, kOut48, kOut64};
    if (colorIndex < 0 || colorIndex > 5) return nullptr;
    return staged_[static_cast<size_t>(kOutputRole[colorIndex])].get();
}

COrvane::FrameSettings COrvane::TakeFrameSettings() {
    platform::LockGuard lock(frameLock_);
    FrameSettings f;
    f.color = preparedColor_;
    f.image = image_;
    f.camera = camera_;
    f.window = pipelineWindow_;
    return f;
}

bool COrvane::TakeFrame(CDibImage& raw, FrameSettings& f) {
    if (raw.empty()) return false;
    f.hotPixelsTaken = false;
    const int iris = f.camera[CameraSettings::kAutoIris];
    const bool hotPixelsFirst = (subSample_.load() & kSubSampleNoHotPixels) == 0 && iris != 1 &&
                                iris != 2 && !maskFilter_.load() && !dotFilter_.load();
    if (hotPixelsFirst) {
        device::FrameRing::Hold frame = sdk_->HoldLatest(raw.sizeBytes(), 1);
        const size_t rowBytes = static_cast<size_t>(raw.width()) * raw.bytesPerPixel();
        if (frame && frame.size() == rowBytes * static_cast<size_t>(raw.height())) {
            // Only read: the view's pointer is not const because views are shared by readers
            // and writers.
            const imaging::ImageView source{const_cast<uint8_t*>(frame.bytes()), raw.width(),
                                            raw.height(), static_cast<int>(rowBytes),
                                            raw.bytesPerPixel()};
            const ImageSettings& s = f.image;
            if (imaging::suppressHotPixelsFrom(
                    source, raw.view(), s[ImageSettings::kBayerMode], s[ImageSettings::kGainRed],
                    s[ImageSettings::kGainBlue], hotPixelThreshold(raw), workers_.get()) >= 0) {
                f.hotPixelsTaken = true;
                return true;
            }
        }
    }
    if (sdk_->CopyLatestInto(raw.bits(), raw.sizeBytes(), 1) != 0) return false;
    if (raw.stride() != raw.width() * raw.bytesPerPixel()) imaging::repackRows(raw.view());
    return true;
}

bool COrvane::PublishFrame(int colorIndex) {
    const int rawRole = wideIndex(colorIndex) ? kRaw16 : kRaw8;
    const int outRole = colorIndex <= 1 ? rawRole : kOut24 + (colorIndex - 2);
    // A preparation between the snapshot and here would have resized the buffers; such a
    // frame is dropped rather than handed over in the wrong shape.
    if (colorIndex != preparedColor_) return false;
    for (int role : {rawRole, outRole}) {
        const CDibImage& a = *images_[static_cast<size_t>(role)];
        const CDibImage& b = *staged_[static_cast<size_t>(role)];
        if (a.width() != b.width() || a.height() != b.height() || a.bitCount() != b.bitCount())
            return false;
    }
    std::swap(images_[static_cast<size_t>(rawRole)], staged_[static_cast<size_t>(rawRole)]);
    if (outRole != rawRole)
        std::swap(images_[static_cast<size_t>(outRole)], staged_[static_cast<size_t>(outRole)]);
    return true;
}

// Each frame is processed in the staged buffers with a copy of the settings taken at its
// start, outside the frame lock, so that the application's setters, getters and GetImage
// wait at most for the short hand-over; they see whole frames only, each processed with one
// set of settings.
void COrvane::AcquisitionLoop() {
    while (runFlag_.load() != 0) {
        platform::sleepMs(static_cast<uint32_t>(waitTime_.load()));
        if (runFlag_.load() != 1) continue;
        const int result = sdk_->WaitFrame(kFrameWaitMs);
        if (result == device::kWaitFailed) {
            runFlag_.store(0);
            if (auto cb = callbackWindow_.load())
                platform::postMessage(cb, kMsgFrame, 0, kErrDelivery);
            history_.record(kErrDelivery);
            break;
        }
        if (result != device::kWaitFrameReady) continue;

        FrameInfo* info = nullptr;
        bool delivered = true;
        {
            platform::LockGuard pipeline(pipelineLock_);
            FrameSettings settings = TakeFrameSettings();
            CDibImage* raw = StagedRaw(settings.color);
            if (raw == nullptr || !TakeFrame(*raw, settings)) continue;
            RunPipeline(*raw, settings);
            void* appBuffer = nullptr;
            {
                platform::LockGuard delivery(deliveryLock_);
                appBuffer = appBuffer_;
                if (appBuffer_ != nullptr && appBufferSize_ != 0)
                    delivered = CopyOutFrom(StagedOutput(settings.color), appBuffer_,
                                            appBufferSize_, appRowOrder_);
            }

            platform::LockGuard lock(frameLock_);
            if (!PublishFrame(settings.color)) continue;
            const CDibImage* published = RawBuffer();
            info = &frameInfo_[static_cast<size_t>(frameInfoNext_)];
            frameInfoNext_ = (frameInfoNext_ + 1) % kFrameInfoSlots;
            info->reserved = 0;
            info->width = published->width();
            info->height = published->height();
            info->bitsPerPixel = kBitsPerPixel[settings.color];
            info->buffer = appBuffer;

            ++frameCounter_;
            const uint32_t now = platform::timeGetTime();
            const uint32_t elapsed = now - frameWindowStart_;
            if (elapsed > 1000) {
                frameRate_.store(
                    static_cast<int>(static_cast<int64_t>(frameCounter_) * 10000 / elapsed));
                frameCounter_ = 0;
                frameWindowStart_ = now;
            }
            info->frameRate = frameRate_.load();
            newFrameForRecorder_.store(true);
            frameProcessed_.store(true);
            DrawPreview();
        }
        if (!delivered) continue;
        if (runFlag_.load() == 1) {
            if (auto cb = callbackWindow_.load())
                platform::postMessage(cb, kMsgFrame, reinterpret_cast<uintptr_t>(info), 0);
        }
    }
}

int COrvane::SnapShot(void* buffer, int size, int rowOrder) {
    // Held throughout: the mode read here must stay what it is until the frame is taken.
    platform::LockGuard lifecycle(lifecycleLock_);
    if (!sdk_) return fail(kErrState);
    const int mode = mode_.load();
    if (mode == kPreviewMode) return fail(kErrState);
    if (mode == kIdle && !Prepare()) return 0;
    auto stopUnlessCapturing = [&] {
        if (mode_.load() != kCaptureMode) sdk_->StopCapture();
    };
    platform::LockGuard pipeline(pipelineLock_);
    if (!sdk_->StartCapture(device::kModeSnapshot) ||
        sdk_->WaitFrame(static_cast<uint32_t>(snapshotTimeout_)) != device::kWaitFrameReady) {
        stopUnlessCapturing();
        return fail(kErrNoFrame);
    }
    FrameSettings settings = TakeFrameSettings();
    CDibImage* raw = StagedRaw(settings.color);
    if (raw == nullptr || !TakeFrame(*raw, settings)) {
        stopUnlessCapturing();
        return fail(kErrMemory);
    }
    RunPipeline(*raw, settings);
    platform::LockGuard lock(frameLock_);
    if (!PublishFrame(settings.color)) {
        stopUnlessCapturing();
        return fail(kErrMemory);
    }
    if (buffer != nullptr && size != 0 && !CopyOut(buffer, size, rowOrder)) {
        stopUnlessCapturing();
        return fail(kErrMemory);
    }
    stopUnlessCapturing();
    frameProcessed_.store(true);
    return 1;
}

int COrvane::GetImage(void* buffer, int size, int rowOrder) {
    if (!sdk_) return fail(kErrState);
    platform::LockGuard lock(frameLock_);
    const CDibImage* out = OutputBuffer();
    if (out == nullptr) return fail(kErrState);
    if (out->empty() || buffer == nullptr) return fail(kErrMemory);
    if (!CopyOut(buffer, size, rowOrder)) return fail(kErrMemory);
    return 1;
}

// ---- The processing pipeline -------------------------------------------------------------

void COrvane::AutoIris(const CDibImage& raw) {
    const int w = raw.width(), h = raw.height();
    int means[5];
    for (int i = 0; i < 5; ++i) {
        const float* r = kAutoIrisRegions[i];
        const imaging::PixelRect rect{static_cast<int>(r[0] * static_cast<float>(w)),
                                      static_cast<int>(r[1] * static_cast<float>(h)),
                                      static_cast<int>(r[2] * static_cast<float>(w)),
                                      static_cast<int>(r[3] * static_cast<float>(h))};
        means[i] = imaging::meanLevel(raw.view(), rect);
    }
    const float d = autoIrisFactor(means);
    if (!autoIrisActs(d)) return;
    // The new gain or exposure starts from the current one, which the application may have
    // set since the frame's settings were taken.
    platform::LockGuard lock(frameLock_);
    const int irisMode = camera_[CameraSettings::kAutoIris];
    device::COrvaneUSB3Q7SimpleSdk& dev = *sdk_;
    if (irisMode == 2) {
        const int current = std::max(camera_[CameraSettings::kGlobalGain], 4);
        int v = static_cast<int>(static_cast<float>(current) * d);
        v = std::min(std::max(v, dev.GetGlobalGainMin()), dev.GetGlobalGainMax());
        dev.SetGlobalGain(v);
        for (int i = CameraSettings::kGlobalGain; i <= CameraSettings::kColorGainGreen2; ++i)
            camera_[i] = v;
        if (analogDialog_ != nullptr) analogDialog_->postGlobalGain(v);
    } else if (irisMode == 1) {
        int v =
            static_cast<int>(static_cast<float>(camera_[CameraSettings::kExposure]) * d) & 0xFFFF;
        v = std::max(v, 1);
        v = std::min(std::max(v, dev.GetExposureTimeMin()), dev.GetExposureTimeMax());
        dev.SetExposure(static_cast<unsigned>(v));
        camera_[CameraSettings::kExposure] = v;
        double seconds = 0.0;
        if (dev.HasExposureTimeEx() && dev.GetExposureTimeEx(&seconds))
            camera_.exposureSeconds = seconds;
        if (analogDialog_ != nullptr) analogDialog_->postExposureCount(v);
    }
}

void COrvane::SoftwareMirror(CDibImage& raw, const CameraSettings& c) {
    const bool h = c[CameraSettings::kMirrorH] && !sdk_->HasHardwareMirrorH();
    const bool v = c[CameraSettings::kMirrorV] && !sdk_->HasHardwareMirrorV();
    if (!h && !v) return;
    const int width = raw.width(), height = raw.height(), stride = raw.stride();
    const int bpp = raw.bytesPerPixel();
    std::vector<uint8_t> copy(raw.bits(), raw.bits() + raw.sizeBytes());
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = copy.data() + static_cast<size_t>(v ? height - 1 - y : y) * stride;
        uint8_t* dst = raw.bits() + static_cast<size_t>(y) * stride;
        if (!h) {
            std::memcpy(dst, src, static_cast<size_t>(width) * bpp);
            continue;
        }
        for (int x = 0; x < width; ++x)
            std::memcpy(dst + static_cast<size_t>(x) * bpp,
                        src + static_cast<size_t>(width - 1 - x) * bpp, bpp);
    }
}

// Runs on the staged buffers without the frame lock, reading the frame's copy of the
// settings. The steps that change settings (gray balance, white balance) write the result
// back to the session's settings under the lock as well as into the copy.
void COrvane::RunPipeline(CDibImage& raw, FrameSettings& f) {
    const int ci = f.color;
    const bool wide = raw.bitCount() == 16;
    const int threshold = hotPixelThreshold(raw);
    platform::WorkerPool* pool = workers_.get();
    ImageSettings& s = f.image;

    // 1. Automatic exposure or gain.
    const int iris = f.camera[CameraSettings::kAutoIris];
    if (iris == 1 || iris == 2) AutoIris(raw);

    // 2. Flat-field and defect correction (off for this frame when its hot pixels were
    // suppressed as it was taken: they were off then).
    if (!f.hotPixelsTaken && (maskFilter_.load() || dotFilter_.load())) {
        platform::LockGuard mask(maskLock_);
        if (EnsureMaskBuffers()) {
            if (maskFilter_.load())
                imaging::applyMaskFilter(raw.view(), f.window,
                                         images_[wide ? kDark16 : kDark8]->view(),
                                         images_[wide ? kBright16 : kBright8]->view(), pool);
            if (dotFilter_.load()) {
                // The marks cover the frame, which may be a window of the sensor: the
                // filter works on the top-left part of the full-size marks buffer.
                imaging::ImageView marks = images_[wide ? kMarks16 : kMarks8]->view();
                marks.width = std::min(marks.width, raw.width());
                marks.height = std::min(marks.height, raw.height());
                imaging::applyDotFilter(
                    raw.view(), f.window, images_[wide ? kHot16 : kHot8]->view(),
                    images_[wide ? kDead16 : kDead8]->view(), marks, threshold, pool);
            }
        }
    }

    // 3. Hot pixels.
    if (!f.hotPixelsTaken && (subSample_.load() & kSubSampleNoHotPixels) == 0)
        imaging::suppressHotPixels(raw.view(), s[ImageSettings::kBayerMode],
                                   s[ImageSettings::kGainRed], s[ImageSettings::kGainBlue],
                                   threshold, pool);

    // 4. Gray modes, for the monochrome formats.
    if (ci == 0 || ci == 1) {
        if (s[ImageSettings::kGrayMode] == 1) {
            imaging::GrayGains gains;
            for (int i = 0; i < 4; ++i) {
                gains.gain[i] = s[ImageSettings::kGrayGainR + i];
                gains.offset[i] = s[ImageSettings::kGrayOffsetR + i];
            }
            if (s[ImageSettings::kGrayOneShot] > 0) {
                gains =
                    imaging::measureGrayBalance(raw.view(), s[ImageSettings::kBayerMode], gains);
                platform::LockGuard lock(frameLock_);
                for (int i = 0; i < 4; ++i) {
                    image_[ImageSettings::kGrayGainR + i] = gains.gain[i];
                    image_[ImageSettings::kGrayOffsetR + i] = gains.offset[i];
                }
                if (image_[ImageSettings::kGrayOneShot] > 0) --image_[ImageSettings::kGrayOneShot];
                if (imageDialog_ != nullptr) imageDialog_->requestRefresh();
            }
            imaging::applyGrayGains(raw.view(), s[ImageSettings::kBayerMode], gains,
                                    ci == 0 ? 8 : 12, pool);
        } else if (s[ImageSettings::kGrayMode] == 2 && ci == 0) {
            const CDibImage& out24 = *staged_[kOut24];
            imaging::DemosaicParams params{s[ImageSettings::kBayerMode], s[ImageSettings::kGainRed],
                                           s[ImageSettings::kGainGreen],
                                           s[ImageSettings::kGainBlue]};
            if (imaging::demosaic(raw.view(), out24.view(), params, pool))
                imaging::grayFromColour(out24.view(), raw.view(), pool);
        }
    }

    // 5. Mirroring the camera cannot do itself.
    SoftwareMirror(raw, f.camera);

    // 6. Colour.
    CDibImage* out = StagedOutput(ci);
    if (ci >= 2 && out != nullptr) {
        if (s[ImageSettings::kBayerGainAuto]) {
            const imaging::WhiteBalanceGains wb =
                imaging::measureWhiteBalance(raw.view(), s[ImageSettings::kBayerMode], pool);
            s[ImageSettings::kGainRed] = std::min(wb.red, 400);
            s[ImageSettings::kGainGreen] = std::min(wb.green, 400);
            s[ImageSettings::kGainBlue] = std::min(wb.blue, 400);
            platform::LockGuard lock(frameLock_);
            image_[ImageSettings::kGainRed] = s[ImageSettings::kGainRed];
            image_[ImageSettings::kGainGreen] = s[ImageSettings::kGainGreen];
            image_[ImageSettings::kGainBlue] = s[ImageSettings::kGainBlue];
            if (imageDialog_ != nullptr) imageDialog_->requestRefresh();
            if (s[ImageSettings::kWhiteBalanceRequest1] &&
                s[ImageSettings::kWhiteBalanceRequest2]) {
                image_[ImageSettings::kBayerGainAuto] = 0;
                image_[ImageSettings::kWhiteBalanceRequest1] = 0;
                image_[ImageSettings::kWhiteBalanceRequest2] = 0;
            }
        }
        imaging::DemosaicParams params{s[ImageSettings::kBayerMode], s[ImageSettings::kGainRed],
                                       s[ImageSettings::kGainGreen], s[ImageSettings::kGainBlue]};
        imaging::demosaic(raw.view(), out->view(), params, pool);
    }
    if (out == nullptr || out->empty()) return;

    // 7. Hue and saturation (colour formats), then the tone steps on the output; for 8-bit
    // samples they share one banded pass over the image.
    if (ci >= 2) hueSaturation_.set(s[ImageSettings::kHue], s[ImageSettings::kSaturation]);
    imaging::applyToneSteps(out->view(), s[ImageSettings::kGamma], s[ImageSettings::kContrast],
                            s[ImageSettings::kSharpness], s[ImageSettings::kBrightness],
                            toneTables_, sharpenSpace_, pool, ci >= 2 ? &hueSaturation_ : nullptr);
}

}  // namespace orvane::session
