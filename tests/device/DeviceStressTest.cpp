// Start and stop capture on one thread while other threads wait for and copy frames: no frame
// may ever be torn, and the run must be clean under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "DeviceTestSupport.h"

namespace orvane::test {
namespace {

using StressTest = DeviceFixture;

TEST_F(StressTest, CopiesDuringStartAndStopAreNeverTorn) {
    startOpen("30f0:pace=fast:scene=ramp");
    const int width = 512, height = 256;
    ASSERT_EQ(device->SetCaptureWindow(0, 0, width, height, 0), 1);
    ASSERT_EQ(device->StartCapture(0), 1);

    std::atomic<bool> stop{false};
    std::atomic<int> copied{0}, torn{0};
    auto reader = [&] {
        std::vector<uint8_t> frame(static_cast<size_t>(width) * height);
        while (!stop) {
            const int r = device->WaitFrame(50);
            if (r != device::kWaitFrameReady) continue;
            if (device->CopyLatest(frame.data(), 1) != 0) continue;
            if (rampFrameIndex(frame.data(), width, height, 1) < 0) ++torn;
            ++copied;
        }
    };
    std::thread r1(reader), r2(reader);
    std::thread poller([&] {
        std::vector<uint8_t> frame(static_cast<size_t>(width) * height);
        while (!stop) {
            device->HasCamera(0);
            device->GetGlobalGain();
            device->CopyFrame(frame.data(), frame.size(), 0, 1);
        }
    });

    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    int cycles = 0;
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        device->StopCapture();
        device->SetGlobalGain(100 + cycles % 50);
        ASSERT_EQ(device->StartCapture(cycles % 5 == 4 ? 1 : 0), 1);
        ++cycles;
    }
    stop = true;
    r1.join();
    r2.join();
    poller.join();
    device->StopCapture();
    EXPECT_GT(copied.load(), 10);
    EXPECT_EQ(torn.load(), 0);
}

}  // namespace
}  // namespace orvane::test
