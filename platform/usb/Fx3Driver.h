// The FX3 driver's request format: I/O control codes, the 38-byte transfer header that starts
// every transfer request and the 102-byte control block.
//
// This is the contract of the driver port: the transport builds these bytes and every backend
// (libusb, the virtual camera, test doubles) decodes them, so they are defined once, here, and
// checked byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvane::platform::usb {

// I/O control codes (device type 0x22, any access).
inline constexpr uint32_t kIoctlControlTransfer = 0x220020;  // buffered, 102-byte block
inline constexpr uint32_t kIoctlBulkBuffered = 0x220024;     // buffered, header + data
inline constexpr uint32_t kIoctlResetPipe = 0x22002C;        // 1 byte: endpoint
inline constexpr uint32_t kIoctlResetParentPort = 0x220030;  // no buffers
inline constexpr uint32_t kIoctlAbortPipe = 0x220044;        // 1 byte: endpoint
inline constexpr uint32_t kIoctlBulkDirect = 0x22004B;       // header in, caller's buffer out
inline constexpr uint32_t kIoctlGetSpeed = 0x22004C;         // 4 bytes in, 4 bytes out

// Endpoints.
inline constexpr uint8_t kEndpointControl = 0x00;
inline constexpr uint8_t kEndpointFrames = 0x81;       // frame header and payload
inline constexpr uint8_t kEndpointWholeFrames = 0x83;  // whole frames (one model)

// Speed code of a SuperSpeed link.
inline constexpr uint32_t kSpeedSuper = 4;

// Driver status words a failed transfer leaves in its header (NTSTATUS unsuccessful, then the
// USBD status: stalled endpoint or cancelled request).
inline constexpr uint32_t kStatusUnsuccessful = 0xC0000001u;
inline constexpr uint32_t kUsbdStatusStall = 0xC0000004u;
inline constexpr uint32_t kUsbdStatusCanceled = 0xC0010000u;

#pragma pack(push, 1)
// The 38-byte header at the start of every transfer request (little-endian).
struct TransferHeader {
    uint8_t requestType;       // 0: bmRequestType of a control transfer
    uint8_t request;           // 1: bRequest
    uint16_t value;            // 2: wValue
    uint16_t index;            // 4: wIndex
    uint16_t length;           // 6: length field (102 for control requests)
    uint32_t timeoutMs;        // 8
    uint8_t reserved;          // 12
    uint8_t endpoint;          // 13: 0 for control, 0x81/0x83 for bulk
    uint32_t driverStatus1;    // 14: written back by the driver
    uint32_t driverStatus2;    // 18: written back by the driver
    uint32_t isoPacketOffset;  // 22
    uint32_t isoPacketLength;  // 26
    uint32_t dataOffset;       // 30: offset of the data area from the start of the header
    uint32_t dataLength;       // 34: bytes of the data area
};
#pragma pack(pop)
static_assert(sizeof(TransferHeader) == 38);
static_assert(offsetof(TransferHeader, value) == 2);
static_assert(offsetof(TransferHeader, length) == 6);
static_assert(offsetof(TransferHeader, timeoutMs) == 8);
static_assert(offsetof(TransferHeader, endpoint) == 13);
static_assert(offsetof(TransferHeader, driverStatus1) == 14);
static_assert(offsetof(TransferHeader, driverStatus2) == 18);
static_assert(offsetof(TransferHeader, dataOffset) == 30);
static_assert(offsetof(TransferHeader, dataLength) == 34);

inline constexpr uint32_t kTransferHeaderBytes = sizeof(TransferHeader);
inline constexpr uint32_t kControlDataBytes = 64;
inline constexpr uint32_t kControlTimeoutMs = 3000;

#pragma pack(push, 1)
// A control request: header plus the 64-byte data area.
struct ControlBlock {
    TransferHeader header;
    uint8_t data[kControlDataBytes];
};
#pragma pack(pop)
static_assert(sizeof(ControlBlock) == 102);

}  // namespace orvane::platform::usb
