// Backend choice and hot-plug notification.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/MessageWindow.h"
#include "platform/usb/DriverPort.h"
#include "sim/VirtualCameraSystem.h"
#include "transport/CKelCy3Cam.h"
#if defined(ORVANE_HAVE_LIBUSB)
#include "platform/usb/LibusbBackend.h"
#endif

namespace {

using orvane::platform::Message;
using orvane::sim::CameraOptions;
using orvane::sim::ScopedVirtualCameras;

TEST(Backends, InnermostOverrideWinsAndEndsWithItsScope) {
    ScopedVirtualCameras outer(std::vector<CameraOptions>(2));
    {
        ScopedVirtualCameras inner(std::vector<CameraOptions>(3));
        orvane::transport::CKelCy3Cam ctl;
        EXPECT_EQ(ctl.Enumerate(), 3);
    }
    orvane::transport::CKelCy3Cam ctl;
    EXPECT_EQ(ctl.Enumerate(), 2);
}

TEST(Backends, UnplugAndReplugPostDeviceChange) {
    ScopedVirtualCameras cams;
    auto window = orvane::platform::createMessageWindow(0);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(orvane::platform::registerDeviceNotification(window));
    cams.camera(0).unplug();
    Message m{};
    ASSERT_EQ(orvane::platform::getMessage(window, &m, 1000), 1);
    EXPECT_EQ(m.message, orvane::platform::kWmDeviceChange);
    EXPECT_EQ(m.wParam, orvane::platform::kDbtDeviceRemoveComplete);
    cams.camera(0).replug();
    ASSERT_EQ(orvane::platform::getMessage(window, &m, 1000), 1);
    EXPECT_EQ(m.wParam, orvane::platform::kDbtDeviceArrival);
    orvane::platform::destroyMessageWindow(window);
}

#if defined(ORVANE_HAVE_LIBUSB)
TEST(Libusb, VendorAllowList) {
    setenv("ORVANE_USB_VENDOR_IDS", "1d6b, 0x2a0b,zz", 1);
    const auto ids = orvane::platform::usb::allowedVendorIds();
    EXPECT_EQ(ids, (std::vector<uint16_t>{0x04B4, 0x1D6B, 0x2A0B}));
    unsetenv("ORVANE_USB_VENDOR_IDS");
    EXPECT_EQ(orvane::platform::usb::allowedVendorIds(), std::vector<uint16_t>{0x04B4});
}

TEST(Libusb, UnknownPathsDoNotOpen) {
    auto backend = orvane::platform::usb::createLibusbBackend({0x30F0});
    if (!backend) GTEST_SKIP() << "libusb cannot be initialised here";
    uint32_t error = 0;
    EXPECT_EQ(
        backend->open(orvane::platform::usb::makeDevicePath(
                          0x04B4, 0x30F0, "b999-p9", orvane::platform::usb::kCameraInterfaceGuid),
                      true, &error),
        nullptr);
    EXPECT_EQ(error, orvane::platform::usb::kErrorFileNotFound);
    EXPECT_TRUE(backend->listDevicePaths(orvane::platform::usb::InterfaceGuid{}).empty());
}
#endif

}  // namespace
