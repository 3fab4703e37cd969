// The Sony IMX178 as the camera's controller reaches it on its bus (address kBusSensorImx178):
// the pixel array, the readout timing and the registers that shape a frame. The sensor model
// programs them and the virtual camera answers for them, so both read them from here.
//
// Registers have 16-bit addresses (sent high byte first) and 8-bit values; multi-byte values
// are stored low byte first at consecutive addresses.
#pragma once

#include <cstdint>

namespace orvane::transport::imx178 {

// The pixel array (Bayer mosaic) and its full-frame readout timing.
inline constexpr int32_t kArrayWidth = 3072;
inline constexpr int32_t kArrayHeight = 2048;
inline constexpr int32_t kLineLengthClocks = 3400;
inline constexpr int32_t kClockKHz = 364000;

inline constexpr uint16_t kRegTrigger = 0x0208;         // bit 0: trigger
inline constexpr uint16_t kRegReadoutControl = 0x020F;  // mirror and window bits below
inline constexpr uint16_t kRegGainLow = 0x021F;
inline constexpr uint16_t kRegGainHigh = 0x0220;
inline constexpr uint16_t kRegFrameLength0 = 0x022C;  // 24 bits in three registers
inline constexpr uint16_t kRegLineLength0 = 0x022F;   // 16 bits in two registers
inline constexpr uint16_t kRegShutter0 = 0x0234;      // 24 bits in three registers
inline constexpr uint16_t kRegWindowX0 = 0x039C;
inline constexpr uint16_t kRegWindowWidth0 = 0x039E;
inline constexpr uint16_t kRegWindowY0 = 0x03A0;
inline constexpr uint16_t kRegWindowHeight0 = 0x03A2;
inline constexpr uint16_t kRegTriggerState = 0x2008;  // bit 0, read only

// Bits of kRegReadoutControl. A mirror bit that is clear mirrors that direction.
inline constexpr uint8_t kMirrorVBit = 0x01;
inline constexpr uint8_t kMirrorHBit = 0x02;
inline constexpr uint8_t kWindowedBit = 0x10;

}  // namespace orvane::transport::imx178
