// The driver-port backend for real cameras on Linux, over libusb-1.0.
//
// It lists the devices whose product ID belongs to the camera family and whose vendor ID is
// allowed (0x04B4, plus the hexadecimal IDs of ORVANE_USB_VENDOR_IDS, comma-separated), names
// each by its bus location (\\?\usb#vid_04b4&pid_30f0#b001-p2.1#{guid}), so a camera replugged
// into the same port keeps its path, claims interface 0 and maps the driver requests:
// control block -> control transfer; bulk reads -> asynchronous bulk-in transfers into the
// caller's own memory, completed by an event thread; abort pipe -> cancellation of the pending
// transfers of the endpoint; reset pipe -> clear-halt; reset port -> device reset; speed ->
// the negotiated speed (4 for SuperSpeed). All handles of one device share one libusb handle,
// as the driver's handles share one device.
//
// A device node the user may not open is reported on stderr once, naming the node and the
// udev rule shipped in udev/ that grants access.
//
// Hot-plug: arrival and removal of a family device post WM_DEVICECHANGE to the windows
// registered for device notifications.
//
// Built only when libusb-1.0 was found at configure time (ORVANE_HAVE_LIBUSB).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/usb/DriverPort.h"

namespace orvane::platform::usb {

// Registers the libusb factory for devices with these product IDs (idempotent; the first
// call's list is kept). The factory yields nothing when libusb cannot be initialised.
void registerLibusbBackend(const std::vector<uint16_t>& productIds);

// A backend on its own libusb context, for tests and tools.
std::shared_ptr<DriverBackend> createLibusbBackend(const std::vector<uint16_t>& productIds);

// Vendor IDs accepted: 0x04B4 and those of ORVANE_USB_VENDOR_IDS.
std::vector<uint16_t> allowedVendorIds();

}  // namespace orvane::platform::usb
