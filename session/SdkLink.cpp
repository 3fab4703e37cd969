// The owning deleter of the device SDK object lives here, where the class is complete.
#include "session/COrvane.h"

#if __has_include("device/COrvaneUSB3Q7SimpleSdk.h")
#include "device/COrvaneUSB3Q7SimpleSdk.h"
#define ORVANE_HAVE_DEVICE_SDK 1
#endif

namespace orvane::session {

void SdkDeleter::operator()(device::COrvaneUSB3Q7SimpleSdk* sdk) const noexcept {
#ifdef ORVANE_HAVE_DEVICE_SDK
    delete sdk;
#else
    (void)sdk;  // No device SDK object can exist in this build.
#endif
}

}  // namespace orvane::session
