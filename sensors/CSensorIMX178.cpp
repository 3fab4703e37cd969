#include "sensors/CSensorIMX178.h"

#include "platform/Time.h"
#include "transport/CControllerBase.h"

namespace orvane::sensors {

using namespace transport::imx178;

namespace {
int put(int* out, int32_t value) {
    if (out == nullptr) return 0;
    *out = value;
    return 1;
}
}  // namespace

CSensorIMX178::CSensorIMX178(transport::CControllerBase* controller, uint8_t busAddress)
    : CSensorBase(controller, busAddress) {
    SensorInfo& i = info_;
    i.maxWidth = kArrayWidth;
    i.maxHeight = kArrayHeight;
    i.defaultWindowWidth = kArrayWidth;
    i.defaultWindowHeight = kArrayHeight;
    i.windowWidth = kArrayWidth;
    i.windowHeight = kArrayHeight;
    i.lineLength = kLineLengthClocks;
    i.frameLength = kFrameLengthLines;
    i.globalGainMin = 0;
    i.globalGainMax = 511;
    i.globalGainDefault = 100;
    i.flagWord22 = 1;
    i.exposureLinesMin = 1;
    i.exposureLinesMax = 65535;
    i.exposureLines = 2141;
    i.exposureLinesDefault = 2141;
    i.flagWord27 = 1;
    i.exposureTimeMin = 1;
    i.exposureTimeMax = 30000;
    i.exposureTime = 200;
    i.exposureTimeDefault = 200;
    i.mirrorVHardware = 1;
    i.mirrorHHardware = 1;
    i.clockKHz = kClockKHz;
}

int CSensorIMX178::Initialize() {
    return 1;
}

int CSensorIMX178::Command(int, void*) {
    return 1;
}

int CSensorIMX178::WriteRegister(int reg, int value) {
    platform::sleepMs(1);
    if (controller_ == nullptr) return 0;
    const uint8_t bytes[3] = {static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg),
                              static_cast<uint8_t>(value)};
    return controller_->BusWrite(busAddress_, bytes, 3) != 0 ? 1 : 0;
}

int CSensorIMX178::ReadRegister(int reg, int* value) {
    if (controller_ == nullptr) return 0;
    const uint8_t address[2] = {static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg)};
    if (controller_->BusWrite(busAddress_, address, 2) == 0) return 0;
    uint8_t byte = 0;
    if (controller_->BusRead(busAddress_, &byte, 1) == 0) return 0;
    if (value != nullptr) *value = byte;
    return 1;
}

// Defaults are pushed one by one and their results deliberately not combined: a camera that
// refuses one setting still gets the others.
int CSensorIMX178::ApplyDefaults() {
    SetGlobalGain(info_.globalGainDefault);
    SetExposureLines(info_.exposureLinesDefault);
    SetMirrorH(info_.mirrorHDefault);
    SetMirrorV(info_.mirrorVDefault);
    SetWindow(0, kArrayWidth, 0, kArrayHeight, 0);
    return 1;
}

void CSensorIMX178::writeFrameLength(uint32_t lines) {
    WriteRegister(kRegFrameLength0, static_cast<int>(lines & 0xFF));
    WriteRegister(kRegFrameLength0 + 1, static_cast<int>((lines >> 8) & 0xFF));
    WriteRegister(kRegFrameLength0 + 2, static_cast<int>((lines >> 16) & 0xFF));
}

int CSensorIMX178::SetExposureLines(int lines) {
    uint32_t frame = static_cast<uint32_t>(info_.frameLength);
    const uint32_t requested = static_cast<uint32_t>(lines);
    if (frame < requested) {
        // Exposure longer than the nominal frame: stretch the frame to the exposure.
        writeFrameLength(requested);
        frame = requested;
    } else if (info_.exposureLines > static_cast<int32_t>(frame)) {
        // Undo an earlier stretch.
        writeFrameLength(frame);
    }
    const uint32_t shutter = frame - requested;
    if (WriteRegister(kRegShutter0, static_cast<int>(shutter & 0xFF)) == 0) return 0;
    WriteRegister(kRegShutter0 + 1, static_cast<int>((shutter >> 8) & 0xFF));
    WriteRegister(kRegShutter0 + 2, static_cast<int>((shutter >> 16) & 0xFF));
    info_.exposureLines = lines;
    return 1;
}

int CSensorIMX178::SetExposureTime(unsigned time) {
    const double step = info_.lineLength * 10.0 / info_.clockKHz;  // one line in 0.1 ms
    if (time == 0) return 0;
    int64_t lines = static_cast<int64_t>(time / step);
    if (lines == 0) lines = 1;
    int32_t stored = static_cast<int32_t>(time);
    if (lines > info_.exposureLinesMax) {
        lines = info_.exposureLinesMax;
        stored = static_cast<int32_t>(info_.exposureLinesMax * step);
    }
    if (SetExposureLines(static_cast<int>(lines)) == 0) return 0;
    info_.exposureTime = stored;
    return 1;
}

int CSensorIMX178::SetGlobalGain(int gain) {
    if (WriteRegister(kRegGainLow, gain & 0xFF) == 0) return 0;
    WriteRegister(kRegGainHigh, (gain >> 8) & 0xFF);
    info_.globalGain = gain;
    return 1;
}

// A mirror is enabled by clearing its bit: the sensor's reset state reads out mirrored.
int CSensorIMX178::setMirrorBit(uint8_t bit, int on, int32_t& stored) {
    int value = 0;
    if (ReadRegister(kRegReadoutControl, &value) == 0) return 0;
    value = on != 0 ? (value & ~bit) : (value | bit);
    if (WriteRegister(kRegReadoutControl, value) == 0) return 0;
    stored = on;
    return 1;
}

int CSensorIMX178::SetMirrorV(int on) {
    return setMirrorBit(kMirrorVBit, on, info_.mirrorV);
}
int CSensorIMX178::SetMirrorH(int on) {
    return setMirrorBit(kMirrorHBit, on, info_.mirrorH);
}

int CSensorIMX178::SetWindow(int x, int width, int y, int height, int /*mode*/) {
    // The sensor addresses columns in groups of four and lines in pairs. The arithmetic is
    // 64-bit and negative or empty windows are refused, so no argument can wrap around into
    // a window that passes the range test.
    const int64_t ax = (static_cast<int64_t>(x) + 3) & ~int64_t{3};
    const int64_t aw = (static_cast<int64_t>(width) + 3) & ~int64_t{3};
    const int64_t ay = (static_cast<int64_t>(y) + 1) & ~int64_t{1};
    const int64_t ah = (static_cast<int64_t>(height) + 1) & ~int64_t{1};
    if (ax < 0 || ay < 0 || aw <= 0 || ah <= 0) return 0;
    if (ax + aw > info_.maxWidth || ay + ah > info_.maxHeight) return 0;

    int control = 0;
    if (ReadRegister(kRegReadoutControl, &control) != 0) {
        control &= 0x0F;
        if (aw != kArrayWidth || ah != kArrayHeight) control |= kWindowedBit;
        WriteRegister(kRegReadoutControl, control);
    }
    writeFrameLength(kWindowFrameLengthLines);
    WriteRegister(kRegLineLength0, kWindowLineLengthRegister & 0xFF);
    WriteRegister(kRegLineLength0 + 1, (kWindowLineLengthRegister >> 8) & 0xFF);

    // The window mode is a sub-sampling code this sensor does not use; it keeps its value.
    info_.windowX = static_cast<int32_t>(ax);
    info_.windowY = static_cast<int32_t>(ay);
    info_.windowWidth = static_cast<int32_t>(aw);
    info_.windowHeight = static_cast<int32_t>(ah);

    const int wx = info_.windowX, wy = info_.windowY;
    const int ww = info_.windowWidth, wh = info_.windowHeight;
    WriteRegister(kRegWindowX0, wx & 0xFF);
    WriteRegister(kRegWindowX0 + 1, (wx >> 8) & 0x07);
    WriteRegister(kRegWindowY0, wy & 0xFF);
    WriteRegister(kRegWindowY0 + 1, (wy >> 8) & 0x0F);
    WriteRegister(kRegWindowWidth0, ww & 0xFF);
    WriteRegister(kRegWindowWidth0 + 1, (ww >> 8) & 0x0F);
    WriteRegister(kRegWindowHeight0, wh & 0xFF);
    WriteRegister(kRegWindowHeight0 + 1, (wh >> 8) & 0x1F);
    return 1;
}

int CSensorIMX178::GetWindow(int* x, int* width, int* y, int* height, int* mode) {
    storedWindow(x, y, width, height, mode);
    return 1;
}

int CSensorIMX178::SetTriggerMode(int on) {
    int value = 0;
    if (ReadRegister(kRegTrigger, &value) == 0) return 0;
    return WriteRegister(kRegTrigger, (value & ~1) | (on != 0 ? 1 : 0));
}

int CSensorIMX178::GetTriggerMode(int* on) {
    int value = 0;
    if (ReadRegister(kRegTriggerState, &value) == 0) return 0;
    return put(on, value & 1);
}

int CSensorIMX178::GetExposureLines(int* v) {
    return put(v, info_.exposureLines);
}
int CSensorIMX178::GetGlobalGain(int* v) {
    return put(v, info_.globalGain);
}
int CSensorIMX178::GetExposureLinesMin(int* v) {
    return put(v, info_.exposureLinesMin);
}
int CSensorIMX178::GetExposureLinesMax(int* v) {
    return put(v, info_.exposureLinesMax);
}
int CSensorIMX178::GetExposureLinesDefault(int* v) {
    return put(v, info_.exposureLinesDefault);
}
int CSensorIMX178::GetGlobalGainMin(int* v) {
    return put(v, info_.globalGainMin);
}
int CSensorIMX178::GetGlobalGainMax(int* v) {
    return put(v, info_.globalGainMax);
}
int CSensorIMX178::GetGlobalGainDefault(int* v) {
    return put(v, info_.globalGainDefault);
}
int CSensorIMX178::GetColorGainMin(int* v) {
    return put(v, info_.colorGainMin);
}
int CSensorIMX178::GetColorGainMax(int* v) {
    return put(v, info_.colorGainMax);
}
int CSensorIMX178::GetColorGainDefault(int* v) {
    return put(v, info_.colorGainDefault);
}
int CSensorIMX178::GetExposureTime(int* v) {
    return put(v, info_.exposureTime);
}
int CSensorIMX178::GetExposureTimeMin(int* v) {
    return put(v, info_.exposureTimeMin);
}
int CSensorIMX178::GetExposureTimeMax(int* v) {
    return put(v, info_.exposureTimeMax);
}
int CSensorIMX178::GetExposureTimeDefault(int* v) {
    return put(v, info_.exposureTimeDefault);
}
int CSensorIMX178::GetMirrorV(int* v) {
    return put(v, info_.mirrorV);
}
int CSensorIMX178::GetMirrorH(int* v) {
    return put(v, info_.mirrorH);
}

}  // namespace orvane::sensors
