#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "DeviceTestSupport.h"
#include "sensors/CSensorIMX178.h"

namespace orvane::test {
namespace {

using device::kWaitFailed;
using device::kWaitFrameReady;
using device::kWaitTimeout;

class StreamingTest : public DeviceFixture {
  protected:
    // Waits for the next frame (several tries: a frame can take a retry to arrive) and copies
    // it.
    bool nextFrame(std::vector<uint8_t>& frame) {
        frame.assign(device->GetFrameSize(), 0);
        for (int i = 0; i < 20; ++i) {
            const int r = device->WaitFrame(1000);
            if (r == kWaitFrameReady) return device->CopyLatest(frame.data(), 1) == 0;
            if (r == kWaitFailed) return false;
        }
        return false;
    }
    // Waits (bounded) until `done` holds.
    template <typename F>
    bool eventually(F done, int ms = 10000) {
        for (int i = 0; i < ms / 5; ++i) {
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return done();
    }
};

struct SceneCase {
    const char* cameras;
    int wide;
    int x, y, width, height;
};

TEST_F(StreamingTest, FramesFollowTheScene) {
    const SceneCase cases[] = {
        {"30f0:pace=fast:scene=flat:77", 0, 0, 0, 3072, 2048},
        {"30f0:pace=fast:scene=flat:77", 1, 0, 0, 3072, 2048},
        {"30f0:pace=fast:scene=ramp", 0, 0, 0, 3072, 2048},
        {"30f0:pace=fast:scene=ramp", 1, 64, 32, 1000, 500},
        {"30f0:pace=fast:scene=sites:10/20/30", 0, 0, 0, 3072, 2048},
        {"30f0:pace=fast:scene=sites:10/20/30", 1, 8, 2, 640, 480},
    };
    for (const SceneCase& c : cases) {
        SCOPED_TRACE(std::string(c.cameras) + " wide " + std::to_string(c.wide) + " width " +
                     std::to_string(c.width));
        startOpen(c.cameras);
        ASSERT_EQ(device->SetWideTransfer(c.wide), 1);
        ASSERT_EQ(device->SetCaptureWindow(c.x, c.y, c.width, c.height, 0), 1);
        ASSERT_EQ(device->StartCapture(0), 1);
        const int bps = c.wide ? 2 : 1;
        std::vector<uint8_t> frame;
        for (int n = 0; n < 3; ++n) {
            ASSERT_TRUE(nextFrame(frame));
            ASSERT_EQ(frame.size(), static_cast<size_t>(c.width) * c.height * bps);
            auto at = [&](int x, int y) {
                const size_t i = static_cast<size_t>(y) * c.width + x;
                return bps == 2 ? (frame[2 * i] | frame[2 * i + 1] << 8) : frame[i];
            };
            const int scale = bps == 2 ? 16 : 1;
            if (std::strstr(c.cameras, "flat")) {
                for (int y = 0; y < c.height; y += 97)
                    for (int x = 0; x < c.width; x += 13) ASSERT_EQ(at(x, y), 77 * scale);
            } else if (std::strstr(c.cameras, "ramp")) {
                ASSERT_GE(rampFrameIndex(frame.data(), c.width, c.height, bps), 0);
            } else {
                // Blue at array (0, 0), red at (1, 1), green elsewhere; the window starts at
                // even coordinates.
                for (int y = 0; y < 4; ++y)
                    for (int x = 0; x < 4; ++x) {
                        const int expected = (x % 2 == 0 && y % 2 == 0)   ? 30
                                             : (x % 2 == 1 && y % 2 == 1) ? 10
                                                                          : 20;
                        ASSERT_EQ(at(x, y), expected * scale) << x << "," << y;
                    }
            }
        }
        EXPECT_EQ(device->StopCapture(), 1);
        EXPECT_FALSE(device->IsCapturing());
        TearDown();
    }
}

TEST_F(StreamingTest, TriggerModeWaitsForTheCounter) {
    startOpen("30f0:pace=fast:scene=ramp");
    ASSERT_EQ(device->ApplyTriggerMode(1, 0), 1);
    EXPECT_EQ(camera().fpgaRegister(48), 1);
    ASSERT_EQ(device->StartCapture(2), 1);
    EXPECT_EQ(device->WaitFrame(200), kWaitTimeout);  // no trigger, no frame
    EXPECT_EQ(camera().framesSent(), 0u);
    camera().fireTrigger();
    ASSERT_EQ(device->WaitFrame(5000), kWaitFrameReady);
    std::vector<uint8_t> frame(device->GetFrameSize());
    EXPECT_EQ(device->CopyLatest(frame.data(), 1), 0);
    EXPECT_GE(rampFrameIndex(frame.data(), 3072, 2048, 1), 0);
    // The loop ends after the one frame; the next trigger needs a new start.
    EXPECT_TRUE(eventually([&] { return !device->IsCapturing(); }));
    camera().fireTrigger();
    EXPECT_EQ(device->WaitFrame(200), kWaitTimeout);
    ASSERT_EQ(device->StartCapture(2), 1);
    ASSERT_EQ(device->WaitFrame(5000), kWaitFrameReady);
    EXPECT_EQ(camera().framesSent(), 2u);
    ASSERT_EQ(device->ApplyTriggerMode(0, 0), 1);
    EXPECT_EQ(camera().fpgaRegister(48), 0);
    EXPECT_EQ(camera().sensorRegister(0x0208) & 1, 0);
}

TEST_F(StreamingTest, SnapshotReadsOneFrame) {
    startOpen("30f0:pace=fast:scene=ramp");
    ASSERT_EQ(device->StartCapture(1), 1);
    ASSERT_EQ(device->WaitFrame(5000), kWaitFrameReady);
    EXPECT_TRUE(eventually([&] { return !device->IsCapturing(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(camera().framesSent(), 1u);
    EXPECT_EQ(device->WaitFrame(0), kWaitTimeout);
    EXPECT_EQ(device->StopCapture(), 1);
}

TEST_F(StreamingTest, SnapshotOnTheCallersThreadEndsByItself) {
    startOpen("30f0:pace=fast:scene=ramp");
    ASSERT_EQ(device->CaptureSnapshotOnThisThread(), 1);
    EXPECT_FALSE(device->IsCapturing());
    EXPECT_EQ(camera().framesSent(), 1u);
    ASSERT_EQ(device->WaitFrame(0), kWaitFrameReady);
    std::vector<uint8_t> frame(device->GetFrameSize());
    EXPECT_EQ(device->CopyLatest(frame.data(), 1), 0);
    EXPECT_GE(rampFrameIndex(frame.data(), 3072, 2048, 1), 0);
    EXPECT_EQ(device->StopCapture(), 1);

    // Every read failing: the loop gives up after its retries and says so.
    camera().setFailAfter(0);
    ASSERT_EQ(device->CaptureSnapshotOnThisThread(), 1);
    EXPECT_FALSE(device->IsCapturing());
    EXPECT_TRUE(device->CaptureFailed());
    EXPECT_EQ(device->WaitFrame(0), kWaitFailed);
    EXPECT_EQ(device->StopCapture(), 1);

    // The threaded capture is unaffected.
    camera().setFailAfter(-1);
    ASSERT_EQ(device->StartCapture(1), 1);
    ASSERT_EQ(device->WaitFrame(5000), kWaitFrameReady);
    EXPECT_EQ(device->StopCapture(), 1);
}

TEST_F(StreamingTest, RepeatedReadFailuresEndTheCapture) {
    startOpen("30f0:pace=fast:fail_after=3");
    ASSERT_EQ(device->StartCapture(0), 1);
    EXPECT_TRUE(eventually([&] { return device->WaitFrame(100) == kWaitFailed; }));
    EXPECT_TRUE(eventually([&] { return !device->IsCapturing(); }));
    EXPECT_EQ(device->WaitFrame(1000), kWaitFailed);  // at once, until the next start
    EXPECT_EQ(device->StopCapture(), 1);
    // A new start forgets the failure at once.
    camera().setFailAfter(-1);
    ASSERT_EQ(device->StartCapture(0), 1);
    EXPECT_FALSE(device->CaptureFailed());
    std::vector<uint8_t> frame;
    EXPECT_TRUE(nextFrame(frame));
}

TEST_F(StreamingTest, DroppedHeaderIsRecovered) {
    startOpen("30f0:pace=fast:scene=ramp:drop=3");
    ASSERT_EQ(device->StartCapture(0), 1);
    std::vector<uint8_t> frame;
    for (int n = 0; n < 5; ++n) {
        ASSERT_TRUE(nextFrame(frame)) << n;
        EXPECT_GE(rampFrameIndex(frame.data(), 3072, 2048, 1), 0);
    }
    EXPECT_FALSE(device->CaptureFailed());
}

TEST_F(StreamingTest, UnplugDuringStreamingEndsCleanly) {
    startOpen("30f0:pace=fast:unplug_after=4");
    ASSERT_EQ(device->StartCapture(0), 1);
    EXPECT_TRUE(eventually([&] { return device->WaitFrame(100) == kWaitFailed; }));
    EXPECT_TRUE(eventually([&] { return !device->IsCapturing(); }));
    EXPECT_EQ(device->StopCapture(), 1);
    EXPECT_EQ(device->HasCamera(0), 0);
    EXPECT_EQ(device->StartCapture(0), 1);
    EXPECT_TRUE(eventually([&] { return device->WaitFrame(100) == kWaitFailed; }));
}

TEST_F(StreamingTest, StopCaptureJoinsTheThread) {
    startOpen("30f0:pace=fast");
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(device->StartCapture(0), 1);
        EXPECT_TRUE(device->IsCapturing());
        ASSERT_EQ(device->WaitFrame(5000), kWaitFrameReady);
        EXPECT_EQ(device->StopCapture(), 1);
        EXPECT_FALSE(device->IsCapturing());
        const uint32_t sent = camera().framesSent();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_EQ(camera().framesSent(), sent);
        // A reader waiting after the stop is not left hanging on a dead event.
        EXPECT_EQ(device->WaitFrame(5000), kWaitTimeout);
    }
}

TEST_F(StreamingTest, StopReleasesAWaitingReader) {
    startOpen("30f0:pace=fast");
    ASSERT_EQ(device->ApplyTriggerMode(1, 0), 1);
    ASSERT_EQ(device->StartCapture(2), 1);
    std::atomic<int> result{0};
    std::thread reader([&] { result = device->WaitFrame(20000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto start = std::chrono::steady_clock::now();
    device->StopCapture();
    reader.join();
    EXPECT_EQ(result.load(), kWaitTimeout);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST_F(StreamingTest, ReallocationAndReopenStopTheCaptureFirst) {
    startOpen("30f0:pace=fast:scene=ramp");
    ASSERT_EQ(device->SetCaptureWindow(0, 0, 640, 480, 0), 1);
    ASSERT_EQ(device->StartCapture(0), 1);
    std::vector<uint8_t> frame;
    ASSERT_TRUE(nextFrame(frame));
    // The buffers are replaced only after the capture thread has been joined.
    ASSERT_EQ(device->SetWideTransfer(1), 1);
    EXPECT_FALSE(device->IsCapturing());
    EXPECT_EQ(device->GetFrameSize(), 640u * 480u * 2u);
    ASSERT_EQ(device->StartCapture(0), 1);
    ASSERT_TRUE(nextFrame(frame));
    EXPECT_GE(rampFrameIndex(frame.data(), 640, 480, 2), 0);
    // Opening the camera again replaces the sensor the capture thread uses: it stops first.
    ASSERT_EQ(device->Open(0), 1);
    EXPECT_FALSE(device->IsCapturing());
    ASSERT_EQ(device->StartCapture(0), 1);
    ASSERT_TRUE(nextFrame(frame));
    EXPECT_EQ(frame.size(), 3072u * 2048u * 2u);
    EXPECT_EQ(device->Reopen(0), 0);
    EXPECT_FALSE(device->IsCapturing());
}

// A sensor whose frames need turning in software.
class TurningSensor : public sensors::CSensorIMX178 {
  public:
    TurningSensor(transport::CControllerBase* c, int code) : CSensorIMX178(c) {
        info_.orientation = code;
    }
};

TEST_F(StreamingTest, CopyLatestAppliesTheOrientationCode) {
    const int width = 400, height = 300;
    for (int wide = 0; wide < 2; ++wide) {
        const int bps = wide + 1;
        std::vector<uint8_t> plain;
        for (int code : {0, 2, 3, 4}) {
            SCOPED_TRACE("code " + std::to_string(code) + " wide " + std::to_string(wide));
            start("30f0:pace=fast:scene=ramp");
            device->SetSensorFactory([code](int, transport::CControllerBase* c) {
                return std::make_unique<TurningSensor>(c, code);
            });
            ASSERT_EQ(device->Open(0), 1);
            ASSERT_EQ(device->SetWideTransfer(wide), 1);
            ASSERT_EQ(device->SetCaptureWindow(0, 0, width, height, 0), 1);
            // A trigger-free single frame so that every code sees the same frame index.
            ASSERT_EQ(device->StartCapture(1), 1);
            ASSERT_EQ(device->WaitFrame(5000), kWaitFrameReady);
            std::vector<uint8_t> frame(device->GetFrameSize());
            ASSERT_EQ(device->CopyLatest(frame.data(), 1), 0);
            // A frame is lent in place only where the copy would be a plain block copy.
            device::FrameRing::Hold held = device->HoldLatest(frame.size(), 1);
            ASSERT_EQ(static_cast<bool>(held), code == 0);
            if (code == 0) {
                plain = frame;
                ASSERT_EQ(rampFrameIndex(plain.data(), width, height, bps), 0);
                ASSERT_EQ(held.size(), frame.size());
                EXPECT_EQ(std::memcmp(held.bytes(), frame.data(), frame.size()), 0);
                EXPECT_FALSE(device->HoldLatest(frame.size() - 1, 1)) << "too small a frame";
            }
            // Given back before the device goes: freeing the ring waits for its readers.
            held.reset();
            if (code != 0) {
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x) {
                        const int sx = (code == 2 || code == 4) ? width - 1 - x : x;
                        const int sy = (code == 3 || code == 4) ? height - 1 - y : y;
                        const size_t d = (static_cast<size_t>(y) * width + x) * bps;
                        const size_t s = (static_cast<size_t>(sy) * width + sx) * bps;
                        ASSERT_EQ(std::memcmp(&frame[d], &plain[s], bps), 0) << x << "," << y;
                    }
            }
            TearDown();
        }
    }
}

// The capture thread goes on filing frames while a reader holds the newest one in place: it
// passes over the held slot, so the held frame stays whole and unchanged until it is given
// back, and the ring goes on delivering afterwards.
TEST_F(StreamingTest, AHeldFrameStaysWholeWhileTheCaptureGoesOn) {
    const int width = 640, height = 480;
    startOpen("30f0:pace=fast:scene=ramp");
    ASSERT_EQ(device->SetCaptureWindow(0, 0, width, height, 0), 1);
    ASSERT_EQ(device->StartCapture(0), 1);
    std::vector<uint8_t> frame;
    ASSERT_TRUE(nextFrame(frame));
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(device->WaitFrame(5000), kWaitFrameReady);
        device::FrameRing::Hold held = device->HoldLatest(frame.size(), 1);
        ASSERT_TRUE(held);
        const std::vector<uint8_t> lent(held.bytes(), held.bytes() + held.size());
        const int index = rampFrameIndex(lent.data(), width, height, 1);
        ASSERT_GE(index, 0);
        // Several newer frames pass through the other slots meanwhile.
        int newer = 0;
        ASSERT_TRUE(eventually([&] {
            if (nextFrame(frame) && rampFrameIndex(frame.data(), width, height, 1) != index)
                ++newer;
            return newer >= 6;
        }));
        EXPECT_EQ(std::memcmp(held.bytes(), lent.data(), lent.size()), 0);
        held.reset();
        EXPECT_FALSE(held);
    }
    EXPECT_TRUE(nextFrame(frame));
    EXPECT_GE(rampFrameIndex(frame.data(), width, height, 1), 0);
}

TEST_F(StreamingTest, CopyFrameChecksTheBuffer) {
    startOpen("30f0:pace=fast:scene=flat:9");
    ASSERT_EQ(device->StartCapture(1), 1);
    ASSERT_EQ(device->WaitFrame(5000), kWaitFrameReady);
    const uint32_t f = device->GetFrameSize();
    std::vector<uint8_t> buffer(f, 0xEE);
    EXPECT_EQ(device->CopyFrame(buffer.data(), f - 1, 0, 1), 0);
    EXPECT_EQ(buffer, std::vector<uint8_t>(f, 0xEE));
    EXPECT_EQ(device->CopyFrame(nullptr, f, 0, 1), 0);
    EXPECT_EQ(device->CopyFrame(buffer.data(), f, 0, 1), 1);
    EXPECT_EQ(buffer, std::vector<uint8_t>(f, 9));
    EXPECT_EQ(device->CopyLatest(nullptr, 1), -1);
}

TEST_F(StreamingTest, GrabOneLeavesTheFrameInSlotZero) {
    startOpen("30f0:pace=fast:scene=ramp");
    const int width = 256, height = 64;
    ASSERT_EQ(device->SetCaptureWindow(0, 0, width, height, 0), 1);
    EXPECT_EQ(device->CopySnapshot(nullptr), -2);
    ASSERT_EQ(device->GrabOne(), 0);
    std::vector<uint8_t> frame(device->GetFrameSize());
    ASSERT_EQ(device->CopySnapshot(frame.data()), 0);
    // The snapshot copy delivers the rows bottom-up.
    std::vector<uint8_t> flipped(frame.size());
    for (int y = 0; y < height; ++y)
        std::memcpy(&flipped[static_cast<size_t>(y) * width],
                    &frame[static_cast<size_t>(height - 1 - y) * width], width);
    EXPECT_GE(rampFrameIndex(flipped.data(), width, height, 1), 0);

    camera().setSuppressHeaders(true);
    camera().unplug();
    EXPECT_EQ(device->GrabOne(), 1);
    EXPECT_TRUE(device->CaptureFailed());
}

}  // namespace
}  // namespace orvane::test
