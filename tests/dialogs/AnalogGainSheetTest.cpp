// The analog gain sheet drives the device at once: row bindings, hidden rows for missing
// features, exposure as a time with units, Default, OK and Cancel.
#include <gtest/gtest.h>

#include "FakeDevice.h"
#include "dialogs/AnalogGainSheet.h"

namespace {

using namespace orvane::dialogs;
using orvane::platform::CriticalSection;
using orvane::test::FakeDevice;
using A = AnalogGainSheet;

struct AnalogGainSheetTest : testing::Test {
    FakeDevice device;
    CameraValues record{};
    double seconds = 0.0;
    CriticalSection lock;
    A open() { return A(device, record, seconds, lock, Language::English); }
};

TEST(AnalogGainFormat, UnitsAndNumbers) {
    EXPECT_EQ(A::timeUnit(1.5), 3);
    EXPECT_EQ(A::timeUnit(1.0), 2);
    EXPECT_EQ(A::timeUnit(0.001), 2);
    EXPECT_EQ(A::timeUnit(0.0009), 1);
    EXPECT_EQ(A::timeUnit(0.000001), 1);
    EXPECT_EQ(A::timeUnit(0.0000005), 0);
    EXPECT_STREQ(A::unitCaption(1), "μs");
    EXPECT_STREQ(A::unitCaption(3), "sec");
    EXPECT_EQ(A::formatNumber(2.5), "2.500");
    EXPECT_EQ(A::formatNumber(20.0), "20");
    EXPECT_EQ(A::formatNumber(3.000004), "3.000004");
    EXPECT_EQ(A::formatNumber(7.0000000001), "7");
    EXPECT_EQ(A::formatNumber(1e12), "2147483647");  // held to the integer range
}

TEST_F(AnalogGainSheetTest, OpeningReadsTheDeviceAndHidesMissingFeatures) {
    A sheet = open();
    EXPECT_EQ(record[camera::kGlobalGain], 150);
    EXPECT_EQ(record[camera::kGreen2], 83);
    EXPECT_EQ(record[camera::kMirrorH], 1);
    const Page& p = sheet.gainPage();
    EXPECT_EQ(sheet.tabCaptions(), std::vector<std::string>{"Analog Gain"});
    const Control& global = p.control(A::kIdGlobalTrackbar);
    EXPECT_EQ(global.maximum, 511);
    EXPECT_EQ(global.tickFrequency, 511 / 8);
    EXPECT_EQ(global.position, 150);
    EXPECT_TRUE(p.enabled(A::kIdGlobalEdit));
    EXPECT_EQ(p.text(A::kIdRedEdit), "81");
    EXPECT_EQ(p.control(A::kIdRedTrackbar).maximum, 255);
    for (int id : {A::kIdGreen1Edit, A::kIdRedTrackbar, A::kIdBlueUpDown, A::kIdGreen2Edit})
        EXPECT_FALSE(p.enabled(id)) << id;
    EXPECT_EQ(p.control(A::kIdExposureTrackbar).maximum, 30000);
    EXPECT_EQ(p.text(A::kIdMillisecondLabel), "=20.00ms");
    EXPECT_FALSE(p.checked(A::kIdMirrorV));
    EXPECT_TRUE(p.checked(A::kIdMirrorH));
    for (int id : {A::kIdTimeEdit, A::kIdTimeUnitList, A::kIdTimeRangeLabel, A::kIdTimeLabel,
                   A::kIdLevelLabel, A::kIdLevelTrackbar, A::kIdLevelEdit, A::kIdLevelUpDown,
                   A::kIdPeltier, A::kIdShortExposure, A::kIdGainModeList})
        EXPECT_FALSE(p.shown(id)) << id;
    EXPECT_TRUE(p.shown(A::kIdExposureEdit));
}

TEST_F(AnalogGainSheetTest, GainAndExposureChangesReachTheDeviceAtOnce) {
    A sheet = open();
    Page& p = sheet.gainPage();
    p.onEditChanged(A::kIdGlobalEdit, "300");
    EXPECT_EQ(device.globalGain, 300);
    EXPECT_EQ(record[camera::kGlobalGain], 300);
    EXPECT_EQ(p.position(A::kIdGlobalTrackbar), 300);
    p.onScroll(A::kIdGlobalTrackbar, 42);
    EXPECT_EQ(p.text(A::kIdGlobalEdit), "42");
    EXPECT_EQ(device.globalGain, 42);
    p.onEditChanged(A::kIdGlobalEdit, "");  // cleared while typing: nothing sent
    EXPECT_EQ(device.globalGain, 42);
    p.onEditChanged(A::kIdRedEdit, "1");  // colour gains are shown only
    EXPECT_EQ(device.red, 81);

    p.onEditChanged(A::kIdExposureEdit, "350");
    EXPECT_EQ(device.exposure, 350);
    EXPECT_EQ(record[camera::kExposure], 350);
    EXPECT_EQ(p.text(A::kIdMillisecondLabel), "=35.00ms");
    p.onScroll(A::kIdExposureTrackbar, 10);
    EXPECT_EQ(device.exposure, 10);
    EXPECT_EQ(p.text(A::kIdMillisecondLabel), "=1.00ms");
}

TEST_F(AnalogGainSheetTest, CheckBoxesAndOptionalFeatures) {
    device.levelSupported = device.peltierSupported = device.switchASupported = true;
    device.gainModeSupported = true;
    record[camera::kAutoIris] = 2;
    record[camera::kBlackLevel] = 33;
    record[camera::kShortExposure] = 1;
    A sheet = open();
    Page& p = sheet.gainPage();
    EXPECT_TRUE(p.checked(A::kIdAutoIrisGain));
    EXPECT_EQ(p.text(A::kIdLevelEdit), "33");
    EXPECT_EQ(p.control(A::kIdGainModeList).items,
              (std::vector<std::string>{"High Gain", "Low Gain"}));
    EXPECT_EQ(p.selection(A::kIdGainModeList), 1);
    EXPECT_TRUE(p.checked(A::kIdShortExposure));

    p.onCommand(A::kIdMirrorV, Notification::Clicked);
    EXPECT_EQ(device.mirrorV, 1);
    EXPECT_EQ(record[camera::kMirrorV], 1);
    p.onCommand(A::kIdAutoIrisExposure, Notification::Clicked);
    EXPECT_FALSE(p.checked(A::kIdAutoIrisGain));
    EXPECT_EQ(record[camera::kAutoIris], 1);
    p.onCommand(A::kIdAutoIrisExposure, Notification::Clicked);
    EXPECT_EQ(record[camera::kAutoIris], 0);
    p.onCommand(A::kIdPeltier, Notification::Clicked);
    EXPECT_EQ(device.peltier, 1);
    EXPECT_EQ(record[camera::kPeltier], 1);
    p.onCommand(A::kIdShortExposure, Notification::Clicked);
    EXPECT_EQ(device.switchA, 0);
    p.onSelectionChanged(A::kIdGainModeList, 0);
    EXPECT_EQ(device.gainMode, 0);
    EXPECT_EQ(record[camera::kGainMode], 0);
    p.onEditChanged(A::kIdLevelEdit, "70");
    EXPECT_EQ(device.level, 70);
    EXPECT_EQ(record[camera::kBlackLevel], 70);
}

TEST_F(AnalogGainSheetTest, GainModeTheDeviceCannotTellHidesTheList) {
    device.gainModeSupported = true;
    device.gainMode = -1;
    A sheet = open();
    EXPECT_FALSE(sheet.gainPage().shown(A::kIdGainModeList));
}

TEST_F(AnalogGainSheetTest, ExposureTimeWithUnits) {
    device.timeSupported = true;
    device.timeMin = 0.00005;  // 50 μs
    device.timeMax = 10.0;     // 10 sec
    device.seconds = 0.02;
    A sheet = open();
    Page& p = sheet.gainPage();
    EXPECT_DOUBLE_EQ(seconds, 0.02);
    for (int id : {A::kIdExposureTrackbar, A::kIdExposureEdit, A::kIdExposureUpDown,
                   A::kIdExposureLabel, A::kIdMillisecondLabel})
        EXPECT_FALSE(p.shown(id)) << id;
    EXPECT_EQ(p.control(A::kIdTimeUnitList).items, (std::vector<std::string>{"μs", "ms", "sec"}));
    EXPECT_EQ(p.selectedText(A::kIdTimeUnitList), "ms");
    EXPECT_EQ(p.text(A::kIdTimeEdit), "20");
    EXPECT_EQ(p.text(A::kIdTimeRangeLabel), "range: 50μs - 10sec");
    EXPECT_EQ(device.setTimeCalls, 0);

    p.onEditChanged(A::kIdTimeEdit, "2.5");
    EXPECT_DOUBLE_EQ(device.seconds, 0.0025);
    EXPECT_DOUBLE_EQ(seconds, 0.0025);
    EXPECT_EQ(record[camera::kExposure], 25);
    EXPECT_EQ(p.text(A::kIdExposureEdit), "25");
    EXPECT_EQ(device.setExposureCalls, 0);  // the count shown was not sent back

    // A new unit shows the same time without setting it.
    p.onSelectionChanged(A::kIdTimeUnitList, 0);
    EXPECT_EQ(p.text(A::kIdTimeEdit), "2500");
    EXPECT_EQ(device.setTimeCalls, 1);
    p.onEditChanged(A::kIdTimeEdit, "300");  // now in μs
    EXPECT_DOUBLE_EQ(device.seconds, 0.0003);
    p.onSelectionChanged(A::kIdTimeUnitList, 2);
    p.onEditChanged(A::kIdTimeEdit, "1.5");
    EXPECT_DOUBLE_EQ(device.seconds, 1.5);
    for (const char* partial : {"", "-", "1,5", "-2", "x"})
        p.onEditChanged(A::kIdTimeEdit, partial);
    EXPECT_DOUBLE_EQ(device.seconds, 1.5);
    EXPECT_EQ(device.setTimeCalls, 3);
    // The next change after the page's own writes is the user's again.
    p.onEditChanged(A::kIdTimeEdit, "2");
    EXPECT_DOUBLE_EQ(device.seconds, 2.0);
}

TEST_F(AnalogGainSheetTest, CancelPutsTheDeviceBack) {
    device.levelSupported = device.gainModeSupported = true;
    A sheet = open();
    const CameraValues opened = record;
    Page& p = sheet.gainPage();
    p.onEditChanged(A::kIdGlobalEdit, "400");
    p.onCommand(A::kIdMirrorV, Notification::Clicked);
    p.onCommand(A::kIdMirrorH, Notification::Clicked);
    p.onEditChanged(A::kIdExposureEdit, "999");
    p.onEditChanged(A::kIdLevelEdit, "1");
    p.onSelectionChanged(A::kIdGainModeList, 0);
    p.onCommand(A::kIdAutoIrisGain, Notification::Clicked);
    sheet.onButton(kIdCancel);

    EXPECT_EQ(sheet.result(), kResultCancel);
    EXPECT_EQ(device.globalGain, 150);
    EXPECT_EQ(device.mirrorV, 0);
    EXPECT_EQ(device.mirrorH, 1);
    EXPECT_EQ(device.exposure, 200);
    EXPECT_EQ(device.level, opened[camera::kBlackLevel]);
    EXPECT_EQ(device.gainMode, 1);
    EXPECT_EQ(record, opened);
}

TEST_F(AnalogGainSheetTest, CancelRestoresTheExposureTime) {
    device.timeSupported = true;
    device.seconds = 0.5;
    A sheet = open();
    sheet.gainPage().onEditChanged(A::kIdTimeEdit, "900");
    EXPECT_DOUBLE_EQ(device.seconds, 0.9);
    sheet.cancel();
    EXPECT_DOUBLE_EQ(device.seconds, 0.5);
    EXPECT_DOUBLE_EQ(seconds, 0.5);
}

TEST_F(AnalogGainSheetTest, DefaultSetsTheDeviceDefaults) {
    device.levelSupported = device.peltierSupported = device.switchASupported = true;
    device.gainModeSupported = true;
    A sheet = open();
    sheet.onButton(kIdDefault);
    EXPECT_TRUE(sheet.isOpen());
    EXPECT_EQ(device.globalGain, 100);
    for (int g : {device.green1, device.red, device.blue, device.green2}) EXPECT_EQ(g, 64);
    EXPECT_EQ(device.exposure, 200);
    EXPECT_EQ(device.level, 16);
    EXPECT_EQ(device.peltier, 1);
    EXPECT_EQ(device.switchA, 0);
    EXPECT_EQ(device.gainMode, 0);
    EXPECT_EQ(record[camera::kGlobalGain], 100);
    EXPECT_EQ(record[camera::kBlue], 64);
    EXPECT_EQ(record[camera::kBlackLevel], 16);
    EXPECT_EQ(record[camera::kPeltier], 1);
    const Page& p = sheet.gainPage();
    EXPECT_EQ(p.text(A::kIdGlobalEdit), "100");
    EXPECT_EQ(p.text(A::kIdGreen2Edit), "64");
    EXPECT_TRUE(p.checked(A::kIdPeltier));
    EXPECT_FALSE(p.checked(A::kIdShortExposure));
    EXPECT_EQ(p.selection(A::kIdGainModeList), 0);
}

TEST_F(AnalogGainSheetTest, DefaultWithExposureTimeSetsTheDefaultTime) {
    device.timeSupported = true;
    device.timeDefault = 0.04;
    A sheet = open();
    sheet.defaults();
    EXPECT_DOUBLE_EQ(device.seconds, 0.04);
    EXPECT_EQ(device.setExposureCalls, 0);
    EXPECT_EQ(sheet.gainPage().text(A::kIdTimeEdit), "40");
}

TEST_F(AnalogGainSheetTest, OkStoresTheEditsAndKeepsTheDevice) {
    device.peltierSupported = true;
    A sheet = open();
    Page& p = sheet.gainPage();
    p.onEditChanged(A::kIdGlobalEdit, "222");
    p.onCommand(A::kIdPeltier, Notification::Clicked);
    sheet.onButton(kIdOk);
    EXPECT_EQ(sheet.result(), kResultOk);
    EXPECT_EQ(device.globalGain, 222);
    EXPECT_EQ(record[camera::kGlobalGain], 222);
    EXPECT_EQ(record[camera::kExposure], 200);
    EXPECT_EQ(record[camera::kPeltier], 1);
}

TEST_F(AnalogGainSheetTest, PostedAutoIrisValuesAreShownAndApplied) {
    A sheet = open();
    sheet.postGlobalGain(77);
    sheet.postExposureCount(1234);
    EXPECT_TRUE(sheet.processRequests());
    EXPECT_FALSE(sheet.processRequests());
    EXPECT_EQ(sheet.gainPage().text(A::kIdGlobalEdit), "77");
    EXPECT_EQ(sheet.gainPage().position(A::kIdExposureTrackbar), 1234);
    EXPECT_EQ(record[camera::kGlobalGain], 77);
    EXPECT_EQ(device.exposure, 1234);
}

}  // namespace
