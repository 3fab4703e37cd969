// The virtual camera: its option list, and frames that follow the sensor and FPGA registers.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "sim/VirtualCameraSystem.h"
#include "transport/CKelCy3Cam.h"

namespace orvane::sim {
namespace {

using transport::CKelCy3Cam;
using transport::FrameRecord;

TEST(CameraList, CountsProductsAndOptions) {
    std::vector<CameraOptions> list;
    std::string error;
    ASSERT_TRUE(orvane::sim::parseCameraList("2", &list, &error)) << error;
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].productId, 0x30F0);
    EXPECT_EQ(list[1].pace, Pace::Realtime);
    EXPECT_EQ(list[1].scene, SceneKind::Chart);

    ASSERT_TRUE(orvane::sim::parseCameraList(
        "30f0:pace=fast:scene=flat:100:hot=3:dead=2, 3042:scene=sites:10/20/30:drop=4,"
        "30F0:scene=ramp:fail_after=7:unplug_after=9",
        &list, &error))
        << error;
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].pace, Pace::Fast);
    EXPECT_EQ(list[0].scene, SceneKind::Flat);
    EXPECT_EQ(list[0].flatValue, 100);
    EXPECT_EQ(list[0].hotPixels, 3u);
    EXPECT_EQ(list[0].deadPixels, 2u);
    EXPECT_EQ(list[1].productId, 0x3042);
    EXPECT_EQ(list[1].scene, SceneKind::Sites);
    EXPECT_EQ(list[1].siteR, 10);
    EXPECT_EQ(list[1].siteG, 20);
    EXPECT_EQ(list[1].siteB, 30);
    EXPECT_EQ(list[1].dropEvery, 4u);
    EXPECT_EQ(list[2].scene, SceneKind::Ramp);
    EXPECT_EQ(list[2].failAfter, 7);
    EXPECT_EQ(list[2].unplugAfter, 9);
}

TEST(CameraList, MalformedListsAreRefused) {
    std::vector<CameraOptions> list;
    std::string error;
    for (const char* bad :
         {"", "30f0,", "xyz", "30f0:pace=slow", "30f0:scene=flat", "30f0:scene=flat:300",
          "30f0:scene=sites:1/2", "30f0:hot", "30f0:colour=red"}) {
        EXPECT_FALSE(orvane::sim::parseCameraList(bad, &list, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(CameraList, EnvironmentEnablesVirtualCameras) {
    {
        CKelCy3Cam none;
        EXPECT_EQ(none.Enumerate(), 0) << "no virtual cameras unless asked for";
    }
    setenv("ORVANE_VIRTUAL_CAMERAS", "30f0,3042", 1);
    {
        CKelCy3Cam ctl;
        ASSERT_EQ(ctl.Enumerate(), 2);
        EXPECT_EQ(ctl.GetEntry(1).productId, 0x3042);
        CKelCy3Cam other;  // same process, same cameras
        ASSERT_EQ(ctl.SelectDevice(0), 1);
        ASSERT_EQ(other.SelectDevice(0), 1);
        ASSERT_EQ(ctl.WriteFpgaRegister(7, 0x21), 1);
        uint8_t v = 0;
        ASSERT_EQ(other.ReadFpgaRegister(7, &v), 1);
        EXPECT_EQ(v, 0x21);
    }
    unsetenv("ORVANE_VIRTUAL_CAMERAS");
}

// A controller on camera 0 of `list`, ready to read frames.
class Frames : public ::testing::Test {
  protected:
    void open(const std::string& list) {
        cams = std::make_unique<ScopedVirtualCameras>(list);
        ctl = std::make_unique<CKelCy3Cam>();
        ASSERT_GE(ctl->Enumerate(), 1);
        ASSERT_EQ(ctl->SelectDevice(0), 1);
        ASSERT_EQ(ctl->PrepareStreaming(), 1);
        ASSERT_EQ(ctl->OpenStreamHandle(), 1);
        record.payload = payload.data();
        record.capacity = static_cast<uint32_t>(payload.size());
    }
    VirtualCamera& camera() { return cams->camera(0); }
    bool readFrame() {
        return ctl->ReadFrameHeader(&record) == 1 && ctl->ReadFramePayload(&record, 2000) == 1;
    }
    void sensorWrite(uint16_t reg, uint8_t value) {
        const uint8_t bytes[3] = {static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg), value};
        ASSERT_EQ(ctl->BusWrite(0x48, bytes, 3), 1);
    }
    void setWindow(int x, int w, int y, int h) {
        sensorWrite(0x039C, x & 0xFF);
        sensorWrite(0x039D, (x >> 8) & 0x07);
        sensorWrite(0x039E, w & 0xFF);
        sensorWrite(0x039F, (w >> 8) & 0x0F);
        sensorWrite(0x03A0, y & 0xFF);
        sensorWrite(0x03A1, (y >> 8) & 0x0F);
        sensorWrite(0x03A2, h & 0xFF);
        sensorWrite(0x03A3, (h >> 8) & 0x1F);
    }
    uint16_t sample16(size_t i) const {
        return static_cast<uint16_t>(payload[2 * i] | payload[2 * i + 1] << 8);
    }
    double mean8(size_t n) const {
        return std::accumulate(payload.begin(), payload.begin() + static_cast<long>(n), 0.0) / n;
    }

    std::unique_ptr<ScopedVirtualCameras> cams;
    std::unique_ptr<CKelCy3Cam> ctl;
    std::vector<uint8_t> payload = std::vector<uint8_t>(3072u * 2048u * 2u);
    FrameRecord record;
};

TEST_F(Frames, FlatSceneIn8And16BitTransfer) {
    open("30f0:pace=fast:scene=flat:100");
    ASSERT_TRUE(readFrame());
    ASSERT_EQ(record.payloadBytes(), 3072u * 2048u);
    for (size_t i : {size_t{0}, size_t{3071}, size_t{3072u * 2048u - 1}})
        EXPECT_EQ(payload[i], 100);
    ASSERT_EQ(ctl->WriteFpgaRegister(0x3C, 2), 1);
    ASSERT_TRUE(readFrame());
    ASSERT_EQ(record.payloadBytes(), 3072u * 2048u * 2u);
    for (size_t i : {size_t{0}, size_t{5000}, size_t{3072u * 2048u - 1}})
        EXPECT_EQ(sample16(i), 1600);
}

TEST_F(Frames, SitesFollowTheWindowAndMirroring) {
    open("30f0:pace=fast:scene=sites:10/20/30");
    setWindow(0, 8, 0, 4);
    ASSERT_TRUE(readFrame());
    ASSERT_EQ(record.payloadBytes(), 32u);
    // Mirroring bits set: no mirroring. Blue at (0, 0).
    EXPECT_EQ(payload[0], 30);
    EXPECT_EQ(payload[1], 20);
    EXPECT_EQ(payload[8], 20);
    EXPECT_EQ(payload[9], 10);
    // Odd window origin: the mosaic shifts.
    setWindow(1, 8, 1, 4);
    ASSERT_TRUE(readFrame());
    EXPECT_EQ(payload[0], 10);
    // Horizontal mirror (bit 1 cleared): column 0 shows array column 7 (odd: green on row 0).
    setWindow(0, 8, 0, 4);
    sensorWrite(0x020F, 0x01);
    ASSERT_TRUE(readFrame());
    EXPECT_EQ(payload[0], 20);
    EXPECT_EQ(payload[7], 30);
    // Both mirrors: output row 0 is array row 3 (odd), column 0 array column 7: red.
    sensorWrite(0x020F, 0x00);
    ASSERT_TRUE(readFrame());
    EXPECT_EQ(payload[0], 10);
    EXPECT_EQ(payload[31], 30);
}

TEST_F(Frames, RampMovesWithTheFrameNumber) {
    open("30f0:pace=fast:scene=ramp");
    ASSERT_TRUE(readFrame());
    const uint32_t n = record.frameTag;
    auto expected = [&](uint32_t x, uint32_t y, uint32_t frame) {
        return (x + 2 * y + frame) % 256;
    };
    EXPECT_EQ(payload[0], expected(0, 0, n));
    EXPECT_EQ(payload[3072 * 5 + 300], expected(300, 5, n));
    EXPECT_EQ(payload[3072u * 2048u - 1], expected(3071, 2047, n));
    ASSERT_TRUE(readFrame());
    EXPECT_EQ(payload[3072 * 5 + 300], expected(300, 5, n + 1));
    ASSERT_EQ(ctl->WriteFpgaRegister(0x3C, 2), 1);
    ASSERT_TRUE(readFrame());
    EXPECT_EQ(sample16(3072 * 7 + 9), expected(9, 7, n + 2) * 16);
}

TEST_F(Frames, ChartBrightnessFollowsExposureAndGain) {
    open("30f0:pace=fast");
    const size_t rows = 3072u * 1600u;  // the patches, above the moving square
    ASSERT_TRUE(readFrame());
    const double base = mean8(rows);
    EXPECT_GT(base, 10.0);
    // Shorter exposure: frame length 2141, shutter 1070 -> 1071 lines, about half.
    sensorWrite(0x0234, 1070 & 0xFF);
    sensorWrite(0x0235, 1070 >> 8);
    ASSERT_TRUE(readFrame());
    const double half = mean8(rows);
    EXPECT_LT(half, base * 0.6);
    EXPECT_GT(half, base * 0.4);
    // More gain: brighter again.
    sensorWrite(0x021F, 160);
    ASSERT_TRUE(readFrame());
    EXPECT_GT(mean8(rows), half * 1.5);
    // 16-bit samples keep 12 significant bits.
    ASSERT_EQ(ctl->WriteFpgaRegister(0x3C, 2), 1);
    sensorWrite(0x021F, 255);
    sensorWrite(0x0220, 1);
    ASSERT_TRUE(readFrame());
    uint16_t highest = 0;
    for (size_t i = 0; i < 3072u * 2048u; i += 7) highest = std::max(highest, sample16(i));
    EXPECT_LE(highest, 4095);
    EXPECT_GT(highest, 2048);
}

TEST_F(Frames, HotAndDeadPixelsStayPut) {
    open("30f0:pace=fast:scene=flat:100:hot=4:dead=3");
    const auto& defects = camera().defectPixels();
    ASSERT_EQ(defects.size(), 7u);
    ASSERT_TRUE(readFrame());
    for (const auto& d : defects)
        EXPECT_EQ(payload[d.y * 3072u + d.x], d.hot ? 255 : 0) << d.x << "," << d.y;
    sensorWrite(0x020F, 0x01);  // horizontal mirror
    ASSERT_TRUE(readFrame());
    for (const auto& d : defects) EXPECT_EQ(payload[d.y * 3072u + (3071 - d.x)], d.hot ? 255 : 0);
}

TEST_F(Frames, UnplugAfterMakesThePathVanish) {
    open("30f0:pace=fast:scene=flat:1:unplug_after=2");
    EXPECT_TRUE(readFrame());
    EXPECT_TRUE(readFrame());
    EXPECT_FALSE(ctl->DevicePresent(0));
    EXPECT_FALSE(readFrame());
}

TEST_F(Frames, RealtimePacingFollowsTheFrameLength) {
    open("30f0:scene=flat:1");
    ASSERT_TRUE(readFrame());
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(readFrame());
    // 2141 lines of 9.34 us: 20 ms from one frame to the next (the first of the four may be
    // due already when a slow reader gets to it).
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3 * 19));
}

TEST_F(Frames, ExposuresLongerThanTheHeaderTimeoutArriveAfterRetries) {
    open("30f0:scene=flat:1");
    // 20000 lines: about 187 ms per frame, longer than one 100 ms header read.
    sensorWrite(0x022C, 20000 & 0xFF);
    sensorWrite(0x022D, 20000 >> 8);
    ASSERT_TRUE(readFrame());
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(readFrame());
    ASSERT_TRUE(readFrame());
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(180));
}

TEST_F(Frames, StreamResetDropsTheFrameInFlight) {
    open("30f0:pace=fast:scene=flat:1");
    ASSERT_EQ(ctl->ReadFrameHeader(&record), 1);
    ASSERT_EQ(ctl->SendStreamReset(), 1);
    EXPECT_EQ(ctl->ReadFramePayload(&record, 100), 0);
}

}  // namespace
}  // namespace orvane::sim
