// The driver-port backend for real cameras on Windows: the FX3 kernel driver, reached through
// device-interface enumeration, device paths and I/O control requests (Fx3DeviceIo.h).
//
// The driver itself speaks the request format of Fx3Driver.h, so requests go to it as they
// come; what this backend adds is the bridge between the driver's overlapped requests and the
// port's completion objects, and bounds on waiting for a driver that does not answer:
//  - A handle opened overlapped passes the caller's completion through: a request that pends
//    completes it when the driver ends the request.
//  - Every other request is waited for here, but no longer than its header's timeout plus a
//    grace period (control transfers) or a fixed limit (the rest); then it is cancelled
//    (CancelIoEx) and fails with kErrorSemTimeout once the driver has let go of its buffers.
//  - Aborting a pipe is always waited for here within the fixed limit, even on an overlapped
//    handle, since callers wait for the abort without limit. Bulk reads of that pipe which
//    the driver still holds afterwards are cancelled, so that an abort always ends them.
//  - Requests whose buffers do not fit their code are refused without reaching the driver.
//  - A transfer that ends in failure without the driver having written its status words
//    (cancelled, device gone) gets them written here, as the driver would.
//  - Closing a handle cancels what is still pending on it and returns once all has ended.
// The OS handle is always opened overlapped; handles the caller opened without overlapped I/O
// differ only in being waited for here.
//
// Threads: any thread; completions run on the system's I/O threads.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/usb/DriverPort.h"
#include "platform/usb/Fx3DeviceIo.h"

namespace orvane::platform::usb {

struct Fx3BackendLimits {
    // A control transfer may take its header's timeout plus this before it is cancelled.
    uint32_t controlGraceMs = 2000;
    // Limit of the other requests waited for here (and of control transfers without timeout).
    uint32_t requestLimitMs = 10000;
};

// Device paths are read for member indexes 0 to 31 of the interface class.
inline constexpr int kFx3InterfaceMembers = 32;

std::shared_ptr<DriverBackend> createFx3DriverBackend(std::shared_ptr<Fx3DeviceIo> io,
                                                      Fx3BackendLimits limits = {});

// Registers the factory "fx3" over the real system calls (idempotent). Where there are none
// (not Windows) the factory yields nothing.
void registerFx3DriverBackend();

}  // namespace orvane::platform::usb
