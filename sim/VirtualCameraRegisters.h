// The FPGA and IMX178 registers the virtual camera reads back to shape its frames.
#pragma once

#include <cstdint>

namespace orvane::sim::regs {

inline constexpr uint8_t kFpgaTriggerCounter = 8;
inline constexpr uint8_t kFpgaTriggerMode = 48;
inline constexpr uint8_t kFpgaTransferWidth = 0x3C;
inline constexpr uint8_t kTransferWidth16 = 2;
// IMX178 registers the model reads back.
inline constexpr uint16_t kSensorTrigger = 0x0208;
inline constexpr uint16_t kSensorTriggerState = 0x2008;
inline constexpr uint16_t kSensorMirror = 0x020F;
inline constexpr uint16_t kSensorGain = 0x021F;
inline constexpr uint16_t kSensorFrameLength = 0x022C;
inline constexpr uint16_t kSensorShutter = 0x0234;
inline constexpr uint16_t kSensorWindowX = 0x039C;
inline constexpr uint16_t kSensorWindowW = 0x039E;
inline constexpr uint16_t kSensorWindowY = 0x03A0;
inline constexpr uint16_t kSensorWindowH = 0x03A2;

}  // namespace orvane::sim::regs
