// The three settings sheets opened through the public exports against a virtual camera, in
// English and in Japanese, operated with messages to their controls; the results are read
// back through the exports and from the registry. Also: the sheet is owned by the
// application's window, and a picture of each sheet in each language is kept.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

#include "OrvaneSdk.h"
#include "SheetDriver.h"
#include "dialogs/AnalogGainSheet.h"
#include "dialogs/ImageFilterSheet.h"
#include "dialogs/Language.h"
#include "dialogs/SettingsKeys.h"
#include "dialogs/StreamFormatSheet.h"
#include "platform/Registry.h"
#include "session/SettingsStore.h"
#include "sim/VirtualCameraSystem.h"
#include "support/SessionFixture.h"

namespace orvane::dialogs {
namespace {

using namespace test::win32;
namespace settings = session::settings;

constexpr int kOk = 1, kCancel = 2, kDefault = 3, kApply = 1002;
constexpr Language kLanguages[] = {Language::English, Language::Japanese};

const char* nameOf(Language l) {
    return l == Language::Japanese ? "Japanese" : "English";
}

class SheetSession : public orvane::test::SessionFixture {
  protected:
    void TearDown() override {
        SessionFixture::TearDown();
        orvane::dialogs::overrideUserLanguage(std::nullopt);
    }
};

TEST_F(SheetSession, ImageSheetChangesReachTheSessionLiveAndTheRegistryOnOk) {
    using S = ImageFilterSheet;
    for (Language l : kLanguages) {
        orvane::dialogs::overrideUserLanguage(l);
        ASSERT_EQ(Orvane_SetColorMode(handle_, 24), 1);
        SheetScript script([&](HWND w) {
            EXPECT_EQ(tabCaptions(w), std::vector<std::string>{"Image Filter"}) << "no gray page";
            slide(control(w, S::kIdBrightnessTrackbar), 40);
            EXPECT_EQ(textOf(control(w, S::kIdBrightnessEdit)), "40");
            EXPECT_EQ(filter(ORVANE_FILTER_BRIGHTNESS), 40) << "the pipeline sees it while open";
            type(control(w, S::kIdContrastEdit), "-12");
            EXPECT_EQ(trackbarPosition(control(w, S::kIdContrastTrackbar)), -12);
            step(control(w, S::kIdGammaUpDown), +1);
            EXPECT_EQ(textOf(control(w, S::kIdGammaEdit)), "101");
            click(control(w, S::kIdBayerPhase0 + 1));
            for (int phase = 0; phase < 4; ++phase)
                EXPECT_EQ(checked(control(w, S::kIdBayerPhase0 + phase)), phase == 1) << phase;
            pressSheetButton(w, kOk);
        });
        EXPECT_EQ(Orvane_SetImageDlg(handle_, nullptr), 1) << nameOf(l);
        EXPECT_TRUE(script.ran()) << nameOf(l);
        ASSERT_NO_FATAL_FAILURE(expectImageChangesKept());
        // The next language starts from the defaults again.
        orvane::platform::RegistryKey::deleteTree(orvane::dialogs::cameraKeyPath(0) + "\\Filter");
        open();
    }
}

TEST_F(SheetSession, ImageSheetCancelAndClosingTheWindowPutTheSettingsBack) {
    using S = ImageFilterSheet;
    ASSERT_EQ(Orvane_SetColorMode(handle_, 24), 1);
    ASSERT_EQ(Orvane_SetFilterValue(handle_, ORVANE_FILTER_SATURATION, 7), 1);
    for (bool closeWindow : {false, true}) {
        SheetScript script([&](HWND w) {
            slide(control(w, S::kIdSaturationTrackbar), -90);
            slide(control(w, S::kIdRedTrackbar), 250);
            EXPECT_EQ(filter(ORVANE_FILTER_SATURATION), -90);
            if (closeWindow)
                SendMessageW(w, WM_CLOSE, 0, 0);
            else
                pressSheetButton(w, kCancel);
        });
        EXPECT_EQ(Orvane_SetImageDlg(handle_, nullptr), 1) << closeWindow;
        EXPECT_TRUE(script.ran());
        expectImageChangesUndone(closeWindow);
    }
}

TEST_F(SheetSession, MonochromeImageSheetHasTheGrayPageAndDefaultResetsBothPages) {
    using S = ImageFilterSheet;
    for (Language l : kLanguages) {
        orvane::dialogs::overrideUserLanguage(l);
        ASSERT_EQ(Orvane_SetColorMode(handle_, 8), 1);
        SheetScript script([&](HWND w) {
            EXPECT_EQ(tabCaptions(w), (std::vector<std::string>{"Image Filter", "Gray Filter"}));
            EXPECT_FALSE(IsWindowEnabled(control(w, S::kIdHueTrackbar)));
            EXPECT_FALSE(IsWindowEnabled(control(w, S::kIdRedEdit)));
            EXPECT_TRUE(IsWindowEnabled(control(w, S::kIdGammaTrackbar)));
            slide(control(w, S::kIdGammaTrackbar), 150);
            selectTab(w, 1);
            HWND gray = pageWith(w, S::kIdGrayGainFirst);
            EXPECT_TRUE(shown(gray));
            EXPECT_FALSE(shown(pageWith(w, S::kIdBrightnessTrackbar)));
            slide(GetDlgItem(gray, S::kIdGrayGainFirst), 200);
            EXPECT_EQ(filter(ORVANE_FILTER_GRAY_GAIN_R), 200);
            click(GetDlgItem(gray, S::kIdGrayModeConvert));
            EXPECT_EQ(filter(ORVANE_FILTER_GRAY_MODE), 1);
            // The same Bayer-phase member on both pages.
            click(GetDlgItem(gray, S::kIdBayerPhase0 + 3));
            EXPECT_EQ(filter(ORVANE_FILTER_BAYER_MODE), 3);
            pressSheetButton(w, kDefault);
            EXPECT_EQ(textOf(GetDlgItem(gray, S::kIdGrayGainFirst + 1)), "128");
            EXPECT_EQ(textOf(control(w, S::kIdGammaEdit, S::kIdBrightnessTrackbar)), "100");
            EXPECT_TRUE(checked(control(w, S::kIdBayerPhase0 + 2, S::kIdBrightnessTrackbar)));
            EXPECT_TRUE(checked(GetDlgItem(gray, S::kIdBayerPhase0 + 2)));
            slide(GetDlgItem(gray, S::kIdGrayOffsetFirst), -20);
            pressSheetButton(w, kOk);
        });
        EXPECT_EQ(Orvane_SetImageDlg(handle_, nullptr), 1) << nameOf(l);
        EXPECT_TRUE(script.ran()) << nameOf(l);
        EXPECT_EQ(filter(ORVANE_FILTER_GAMMA), 100);
        EXPECT_EQ(filter(ORVANE_FILTER_BAYER_MODE), 2);
        EXPECT_EQ(filter(ORVANE_FILTER_GRAY_GAIN_R), 128);
        EXPECT_EQ(filter(ORVANE_FILTER_GRAY_MODE), 1);

        release();
        orvane::session::ImageSettings stored;
        ASSERT_EQ(settings::LoadGray(0, stored), 1);
        EXPECT_EQ(stored[11], 1);
        EXPECT_EQ(stored[12], 128);
        EXPECT_EQ(stored[16], -20);
        open();
    }
}

TEST_F(SheetSession, AnalogSheetDrivesTheDeviceAndOkKeepsTheChanges) {
    using A = AnalogGainSheet;
    for (Language l : kLanguages) {
        orvane::dialogs::overrideUserLanguage(l);
        const int raised = globalGain() + 50;
        SheetScript script([&](HWND w) {
            EXPECT_EQ(tabCaptions(w),
                      std::vector<std::string>{l == Language::English ? "Analog Gain"
                                                                      : "アナログゲイン"});
            slide(control(w, A::kIdGlobalTrackbar), raised);
            EXPECT_EQ(globalGain(), raised) << "sent to the device at once";
            click(control(w, A::kIdMirrorV));
            EXPECT_EQ(Orvane_GetMirrorV(handle_), 1);
            pressSheetButton(w, kOk);
        });
        EXPECT_EQ(Orvane_SetAnalogDlg(handle_, nullptr), 1) << nameOf(l);
        EXPECT_TRUE(script.ran()) << nameOf(l);
        {
            SCOPED_TRACE(nameOf(l));
            expectAnalogChangesKept(raised);
        }
        open();
        ASSERT_EQ(Orvane_SetMirrorV(handle_, 0), 1);
    }
}

TEST_F(SheetSession, AnalogSheetCancelPutsTheDeviceBack) {
    using A = AnalogGainSheet;
    const int before = globalGain();
    SheetScript script([&](HWND w) {
        slide(control(w, A::kIdGlobalTrackbar), before + 80);
        click(control(w, A::kIdMirrorH));
        EXPECT_EQ(globalGain(), before + 80);
        EXPECT_EQ(Orvane_GetMirrorH(handle_), 1);
        pressSheetButton(w, kCancel);
    });
    EXPECT_EQ(Orvane_SetAnalogDlg(handle_, nullptr), 1);
    EXPECT_TRUE(script.ran());
    expectAnalogChangesUndone(before);
}

TEST_F(SheetSession, StreamFormatSheetPausesAcquisitionAndAppliesWhatWasConfirmed) {
    using S = StreamFormatSheet;
    for (Language l : kLanguages) {
        orvane::dialogs::overrideUserLanguage(l);
        ASSERT_EQ(Orvane_SetColorMode(handle_, 8), 1);
        ASSERT_EQ(Orvane_StartPreview(handle_), 1);
        SheetScript script([&](HWND w) {
            const uint32_t framesAtOpen = cams_.camera(0).framesSent();
            EXPECT_EQ(comboItems(control(w, S::kIdColorList))[2], S::colorCaption(l, 2));
            choose(control(w, S::kIdColorList), 2);  // colour 24 bits
            // This camera has a fixed capture window: the size rows cannot be edited.
            for (int id : {S::kIdSizeList, S::kIdWidth, S::kIdHeight, S::kIdXStart})
                EXPECT_FALSE(IsWindowEnabled(control(w, id))) << id;
            EXPECT_FALSE(IsWindowEnabled(control(w, S::kIdClockList)));
            type(control(w, S::kIdWidth), "1536");
            EXPECT_EQ(textOf(control(w, S::kIdWidth)), "3072") << "the model stays in charge";
            type(control(w, S::kIdWaitTime), "25");
            HWND apply = GetDlgItem(w, kApply);
            EXPECT_TRUE(IsWindowEnabled(apply));
            pressSheetButton(w, kApply);
            EXPECT_FALSE(IsWindowEnabled(apply)) << "Apply keeps the sheet open";
            EXPECT_TRUE(IsWindowVisible(w));
            EXPECT_EQ(cams_.camera(0).framesSent(), framesAtOpen) << "acquisition is stopped";
            pressSheetButton(w, kOk);
        });
        EXPECT_EQ(Orvane_SetCameraDlg(handle_, nullptr), 1) << nameOf(l);
        EXPECT_TRUE(script.ran()) << nameOf(l);
        EXPECT_EQ(Orvane_GetColorMode(handle_), 24);
        EXPECT_EQ(Orvane_GetWaitTime(handle_), 25);
        EXPECT_EQ(Orvane_StopPreview(handle_), 1) << "preview was started again";
        ASSERT_NO_FATAL_FAILURE(expectStreamFormatStored());
    }
}

TEST_F(SheetSession, StreamFormatSheetCancelStoresAndAppliesNothing) {
    using S = StreamFormatSheet;
    ASSERT_EQ(Orvane_SetColorMode(handle_, 32), 1);
    settings::CameraValues before{-1, -1, -1, -1};
    settings::LoadCameraValues(0, before);
    SheetScript script([&](HWND w) {
        choose(control(w, S::kIdColorList), 0);
        type(control(w, S::kIdWaitTime), "77");
        pressSheetButton(w, kCancel);
    });
    EXPECT_EQ(Orvane_SetCameraDlg(handle_, nullptr), 1);
    EXPECT_TRUE(script.ran());
    expectStreamFormatUnchanged(before);
}

// The application's window owns the sheet and is disabled while it is open, as with any
// modal dialog of that window.
TEST_F(SheetSession, TheApplicationWindowOwnsTheSheet) {
    HWND app = CreateWindowExW(0, L"STATIC", L"application", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10,
                               10, 300, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(app, nullptr);
    SheetScript script([&](HWND w) {
        EXPECT_EQ(GetWindow(w, GW_OWNER), app);
        EXPECT_FALSE(IsWindowEnabled(app));
        pressSheetButton(w, kCancel);
    });
    EXPECT_EQ(Orvane_SetImageDlg(handle_, app), 1);
    EXPECT_TRUE(script.ran());
    EXPECT_TRUE(IsWindowEnabled(app));
    DestroyWindow(app);
    // A window that is gone by the time the sheet opens leaves it without an owner.
    SheetScript orphan([&](HWND w) {
        EXPECT_EQ(GetWindow(w, GW_OWNER), nullptr);
        pressSheetButton(w, kCancel);
    });
    EXPECT_EQ(Orvane_SetImageDlg(handle_, app), 1);
    EXPECT_TRUE(orphan.ran());
}

// One picture of each sheet in each language, kept for review.
TEST_F(SheetSession, ScreenshotsInEnglishAndJapanese) {
    ASSERT_EQ(Orvane_SetColorMode(handle_, 8), 1);  // the image sheet with both pages
    struct Sheet {
        const char* name;
        int (*show)(ORVANE_HANDLE, HWND);
    };
    for (Language l : kLanguages) {
        orvane::dialogs::overrideUserLanguage(l);
        for (const Sheet& sheet : {Sheet{"stream_format", Orvane_SetCameraDlg},
                                   Sheet{"image_filter", Orvane_SetImageDlg},
                                   Sheet{"analog_gain", Orvane_SetAnalogDlg}}) {
            const std::string base = std::string("win32_dialog_") + sheet.name + "_" +
                                     (l == Language::English ? "en" : "ja");
            SheetScript script([&](HWND w) {
                int colours = 0;
                EXPECT_FALSE(saveScreenshot(w, base + ".bmp", &colours).empty()) << base;
                EXPECT_GT(colours, 4) << base << ": the picture shows the sheet, not a blank";
                if (std::string(sheet.name) == "image_filter") {
                    selectTab(w, 1);
                    EXPECT_FALSE(saveScreenshot(w, base + "_gray.bmp", &colours).empty());
                }
                pressSheetButton(w, kCancel);
            });
            EXPECT_EQ(sheet.show(handle_, nullptr), 1) << base;
            EXPECT_TRUE(script.ran()) << base;
        }
    }
}

}  // namespace
}  // namespace orvane::dialogs
