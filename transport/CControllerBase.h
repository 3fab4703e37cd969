// The camera controller interface held by the device SDK object and the sensor models.
//
// The virtual operations are declared in the camera family's slot order (destructor first),
// so the table reads like the family's controller interface; keep that order when editing.
// Every operation returns 1 for success and 0 for failure (or for a feature a model lacks);
// no exception leaves a controller.
//
// Thread rules: the register accessors may be called from any thread (the FPGA pair is
// serialised by the implementation's register lock); frame reads are made by the capture
// thread only; AbortStream may be called from any thread to end a pending frame read.
#pragma once

#include <cstdint>

#include "transport/Fx3Protocol.h"

namespace orvane::transport {

// One received frame. The caller sets payload, capacity and wholeFrameBytes; the frame reads
// fill header and frameTag.
struct FrameRecord {
    uint8_t header[kFrameHeaderBytes] = {};  // exactly as received
    uint32_t frameTag = 0;                   // copy of header bytes 32-35
    uint8_t* payload = nullptr;              // caller's payload buffer (borrowed)
    uint32_t capacity = 0;                   // bytes available at payload
    uint32_t wholeFrameBytes = 0;            // byte count of a whole-frame read (endpoint 0x83)

    // Payload byte count announced by the header (bytes 16-19).
    uint32_t payloadBytes() const {
        return static_cast<uint32_t>(header[kFrameHeaderPayloadBytesOffset]) |
               static_cast<uint32_t>(header[kFrameHeaderPayloadBytesOffset + 1]) << 8 |
               static_cast<uint32_t>(header[kFrameHeaderPayloadBytesOffset + 2]) << 16 |
               static_cast<uint32_t>(header[kFrameHeaderPayloadBytesOffset + 3]) << 24;
    }
};

class CControllerBase {
  public:
    CControllerBase() = default;
    CControllerBase(const CControllerBase&) = delete;
    CControllerBase& operator=(const CControllerBase&) = delete;

    // 1
    virtual ~CControllerBase() = default;
    // 2: unused slot kept for layout; returns 0.
    virtual int SpareOperation() { return 0; }
    // 3: close the stream handle and free the staging buffer.
    virtual int Release() { return 0; }
    // 4: close the stream handle; select the table row `index` if its device is present.
    virtual int SelectDevice(int32_t index) { return (void)index, 0; }
    // 5: FPGA registers 0x11:0x10 as one word.
    virtual int ReadFpgaWord(uint16_t* value) { return (void)value, 0; }
    // 6: request 0x30, count 1..64 (more fails without a request).
    virtual int BusWrite(uint8_t address, const uint8_t* data, uint32_t count) {
        return (void)address, (void)data, (void)count, 0;
    }
    // 7: request 0x31 to address | 1, count 1..64; data copied only when count bytes came back.
    virtual int BusRead(uint8_t address, uint8_t* data, uint32_t count) {
        return (void)address, (void)data, (void)count, 0;
    }
    // 8: request 0xD0.
    virtual int WriteRegister32(uint16_t address, uint32_t value) {
        return (void)address, (void)value, 0;
    }
    // 9: request 0xD1; a short reply yields 0 and success.
    virtual int ReadRegister16(uint16_t address, uint16_t* value) {
        return (void)address, (void)value, 0;
    }
    // 10: request 0x3E.
    virtual int WriteWordPair(uint16_t first, uint16_t second) {
        return (void)first, (void)second, 0;
    }
    // 11: request 0x3F.
    virtual int ReadWord(uint16_t argument, uint16_t* value) {
        return (void)argument, (void)value, 0;
    }
    // 12: FPGA port write (register, 0, value) to bus address 0x40, under the register lock.
    virtual int WriteFpgaRegister(uint8_t reg, uint8_t value) { return (void)reg, (void)value, 0; }
    // 13: FPGA port read (write register to 0x40, read 2 bytes from 0x41, take the second).
    virtual int ReadFpgaRegister(uint8_t reg, uint8_t* value) { return (void)reg, (void)value, 0; }
    // 14: auxiliary device write (register, value) to bus address 0x5A.
    virtual int WriteAuxRegister(uint8_t reg, uint8_t value) { return (void)reg, (void)value, 0; }
    // 15: auxiliary device read (write register to 0x5A, read 1 byte from 0x5B).
    virtual int ReadAuxRegister(uint8_t reg, uint8_t* value) { return (void)reg, (void)value, 0; }
    // 16: abort the pending transfers of pipe 0x81; always 1.
    virtual int AbortStream() { return 0; }
};

}  // namespace orvane::transport
