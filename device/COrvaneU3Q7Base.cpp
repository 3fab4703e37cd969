// Device SDK object: lifecycle, camera selection and identification, register access and the
// forwards to the sensor model. Streaming lives in DeviceStreaming.cpp, exposure and geometry
// in DeviceGeometry.cpp.
#include "device/COrvaneU3Q7Base.h"

#include <cstring>
#include <mutex>
#include <new>

#include "platform/Log.h"
#include "platform/Time.h"
#include "sensors/CSensorIMX178.h"
#include "transport/CKelCy3Cam.h"

namespace orvane::device {

namespace {

constexpr uint32_t kEndpoint83OptionFlags = 0x10000;
constexpr int kReadyPolls = 40;
constexpr uint32_t kReadyPollIntervalMs = 500;

std::unique_ptr<CSensorBase> createDefaultSensor(int productId,
                                                 transport::CControllerBase* controller) {
    if (productId == kProductIdImx178)
        return std::make_unique<sensors::CSensorIMX178>(controller,
                                                        sensors::CSensorIMX178::kBusAddress);
    return std::make_unique<CSensorBase>(controller, 0x00);
}

}  // namespace

COrvaneU3Q7Base::COrvaneU3Q7Base() : sensorFactory_(createDefaultSensor) {}

COrvaneU3Q7Base::~COrvaneU3Q7Base() {
    COrvaneU3Q7Base::Close();
}

void COrvaneU3Q7Base::SetSensorFactory(SensorFactory factory) {
    Guard lock(lock_);
    sensorFactory_ = factory ? std::move(factory) : SensorFactory(createDefaultSensor);
}

transport::CKelCy3Cam* COrvaneU3Q7Base::controller() const {
    Guard lock(lock_);
    return controller_.get();
}

uint32_t COrvaneU3Q7Base::GetFrameSize() const {
    Guard lock(lock_);
    return frameSize_;
}

uint32_t COrvaneU3Q7Base::GetPayloadCapacity() const {
    Guard lock(lock_);
    return payloadCapacity_;
}

int COrvaneU3Q7Base::GetWideTransfer() const {
    Guard lock(lock_);
    return wideTransfer_;
}

// --- lifecycle ---------------------------------------------------------------------------

int COrvaneU3Q7Base::CreateController(void* /*window*/, const platform::usb::InterfaceGuid* guid) {
    Guard lock(lock_);
    Close();
    try {
        controller_ = std::make_unique<transport::CKelCy3Cam>(
            guid != nullptr ? *guid : platform::usb::kCameraInterfaceGuid);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

int COrvaneU3Q7Base::AdoptController(std::unique_ptr<transport::CKelCy3Cam> controller) {
    Guard lock(lock_);
    Close();
    controller_ = std::move(controller);
    return controller_ ? 1 : 0;
}

int COrvaneU3Q7Base::Open(int number) {
    Guard lock(lock_);
    if (!controller_ || productId_ == kProductIdNone) return 0;
    if (controller_->Enumerate() == 0) return 0;
    if (!HasCamera(number)) return 0;

    int index = -1;
    for (int i = 0; i < transport::kDeviceTableRows; ++i) {
        const transport::DeviceTableEntry entry = controller_->GetEntry(i);
        if (entry.instance == number && entry.productId == productId_) {
            index = i;
            break;
        }
    }
    // Selecting a device closes the stream handle and a new sensor replaces the one the
    // capture thread may use, so no capture may run past this point.
    if (capturing_ || thread_) stopCaptureLocked();
    if (controller_->SelectDevice(index) != 0) {
        platform::LockGuard sensorGuard(sensorLock_);
        sensor_.reset();
        try {
            sensor_ = sensorFactory_(productId_, controller_.get());
        } catch (const std::bad_alloc&) {
            sensor_.reset();
        }
        deviceNumber_ = number;
    } else {
        ORVANE_LOG(platform::LogLevel::Info, "device: selecting table row %d failed", index);
    }
    geometryChanged_ = true;
    return InitializeOpened();
}

int COrvaneU3Q7Base::InitializeOpened() {
    Guard lock(lock_);
    if (!controller_ || controller_->PrepareStreaming() == 0) return 0;
    controller_->ReadInfoBlock(information_);

    platform::LockGuard sensorGuard(sensorLock_);
    if (!sensor_) return 0;
    const int productId = productId_;
    if (productId == kProductIdEndpoint83) sensor_->SetOptionFlags(kEndpoint83OptionFlags);
    if (productId == kProductId3140) {
        controller_->WriteFpgaRegister(56, 0);
        controller_->WriteFpgaRegister(62, 3);
        controller_->WriteFpgaRegister(56, 1);
    } else if (productId == kProductId31E0) {
        uint8_t r16 = 0, r19 = 0;
        controller_->ReadFpgaRegister(16, &r16);
        controller_->ReadFpgaRegister(19, &r19);
        if (r16 != 0 || r19 > 25) {
            for (int poll = 0; poll < kReadyPolls; ++poll) {
                uint8_t ready = 0;
                if (controller_->ReadReadyStatus(&ready) != 0 && ready == 1) break;
                platform::sleepMs(kReadyPollIntervalMs);
            }
        }
    }
    int initialized = sensor_->Initialize();
    if (initialized == 0 && productId == kProductId3180)
        initialized = sensor_->InitializeFallback();
    if (initialized == 0) return 0;
    return sensor_->ApplyDefaults();
}

int COrvaneU3Q7Base::Close() {
    Guard lock(lock_);
    stopCaptureLocked();
    const int productId = productId_;
    {
        platform::LockGuard sensorGuard(sensorLock_);
        if (sensor_ && controller_ &&
            (productId == kProductId3090 || productId == kProductId30B0 ||
             productId == kProductId30C0)) {
            sensor_->WriteRegister(0, 3);
            sensor_->WriteRegister(0x8000, 3);
            controller_->WriteFpgaRegister(37, 0);
        }
        // The sensor borrows the controller, so it goes first.
        sensor_.reset();
    }
    if (controller_) {
        controller_->CloseStreamHandle();
        controller_.reset();
    }
    std::memset(information_, 0, sizeof(information_));
    mode_ = kModeContinuous;
    payload_.reset();
    payloadCapacity_ = 0;
    ring_.release();
    frameSize_ = 0;
    ring_.closeEvent();
    threadEnd_.reset();
    thread_.reset();
    captureFailed_ = false;
    return 1;
}

int COrvaneU3Q7Base::Reopen(int number) {
    Guard lock(lock_);
    StopCapture();
    return Open(number) != 0 ? 0 : -1;
}

// --- identification ----------------------------------------------------------------------

int COrvaneU3Q7Base::ReadInformationBlock(uint8_t* block64) {
    Guard lock(lock_);
    if (!controller_ || block64 == nullptr) return 0;
    return controller_->ReadInfoBlock(block64);
}

int COrvaneU3Q7Base::ReadInformationBlock2(uint8_t* block64) {
    Guard lock(lock_);
    if (!controller_ || block64 == nullptr) return 0;
    return controller_->ReadInfoBlock2(block64);
}

int COrvaneU3Q7Base::GetSensorInfo(sensors::SensorInfo* destination) {
    if (destination == nullptr) return 0;
    return withSensor(0, [&](CSensorBase& s) { return s.GetSensorInfo(destination); });
}

int COrvaneU3Q7Base::Reserved9() {
    return 0;
}

int COrvaneU3Q7Base::HasCamera(int number) {
    Guard lock(lock_);
    if (productId_ == kProductIdNone || !controller_) return 0;
    for (int i = 0; i < transport::kDeviceTableRows; ++i) {
        const transport::DeviceTableEntry entry = controller_->GetEntry(i);
        if (entry.productId == productId_ && entry.instance == number &&
            controller_->DevicePresent(i))
            return 1;
    }
    return 0;
}

int COrvaneU3Q7Base::CountCameras(int productId) {
    Guard lock(lock_);
    if (!controller_) return 0;
    const int entries = controller_->Enumerate();
    if (productId == 0) return entries;
    int count = 0;
    for (int i = 0; i < entries && i < transport::kDeviceTableRows; ++i) {
        const transport::DeviceTableEntry entry = controller_->GetEntry(i);
        if (entry.productId != 0 && entry.productId == productId && controller_->DevicePresent(i))
            ++count;
    }
    return count;
}

int COrvaneU3Q7Base::GetDeviceName(int index, char* text64) {
    Guard lock(lock_);
    if (!controller_ || text64 == nullptr) return 0;
    if (index < 0 || index >= transport::kDeviceTableRows || !controller_->DevicePresent(index))
        return 0;
    return controller_->GetDeviceName(index, text64);
}

int COrvaneU3Q7Base::SetProductId(int productId) {
    Guard lock(lock_);
    // The capture loop picks its form by product ID.
    if (productId != productId_ && (capturing_ || thread_)) stopCaptureLocked();
    productId_ = productId;
    return 1;
}

int COrvaneU3Q7Base::GetProductId() {
    return productId_;
}

int COrvaneU3Q7Base::GetTableVendorId(int index) {
    Guard lock(lock_);
    if (!controller_ || index < 0 || index >= transport::kDeviceTableRows) return 0;
    return controller_->GetEntry(index).vendorId;
}

int COrvaneU3Q7Base::GetTableProductId(int index) {
    Guard lock(lock_);
    if (!controller_ || index < 0 || index >= transport::kDeviceTableRows) return 0;
    return controller_->GetEntry(index).productId;
}

int COrvaneU3Q7Base::GetTableInstance(int index) {
    Guard lock(lock_);
    if (!controller_ || index < 0 || index >= transport::kDeviceTableRows) return -1;
    return controller_->GetEntry(index).instance;
}

int COrvaneU3Q7Base::IsEndpoint83Model() {
    return isEndpoint83() ? 1 : 0;
}

int COrvaneU3Q7Base::GetDeviceNumber() {
    Guard lock(lock_);
    return deviceNumber_;
}

int COrvaneU3Q7Base::GetTableCapacity() {
    return transport::kDeviceTableRows;
}
int COrvaneU3Q7Base::Reserved31() {
    return -1;
}
int COrvaneU3Q7Base::Reserved36() {
    return 0;
}
int COrvaneU3Q7Base::Reserved114() {
    return 0;
}
int COrvaneU3Q7Base::Reserved115() {
    return 0;
}

int COrvaneU3Q7Base::SetSpeedMode(int mode) {
    Guard lock(lock_);
    if (!isEndpoint83() && mode == 2) {
        uint32_t speed = 0;
        if (!controller_ || !controller_->GetSpeed(&speed) || speed != transport::kSpeedSuper)
            mode = 0;
    }
    return withSensor(0, [&](CSensorBase& s) { return s.SetClockMode(mode); });
}

// --- register access ---------------------------------------------------------------------

int COrvaneU3Q7Base::WriteSensorRegister(int address, int value) {
    return withSensor(0, [&](CSensorBase& s) { return s.WriteRegister(address, value); });
}

int COrvaneU3Q7Base::ReadSensorRegister(int address, int* ok) {
    int value = 0;
    const int result =
        withSensor(0, [&](CSensorBase& s) { return s.ReadRegister(address, &value); });
    if (ok != nullptr) *ok = result != 0 ? 1 : 0;
    return result != 0 ? value : 0;
}

int COrvaneU3Q7Base::WriteFpgaRegister(int reg, int value) {
    Guard lock(lock_);
    if (!controller_ || isEndpoint83()) return 0;
    return controller_->WriteFpgaRegister(static_cast<uint8_t>(reg), static_cast<uint8_t>(value));
}

int COrvaneU3Q7Base::ReadFpgaRegister(int reg, int* ok) {
    Guard lock(lock_);
    uint8_t value = 0;
    const bool read = controller_ && !isEndpoint83() &&
                      controller_->ReadFpgaRegister(static_cast<uint8_t>(reg), &value) != 0;
    if (ok != nullptr) *ok = read ? 1 : 0;
    return read ? value : 0;
}

// The configuration-memory identifier lives in the camera's serial EEPROM.
int COrvaneU3Q7Base::WriteSromId(int address, int value) {
    Guard lock(lock_);
    if (!controller_) return 0;
    return controller_->WriteEepromByte(static_cast<uint16_t>(address),
                                        static_cast<uint8_t>(value));
}

int COrvaneU3Q7Base::ReadSromId(int address, int* ok) {
    Guard lock(lock_);
    uint8_t value = 0;
    const bool read =
        controller_ && controller_->ReadEepromByte(static_cast<uint16_t>(address), &value) != 0;
    if (ok != nullptr) *ok = read ? 1 : 0;
    return read ? value : 0;
}

// --- model-specific features -------------------------------------------------------------

int COrvaneU3Q7Base::HasSwitchableFeature() {
    switch (productId_.load()) {
        case kProductId3150:
        case kProductId3170:
        case kProductId31E0:
        case kProductId3220:
            return 1;
        default:
            return 0;
    }
}
int COrvaneU3Q7Base::GetSwitchableFeature(int*) {
    return 0;
}
int COrvaneU3Q7Base::SetSwitchableFeature(int) {
    return 0;
}
int COrvaneU3Q7Base::ReadFeatureText(char* text, int length) {
    if (productId_ != kProductId3180) return 0;
    return withSensor(0, [&](CSensorBase& s) { return s.ReceiveText(text, length); });
}
int COrvaneU3Q7Base::WriteFeatureText(const char* text, int length) {
    if (productId_ != kProductId3180) return 0;
    return withSensor(0, [&](CSensorBase& s) { return s.SendText(text, length); });
}

// --- forwards to the sensor ----------------------------------------------------------------

// Plain forward: the sensor operation's result, 0 without a sensor.
#define ORVANE_PLAIN_FORWARD(Name, Params, Args)                           \
    int COrvaneU3Q7Base::Name Params {                                     \
        return withSensor(0, [&](CSensorBase& s) { return s.Name Args; }); \
    }
// Value forward: what the getter wrote into a local preset to 0.
#define ORVANE_VALUE_FORWARD(Name, SensorName)     \
    int COrvaneU3Q7Base::Name() {                  \
        return withSensor(0, [&](CSensorBase& s) { \
            int value = 0;                         \
            s.SensorName(&value);                  \
            return value;                          \
        });                                        \
    }
// Direct field read of the sensor information block.
#define ORVANE_FIELD_READ(Name, Field)                                       \
    int COrvaneU3Q7Base::Name() {                                            \
        return withSensor(0, [](CSensorBase& s) { return s.info().Field; }); \
    }

ORVANE_PLAIN_FORWARD(SetMirrorH, (int on), (on))
ORVANE_PLAIN_FORWARD(SetMirrorV, (int on), (on))
ORVANE_VALUE_FORWARD(GetMirrorH, GetMirrorH)
ORVANE_VALUE_FORWARD(GetMirrorV, GetMirrorV)
ORVANE_PLAIN_FORWARD(GetMirrorVDefault, (), ())
ORVANE_PLAIN_FORWARD(GetMirrorHDefault, (), ())
ORVANE_PLAIN_FORWARD(HasHardwareMirrorV, (), ())
ORVANE_PLAIN_FORWARD(HasHardwareMirrorH, (), ())
ORVANE_PLAIN_FORWARD(GetTriggerMode, (int* on), (on))
ORVANE_FIELD_READ(GetMaxWidth, maxWidth)
ORVANE_FIELD_READ(GetMaxHeight, maxHeight)
ORVANE_FIELD_READ(GetDefaultWindowX, defaultWindowX)
ORVANE_FIELD_READ(GetDefaultWindowY, defaultWindowY)
ORVANE_FIELD_READ(GetDefaultWindowWidth, defaultWindowWidth)
ORVANE_FIELD_READ(GetDefaultWindowHeight, defaultWindowHeight)
ORVANE_FIELD_READ(GetHorizontalWindowAllowed, horizontalWindowAllowed)
ORVANE_FIELD_READ(GetVerticalWindowAllowed, verticalWindowAllowed)
ORVANE_PLAIN_FORWARD(SetGlobalGain, (int gain), (gain))
ORVANE_VALUE_FORWARD(GetGlobalGain, GetGlobalGain)
ORVANE_VALUE_FORWARD(GetGlobalGainMin, GetGlobalGainMin)
ORVANE_VALUE_FORWARD(GetGlobalGainMax, GetGlobalGainMax)
ORVANE_VALUE_FORWARD(GetGlobalGainDefault, GetGlobalGainDefault)
ORVANE_VALUE_FORWARD(GetExposureTime, GetExposureTime)
ORVANE_VALUE_FORWARD(GetExposureTimeMin, GetExposureTimeMin)
ORVANE_VALUE_FORWARD(GetExposureTimeMax, GetExposureTimeMax)
ORVANE_VALUE_FORWARD(GetExposureTimeDefault, GetExposureTimeDefault)
ORVANE_PLAIN_FORWARD(SetExposureLines, (int lines), (lines))
ORVANE_VALUE_FORWARD(GetExposureLines, GetExposureLines)
ORVANE_VALUE_FORWARD(GetExposureLinesMin, GetExposureLinesMin)
ORVANE_VALUE_FORWARD(GetExposureLinesMax, GetExposureLinesMax)
ORVANE_VALUE_FORWARD(GetExposureLinesDefault, GetExposureLinesDefault)
ORVANE_PLAIN_FORWARD(HasExposureTimeEx, (), ())
ORVANE_PLAIN_FORWARD(SetExposureTimeEx, (double value), (value))
ORVANE_PLAIN_FORWARD(GetExposureTimeEx, (double* value), (value))
ORVANE_PLAIN_FORWARD(SetChannelGain, (int channel, int value), (channel, value))
ORVANE_PLAIN_FORWARD(GetChannelGain, (int channel, int* value), (channel, value))
ORVANE_PLAIN_FORWARD(GetChannelGainMin, (int* value), (value))
ORVANE_PLAIN_FORWARD(GetChannelGainMax, (int* value), (value))
ORVANE_PLAIN_FORWARD(GetChannelGainDefault, (int* value), (value))
ORVANE_PLAIN_FORWARD(SetChannelOffset, (int channel, int value), (channel, value))
ORVANE_PLAIN_FORWARD(GetChannelOffset, (int channel, int* value), (channel, value))
ORVANE_PLAIN_FORWARD(GetChannelOffsetMin, (int* value), (value))
ORVANE_PLAIN_FORWARD(GetChannelOffsetMax, (int* value), (value))
ORVANE_PLAIN_FORWARD(GetChannelOffsetDefault, (int* value), (value))
ORVANE_PLAIN_FORWARD(SetColorGainRed, (int gain), (gain))
ORVANE_VALUE_FORWARD(GetColorGainRed, GetColorGainRed)
ORVANE_PLAIN_FORWARD(SetColorGainGreen1, (int gain), (gain))
ORVANE_VALUE_FORWARD(GetColorGainGreen1, GetColorGainGreen1)
ORVANE_PLAIN_FORWARD(SetColorGainGreen2, (int gain), (gain))
ORVANE_VALUE_FORWARD(GetColorGainGreen2, GetColorGainGreen2)
ORVANE_PLAIN_FORWARD(SetColorGainBlue, (int gain), (gain))
ORVANE_VALUE_FORWARD(GetColorGainBlue, GetColorGainBlue)
ORVANE_VALUE_FORWARD(GetColorGainMin, GetColorGainMin)
ORVANE_VALUE_FORWARD(GetColorGainMax, GetColorGainMax)
ORVANE_VALUE_FORWARD(GetColorGainDefault, GetColorGainDefault)
ORVANE_PLAIN_FORWARD(HasLevelControl, (), ())
ORVANE_PLAIN_FORWARD(SetLevel, (int level), (level))
ORVANE_VALUE_FORWARD(GetLevel, GetLevel)
ORVANE_VALUE_FORWARD(GetLevelMin, GetLevelMin)
ORVANE_VALUE_FORWARD(GetLevelMax, GetLevelMax)
ORVANE_VALUE_FORWARD(GetLevelDefault, GetLevelDefault)
ORVANE_PLAIN_FORWARD(Command, (int code, void* data), (code, data))
ORVANE_PLAIN_FORWARD(HasGainMode, (), ())
ORVANE_PLAIN_FORWARD(SetGainMode, (int mode), (mode))
ORVANE_PLAIN_FORWARD(HasPeltier, (), ())
ORVANE_PLAIN_FORWARD(GetPeltier, (int* on), (on))
ORVANE_PLAIN_FORWARD(SetPeltier, (int on), (on))
ORVANE_PLAIN_FORWARD(HasTemperature, (), ())
ORVANE_PLAIN_FORWARD(GetTemperature, (double* celsius), (celsius))
ORVANE_PLAIN_FORWARD(HasSwitchA, (), ())
ORVANE_PLAIN_FORWARD(GetSwitchA, (int* on), (on))
ORVANE_PLAIN_FORWARD(SetSwitchA, (int on), (on))
ORVANE_PLAIN_FORWARD(HasSwitchB, (), ())
ORVANE_PLAIN_FORWARD(GetSwitchB, (int* on), (on))
ORVANE_PLAIN_FORWARD(SetSwitchB, (int on), (on))
ORVANE_PLAIN_FORWARD(HasCooling, (), ())
ORVANE_PLAIN_FORWARD(CoolingReserved1, (), ())
ORVANE_PLAIN_FORWARD(CoolingReserved2, (), ())
ORVANE_PLAIN_FORWARD(ReadCoolingTemperature, (double* celsius), (celsius))
ORVANE_PLAIN_FORWARD(SetCoolingTarget, (double celsius), (celsius))
ORVANE_PLAIN_FORWARD(GetModelIdentifier1, (int* value), (value))
ORVANE_PLAIN_FORWARD(GetModelIdentifier2, (int* value), (value))
ORVANE_PLAIN_FORWARD(SetAuxSetting, (int value), (value))
ORVANE_PLAIN_FORWARD(RunAuxCommand, (int code, void* data), (code, data))
ORVANE_PLAIN_FORWARD(CheckFirmwareLevel, (), ())
ORVANE_PLAIN_FORWARD(HasAuxOption, (), ())
ORVANE_PLAIN_FORWARD(GetAuxOption, (int* value), (value))
ORVANE_PLAIN_FORWARD(SetAuxOption, (int value), (value))
ORVANE_PLAIN_FORWARD(HasGainStep, (), ())
ORVANE_PLAIN_FORWARD(GetGainStepMin, (int* value), (value))
ORVANE_PLAIN_FORWARD(GetGainStepMax, (int* value), (value))
ORVANE_PLAIN_FORWARD(GetGainStepDefault, (int* value), (value))
ORVANE_PLAIN_FORWARD(ReadGainStep, (int* value), (value))
ORVANE_PLAIN_FORWARD(SetGainStep, (int step), (step))
ORVANE_PLAIN_FORWARD(GetGainStepName, (int step, char* text), (step, text))
ORVANE_PLAIN_FORWARD(HasExtraMode, (), ())
ORVANE_PLAIN_FORWARD(SetExtraMode, (int mode), (mode))

#undef ORVANE_PLAIN_FORWARD
#undef ORVANE_VALUE_FORWARD
#undef ORVANE_FIELD_READ

// Forwards whose device name differs from the sensor's, or whose result is not an int.
int COrvaneU3Q7Base::GetSpeedMode() {
    return withSensor(0, [](CSensorBase& s) {
        int mode = 0;
        s.GetClockMode(&mode);
        return mode;
    });
}
double COrvaneU3Q7Base::GetExposureTimeExMin(double* value) {
    return withSensor(0.0, [&](CSensorBase& s) { return s.GetExposureTimeExMin(value); });
}
double COrvaneU3Q7Base::GetExposureTimeExMax(double* value) {
    return withSensor(0.0, [&](CSensorBase& s) { return s.GetExposureTimeExMax(value); });
}
double COrvaneU3Q7Base::GetExposureTimeExDefault(double* value) {
    return withSensor(0.0, [&](CSensorBase& s) { return s.GetExposureTimeExDefault(value); });
}
int COrvaneU3Q7Base::AfterConfigure() {
    return withSensor(0, [](CSensorBase& s) { return s.AfterConfigure(), 1; });
}
int COrvaneU3Q7Base::AuxHook() {
    return withSensor(0, [](CSensorBase& s) { return s.AuxHook(), 1; });
}
int COrvaneU3Q7Base::GetGainMode() {
    return withSensor(0, [](CSensorBase& s) { return s.GetGainMode(); });
}
int COrvaneU3Q7Base::GetExtraMode() {
    return withSensor(0, [](CSensorBase& s) { return s.GetExtraMode(); });
}
int COrvaneU3Q7Base::HasGainStepControl() {
    return withSensor(0, [](CSensorBase& s) { return s.HasGainStep(); });
}
int COrvaneU3Q7Base::GetGainStepMinimum(int* value) {
    return withSensor(0, [&](CSensorBase& s) { return s.GetGainStepMin(value); });
}

}  // namespace orvane::device
