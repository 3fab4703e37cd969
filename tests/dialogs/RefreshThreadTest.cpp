// Requests from the pipeline thread while the GUI thread edits: the record is only touched
// under its lock, and every request is carried out on the GUI thread.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "FakeDevice.h"
#include "dialogs/AnalogGainSheet.h"
#include "dialogs/ImageFilterSheet.h"

namespace {

using namespace orvane::dialogs;
using orvane::platform::CriticalSection;

TEST(DialogRefreshThread, PipelineMeasuresWhileTheUserEdits) {
    ImageValues record{};
    record[image::kGainRed] = 100;
    CriticalSection lock;
    ImageFilterSheet sheet(record, ImageFilterFlags::forColorIndex(2), lock, Language::English);
    std::atomic<int> wakeups{0};
    sheet.setWakeup([&] { wakeups.fetch_add(1); });

    constexpr int kFrames = 2000;
    std::atomic<bool> done{false};
    std::thread pipeline([&] {
        for (int frame = 1; frame <= kFrames; ++frame) {
            {
                std::lock_guard guard(lock);
                record[image::kGainRed] = frame % 400;  // a white-balance measurement
                record[image::kGainBlue] = 400;
            }
            sheet.requestRefresh();
        }
        done.store(true);
    });
    int refreshes = 0;
    int edit = 0;
    do {
        sheet.filterPage().onEditChanged(ImageFilterSheet::kIdBrightnessEdit,
                                         std::to_string(edit++ % 200));
        if (sheet.processRequests()) ++refreshes;
    } while (!done.load());
    pipeline.join();
    if (sheet.processRequests()) ++refreshes;
    EXPECT_GE(refreshes, 1);
    EXPECT_EQ(wakeups.load(), kFrames);
    EXPECT_EQ(sheet.filterPage().text(ImageFilterSheet::kIdRedEdit), std::to_string(kFrames % 400));
    EXPECT_EQ(sheet.filterPage().position(ImageFilterSheet::kIdBlueTrackbar), 400);
    std::lock_guard guard(lock);
    EXPECT_EQ(record[image::kGainRed], kFrames % 400);
    EXPECT_EQ(record[image::kBrightness], (edit - 1) % 200);
}

TEST(DialogRefreshThread, AutoIrisPostsReachTheAnalogSheet) {
    orvane::test::FakeDevice device;
    CameraValues record{};
    double seconds = 0.0;
    CriticalSection lock;
    AnalogGainSheet sheet(device, record, seconds, lock, Language::English);
    std::atomic<bool> done{false};
    std::thread pipeline([&] {
        for (int v = 1; v <= 500; ++v) {
            {
                std::lock_guard guard(lock);
                record[camera::kGlobalGain] = v;  // the automatic iris stores its value
            }
            sheet.postGlobalGain(v);
        }
        done.store(true);
    });
    while (!done.load()) sheet.processRequests();
    pipeline.join();
    sheet.processRequests();
    EXPECT_EQ(sheet.gainPage().text(AnalogGainSheet::kIdGlobalEdit), "500");
    EXPECT_EQ(device.globalGain, 500);
    std::lock_guard guard(lock);
    EXPECT_EQ(record[camera::kGlobalGain], 500);
}

}  // namespace
