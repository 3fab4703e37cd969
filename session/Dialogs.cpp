// The session side of the three settings dialogs: what happens around showing each sheet.
#include <optional>

#include "device/COrvaneUSB3Q7SimpleSdk.h"
#include "dialogs/AnalogGainSheet.h"
#include "dialogs/ImageFilterSheet.h"
#include "dialogs/SheetDisplay.h"
#include "dialogs/StreamFormatSheet.h"
#include "session/COrvane.h"
#include "session/SettingsStore.h"

namespace orvane::session {
namespace {

constexpr int kPreviewRunning = 1;
constexpr int kCaptureRunning = 2;

unsigned long nativeParent(WindowHandle parent) {
    return parent != nullptr ? platform::nativeWindowOf(parent) : 0;
}

}  // namespace

// The stream format sheet edits only the stored settings; acquisition is stopped while it
// is open, and the confirmed settings are loaded before acquisition starts again.
int COrvane::SetCameraDlg(WindowHandle parent) {
    if (!sdk_) return fail(kErrState);
    // The lifecycle lock is not held while the sheet is shown: other threads may stop or
    // start acquisition meanwhile, and the mode found here is what is restored afterwards.
    int running = 0;
    {
        platform::LockGuard lifecycle(lifecycleLock_);
        running = mode_.load();
        if (running != 0) StopPreviewLocked();
    }

    int result = dialogs::kResultNotShown;
    {
        dialogs::StreamFormatSheet sheet(deviceNumber_.load(),
                                         sdk_->GetHorizontalWindowAllowed() != 0,
                                         sdk_->GetVerticalWindowAllowed() != 0);
        result = dialogs::showSheet(sheet, {nativeParent(parent), {}});
    }
    if (result == dialogs::kResultOk) {
        const int number = deviceNumber_.load();
        const settings::CameraValues values = LoadStoredCameraValues(number);
        CaptureGeometry g = geometry();
        settings::LoadGeometry(number, g);
        // A window acquisition would refuse is not taken over, as SetCaptureWindowEx does
        // not take one: keeping it would make every start fail.
        if (GeometryValid(g, values.subSample))
            setGeometry(g);
        else
            history_.record(kErrWindowRange);
    }

    {
        platform::LockGuard lifecycle(lifecycleLock_);
        if (running == kPreviewRunning)
            StartPreviewLocked();
        else if (running == kCaptureRunning)
            CaptureLocked();
    }
    if (result == dialogs::kResultNotShown) return fail(kErrWindow);
    return 1;
}

// The image filter sheet edits the record the pipeline reads, live; anything but OK puts
// the record back as it was.
int COrvane::SetImageDlg(WindowHandle parent) {
    if (!sdk_) return fail(kErrState);
    ImageSettings saved;
    std::optional<dialogs::ImageFilterSheet> open;
    {
        platform::LockGuard lock(frameLock_);
        // The pipeline refreshes one sheet; a second one at the same time is refused.
        if (imageDialog_ != nullptr) return fail(kErrWindow);
        saved = image_;
        open.emplace(image_.v, dialogs::ImageFilterFlags::forColorIndex(colorIndex_.load()),
                     frameLock_);
        imageDialog_ = &*open;
    }
    dialogs::ImageFilterSheet& sheet = *open;
    const int result = dialogs::showSheet(
        sheet, {nativeParent(parent), [&sheet] { return sheet.processRequests(); }});
    {
        platform::LockGuard lock(frameLock_);
        imageDialog_ = nullptr;
        if (result != dialogs::kResultOk) image_ = saved;
    }
    if (result == dialogs::kResultNotShown) return fail(kErrWindow);
    return 1;
}

// The analog gain sheet changes the device directly. Opening it refreshes the camera
// cache from the device; the sheet itself sends the opening values back on Cancel.
int COrvane::SetAnalogDlg(WindowHandle parent) {
    if (!sdk_) return fail(kErrState);
    std::optional<dialogs::AnalogGainSheet> open;
    {
        // The device is read under the frame lock, as the pipeline's automatic iris does.
        platform::LockGuard lock(frameLock_);
        if (analogDialog_ != nullptr) return fail(kErrWindow);
        open.emplace(*sdk_, camera_.v, camera_.exposureSeconds, frameLock_);
        analogDialog_ = &*open;
    }
    dialogs::AnalogGainSheet& sheet = *open;
    const int result = dialogs::showSheet(
        sheet, {nativeParent(parent), [&sheet] { return sheet.processRequests(); }});
    {
        platform::LockGuard lock(frameLock_);
        analogDialog_ = nullptr;
    }
    if (result == dialogs::kResultNotShown) return fail(kErrWindow);
    return 1;
}

}  // namespace orvane::session
