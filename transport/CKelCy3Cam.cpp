#include "transport/CKelCy3Cam.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "platform/Time.h"

namespace orvane::transport {

namespace {

using platform::sleepMs;

struct NameRow {
    uint16_t productId;
    const char* format;
};

constexpr NameRow kDeviceNames[] = {
    {0x3020, "Orvane-A01-USB3-Q7_%02d"}, {0x3030, "Orvane-A03-USB3-Q7_%02d"},
    {0x3040, "Orvane-A02-USB3-Q7_%02d"}, {0x3042, "Orvane-A05-USB3-Q7_%02d"},
    {0x3050, "Orvane-A04-USB3-Q7_%02d"}, {0x3090, "Orvane-A08-USB3-Q7_%02d"},
    {0x30B0, "Orvane-A10-USB3-Q7_%02d"}, {0x30C0, "Orvane-A09-USB3-Q7_%02d"},
    {0x30F0, "Orvane-A06-USB3-Q7_%02d"}, {0x3100, "Orvane-A07-USB3-Q7_%02d"},
    {0x3110, "Orvane-A12-USB3-Q7_%02d"}, {0x3120, "Orvane-A11-USB3-Q7_%02d"},
    {0x3130, "Pirlex-A14_%02d"},         {0x3140, "Orvane-A13-USB3-Q7_%02d"},
};

}  // namespace

CKelCy3Cam::CKelCy3Cam(const InterfaceGuid& guid) : CFx3Api(guid) {}

CKelCy3Cam::~CKelCy3Cam() {
    Release();
}

const char* CKelCy3Cam::DeviceNameFormat(uint16_t productId) {
    for (const NameRow& row : kDeviceNames)
        if (row.productId == productId) return row.format;
    return nullptr;
}

std::vector<uint16_t> CKelCy3Cam::FamilyProductIds() {
    std::vector<uint16_t> ids;
    for (const NameRow& row : kDeviceNames) ids.push_back(row.productId);
    return ids;
}

bool CKelCy3Cam::IsStreamHandleOpen() const {
    platform::LockGuard lock(streamMutex_);
    return stream_ != nullptr;
}

// ---- stream handle and frame reads ----------------------------------------------------------

int CKelCy3Cam::OpenStreamHandle() {
    platform::LockGuard lock(streamMutex_);
    if (!stream_) stream_ = OpenByIndex(selectedIndex_.load(), true);
    return stream_ != nullptr ? 1 : 0;
}

int CKelCy3Cam::CloseStreamHandle() {
    std::shared_ptr<DeviceHandle> old;
    {
        platform::LockGuard lock(streamMutex_);
        old.swap(stream_);
    }
    return 1;  // `old` closes here, or when a concurrent abort lets go of it
}

std::shared_ptr<DeviceHandle> CKelCy3Cam::StreamForRead(bool* openedHere) {
    *openedHere = !IsStreamHandleOpen();
    if (*openedHere && OpenStreamHandle() == 0) {
        *openedHere = false;
        return nullptr;
    }
    platform::LockGuard lock(streamMutex_);
    return stream_;
}

int CKelCy3Cam::ReadFrameHeader(FrameRecord* record) {
    if (record == nullptr) return 0;
    bool openedHere = false;
    const std::shared_ptr<DeviceHandle> handle = StreamForRead(&openedHere);
    uint8_t area[kFrameHeaderBytes] = {};
    bool got = false;
    if (handle && SendFrameRequest()) {
        for (int attempt = 0; attempt < kHeaderReadAttempts; ++attempt) {
            uint32_t count = 0;
            // A short header carries no payload count to trust: treat it as no header.
            if (DirectBulkRead(handle.get(), area, kFrameHeaderBytes, kEndpointFrames, &count,
                               kHeaderReadTimeoutMs) != 0 &&
                count == kFrameHeaderBytes) {
                got = true;
                break;
            }
            // Restart the FPGA's frame stream and ask again.
            WriteFpgaRegister(kFpgaStreamReset, 1);
            WriteFpgaRegister(kFpgaStreamReset, 0);
            sleepMs(kHeaderRetryPauseMs);
            if (!SendFrameRequest()) break;
        }
    }
    if (got) {
        std::memcpy(record->header, area, kFrameHeaderBytes);
        std::memcpy(&record->frameTag, area + kFrameHeaderTagOffset, 4);
        return 1;
    }
    if (openedHere) CloseStreamHandle();
    return 0;
}

int CKelCy3Cam::ReadFramePayload(FrameRecord* record, uint32_t timeoutMs) {
    if (record == nullptr) return 0;
    bool openedHere = false;
    const std::shared_ptr<DeviceHandle> handle = StreamForRead(&openedHere);
    const uint32_t total = record->payloadBytes();
    int result = 1;
    if (!handle || record->capacity < total || (total != 0 && record->payload == nullptr)) {
        result = 0;
    } else {
        uint32_t done = 0;
        while (done < total) {
            const uint32_t chunk =
                total - done < kPayloadChunkBytes ? total - done : kPayloadChunkBytes;
            uint32_t count = 0;
            // A short chunk would leave the rest of the frame stale: it fails the frame.
            if (DirectBulkRead(handle.get(), record->payload + done, chunk, kEndpointFrames, &count,
                               timeoutMs) == 0 ||
                count != chunk) {
                result = 0;
                break;
            }
            done += chunk;
        }
    }
    if (openedHere) CloseStreamHandle();
    return result;
}

int CKelCy3Cam::ReadWholeFrame(FrameRecord* record) {
    if (record == nullptr) return 0;
    bool openedHere = false;
    const std::shared_ptr<DeviceHandle> handle = StreamForRead(&openedHere);
    const uint32_t want = record->wholeFrameBytes;
    uint32_t count = 0;
    const bool ok = handle && record->payload != nullptr && record->capacity >= want &&
                    DirectBulkReadFixed(handle.get(), record->payload, want, kEndpointWholeFrames,
                                        &count) != 0 &&
                    count == want;
    if (!ok && openedHere) CloseStreamHandle();
    return ok ? 1 : 0;
}

int CKelCy3Cam::BufferedBulkRead(DeviceHandle* handle, uint8_t* buffer, uint32_t length,
                                 uint8_t endpoint, uint32_t* count) {
    uint8_t* staging;
    {
        platform::LockGuard lock(streamMutex_);
        staging = staging_.get();
    }
    return BufferedBulkReadRaw(handle, staging, endpoint, buffer, length, count) ? 1 : 0;
}

int CKelCy3Cam::DirectBulkReadFixed(DeviceHandle* handle, uint8_t* buffer, uint32_t length,
                                    uint8_t endpoint, uint32_t* count) {
    if (handle == nullptr) return 0;
    VendorRequest(kTypeVendorOutEndpoint, kReqFrameRequest, 0, 0, nullptr, nullptr, handle);
    return DirectBulkRead(handle, buffer, length, endpoint, count, kFixedReadTimeoutMs);
}

int CKelCy3Cam::DirectBulkRead(DeviceHandle* handle, uint8_t* buffer, uint32_t length,
                               uint8_t endpoint, uint32_t* count, uint32_t timeoutMs) {
    bool staged;
    {
        platform::LockGuard lock(streamMutex_);
        staged = staging_ != nullptr;
    }
    return DirectBulkReadRaw(handle, staged, endpoint, buffer, length, timeoutMs, count) ? 1 : 0;
}

int CKelCy3Cam::AbortStream() {
    std::shared_ptr<DeviceHandle> handle;
    {
        platform::LockGuard lock(streamMutex_);
        handle = stream_;
    }
    AbortPipe(handle.get());
    return 1;
}

// ---- device selection and lifetime ----------------------------------------------------------

int CKelCy3Cam::Release() {
    CloseStreamHandle();
    platform::LockGuard lock(streamMutex_);
    staging_.reset();
    return 1;
}

int CKelCy3Cam::SelectDevice(int32_t index) {
    CloseStreamHandle();
    if (!DevicePresent(index)) return 0;
    selectedIndex_.store(index);
    return 1;
}

int CKelCy3Cam::PrepareStreaming() {
    {
        platform::LockGuard lock(streamMutex_);
        if (!staging_) staging_.reset(new (std::nothrow) uint8_t[kStagingBytes]);
        if (!staging_) return 0;
    }
    return ResetPort() ? 1 : 0;
}

// ---- vendor requests ------------------------------------------------------------------------

bool CKelCy3Cam::VendorRequest(uint8_t type, uint8_t request, uint16_t value, uint16_t index,
                               uint8_t* data, uint32_t* dataBytes, DeviceHandle* handle) {
    if (dataBytes != nullptr) *dataBytes = 0;
    ControlBlock block{};
    block.header.requestType = type;
    block.header.request = request;
    block.header.value = value;
    block.header.index = index;
    block.header.length = sizeof(ControlBlock);
    block.header.timeoutMs = kControlTimeoutMs;
    block.header.endpoint = kEndpointControl;
    block.header.dataOffset = kTransferHeaderBytes;
    block.header.dataLength = kControlDataBytes;
    if (data != nullptr) std::memcpy(block.data, data, kControlDataBytes);
    std::unique_ptr<DeviceHandle> own;
    if (handle == nullptr) {
        own = OpenByIndex(selectedIndex_.load(), false);
        handle = own.get();
        if (handle == nullptr) return false;
    }
    uint32_t got = 0;
    const bool ok = ControlTransfer(handle, &block, &got);
    if (data != nullptr) std::memcpy(data, block.data, kControlDataBytes);
    if (dataBytes != nullptr) *dataBytes = got;
    return ok;
}

bool CKelCy3Cam::SendFrameRequest() {
    std::shared_ptr<DeviceHandle> handle;
    {
        platform::LockGuard lock(streamMutex_);
        handle = stream_;
    }
    if (!handle) return false;
    return VendorRequest(kTypeVendorOutEndpoint, kReqFrameRequest, 0, 0, nullptr, nullptr,
                         handle.get());
}

int CKelCy3Cam::BusWrite(uint8_t address, const uint8_t* data, uint32_t count) {
    if (count > kMaxBusBytes || (count != 0 && data == nullptr)) return 0;
    uint8_t area[kControlDataBytes] = {};
    if (count != 0) std::memcpy(area, data, count);
    return VendorRequest(kTypeVendorOut, kReqBusWrite, static_cast<uint16_t>(count), address, area,
                         nullptr)
               ? 1
               : 0;
}

int CKelCy3Cam::BusRead(uint8_t address, uint8_t* data, uint32_t count) {
    if (count > kMaxBusBytes || (count != 0 && data == nullptr)) return 0;
    uint8_t area[kControlDataBytes] = {};
    uint32_t got = 0;
    if (!VendorRequest(kTypeVendorIn, kReqBusRead, static_cast<uint16_t>(count), address | 1, area,
                       &got))
        return 0;
    if (got >= count && count != 0) std::memcpy(data, area, count);
    return 1;
}

int CKelCy3Cam::WriteRegister32(uint16_t address, uint32_t value) {
    uint8_t area[kControlDataBytes] = {};
    for (int i = 0; i < 4; ++i) area[i] = static_cast<uint8_t>(value >> (8 * i));
    return VendorRequest(kTypeVendorOut, kReqWriteRegister32,
                         static_cast<uint16_t>((address >> 15) & 1),
                         static_cast<uint16_t>(address & 0x7FFF), area, nullptr)
               ? 1
               : 0;
}

int CKelCy3Cam::ReadRegister16(uint16_t address, uint16_t* value) {
    if (value != nullptr) *value = 0;
    uint8_t area[kControlDataBytes] = {};
    uint32_t got = 0;
    if (!VendorRequest(kTypeVendorIn, kReqReadRegister16, 0, address, area, &got)) return 0;
    if (value != nullptr && got >= kControlDataBytes)
        *value = static_cast<uint16_t>(area[0] | area[1] << 8);
    return 1;
}

int CKelCy3Cam::WriteWordPair(uint16_t first, uint16_t second) {
    uint8_t area[kControlDataBytes] = {};
    area[0] = static_cast<uint8_t>(first >> 8);
    area[1] = static_cast<uint8_t>(first);
    area[2] = static_cast<uint8_t>(second >> 8);
    area[3] = static_cast<uint8_t>(second);
    return VendorRequest(kTypeVendorOut, kReqWriteWordPair, 0, 0, area, nullptr) ? 1 : 0;
}

int CKelCy3Cam::ReadWord(uint16_t argument, uint16_t* value) {
    uint8_t area[kControlDataBytes] = {};
    uint32_t got = 0;
    if (!VendorRequest(kTypeVendorIn, kReqReadWord, argument, 0, area, &got)) return 0;
    if (value != nullptr && got > 0) *value = static_cast<uint16_t>(area[0] | area[1] << 8);
    return 1;
}

int CKelCy3Cam::WriteStreamMode(uint8_t mode) {
    uint8_t area[kControlDataBytes] = {};
    area[0] = mode;
    return VendorRequest(kTypeVendorOut, kReqWriteStreamMode, 0, 0, area, nullptr) ? 1 : 0;
}

int CKelCy3Cam::ReadStreamMode(uint8_t* mode) {
    uint8_t area[kControlDataBytes] = {};
    uint32_t got = 0;
    if (!VendorRequest(kTypeVendorIn, kReqReadStreamMode, 0, 0, area, &got)) return 0;
    if (mode != nullptr && got > 0) *mode = area[0];
    return 1;
}

int CKelCy3Cam::SendStreamReset() {
    return VendorRequest(kTypeVendorOut, kReqStreamReset, 0, 0, nullptr, nullptr) ? 1 : 0;
}

int CKelCy3Cam::SendEndpointCommand() {
    return VendorRequest(kTypeVendorOutEndpoint, kReqEndpointCommand, 0, 0, nullptr, nullptr) ? 1
                                                                                              : 0;
}

// One 64-byte vendor read into `out` (n bytes of it; may be null). 0 when the request
// failed; a short reply leaves `out` untouched.
int CKelCy3Cam::ReadControlArea(uint8_t request, uint8_t* out, size_t n) {
    uint8_t area[kControlDataBytes] = {};
    uint32_t got = 0;
    if (!VendorRequest(kTypeVendorIn, request, 0, 0, area, &got)) return 0;
    if (out != nullptr && got >= kControlDataBytes) std::memcpy(out, area, n);
    return 1;
}

int CKelCy3Cam::ReadReadyStatus(uint8_t* status) {
    return ReadControlArea(kReqReadyStatus, status, 1);
}

int CKelCy3Cam::ReadInfoBlock(uint8_t* block64) {
    return ReadControlArea(kReqInfoBlock, block64, kControlDataBytes);
}

int CKelCy3Cam::ReadInfoBlock2(uint8_t* block64) {
    return ReadControlArea(kReqInfoBlock2, block64, kControlDataBytes);
}

// ---- bus devices ----------------------------------------------------------------------------

int CKelCy3Cam::WriteFpgaRegister(uint8_t reg, uint8_t value) {
    platform::LockGuard lock(registerLock_);
    const uint8_t bytes[3] = {reg, 0, value};
    return BusWrite(kBusFpga, bytes, 3);
}

int CKelCy3Cam::ReadFpgaRegister(uint8_t reg, uint8_t* value) {
    platform::LockGuard lock(registerLock_);
    if (BusWrite(kBusFpga, &reg, 1) == 0) return 0;
    uint8_t area[kControlDataBytes] = {};
    uint32_t got = 0;
    if (!VendorRequest(kTypeVendorIn, kReqBusRead, 2, kBusFpga | 1, area, &got)) return 0;
    if (value != nullptr && got >= 2) *value = area[1];
    return 1;
}

int CKelCy3Cam::ReadFpgaWord(uint16_t* value) {
    uint8_t low = 0;
    uint8_t high = 0;
    ReadFpgaRegister(kFpgaWordLow, &low);
    ReadFpgaRegister(kFpgaWordHigh, &high);
    if (value != nullptr) *value = static_cast<uint16_t>(high * 256 + low);
    return 1;
}

int CKelCy3Cam::WriteAuxRegister(uint8_t reg, uint8_t value) {
    const uint8_t bytes[2] = {reg, value};
    return BusWrite(kBusAux, bytes, 2);
}

int CKelCy3Cam::ReadAuxRegister(uint8_t reg, uint8_t* value) {
    if (BusWrite(kBusAux, &reg, 1) == 0) return 0;
    return BusRead(kBusAux | 1, value, 1);
}

int CKelCy3Cam::WriteEepromByte(uint16_t address, uint8_t value) {
    const uint8_t bytes[3] = {static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address),
                              value};
    const int ok = BusWrite(kBusEeprom, bytes, 3);
    sleepMs(kEepromWriteWaitMs);
    return ok;
}

int CKelCy3Cam::ReadEepromByte(uint16_t address, uint8_t* value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
    if (BusWrite(kBusEeprom, bytes, 2) == 0) return 0;
    sleepMs(kEepromReadWaitMs);
    return BusRead(kBusEeprom | 1, value, 1);
}

// ---- naming ---------------------------------------------------------------------------------

int CKelCy3Cam::GetDeviceName(int index, char* text) {
    if (text == nullptr || index < 0 || index >= kDeviceTableRows) return 0;
    if (!DevicePresent(index)) return 0;
    const DeviceTableEntry row = GetEntry(index);
    const char* format = DeviceNameFormat(row.productId);
    if (format == nullptr) return 0;
    std::snprintf(text, 64, format, static_cast<int>(row.instance));
    return 1;
}

}  // namespace orvane::transport
