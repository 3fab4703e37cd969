// The camera controller: the camera's vendor protocol (FPGA port, sensor bus, auxiliary
// device, EEPROM, information blocks, stream control) and the frame reads, built on the driver
// requests of CFx3Api.
//
// Threads: register and bus operations may be called from any thread; the FPGA register pair
// is serialised by the register lock. The stream handle and the frame reads belong to the
// capture thread while it runs; AbortStream may be called from any thread to end a pending
// read. SelectDevice, PrepareStreaming and Release are for the owner's thread while no capture
// runs.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Sync.h"
#include "transport/CControllerBase.h"
#include "transport/CFx3Api.h"

namespace orvane::transport {

class CKelCy3Cam : public CFx3Api, public CControllerBase {
  public:
    explicit CKelCy3Cam(const InterfaceGuid& guid = platform::usb::kCameraInterfaceGuid);
    ~CKelCy3Cam() override;

    // Virtual operations of the first base, in slot order.
    virtual int OpenStreamHandle();
    virtual int ReadFrameHeader(FrameRecord* record);
    virtual int ReadFramePayload(FrameRecord* record, uint32_t timeoutMs);
    virtual int ReadWholeFrame(FrameRecord* record);
    virtual int CloseStreamHandle();
    virtual int WriteEepromByte(uint16_t address, uint8_t value);
    virtual int ReadEepromByte(uint16_t address, uint8_t* value);
    virtual int SendEndpointCommand();
    virtual int WriteStreamMode(uint8_t mode);
    virtual int ReadStreamMode(uint8_t* mode);
    virtual int BufferedBulkRead(DeviceHandle* handle, uint8_t* buffer, uint32_t length,
                                 uint8_t endpoint, uint32_t* count);
    virtual int DirectBulkReadFixed(DeviceHandle* handle, uint8_t* buffer, uint32_t length,
                                    uint8_t endpoint, uint32_t* count);
    virtual int DirectBulkRead(DeviceHandle* handle, uint8_t* buffer, uint32_t length,
                               uint8_t endpoint, uint32_t* count, uint32_t timeoutMs);

    // CControllerBase, in slot order.
    int SpareOperation() override { return 0; }
    int Release() override;
    int SelectDevice(int32_t index) override;
    int ReadFpgaWord(uint16_t* value) override;
    int BusWrite(uint8_t address, const uint8_t* data, uint32_t count) override;
    int BusRead(uint8_t address, uint8_t* data, uint32_t count) override;
    int WriteRegister32(uint16_t address, uint32_t value) override;
    int ReadRegister16(uint16_t address, uint16_t* value) override;
    int WriteWordPair(uint16_t first, uint16_t second) override;
    int ReadWord(uint16_t argument, uint16_t* value) override;
    int WriteFpgaRegister(uint8_t reg, uint8_t value) override;
    int ReadFpgaRegister(uint8_t reg, uint8_t* value) override;
    int WriteAuxRegister(uint8_t reg, uint8_t value) override;
    int ReadAuxRegister(uint8_t reg, uint8_t* value) override;
    int AbortStream() override;

    // Non-virtual operations.
    // Allocates the staging buffer if missing, then resets the parent port.
    int PrepareStreaming();
    int SendStreamReset();
    int ReadInfoBlock(uint8_t* block64);
    int ReadInfoBlock2(uint8_t* block64);
    int ReadReadyStatus(uint8_t* status);
    // Name of table row `index` ("Orvane-A06-USB3-Q7_00" ...); `text` must hold 64 bytes.
    int GetDeviceName(int index, char* text);

    // The name format for a product ID, or null when the family has no such model.
    static const char* DeviceNameFormat(uint16_t productId);
    // Product IDs of the family's device-name table.
    static std::vector<uint16_t> FamilyProductIds();

    bool IsStreamHandleOpen() const;

  private:
    int ReadControlArea(uint8_t request, uint8_t* out, size_t n);
    // One vendor request on its own short-lived handle (or on `handle` when given).
    // *dataBytes gets the data count that came back; `data` (64 bytes) goes out and comes back.
    bool VendorRequest(uint8_t type, uint8_t request, uint16_t value, uint16_t index, uint8_t* data,
                       uint32_t* dataBytes, DeviceHandle* handle = nullptr);
    bool SendFrameRequest();
    // The stream handle for one frame read, opened here when none is (then *openedHere is set
    // and the caller closes it again); null when it cannot be opened.
    std::shared_ptr<DeviceHandle> StreamForRead(bool* openedHere);

    // The register lock: keeps an FPGA write, and the write-read pair of a register read, whole.
    platform::Mutex registerLock_;
    // Guards the two pointers below (not what they point to).
    mutable platform::Mutex streamMutex_;
    // The persistent overlapped handle for frame reads.
    std::shared_ptr<DeviceHandle> stream_ ORVANE_GUARDED_BY(streamMutex_);
    std::unique_ptr<uint8_t[]> staging_ ORVANE_GUARDED_BY(streamMutex_);  // null until prepared
};

}  // namespace orvane::transport
