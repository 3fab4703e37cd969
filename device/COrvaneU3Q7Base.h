// The device SDK object: the camera as the session sees it. It owns the camera controller and,
// while a camera is open, the sensor model; it opens cameras by number, identifies the model by
// its USB product ID, runs the capture thread that fills the four-slot frame ring, and forwards
// the sensor settings.
//
// Forwarding shapes: a plain forward returns the sensor operation's result (0 without a
// sensor); a value forward returns the value a getter wrote into a local preset to 0 (so an
// unsupported getter reads 0); a direct field read returns a word of the sensor information
// block (0 without a sensor).
//
// Threads and locks. Which thread may call what:
//  - Any thread (application, session, acquisition): every public operation except the two
//    capture loops. Calls are safe concurrently with each other and with the capture thread.
//  - Lifecycle and stream changes (CreateController, AdoptController, Open, Reopen, Close,
//    InitializeOpened, SetProductId, StartCapture, StopCapture, SetMode, ApplyTriggerMode,
//    ApplyGeometry, SetWideTransfer, SetCaptureWindow, GrabOne, StopStream, the device-table
//    queries and FPGA/EEPROM access) are serialised by the device lock (lock_). Those that
//    replace what the capture thread uses (the controller, the sensor, the buffers, the mode)
//    stop and join the capture thread first, so they may take as long as one frame read.
//  - Sensor forwards (gains, exposure, mirrors, sensor registers, the field reads) take only
//    the sensor lock: they do not wait for a StopCapture in progress on another thread.
//  - Streaming readers (WaitFrame, CopyLatest, CopyFrame, CopySnapshot) take only the ring's
//    lock, so the session's acquisition thread can wait and copy while another thread is inside
//    StopCapture, which releases a waiting reader. IsCapturing, CaptureFailed, GetProductId,
//    IsEndpoint83Model, SetPayloadTimeout and GetPayloadTimeout are lock-free.
//  - The capture thread runs CaptureLoop / CaptureLoopEndpoint83 only. It never takes the
//    device lock (StopCapture joins it while holding that lock); it uses the controller's
//    stream operations, the payload buffer and the ring, none of which anyone else changes
//    while it runs, and takes the sensor lock for the one sensor call it may make.
// Lock order: device lock, then sensor lock, then the controller's register lock; the ring's
// lock is a leaf.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "device/FrameRing.h"
#include "device/ProductIds.h"
#include "platform/Sync.h"
#include "platform/Thread.h"
#include "platform/usb/DriverPort.h"
#include "sensors/CSensorBase.h"

namespace orvane::transport {
class CKelCy3Cam;
class CControllerBase;
struct FrameRecord;
}  // namespace orvane::transport

namespace orvane::device {

// The names every source of the device object uses: its sensor model and the guard of its
// critical sections.
using sensors::CSensorBase;
using Guard = platform::LockGuard<platform::CriticalSection>;

// USB product IDs with behaviour of their own in this object.

// WaitFrame results.
inline constexpr int kWaitFailed = 1;
inline constexpr int kWaitTimeout = 2;
inline constexpr int kWaitFrameReady = 3;

// Acquisition modes.
inline constexpr int kModeContinuous = 0;
inline constexpr int kModeSnapshot = 1;
inline constexpr int kModeTrigger = 2;
inline constexpr int kModeHeaderSync = 3;

inline constexpr uint32_t kDefaultPayloadTimeoutMs = 5000;
inline constexpr int kInformationBlockBytes = 64;

class COrvaneU3Q7Base {
  public:
    // Creates a sensor model for a product ID, talking to `controller`. Used by Open; tests
    // replace it to put a sensor model of their own behind the device object.
    using SensorFactory = std::function<std::unique_ptr<sensors::CSensorBase>(
        int productId, transport::CControllerBase* controller)>;

    COrvaneU3Q7Base();
    COrvaneU3Q7Base(const COrvaneU3Q7Base&) = delete;
    COrvaneU3Q7Base& operator=(const COrvaneU3Q7Base&) = delete;

    // The virtual operations in the device family's slot order (the number is the slot).
    virtual ~COrvaneU3Q7Base();                                                            // 0
    virtual int CreateController(void* window, const platform::usb::InterfaceGuid* guid);  // 1
    virtual int InitializeOpened();                                                        // 2
    virtual int Close();                                                                   // 3
    virtual int ReadInformationBlock(uint8_t* block64);                                    // 4
    virtual int GetSensorInfo(sensors::SensorInfo* destination);                           // 5
    virtual int ReadInformationBlock2(uint8_t* block64);                                   // 6
    virtual int Reopen(int number);                      // 7: 0 or -1
    virtual int Open(int number);                        // 8
    virtual int Reserved9();                             // 9
    virtual int HasCamera(int number);                   // 10
    virtual int CountCameras(int productId);             // 11
    virtual int GetDeviceName(int index, char* text64);  // 12
    virtual int SetProductId(int productId);             // 13
    virtual int GetProductId();                          // 14
    virtual int GetTableVendorId(int index);             // 15
    virtual int GetTableProductId(int index);            // 16
    virtual int GetTableInstance(int index);             // 17
    virtual int IsEndpoint83Model();                     // 18
    virtual int GetDeviceNumber();                       // 19
    virtual int StartCapture(int mode);                  // 20
    virtual int StopCapture();                           // 21
    virtual int CopyFrame(void* buffer, uint64_t length, int firstSlot, int orientationFlag);  // 22
    virtual int SetMode(int mode);                                                             // 23
    virtual int StopStream();                                                                  // 24
    virtual int CaptureLoop();                                  // 25: capture thread
    virtual int CaptureLoopEndpoint83();                        // 26: capture thread
    virtual int ApplyGeometry();                                // 27
    virtual int GetTableCapacity();                             // 28: 32
    virtual int ReadTriggerCounter();                           // 29
    virtual int GrabOne();                                      // 30
    virtual int Reserved31();                                   // 31: -1
    virtual int CopySnapshot(void* buffer);                     // 32
    virtual int SetPayloadTimeout(int ms);                      // 33
    virtual int WaitFrame(uint32_t ms);                         // 34
    virtual int CopyLatest(void* buffer, int orientationFlag);  // 35
    virtual int Reserved36();                                   // 36
    virtual int SetWideTransfer(int mode);                      // 37
    virtual int SetSpeedMode(int mode);                         // 38
    virtual int GetSpeedMode();                                 // 39
    virtual int SetCaptureWindow(int x, int y, int width, int height, int mode);        // 40
    virtual int GetSensorGeometry(int* x, int* y, int* width, int* height, int* mode);  // 41
    virtual int SetMirrorH(int on);                                                     // 42
    virtual int SetMirrorV(int on);                                                     // 43
    virtual int GetMirrorH();                                                           // 44
    virtual int GetMirrorV();                                                           // 45
    virtual int GetMirrorVDefault();                                                    // 46
    virtual int GetMirrorHDefault();                                                    // 47
    virtual int HasHardwareMirrorV();                                                   // 48
    virtual int HasHardwareMirrorH();                                                   // 49
    virtual int ApplyTriggerMode(int mode, int force);                                  // 50
    virtual int GetTriggerMode(int* on);                                                // 51
    virtual int WriteSromId(int address, int value);                                    // 52
    virtual int ReadSromId(int address, int* ok);                                       // 53
    virtual int GetMaxWidth();                                                          // 54
    virtual int GetMaxHeight();                                                         // 55
    virtual int GetDefaultWindowX();                                                    // 56
    virtual int GetDefaultWindowY();                                                    // 57
    virtual int GetDefaultWindowWidth();                                                // 58
    virtual int GetDefaultWindowHeight();                                               // 59
    virtual int GetHorizontalWindowAllowed();                                           // 60
    virtual int GetVerticalWindowAllowed();                                             // 61
    virtual int SetGlobalGain(int gain);                                                // 62
    virtual int GetGlobalGain();                                                        // 63
    virtual int GetGlobalGainMin();                                                     // 64
    virtual int GetGlobalGainMax();                                                     // 65
    virtual int GetGlobalGainDefault();                                                 // 66
    virtual int SetExposure(unsigned time);                      // 67: unit 0.1 ms
    virtual int GetExposureTime();                               // 68
    virtual int GetExposureTimeMin();                            // 69
    virtual int GetExposureTimeMax();                            // 70
    virtual int GetExposureTimeDefault();                        // 71
    virtual int SetExposureLines(int lines);                     // 72
    virtual int GetExposureLines();                              // 73
    virtual int GetExposureLinesMin();                           // 74
    virtual int GetExposureLinesMax();                           // 75
    virtual int GetExposureLinesDefault();                       // 76
    virtual int HasExposureTimeEx();                             // 77
    virtual int SetExposureTimeEx(double value);                 // 78
    virtual int GetExposureTimeEx(double* value);                // 79
    virtual double GetExposureTimeExMin(double* value);          // 80
    virtual double GetExposureTimeExMax(double* value);          // 81
    virtual double GetExposureTimeExDefault(double* value);      // 82
    virtual int SetChannelGain(int channel, int value);          // 83
    virtual int GetChannelGain(int channel, int* value);         // 84
    virtual int GetChannelGainMin(int* value);                   // 85
    virtual int GetChannelGainMax(int* value);                   // 86
    virtual int GetChannelGainDefault(int* value);               // 87
    virtual int SetChannelOffset(int channel, int value);        // 88
    virtual int GetChannelOffset(int channel, int* value);       // 89
    virtual int GetChannelOffsetMin(int* value);                 // 90
    virtual int GetChannelOffsetMax(int* value);                 // 91
    virtual int GetChannelOffsetDefault(int* value);             // 92
    virtual int SetColorGainRed(int gain);                       // 93
    virtual int GetColorGainRed();                               // 94
    virtual int SetColorGainGreen1(int gain);                    // 95
    virtual int GetColorGainGreen1();                            // 96
    virtual int SetColorGainGreen2(int gain);                    // 97
    virtual int GetColorGainGreen2();                            // 98
    virtual int SetColorGainBlue(int gain);                      // 99
    virtual int GetColorGainBlue();                              // 100
    virtual int GetColorGainMin();                               // 101
    virtual int GetColorGainMax();                               // 102
    virtual int GetColorGainDefault();                           // 103
    virtual int HasLevelControl();                               // 104
    virtual int SetLevel(int level);                             // 105
    virtual int GetLevel();                                      // 106
    virtual int GetLevelMin();                                   // 107
    virtual int GetLevelMax();                                   // 108
    virtual int GetLevelDefault();                               // 109
    virtual int WriteSensorRegister(int address, int value);     // 110
    virtual int ReadSensorRegister(int address, int* ok);        // 111
    virtual int WriteFpgaRegister(int reg, int value);           // 112
    virtual int ReadFpgaRegister(int reg, int* ok);              // 113
    virtual int Reserved114();                                   // 114
    virtual int Reserved115();                                   // 115
    virtual int AfterConfigure();                                // 116
    virtual int AuxHook();                                       // 117
    virtual int Command(int code, void* data);                   // 118
    virtual int HasGainMode();                                   // 119
    virtual int SetGainMode(int mode);                           // 120
    virtual int GetGainMode();                                   // 121
    virtual int HasGainStepControl();                            // 122
    virtual int GetGainStepMinimum(int* value);                  // 123
    virtual int HasSwitchableFeature();                          // 124
    virtual int GetSwitchableFeature(int* on);                   // 125
    virtual int SetSwitchableFeature(int on);                    // 126
    virtual int ReadFeatureText(char* text, int length);         // 127
    virtual int WriteFeatureText(const char* text, int length);  // 128
    virtual int HasPeltier();                                    // 129
    virtual int GetPeltier(int* on);                             // 130
    virtual int SetPeltier(int on);                              // 131
    virtual int HasTemperature();                                // 132
    virtual int GetTemperature(double* celsius);                 // 133
    virtual int HasSwitchA();                                    // 134
    virtual int GetSwitchA(int* on);                             // 135
    virtual int SetSwitchA(int on);                              // 136
    virtual int HasSwitchB();                                    // 137
    virtual int GetSwitchB(int* on);                             // 138
    virtual int SetSwitchB(int on);                              // 139
    virtual int HasCooling();                                    // 140
    virtual int CoolingReserved1();                              // 141
    virtual int CoolingReserved2();                              // 142
    virtual int ReadCoolingTemperature(double* celsius);         // 143
    virtual int SetCoolingTarget(double celsius);                // 144
    virtual int GetModelIdentifier1(int* value);                 // 145
    virtual int GetModelIdentifier2(int* value);                 // 146
    virtual int SetAuxSetting(int value);                        // 147
    virtual int RunAuxCommand(int code, void* data);             // 148
    virtual int CheckFirmwareLevel();                            // 149
    virtual int HasAuxOption();                                  // 150
    virtual int GetAuxOption(int* value);                        // 151
    virtual int SetAuxOption(int value);                         // 152
    virtual int HasGainStep();                                   // 153
    virtual int GetGainStepMin(int* value);                      // 154
    virtual int GetGainStepMax(int* value);                      // 155
    virtual int GetGainStepDefault(int* value);                  // 156
    virtual int ReadGainStep(int* value);                        // 157
    virtual int SetGainStep(int step);                           // 158
    virtual int GetGainStepName(int step, char* text);           // 159
    virtual int HasExtraMode();                                  // 160
    virtual int SetExtraMode(int mode);                          // 161
    virtual int GetExtraMode();                                  // 162

    // As CopyLatest, but refuses (-1) a frame larger than `length` bytes: the newest frame
    // has the device's geometry, which need not be the one the caller's buffer was sized for.
    int CopyLatestInto(void* buffer, uint64_t length, int orientationFlag);
    // The newest frame lent in place rather than copied, when CopyLatestInto would copy it
    // as one block (see FrameRing::hold); empty otherwise, and the caller copies instead.
    FrameRing::Hold HoldLatest(uint64_t length, int orientationFlag) {
        return ring_.hold(length, orientationFlag);
    }

    // Non-virtual helpers for tests and diagnostics (any thread).
    void SetSensorFactory(SensorFactory factory);
    // Closes the camera and takes `controller` as the controller (CreateController with a
    // controller built by the caller, e.g. one with instrumented frame reads).
    int AdoptController(std::unique_ptr<transport::CKelCy3Cam> controller);
    bool IsCapturing() const { return capturing_.load(); }
    bool CaptureFailed() const { return captureFailed_.load(); }
    uint32_t GetPayloadTimeout() const { return payloadTimeoutMs_.load(); }
    uint32_t GetFrameSize() const;
    uint32_t GetPayloadCapacity() const;
    uint64_t GetRingAllocationCount() const { return ring_.allocationCount(); }
    int GetWideTransfer() const;
    int GetAcquisitionMode() const { return mode_.load(); }
    uint32_t GetLastFrameTag() const { return lastFrameTag_.load(); }
    // The controller, for callers that need operations the device object does not wrap.
    transport::CKelCy3Cam* controller() const;
    // One snapshot capture run to its end on the calling thread, with the capture thread's
    // loop and recovery but no thread: for hosts that drive many short captures and cannot
    // afford a thread each (the device-reply fuzzer). Snapshot captures end by themselves,
    // after one frame or after giving up, so the call is bounded by the device's replies.
    // Afterwards the readers see what they would after a threaded snapshot capture; the
    // caller still calls StopCapture. Returns 0 when no capture could be started.
    int CaptureSnapshotOnThisThread();

  protected:
    // Capture thread body: picks the loop for the model.
    void captureThreadMain();
    // Pulses the sensor's stream reset through the FPGA (capture thread or owner thread).
    void pulseStreamReset();
    // Files the finished frame of the payload buffer in the ring; capture thread.
    void fileFrame(bool firstSlotOnly);
    // False when the header announces less payload than one frame of the current geometry.
    bool headerFillsFrame(const transport::FrameRecord& record) const;
    // CaptureLoop's two halves (capture thread): one frame read and filed, and the
    // recovery after a failed read.
    enum class FrameRead { Filed, Done, Skipped, Failed };
    bool beginCapture(transport::CKelCy3Cam* controller, transport::FrameRecord& record);
    FrameRead readFrame(transport::CKelCy3Cam& controller, transport::FrameRecord& record,
                        int mode);
    bool recoverFromFailedRead(transport::CKelCy3Cam& controller, int mode, int& retries);
    void setThreadEnd();
    void stopCaptureLocked() ORVANE_REQUIRES(lock_);
    int applyGeometryLocked() ORVANE_REQUIRES(lock_);
    int setModeLocked(int mode) ORVANE_REQUIRES(lock_);
    bool isEndpoint83() const { return productId_ == kProductIdEndpoint83; }

    // Runs `op` on the sensor under the sensor lock; `fallback` without a sensor.
    template <typename R, typename Op>
    R withSensor(R fallback, Op op) const {
        platform::LockGuard guard(sensorLock_);
        return sensor_ ? op(*sensor_) : fallback;
    }

    // The device lock: serialises the application-facing operations and guards the fields
    // marked "device lock" below.
    mutable platform::CriticalSection lock_;
    // The sensor lock: guards every call into the sensor object (sensor_'s state).
    mutable platform::CriticalSection sensorLock_;

    std::unique_ptr<transport::CKelCy3Cam> controller_;  // device lock; fixed while capturing
    uint8_t information_[kInformationBlockBytes] ORVANE_GUARDED_BY(lock_) = {};
    // Device lock; while a capture runs, the capture thread's alone (it exchanges the buffer
    // with ring slots as it files frames).
    std::unique_ptr<uint8_t[]> payload_;
    uint32_t payloadCapacity_ = 0;                // device lock; fixed while capturing
    std::atomic<int> mode_{kModeContinuous};      // written under the device lock
    std::atomic<int> productId_{kProductIdNone};  // written under the device lock
    int wideTransfer_ ORVANE_GUARDED_BY(lock_) = 0;
    int triggerMode_ ORVANE_GUARDED_BY(lock_) = -1;
    FrameRing ring_;          // its own lock
    uint32_t frameSize_ = 0;  // device lock; fixed while capturing
    std::atomic<bool> captureFailed_{false};
    bool geometryChanged_ ORVANE_GUARDED_BY(lock_) = true;
    // Pointer: written under both locks while no capture runs; object state: sensor lock.
    std::unique_ptr<sensors::CSensorBase> sensor_ ORVANE_PT_GUARDED_BY(sensorLock_);
    std::atomic<uint32_t> lastFrameTag_{0};
    int deviceNumber_ ORVANE_GUARDED_BY(lock_) = 0;
    std::atomic<uint32_t> payloadTimeoutMs_{kDefaultPayloadTimeoutMs};
    std::atomic<bool> deferredExposurePending_{false};
    std::atomic<uint32_t> deferredExposure_{0};
    std::unique_ptr<platform::Thread> thread_ ORVANE_GUARDED_BY(lock_);
    std::atomic<bool> capturing_{false};
    // Thread-end event of the running capture; one per capture, so captures of other objects
    // never see each other's end. Written under the device lock while no capture thread runs.
    std::unique_ptr<platform::Event> threadEnd_;
    SensorFactory sensorFactory_ ORVANE_GUARDED_BY(lock_);
};

}  // namespace orvane::device
