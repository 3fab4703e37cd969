// A driver or device that reports more bytes than a transfer's buffer can hold: the reads
// fail instead of passing the impossible count on as a success.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "RecordingDriver.h"
#include "transport/CKelCy3Cam.h"

namespace {

using orvane::platform::usb::ScopedBackendOverride;
using orvane::test::RecordedIoctl;
using orvane::test::RecordingDriver;
using orvane::transport::CKelCy3Cam;
using namespace orvane::transport;

class LyingDriver : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(cam.Enumerate(), 1);
        ASSERT_EQ(cam.SelectDevice(0), 1);
        ASSERT_EQ(cam.PrepareStreaming(), 1);
        ASSERT_EQ(cam.OpenStreamHandle(), 1);
    }
    // Bulk reads report `extra` bytes beyond their buffer (control requests are honest).
    void reportBeyondTheBuffer(uint32_t extra) {
        driver->answer = [extra](const RecordedIoctl& r, uint8_t*, uint32_t* returned) {
            if (r.code == kIoctlBulkDirect || r.code == kIoctlBulkBuffered)
                *returned = r.outLength + extra;
            return 0u;
        };
    }
    std::shared_ptr<RecordingDriver> driver = std::make_shared<RecordingDriver>();
    ScopedBackendOverride override{driver};
    CKelCy3Cam cam;
};

TEST_F(LyingDriver, DirectReadReportingMoreThanItsBufferFails) {
    std::vector<uint8_t> buffer(64);
    uint32_t count = 12345;
    reportBeyondTheBuffer(0);
    EXPECT_EQ(cam.DirectBulkRead(nullptr, buffer.data(), 64, kEndpointFrames, &count, 100), 0)
        << "no handle";
    std::unique_ptr<orvane::platform::usb::DeviceHandle> handle = cam.OpenByIndex(0, true);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(cam.DirectBulkRead(handle.get(), buffer.data(), 64, kEndpointFrames, &count, 100), 1);
    EXPECT_EQ(count, 64u);
    reportBeyondTheBuffer(1);
    EXPECT_EQ(cam.DirectBulkRead(handle.get(), buffer.data(), 64, kEndpointFrames, &count, 100), 0);
    EXPECT_EQ(count, 0u);
}

TEST_F(LyingDriver, BufferedReadReportingMoreThanItsBufferFails) {
    std::unique_ptr<orvane::platform::usb::DeviceHandle> handle = cam.OpenByIndex(0, true);
    ASSERT_NE(handle, nullptr);
    std::vector<uint8_t> buffer(100, 0xAB);
    uint32_t count = 0;
    // The buffered request's output is the staging block: header plus data.
    reportBeyondTheBuffer(0);
    EXPECT_EQ(cam.BufferedBulkRead(handle.get(), buffer.data(), 100, kEndpointFrames, &count), 1);
    EXPECT_EQ(count, 100u);
    reportBeyondTheBuffer(7);
    buffer.assign(100, 0xAB);
    EXPECT_EQ(cam.BufferedBulkRead(handle.get(), buffer.data(), 100, kEndpointFrames, &count), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(buffer[0], 0xAB) << "nothing copied from a transfer that cannot be";
}

// A frame header read whose transfer claims more than 64 bytes is no header.
TEST_F(LyingDriver, OverLongHeaderIsNoHeader) {
    reportBeyondTheBuffer(10);
    FrameRecord record;
    std::vector<uint8_t> payload(4096);
    record.payload = payload.data();
    record.capacity = static_cast<uint32_t>(payload.size());
    EXPECT_EQ(cam.ReadFrameHeader(&record), 0);
}

}  // namespace
