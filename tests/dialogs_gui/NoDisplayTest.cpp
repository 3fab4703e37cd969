// Without a display the dialog exports fail cleanly: error 4, nothing changed, no abort.
#include <gtest/gtest.h>

#include <cstdlib>

#include "OrvaneSdk.h"
#include "sim/VirtualCameraSystem.h"

namespace {

TEST(SheetsWithoutDisplay, ExportsRecordTheWindowErrorAndLeaveTheSettingsAlone) {
    orvane::sim::ScopedVirtualCameras cams{"30f0:pace=fast"};
    ORVANE_HANDLE handle = Orvane_Initialize(nullptr);
    ASSERT_NE(handle, 0u);
    ASSERT_EQ(Orvane_SetFilterValue(handle, ORVANE_FILTER_BRIGHTNESS, 33), 1);
    int ok = 0;
    const int gain = Orvane_GetGlobalGain(handle, &ok);
    // First no display at all, then one that does not answer (GTK fails to start).
    for (const char* display : {static_cast<const char*>(nullptr), ":93"}) {
        display != nullptr ? setenv("DISPLAY", display, 1) : unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        for (auto show : {Orvane_SetCameraDlg, Orvane_SetImageDlg, Orvane_SetAnalogDlg}) {
            EXPECT_EQ(show(handle, nullptr), 0);
            EXPECT_EQ(Orvane_GetLastError(handle), ORVANE_ERR_WINDOW);
        }
    }
    EXPECT_EQ(Orvane_GetFilterValue(handle, ORVANE_FILTER_BRIGHTNESS, &ok), 33);
    EXPECT_EQ(Orvane_GetGlobalGain(handle, &ok), gain);
    // A running preview is restarted even though the stream format sheet could not show.
    ASSERT_EQ(Orvane_StartPreview(handle), 1);
    EXPECT_EQ(Orvane_SetCameraDlg(handle, nullptr), 0);
    EXPECT_EQ(Orvane_GetLastError(handle), ORVANE_ERR_WINDOW);
    EXPECT_EQ(Orvane_Capture(handle), 0);
    EXPECT_EQ(Orvane_GetLastError(handle), ORVANE_ERR_STATE);
    Orvane_StopPreview(handle);
    Orvane_Release(handle);
}

}  // namespace
