// The driver-port backends this library ships, registered with the driver port.
//
// Order of choice (DriverPort.h): a test's ScopedBackendOverride, then the virtual cameras when
// ORVANE_VIRTUAL_CAMERAS is set, then the FX3 driver (Windows) or libusb (Linux, when built
// with it), then no devices.
// CFx3Api calls registerDriverBackends() before it first asks for a backend, so no static
// initialiser is needed. The definition lives in the library's composition root
// (api/DriverBackends.cpp): the transport layer must not know the virtual camera.
#pragma once

namespace orvane::transport {

// Idempotent; any thread.
void registerDriverBackends();

}  // namespace orvane::transport
