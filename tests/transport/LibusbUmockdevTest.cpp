// The libusb backend driving an emulated USB camera: umockdev adds the device to a fake sysfs
// and hands the usbdevfs requests of its node to the handler below, which feeds them to the
// same camera model the virtual backend uses. Runs under umockdev-wrapper.
#include <errno.h>
#include <gtest/gtest.h>
#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <umockdev.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/MessageWindow.h"
#include "platform/usb/DriverPort.h"
#include "platform/usb/LibusbBackend.h"
#include "sim/VirtualCamera.h"
#include "transport/CKelCy3Cam.h"

namespace {

using orvane::platform::usb::kErrorDeviceNotConnected;
using orvane::platform::usb::kErrorGenFailure;
using orvane::platform::usb::kErrorOperationAborted;
using orvane::platform::usb::kErrorSuccess;
using orvane::sim::CameraOptions;
using orvane::sim::VirtualCamera;
using orvane::transport::CKelCy3Cam;
using orvane::transport::FrameRecord;

// Device 04b4:30f0, SuperSpeed, one configuration, interface 0 with bulk-in 0x81 and 0x83.
constexpr const char* kDevice =
    "P: /devices/usb1/1-1\n"
    "N: bus/usb/001/002\n"
    "E: SUBSYSTEM=usb\n"
    "E: DEVNAME=/dev/bus/usb/001/002\n"
    "E: DEVTYPE=usb_device\n"
    "E: BUSNUM=001\n"
    "E: DEVNUM=002\n"
    "A: busnum=1\\n\n"
    "A: devnum=2\\n\n"
    "A: speed=5000\\n\n"
    "A: bConfigurationValue=1\\n\n"
    "H: descriptors="
    "120100030000000"
    "9b404f0300001010203"
    "01"
    "09022000010100803209040000"
    "02ff000000"
    "07058102000400"
    "07058302000400\n";
constexpr const char* kNode = "/dev/bus/usb/001/002";
constexpr const char* kSysPath = "/sys/devices/usb1/1-1";

int statusFor(uint32_t error) {
    switch (error) {
        case kErrorSuccess:
            return 0;
        case kErrorOperationAborted:
            return -ENOENT;
        case kErrorDeviceNotConnected:
            return -ENODEV;
        default:
            return -EPIPE;
    }
}

// usbdevfs on top of the camera model.
class UsbfsCamera {
  public:
    explicit UsbfsCamera(VirtualCamera& camera) : camera_(camera) {}
    ~UsbfsCamera() {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& [addr, data] : inflight_) umockdev_ioctl_data_unref(data);
        for (auto& r : done_) umockdev_ioctl_data_unref(r.urb);
    }

    static gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
        return static_cast<UsbfsCamera*>(self)->handle(client);
    }

  private:
    struct Reaped {
        UMockdevIoctlData* urb;  // one reference owned here
        int status;
        int actual;
    };

    gboolean handle(UMockdevIoctlClient* client) {
        const gulong request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        switch (request) {
            case USBDEVFS_GET_CAPABILITIES: {
                UMockdevIoctlData* d =
                    umockdev_ioctl_data_resolve(arg, 0, sizeof(guint32), nullptr);
                *reinterpret_cast<guint32*>(d->data) =
                    USBDEVFS_CAP_BULK_SCATTER_GATHER | USBDEVFS_CAP_BULK_CONTINUATION |
                    USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_REAP_AFTER_DISCONNECT |
                    USBDEVFS_CAP_ZERO_PACKET;
                umockdev_ioctl_data_unref(d);
                umockdev_ioctl_client_complete(client, 0, 0);
                return TRUE;
            }
            case USBDEVFS_CLAIMINTERFACE:
            case USBDEVFS_RELEASEINTERFACE:
            case USBDEVFS_DISCONNECT_CLAIM:
            case USBDEVFS_RESETEP:
                umockdev_ioctl_client_complete(client, camera_.plugged() ? 0 : -1,
                                               camera_.plugged() ? 0 : ENODEV);
                return TRUE;
            case USBDEVFS_GETDRIVER:
                umockdev_ioctl_client_complete(client, -1, ENODATA);
                return TRUE;
            case USBDEVFS_CLEAR_HALT: {
                UMockdevIoctlData* d =
                    umockdev_ioctl_data_resolve(arg, 0, sizeof(guint32), nullptr);
                camera_.resetPipe(static_cast<uint8_t>(*reinterpret_cast<guint32*>(d->data)));
                umockdev_ioctl_data_unref(d);
                umockdev_ioctl_client_complete(client, 0, 0);
                return TRUE;
            }
            case USBDEVFS_RESET:
                camera_.resetPort();
                umockdev_ioctl_client_complete(client, 0, 0);
                return TRUE;
            case USBDEVFS_SUBMITURB:
                return submit(client, arg);
            case USBDEVFS_REAPURB:
            case USBDEVFS_REAPURBNDELAY:
                return reap(client, arg);
            case USBDEVFS_DISCARDURB: {
                const gulong addr = *reinterpret_cast<gulong*>(arg->data);
                uint8_t endpoint = 0;
                bool found = false;
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    auto it = inflight_.find(addr);
                    if (it != inflight_.end()) {
                        found = true;
                        endpoint = reinterpret_cast<usbdevfs_urb*>(it->second->data)->endpoint;
                    }
                }
                if (found) camera_.abortPipe(endpoint);
                umockdev_ioctl_client_complete(client, found ? 0 : -1, found ? 0 : EINVAL);
                return TRUE;
            }
            default:
                return FALSE;
        }
    }

    gboolean submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
        if (!camera_.plugged()) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return TRUE;
        }
        UMockdevIoctlData* urbData =
            umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
        auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
        // The client shares our address space: the transfer buffer is used in place.
        auto* buffer = static_cast<uint8_t*>(urb->buffer);
        if (urb->type == USBDEVFS_URB_TYPE_CONTROL) {
            const uint8_t type = buffer[0];
            const uint8_t req = buffer[1];
            const uint16_t value = static_cast<uint16_t>(buffer[2] | buffer[3] << 8);
            const uint16_t index = static_cast<uint16_t>(buffer[4] | buffer[5] << 8);
            const uint16_t length = static_cast<uint16_t>(buffer[6] | buffer[7] << 8);
            const int n = camera_.control(type, req, value, index, buffer + 8, length);
            finished(urbData, n < 0 ? -EPIPE : 0, n < 0 ? 0 : ((type & 0x80) ? n : length));
        } else {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                inflight_[urbData->client_addr] = urbData;
            }
            uint32_t bytes = 0;
            const uint32_t error = camera_.submitBulkRead(
                urb->endpoint, buffer, static_cast<uint32_t>(urb->buffer_length), &bytes,
                [this, urbData](uint32_t e, uint32_t n) { bulkDone(urbData, e, n); });
            if (error != orvane::platform::usb::kErrorIoPending) bulkDone(urbData, error, bytes);
        }
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    }

    void bulkDone(UMockdevIoctlData* urbData, uint32_t error, uint32_t bytes) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            inflight_.erase(urbData->client_addr);
        }
        finished(urbData, statusFor(error), static_cast<int>(bytes));
    }

    void finished(UMockdevIoctlData* urbData, int status, int actual) {
        std::lock_guard<std::mutex> lock(mutex_);
        done_.push_back({urbData, status, actual});
    }

    gboolean reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
        Reaped r{};
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (done_.empty()) {
                umockdev_ioctl_client_complete(client, -1, camera_.plugged() ? EAGAIN : ENODEV);
                return TRUE;
            }
            r = done_.front();
            done_.pop_front();
        }
        auto* urb = reinterpret_cast<usbdevfs_urb*>(r.urb->data);
        urb->status = r.status;
        urb->actual_length = r.actual;
        UMockdevIoctlData* ptr = umockdev_ioctl_data_resolve(arg, 0, sizeof(gpointer), nullptr);
        umockdev_ioctl_data_set_ptr(ptr, 0, r.urb);
        umockdev_ioctl_data_unref(ptr);
        umockdev_ioctl_data_unref(r.urb);
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    }

    VirtualCamera& camera_;
    std::mutex mutex_;
    std::map<gulong, UMockdevIoctlData*> inflight_;  // guarded by mutex_
    std::deque<Reaped> done_;                        // guarded by mutex_
};

class LibusbUmockdev : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* preload = std::getenv("LD_PRELOAD");
        if (preload == nullptr || std::strstr(preload, "umockdev") == nullptr)
            GTEST_SKIP() << "run under umockdev-wrapper";
        CameraOptions o;
        o.pace = orvane::sim::Pace::Fast;
        o.scene = orvane::sim::SceneKind::Ramp;
        camera = std::make_unique<VirtualCamera>(o);
        usbfs = std::make_unique<UsbfsCamera>(*camera);
        testbed = umockdev_testbed_new();
        handler = umockdev_ioctl_base_new();
        g_signal_connect_after(handler, "handle-ioctl", G_CALLBACK(&UsbfsCamera::onIoctl),
                               usbfs.get());
        ASSERT_TRUE(umockdev_testbed_attach_ioctl(testbed, kNode, handler, nullptr));
        ASSERT_TRUE(umockdev_testbed_add_from_string(testbed, kDevice, nullptr));
        backend = orvane::platform::usb::createLibusbBackend({0x30F0, 0x3042});
        ASSERT_TRUE(backend);
        override_ = std::make_unique<orvane::platform::usb::ScopedBackendOverride>(backend);
        ctl = std::make_unique<CKelCy3Cam>();
    }
    void TearDown() override {
        ctl.reset();
        override_.reset();
        backend.reset();
        if (handler != nullptr) g_object_unref(handler);
        if (testbed != nullptr) g_object_unref(testbed);
    }
    bool open() {
        return ctl->Enumerate() == 1 && ctl->SelectDevice(0) == 1 && ctl->PrepareStreaming() == 1;
    }
    // A bulk read with a 20 s timeout on its own thread, given time to be pending in the
    // kernel before the caller ends it some other way; its result lands in *result.
    template <typename Handle>
    std::thread startLongRead(Handle* handle, int* result) {
        std::thread reader([this, handle, result] {
            uint8_t header[64];
            uint32_t count = 0;
            *result = ctl->DirectBulkRead(handle, header, 64, 0x81, &count, 20000);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return reader;
    }

    std::unique_ptr<VirtualCamera> camera;
    std::unique_ptr<UsbfsCamera> usbfs;
    UMockdevTestbed* testbed = nullptr;
    UMockdevIoctlBase* handler = nullptr;
    std::shared_ptr<orvane::platform::usb::DriverBackend> backend;
    std::unique_ptr<orvane::platform::usb::ScopedBackendOverride> override_;
    std::unique_ptr<CKelCy3Cam> ctl;
    std::vector<uint8_t> payload = std::vector<uint8_t>(3072u * 2048u * 2u);
};

TEST_F(LibusbUmockdev, EnumeratesTheCameraByLocation) {
    ASSERT_EQ(ctl->Enumerate(), 1);
    const auto row = ctl->GetEntry(0);
    EXPECT_EQ(row.vendorId, 0x04B4);
    EXPECT_EQ(row.productId, 0x30F0);
    EXPECT_NE(std::string(row.path).find("#b001-p1#"), std::string::npos) << row.path;
    char name[64];
    ASSERT_EQ(ctl->GetDeviceName(0, name), 1);
    EXPECT_STREQ(name, "Orvane-A06-USB3-Q7_00");
}

TEST_F(LibusbUmockdev, RegisterWriteAndReadBack) {
    ASSERT_TRUE(open());
    ASSERT_EQ(ctl->WriteFpgaRegister(0x07, 0x5A), 1);
    EXPECT_EQ(camera->fpgaRegister(0x07), 0x5A);
    uint8_t v = 0;
    ASSERT_EQ(ctl->ReadFpgaRegister(0x07, &v), 1);
    EXPECT_EQ(v, 0x5A);
    uint32_t speed = 0;
    ASSERT_TRUE(ctl->GetSpeed(&speed));
    EXPECT_EQ(speed, 4u);
}

TEST_F(LibusbUmockdev, WholeFrame) {
    ASSERT_TRUE(open());
    FrameRecord record;
    record.payload = payload.data();
    record.capacity = static_cast<uint32_t>(payload.size());
    ASSERT_EQ(ctl->ReadFrameHeader(&record), 1);
    ASSERT_EQ(record.payloadBytes(), 3072u * 2048u);
    ASSERT_EQ(ctl->ReadFramePayload(&record, 2000), 1);
    const uint32_t n = record.frameTag;
    EXPECT_EQ(payload[3072u * 9 + 17], (17 + 2 * 9 + n) % 256);
    EXPECT_EQ(payload[3072u * 2048u - 1], (3071 + 2 * 2047 + n) % 256);
}

TEST_F(LibusbUmockdev, StallIsClearedByClearHalt) {
    ASSERT_TRUE(open());
    ASSERT_EQ(ctl->OpenStreamHandle(), 1);
    camera->stallEndpoint(0x81);
    auto handle = ctl->OpenByIndex(0, true);
    uint8_t header[64];
    uint32_t count = 0;
    EXPECT_EQ(ctl->DirectBulkRead(handle.get(), header, 64, 0x81, &count, 1000), 0);
    EXPECT_TRUE(ctl->ResetPipe(0x81));
    FrameRecord record;
    record.payload = payload.data();
    record.capacity = static_cast<uint32_t>(payload.size());
    EXPECT_EQ(ctl->ReadFrameHeader(&record), 1);
}

TEST_F(LibusbUmockdev, TimeOutCancelsTheTransfer) {
    ASSERT_TRUE(open());
    auto handle = ctl->OpenByIndex(0, true);
    uint8_t header[64];
    uint32_t count = 0;
    // No frame request: nothing comes; the read times out and the transfer is cancelled.
    EXPECT_EQ(ctl->DirectBulkRead(handle.get(), header, 64, 0x81, &count, 100), 0);
    EXPECT_EQ(ctl->GetLastSubmissionError(), orvane::platform::usb::kErrorIoPending);
}

TEST_F(LibusbUmockdev, AbortStreamCancelsAPendingRead) {
    ASSERT_TRUE(open());
    ASSERT_EQ(ctl->OpenStreamHandle(), 1);
    auto handle = ctl->OpenByIndex(0, true);
    int result = -1;
    std::thread reader = startLongRead(handle.get(), &result);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ctl->AbortStream(), 1);
    reader.join();
    EXPECT_EQ(result, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST_F(LibusbUmockdev, UnplugDuringARead) {
    ASSERT_TRUE(open());
    auto handle = ctl->OpenByIndex(0, true);
    int result = -1;
    std::thread reader = startLongRead(handle.get(), &result);
    const auto start = std::chrono::steady_clock::now();
    camera->unplug();
    reader.join();
    EXPECT_EQ(result, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    uint8_t v = 0;
    EXPECT_EQ(ctl->ReadFpgaRegister(0x07, &v), 0);
}

TEST_F(LibusbUmockdev, HotPlugPostsDeviceChange) {
    auto window = orvane::platform::createMessageWindow(0);
    ASSERT_TRUE(orvane::platform::registerDeviceNotification(window));
    ASSERT_EQ(ctl->Enumerate(), 1);  // the event thread is running
    umockdev_testbed_uevent(testbed, kSysPath, "remove");
    orvane::platform::Message m{};
    ASSERT_EQ(orvane::platform::getMessage(window, &m, 3000), 1);
    EXPECT_EQ(m.message, orvane::platform::kWmDeviceChange);
    EXPECT_EQ(m.wParam, orvane::platform::kDbtDeviceRemoveComplete);
    umockdev_testbed_uevent(testbed, kSysPath, "add");
    ASSERT_EQ(orvane::platform::getMessage(window, &m, 3000), 1);
    EXPECT_EQ(m.wParam, orvane::platform::kDbtDeviceArrival);
    orvane::platform::destroyMessageWindow(window);
}

}  // namespace
