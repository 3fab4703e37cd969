// Model of the Sony IMX178 sensor (3072 x 2048 Bayer) on the camera controller's bus at
// address 0x48: 16-bit register addresses sent high byte first, 8-bit values. It converts
// exposure time into lines and programs frame length, shutter, global gain, mirroring, the
// readout window and the trigger bit. The sensor's readout mode, ADC depth and clocks are
// brought up by the camera itself, so Initialize sends nothing.
//
// Thread rules: as for every sensor model, calls are serialised by the device SDK object.
#pragma once

#include "sensors/CSensorBase.h"
#include "transport/Fx3Protocol.h"
#include "transport/Imx178.h"

namespace orvane::sensors {

class CSensorIMX178 : public CSensorBase {
  public:
    static constexpr uint8_t kBusAddress = transport::kBusSensorImx178;
    static constexpr int32_t kFrameLengthLines = 2138;
    // What the window operation programs: a shorter frame and the sensor's own line-length
    // register value (in its units, not clocks).
    static constexpr int32_t kWindowFrameLengthLines = 2128;
    static constexpr int32_t kWindowLineLengthRegister = 505;

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
