// The session's side of the catalogue: camera information, filter values, exposure and
// gain, capture window, mirrors, registers and configuration memory.
#include <cmath>
#include <cstring>

#include "device/COrvaneUSB3Q7SimpleSdk.h"
#include "session/COrvane.h"
#include "session/ControlTable.h"
#include "session/SettingsStore.h"

namespace orvane::session {
namespace {

constexpr int kIoPortRegister = 7;
constexpr int kSromVerifyReads = 10;

bool inRange(int v, int lo, int hi) {
    return v >= lo && v <= hi;
}

// The control table as the session dispatches it: the handler, the cached slot and range,
// and the device members the value travels through.
using ControlDevice = device::COrvaneU3Q7Base;
struct SessionControl {
    int id;
    ControlHandler handler;
    int slot;
    int lo;
    int hi;
    int (ControlDevice::*set)(int);
    int (ControlDevice::*get)();
};
constexpr SessionControl kSessionControls[] = {
#define ORVANE_SESSION_CONTROL(a, stem, id, header, exports, handler, record, slot, lo, hi, set, \
                               get, registry)                                                    \
    {id, ControlHandler::handler, slot, lo, hi, set, get},
    ORVANE_CONTROLS(ORVANE_SESSION_CONTROL, )
#undef ORVANE_SESSION_CONTROL
};

const SessionControl* findSessionControl(int id) {
    for (const SessionControl& c : kSessionControls)
        if (c.id == id) return &c;
    return nullptr;
}

// Bits per pixel of the colour modes, by colour index.
constexpr int kColorModeBits[6] = {8, 16, 24, 32, 48, 64};

}  // namespace

bool COrvane::GeometryValid(const CaptureGeometry& g, int subSample) {
    if (g.width < 0 || g.height < 0 || g.xStart < 0 || g.yStart < 0 || g.totalWidth < 0 ||
        g.totalHeight < 0)
        return false;
    if (g.width > kArrayWidth || g.height > kArrayHeight || g.xStart > kArrayWidth ||
        g.yStart > kArrayHeight)
        return false;
    if (g.xStart + g.width > kArrayWidth || g.yStart + g.height > kArrayHeight) return false;
    switch (subSample) {
        case 1:
        case 2:
        case 3:
        case 17:
        case 18:
        case 19:
            return false;
        default:
            return true;
    }
}

// ---- General ------------------------------------------------------------------------------

int COrvane::GetCameraInfo(void* record) {
    if (!sdk_) return fail(kErrState);
    if (record == nullptr) return fail(kErrArgument);
    auto* bytes = static_cast<uint8_t*>(record);
    int32_t size = 0;
    std::memcpy(&size, bytes, sizeof size);
    if (size < 36) return fail(kErrMemory);
    device::COrvaneUSB3Q7SimpleSdk& d = *sdk_;
    const int32_t fields[8] = {d.GetMaxWidth(),        d.GetMaxHeight(),      d.GetGlobalGainMin(),
                               d.GetGlobalGainMax(),   d.GetColorGainMin(),   d.GetColorGainMax(),
                               d.GetExposureTimeMin(), d.GetExposureTimeMax()};
    std::memcpy(bytes + 4, fields, sizeof fields);
    if (size >= 56) {
        double lo = 0.0, hi = 0.0;
        d.GetExposureTimeExMin(&lo);
        d.GetExposureTimeExMax(&hi);
        std::memcpy(bytes + 40, &lo, sizeof lo);
        std::memcpy(bytes + 48, &hi, sizeof hi);
    }
    return 1;
}

// ---- Geometry and format ------------------------------------------------------------------

int COrvane::SetCaptureWindow(int width, int height) {
    // The device's window changes with the stored one: not in the middle of a preparation.
    platform::LockGuard lifecycle(lifecycleLock_);
    if (!sdk_) return fail(kErrState);
    bool rootExists = false;
    // Presets are read under the current camera's key, where the first run and the stream
    // format dialog store them.
    const auto presets = settings::ReadPresets(deviceNumber_, &rootExists);
    if (!rootExists) return fail(kErrWindow);
    const settings::Preset* match = nullptr;
    for (const auto& p : presets) {
        if (p.geometry.width == width && p.geometry.height == height) {
            match = &p;
            break;
        }
    }
    if (match == nullptr) return fail(kErrWindow);
    CaptureGeometry g = match->geometry;
    if (!GeometryValid(g, subSample_.load())) {
        history_.record(kErrWindowRange);
        const int buffers = g.bufferCount;
        g = CaptureGeometry{};
        g.bufferCount = buffers;
    }
    setGeometry(g);
    sdk_->SetCaptureWindow(g.xStart, g.yStart, g.width, g.height, subSample_.load());
    return 1;
}

int COrvane::SetCaptureWindowEx(int totalWidth, int xStart, int width, int totalHeight, int yStart,
                                int height) {
    platform::LockGuard lifecycle(lifecycleLock_);
    if (!sdk_) return fail(kErrState);
    const bool widthOk = sdk_->GetHorizontalWindowAllowed() != 0 || width == kArrayWidth;
    const bool heightOk = sdk_->GetVerticalWindowAllowed() != 0 || height == kArrayHeight;
    if (!widthOk || !heightOk) return fail(kErrArgument);
    CaptureGeometry g = geometry();
    g.totalWidth = totalWidth;
    g.xStart = xStart;
    g.width = width;
    g.totalHeight = totalHeight;
    g.yStart = yStart;
    g.height = height;
    // A window that acquisition would refuse is not stored: keeping it would make every
    // later start fail until the application noticed.
    if (!GeometryValid(g, subSample_.load())) return fail(kErrWindowRange);
    setGeometry(g);
    sdk_->SetCaptureWindow(xStart, yStart, width, height, subSample_.load());
    return 1;
}

int COrvane::GetCaptureWindowEx(int* totalWidth, int* xStart, int* width, int* totalHeight,
                                int* yStart, int* height) {
    const CaptureGeometry g = geometry();
    if (totalWidth) *totalWidth = g.totalWidth;
    if (xStart) *xStart = g.xStart;
    if (width) *width = g.width;
    if (totalHeight) *totalHeight = g.totalHeight;
    if (yStart) *yStart = g.yStart;
    if (height) *height = g.height;
    return 1;
}

int COrvane::Width() {
    return geometry().width;
}
int COrvane::Height() {
    return geometry().height;
}

int COrvane::SetColorMode(int bitsPerPixel) {
    for (int index = 0; index < 6; ++index) {
        if (kColorModeBits[index] == bitsPerPixel) {
            colorIndex_.store(index);
            return 1;
        }
    }
    return fail(kErrArgument);
}

int COrvane::GetColorMode() const {
    const int index = colorIndex_.load();
    return index >= 0 && index < 6 ? kColorModeBits[index] : -1;
}

int COrvane::SetSubSample(int code) {
    if (code != 0) return 0;
    subSample_.store(code);
    return 1;
}

int COrvane::SetMirrorH(int on) {
    if (!sdk_) return fail(kErrState);
    const int flag = on != 0 ? 1 : 0;
    sdk_->SetMirrorH(flag);
    platform::LockGuard lock(frameLock_);
    camera_[CameraSettings::kMirrorH] = flag;
    return 1;
}

int COrvane::SetMirrorV(int on) {
    if (!sdk_) {
        history_.postOnly(kErrState);
        return 0;
    }
    const int flag = on != 0 ? 1 : 0;
    sdk_->SetMirrorV(flag);
    platform::LockGuard lock(frameLock_);
    camera_[CameraSettings::kMirrorV] = flag;
    return 1;
}

int COrvane::GetMirrorH() {
    if (!sdk_) return fail(kErrState);
    platform::LockGuard lock(frameLock_);
    return camera_[CameraSettings::kMirrorH];
}

int COrvane::GetMirrorV() {
    if (!sdk_) {
        history_.postOnly(kErrState);
        return 0;
    }
    platform::LockGuard lock(frameLock_);
    return camera_[CameraSettings::kMirrorV];
}

// ---- Filter values --------------------------------------------------------------------

int COrvane::SetFilterValue(int id, int value) {
    if (!sdk_) return fail(kErrState);
    const SessionControl* c = findSessionControl(id);
    if (c == nullptr) return fail(kErrArgument);
    device::COrvaneUSB3Q7SimpleSdk& d = *sdk_;
    switch (c->handler) {
        // A trigger is a request the pipeline consumes; it is set like any image value.
        case ControlHandler::ImageValue:
        case ControlHandler::ImageTrigger: {
            if (!inRange(value, c->lo, c->hi)) return fail(kErrArgument);
            platform::LockGuard lock(frameLock_);
            image_[c->slot] = value;
            return 1;
        }
        case ControlHandler::ImagePacked: {
            platform::LockGuard lock(frameLock_);
            image_[ImageSettings::kGainRed] = value & 0xFF;
            image_[ImageSettings::kGainGreen] = (value >> 8) & 0xFF;
            image_[ImageSettings::kGainBlue] = (value >> 16) & 0xFF;
            return 1;
        }
        case ControlHandler::ImageSwitch: {
            platform::LockGuard lock(frameLock_);
            image_[c->slot] = value != 0 ? 1 : 0;
            return 1;
        }
        case ControlHandler::GlobalGain: {
            if (!inRange(value, d.GetGlobalGainMin(), d.GetGlobalGainMax()))
                return fail(kErrArgument);
            (d.*c->set)(value);
            // The global gain also resets the four colour gains.
            platform::LockGuard lock(frameLock_);
            for (int i = CameraSettings::kGlobalGain; i <= CameraSettings::kColorGainGreen2; ++i)
                camera_[i] = value;
            return 1;
        }
        case ControlHandler::ColorGain: {
            if (!inRange(value, d.GetColorGainMin(), d.GetColorGainMax()))
                return fail(kErrArgument);
            (d.*c->set)(value);
            platform::LockGuard lock(frameLock_);
            camera_[c->slot] = value;
            return 1;
        }
        case ControlHandler::Exposure: {
            if (!inRange(value, d.GetExposureTimeMin(), d.GetExposureTimeMax()))
                return fail(kErrArgument);
            d.SetExposure(static_cast<unsigned>(value) & 0xFFFFu);
            double seconds = 0.0;
            const bool hasSeconds = d.HasExposureTimeEx() && d.GetExposureTimeEx(&seconds);
            platform::LockGuard lock(frameLock_);
            camera_[c->slot] = value;
            if (hasSeconds) camera_.exposureSeconds = seconds;
            return 1;
        }
        case ControlHandler::Peltier: {
            if (!d.HasPeltier()) return fail(kErrUnsupported);
            if (!(d.*c->set)(value)) return fail(kErrDevice);
            platform::LockGuard lock(frameLock_);
            camera_[c->slot] = value;
            return 1;
        }
        case ControlHandler::Temperature:
            return fail(kErrArgument);
        case ControlHandler::SessionFlag: {
            if (!inRange(value, c->lo, c->hi)) return fail(kErrArgument);
            (c->slot == kSessionFlagDotFilter ? dotFilter_ : maskFilter_).store(value);
            return 1;
        }
        case ControlHandler::GainMode: {
            const int result = (d.*c->set)(value);
            if (result) {
                platform::LockGuard lock(frameLock_);
                camera_[c->slot] = value;
            }
            return result ? 1 : 0;
        }
        case ControlHandler::ShortExposure: {
            if (!d.HasSwitchA()) return fail(kErrUnsupported);
            const int on = value > 0 ? 1 : 0;
            if (!(d.*c->set)(on)) return fail(kErrDevice);
            platform::LockGuard lock(frameLock_);
            camera_[c->slot] = on;
            return 1;
        }
        case ControlHandler::BlackLevel: {
            if (!d.HasLevelControl()) return fail(kErrUnsupported);
            if (!(d.*c->set)(value)) return fail(kErrDevice);
            {
                platform::LockGuard lock(frameLock_);
                camera_[c->slot] = value;
            }
            history_.record(kErrNone);
            return 1;
        }
    }
    return fail(kErrArgument);
}

int COrvane::GetFilterValue(int id, int* ok) {
    auto setOk = [ok](int v) {
        if (ok) *ok = v;
    };
    if (!sdk_) {
        setOk(0);
        return fail(kErrState);
    }
    const SessionControl* c = findSessionControl(id);
    // The gray one-shot request is set only.
    if (c == nullptr || c->handler == ControlHandler::ImageTrigger) {
        setOk(0);
        return fail(kErrArgument);
    }
    setOk(1);
    device::COrvaneUSB3Q7SimpleSdk& d = *sdk_;
    switch (c->handler) {
        case ControlHandler::ImageValue:
        case ControlHandler::ImageSwitch:
        case ControlHandler::ImageTrigger: {
            platform::LockGuard lock(frameLock_);
            return image_[c->slot];
        }
        case ControlHandler::ImagePacked: {
            platform::LockGuard lock(frameLock_);
            return (image_[ImageSettings::kGainRed] & 0xFF) |
                   (image_[ImageSettings::kGainGreen] & 0xFF) << 8 |
                   (image_[ImageSettings::kGainBlue] & 0xFF) << 16;
        }
        case ControlHandler::GlobalGain:
        case ControlHandler::ColorGain:
        case ControlHandler::Exposure:
            return (d.*c->get)();
        case ControlHandler::Peltier: {
            int on = 0;
            if (!d.HasPeltier()) {
                setOk(0);
                history_.record(kErrUnsupported);
                return -1;
            }
            if (!d.GetPeltier(&on)) {
                setOk(0);
                return fail(kErrDevice);
            }
            return on;
        }
        case ControlHandler::Temperature:
            setOk(0);
            history_.record(kErrUnsupported);
            return -1;
        case ControlHandler::SessionFlag:
            return (c->slot == kSessionFlagDotFilter ? dotFilter_ : maskFilter_).load();
        case ControlHandler::GainMode:
            return d.HasGainMode() ? (d.*c->get)() : -1;
        case ControlHandler::ShortExposure: {
            int on = 0;
            if (!d.HasSwitchA()) {
                setOk(0);
                return fail(kErrUnsupported);
            }
            if (!d.GetSwitchA(&on)) {
                setOk(0);
                return fail(kErrDevice);
            }
            history_.record(kErrNone);
            return on;
        }
        case ControlHandler::BlackLevel: {
            if (!d.HasLevelControl()) {
                setOk(0);
                return fail(kErrUnsupported);
            }
            const int level = (d.*c->get)();
            history_.record(kErrNone);
            return level;
        }
    }
    setOk(0);
    return fail(kErrArgument);
}

// ---- Exposure -----------------------------------------------------------------------------

int COrvane::SetExposureTimeEx(double seconds) {
    if (!sdk_) return fail(kErrState);
    if (!sdk_->HasExposureTimeEx()) return fail(kErrUnsupported);
    if (!sdk_->SetExposureTimeEx(seconds)) return 0;
    platform::LockGuard lock(frameLock_);
    camera_.exposureSeconds = seconds;
    camera_[CameraSettings::kExposure] = static_cast<int32_t>(seconds * 10000.0);
    return 1;
}

double COrvane::GetExposureTimeEx(int* ok) {
    if (ok) *ok = 0;
    if (!sdk_) {
        history_.record(kErrState);
        return -1.0;
    }
    if (!sdk_->HasExposureTimeEx()) {
        history_.record(kErrUnsupported);
        return -1.0;
    }
    double seconds = 0.0;
    if (!sdk_->GetExposureTimeEx(&seconds)) return -1.0;
    {
        platform::LockGuard lock(frameLock_);
        camera_.exposureSeconds = seconds;
    }
    if (ok) *ok = 1;
    return seconds;
}

int COrvane::SetRealExposureTime(int value) {
    if (!sdk_) return fail(kErrState);
    const int count = value / 100;
    if (!inRange(count, sdk_->GetExposureTimeMin(), sdk_->GetExposureTimeMax()))
        return fail(kErrArgument);
    sdk_->SetExposure(static_cast<unsigned>(count) & 0xFFFFu);
    platform::LockGuard lock(frameLock_);
    camera_[CameraSettings::kExposure] = count;
    return 1;
}

int COrvane::GetRealExposureTime(int* ok) {
    if (!sdk_) {
        if (ok) *ok = 0;
        return fail(kErrState);
    }
    if (ok) *ok = 1;
    platform::LockGuard lock(frameLock_);
    return camera_[CameraSettings::kExposure] * 100;
}

int COrvane::SetAutoIris(int mode) {
    if (mode >= 3 || mode < 0) {
        history_.postOnly(kErrArgument);
        return 0;
    }
    platform::LockGuard lock(frameLock_);
    camera_[CameraSettings::kAutoIris] = mode;
    return 1;
}

int COrvane::GetAutoIris(int* ok) {
    if (ok) *ok = 1;
    platform::LockGuard lock(frameLock_);
    return camera_[CameraSettings::kAutoIris];
}

int COrvane::SetSamplingRate(int value) {
    if (!sdk_) return 0;
    return sdk_->Command(0, &value);
}

int COrvane::GetSamplingRate(int* value) {
    if (value) *value = 0;
    return 0;
}

double COrvane::GetTemperatureEx(int* ok) {
    if (ok) *ok = 0;
    if (!sdk_) {
        history_.record(kErrState);
        return 0.0;
    }
    if (!sdk_->HasTemperature()) {
        history_.record(kErrUnsupported);
        return 0.0;
    }
    double celsius = 0.0;
    if (!sdk_->GetTemperature(&celsius)) {
        history_.record(kErrConversion);
        return 0.0;
    }
    history_.record(kErrNone);
    if (ok) *ok = 1;
    return celsius;
}

// ---- Registers and configuration memory ----------------------------------------------------

int COrvane::readDeviceRegister(int (ControlDevice::*read)(int, int*), int address, int* ok) {
    if (ok) *ok = 0;
    if (!sdk_) return fail(kErrState);
    int readOk = 0;
    const int value = (sdk_.get()->*read)(address, &readOk);
    if (!readOk) return fail(kErrDevice);
    if (ok) *ok = 1;
    return value;
}

// The FPGA and the sensor register reads report alike, so one check of *ok fits both.
int COrvane::FpgaReadRegister(int address, int* ok) {
    return readDeviceRegister(&ControlDevice::ReadFpgaRegister, address, ok) & 0xFFFF;
}

int COrvane::FpgaWriteRegister(int address, int value) {
    if (!sdk_) return fail(kErrState);
    return sdk_->WriteFpgaRegister(address, value) ? 1 : fail(kErrDevice);
}

int COrvane::ReadRegister(int address, int* ok) {
    return ReadRegisterEx(address, ok);
}

int COrvane::ReadRegisterEx(int address, int* ok) {
    return readDeviceRegister(&ControlDevice::ReadSensorRegister, address, ok);
}

int COrvane::WriteRegister(int address, int value) {
    return WriteRegisterEx(address, value);
}

int COrvane::WriteRegisterEx(int address, int value) {
    if (!sdk_) return fail(kErrState);
    return sdk_->WriteSensorRegister(address, value) ? 1 : fail(kErrDevice);
}

int COrvane::ReadSromID(int address, int* ok) {
    if (ok) *ok = 0;
    if (!sdk_) {
        history_.postOnly(kErrState);
        return 0;
    }
    int readOk = 0;
    const int value = sdk_->ReadSromId(address, &readOk);
    if (!readOk) {
        history_.postOnly(kErrState);
        return 0;
    }
    if (ok) *ok = 1;
    return value & 0xFF;
}

int COrvane::WriteSromID(int address, int value) {
    if (!sdk_ || !sdk_->WriteSromId(address, value)) {
        history_.postOnly(kErrState);
        return 0;
    }
    // Configuration memory can miss a write while it is busy: read back and write again
    // until the byte sticks (the result reports the first write).
    for (int i = 0; i < kSromVerifyReads; ++i) {
        int readOk = 0;
        const int back = sdk_->ReadSromId(address, &readOk);
        if (readOk && (back & 0xFF) == (value & 0xFF)) break;
        sdk_->WriteSromId(address, value);
    }
    return 1;
}

int COrvane::GetIOPort(unsigned char* value) {
    if (!sdk_) {
        history_.postOnly(kErrState);
        return 0;
    }
    if (value == nullptr) {
        history_.postOnly(kErrArgument);
        return 0;
    }
    int ok = 0;
    const int port = sdk_->ReadFpgaRegister(kIoPortRegister, &ok);
    if (!ok) {
        history_.postOnly(kErrArgument);
        return 0;
    }
    *value = static_cast<unsigned char>(port);
    return 1;
}

int COrvane::SetIOPort(unsigned char value) {
    if (!sdk_) {
        history_.postOnly(kErrState);
        return 0;
    }
    return sdk_->WriteFpgaRegister(kIoPortRegister, value);
}

// ---- Files ------------------------------------------------------------------------------

int COrvane::LoadConfigFile(const char* path) {
    std::vector<ConfigEntry> entries;
    if (!settings::ReadConfigFile(path, entries)) return 0;
    platform::LockGuard lock(frameLock_);
    config_.swap(entries);
    return 1;
}

}  // namespace orvane::session
