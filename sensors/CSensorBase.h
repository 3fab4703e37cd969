// The abstract image-sensor model: what the sensor of the open camera can do and the value of
// every quantity it sets. One concrete subclass per sensor; the device SDK object owns exactly
// one while a camera is open and forwards its sensor operations to it.
//
// Return convention: every operation returns nonzero (1) for success and 0 for failure or for
// an operation the model does not support (the two mode getters return -1 for "no mode").
// Getters write through the pointer they are given.
//
// Thread rules: a sensor object has no lock of its own. The device SDK object serialises every
// call into it under its sensor lock; nothing else may call a sensor concurrently.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvane::transport {
class CControllerBase;
}

namespace orvane::sensors {

// The sensor information block. It is handed to callers as one unit (GetSensorInfo), so the
// place of every word is part of the interface: reserved and flag words keep their slots even
// though nothing reads them. All words are 32-bit signed except the four extended-exposure
// values, which are doubles.
struct SensorInfo {
    int32_t maxWidth;                 // 1: full readout width in pixels
    int32_t maxHeight;                // 2: full readout height in lines
    int32_t defaultWindowX;           // 3
    int32_t defaultWindowY;           // 4
    int32_t defaultWindowWidth;       // 5
    int32_t defaultWindowHeight;      // 6
    int32_t horizontalWindowAllowed;  // 7: nonzero: widths below full width are allowed
    int32_t verticalWindowAllowed;    // 8: nonzero: heights below full height are allowed
    int32_t windowX;                  // 9: current readout window
    int32_t windowY;                  // 10
    int32_t windowWidth;              // 11
    int32_t windowHeight;             // 12
    int32_t lineLength;               // 13: sensor clocks per line
    int32_t frameLength;              // 14: nominal lines per frame
    int32_t windowMode;               // 15: mode argument of the last window change
    int32_t reserved16[2];            // 16-17
    int32_t globalGainMin;            // 18: gain register units
    int32_t globalGainMax;            // 19
    int32_t globalGain;               // 20
    int32_t globalGainDefault;        // 21
    int32_t flagWord22;               // 22
    int32_t exposureLinesMin;         // 23
    int32_t exposureLinesMax;         // 24
    int32_t exposureLines;            // 25
    int32_t exposureLinesDefault;     // 26
    int32_t flagWord27;               // 27
    int32_t colorGainMin;             // 28: range shared by the four colour gains
    int32_t colorGainMax;             // 29
    int32_t reserved30;               // 30
    int32_t colorGainDefault;         // 31
    int32_t reserved32[16];           // 32-47
    int32_t exposureTimeMin;          // 48: unit 0.1 ms
    int32_t exposureTimeMax;          // 49
    int32_t exposureTime;             // 50
    int32_t exposureTimeDefault;      // 51
    int32_t reserved52;               // 52
    int32_t levelMin;                 // 53: model-specific level control
    int32_t levelMax;                 // 54
    int32_t level;                    // 55
    int32_t levelDefault;             // 56
    int32_t levelSupported;           // 57
    int32_t gainStepMin;              // 58: selectable analog gain steps
    int32_t gainStepMax;              // 59
    int32_t gainStep;                 // 60
    int32_t gainStepDefault;          // 61
    int32_t gainStepSupported;        // 62
    double exposureTimeExMin;         // 63: exposure in a model-defined unit
    double exposureTimeExMax;         // 64
    double exposureTimeEx;            // 65
    double exposureTimeExDefault;     // 66
    int32_t exposureTimeExSupported;  // 67
    int32_t reserved68[5];            // 68-72
    int32_t mirrorV;                  // 73
    int32_t mirrorVDefault;           // 74
    int32_t mirrorVHardware;          // 75: nonzero: the sensor flips rows itself
    int32_t mirrorH;                  // 76
    int32_t mirrorHDefault;           // 77
    int32_t mirrorHHardware;          // 78: nonzero: the sensor flips columns itself
    int32_t pixelDepth;               // 79: 8 or 16 for models that switch sample width
    int32_t clockKHz;                 // 80: timing clock used with lineLength
    int32_t orientation;              // 81: software orientation code for the frame copy
    int32_t reserved82;               // 82
};

// Byte offset of word n (1-based) of the block: 4 bytes per word, the four doubles count 8.
constexpr size_t sensorInfoOffset(int word) {
    return word <= 63 ? static_cast<size_t>(word - 1) * 4 : static_cast<size_t>(word - 1) * 4 + 16;
}
static_assert(sizeof(SensorInfo) == 344);
static_assert(offsetof(SensorInfo, maxHeight) == sensorInfoOffset(2));
static_assert(offsetof(SensorInfo, windowX) == sensorInfoOffset(9));
static_assert(offsetof(SensorInfo, windowWidth) == sensorInfoOffset(11));
static_assert(offsetof(SensorInfo, windowHeight) == sensorInfoOffset(12));
static_assert(offsetof(SensorInfo, lineLength) == sensorInfoOffset(13));
static_assert(offsetof(SensorInfo, windowMode) == sensorInfoOffset(15));
static_assert(offsetof(SensorInfo, globalGainMin) == sensorInfoOffset(18));
static_assert(offsetof(SensorInfo, flagWord22) == sensorInfoOffset(22));
static_assert(offsetof(SensorInfo, exposureLines) == sensorInfoOffset(25));
static_assert(offsetof(SensorInfo, colorGainMin) == sensorInfoOffset(28));
static_assert(offsetof(SensorInfo, colorGainDefault) == sensorInfoOffset(31));
static_assert(offsetof(SensorInfo, reserved32) == sensorInfoOffset(32));
static_assert(offsetof(SensorInfo, exposureTimeMin) == sensorInfoOffset(48));
static_assert(offsetof(SensorInfo, levelMin) == sensorInfoOffset(53));
static_assert(offsetof(SensorInfo, gainStepMin) == sensorInfoOffset(58));
static_assert(offsetof(SensorInfo, gainStepSupported) == sensorInfoOffset(62));
static_assert(offsetof(SensorInfo, exposureTimeExMin) == sensorInfoOffset(63));
static_assert(offsetof(SensorInfo, exposureTimeExMax) == 256);
static_assert(offsetof(SensorInfo, exposureTimeExDefault) == 272);
static_assert(offsetof(SensorInfo, exposureTimeExSupported) == sensorInfoOffset(67));
static_assert(offsetof(SensorInfo, reserved68) == sensorInfoOffset(68));
static_assert(offsetof(SensorInfo, mirrorV) == sensorInfoOffset(73));
static_assert(offsetof(SensorInfo, mirrorH) == sensorInfoOffset(76));
static_assert(offsetof(SensorInfo, pixelDepth) == sensorInfoOffset(79));
static_assert(offsetof(SensorInfo, clockKHz) == sensorInfoOffset(80));
static_assert(offsetof(SensorInfo, orientation) == sensorInfoOffset(81));
static_assert(offsetof(SensorInfo, reserved82) == sensorInfoOffset(82));

// Software orientation codes (word 81) understood by the device SDK's frame copy.
inline constexpr int32_t kOrientationPlain = 0;
inline constexpr int32_t kOrientationReverseColumns = 2;
inline constexpr int32_t kOrientationReverseRows = 3;
inline constexpr int32_t kOrientationRotate180 = 4;

// The virtual operations are declared in the sensor family's slot order (the number in each
// comment is the slot, the destructor being slot 0); keep that order. An operation defined here
// in the declaration is one the base model does not support; a model overrides what it has.
class CSensorBase {
  public:
    CSensorBase(transport::CControllerBase* controller, uint8_t busAddress);
    CSensorBase(const CSensorBase&) = delete;
    CSensorBase& operator=(const CSensorBase&) = delete;

    virtual ~CSensorBase();                                       // 0
    virtual int SetModelVariant(int code);                        // 1
    virtual int SetOptionFlags(int flags);                        // 2
    virtual int GetOptionFlags();                                 // 3
    virtual int Initialize() { return 0; }                        // 4
    virtual int ApplyDefaults() { return 0; }                     // 5
    virtual int InitializeFallback() { return 0; }                // 6
    virtual int SetWindow(int, int, int, int, int) { return 0; }  // 7: x, width, y, height, mode
    virtual int GetWindow(int*, int*, int*, int*, int*) { return 0; }            // 8: as SetWindow
    virtual int SetTriggerMode(int /*on*/) { return 0; }                         // 9
    virtual int GetTriggerMode(int* /*on*/) { return 0; }                        // 10
    virtual int SetAuxSetting(int /*value*/) { return 0; }                       // 11
    virtual int RunAuxCommand(int /*code*/, void* /*data*/) { return 0; }        // 12
    virtual int CheckFirmwareLevel() { return 0; }                               // 13
    virtual int SetPixelDepth(int /*sixteen*/) { return 0; }                     // 14
    virtual int SetExposureLines(int /*lines*/) { return 0; }                    // 15
    virtual int GetExposureLines(int* /*lines*/) { return 0; }                   // 16
    virtual int SetGlobalGain(int /*gain*/) { return 0; }                        // 17
    virtual int GetGlobalGain(int* /*gain*/) { return 0; }                       // 18
    virtual int SetColorGainRed(int /*gain*/) { return 0; }                      // 19
    virtual int GetColorGainRed(int* /*gain*/) { return 0; }                     // 20
    virtual int SetColorGainGreen1(int /*gain*/) { return 0; }                   // 21
    virtual int GetColorGainGreen1(int* /*gain*/) { return 0; }                  // 22
    virtual int SetColorGainGreen2(int /*gain*/) { return 0; }                   // 23
    virtual int GetColorGainGreen2(int* /*gain*/) { return 0; }                  // 24
    virtual int SetColorGainBlue(int /*gain*/) { return 0; }                     // 25
    virtual int GetColorGainBlue(int* /*gain*/) { return 0; }                    // 26
    virtual int GetExposureLinesMin(int* /*value*/) { return 0; }                // 27
    virtual int GetExposureLinesMax(int* /*value*/) { return 0; }                // 28
    virtual int GetExposureLinesDefault(int* /*value*/) { return 0; }            // 29
    virtual int GetGlobalGainMin(int* /*value*/) { return 0; }                   // 30
    virtual int GetGlobalGainMax(int* /*value*/) { return 0; }                   // 31
    virtual int GetGlobalGainDefault(int* /*value*/) { return 0; }               // 32
    virtual int GetColorGainMin(int* /*value*/) { return 0; }                    // 33
    virtual int GetColorGainMax(int* /*value*/) { return 0; }                    // 34
    virtual int GetColorGainDefault(int* /*value*/) { return 0; }                // 35
    virtual int SetChannelGain(int /*channel*/, int /*value*/) { return 0; }     // 36
    virtual int GetChannelGain(int /*channel*/, int* /*value*/) { return 0; }    // 37
    virtual int GetChannelGainMin(int* /*value*/) { return 0; }                  // 38
    virtual int GetChannelGainMax(int* /*value*/) { return 0; }                  // 39
    virtual int GetChannelGainDefault(int* /*value*/) { return 0; }              // 40
    virtual int SetChannelOffset(int /*channel*/, int /*value*/) { return 0; }   // 41
    virtual int GetChannelOffset(int /*channel*/, int* /*value*/) { return 0; }  // 42
    virtual int GetChannelOffsetMin(int* /*value*/) { return 0; }                // 43
    virtual int GetChannelOffsetMax(int* /*value*/) { return 0; }                // 44
    virtual int GetChannelOffsetDefault(int* /*value*/) { return 0; }            // 45
    virtual int HasLevelControl();                                               // 46
    virtual int SetLevel(int /*level*/) { return 0; }                            // 47
    virtual int GetLevel(int* value);                                            // 48
    virtual int GetLevelMin(int* value);                                         // 49
    virtual int GetLevelMax(int* value);                                         // 50
    virtual int GetLevelDefault(int* value);                                     // 51
    virtual int HasGainStep();                                                   // 52
    virtual int GetGainStepMin(int* value);                                      // 53
    virtual int GetGainStepMax(int* value);                                      // 54
    virtual int GetGainStepDefault(int* value);                                  // 55
    virtual int GetGainStep(int* value);                                         // 56
    virtual int SetGainStep(int /*step*/) { return 0; }                          // 57
    virtual int ReadGainStep(int* /*value*/) { return 0; }                       // 58
    virtual int GetGainStepName(int /*step*/, char* /*text*/) { return 0; }      // 59
    virtual int SetExposureTime(unsigned /*time*/) { return 0; }                 // 60: unit 0.1 ms
    virtual int GetExposureTime(int* /*value*/) { return 0; }                    // 61
    virtual int GetExposureTimeMin(int* /*value*/) { return 0; }                 // 62
    virtual int GetExposureTimeMax(int* /*value*/) { return 0; }                 // 63
    virtual int GetExposureTimeDefault(int* /*value*/) { return 0; }             // 64
    virtual int SetMirrorV(int /*on*/) { return 0; }                             // 65
    virtual int GetMirrorV(int* /*on*/) { return 0; }                            // 66
    virtual int SetMirrorH(int /*on*/) { return 0; }                             // 67
    virtual int GetMirrorH(int* /*on*/) { return 0; }                            // 68
    virtual int GetMirrorVDefault();                                             // 69
    virtual int GetMirrorHDefault();                                             // 70
    virtual int HasHardwareMirrorV();                                            // 71
    virtual int HasHardwareMirrorH();                                            // 72
    virtual int Command(int /*code*/, void* /*data*/) { return 0; }              // 73
    virtual int WriteRegister(int /*reg*/, int /*value*/) { return 0; }          // 74
    virtual int ReadRegister(int /*reg*/, int* /*value*/) { return 0; }          // 75
    virtual int WriteRegisterWhenIdle(int /*reg*/, int /*value*/) { return 0; }  // 76
    virtual int ReadRegisterWhenIdle(int /*reg*/, int* /*value*/) { return 0; }  // 77
    virtual int Reserved78() { return 0; }                                       // 78
    virtual int Reserved79() { return 0; }                                       // 79
    virtual int Reserved80() { return 0; }                                       // 80
    virtual int Reserved81() { return 0; }                                       // 81
    virtual int Reserved82() { return 0; }                                       // 82
    virtual int SetClockMode(int /*mode*/) { return 0; }                         // 83
    virtual int GetClockMode(int* /*mode*/) { return 0; }                        // 84
    virtual int Reserved85() { return 0; }                                       // 85
    virtual int Reserved86() { return 0; }                                       // 86
    virtual int GetSensorInfo(SensorInfo* destination);                          // 87
    virtual void AfterConfigure() {}                                             // 88
    virtual void AuxHook() {}                                                    // 89
    virtual int SetOperatingMode(int /*mode*/) { return 0; }                     // 90
    virtual int GetOperatingMode(int* /*mode*/) { return 0; }                    // 91
    virtual int HasPeltier() { return 0; }                                       // 92
    virtual int GetPeltier(int* /*on*/) { return 0; }                            // 93
    virtual int SetPeltier(int /*on*/) { return 0; }                             // 94
    virtual int HasTemperature() { return 0; }                                   // 95
    virtual int GetTemperature(double* /*celsius*/) { return 0; }                // 96
    virtual void OnCaptureStart() {}                                             // 97
    virtual void OnCaptureStop() {}                                              // 98
    virtual int HasSwitchA() { return 0; }             // 99: model-specific on/off control
    virtual int GetSwitchA(int* /*on*/) { return 0; }  // 100
    virtual int SetSwitchA(int /*on*/) { return 0; }   // 101
    virtual int ReceiveText(char* /*text*/, int /*length*/) { return 0; }     // 102
    virtual int SendText(const char* /*text*/, int /*length*/) { return 0; }  // 103
    virtual int HasSwitchB() { return 0; }             // 104: second model-specific on/off control
    virtual int GetSwitchB(int* /*on*/) { return 0; }  // 105
    virtual int SetSwitchB(int /*on*/) { return 0; }   // 106
    virtual int HasCooling() { return 0; }             // 107: model-specific cooling control
    virtual int CoolingReserved1() { return 0; }       // 108
    virtual int CoolingReserved2() { return 0; }       // 109
    virtual int ReadCoolingTemperature(double* /*celsius*/) { return 0; }  // 110
    virtual int SetCoolingTarget(double /*celsius*/) { return 0; }         // 111
    virtual int HasExposureTimeEx();                                       // 112
    virtual double GetExposureTimeExMin(double* value);                    // 113
    virtual double GetExposureTimeExMax(double* value);                    // 114
    virtual double GetExposureTimeExDefault(double* value);                // 115
    virtual int GetExposureTimeEx(double* value);                          // 116
    virtual int SetExposureTimeEx(double /*value*/) { return 0; }          // 117
    virtual int HasAuxOption() { return 0; }                               // 118
    virtual int GetAuxOption(int* /*value*/) { return 0; }                 // 119
    virtual int SetAuxOption(int /*value*/) { return 0; }                  // 120
    virtual int GetModelIdentifier1(int* /*value*/) { return 0; }          // 121
    virtual int GetModelIdentifier2(int* /*value*/) { return 0; }          // 122
    virtual int HasGainMode() { return 0; }                                // 123
    virtual int GetGainMode() { return -1; }              // 124: -1 when there is no mode
    virtual int SetGainMode(int /*mode*/) { return 0; }   // 125: 0 "High Gain", 1 "Low Gain"
    virtual int HasExtraMode() { return 0; }              // 126
    virtual int GetExtraMode() { return -1; }             // 127: -1 when there is no mode
    virtual int SetExtraMode(int /*mode*/) { return 0; }  // 128

    // Read-only access for the device SDK's direct field reads.
    const SensorInfo& info() const { return info_; }
    // The device SDK stores the read-back window into the block (SetCaptureWindow).
    void storeWindow(int x, int y, int width, int height, int mode);
    // The stored window, written through the pointers that are not null.
    void storedWindow(int* x, int* y, int* width, int* height, int* mode) const;

    transport::CControllerBase* controller() const { return controller_; }
    uint8_t busAddress() const { return busAddress_; }
    int modelVariant() const { return modelVariant_; }

  protected:
    SensorInfo info_;  // The sensor information block; first in the object's data.

    // Private state of every model.
    uint8_t scratch_[32];                     // zeroed at construction
    transport::CControllerBase* controller_;  // borrowed; may be null
    uint8_t busAddress_;                      // 8-bit bus address (write form)
    int32_t optionFlags_ = 0;                 // SetOptionFlags / GetOptionFlags
    uint16_t firmwareLevel_ = 0;              // cached controller version word
    int32_t modelVariant_ = 0;                // SetModelVariant
    int64_t auxSetting_ = 1;                  // written only by models using SetAuxSetting
    int32_t auxWords_[2] = {0, 0};
};

}  // namespace orvane::sensors
