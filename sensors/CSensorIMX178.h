// Model of the Sony IMX178 sensor (3072 x 2048 Bayer) on the camera controller's bus at
// address 0x48: 16-bit register addresses sent high byte first, 8-bit values. It converts
// exposure time into lines and programs frame length, shutter, global gain, mirroring, the
// readout window and the trigger bit. The sensor's readout mode, ADC depth and clocks are
// brought up by the camera itself, so Initialize sends nothing.
//
// Thread rules: as for every sensor model, calls are serialised by the device SDK object.
#pragma once

#include "sensors/CSensorBase.h"

namespace orvane::sensors {

class CSensorIMX178 : public CSensorBase {
  public:
    static constexpr uint8_t kBusAddress = 0x48;
    static constexpr int32_t kMaxWidth = 3072;
    static constexpr int32_t kMaxHeight = 2048;
    static constexpr int32_t kLineLengthClocks = 3400;
    static constexpr int32_t kClockKHz = 364000;
    static constexpr int32_t kFrameLengthLines = 2138;
    // What the window operation programs: a shorter frame and the sensor's own line-length
    // register value (in its units, not clocks).
    static constexpr int32_t kWindowFrameLengthLines = 2128;
    static constexpr int32_t kWindowLineLengthRegister = 505;

    // Register addresses.
    static constexpr int kRegTrigger = 0x0208;         // bit 0: trigger
    static constexpr int kRegReadoutControl = 0x020F;  // bits 0/1 mirrors (0 = mirrored), bit 4
    static constexpr int kRegGainLow = 0x021F;
    static constexpr int kRegGainHigh = 0x0220;
    static constexpr int kRegFrameLength0 = 0x022C;  // 24 bits in three registers
    static constexpr int kRegLineLength0 = 0x022F;   // 16 bits in two registers
    static constexpr int kRegShutter0 = 0x0234;      // 24 bits in three registers
    static constexpr int kRegWindowX0 = 0x039C;
    static constexpr int kRegWindowWidth0 = 0x039E;
    static constexpr int kRegWindowY0 = 0x03A0;
    static constexpr int kRegWindowHeight0 = 0x03A2;
    static constexpr int kRegTriggerState = 0x2008;  // bit 0, read only

    static constexpr uint8_t kMirrorVBit = 0x01;
    static constexpr uint8_t kMirrorHBit = 0x02;
    static constexpr uint8_t kWindowedBit = 0x10;

    explicit CSensorIMX178(transport::CControllerBase* controller,
                           uint8_t busAddress = kBusAddress);

    int Initialize() override;
    int ApplyDefaults() override;
    int SetWindow(int x, int width, int y, int height, int mode) override;
    int GetWindow(int* x, int* width, int* y, int* height, int* mode) override;
    int SetTriggerMode(int on) override;
    int GetTriggerMode(int* on) override;
    int SetExposureLines(int lines) override;
    int GetExposureLines(int* lines) override;
    int SetGlobalGain(int gain) override;
    int GetGlobalGain(int* gain) override;
    int GetExposureLinesMin(int* value) override;
    int GetExposureLinesMax(int* value) override;
    int GetExposureLinesDefault(int* value) override;
    int GetGlobalGainMin(int* value) override;
    int GetGlobalGainMax(int* value) override;
    int GetGlobalGainDefault(int* value) override;
    int GetColorGainMin(int* value) override;
    int GetColorGainMax(int* value) override;
    int GetColorGainDefault(int* value) override;
    int SetExposureTime(unsigned time) override;
    int GetExposureTime(int* value) override;
    int GetExposureTimeMin(int* value) override;
    int GetExposureTimeMax(int* value) override;
    int GetExposureTimeDefault(int* value) override;
    int SetMirrorV(int on) override;
    int GetMirrorV(int* on) override;
    int SetMirrorH(int on) override;
    int GetMirrorH(int* on) override;
    int Command(int code, void* data) override;
    // Waits 1 ms before every write: the sensor needs the gap between consecutive accesses.
    int WriteRegister(int reg, int value) override;
    int ReadRegister(int reg, int* value) override;

  private:
    int setMirrorBit(uint8_t bit, int on, int32_t& stored);
    void writeFrameLength(uint32_t lines);
};

}  // namespace orvane::sensors
