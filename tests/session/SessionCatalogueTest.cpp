// The camera session through the public interface, against virtual cameras: device
// selection and naming, filter values, exposure, registers and configuration memory.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "OrvaneSdk.h"
#include "sim/VirtualCameraSystem.h"
#include "support/WideText.h"

namespace {

using orvane::sim::ScopedVirtualCameras;

class OneCamera : public testing::Test {
  protected:
    void SetUp() override {
        handle_ = Orvane_Initialize(nullptr);
        ASSERT_NE(handle_, 0u);
        ASSERT_EQ(Orvane_GetLastError(handle_), 0);
    }
    void TearDown() override { Orvane_Release(handle_); }
    ScopedVirtualCameras cams_{"30f0:pace=fast"};
    ORVANE_HANDLE handle_ = 0;
};

TEST_F(OneCamera, IsOpenedAsDeviceZeroWithoutBeingSelected) {
    int ok = 0;
    // FPGA register access needs an open camera.
    EXPECT_EQ(Orvane_Fpga_WriteRegister(handle_, 0x20, 0x5A), 1);
    EXPECT_EQ(cams_.camera(0).fpgaRegister(0x20), 0x5A);
    EXPECT_EQ(Orvane_Fpga_ReadRegister(handle_, 0x20, &ok), 0x5A);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(Orvane_GetGlobalGain(handle_, &ok), 100) << "the sensor starts at its default";
}

TEST_F(OneCamera, FilterValuesAcceptTheirRangesAndRefuseOneStepOutside) {
    struct Range {
        int id;
        int lo;
        int hi;
    };
    const Range ranges[] = {{1, -255, 255},  {2, -127, 127},  {3, -360, 360},  {4, -255, 255},
                            {5, 0, 30},      {7, 0, 400},     {8, 0, 400},     {9, 0, 400},
                            {11, 0, 200},    {12, 0, 3},      {13, 0, 511},    {14, 0, 0},
                            {15, 0, 0},      {16, 0, 0},      {17, 0, 0},      {18, 1, 30000},
                            {19, 0, 2},      {20, 0, 255},    {21, 0, 255},    {22, 0, 255},
                            {23, 0, 255},    {24, -255, 255}, {25, -255, 255}, {26, -255, 255},
                            {27, -255, 255}, {102, 0, 1},     {103, 0, 1}};
    for (const Range& r : ranges) {
        for (int v : {r.lo, r.hi}) {
            EXPECT_EQ(Orvane_SetFilterValue(handle_, r.id, v), 1) << r.id << " = " << v;
            EXPECT_EQ(Orvane_GetLastError(handle_), 0) << r.id;
            int ok = 0;
            const int back = Orvane_GetFilterValue(handle_, r.id, &ok);
            EXPECT_EQ(ok, 1) << r.id;
            if (r.id != 18 || v != 30000) {
                EXPECT_EQ(back, v) << r.id;
            }
        }
        for (int v : {r.lo - 1, r.hi + 1}) {
            EXPECT_EQ(Orvane_SetFilterValue(handle_, r.id, v), 0) << r.id << " = " << v;
            EXPECT_EQ(Orvane_GetLastError(handle_), 9) << r.id << " = " << v;
        }
    }
    EXPECT_EQ(Orvane_SetFilterValue(handle_, 50, 0), 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 9);
    int ok = 1;
    EXPECT_EQ(Orvane_GetFilterValue(handle_, 28, &ok), 0);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 9);
}

TEST_F(OneCamera, NamedWrappersAndPackedGains) {
    EXPECT_EQ(Orvane_SetBrightness(handle_, 256), 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 9);
    EXPECT_EQ(Orvane_SetBrightness(handle_, -255), 1);
    int ok = 0;
    EXPECT_EQ(Orvane_GetBrightness(handle_, &ok), -255);

    EXPECT_EQ(Orvane_SetBayerGainRGB(handle_, 0x112233), 1);
    EXPECT_EQ(Orvane_GetBayerGainRed(handle_, &ok), 0x33);
    EXPECT_EQ(Orvane_GetBayerGainGreen(handle_, &ok), 0x22);
    EXPECT_EQ(Orvane_GetBayerGainBlue(handle_, &ok), 0x11);
    EXPECT_EQ(Orvane_GetBayerGainRGB(handle_, &ok), 0x112233);
    EXPECT_EQ(Orvane_SetBayerGainAuto(handle_, 7), 1);
    EXPECT_EQ(Orvane_GetBayerGainAuto(handle_, &ok), 1);

    // The global gain reaches the sensor and becomes every colour gain of the session.
    EXPECT_EQ(Orvane_SetGlobalGain(handle_, 300), 1);
    const int low = cams_.camera(0).sensorRegister(0x021F);
    const int high = cams_.camera(0).sensorRegister(0x0220);
    EXPECT_EQ(low | (high << 8), 300);
}

TEST_F(OneCamera, ChannelGainsAreNotFilters) {
    int ok = 1;
    EXPECT_EQ(Orvane_GetChannelGain(handle_, 5, &ok), 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 0) << "channel 5 is ignored without a record";
    EXPECT_EQ(Orvane_GetChannelGain(handle_, 1, &ok), 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 9);
    EXPECT_EQ(Orvane_SetChannelOffset(handle_, 4, 1), 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 9);
}

TEST_F(OneCamera, TemperatureAndCoolerAreNotOffered) {
    int ok = 1;
    EXPECT_EQ(Orvane_GetTemperature(handle_, &ok), -1);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 11);
    EXPECT_EQ(Orvane_SetFilterValue(handle_, 101, 1), 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 9);
    ok = 1;
    EXPECT_EQ(Orvane_GetTemperatureEx(handle_, &ok), 0.0);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 11);
    EXPECT_EQ(Orvane_SetPeltier(handle_, 1), 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 11);
    EXPECT_EQ(Orvane_GetPeltier(handle_, &ok), -1);
    EXPECT_EQ(Orvane_GetLastError(handle_), 11);
    EXPECT_EQ(Orvane_SetFilterValue(handle_, 104, 1), 0) << "gain mode is refused quietly";
    EXPECT_EQ(Orvane_GetLastError(handle_), 0);
    EXPECT_EQ(Orvane_GetFilterValue(handle_, 104, &ok), -1);
    EXPECT_EQ(Orvane_SetFilterValue(handle_, 105, 1), 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 11);
    EXPECT_EQ(Orvane_SetExposureTimeEx(handle_, 0.01), 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 11);
    EXPECT_EQ(Orvane_GetExposureTimeEx(handle_, &ok), -1.0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 11);
}

TEST_F(OneCamera, ExposureIsClampedBySensorButKeptBySession) {
    EXPECT_EQ(Orvane_SetExposureTime(handle_, 30000), 1);
    int ok = 0;
    EXPECT_EQ(Orvane_GetExposureTime(handle_, &ok), 6121);
    EXPECT_EQ(Orvane_GetRealExposureTime(handle_, &ok), 3000000);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(Orvane_SetRealExposureTime(handle_, 20099), 1);  // 200 units, truncated
    EXPECT_EQ(Orvane_GetRealExposureTime(handle_, &ok), 20000);
    EXPECT_EQ(Orvane_SetRealExposureTime(handle_, 99), 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 9);
}

TEST_F(OneCamera, RegistersReachTheCamera) {
    int ok = 0;
    EXPECT_EQ(Orvane_WriteRegister(handle_, 0x0130, 0x1A7), 1);  // address cut to 8 bits
    EXPECT_EQ(cams_.camera(0).sensorRegister(0x0030), 0xA7);
    EXPECT_EQ(Orvane_ReadRegister(handle_, 0x30, &ok), 0xA7);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(Orvane_WriteRegisterEx(handle_, 0x3008, 0x12), 1);
    EXPECT_EQ(cams_.camera(0).sensorRegister(0x3008), 0x12);
    EXPECT_EQ(Orvane_ReadRegisterEx(handle_, 0x3008, &ok), 0x12);

    EXPECT_EQ(Orvane_SetIOPort(handle_, 0x3C), 1);
    EXPECT_EQ(cams_.camera(0).fpgaRegister(7), 0x3C);
    unsigned char port = 0;
    EXPECT_EQ(Orvane_GetIOPort(handle_, &port), 1);
    EXPECT_EQ(port, 0x3C);

    EXPECT_EQ(Orvane_WriteSromID(handle_, 0x1010, 0x77), 1);  // address cut to 12 bits
    EXPECT_EQ(Orvane_ReadSromID(handle_, 0x010, &ok), 0x77);
    EXPECT_EQ(ok, 1);
}

TEST_F(OneCamera, AFailingRegisterReadRecordsSix) {
    cams_.camera(0).setFailControl(true);
    int ok = 1;
    EXPECT_EQ(Orvane_Fpga_ReadRegister(handle_, 3, &ok), 0);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 6);
    EXPECT_EQ(Orvane_WriteRegister(handle_, 3, 3), 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 6);
    cams_.camera(0).setFailControl(false);
}

TEST_F(OneCamera, CameraInformationRecord) {
    OrvaneCameraInfo info;
    std::memset(&info, 0xEE, sizeof info);
    info.size = 35;
    EXPECT_EQ(Orvane_GetCameraInfo(handle_, &info), 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 5);
    EXPECT_EQ(Orvane_GetCameraInfo(handle_, nullptr), 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 9);

    info.size = 36;
    EXPECT_EQ(Orvane_GetCameraInfo(handle_, &info), 1);
    EXPECT_EQ(info.sensorWidth, 3072);
    EXPECT_EQ(info.sensorHeight, 2048);
    EXPECT_EQ(info.globalGainMin, 0);
    EXPECT_EQ(info.globalGainMax, 511);
    EXPECT_EQ(info.colorGainMin, 0);
    EXPECT_EQ(info.colorGainMax, 0);
    EXPECT_EQ(info.exposureMin, 1);
    EXPECT_EQ(info.exposureMax, 30000);
    uint32_t untouched;
    std::memcpy(&untouched, &info.reserved, 4);
    EXPECT_EQ(untouched, 0xEEEEEEEEu);
    uint8_t tail[16];
    std::memcpy(tail, &info.exposureSecondsMin, 16);
    for (uint8_t b : tail) EXPECT_EQ(b, 0xEE) << "a 36-byte record is not written past 36";

    info.size = 56;
    EXPECT_EQ(Orvane_GetCameraInfo(handle_, &info), 1);
    EXPECT_EQ(info.exposureSecondsMin, 0.0);
    EXPECT_EQ(info.exposureSecondsMax, 0.0);
}

TEST(TwoCameras, ACameraBehindAnUnpluggedOneIsStillListed) {
    ScopedVirtualCameras cams("30f0:pace=fast,30f0:pace=fast");
    const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
    cams.camera(0).unplug();
    char names[10][256];
    EXPECT_EQ(Orvane_EnumDevice(h, names), 1);
    EXPECT_STREQ(names[0], "OrvaneA06-USB3-Q7_01") << "entries are numbered as they are listed";
    EXPECT_STREQ(names[1], "");
    char name[64];
    EXPECT_EQ(Orvane_GetDeviceName(h, 1, name, sizeof name), 1);
    EXPECT_STREQ(name, "OrvaneA06-USB3-Q7_02") << "names by index follow the device index";
    EXPECT_EQ(Orvane_GetDeviceName(h, 0, name, sizeof name), 0);
    EXPECT_EQ(Orvane_Release(h), 1);
}

TEST(TwoCameras, AreNamedInOrderAndNamesNeverOverrunTheBuffer) {
    ScopedVirtualCameras cams("30f0:pace=fast,30f0:pace=fast");
    const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
    char names[10][256];
    EXPECT_EQ(Orvane_EnumDevice(h, names), 2);
    EXPECT_STREQ(names[0], "OrvaneA06-USB3-Q7_01");
    EXPECT_STREQ(names[1], "OrvaneA06-USB3-Q7_02");
    EXPECT_STREQ(names[2], "");

    OrvaneWChar wide[10][256];
    EXPECT_EQ(Orvane_EnumDeviceW(h, wide), 2);
    EXPECT_EQ(orvane::test::WideString(wide[1]), orvane::test::wideText(u"OrvaneA06-USB3-Q7_02"));

    char name[64];
    EXPECT_EQ(Orvane_GetDeviceName(h, 1, name, sizeof name), 1);
    EXPECT_STREQ(name, "OrvaneA06-USB3-Q7_02");
    for (int bad : {32, -1, 2}) {
        EXPECT_EQ(Orvane_GetDeviceName(h, bad, name, sizeof name), 0) << bad;
        EXPECT_EQ(Orvane_GetLastError(h), 2) << bad;
    }
    char small[24];
    std::memset(small, '#', sizeof small);
    EXPECT_EQ(Orvane_GetDeviceName(h, 0, small, 19), 0);
    EXPECT_EQ(Orvane_GetLastError(h), 9);
    for (int i = 0; i < 24; ++i) EXPECT_EQ(small[i], '#') << "byte " << i;
    EXPECT_EQ(Orvane_GetDeviceName(h, 0, small, 18), 0);
    EXPECT_EQ(Orvane_GetLastError(h), 9);
    OrvaneWChar wname[21];
    EXPECT_EQ(Orvane_GetDeviceNameW(h, 0, wname, 20), 0);
    EXPECT_EQ(Orvane_GetLastError(h), 12);
    EXPECT_EQ(Orvane_GetDeviceNameW(h, 0, wname, 21), 1);

    // Neither camera was opened at Initialize; selecting one opens it.
    EXPECT_EQ(Orvane_WriteRegister(h, 1, 1), 0);
    EXPECT_EQ(Orvane_GetLastError(h), 6);
    EXPECT_EQ(Orvane_SetDeviceNumber(h, 1), 1);
    EXPECT_EQ(Orvane_Fpga_WriteRegister(h, 0x21, 9), 1);
    EXPECT_EQ(cams.camera(1).fpgaRegister(0x21), 9);
    EXPECT_NE(cams.camera(0).fpgaRegister(0x21), 9);
    EXPECT_EQ(Orvane_SetDeviceNumber(h, 2), 0);
    EXPECT_EQ(Orvane_GetLastError(h), 2);
    Orvane_Release(h);
}

}  // namespace
