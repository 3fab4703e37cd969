// The analog gain sheet in its window, against a device whose state the test reads: every
// control sends its change to the device at once, exposure as a time with a unit, Default,
// OK, Cancel, and values another thread posts showing up through the sheet's timer.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>

#include "SheetDriver.h"
#include "dialogs/AnalogGainSheet.h"
#include "dialogs/FakeDevice.h"
#include "dialogs/SheetDisplay.h"

namespace {

using namespace orvane::dialogs;
using namespace orvane::test::win32;
using A = AnalogGainSheet;

struct AnalogWindow : testing::Test {
    orvane::test::FakeDevice device;
    CameraValues record{};
    double seconds = 0.0;
    orvane::platform::CriticalSection lock;

    void allFeatures() {
        device.timeSupported = device.levelSupported = device.peltierSupported =
            device.switchASupported = device.gainModeSupported = true;
    }
    int show(A& sheet) {
        return showSheet(sheet, {0, [&sheet] { return sheet.processRequests(); }});
    }
};

TEST_F(AnalogWindow, ControlsDriveTheDeviceAtOnceAndOkKeepsTheRecord) {
    allFeatures();
    A sheet(device, record, seconds, lock, Language::Japanese);
    SheetScript script([&](HWND w) {
        slide(control(w, A::kIdGlobalTrackbar), 300);
        EXPECT_EQ(device.globalGain, 300) << "sent while the sheet is open";
        EXPECT_EQ(textOf(control(w, A::kIdGlobalEdit)), "300");
        step(control(w, A::kIdGlobalUpDown), +1);
        EXPECT_EQ(device.globalGain, 301);
        type(control(w, A::kIdGlobalEdit), "42");
        EXPECT_EQ(device.globalGain, 42);
        EXPECT_EQ(trackbarPosition(control(w, A::kIdGlobalTrackbar)), 42);

        click(control(w, A::kIdMirrorV));
        EXPECT_EQ(device.mirrorV, 1);
        EXPECT_TRUE(checked(control(w, A::kIdMirrorV)));
        click(control(w, A::kIdAutoIrisGain));
        click(control(w, A::kIdAutoIrisExposure));
        EXPECT_FALSE(checked(control(w, A::kIdAutoIrisGain))) << "the two exclude each other";
        EXPECT_TRUE(checked(control(w, A::kIdAutoIrisExposure)));

        slide(control(w, A::kIdLevelTrackbar), 90);
        EXPECT_EQ(device.level, 90);
        click(control(w, A::kIdPeltier));
        EXPECT_EQ(device.peltier, 1);
        click(control(w, A::kIdShortExposure));
        EXPECT_EQ(device.switchA, 1);
        HWND mode = control(w, A::kIdGainModeList);
        EXPECT_EQ(comboItems(mode), (std::vector<std::string>{"High Gain", "Low Gain"}));
        EXPECT_EQ(comboSelection(mode), 1) << "the device's mode";
        choose(mode, 0);
        EXPECT_EQ(device.gainMode, 0);

        // The colour gains are shown, not editable.
        EXPECT_EQ(textOf(control(w, A::kIdRedEdit)), "81");
        EXPECT_FALSE(IsWindowEnabled(control(w, A::kIdRedTrackbar)));
        EXPECT_FALSE(IsWindowEnabled(control(w, A::kIdRedEdit)));
        pressSheetButton(w, kIdOk);
    });
    EXPECT_EQ(show(sheet), kResultOk);
    EXPECT_TRUE(script.ran());
    EXPECT_EQ(record[camera::kGlobalGain], 42);
    EXPECT_EQ(record[camera::kMirrorV], 1);
    EXPECT_EQ(record[camera::kAutoIris], 1);
    EXPECT_EQ(record[camera::kBlackLevel], 90);
    EXPECT_EQ(record[camera::kPeltier], 1);
    EXPECT_EQ(record[camera::kShortExposure], 1);
    EXPECT_EQ(record[camera::kGainMode], 0);
}

TEST_F(AnalogWindow, ExposureAsATimeInTheChosenUnit) {
    allFeatures();
    A sheet(device, record, seconds, lock, Language::English);
    SheetScript script([&](HWND w) {
        for (int id : {A::kIdExposureTrackbar, A::kIdExposureEdit, A::kIdExposureUpDown,
                       A::kIdExposureLabel, A::kIdMillisecondLabel})
            EXPECT_FALSE(shown(control(w, id))) << id;
        HWND units = control(w, A::kIdTimeUnitList);
        EXPECT_EQ(textOf(control(w, A::kIdTimeRangeLabel)), "range: 10μs - 10sec");
        EXPECT_EQ(comboSelection(units), 1) << "0.02 s shows in ms";
        EXPECT_EQ(textOf(control(w, A::kIdTimeEdit)), "20");
        choose(units, 0);
        EXPECT_EQ(textOf(control(w, A::kIdTimeEdit)), "20000") << "shown in μs, not applied";
        EXPECT_EQ(device.setTimeCalls, 0);
        choose(units, 1);
        type(control(w, A::kIdTimeEdit), "2.5");
        EXPECT_DOUBLE_EQ(device.seconds, 0.0025);
        EXPECT_EQ(device.exposure, 25);
        // Half-typed numbers do not reach the device.
        type(control(w, A::kIdTimeEdit), "");
        type(control(w, A::kIdTimeEdit), "-");
        EXPECT_DOUBLE_EQ(device.seconds, 0.0025);
        pressSheetButton(w, kIdOk);
    });
    EXPECT_EQ(show(sheet), kResultOk);
    EXPECT_TRUE(script.ran());
    EXPECT_EQ(record[camera::kExposure], 25);
    EXPECT_DOUBLE_EQ(seconds, 0.0025);
}

TEST_F(AnalogWindow, ExposureCountRowShowsMilliseconds) {
    A sheet(device, record, seconds, lock, Language::English);
    SheetScript script([&](HWND w) {
        EXPECT_EQ(textOf(control(w, A::kIdMillisecondLabel)), "=20.00ms");
        slide(control(w, A::kIdExposureTrackbar), 1234);
        EXPECT_EQ(device.exposure, 1234);
        EXPECT_EQ(textOf(control(w, A::kIdMillisecondLabel)), "=123.40ms");
        for (int id : {A::kIdTimeEdit, A::kIdLevelTrackbar, A::kIdPeltier, A::kIdShortExposure,
                       A::kIdGainModeList})
            EXPECT_FALSE(shown(control(w, id))) << id;
        pressSheetButton(w, kIdOk);
    });
    EXPECT_EQ(show(sheet), kResultOk);
    EXPECT_TRUE(script.ran());
    EXPECT_EQ(record[camera::kExposure], 1234);
}

TEST_F(AnalogWindow, DefaultSetsTheDeviceDefaultsAndCancelPutsTheOpeningStateBack) {
    allFeatures();
    record[camera::kBlackLevel] = device.level;  // the session's cache agrees with the device
    A sheet(device, record, seconds, lock, Language::English);
    SheetScript script([&](HWND w) {
        click(control(w, A::kIdMirrorH));
        EXPECT_EQ(device.mirrorH, 0);
        pressSheetButton(w, kIdDefault);
        EXPECT_EQ(device.globalGain, 100);
        EXPECT_EQ(device.red, 64);
        EXPECT_EQ(device.level, 16);
        EXPECT_EQ(textOf(control(w, A::kIdGlobalEdit)), "100") << "the page shows the defaults";
        EXPECT_EQ(textOf(control(w, A::kIdGreen2Edit)), "64");
        pressSheetButton(w, kIdCancel);
    });
    EXPECT_EQ(show(sheet), kResultCancel);
    EXPECT_TRUE(script.ran());
    EXPECT_EQ(device.globalGain, 150);
    EXPECT_EQ(device.red, 81);
    EXPECT_EQ(device.mirrorH, 1);
    EXPECT_EQ(device.level, 60);
    EXPECT_EQ(record[camera::kGlobalGain], 150);
}

// The pipeline's automatic iris posts new values from its own thread; the sheet shows them
// from its timer without being touched.
TEST_F(AnalogWindow, ValuesPostedFromAnotherThreadShowUp) {
    A sheet(device, record, seconds, lock, Language::English);
    SheetScript script([&](HWND w) {
        std::thread pipeline([&] {
            sheet.postGlobalGain(333);
            sheet.postExposureCount(777);
        });
        pipeline.join();
        EXPECT_TRUE(
            waitUntil([&] { return textOf(control(w, A::kIdGlobalEdit)) == "333"; }, 10000));
        EXPECT_TRUE(
            waitUntil([&] { return textOf(control(w, A::kIdExposureEdit)) == "777"; }, 10000));
        EXPECT_EQ(trackbarPosition(control(w, A::kIdGlobalTrackbar)), 333);
        pressSheetButton(w, kIdOk);
    });
    EXPECT_EQ(show(sheet), kResultOk);
    EXPECT_TRUE(script.ran());
    EXPECT_EQ(record[camera::kGlobalGain], 333);
}

// Closing the window (its close box, Alt+F4) counts as Cancel.
TEST_F(AnalogWindow, ClosingTheWindowCancels) {
    A sheet(device, record, seconds, lock, Language::English);
    SheetScript script([&](HWND w) {
        slide(control(w, A::kIdGlobalTrackbar), 400);
        SendMessageW(w, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(show(sheet), kResultCancel);
    EXPECT_TRUE(script.ran());
    EXPECT_FALSE(script.leftOpen());
    EXPECT_EQ(device.globalGain, 150);
}

}  // namespace
