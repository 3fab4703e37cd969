// The system calls of the FX3 driver backend, behind one small interface: device-interface
// enumeration (SetupAPI), opening a device path (CreateFileA) and overlapped I/O control
// requests (DeviceIoControl, CancelIoEx).
//
// On Windows systemFx3DeviceIo() answers with the real calls; tests replace it with a scripted
// driver (requests in, replies out), so that the backend's bridging of overlapped requests,
// its time limits and its cancellation run the same code with and without a camera.
//
// Threads: every function may be called from any thread; `done` callbacks run on a thread of
// the implementation's choosing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/usb/DriverPort.h"

namespace orvane::platform::usb {

// The end of a request that pended: its Windows error code (0 on success) and byte count.
using Fx3IoDone = std::function<void(uint32_t error, uint32_t bytes)>;

// An open device path (always opened for overlapped I/O).
class Fx3DeviceFile {
  public:
    // Closes the path. Requests still pending are cancelled first, and it returns only after
    // each of their `done` callbacks has returned.
    virtual ~Fx3DeviceFile() = default;

    // Issues one I/O control request, overlapped. When the request finishes at once the result
    // is kErrorSuccess (with *bytes set) or the error, and `done` is never called. When it is
    // kErrorIoPending, `done` runs exactly once when the request ends (also after cancel()).
    // The buffers stay in use until then. `id` names the request for cancel().
    virtual uint32_t ioControl(uint32_t code, void* in, uint32_t inLength, void* out,
                               uint32_t outLength, uint32_t* bytes, uint64_t id,
                               Fx3IoDone done) = 0;

    // Asks the driver to end the pending request `id` (CancelIoEx); its `done` then follows
    // with the error of the cancelled request. No effect on a request that has ended.
    virtual void cancel(uint64_t id) = 0;
};

class Fx3DeviceIo {
  public:
    virtual ~Fx3DeviceIo() = default;

    // Device paths of the present interfaces of class `guid`, for member indexes 0 to
    // maxMembers - 1. A member that does not enumerate, or whose detail cannot be read, is
    // skipped; the others keep their order.
    virtual std::vector<std::string> interfacePaths(const InterfaceGuid& guid, int maxMembers) = 0;

    // Opens `path` for writing, write-shared, existing only, overlapped. Null with *error (a
    // Windows error code) when it does not open.
    virtual std::unique_ptr<Fx3DeviceFile> open(const std::string& path, uint32_t* error) = 0;
};

// The real system calls; null where there are none (not Windows).
std::shared_ptr<Fx3DeviceIo> systemFx3DeviceIo();

// Windows: the device file of systemFx3DeviceIo() over a handle the caller opened for
// overlapped I/O, whose ownership it takes (it is closed also when this fails). Null with
// *error set on failure, and always where there is no such system.
std::unique_ptr<Fx3DeviceFile> adoptSystemDeviceFile(void* handle, uint32_t* error);

}  // namespace orvane::platform::usb
