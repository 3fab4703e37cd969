#include <gtest/gtest.h>

#include <cstring>

#include "FakeSensorBus.h"
#include "sensors/CSensorBase.h"
#include "sensors/CSensorIMX178.h"

namespace orvane::sensors {
namespace {

// A model that fills every word of the block with a distinct value, doubles included.
class PatternSensor : public CSensorBase {
  public:
    PatternSensor() : CSensorBase(nullptr, 0x10) {
        auto* words = reinterpret_cast<unsigned char*>(&info_);
        for (size_t i = 0; i < sizeof(info_); ++i) words[i] = static_cast<unsigned char>(i * 7);
        info_.exposureTimeExMin = 0.125;
        info_.exposureTimeExDefault = 1e-3;
        info_.exposureTimeExSupported = 1;
    }
};

TEST(SensorBase, GetSensorInfoCopiesTheWholeBlock) {
    PatternSensor sensor;
    EXPECT_EQ(sensor.GetSensorInfo(nullptr), 0);
    SensorInfo copy;
    std::memset(&copy, 0xEE, sizeof(copy));
    ASSERT_EQ(sensor.GetSensorInfo(&copy), 1);
    EXPECT_EQ(std::memcmp(&copy, &sensor.info(), sizeof(copy)), 0);
    EXPECT_EQ(copy.exposureTimeExMin, 0.125);
    EXPECT_EQ(copy.exposureTimeExDefault, 1e-3);
}

TEST(SensorBase, DefaultsReportUnsupported) {
    CSensorBase sensor(nullptr, 0x48);
    int v = 77;
    double d = 5.0;
    EXPECT_EQ(sensor.Initialize(), 0);
    EXPECT_EQ(sensor.ApplyDefaults(), 0);
    EXPECT_EQ(sensor.SetWindow(0, 3072, 0, 2048, 0), 0);
    EXPECT_EQ(sensor.SetExposureTime(200), 0);
    EXPECT_EQ(sensor.GetGlobalGain(&v), 0);
    EXPECT_EQ(sensor.WriteRegister(0x100, 1), 0);
    EXPECT_EQ(sensor.ReadRegister(0x100, &v), 0);
    EXPECT_EQ(v, 77);
    EXPECT_EQ(sensor.GetGainMode(), -1);
    EXPECT_EQ(sensor.GetExtraMode(), -1);
    EXPECT_EQ(sensor.HasTemperature(), 0);
    EXPECT_EQ(sensor.GetTemperature(&d), 0);
    // Level, gain step and extended exposure report the field with the supported word.
    EXPECT_EQ(sensor.GetLevel(&v), 0);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(sensor.GetExposureTimeExMax(&d), 0.0);
    EXPECT_EQ(sensor.HasHardwareMirrorH(), 0);
    // Option word and model variant are the base's own state.
    EXPECT_EQ(sensor.SetOptionFlags(0x10000), 1);
    EXPECT_EQ(sensor.GetOptionFlags(), 0x10000);
    EXPECT_EQ(sensor.SetModelVariant(3), 1);
    EXPECT_EQ(sensor.modelVariant(), 3);
}

TEST(SensorBase, ImxWithoutControllerFailsEveryRegisterOperation) {
    CSensorIMX178 sensor(nullptr);
    int v = -1;
    EXPECT_EQ(sensor.WriteRegister(0x021F, 1), 0);
    EXPECT_EQ(sensor.ReadRegister(0x020F, &v), 0);
    EXPECT_EQ(v, -1);
    EXPECT_EQ(sensor.SetGlobalGain(300), 0);
    EXPECT_EQ(sensor.SetExposureTime(500), 0);
    EXPECT_EQ(sensor.SetMirrorH(1), 0);
    EXPECT_EQ(sensor.SetTriggerMode(1), 0);
    EXPECT_EQ(sensor.info().globalGain, 0);
    EXPECT_EQ(sensor.info().exposureTime, 200);
    EXPECT_EQ(sensor.info().exposureLines, 2141);
    EXPECT_EQ(sensor.info().mirrorH, 0);
    // The window passes its range test and is stored although nothing reached the sensor.
    EXPECT_EQ(sensor.SetWindow(4, 1024, 2, 512, 0), 1);
    int x, w, y, h, m;
    EXPECT_EQ(sensor.GetWindow(&x, &w, &y, &h, &m), 1);
    EXPECT_EQ(x, 4);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(y, 2);
    EXPECT_EQ(h, 512);
}

TEST(SensorBase, ImxInformationBlock) {
    CSensorIMX178 sensor(nullptr);
    const SensorInfo& i = sensor.info();
    EXPECT_EQ(i.maxWidth, 3072);
    EXPECT_EQ(i.maxHeight, 2048);
    EXPECT_EQ(i.defaultWindowWidth, 3072);
    EXPECT_EQ(i.horizontalWindowAllowed, 0);
    EXPECT_EQ(i.lineLength, 3400);
    EXPECT_EQ(i.frameLength, 2138);
    EXPECT_EQ(i.clockKHz, 364000);
    EXPECT_EQ(i.flagWord22, 1);
    EXPECT_EQ(i.flagWord27, 1);
    EXPECT_EQ(i.mirrorVHardware, 1);
    EXPECT_EQ(i.mirrorHHardware, 1);
    EXPECT_EQ(i.orientation, 0);
    EXPECT_EQ(sensor.busAddress(), 0x48);
    int v = 0;
    EXPECT_EQ(sensor.GetGlobalGainMax(&v), 1);
    EXPECT_EQ(v, 511);
    EXPECT_EQ(sensor.GetExposureTimeMax(&v), 1);
    EXPECT_EQ(v, 30000);
    EXPECT_EQ(sensor.GetColorGainMax(&v), 1);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(sensor.Initialize(), 1);
    EXPECT_EQ(sensor.Command(0, &v), 1);
}

}  // namespace
}  // namespace orvane::sensors
