// The camera's own protocol over the FX3 driver: vendor requests, bus devices, the FPGA's
// registers, the frame header and the frame-read timing. The driver's request format itself
// (codes, transfer header, control block) is platform/usb/Fx3Driver.h.
//
// Constants only: the virtual camera answers exactly these requests, so it includes this
// header too.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/usb/Fx3Driver.h"

namespace orvane::transport {

using namespace platform::usb;  // the driver's request format

// Largest bulk read, and the staging buffer that buffered reads go through.
inline constexpr uint32_t kMaxBulkBytes = 0x4000000;  // 64 MiB
inline constexpr uint32_t kStagingBytes = kMaxBulkBytes + kTransferHeaderBytes;

// Control request types.
inline constexpr uint8_t kTypeVendorOut = 0x40;          // host to device, recipient device
inline constexpr uint8_t kTypeVendorIn = 0xC0;           // device to host, recipient device
inline constexpr uint8_t kTypeVendorOutEndpoint = 0x42;  // host to device, recipient endpoint

// Vendor requests.
inline constexpr uint8_t kReqBusWrite = 0x30;
inline constexpr uint8_t kReqBusRead = 0x31;
inline constexpr uint8_t kReqWriteRegister32 = 0xD0;
inline constexpr uint8_t kReqReadRegister16 = 0xD1;
inline constexpr uint8_t kReqWriteWordPair = 0x3E;
inline constexpr uint8_t kReqReadWord = 0x3F;
inline constexpr uint8_t kReqWriteStreamMode = 0x3C;
inline constexpr uint8_t kReqReadStreamMode = 0x3D;
inline constexpr uint8_t kReqStreamReset = 0xC0;
inline constexpr uint8_t kReqFrameRequest = 0xC2;
inline constexpr uint8_t kReqEndpointCommand = 0xCC;
inline constexpr uint8_t kReqReadyStatus = 0xC3;
inline constexpr uint8_t kReqInfoBlock = 0xB0;
inline constexpr uint8_t kReqInfoBlock2 = 0xB1;

// Bus devices (write form; the read form has bit 0 set).
inline constexpr uint8_t kBusFpga = 0x40;
inline constexpr uint8_t kBusAux = 0x5A;
inline constexpr uint8_t kBusEeprom = 0xA2;
inline constexpr uint8_t kBusSensorImx178 = 0x48;
inline constexpr uint32_t kMaxBusBytes = 64;

// EEPROM timing: the part needs this long after a write, and this long before a read.
inline constexpr uint32_t kEepromWriteWaitMs = 14;
inline constexpr uint32_t kEepromReadWaitMs = 10;

// FPGA registers (bus device kBusFpga): the controller, the device object and the virtual
// camera all address them by these names.
inline constexpr uint8_t kFpgaTriggerCounter = 8;  // counts trigger pulses
inline constexpr uint8_t kFpgaWordLow = 0x10;      // version word, low byte
inline constexpr uint8_t kFpgaWordHigh = 0x11;     // version word, high byte: the revision
inline constexpr uint8_t kFpgaTriggerEnable = 48;  // 1: a frame waits for a trigger
inline constexpr uint8_t kFpgaTransferWidth = 0x3C;
inline constexpr uint8_t kFpgaHeightLow = 0x40;
inline constexpr uint8_t kFpgaHeightHigh = 0x41;
inline constexpr uint8_t kFpgaWidthLow = 0x44;
inline constexpr uint8_t kFpgaWidthHigh = 0x45;
inline constexpr uint8_t kFpgaTiming0 = 0x48;
inline constexpr uint8_t kFpgaTiming1 = 0x49;
inline constexpr uint8_t kFpgaTiming2 = 0x4C;
inline constexpr uint8_t kFpgaTiming3 = 0x4D;
inline constexpr uint8_t kFpgaStreamStop = 0x68;
inline constexpr uint8_t kFpgaStreamReset = 0x6C;     // pulsed 1, 0 to restart the frame stream
inline constexpr uint8_t kFpgaStreamResetAlt = 0x96;  // the same for sensors on bus 103 and 115
// Values of kFpgaTransferWidth: bytes per sample on the wire.
inline constexpr uint8_t kTransferWidth8 = 1;
inline constexpr uint8_t kTransferWidth16 = 2;
// First FPGA revision (kFpgaWordHigh) with the IMX178 timing registers kFpgaTiming0..3.
inline constexpr uint8_t kFpgaRevisionWithTiming = 0x13;

// Byte count of the header that precedes every frame on endpoint 0x81.
inline constexpr uint32_t kFrameHeaderBytes = 64;
// Offsets of the fields the library interprets inside the frame header (little-endian).
inline constexpr uint32_t kFrameHeaderPayloadBytesOffset = 16;
inline constexpr uint32_t kFrameHeaderTagOffset = 32;

// Frame reads.
inline constexpr uint32_t kHeaderReadTimeoutMs = 100;
inline constexpr int kHeaderReadAttempts = 30;
inline constexpr uint32_t kHeaderRetryPauseMs = 10;
inline constexpr uint32_t kPayloadChunkBytes = 0x80000;  // 512 KiB
inline constexpr uint32_t kFixedReadTimeoutMs = 5000;
inline constexpr uint32_t kBulkBufferedTimeoutMs = 3000;
inline constexpr uint32_t kAbortSettleMs = 50;

}  // namespace orvane::transport
