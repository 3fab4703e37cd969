// The driver port: what the FX3 transport needs from a USB driver, and the choice of the
// backend that answers it.
//
// The transport talks to cameras the way it would talk to the FX3 kernel driver: it lists
// the device paths of an interface class, opens a path, and issues I/O control requests
// whose buffers carry the driver's 38-byte transfer header. A backend implements exactly
// that and nothing more, so the transport never knows whether a libusb device, the virtual
// camera or a test double answers.
//
// Backend selection. Backends register a factory under a name and a priority
// (registerBackendFactory); activeBackend() asks the factories in priority order (highest
// first) and uses the first one that returns a backend. A factory returns null when it does
// not apply (the virtual camera factory, for instance, when ORVANE_VIRTUAL_CAMERAS is unset).
// The chosen backend is shared by everyone who holds it and is released when the last holder
// lets go, so the next activeBackend() chooses afresh (a new process environment, a new set of
// virtual cameras). A test may install a backend of its own with ScopedBackendOverride; while
// one is installed it is the answer of activeBackend() regardless of the factories.
//
// This layer knows no backend by name: the libusb backend registers itself through
// registerLibusbBackend() (LibusbBackend.h), the virtual camera through its own registration
// function, and the transport calls both before it first asks for a backend.
//
// Threads: every function here may be called from any thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Sync.h"

namespace orvane::platform::usb {

// Error codes of the driver port; the values are those of the Windows driver stack so that the
// transport's decisions read the same on every platform.
inline constexpr uint32_t kErrorSuccess = 0;
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorInvalidHandle = 6;
inline constexpr uint32_t kErrorGenFailure = 31;
inline constexpr uint32_t kErrorNotSupported = 50;
inline constexpr uint32_t kErrorInvalidParameter = 87;
inline constexpr uint32_t kErrorSemTimeout = 121;
inline constexpr uint32_t kErrorOperationAborted = 995;
inline constexpr uint32_t kErrorIoPending = 997;
inline constexpr uint32_t kErrorDeviceNotConnected = 1167;

inline constexpr uint32_t kInfiniteWait = 0xFFFFFFFFu;

// A device-interface class identifier in its Windows memory layout.
struct InterfaceGuid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    uint8_t data4[8] = {};

    bool operator==(const InterfaceGuid&) const = default;
    // Lower-case registry form without braces: "328184c5-93e6-49b7-94b8-2ada13aabb39".
    std::string toString() const;
};
static_assert(sizeof(InterfaceGuid) == 16);

// The camera family's interface class {328184C5-93E6-49B7-94B8-2ADA13AABB39}.
inline constexpr InterfaceGuid kCameraInterfaceGuid{
    0x328184C5, 0x93E6, 0x49B7, {0x94, 0xB8, 0x2A, 0xDA, 0x13, 0xAA, 0xBB, 0x39}};

// Builds the USB-style device path every backend uses:
// \\?\usb#vid_VVVV&pid_PPPP#<serial>#{guid}. The vendor ID sits at characters 12-15 and the
// product ID at 21-24, where the transport parses them.
std::string makeDevicePath(uint16_t vendorId, uint16_t productId, const std::string& serial,
                           const InterfaceGuid& guid);

// Completion of one overlapped request: the stand-in for OVERLAPPED and its event.
class IoCompletion {
  public:
    // Backend side: finish the request. Only the first call counts.
    void complete(uint32_t error, uint32_t bytes);
    // Caller side: true once the request has finished (waits up to timeoutMs, kInfiniteWait
    // for no limit).
    bool wait(uint32_t timeoutMs);
    bool isComplete() const;
    // Valid once complete.
    uint32_t error() const;
    uint32_t bytes() const;
    // Makes a finished completion usable for the next request. Only for a completion no
    // backend still refers to.
    void reset();

  private:
    mutable platform::Mutex mutex_;
    std::condition_variable cv_;  // signalled under mutex_ when done_ turns true
    bool done_ ORVANE_GUARDED_BY(mutex_) = false;
    uint32_t error_ ORVANE_GUARDED_BY(mutex_) = 0;
    uint32_t bytes_ ORVANE_GUARDED_BY(mutex_) = 0;
};

// An open device path.
class DeviceHandle {
  public:
    virtual ~DeviceHandle() = default;

    // Issues one I/O control request.
    // Without `overlapped` the request has finished when the call returns: the result is the
    // error code (kErrorSuccess on success) and *returned holds the output byte count.
    // With `overlapped` (handles opened overlapped only) the result may also be
    // kErrorIoPending: the backend keeps using `in` and `out` until it completes `overlapped`,
    // and the caller keeps both alive until then. A request that finishes at once returns
    // kErrorSuccess with *returned set and also completes `overlapped`.
    virtual uint32_t ioControl(uint32_t code, void* in, uint32_t inLength, void* out,
                               uint32_t outLength, uint32_t* returned,
                               const std::shared_ptr<IoCompletion>& overlapped) = 0;
};

class DriverBackend {
  public:
    virtual ~DriverBackend() = default;
    virtual const char* name() const = 0;
    // Device paths of the interfaces of class `guid` that are present, in a stable order.
    virtual std::vector<std::string> listDevicePaths(const InterfaceGuid& guid) = 0;
    // Opens a device path; null with *error set when it does not open.
    virtual std::unique_ptr<DeviceHandle> open(const std::string& path, bool overlapped,
                                               uint32_t* error) = 0;
};

using BackendFactory = std::function<std::shared_ptr<DriverBackend>()>;

// Registers (or replaces) the factory called `name`. Higher priority is asked first.
void registerBackendFactory(const std::string& name, int priority, BackendFactory factory);

// The backend to use now (see the file comment). Never null: with no applicable factory it is
// an empty backend without devices.
std::shared_ptr<DriverBackend> activeBackend();

// Installs `backend` as the answer of activeBackend() for the lifetime of this object.
// Overrides nest; the innermost wins.
class ScopedBackendOverride {
  public:
    explicit ScopedBackendOverride(std::shared_ptr<DriverBackend> backend);
    ~ScopedBackendOverride();
    ScopedBackendOverride(const ScopedBackendOverride&) = delete;
    ScopedBackendOverride& operator=(const ScopedBackendOverride&) = delete;

  private:
    std::shared_ptr<DriverBackend> backend_;
};

}  // namespace orvane::platform::usb
