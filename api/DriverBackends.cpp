// The composition root chooses the driver-port backends: only here may the library see both the
// transport layer and the virtual camera, which sit side by side below it.
#include "transport/DriverBackends.h"

#include <vector>

#include "sim/VirtualCameraSystem.h"
#include "transport/CKelCy3Cam.h"
#if defined(ORVANE_HAVE_LIBUSB)
#include "platform/usb/LibusbBackend.h"
#endif
#if defined(_WIN32)
#include "platform/usb/Fx3DriverBackend.h"
#endif

namespace orvane::transport {

void registerDriverBackends() {
    sim::registerVirtualCameraBackend();
#if defined(ORVANE_HAVE_LIBUSB)
    platform::usb::registerLibusbBackend(CKelCy3Cam::FamilyProductIds());
#endif
#if defined(_WIN32)
    platform::usb::registerFx3DriverBackend();
#endif
}

}  // namespace orvane::transport
