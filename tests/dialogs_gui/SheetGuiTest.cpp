// The three settings sheets on screen, opened through the public exports against a virtual
// camera, operated through their widgets; the results are read back through the exports
// and from the settings file.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "OrvaneSdk.h"
#include "SheetDriver.h"
#include "dialogs/AnalogGainSheet.h"
#include "dialogs/ImageFilterSheet.h"
#include "dialogs/StreamFormatSheet.h"
#include "session/SettingsStore.h"
#include "sim/VirtualCameraSystem.h"
#include "support/ScopedEnv.h"
#include "support/SessionFixture.h"

// Xlib last: its macros (None, Status, Bool) would clash with names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <gdk/gdkx.h>

namespace {

using namespace orvane::test;
using orvane::dialogs::AnalogGainSheet;
using orvane::dialogs::ImageFilterSheet;
using orvane::dialogs::StreamFormatSheet;
namespace settings = orvane::session::settings;

constexpr int kOk = 1, kCancel = 2, kApply = 1002;

using SheetOnScreen = orvane::test::SessionFixture;

TEST_F(SheetOnScreen, ImageSheetChangesReachTheSessionLiveAndTheSettingsFileOnOk) {
    ASSERT_EQ(Orvane_SetColorMode(handle_, 24), 1);
    SheetScript script([&](GtkWidget* w) {
        slide(w, ImageFilterSheet::kIdBrightnessTrackbar, 40);
        EXPECT_EQ(textOf(w, ImageFilterSheet::kIdBrightnessEdit), "40");
        EXPECT_EQ(filter(ORVANE_FILTER_BRIGHTNESS), 40) << "the pipeline sees it while open";
        // Typed text moves the trackbar; the view shows what the model did.
        type(w, ImageFilterSheet::kIdContrastEdit, "-12");
        EXPECT_EQ(gtk_range_get_value(GTK_RANGE(control(w, ImageFilterSheet::kIdContrastTrackbar))),
                  -12);
        click(w, "orvane-" + std::to_string(ImageFilterSheet::kIdGammaUpDown) + "-up");
        EXPECT_EQ(textOf(w, ImageFilterSheet::kIdGammaEdit), "101");
        clickControl(w, ImageFilterSheet::kIdBayerPhase0 + 1);
        for (int phase = 0; phase < 4; ++phase)
            EXPECT_EQ(gtk_toggle_button_get_active(
                          GTK_TOGGLE_BUTTON(control(w, ImageFilterSheet::kIdBayerPhase0 + phase))),
                      phase == 1)
                << phase;
        clickButton(w, kOk);
    });
    EXPECT_EQ(Orvane_SetImageDlg(handle_, nullptr), 1);
    EXPECT_TRUE(script.ran());
    expectImageChangesKept();
}

TEST_F(SheetOnScreen, ImageSheetCancelAndClosingTheWindowPutTheSettingsBack) {
    ASSERT_EQ(Orvane_SetColorMode(handle_, 24), 1);
    ASSERT_EQ(Orvane_SetFilterValue(handle_, ORVANE_FILTER_SATURATION, 7), 1);
    for (bool closeWindow : {false, true}) {
        SheetScript script([&](GtkWidget* w) {
            slide(w, ImageFilterSheet::kIdSaturationTrackbar, -90);
            slide(w, ImageFilterSheet::kIdRedTrackbar, 250);
            EXPECT_EQ(filter(ORVANE_FILTER_SATURATION), -90);
            if (closeWindow) {
                gtk_window_close(GTK_WINDOW(w));
                EXPECT_TRUE(pumpUntil([w] { return !gtk_widget_get_visible(w); }, 5000));
            } else {
                clickButton(w, kCancel);
            }
        });
        EXPECT_EQ(Orvane_SetImageDlg(handle_, nullptr), 1) << closeWindow;
        EXPECT_TRUE(script.ran());
        expectImageChangesUndone(closeWindow);
    }
}

// White balance measured by the pipeline thread while the sheet is open shows in the sheet.
TEST_F(SheetOnScreen, ImageSheetShowsWhatThePipelineMeasures) {
    ASSERT_EQ(Orvane_SetColorMode(handle_, 24), 1);
    ASSERT_EQ(Orvane_StartPreview(handle_), 1);
    SheetScript script([&](GtkWidget* w) {
        const auto gains = [&] {
            return std::array<int, 3>{filter(ORVANE_FILTER_BAYER_GAIN_RED),
                                      filter(ORVANE_FILTER_BAYER_GAIN_GREEN),
                                      filter(ORVANE_FILTER_BAYER_GAIN_BLUE)};
        };
        const auto shown = [&] {
            return std::array<std::string, 3>{textOf(w, ImageFilterSheet::kIdRedEdit),
                                              textOf(w, ImageFilterSheet::kIdGreenEdit),
                                              textOf(w, ImageFilterSheet::kIdBlueEdit)};
        };
        clickControl(w, ImageFilterSheet::kIdOnce);
        // The one-shot measurement clears its request once done; the sheet then shows the
        // measured gains.
        EXPECT_TRUE(pumpUntil(
            [&] {
                const auto g = gains();
                return filter(ORVANE_FILTER_BAYER_GAIN_AUTO) == 0 &&
                       shown() == std::array<std::string, 3>{std::to_string(g[0]),
                                                             std::to_string(g[1]),
                                                             std::to_string(g[2])};
            },
            10000));
        EXPECT_NE(gains(), (std::array<int, 3>{100, 100, 100})) << "a measurement took place";
        clickButton(w, kOk);
    });
    EXPECT_EQ(Orvane_SetImageDlg(handle_, nullptr), 1);
    EXPECT_TRUE(script.ran());
    Orvane_StopPreview(handle_);
}

TEST_F(SheetOnScreen, MonochromeImageSheetOffersTheGrayPage) {
    ASSERT_EQ(Orvane_SetColorMode(handle_, 8), 1);
    SheetScript script([&](GtkWidget* w) {
        GtkWidget* tabs = control(w, 1001);
        ASSERT_NE(tabs, nullptr);
        EXPECT_EQ(gtk_notebook_get_n_pages(GTK_NOTEBOOK(tabs)), 2);
        EXPECT_FALSE(gtk_widget_is_sensitive(control(w, ImageFilterSheet::kIdHueTrackbar)));
        EXPECT_TRUE(gtk_widget_is_sensitive(control(w, ImageFilterSheet::kIdGammaTrackbar)));
        gtk_notebook_set_current_page(GTK_NOTEBOOK(tabs), 1);
        slide(w, ImageFilterSheet::kIdGrayGainFirst, 200);
        clickControl(w, ImageFilterSheet::kIdGrayModeConvert);
        clickButton(w, kOk);
    });
    EXPECT_EQ(Orvane_SetImageDlg(handle_, nullptr), 1);
    EXPECT_TRUE(script.ran());
    EXPECT_EQ(filter(ORVANE_FILTER_GRAY_GAIN_R), 200);
    EXPECT_EQ(filter(ORVANE_FILTER_GRAY_MODE), 1);
}

TEST_F(SheetOnScreen, AnalogSheetDrivesTheDeviceAndOkKeepsTheChanges) {
    const int before = globalGain();
    const int raised = before + 50;
    SheetScript script([&](GtkWidget* w) {
        slide(w, AnalogGainSheet::kIdGlobalTrackbar, raised);
        EXPECT_EQ(globalGain(), raised) << "sent to the device at once";
        clickControl(w, AnalogGainSheet::kIdMirrorV);
        // Exposure as a time: 2.5 in milliseconds.
        const int ms = comboIndexOf(w, AnalogGainSheet::kIdTimeUnitList, "ms");
        if (gtk_widget_get_visible(control(w, AnalogGainSheet::kIdTimeEdit)) && ms >= 0) {
            choose(w, AnalogGainSheet::kIdTimeUnitList, ms);
            type(w, AnalogGainSheet::kIdTimeEdit, "2.5");
            int ok = 0;
            EXPECT_NEAR(Orvane_GetExposureTimeEx(handle_, &ok), 0.0025, 1e-4);
        }
        clickButton(w, kOk);
    });
    EXPECT_EQ(Orvane_SetAnalogDlg(handle_, nullptr), 1);
    EXPECT_TRUE(script.ran());
    expectAnalogChangesKept(raised);
}

// The automatic iris on the pipeline thread changes the gain; the open sheet follows it.
TEST_F(SheetOnScreen, AnalogSheetShowsTheGainTheAutomaticIrisSets) {
    // A dark scene, so that the automatic iris has to raise the gain.
    release();
    orvane::sim::ScopedVirtualCameras dark{"30f0:pace=fast:scene=flat:8"};
    handle_ = Orvane_Initialize(nullptr);
    ASSERT_NE(handle_, 0u);
    ASSERT_EQ(Orvane_SetColorMode(handle_, 24), 1);
    ASSERT_EQ(Orvane_StartPreview(handle_), 1);
    SheetScript script([&](GtkWidget* w) {
        const std::string opened = textOf(w, AnalogGainSheet::kIdGlobalEdit);
        clickControl(w, AnalogGainSheet::kIdAutoIrisGain);
        EXPECT_TRUE(pumpUntil(
            [&] {
                const std::string shown = textOf(w, AnalogGainSheet::kIdGlobalEdit);
                return shown != opened && shown == std::to_string(globalGain());
            },
            10000))
            << "opened at " << opened << ", device at " << globalGain();
        clickControl(w, AnalogGainSheet::kIdAutoIrisGain);
        clickButton(w, kOk);
    });
    EXPECT_EQ(Orvane_SetAnalogDlg(handle_, nullptr), 1);
    EXPECT_TRUE(script.ran());
    Orvane_StopPreview(handle_);
    release();
}

TEST_F(SheetOnScreen, AnalogSheetCancelPutsTheDeviceBack) {
    const int before = globalGain();
    SheetScript script([&](GtkWidget* w) {
        slide(w, AnalogGainSheet::kIdGlobalTrackbar, before + 80);
        clickControl(w, AnalogGainSheet::kIdMirrorH);
        EXPECT_EQ(globalGain(), before + 80);
        clickButton(w, kCancel);
    });
    EXPECT_EQ(Orvane_SetAnalogDlg(handle_, nullptr), 1);
    EXPECT_TRUE(script.ran());
    expectAnalogChangesUndone(before);
}

TEST_F(SheetOnScreen, StreamFormatSheetPausesAcquisitionAndAppliesWhatWasConfirmed) {
    ASSERT_EQ(Orvane_StartPreview(handle_), 1);
    SheetScript script([&](GtkWidget* w) {
        const uint32_t framesAtOpen = cams_.camera(0).framesSent();
        choose(w, StreamFormatSheet::kIdColorList, 2);  // "Color 24bit"
        // This camera has a fixed capture window: the size rows cannot be edited.
        for (int id : {StreamFormatSheet::kIdSizeList, StreamFormatSheet::kIdWidth,
                       StreamFormatSheet::kIdHeight, StreamFormatSheet::kIdXStart}) {
            GtkWidget* size = control(w, id);
            ASSERT_NE(size, nullptr) << id;
            EXPECT_FALSE(gtk_widget_is_sensitive(size)) << id;
        }
        type(w, StreamFormatSheet::kIdWidth, "1536");
        EXPECT_EQ(textOf(w, StreamFormatSheet::kIdWidth), "3072") << "the model stays in charge";
        type(w, StreamFormatSheet::kIdWaitTime, "25");
        GtkWidget* apply = widget(w, "orvane-button-1002");
        ASSERT_NE(apply, nullptr);
        EXPECT_TRUE(gtk_widget_is_sensitive(apply));
        clickButton(w, kApply);
        EXPECT_FALSE(gtk_widget_is_sensitive(apply)) << "Apply keeps the sheet open";
        EXPECT_EQ(cams_.camera(0).framesSent(), framesAtOpen) << "acquisition is stopped";
        clickButton(w, kOk);
    });
    EXPECT_EQ(Orvane_SetCameraDlg(handle_, nullptr), 1);
    EXPECT_TRUE(script.ran());
    EXPECT_EQ(Orvane_GetColorMode(handle_), 24);
    EXPECT_EQ(Orvane_GetWaitTime(handle_), 25);
    int tw = 0, xs = 0, w = 0, th = 0, ys = 0, h = 0;
    ASSERT_EQ(Orvane_GetCaptureWindowEx(handle_, &tw, &xs, &w, &th, &ys, &h), 1);
    EXPECT_EQ(w, 3072);
    EXPECT_EQ(h, 2048);
    // Preview runs again: capture mode cannot start next to it.
    while (Orvane_GetLastError(handle_) != 0) {
    }
    EXPECT_EQ(Orvane_Capture(handle_), 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), ORVANE_ERR_STATE);
    EXPECT_EQ(Orvane_StopPreview(handle_), 1);
    expectStreamFormatStored();
}

TEST_F(SheetOnScreen, StreamFormatSheetCancelStoresAndAppliesNothing) {
    ASSERT_EQ(Orvane_SetColorMode(handle_, 32), 1);
    settings::CameraValues before{-1, -1, -1, -1};
    settings::LoadCameraValues(0, before);
    SheetScript script([&](GtkWidget* w) {
        choose(w, StreamFormatSheet::kIdColorList, 0);
        type(w, StreamFormatSheet::kIdWaitTime, "77");
        clickButton(w, kCancel);
    });
    EXPECT_EQ(Orvane_SetCameraDlg(handle_, nullptr), 1);
    EXPECT_TRUE(script.ran());
    expectStreamFormatUnchanged(before);
}

TEST_F(SheetOnScreen, SheetStaysAboveTheParentWindowItIsGiven) {
    // A parent made on the sheet's own display, as an application's window would be.
    Window parentId = 0;
    SheetScript script([&](GtkWidget* w) {
        Display* x = gdk_x11_display_get_xdisplay(gtk_widget_get_display(w));
        Window transientFor = 0;
        XGetTransientForHint(x, gdk_x11_window_get_xid(gtk_widget_get_window(w)), &transientFor);
        EXPECT_EQ(transientFor, parentId);
        clickButton(w, kCancel);
    });
    Display* x = XOpenDisplay(nullptr);
    ASSERT_NE(x, nullptr);
    parentId = XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, 200, 100, 0, 0, 0);
    XMapWindow(x, parentId);
    XSync(x, False);
    HWND parent = Orvane_CreateMessageWindow(parentId);
    ASSERT_NE(parent, nullptr);
    EXPECT_EQ(Orvane_SetImageDlg(handle_, parent), 1);
    EXPECT_TRUE(script.ran());
    Orvane_DestroyMessageWindow(parent);
    XDestroyWindow(x, parentId);
    XCloseDisplay(x);
}

// One picture of each sheet in each language, kept for review.
TEST_F(SheetOnScreen, ScreenshotsInEnglishAndJapanese) {
    ASSERT_EQ(Orvane_SetColorMode(handle_, 24), 1);
    struct Language {
        const char* locale;
        const char* suffix;
        const char* streamTab;
    };
    for (const Language& language : {Language{"en_US.UTF-8", "en", "Stream Format"},
                                     Language{"ja_JP.UTF-8", "ja", "ストリーム形式"}}) {
        ScopedEnv all("LC_ALL", language.locale);
        struct Sheet {
            const char* name;
            int (*show)(ORVANE_HANDLE, HWND);
        };
        for (const Sheet& sheet : {Sheet{"stream_format", Orvane_SetCameraDlg},
                                   Sheet{"image_filter", Orvane_SetImageDlg},
                                   Sheet{"analog_gain", Orvane_SetAnalogDlg}}) {
            const std::string file =
                std::string("dialog_") + sheet.name + "_" + language.suffix + ".png";
            SheetScript script([&](GtkWidget* w) {
                if (std::string(sheet.name) == "stream_format") {
                    GtkWidget* tabs = control(w, 1001);
                    GtkWidget* page = gtk_notebook_get_nth_page(GTK_NOTEBOOK(tabs), 0);
                    EXPECT_STREQ(gtk_notebook_get_tab_label_text(GTK_NOTEBOOK(tabs), page),
                                 language.streamTab);
                }
                const std::string path = saveScreenshot(w, file);
                EXPECT_FALSE(path.empty()) << file;
                if (!path.empty()) {
                    EXPECT_GT(std::filesystem::file_size(path), 2000u) << file;
                }
                clickButton(w, kCancel);
            });
            EXPECT_EQ(sheet.show(handle_, nullptr), 1) << file;
            EXPECT_TRUE(script.ran()) << file;
        }
    }
}

}  // namespace
