#include "sensors/CSensorBase.h"

#include <cstring>

namespace orvane::sensors {

namespace {
// Writes a field of the block through `out` (when given) and answers whether the model has the
// control the field belongs to.
template <typename T>
int writeField(T* out, T value, int supported) {
    if (out != nullptr) *out = value;
    return supported;
}
}  // namespace

CSensorBase::CSensorBase(transport::CControllerBase* controller, uint8_t busAddress)
    : controller_(controller), busAddress_(busAddress) {
    std::memset(&info_, 0, sizeof(info_));
    std::memset(scratch_, 0, sizeof(scratch_));
}

CSensorBase::~CSensorBase() = default;

void CSensorBase::storeWindow(int x, int y, int width, int height, int mode) {
    info_.windowX = x;
    info_.windowY = y;
    info_.windowWidth = width;
    info_.windowHeight = height;
    info_.windowMode = mode;
}

void CSensorBase::storedWindow(int* x, int* y, int* width, int* height, int* mode) const {
    if (x != nullptr) *x = info_.windowX;
    if (y != nullptr) *y = info_.windowY;
    if (width != nullptr) *width = info_.windowWidth;
    if (height != nullptr) *height = info_.windowHeight;
    if (mode != nullptr) *mode = info_.windowMode;
}

int CSensorBase::SetModelVariant(int code) {
    modelVariant_ = code;
    return 1;
}
int CSensorBase::SetOptionFlags(int flags) {
    optionFlags_ = flags;
    return 1;
}
int CSensorBase::GetOptionFlags() {
    return optionFlags_;
}

// The level and gain-step queries report the model's value together with whether the model
// has the control at all, so a caller can tell "0" from "unsupported" by the result.
int CSensorBase::HasLevelControl() {
    return info_.levelSupported;
}
int CSensorBase::GetLevel(int* v) {
    return writeField(v, info_.level, info_.levelSupported);
}
int CSensorBase::GetLevelMin(int* v) {
    return writeField(v, info_.levelMin, info_.levelSupported);
}
int CSensorBase::GetLevelMax(int* v) {
    return writeField(v, info_.levelMax, info_.levelSupported);
}
int CSensorBase::GetLevelDefault(int* v) {
    return writeField(v, info_.levelDefault, info_.levelSupported);
}
int CSensorBase::HasGainStep() {
    return info_.gainStepSupported;
}
int CSensorBase::GetGainStepMin(int* v) {
    return writeField(v, info_.gainStepMin, info_.gainStepSupported);
}
int CSensorBase::GetGainStepMax(int* v) {
    return writeField(v, info_.gainStepMax, info_.gainStepSupported);
}
int CSensorBase::GetGainStepDefault(int* v) {
    return writeField(v, info_.gainStepDefault, info_.gainStepSupported);
}
int CSensorBase::GetGainStep(int* v) {
    return writeField(v, info_.gainStep, info_.gainStepSupported);
}
int CSensorBase::GetMirrorVDefault() {
    return info_.mirrorVDefault;
}
int CSensorBase::GetMirrorHDefault() {
    return info_.mirrorHDefault;
}
int CSensorBase::HasHardwareMirrorV() {
    return info_.mirrorVHardware;
}
int CSensorBase::HasHardwareMirrorH() {
    return info_.mirrorHHardware;
}

int CSensorBase::GetSensorInfo(SensorInfo* destination) {
    if (destination == nullptr) return 0;
    std::memcpy(destination, &info_, sizeof(SensorInfo));
    return 1;
}

int CSensorBase::HasExposureTimeEx() {
    return info_.exposureTimeExSupported;
}
double CSensorBase::GetExposureTimeExMin(double* v) {
    return writeField(v, info_.exposureTimeExMin, info_.exposureTimeExSupported);
}
double CSensorBase::GetExposureTimeExMax(double* v) {
    return writeField(v, info_.exposureTimeExMax, info_.exposureTimeExSupported);
}
double CSensorBase::GetExposureTimeExDefault(double* v) {
    return writeField(v, info_.exposureTimeExDefault, info_.exposureTimeExSupported);
}
int CSensorBase::GetExposureTimeEx(double* v) {
    return writeField(v, info_.exposureTimeEx, info_.exposureTimeExSupported);
}

}  // namespace orvane::sensors
