#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "FakeSensorBus.h"
#include "sensors/CSensorIMX178.h"
#include "sim/VirtualCameraSystem.h"
#include "transport/CKelCy3Cam.h"

namespace orvane::sensors {
namespace {

using test::BusAccess;
using Accesses = std::vector<BusAccess>;

BusAccess W(int reg, int value) {
    return {'W', reg, value};
}
BusAccess R(int reg, int value) {
    return {'R', reg, value};
}

// The sensor model on a virtual camera: what is checked is the traffic the camera received.
class Imx178 : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_GE(controller.Enumerate(), 1);
        ASSERT_EQ(controller.SelectDevice(0), 1);
        camera().clearRequestLog();
    }
    sim::VirtualCamera& camera() { return cams.camera(0); }
    // Sensor accesses decoded from the request log: three-byte bus writes to 0x48 are
    // register writes, two-byte ones address a register for the one-byte read that follows.
    Accesses log() {
        Accesses out;
        for (const auto& r : camera().requestLog()) {
            if (r.kind != sim::LoggedRequest::Kind::Control || r.request != 0x30 || r.index != 0x48)
                continue;
            const int reg = r.data[0] << 8 | r.data[1];
            if (r.value == 3) out.push_back(W(reg, r.data[2]));
            if (r.value == 2) out.push_back(R(reg, 0));
        }
        return out;
    }
    void clear() { camera().clearRequestLog(); }

    sim::ScopedVirtualCameras cams{"30f0"};
    transport::CKelCy3Cam controller;
    CSensorIMX178 sensor{&controller};
};

// The rules about which bus results count, with failures injected per register.
class Imx178Failures : public testing::Test {
  protected:
    test::FakeSensorBus bus;
    CSensorIMX178 sensor{&bus};
};

TEST_F(Imx178, ApplyDefaultsProgramsTheDocumentedTable) {
    camera().setSensorRegister(0x020F, 0xF0);
    ASSERT_EQ(sensor.ApplyDefaults(), 1);
    const Accesses expected = {
        W(0x021F, 0x64), W(0x0220, 0x00), W(0x022C, 0x5D), W(0x022D, 0x08),
        W(0x022E, 0x00),                                    // frame length 2141
        W(0x0234, 0x00), W(0x0235, 0x00), W(0x0236, 0x00),  // shutter 0
        R(0x020F, 0),    W(0x020F, 0xF2),                   // mirror H off: set bit 1
        R(0x020F, 0),    W(0x020F, 0xF3),                   // mirror V off: set bit 0
        R(0x020F, 0),    W(0x020F, 0x03),                   // full window: bits 4-7 clear
        W(0x022C, 0x50), W(0x022D, 0x08), W(0x022E, 0x00),  // frame length 2128
        W(0x022F, 0xF9), W(0x0230, 0x01),                   // line length 505
        W(0x039C, 0x00), W(0x039D, 0x00), W(0x03A0, 0x00), W(0x03A1, 0x00),
        W(0x039E, 0x00), W(0x039F, 0x0C), W(0x03A2, 0x00), W(0x03A3, 0x08),
    };
    EXPECT_EQ(log(), expected);
    EXPECT_EQ(sensor.info().globalGain, 100);
    EXPECT_EQ(sensor.info().exposureLines, 2141);
}

TEST_F(Imx178, EveryWriteIsPrecededByAPause) {
    const auto start = std::chrono::steady_clock::now();
    sensor.ApplyDefaults();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(log().size(), 27u);  // 24 writes, 3 reads
    EXPECT_GE(elapsed, std::chrono::milliseconds(24));
}

TEST_F(Imx178, ExposureTimeConversion) {
    EXPECT_EQ(sensor.SetExposureTime(0), 0);
    EXPECT_TRUE(camera().requestLog().empty());

    // 1 (0.1 ms) is 10 lines: no stretch (current 2141 > 2138 restores the nominal frame).
    ASSERT_EQ(sensor.SetExposureTime(1), 1);
    EXPECT_EQ(log(), (Accesses{W(0x022C, 0x5A), W(0x022D, 0x08), W(0x022E, 0), W(0x0234, 0x50),
                               W(0x0235, 0x08), W(0x0236, 0)}));
    EXPECT_EQ(sensor.info().exposureLines, 10);
    EXPECT_EQ(sensor.info().exposureTime, 1);

    clear();
    ASSERT_EQ(sensor.SetExposureTime(200), 1);  // 2141 lines stretch the frame, shutter 0
    EXPECT_EQ(log(), (Accesses{W(0x022C, 0x5D), W(0x022D, 0x08), W(0x022E, 0), W(0x0234, 0),
                               W(0x0235, 0), W(0x0236, 0)}));
    EXPECT_EQ(sensor.info().exposureTime, 200);

    clear();
    ASSERT_EQ(sensor.SetExposureTime(30000), 1);  // clamped to 65535 lines
    EXPECT_EQ(log(), (Accesses{W(0x022C, 0xFF), W(0x022D, 0xFF), W(0x022E, 0), W(0x0234, 0),
                               W(0x0235, 0), W(0x0236, 0)}));
    EXPECT_EQ(sensor.info().exposureLines, 65535);
    EXPECT_EQ(sensor.info().exposureTime, 6121);

    clear();
    ASSERT_EQ(sensor.SetExposureTime(6121), 1);  // 65530 lines, stored as requested
    EXPECT_EQ(log(), (Accesses{W(0x022C, 0xFA), W(0x022D, 0xFF), W(0x022E, 0), W(0x0234, 0),
                               W(0x0235, 0), W(0x0236, 0)}));
    EXPECT_EQ(sensor.info().exposureLines, 65530);
    EXPECT_EQ(sensor.info().exposureTime, 6121);
}

TEST_F(Imx178, ShorterExposureRestoresTheNominalFrame) {
    ASSERT_EQ(sensor.SetExposureLines(2141), 1);
    clear();
    ASSERT_EQ(sensor.SetExposureLines(1000), 1);
    // Frame length back to 2138, shutter 2138 - 1000 = 1138.
    EXPECT_EQ(log(), (Accesses{W(0x022C, 0x5A), W(0x022D, 0x08), W(0x022E, 0), W(0x0234, 0x72),
                               W(0x0235, 0x04), W(0x0236, 0)}));
    clear();
    ASSERT_EQ(sensor.SetExposureLines(500), 1);  // no stretch to undo: shutter only
    EXPECT_EQ(log(), (Accesses{W(0x0234, 0x66), W(0x0235, 0x06), W(0x0236, 0)}));
}

TEST_F(Imx178Failures, OnlyTheCheckedWritesDecideTheResult) {
    bus.failWrites = {0x0234};
    EXPECT_EQ(sensor.SetExposureLines(1000), 0);
    EXPECT_EQ(sensor.info().exposureLines, 2141);
    EXPECT_EQ(sensor.SetExposureTime(100), 0);
    EXPECT_EQ(sensor.info().exposureTime, 200);

    bus.failWrites = {0x0235, 0x0236, 0x0220};
    EXPECT_EQ(sensor.SetExposureLines(1000), 1);
    EXPECT_EQ(sensor.SetGlobalGain(300), 1);
    EXPECT_EQ(sensor.info().globalGain, 300);

    bus.failWrites = {0x021F};
    EXPECT_EQ(sensor.SetGlobalGain(7), 0);
    EXPECT_EQ(sensor.info().globalGain, 300);
}

TEST_F(Imx178, MirrorBitsAreClearedToMirror) {
    camera().setSensorRegister(0x020F, 0xA5);  // bit 0 set, bit 1 clear
    ASSERT_EQ(sensor.SetMirrorH(1), 1);
    EXPECT_EQ(log(), (Accesses{R(0x020F, 0), W(0x020F, 0xA5)}));
    clear();
    ASSERT_EQ(sensor.SetMirrorH(0), 1);
    EXPECT_EQ(log(), (Accesses{R(0x020F, 0), W(0x020F, 0xA7)}));
    clear();
    ASSERT_EQ(sensor.SetMirrorV(1), 1);
    EXPECT_EQ(log(), (Accesses{R(0x020F, 0), W(0x020F, 0xA6)}));
    int on = 0;
    EXPECT_EQ(sensor.GetMirrorV(&on), 1);
    EXPECT_EQ(on, 1);
    EXPECT_EQ(sensor.GetMirrorH(&on), 1);
    EXPECT_EQ(on, 0);
}

TEST_F(Imx178Failures, MirrorChecksTheReadAndTheWrite) {
    bus.registers[0x020F] = 0x03;
    bus.failReads = {0x020F};
    EXPECT_EQ(sensor.SetMirrorH(1), 0);
    EXPECT_TRUE(bus.writes().empty());
    EXPECT_EQ(sensor.info().mirrorH, 0);
    bus.failReads.clear();
    bus.failWrites = {0x020F};
    EXPECT_EQ(sensor.SetMirrorV(1), 0);
    EXPECT_EQ(sensor.info().mirrorV, 0);
}

TEST_F(Imx178, WindowAlignmentAndRange) {
    EXPECT_EQ(sensor.SetWindow(1, 3069, 0, 2048, 0), 0);  // X 4 + W 3072 > 3072
    EXPECT_EQ(sensor.SetWindow(0, 3072, 1, 2047, 0), 0);  // Y 2 + H 2048 > 2048
    EXPECT_EQ(sensor.SetWindow(-8, 3072, 0, 2048, 0), 0);
    EXPECT_EQ(sensor.SetWindow(0, 0, 0, 2048, 0), 0);
    EXPECT_EQ(sensor.SetWindow(0x7FFFFFFF, 8, 0, 2048, 0), 0);
    EXPECT_TRUE(camera().requestLog().empty());

    camera().setSensorRegister(0x020F, 0xE3);
    ASSERT_EQ(sensor.SetWindow(5, 1021, 3, 765, 0), 1);  // aligns to 8, 1024, 4, 766
    const Accesses expected = {
        R(0x020F, 0),    W(0x020F, 0x13), W(0x022C, 0x50), W(0x022D, 0x08), W(0x022E, 0x00),
        W(0x022F, 0xF9), W(0x0230, 0x01), W(0x039C, 0x08), W(0x039D, 0x00), W(0x03A0, 0x04),
        W(0x03A1, 0x00), W(0x039E, 0x00), W(0x039F, 0x04), W(0x03A2, 0xFE), W(0x03A3, 0x02),
    };
    EXPECT_EQ(log(), expected);
    int x, w, y, h, m;
    sensor.GetWindow(&x, &w, &y, &h, &m);
    EXPECT_EQ(std::vector<int>({x, w, y, h, m}), std::vector<int>({8, 1024, 4, 766, 0}));
}

TEST_F(Imx178, WindowModeIsNotStored) {
    camera().setSensorRegister(0x020F, 0x13);
    ASSERT_EQ(sensor.SetWindow(0, 3072, 0, 2048, 5), 1);
    const Accesses expected = {
        R(0x020F, 0),    W(0x020F, 0x03), W(0x022C, 0x50), W(0x022D, 0x08), W(0x022E, 0x00),
        W(0x022F, 0xF9), W(0x0230, 0x01), W(0x039C, 0x00), W(0x039D, 0x00), W(0x03A0, 0x00),
        W(0x03A1, 0x00), W(0x039E, 0x00), W(0x039F, 0x0C), W(0x03A2, 0x00), W(0x03A3, 0x08),
    };
    EXPECT_EQ(log(), expected);
    int x, w, y, h, m = -1;
    sensor.GetWindow(&x, &w, &y, &h, &m);
    EXPECT_EQ(m, 0);
}

TEST_F(Imx178Failures, AFailedReadSkipsTheControlRegister) {
    bus.failReads = {0x020F};
    ASSERT_EQ(sensor.SetWindow(0, 3072, 0, 2048, 0), 1);
    EXPECT_EQ(bus.writes().size(), 13u);  // no 0x020F write
    EXPECT_EQ(bus.writes().front(), W(0x022C, 0x50));
}

TEST_F(Imx178, TriggerBit) {
    camera().setSensorRegister(0x0208, 0x42);
    ASSERT_EQ(sensor.SetTriggerMode(1), 1);
    EXPECT_EQ(camera().sensorRegister(0x0208), 0x43);
    ASSERT_EQ(sensor.SetTriggerMode(0), 1);
    EXPECT_EQ(camera().sensorRegister(0x0208), 0x42);
    EXPECT_EQ(log(), (Accesses{R(0x0208, 0), W(0x0208, 0x43), R(0x0208, 0), W(0x0208, 0x42)}));
    camera().setSensorRegister(0x2008, 0x03);
    int on = 0;
    ASSERT_EQ(sensor.GetTriggerMode(&on), 1);
    EXPECT_EQ(on, 1);
    camera().setFailControl(true);
    EXPECT_EQ(sensor.SetTriggerMode(1), 0);
    EXPECT_EQ(sensor.GetTriggerMode(&on), 0);
}

}  // namespace
}  // namespace orvane::sensors
