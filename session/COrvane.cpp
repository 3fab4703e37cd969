#include "session/COrvane.h"

#include <cstdio>
#include <cstring>

#include "device/COrvaneUSB3Q7SimpleSdk.h"
#include "platform/TextConv.h"
#include "platform/Time.h"
#include "session/SettingsStore.h"

namespace orvane::session {
namespace {

constexpr int kServedProductId = 0x30F0;
constexpr int kMaxListedCameras = 10;
constexpr int kDeviceTableRows = 32;
constexpr const char* kModelName = "OrvaneA06-USB3-Q7";

// "OrvaneA06-USB3-Q7_NN"
std::string deviceName(int number) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s_%02d", kModelName, number);
    return buf;
}

}  // namespace

void SdkDeleter::operator()(device::COrvaneUSB3Q7SimpleSdk* sdk) const noexcept {
    delete sdk;
}

COrvane::COrvane() : frameWindowStart_(platform::timeGetTime()) {}

COrvane::~COrvane() {
    platform::LockGuard lifecycle(lifecycleLock_);
    if (sdk_) {
        if (cameraOpened_) SaveDeviceSettings();
        // Threads use the session's members: they are stopped before anything is freed.
        CloseLocked();
        sdk_->Close();
    }
    sdk_.reset();
    lifecycle.unlock();
    platform::LockGuard lock(frameLock_);
    for (auto& image : images_) image.reset();
}

// ---- Lifecycle and device selection --------------------------------------------------

int COrvane::Initialize(WindowHandle window) {
    platform::LockGuard lifecycle(lifecycleLock_);
    sdk_.reset();
    for (int i = 0; i <= kBright16; ++i) images_[i].reset();

    sdk_.reset(new (std::nothrow) device::COrvaneUSB3Q7SimpleSdk);
    for (auto& image : images_)
        if (!image) image.reset(new (std::nothrow) CDibImage);
    history_.setWindow(window);
    if (window != nullptr && !platform::registerDeviceNotification(window)) {
        // The window cannot receive device notifications (it is not a message window of
        // this process): stop before sizing buffers or contacting the device.
        return fail(kErrWindow);
    }
    if (!sdk_) return fail(kErrMemory);
    for (auto& image : images_)
        if (!image) return fail(kErrMemory);

    // The ten full-size reference frames and defect maps of the mask (about 94 MB) are
    // made when the mask is first used (EnsureMaskBuffers), not here: most sessions never
    // use it, and sizing them costs every Initialize a second of page faults.

    CaptureGeometry g = geometry();
    settings::LoadGeometry(deviceNumber_, g);
    setGeometry(g);

    sdk_->SetProductId(kServedProductId);
    sdk_->CreateController(window, nullptr);
    if (sdk_->CountCameras(kServedProductId) == 1) SetDeviceNumberLocked(0);

    LoadDeviceSettings();
    LoadStoredCameraValues(deviceNumber_);
    return 1;
}

struct COrvane::AnalogDefaultsView {
    static settings::AnalogDefaults of(device::COrvaneUSB3Q7SimpleSdk& d) {
        settings::AnalogDefaults defaults;
        defaults.globalGain = d.GetGlobalGainDefault();
        defaults.colorGain = d.GetColorGainDefault();
        defaults.exposure = d.GetExposureTimeDefault();
        defaults.blackLevel = d.GetLevelDefault();
        defaults.mirrorV = d.GetMirrorV();
        defaults.mirrorH = d.GetMirrorH();
        defaults.hasExposureSeconds = d.HasExposureTimeEx() != 0;
        if (defaults.hasExposureSeconds) d.GetExposureTimeExDefault(&defaults.exposureSeconds);
        return defaults;
    }
};

void COrvane::LoadDeviceSettings() {
    const settings::AnalogDefaults defaults = AnalogDefaultsView::of(*sdk_);
    const int number = sdk_->GetDeviceNumber();
    platform::LockGuard lock(frameLock_);
    settings::LoadGain(number, camera_, defaults);
    settings::LoadFilter(number, image_);
    settings::LoadGray(number, image_);
}

settings::CameraValues COrvane::LoadStoredCameraValues(int number) {
    settings::CameraValues values{colorIndex_.load(), subSample_.load(), waitTime_.load(),
                                  clock_.load()};
    settings::LoadCameraValues(number, values);
    colorIndex_.store(values.colorIndex);
    subSample_.store(values.subSample);
    waitTime_.store(values.waitTime);
    clock_.store(values.clock);
    return values;
}

void COrvane::SaveDeviceSettings() {
    CameraSettings camera;
    ImageSettings image;
    {
        platform::LockGuard lock(frameLock_);
        camera = camera_;
        image = image_;
    }
    settings::SaveGain(deviceNumber_, camera);
    settings::SaveFilter(deviceNumber_, image);
    settings::SaveGray(deviceNumber_, image);
}

CameraSettings COrvane::CameraSettingsCopy() {
    platform::LockGuard lock(frameLock_);
    return camera_;
}

void COrvane::PushGainsAndExposure(const CameraSettings& c) {
    device::COrvaneUSB3Q7SimpleSdk& d = *sdk_;
    d.SetGlobalGain(c[CameraSettings::kGlobalGain]);
    d.SetColorGainGreen1(c[CameraSettings::kColorGainGreen1]);
    d.SetColorGainRed(c[CameraSettings::kColorGainRed]);
    d.SetColorGainBlue(c[CameraSettings::kColorGainBlue]);
    d.SetColorGainGreen2(c[CameraSettings::kColorGainGreen2]);
    if (d.HasExposureTimeEx())
        d.SetExposureTimeEx(c.exposureSeconds);
    else
        d.SetExposure(static_cast<unsigned>(c[CameraSettings::kExposure]) & 0xFFFFu);
}

void COrvane::PushCameraSettings() {
    const CameraSettings c = CameraSettingsCopy();
    device::COrvaneUSB3Q7SimpleSdk& d = *sdk_;
    PushGainsAndExposure(c);
    d.SetMirrorV(c[CameraSettings::kMirrorV]);
    d.SetMirrorH(c[CameraSettings::kMirrorH]);
    if (d.HasLevelControl()) d.SetLevel(c[CameraSettings::kBlackLevel]);
    if (d.HasPeltier()) d.SetPeltier(1);
    if (d.HasSwitchA()) d.SetSwitchA(0);
    if (d.HasGainMode()) d.SetGainMode(c[CameraSettings::kGainMode]);
}

int COrvane::SetDeviceNumber(int number) {
    platform::LockGuard lifecycle(lifecycleLock_);
    return SetDeviceNumberLocked(number);
}

int COrvane::SetDeviceNumberLocked(int number) {
    if (!sdk_) return fail(kErrState);
    // Opening a camera ends the stream of the one in use: acquisition stops first, so that
    // its threads do not go on waiting for frames that will never come.
    if (mode_.load() != 0) StopPreviewLocked();
    if (deviceSelectedBefore_ && cameraOpened_) SaveDeviceSettings();
    deviceSelectedBefore_ = true;
    if (!sdk_->HasCamera(number) || !sdk_->Open(number)) return fail(kErrNoCamera);
    cameraOpened_ = true;
    LoadDeviceSettings();
    PushCameraSettings();
    deviceNumber_ = number;
    return 1;
}

int COrvane::EnumDevice(char (*names)[256]) {
    if (!sdk_) return fail(kErrState);
    if (names == nullptr) return fail(kErrArgument);
    const int attached = sdk_->CountCameras(kServedProductId);
    int listed = 0;
    // The list has room for ten names; further cameras are reachable by number. Rows of
    // cameras that went away stay in the device table, so the attached cameras are looked
    // for over every row rather than only the first `attached` ones (which would leave out
    // a camera behind an unplugged one).
    for (int j = 0; j < kDeviceTableRows && listed < attached && listed < kMaxListedCameras; ++j) {
        if (!sdk_->HasCamera(j)) continue;
        ++listed;
        std::snprintf(names[listed - 1], 256, "%s", deviceName(listed).c_str());
    }
    for (int i = listed; i < kMaxListedCameras; ++i) names[i][0] = '\0';
    return listed;
}

int COrvane::EnumDeviceW(char16_t (*names)[256]) {
    char narrow[kMaxListedCameras][256] = {};
    if (names == nullptr) return EnumDevice(nullptr);
    const int count = EnumDevice(narrow);
    for (int i = 0; i < kMaxListedCameras; ++i) {
        if (i >= count || platform::ansiToWide(narrow[i], names[i], 256) == 0) names[i][0] = 0;
    }
    return count;
}

int COrvane::GetDeviceName(int index, char* text, int size) {
    if (!sdk_) return fail(kErrState);
    if (size <= 18 || text == nullptr) return fail(kErrArgument);
    if (index < 0 || index >= kDeviceTableRows || !sdk_->HasCamera(index))
        return fail(kErrNoCamera);
    const std::string name = deviceName(index + 1);
    // Never write past the caller's buffer: a name that does not fit is refused whole.
    if (name.size() + 1 > static_cast<size_t>(size)) return fail(kErrArgument);
    std::memcpy(text, name.c_str(), name.size() + 1);
    return 1;
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
