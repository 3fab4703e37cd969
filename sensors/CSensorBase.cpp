#include "sensors/CSensorBase.h"

#include <cstring>

namespace orvane::sensors {

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
int CSensorBase::Initialize() {
    return 0;
}
int CSensorBase::ApplyDefaults() {
    return 0;
}
int CSensorBase::InitializeFallback() {
    return 0;
}
int CSensorBase::SetWindow(int, int, int, int, int) {
    return 0;
}
int CSensorBase::GetWindow(int*, int*, int*, int*, int*) {
    return 0;
}
int CSensorBase::SetTriggerMode(int) {
    return 0;
}
int CSensorBase::GetTriggerMode(int*) {
    return 0;
}
int CSensorBase::SetAuxSetting(int) {
    return 0;
}
int CSensorBase::RunAuxCommand(int, void*) {
    return 0;
}
int CSensorBase::CheckFirmwareLevel() {
    return 0;
}
int CSensorBase::SetPixelDepth(int) {
    return 0;
}
int CSensorBase::SetExposureLines(int) {
    return 0;
}
int CSensorBase::GetExposureLines(int*) {
    return 0;
}
int CSensorBase::SetGlobalGain(int) {
    return 0;
}
int CSensorBase::GetGlobalGain(int*) {
    return 0;
}
int CSensorBase::SetColorGainRed(int) {
    return 0;
}
int CSensorBase::GetColorGainRed(int*) {
    return 0;
}
int CSensorBase::SetColorGainGreen1(int) {
    return 0;
}
int CSensorBase::GetColorGainGreen1(int*) {
    return 0;
}
int CSensorBase::SetColorGainGreen2(int) {
    return 0;
}
int CSensorBase::GetColorGainGreen2(int*) {
    return 0;
}
int CSensorBase::SetColorGainBlue(int) {
    return 0;
}
int CSensorBase::GetColorGainBlue(int*) {
    return 0;
}
int CSensorBase::GetExposureLinesMin(int*) {
    return 0;
}
int CSensorBase::GetExposureLinesMax(int*) {
    return 0;
}
int CSensorBase::GetExposureLinesDefault(int*) {
    return 0;
}
int CSensorBase::GetGlobalGainMin(int*) {
    return 0;
}
int CSensorBase::GetGlobalGainMax(int*) {
    return 0;
}
int CSensorBase::GetGlobalGainDefault(int*) {
    return 0;
}
int CSensorBase::GetColorGainMin(int*) {
    return 0;
}
int CSensorBase::GetColorGainMax(int*) {
    return 0;
}
int CSensorBase::GetColorGainDefault(int*) {
    return 0;
}
int CSensorBase::SetChannelGain(int, int) {
    return 0;
}
int CSensorBase::GetChannelGain(int, int*) {
    return 0;
}
int CSensorBase::GetChannelGainMin(int*) {
    return 0;
}
int CSensorBase::GetChannelGainMax(int*) {
    return 0;
}
int CSensorBase::GetChannelGainDefault(int*) {
    return 0;
}
int CSensorBase::SetChannelOffset(int, int) {
    return 0;
}
int CSensorBase::GetChannelOffset(int, int*) {
    return 0;
}
int CSensorBase::GetChannelOffsetMin(int*) {
    return 0;
}
int CSensorBase::GetChannelOffsetMax(int*) {
    return 0;
}
int CSensorBase::GetChannelOffsetDefault(int*) {
    return 0;
}

// The level and gain-step queries report the model's value together with whether the model
// has the control at all, so a caller can tell "0" from "unsupported" by the result.
int CSensorBase::HasLevelControl() {
    return info_.levelSupported;
}
int CSensorBase::SetLevel(int) {
    return 0;
}
namespace {
int writeField(int* out, int32_t value, int supported) {
    if (out != nullptr) *out = value;
    return supported;
}
double writeField(double* out, double value, int supported) {
    if (out != nullptr) *out = value;
    return static_cast<double>(supported);
}
}  // namespace
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
int CSensorBase::SetGainStep(int) {
    return 0;
}
int CSensorBase::ReadGainStep(int*) {
    return 0;
}
int CSensorBase::GetGainStepName(int, char*) {
    return 0;
}
int CSensorBase::SetExposureTime(unsigned) {
    return 0;
}
int CSensorBase::GetExposureTime(int*) {
    return 0;
}
int CSensorBase::GetExposureTimeMin(int*) {
    return 0;
}
int CSensorBase::GetExposureTimeMax(int*) {
    return 0;
}
int CSensorBase::GetExposureTimeDefault(int*) {
    return 0;
}
int CSensorBase::SetMirrorV(int) {
    return 0;
}
int CSensorBase::GetMirrorV(int*) {
    return 0;
}
int CSensorBase::SetMirrorH(int) {
    return 0;
}
int CSensorBase::GetMirrorH(int*) {
    return 0;
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
int CSensorBase::Command(int, void*) {
    return 0;
}
int CSensorBase::WriteRegister(int, int) {
    return 0;
}
int CSensorBase::ReadRegister(int, int*) {
    return 0;
}
int CSensorBase::WriteRegisterWhenIdle(int, int) {
    return 0;
}
int CSensorBase::ReadRegisterWhenIdle(int, int*) {
    return 0;
}
int CSensorBase::Reserved78() {
    return 0;
}
int CSensorBase::Reserved79() {
    return 0;
}
int CSensorBase::Reserved80() {
    return 0;
}
int CSensorBase::Reserved81() {
    return 0;
}
int CSensorBase::Reserved82() {
    return 0;
}
int CSensorBase::SetClockMode(int) {
    return 0;
}
int CSensorBase::GetClockMode(int*) {
    return 0;
}
int CSensorBase::Reserved85() {
    return 0;
}
int CSensorBase::Reserved86() {
    return 0;
}

int CSensorBase::GetSensorInfo(SensorInfo* destination) {
    if (destination == nullptr) return 0;
    std::memcpy(destination, &info_, sizeof(SensorInfo));
    return 1;
}

void CSensorBase::AfterConfigure() {}
void CSensorBase::AuxHook() {}
int CSensorBase::SetOperatingMode(int) {
    return 0;
}
int CSensorBase::GetOperatingMode(int*) {
    return 0;
}
int CSensorBase::HasPeltier() {
    return 0;
}
int CSensorBase::GetPeltier(int*) {
    return 0;
}
int CSensorBase::SetPeltier(int) {
    return 0;
}
int CSensorBase::HasTemperature() {
    return 0;
}
int CSensorBase::GetTemperature(double*) {
    return 0;
}
void CSensorBase::OnCaptureStart() {}
void CSensorBase::OnCaptureStop() {}
int CSensorBase::HasSwitchA() {
    return 0;
}
int CSensorBase::GetSwitchA(int*) {
    return 0;
}
int CSensorBase::SetSwitchA(int) {
    return 0;
}
int CSensorBase::ReceiveText(char*, int) {
    return 0;
}
int CSensorBase::SendText(const char*, int) {
    return 0;
}
int CSensorBase::HasSwitchB() {
    return 0;
}
int CSensorBase::GetSwitchB(int*) {
    return 0;
}
int CSensorBase::SetSwitchB(int) {
    return 0;
}
int CSensorBase::HasCooling() {
    return 0;
}
int CSensorBase::CoolingReserved1() {
    return 0;
}
int CSensorBase::CoolingReserved2() {
    return 0;
}
int CSensorBase::ReadCoolingTemperature(double*) {
    return 0;
}
int CSensorBase::SetCoolingTarget(double) {
    return 0;
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
    if (v != nullptr) *v = info_.exposureTimeEx;
    return info_.exposureTimeExSupported;
}
int CSensorBase::SetExposureTimeEx(double) {
    return 0;
}
int CSensorBase::HasAuxOption() {
    return 0;
}
int CSensorBase::GetAuxOption(int*) {
    return 0;
}
int CSensorBase::SetAuxOption(int) {
    return 0;
}
int CSensorBase::GetModelIdentifier1(int*) {
    return 0;
}
int CSensorBase::GetModelIdentifier2(int*) {
    return 0;
}
int CSensorBase::HasGainMode() {
    return 0;
}
int CSensorBase::GetGainMode() {
    return -1;
}
int CSensorBase::SetGainMode(int) {
    return 0;
}
int CSensorBase::HasExtraMode() {
    return 0;
}
int CSensorBase::GetExtraMode() {
    return -1;
}
int CSensorBase::SetExtraMode(int) {
    return 0;
}

}  // namespace orvane::sensors
