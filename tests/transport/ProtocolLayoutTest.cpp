// Byte layout of the driver requests, checked on the raw buffers handed to the driver port.
#include <gtest/gtest.h>

#include <vector>

#include "RecordingDriver.h"
#include "transport/CKelCy3Cam.h"

namespace {

using orvane::platform::usb::ScopedBackendOverride;
using orvane::test::le16;
using orvane::test::le32;
using orvane::test::RecordedIoctl;
using orvane::test::RecordingDriver;
using orvane::transport::CKelCy3Cam;

class ProtocolLayout : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(cam.Enumerate(), 1);
        ASSERT_EQ(cam.SelectDevice(0), 1);
        driver->clear();
    }
    std::vector<RecordedIoctl> callsWith(uint32_t code) const {
        std::vector<RecordedIoctl> out;
        for (const RecordedIoctl& c : driver->calls())
            if (c.code == code) out.push_back(c);
        return out;
    }
    // The fields every control block shares.
    static void expectControlFrame(const RecordedIoctl& c) {
        ASSERT_EQ(c.in.size(), 102u);
        EXPECT_EQ(c.outLength, 102u);
        EXPECT_EQ(le16(c.in, 6), 102) << "length field";
        EXPECT_EQ(le32(c.in, 8), 3000u) << "timeout";
        EXPECT_EQ(c.in[12], 0) << "reserved";
        EXPECT_EQ(c.in[13], 0) << "endpoint";
        for (size_t i = 14; i < 30; ++i) EXPECT_EQ(c.in[i], 0) << "byte " << i;
        EXPECT_EQ(le32(c.in, 30), 38u) << "data offset";
        EXPECT_EQ(le32(c.in, 34), 64u) << "data length";
    }

    std::shared_ptr<RecordingDriver> driver = std::make_shared<RecordingDriver>();
    ScopedBackendOverride override{driver};
    CKelCy3Cam cam;
};

TEST_F(ProtocolLayout, ControlBlockOfBusWrite) {
    const uint8_t bytes[3] = {0x02, 0x1F, 0x64};
    ASSERT_EQ(cam.BusWrite(0x48, bytes, 3), 1);
    const auto calls = callsWith(0x220020);
    ASSERT_EQ(calls.size(), 1u);
    const RecordedIoctl& c = calls[0];
    expectControlFrame(c);
    EXPECT_EQ(c.in[0], 0x40) << "request type";
    EXPECT_EQ(c.in[1], 0x30) << "request";
    EXPECT_EQ(le16(c.in, 2), 3) << "value = byte count";
    EXPECT_EQ(le16(c.in, 4), 0x48) << "index = bus address";
    EXPECT_EQ(c.in[38], 0x02);
    EXPECT_EQ(c.in[39], 0x1F);
    EXPECT_EQ(c.in[40], 0x64);
    EXPECT_FALSE(c.overlapped);
}

TEST_F(ProtocolLayout, VendorRequestFields) {
    uint16_t v = 0;
    cam.ReadRegister16(0x1234, &v);
    cam.WriteRegister32(0x8123, 0xAABBCCDD);
    cam.WriteWordPair(0x1122, 0x3344);
    cam.WriteStreamMode(1);
    uint8_t b = 0;
    cam.BusRead(0x48, &b, 1);
    const auto calls = callsWith(0x220020);
    ASSERT_EQ(calls.size(), 5u);
    for (const auto& c : calls) expectControlFrame(c);

    EXPECT_EQ(calls[0].in[0], 0xC0);
    EXPECT_EQ(calls[0].in[1], 0xD1);
    EXPECT_EQ(le16(calls[0].in, 2), 0);
    EXPECT_EQ(le16(calls[0].in, 4), 0x1234);

    EXPECT_EQ(calls[1].in[1], 0xD0);
    EXPECT_EQ(le16(calls[1].in, 2), 1) << "bit 15 of the address";
    EXPECT_EQ(le16(calls[1].in, 4), 0x0123);
    EXPECT_EQ(le32(calls[1].in, 38), 0xAABBCCDDu);

    EXPECT_EQ(calls[2].in[1], 0x3E);
    const std::vector<uint8_t> pair(calls[2].in.begin() + 38, calls[2].in.begin() + 42);
    EXPECT_EQ(pair, (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44}));

    EXPECT_EQ(calls[3].in[1], 0x3C);
    EXPECT_EQ(le32(calls[3].in, 38), 1u);

    EXPECT_EQ(calls[4].in[0], 0xC0);
    EXPECT_EQ(calls[4].in[1], 0x31);
    EXPECT_EQ(le16(calls[4].in, 2), 1);
    EXPECT_EQ(le16(calls[4].in, 4), 0x49) << "read form has bit 0 set";
}

TEST_F(ProtocolLayout, BusTransfersAbove64BytesNeverReachTheDriver) {
    std::vector<uint8_t> data(65, 0x5A);
    EXPECT_EQ(cam.BusWrite(0x48, data.data(), 65), 0);
    EXPECT_EQ(cam.BusRead(0x48, data.data(), 65), 0);
    EXPECT_TRUE(driver->calls().empty());
    EXPECT_EQ(cam.BusWrite(0x48, data.data(), 64), 1);
    EXPECT_EQ(cam.BusRead(0x48, data.data(), 64), 1);
    EXPECT_EQ(callsWith(0x220020).size(), 2u);
}

TEST_F(ProtocolLayout, DirectBulkHeader) {
    ASSERT_EQ(cam.PrepareStreaming(), 1);
    auto handle = cam.OpenByIndex(0, true);
    ASSERT_TRUE(handle);
    driver->answer = [](const RecordedIoctl& c, uint8_t*, uint32_t* returned) {
        *returned = c.outLength;
        return 0u;
    };
    driver->clear();
    std::vector<uint8_t> buffer(4096);
    uint32_t count = 0;
    ASSERT_EQ(cam.DirectBulkRead(handle.get(), buffer.data(), 4096, 0x81, &count, 100), 1);
    EXPECT_EQ(count, 4096u);
    const auto calls = callsWith(0x22004B);
    ASSERT_EQ(calls.size(), 1u);
    ASSERT_EQ(calls[0].in.size(), 38u);
    for (size_t i = 0; i < 38; ++i) EXPECT_EQ(calls[0].in[i], i == 13 ? 0x81 : 0) << "byte " << i;
    EXPECT_EQ(calls[0].outLength, 4096u);
    EXPECT_TRUE(calls[0].overlapped);
}

TEST_F(ProtocolLayout, BufferedBulkHeaderAndDataCount) {
    ASSERT_EQ(cam.PrepareStreaming(), 1);
    auto handle = cam.OpenByIndex(0, true);
    driver->answer = [](const RecordedIoctl& c, uint8_t* out, uint32_t* returned) {
        out[38] = 0xAB;
        *returned = c.outLength;
        return 0u;
    };
    driver->clear();
    uint8_t buffer[100] = {};
    uint32_t count = 0;
    ASSERT_EQ(cam.BufferedBulkRead(handle.get(), buffer, 100, 0x83, &count), 1);
    EXPECT_EQ(count, 100u);
    EXPECT_EQ(buffer[0], 0xAB);
    const auto calls = callsWith(0x220024);
    ASSERT_EQ(calls.size(), 1u);
    ASSERT_EQ(calls[0].in.size(), 138u);
    EXPECT_EQ(calls[0].in[13], 0x83);
    EXPECT_EQ(le32(calls[0].in, 30), 38u);
    EXPECT_EQ(le32(calls[0].in, 34), 100u);
    for (size_t i = 0; i < 13; ++i) EXPECT_EQ(calls[0].in[i], 0) << "byte " << i;
}

TEST_F(ProtocolLayout, BulkReadsOver64MiBFailWithoutADriverCall) {
    ASSERT_EQ(cam.PrepareStreaming(), 1);
    auto handle = cam.OpenByIndex(0, true);
    driver->clear();
    uint8_t dummy = 0;
    uint32_t count = 0;
    EXPECT_EQ(cam.DirectBulkRead(handle.get(), &dummy, 0x4000001, 0x81, &count, 100), 0);
    EXPECT_EQ(cam.BufferedBulkRead(handle.get(), &dummy, 0x4000001, 0x81, &count), 0);
    EXPECT_TRUE(driver->calls().empty());
}

TEST_F(ProtocolLayout, BulkReadsNeedTheStagingBuffer) {
    auto handle = cam.OpenByIndex(0, true);
    driver->clear();
    uint8_t buffer[64];
    uint32_t count = 0;
    EXPECT_EQ(cam.DirectBulkRead(handle.get(), buffer, 64, 0x81, &count, 100), 0);
    EXPECT_EQ(cam.DirectBulkRead(nullptr, buffer, 64, 0x81, &count, 100), 0);
    EXPECT_TRUE(driver->calls().empty());
}

TEST_F(ProtocolLayout, PipeAndPortRequests) {
    ASSERT_EQ(cam.OpenStreamHandle(), 1);
    driver->answer = [](const RecordedIoctl& c, uint8_t* out, uint32_t* returned) {
        if (c.code == 0x22004C) {
            out[0] = 4;
            *returned = 4;
        }
        return 0u;
    };
    EXPECT_EQ(cam.AbortStream(), 1);
    EXPECT_TRUE(cam.ResetPipe(0x81));
    EXPECT_TRUE(cam.ResetPort());
    uint32_t speed = 0;
    EXPECT_TRUE(cam.GetSpeed(&speed));
    EXPECT_EQ(speed, 4u);
    const auto calls = driver->calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].code, 0x220044u);
    EXPECT_EQ(calls[0].in, std::vector<uint8_t>{0x81});
    EXPECT_TRUE(calls[0].overlapped);
    EXPECT_EQ(calls[1].code, 0x22002Cu);
    EXPECT_EQ(calls[1].in, std::vector<uint8_t>{0x81});
    EXPECT_EQ(calls[2].code, 0x220030u);
    EXPECT_TRUE(calls[2].in.empty());
    EXPECT_EQ(calls[3].code, 0x22004Cu);
    EXPECT_EQ(calls[3].in.size(), 4u);
    EXPECT_EQ(calls[3].outLength, 4u);
}

}  // namespace
