#include <gtest/gtest.h>

#include "DeviceTestSupport.h"

namespace orvane::test {
namespace {

using GeometryTest = DeviceFixture;

TEST_F(GeometryTest, FullWindowBuffers) {
    startOpen("30f0:pace=fast");
    ASSERT_EQ(device->ApplyGeometry(), 1);
    EXPECT_EQ(device->GetPayloadCapacity(), 13926400u);
    EXPECT_EQ(device->GetFrameSize(), 6291456u);
    ASSERT_EQ(device->SetWideTransfer(1), 1);
    EXPECT_EQ(device->GetFrameSize(), 12582912u);
    EXPECT_EQ(device->GetPayloadCapacity(), 13926400u);
    EXPECT_EQ(camera().fpgaRegister(0x3C), 2);
}

TEST_F(GeometryTest, WindowRegistersFollowTheSensorWindow) {
    startOpen("30f0:pace=fast");
    ASSERT_EQ(device->SetCaptureWindow(5, 3, 1021, 765, 0), 1);
    int x, y, w, h, m;
    ASSERT_EQ(device->GetSensorGeometry(&x, &y, &w, &h, &m), 1);
    EXPECT_EQ(std::vector<int>({x, y, w, h, m}), std::vector<int>({8, 4, 1024, 766, 0}));
    camera().clearRequestLog();
    ASSERT_EQ(device->ApplyGeometry(), 1);
    const auto writes = fpgaWrites(camera().requestLog());
    EXPECT_EQ(only(writes, {0x44, 0x45, 0x40, 0x41}),
              (std::vector<RegWrite>{{0x44, 0x00}, {0x45, 0x04}, {0x40, 0xFE}, {0x41, 0x02}}));
    EXPECT_EQ(device->GetFrameSize(), 1024u * 766u);
    // (766 + 128) * (1024 + 128) * 2 = 2,059,776, rounded up to 8 KiB.
    EXPECT_EQ(device->GetPayloadCapacity(), 2064384u);
}

TEST_F(GeometryTest, RevisionRegisterSelectsTheTimingValues) {
    startOpen("30f0:pace=fast");
    camera().setFpgaRegister(0x11, 0x12);
    camera().clearRequestLog();
    ASSERT_EQ(device->ApplyGeometry(), 1);
    EXPECT_EQ(only(fpgaWrites(camera().requestLog()), {0x48, 0x49, 0x4C, 0x4D}),
              (std::vector<RegWrite>{{0x48, 0}, {0x49, 0}, {0x4C, 0}, {0x4D, 0}}));
    camera().setFpgaRegister(0x11, 0x13);
    camera().clearRequestLog();
    ASSERT_EQ(device->ApplyGeometry(), 1);
    EXPECT_EQ(only(fpgaWrites(camera().requestLog()), {0x48, 0x49, 0x4C, 0x4D}),
              (std::vector<RegWrite>{{0x48, 31}, {0x49, 0}, {0x4C, 12}, {0x4D, 0}}));
}

TEST_F(GeometryTest, WideTransferReallocatesOnlyOnChange) {
    startOpen("30f0:pace=fast");
    const uint64_t before = device->GetRingAllocationCount();
    camera().clearRequestLog();
    ASSERT_EQ(device->SetWideTransfer(1), 1);
    ASSERT_EQ(device->SetWideTransfer(1), 1);
    EXPECT_EQ(only(fpgaWrites(camera().requestLog()), {0x3C}),
              (std::vector<RegWrite>{{0x3C, 2}, {0x3C, 2}}));
    EXPECT_EQ(device->GetRingAllocationCount(), before + 1);
    EXPECT_EQ(device->GetWideTransfer(), 1);
    ASSERT_EQ(device->SetWideTransfer(0), 1);
    EXPECT_EQ(camera().fpgaRegister(0x3C), 1);
    EXPECT_EQ(device->GetRingAllocationCount(), before + 2);
    camera().setFailControl(true);
    EXPECT_EQ(device->SetWideTransfer(1), 0);
    EXPECT_EQ(device->GetWideTransfer(), 0);
}

TEST_F(GeometryTest, SameWindowTwiceProgramsTheSensorOnce) {
    startOpen("30f0:pace=fast");
    camera().clearRequestLog();
    ASSERT_EQ(device->SetCaptureWindow(0, 0, 2048, 1024, 0), 1);
    EXPECT_EQ(sensorWrites(camera().requestLog()).size(), 14u);
    camera().clearRequestLog();
    ASSERT_EQ(device->SetCaptureWindow(0, 0, 2048, 1024, 0), 1);
    EXPECT_TRUE(camera().requestLog().empty());
    // A nonzero mode is never stored by this sensor, so it reprograms every time.
    ASSERT_EQ(device->SetCaptureWindow(0, 0, 2048, 1024, 5), 1);
    EXPECT_EQ(sensorWrites(camera().requestLog()).size(), 14u);
    // A refused window changes nothing.
    camera().clearRequestLog();
    EXPECT_EQ(device->SetCaptureWindow(1, 0, 3069, 2048, 0), 0);
    EXPECT_TRUE(camera().requestLog().empty());
    int x, y, w, h, m;
    device->GetSensorGeometry(&x, &y, &w, &h, &m);
    EXPECT_EQ(w, 2048);
}

TEST_F(GeometryTest, ExposureSetsThePayloadTimeout) {
    startOpen("30f0:pace=fast");
    ASSERT_EQ(device->SetExposure(50), 1);
    EXPECT_EQ(device->GetPayloadTimeout(), 5000u);
    device->SetExposure(60000);
    EXPECT_EQ(device->GetPayloadTimeout(), 12000u);
    ASSERT_EQ(device->SetExposure(30000), 1);
    EXPECT_EQ(device->GetExposureTime(), 6121);
    EXPECT_EQ(device->GetExposureLines(), 65535);
    EXPECT_EQ(camera().sensorRegister(0x022C), 0xFF);
    EXPECT_EQ(camera().sensorRegister(0x022D), 0xFF);
    EXPECT_EQ(device->SetExposure(0), 0);
}

TEST_F(GeometryTest, WithoutSensorEveryOperationFails) {
    start("30f0");
    int x = 9;
    EXPECT_EQ(device->SetExposure(100), 0);
    EXPECT_EQ(device->GetPayloadTimeout(), 5000u);
    EXPECT_EQ(device->SetCaptureWindow(0, 0, 3072, 2048, 0), 0);
    EXPECT_EQ(device->ApplyGeometry(), 0);
    EXPECT_EQ(device->GetSensorGeometry(&x, &x, &x, &x, &x), 0);
    EXPECT_EQ(x, 9);
    EXPECT_EQ(device->GetGlobalGainMax(), 0);
    EXPECT_EQ(device->ApplyTriggerMode(1, 1), 0);
}

}  // namespace
}  // namespace orvane::test
