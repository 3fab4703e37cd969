// A hostile camera (sim/DeviceFaults.h): corrupted frame headers, lengths beyond the buffers,
// short and over-long transfers, frame numbers that jump back and garbage control replies.
// Whatever the device does, the device SDK hands out only whole frames of the current
// geometry, gives up after its bounded retries, never hangs, and streams normally again once
// the device behaves. Run under AddressSanitizer in CI, so an access outside a buffer fails
// these tests too.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DeviceTestSupport.h"
#include "OrvaneSdk.h"
#include "sim/CameraList.h"

namespace orvane::test {
namespace {

using device::kWaitFailed;
using device::kWaitFrameReady;

constexpr int kWidth = 256;
constexpr int kHeight = 64;

// The faults of one option string ("header_noise=6:seed=3"), as the environment would set them.
sim::DeviceFaults faultsOf(const std::string& options) {
    std::vector<sim::CameraOptions> cams;
    std::string error;
    EXPECT_TRUE(sim::parseCameraList("30f0:" + options, &cams, &error)) << error;
    return cams.empty() ? sim::DeviceFaults{} : cams[0].faults;
}

struct StreamTally {
    int frames = 0;   // whole ramp frames handed out
    int torn = 0;     // frames that were not one ramp frame
    int giveUps = 0;  // captures that ended on their failure limit
};

class HostileDevice : public DeviceFixture {
  protected:
    void open(int wide) {
        startOpen("30f0:pace=fast:scene=ramp");
        ASSERT_EQ(device->SetWideTransfer(wide), 1);
        ASSERT_EQ(device->SetCaptureWindow(0, 0, kWidth, kHeight, 0), 1);
        // A header that announces more than the camera sends leaves the last read waiting
        // for data that never come; a short timeout keeps such cases quick.
        device->SetPayloadTimeout(150);
        bytesPerSample_ = wide ? 2 : 1;
    }
    // Streams for `waits` frame waits, restarting the capture whenever it gives up.
    StreamTally stream(int waits) {
        StreamTally t;
        EXPECT_EQ(device->StartCapture(device::kModeContinuous), 1);
        // The buffers follow the geometry once a capture starts.
        std::vector<uint8_t> frame(device->GetFrameSize());
        if (frame.size() != static_cast<size_t>(kWidth) * kHeight * bytesPerSample_) {
            ADD_FAILURE() << "frame size " << frame.size();
            return t;
        }
        for (int i = 0; i < waits; ++i) {
            const int r = device->WaitFrame(2000);
            if (r == kWaitFailed) {
                ++t.giveUps;
                EXPECT_EQ(device->StartCapture(device::kModeContinuous), 1);
                continue;
            }
            if (r != kWaitFrameReady) continue;
            EXPECT_EQ(device->CopyLatest(frame.data(), 1), 0);
            if (rampFrameIndex(frame.data(), kWidth, kHeight, bytesPerSample_) >= 0)
                ++t.frames;
            else
                ++t.torn;
        }
        EXPECT_EQ(device->StopCapture(), 1);
        return t;
    }
    // Once the device behaves again, frames flow again.
    void expectRecovery() {
        camera().setDeviceFaults({});
        const StreamTally t = stream(6);
        EXPECT_GE(t.frames, 4);
        EXPECT_EQ(t.torn, 0);
        EXPECT_EQ(t.giveUps, 0);
        std::vector<uint8_t> frame(device->GetFrameSize());
        ASSERT_EQ(device->GrabOne(), 0);
        // Slot 0 in the session's orientation (CopySnapshot hands it out bottom row first).
        ASSERT_EQ(device->CopyFrame(frame.data(), frame.size(), 1, 1), 1);
        EXPECT_GE(rampFrameIndex(frame.data(), kWidth, kHeight, bytesPerSample_), 0);
    }
    int bytesPerSample_ = 1;
};

struct FaultCase {
    const char* options;
    bool framesGetThrough;  // false: no frame of this device can be taken
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.options;
}

class EveryFault : public HostileDevice, public testing::WithParamInterface<FaultCase> {};

TEST_P(EveryFault, OnlyWholeFramesAndRecoveryAfterwards) {
    for (int wide : {0, 1}) {
        SCOPED_TRACE(std::string(GetParam().options) + (wide ? " wide" : " narrow"));
        open(wide);
        camera().setDeviceFaults(faultsOf(GetParam().options));
        const StreamTally t = stream(12);
        EXPECT_EQ(t.torn, 0) << "a frame with stale or foreign bytes was handed out";
        if (GetParam().framesGetThrough) {
            EXPECT_GE(t.frames, 3);
        } else {
            EXPECT_EQ(t.frames, 0);
            EXPECT_GE(t.giveUps, 1);
            // A synchronous grab gives up as well, and says so.
            EXPECT_EQ(device->GrabOne(), 1);
        }
        expectRecovery();
        TearDown();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, EveryFault,
    testing::Values(FaultCase{"header_noise=3:seed=11", true},
                    // Byte 17 is the second byte of the payload count: 0 leaves the count far
                    // below a frame, so no header of this device describes a whole frame.
                    FaultCase{"header_byte=17/0", false}, FaultCase{"header_byte=19/255", false},
                    FaultCase{"announce=4294967295", false}, FaultCase{"announce=0", false},
                    // Larger than a frame but within the buffer: the last read waits in vain.
                    FaultCase{"announce=40000", false}, FaultCase{"header_byte=0/0", true},
                    FaultCase{"short_every=5", true}, FaultCase{"long_every=6", true},
                    FaultCase{"tag_back=2", true}, FaultCase{"garbage=4:seed=5", true},
                    FaultCase{"short_every=7:long_every=9:header_noise=1:tag_back=3", true}),
    [](const testing::TestParamInfo<FaultCase>& info) {
        return "Case" + std::to_string(info.index);
    });

TEST_F(HostileDevice, GarbageRepliesDuringOpenAreSurvived) {
    start("30f0:pace=fast:scene=ramp");
    for (int every : {1, 2, 3}) {
        SCOPED_TRACE("garbage every " + std::to_string(every));
        camera().setDeviceFaults(faultsOf("garbage=" + std::to_string(every)));
        const int opened = device->Open(0);
        EXPECT_TRUE(opened == 0 || opened == 1);
        uint8_t block[64];
        const int read = device->ReadInformationBlock(block);
        EXPECT_TRUE(read == 0 || read == 1);
        int x = 0, y = 0, w = 0, h = 0, mode = 0;
        device->GetSensorGeometry(&x, &y, &w, &h, &mode);
        if (opened == 1 && w > 0 && h > 0 && w * h <= kWidth * kHeight * 4) {
            const int grab = device->GrabOne();
            EXPECT_TRUE(grab == 0 || grab == 1);
        }
    }
    camera().setDeviceFaults({});
    ASSERT_EQ(device->Open(0), 1);
    ASSERT_EQ(device->SetCaptureWindow(0, 0, kWidth, kHeight, 0), 1);
    expectRecovery();
}

TEST_F(HostileDevice, FaultOptionsParse) {
    const sim::DeviceFaults f = faultsOf(
        "header_noise=4:header_byte=16/7:header_byte=63/255:announce=4294967295:"
        "short_every=2:long_every=3:tag_back=4:garbage=5:seed=6");
    EXPECT_EQ(f.headerNoise, 4u);
    EXPECT_EQ(f.headerPatches, (std::vector<sim::HeaderPatch>{{16, 7}, {63, 255}}));
    EXPECT_EQ(f.announceBytes, 4294967295LL);
    EXPECT_EQ(f.shortEvery, 2u);
    EXPECT_EQ(f.longEvery, 3u);
    EXPECT_EQ(f.tagBackEvery, 4u);
    EXPECT_EQ(f.garbageEvery, 5u);
    EXPECT_EQ(f.seed, 6u);
    std::vector<sim::CameraOptions> cams;
    std::string error;
    for (const char* bad : {"30f0:header_byte=64/0", "30f0:header_byte=1", "30f0:header_noise=65",
                            "30f0:announce=4294967296", "30f0:short_every=-1", "30f0:garbage="}) {
        EXPECT_FALSE(sim::parseCameraList(bad, &cams, &error)) << bad;
        EXPECT_FALSE(error.empty());
    }
}

// The frame headers the camera sends carry exactly the requested corruption.
TEST_F(HostileDevice, HeadersCarryTheRequestedFaults) {
    sim::FaultInjector faults(faultsOf("header_byte=5/9:announce=123:tag_back=2"));
    uint8_t header[64] = {};
    header[32] = 7;
    faults.shapeHeader(header, 0);
    EXPECT_EQ(header[5], 9);
    EXPECT_EQ(header[16] | header[17] << 8 | header[18] << 16 | header[19] << 24, 123);
    EXPECT_EQ(header[32], 7) << "the first frame keeps its number";
    faults.shapeHeader(header, 1);
    EXPECT_EQ(header[32], 0) << "every second frame jumps back to 0";

    sim::FaultInjector transfers(faultsOf("short_every=2:long_every=3"));
    uint32_t delivered = 100;
    EXPECT_EQ(transfers.shapeTransfer(100, &delivered), 100u);
    EXPECT_EQ(delivered, 100u);
    delivered = 100;
    EXPECT_EQ(transfers.shapeTransfer(100, &delivered), 50u);
    EXPECT_EQ(delivered, 50u) << "the second transfer ends short";
    delivered = 100;
    EXPECT_GT(transfers.shapeTransfer(100, &delivered), 100u) << "the third reports too much";
    EXPECT_EQ(delivered, 100u);
}

// Through the public interface: a snapshot from a device whose headers announce more than
// any buffer fails with "no frame" and the next one, from a sane device, succeeds.
TEST(HostileDeviceApi, SnapshotReportsTheFailureAndRecovers) {
    sim::ScopedVirtualCameras cams("30f0:pace=fast:scene=flat:60:announce=4294967295");
    const ORVANE_HANDLE handle = Orvane_Initialize(nullptr);
    ASSERT_NE(handle, 0u);
    ASSERT_EQ(Orvane_SetColorMode(handle, 8), 1);
    std::vector<uint8_t> image(3072 * 2048);
    EXPECT_EQ(Orvane_SnapShot(handle, image.data(), static_cast<int>(image.size()), 1), 0);
    EXPECT_EQ(Orvane_GetLastError(handle), ORVANE_ERR_NO_FRAME);
    cams.camera(0).setDeviceFaults({});
    EXPECT_EQ(Orvane_SnapShot(handle, image.data(), static_cast<int>(image.size()), 1), 1);
    EXPECT_EQ(image[image.size() / 2], 60);
    EXPECT_EQ(Orvane_Release(handle), 1);
}

// A preview from a device whose headers never describe a frame ends with the delivery error,
// posted to the callback window and recorded, instead of handing out stale frames. (Byte 18
// is the third byte of the payload count: 0 takes 6 MiB off a full-size 8-bit frame.)
TEST(HostileDeviceApi, PreviewReportsTheDeliveryFailure) {
    sim::ScopedVirtualCameras cams("30f0:pace=fast:scene=flat:60:header_byte=18/0");
    HWND window = Orvane_CreateMessageWindow(0);
    ASSERT_NE(window, nullptr);
    const ORVANE_HANDLE handle = Orvane_Initialize(nullptr);
    ASSERT_NE(handle, 0u);
    ASSERT_EQ(Orvane_SetColorMode(handle, 8), 1);
    std::vector<uint8_t> image(3072 * 2048);
    ASSERT_EQ(
        Orvane_CallBackPreview(handle, window, image.data(), static_cast<int>(image.size()), 1), 1);
    OrvaneMessage m{};
    ASSERT_EQ(Orvane_GetMessage(window, &m, 20000), 1);
    EXPECT_EQ(m.message, static_cast<unsigned>(ORVANE_WM_FRAME));
    EXPECT_EQ(m.lParam, ORVANE_ERR_DELIVERY) << "no frame message before the failure";
    EXPECT_EQ(Orvane_StopPreview(handle), 1);
    EXPECT_EQ(Orvane_GetLastError(handle), ORVANE_ERR_DELIVERY);
    EXPECT_EQ(Orvane_Release(handle), 1);
    Orvane_DestroyMessageWindow(window);
}

}  // namespace
}  // namespace orvane::test
