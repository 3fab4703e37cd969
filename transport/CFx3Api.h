// FX3 device access: the table of attached cameras shared by every process, device paths,
// and the driver requests (control transfers, bulk reads, pipe and port operations).
//
// The requests go to the driver port (platform/usb/DriverPort.h); which backend answers is
// chosen there (see transport/DriverBackends.h for the ones this library registers).
//
// Threads: control, reset and speed requests open their own handle and may be issued from any
// thread. Bulk reads and aborts use the caller's persistent handle (owned by CKelCy3Cam) and
// are issued by the capture thread and by the operations that stop it. The device table of the
// process is guarded by a process-wide lock; the shared segment by its own lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/Sync.h"
#include "platform/usb/DriverPort.h"
#include "transport/Fx3Protocol.h"

namespace orvane::platform {
class SharedMemory;
}

namespace orvane::transport {

using platform::usb::DeviceHandle;
using platform::usb::InterfaceGuid;

inline constexpr int kDeviceTableRows = 32;
inline constexpr int kDevicePathBytes = 260;
inline constexpr const char* kDeviceTableName = "U3Q7-MemMap";

#pragma pack(push, 1)
struct DeviceTableEntry {
    uint16_t vendorId;
    uint16_t productId;  // 0 marks an empty row
    int32_t instance;    // rows of the same vendor and product filed before this one; -1 if empty
    char path[kDevicePathBytes];  // NUL-terminated
};

// Layout of the shared segment.
struct SharedDeviceTable {
    uint32_t userCount;
    DeviceTableEntry entries[kDeviceTableRows];
    uint32_t entryCount;
};
#pragma pack(pop)
static_assert(sizeof(DeviceTableEntry) == 268);
static_assert(sizeof(SharedDeviceTable) == 8584);

class CFx3Api {
  public:
    explicit CFx3Api(const InterfaceGuid& guid = platform::usb::kCameraInterfaceGuid);
    virtual ~CFx3Api();
    CFx3Api(const CFx3Api&) = delete;
    CFx3Api& operator=(const CFx3Api&) = delete;

    // Refreshes the device table from the devices present; returns the entry count.
    int Enumerate();
    // Opens the row `index`; null on failure.
    std::unique_ptr<DeviceHandle> OpenByIndex(int index, bool overlapped) const;
    // Row below the entry count whose path opens.
    bool DevicePresent(int index) const;
    // Copy of row `index` (empty row for an index outside the table).
    DeviceTableEntry GetEntry(int index) const;
    int GetEntryCount() const;

    // Control transfer 0x220020 on `handle`; *dataBytes gets the data count the device returned.
    bool ControlTransfer(DeviceHandle* handle, ControlBlock* block, uint32_t* dataBytes) const;
    // Bulk read through the staging buffer (up to 64 MiB).
    bool BufferedBulkReadRaw(DeviceHandle* handle, uint8_t* staging, uint8_t endpoint,
                             uint8_t* buffer, uint32_t length, uint32_t* count);
    // Direct bulk read into `buffer` with a completion time-out.
    bool DirectBulkReadRaw(DeviceHandle* handle, bool stagingReady, uint8_t endpoint,
                           uint8_t* buffer, uint32_t length, uint32_t timeoutMs, uint32_t* count);
    // Aborts the pending transfers of pipe 0x81 on `handle`; always true.
    bool AbortPipe(DeviceHandle* handle);
    bool ResetPipe(uint8_t endpoint);
    bool ResetPort();
    bool GetSpeed(uint32_t* speedCode);

    int GetSelectedIndex() const { return selectedIndex_.load(); }
    const InterfaceGuid& GetGuid() const { return guid_; }
    // Windows-style error of the most recent direct bulk submission (0: completed at once).
    uint32_t GetLastSubmissionError() const { return lastSubmissionError_.load(); }

  protected:
    std::atomic<int> selectedIndex_{0};  // written by SelectDevice on the session thread

  private:
    bool SimpleRequest(uint32_t code, void* in, uint32_t inLength, void* out, uint32_t outLength,
                       uint32_t* returned);
    // Gives back, when it goes, the lock TakeBulkCompletion handed to it: the kept completion
    // stays ours until the request has finished with it.
    class BulkIoHold {
      public:
        BulkIoHold() = default;
        BulkIoHold(const BulkIoHold&) = delete;
        BulkIoHold& operator=(const BulkIoHold&) = delete;
        // The lock was taken in another function, which the analysis does not follow.
        ~BulkIoHold() ORVANE_NO_THREAD_SAFETY_ANALYSIS {
            if (lock_ != nullptr) lock_->unlock();
        }
        // Takes over `lock`, held by the caller; the caller no longer holds it itself. (To the
        // analysis the caller gives the lock up here; the destructor really does.)
        void adopt(platform::Mutex& lock) ORVANE_RELEASE(lock) ORVANE_NO_THREAD_SAFETY_ANALYSIS {
            lock_ = &lock;
        }

      private:
        platform::Mutex* lock_ = nullptr;
    };

    // A completion for the next bulk request: the kept one when no other request or backend
    // is using it (so streaming allocates nothing per request), otherwise a new one. When it
    // is the kept one, `hold` keeps bulkIoLock_ until the request has finished.
    std::shared_ptr<platform::usb::IoCompletion> TakeBulkCompletion(BulkIoHold* hold)
        ORVANE_EXCLUDES(bulkIoLock_);

    InterfaceGuid guid_;
    std::shared_ptr<platform::usb::DriverBackend> backend_;
    std::unique_ptr<platform::SharedMemory> shared_;  // null when no segment could be had
    std::atomic<uint32_t> lastSubmissionError_{0};
    platform::Mutex bulkIoLock_;
    std::shared_ptr<platform::usb::IoCompletion> bulkIo_ ORVANE_GUARDED_BY(bulkIoLock_);
};

// Parses the vendor and product ID from the fixed character positions of a USB device path.
bool ParseDevicePath(const char* path, uint16_t* vendorId, uint16_t* productId);

}  // namespace orvane::transport
