#include "transport/CFx3Api.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Log.h"
#include "platform/SharedMemory.h"
#include "platform/Sync.h"
#include "transport/DriverBackends.h"

namespace orvane::transport {

using platform::SharedMemory;
using platform::usb::IoCompletion;
using platform::usb::kErrorIoPending;
using platform::usb::kErrorSuccess;
using platform::usb::kInfiniteWait;

namespace {

// The process's copy of the device table, shared by every CFx3Api of the process.
struct ProcessTable {
    platform::Mutex mutex;
    SharedDeviceTable table ORVANE_GUARDED_BY(mutex){};
    // Objects of this process, for the no-segment case.
    uint32_t localUsers ORVANE_GUARDED_BY(mutex) = 0;
};

ProcessTable& processTable() {
    static ProcessTable t;
    return t;
}

void clearTable(SharedDeviceTable& t) {
    for (DeviceTableEntry& e : t.entries) {
        e.vendorId = 0;
        e.productId = 0;
        e.instance = -1;
        std::memset(e.path, 0, sizeof e.path);
    }
    t.entryCount = 0;
}

SharedDeviceTable* viewOf(const SharedMemory* shm) {
    return shm != nullptr ? reinterpret_cast<SharedDeviceTable*>(shm->data()) : nullptr;
}

bool parseHex4(const char* text, uint16_t* out) {
    uint16_t v = 0;
    for (int i = 0; i < 4; ++i) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        v = static_cast<uint16_t>(v * 16 + digit);
    }
    *out = v;
    return true;
}

struct Candidate {
    std::string path;
    uint16_t vendorId;
    uint16_t productId;
};

}  // namespace

bool ParseDevicePath(const char* path, uint16_t* vendorId, uint16_t* productId) {
    // "\\?\usb#vid_VVVV&pid_PPPP#...": vendor at characters 12-15, product at 21-24.
    if (path == nullptr || std::strlen(path) < 25) return false;
    return parseHex4(path + 12, vendorId) && parseHex4(path + 21, productId);
}

CFx3Api::CFx3Api(const InterfaceGuid& guid) : guid_(guid) {
    registerDriverBackends();
    backend_ = platform::usb::activeBackend();
    ProcessTable& pt = processTable();
    shared_ = SharedMemory::attach(kDeviceTableName, sizeof(SharedDeviceTable),
                                   [&pt](uint8_t* bytes, bool firstUser, uint32_t liveUsers) {
                                       auto* view = reinterpret_cast<SharedDeviceTable*>(bytes);
                                       platform::LockGuard lock(pt.mutex);
                                       // Nobody alive holds the table (a fresh segment, or only
                                       // crashed users before us): start empty. Otherwise take what
                                       // the others filed.
                                       if (firstUser)
                                           clearTable(pt.table);
                                       else
                                           std::memcpy(&pt.table, view, sizeof pt.table);
                                       pt.table.userCount = liveUsers;
                                       std::memcpy(view, &pt.table, sizeof pt.table);
                                   });
    platform::LockGuard lock(pt.mutex);
    ++pt.localUsers;
    if (!shared_) {
        // No segment: this process's copy alone serves.
        if (pt.localUsers == 1) clearTable(pt.table);
        pt.table.userCount = pt.localUsers;
    }
}

CFx3Api::~CFx3Api() {
    ProcessTable& pt = processTable();
    if (shared_) {
        auto guard = shared_->lock();
        platform::LockGuard lock(pt.mutex);
        // Only the user count goes out: the entries in the segment are never older than ours
        // (every enumeration writes through), and writing ours could drop rows other
        // processes filed since.
        pt.table.userCount = shared_->liveUsers() - 1;
        viewOf(shared_.get())->userCount = pt.table.userCount;
    }
    platform::LockGuard lock(pt.mutex);
    --pt.localUsers;
    if (!shared_) pt.table.userCount = pt.localUsers;
    // shared_ leaves the segment's users in its destructor.
}

int CFx3Api::Enumerate() {
    // Probe the paths before taking any lock: opening a real device can take a while.
    std::vector<Candidate> found;
    const std::vector<std::string> paths = backend_->listDevicePaths(guid_);
    for (size_t member = 0; member < paths.size() && member < kDeviceTableRows; ++member) {
        const std::string& path = paths[member];
        // A path the row cannot hold whole would be filed truncated and never open again.
        if (path.size() >= static_cast<size_t>(kDevicePathBytes)) continue;
        uint32_t error = 0;
        if (!backend_->open(path, true, &error)) continue;
        Candidate c{path, 0, 0};
        if (!ParseDevicePath(path.c_str(), &c.vendorId, &c.productId)) continue;
        found.push_back(std::move(c));
    }

    std::unique_ptr<SharedMemory::Guard> guard;
    if (shared_) guard = std::make_unique<SharedMemory::Guard>(*shared_);
    ProcessTable& pt = processTable();
    platform::LockGuard lock(pt.mutex);
    SharedDeviceTable& t = pt.table;
    // Start from the rows every process filed, so that indexes agree between processes.
    if (SharedDeviceTable* view = viewOf(shared_.get())) {
        std::memcpy(t.entries, view->entries, sizeof t.entries);
        t.entryCount = view->entryCount <= kDeviceTableRows ? view->entryCount : kDeviceTableRows;
    }
    for (const Candidate& c : found) {
        int32_t instance = 0;
        bool filed = false;
        for (const DeviceTableEntry& e : t.entries) {
            if (e.vendorId != c.vendorId || e.productId != c.productId) continue;
            if (std::strncmp(e.path, c.path.c_str(), kDevicePathBytes) == 0) {
                filed = true;
                break;
            }
            ++instance;
        }
        if (filed || t.entryCount >= kDeviceTableRows) continue;
        DeviceTableEntry& row = t.entries[t.entryCount];
        if (row.productId != 0)
            ORVANE_LOG(platform::LogLevel::Warn, "CFx3Api: device-table row %u was not empty",
                       static_cast<unsigned>(t.entryCount));
        row.instance = instance;
        row.vendorId = c.vendorId;
        row.productId = c.productId;
        std::memset(row.path, 0, sizeof row.path);
        std::memcpy(row.path, c.path.data(), c.path.size());
        ++t.entryCount;
    }
    if (SharedDeviceTable* view = viewOf(shared_.get())) {
        std::memcpy(view->entries, t.entries, sizeof t.entries);
        view->entryCount = t.entryCount;
        t.userCount = shared_->liveUsers();
        view->userCount = t.userCount;
    }
    return static_cast<int>(t.entryCount);
}

DeviceTableEntry CFx3Api::GetEntry(int index) const {
    DeviceTableEntry e{};
    e.instance = -1;
    if (index < 0 || index >= kDeviceTableRows) return e;
    ProcessTable& pt = processTable();
    platform::LockGuard lock(pt.mutex);
    return pt.table.entries[index];
}

int CFx3Api::GetEntryCount() const {
    ProcessTable& pt = processTable();
    platform::LockGuard lock(pt.mutex);
    return static_cast<int>(pt.table.entryCount);
}

std::unique_ptr<DeviceHandle> CFx3Api::OpenByIndex(int index, bool overlapped) const {
    std::string path;
    {
        ProcessTable& pt = processTable();
        platform::LockGuard lock(pt.mutex);
        if (index < 0 || index >= kDeviceTableRows ||
            index >= static_cast<int>(pt.table.entryCount))
            return nullptr;
        path.assign(pt.table.entries[index].path,
                    strnlen(pt.table.entries[index].path, kDevicePathBytes));
    }
    uint32_t error = 0;
    return backend_->open(path, overlapped, &error);
}

bool CFx3Api::DevicePresent(int index) const {
    return OpenByIndex(index, false) != nullptr;
}

bool CFx3Api::ControlTransfer(DeviceHandle* handle, ControlBlock* block,
                              uint32_t* dataBytes) const {
    if (handle == nullptr || block == nullptr) return false;
    uint32_t returned = 0;
    const uint32_t error = handle->ioControl(kIoctlControlTransfer, block, sizeof *block, block,
                                             sizeof *block, &returned, nullptr);
    if (dataBytes != nullptr)
        *dataBytes = returned >= kTransferHeaderBytes ? returned - kTransferHeaderBytes : returned;
    return error == kErrorSuccess;
}

bool CFx3Api::BufferedBulkReadRaw(DeviceHandle* handle, uint8_t* staging, uint8_t endpoint,
                                  uint8_t* buffer, uint32_t length, uint32_t* count) {
    if (count != nullptr) *count = 0;
    if (handle == nullptr || staging == nullptr || buffer == nullptr || length > kMaxBulkBytes)
        return false;
    const uint32_t total = kTransferHeaderBytes + length;
    std::memset(staging, 0, total);
    auto* header = reinterpret_cast<TransferHeader*>(staging);
    header->endpoint = endpoint;
    header->dataOffset = kTransferHeaderBytes;
    header->dataLength = length;
    BulkIoHold hold;
    auto io = TakeBulkCompletion(&hold);
    uint32_t returned = 0;
    const uint32_t error =
        handle->ioControl(kIoctlBulkBuffered, staging, total, staging, total, &returned, io);
    if (error == kErrorIoPending) {
        if (!io->wait(kBulkBufferedTimeoutMs)) {
            AbortPipe(handle);
            // The transfer writes into the staging buffer until it has ended, so it must end
            // before the buffer can be reused.
            if (!io->wait(kAbortSettleMs)) {
                AbortPipe(handle);
                io->wait(kInfiniteWait);
            }
            return false;
        }
        if (io->error() != kErrorSuccess) return false;
        returned = io->bytes();
    } else if (error != kErrorSuccess) {
        return false;
    }
    const uint32_t data = returned >= kTransferHeaderBytes ? returned - kTransferHeaderBytes : 0;
    // More than was asked for cannot have come from this transfer: a count the buffer cannot
    // hold is a driver or device fault, never a success.
    if (data > length) return false;
    std::memcpy(buffer, staging + kTransferHeaderBytes, data);
    if (count != nullptr) *count = data;
    return true;
}

bool CFx3Api::DirectBulkReadRaw(DeviceHandle* handle, bool stagingReady, uint8_t endpoint,
                                uint8_t* buffer, uint32_t length, uint32_t timeoutMs,
                                uint32_t* count) {
    if (count != nullptr) *count = 0;
    if (length > kMaxBulkBytes || handle == nullptr || !stagingReady) return false;
    TransferHeader header{};
    header.endpoint = endpoint;
    BulkIoHold hold;
    auto io = TakeBulkCompletion(&hold);
    uint32_t returned = 0;
    const uint32_t error =
        handle->ioControl(kIoctlBulkDirect, &header, sizeof header, buffer, length, &returned, io);
    lastSubmissionError_.store(error);
    bool completed = false;
    if (error == kErrorSuccess) {
        completed = true;
    } else if (error == kErrorIoPending) {
        completed = io->wait(timeoutMs);
        if (completed) returned = io->bytes();
        if (completed && io->error() != kErrorSuccess) return false;
    } else {
        return false;
    }
    if (!completed) {
        // Never return while the transfer may still write into the caller's buffer.
        AbortPipe(handle);
        if (!io->wait(kAbortSettleMs)) {
            AbortPipe(handle);
            io->wait(kInfiniteWait);
        }
        return false;
    }
    // The buffer holds `length` bytes: a larger count is a lie of the driver or the device.
    if (returned > length) return false;
    if (count != nullptr) *count = returned;
    return header.driverStatus1 == 0 && header.driverStatus2 == 0;
}

std::shared_ptr<IoCompletion> CFx3Api::TakeBulkCompletion(BulkIoHold* hold) {
    if (!bulkIoLock_.try_lock()) return std::make_shared<IoCompletion>();  // another request has it
    // A backend may still hold a reference for a moment after completing; then it is not
    // ours to reset yet.
    if (!bulkIo_ || bulkIo_.use_count() != 1) bulkIo_ = std::make_shared<IoCompletion>();
    bulkIo_->reset();
    std::shared_ptr<IoCompletion> io = bulkIo_;
    hold->adopt(bulkIoLock_);
    return io;
}

bool CFx3Api::AbortPipe(DeviceHandle* handle) {
    if (handle == nullptr) return true;
    uint8_t endpoint = kEndpointFrames;
    auto io = std::make_shared<IoCompletion>();
    uint32_t returned = 0;
    if (handle->ioControl(kIoctlAbortPipe, &endpoint, 1, nullptr, 0, &returned, io) ==
        kErrorIoPending)
        io->wait(kInfiniteWait);
    return true;
}

bool CFx3Api::SimpleRequest(uint32_t code, void* in, uint32_t inLength, void* out,
                            uint32_t outLength, uint32_t* returned) {
    std::unique_ptr<DeviceHandle> handle = OpenByIndex(selectedIndex_.load(), false);
    if (!handle) return false;
    return handle->ioControl(code, in, inLength, out, outLength, returned, nullptr) ==
           kErrorSuccess;
}

bool CFx3Api::ResetPipe(uint8_t endpoint) {
    uint32_t returned = 0;
    return SimpleRequest(kIoctlResetPipe, &endpoint, 1, nullptr, 0, &returned);
}

bool CFx3Api::ResetPort() {
    uint32_t returned = 0;
    return SimpleRequest(kIoctlResetParentPort, nullptr, 0, nullptr, 0, &returned);
}

bool CFx3Api::GetSpeed(uint32_t* speedCode) {
    uint32_t in = 0;
    uint32_t out = 0;
    uint32_t returned = 0;
    const bool ok = SimpleRequest(kIoctlGetSpeed, &in, 4, &out, 4, &returned);
    if (ok && speedCode != nullptr) *speedCode = out;
    return ok;
}

}  // namespace orvane::transport
