// A GTK application calling a dialog export from its own loop gets the sheet on its own
// thread, as a nested modal loop; the library starts no thread of its own for it.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <thread>

#include "OrvaneSdk.h"
#include "SheetDriver.h"
#include "dialogs/ImageFilterSheet.h"
#include "sim/VirtualCameraSystem.h"

namespace {

using namespace orvane::test;
using orvane::dialogs::ImageFilterSheet;

struct Call {
    ORVANE_HANDLE handle;
    GMainLoop* loop;
    int result = -1;
};

TEST(SheetInHostLoop, RunsNestedOnTheApplicationsGtkThread) {
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
    orvane::sim::ScopedVirtualCameras cams{"30f0:pace=fast"};
    ORVANE_HANDLE handle = Orvane_Initialize(nullptr);
    ASSERT_NE(handle, 0u);
    const std::thread::id host = std::this_thread::get_id();
    std::thread::id scriptThread;
    SheetScript script([&](GtkWidget* w) {
        scriptThread = std::this_thread::get_id();
        slide(w, ImageFilterSheet::kIdSharpnessTrackbar, 12);
        clickButton(w, 1);
    });
    Call call{handle, g_main_loop_new(nullptr, FALSE)};
    g_idle_add(
        [](gpointer data) -> gboolean {
            auto* c = static_cast<Call*>(data);
            c->result = Orvane_SetImageDlg(c->handle, nullptr);
            g_main_loop_quit(c->loop);
            return G_SOURCE_REMOVE;
        },
        &call);
    g_main_loop_run(call.loop);
    g_main_loop_unref(call.loop);
    EXPECT_EQ(call.result, 1);
    EXPECT_TRUE(script.ran());
    EXPECT_EQ(scriptThread, host);
    int ok = 0;
    EXPECT_EQ(Orvane_GetFilterValue(handle, ORVANE_FILTER_SHARPNESS, &ok), 12);
    Orvane_Release(handle);
}

}  // namespace
