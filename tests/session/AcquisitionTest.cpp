// Acquisition through the public interface against virtual cameras in fast pacing.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "OrvaneSdk.h"
#include "session/AutoIris.h"
#include "sim/VirtualCameraSystem.h"

namespace {

using orvane::sim::ScopedVirtualCameras;

constexpr int kW = 3072;
constexpr int kH = 2048;

int strideOf(int bits) {
    return (kW * bits / 8 + 3) & ~3;
}

class Acquisition : public testing::Test {
  protected:
    void start(const char* cameras) {
        cams_ = std::make_unique<ScopedVirtualCameras>(cameras);
        window_ = Orvane_CreateMessageWindow(0);
        handle_ = Orvane_Initialize(nullptr);
        ASSERT_NE(handle_, 0u);
        ASSERT_EQ(Orvane_SetWaitTime(handle_, 0), 1);
    }
    void TearDown() override {
        if (handle_) {
            EXPECT_EQ(Orvane_Release(handle_), 1);
        }
        if (window_) Orvane_DestroyMessageWindow(window_);
    }
    // Waits for the next frame message; null when none comes within the time.
    // Generous: a full-size 48- or 64-bit frame under ThreadSanitizer on a busy machine takes
    // several seconds.
    OrvaneMessage nextMessage(int timeoutMs = 30000) {
        OrvaneMessage m{};
        if (Orvane_GetMessage(window_, &m, timeoutMs) != 1) m.message = 0;
        return m;
    }
    std::unique_ptr<ScopedVirtualCameras> cams_;
    HWND window_ = nullptr;
    ORVANE_HANDLE handle_ = 0;
};

TEST_F(Acquisition, ModesExcludeEachOther) {
    start("30f0:pace=fast:scene=flat:40");
    EXPECT_EQ(Orvane_StartPreview(handle_), 1);
    EXPECT_EQ(Orvane_StartPreview(handle_), 1) << "already running";
    EXPECT_EQ(Orvane_Capture(handle_), 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 1);
    EXPECT_EQ(Orvane_SnapShot(handle_, nullptr, 0, 0), 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 1);
    EXPECT_EQ(Orvane_StopPreview(handle_), 1);
    EXPECT_EQ(Orvane_Capture(handle_), 1);
    EXPECT_EQ(Orvane_StartPreview(handle_), 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 1);
    EXPECT_EQ(Orvane_Capture(handle_), 1);
    EXPECT_EQ(Orvane_SnapShot(handle_, nullptr, 0, 0), 1) << "snapshots in capture mode";
    EXPECT_EQ(Orvane_SnapShot(handle_, nullptr, 0, 0), 1);
    EXPECT_EQ(Orvane_StopPreview(handle_), 1);
    EXPECT_EQ(Orvane_GetLastError(handle_), 0);
}

TEST_F(Acquisition, SnapshotWithoutABufferIsKeptForGetImage) {
    start("30f0:pace=fast:scene=flat:77");
    ASSERT_EQ(Orvane_SetColorMode(handle_, 8), 1);
    EXPECT_EQ(Orvane_SaveImage(handle_, "/dev/null", 0), 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 1) << "nothing processed yet";
    ASSERT_EQ(Orvane_SnapShot(handle_, nullptr, 0, 0), 1);
    std::vector<uint8_t> image(static_cast<size_t>(strideOf(8)) * kH);
    ASSERT_EQ(Orvane_GetImage(handle_, image.data(), static_cast<int>(image.size()), 1), 1);
    EXPECT_EQ(image[0], 77);
    EXPECT_EQ(image[image.size() / 2 + 5], 77);
    EXPECT_EQ(Orvane_GetImage(handle_, nullptr, 0, 1), 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 5);
}

TEST_F(Acquisition, AShortBufferFailsAndIsReportedTwiceAndToTheCallbackWindow) {
    start("30f0:pace=fast:scene=flat:10");
    // Register the callback window through a preview, then stop it.
    std::vector<uint8_t> big(static_cast<size_t>(strideOf(24)) * kH);
    ASSERT_EQ(Orvane_CallBackPreview(handle_, window_, big.data(), static_cast<int>(big.size()), 1),
              1);
    ASSERT_EQ(Orvane_StopPreview(handle_), 1);
    while (nextMessage(0).message != 0) {
    }
    std::vector<uint8_t> small(big.size() - 1);
    EXPECT_EQ(Orvane_SnapShot(handle_, small.data(), static_cast<int>(small.size()), 1), 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 5);
    EXPECT_EQ(Orvane_GetLastError(handle_), 5);
    EXPECT_EQ(Orvane_GetLastError(handle_), 0);
    const OrvaneMessage m = nextMessage(1000);
    EXPECT_EQ(m.message, static_cast<unsigned>(ORVANE_WM_FRAME));
    EXPECT_EQ(m.wParam, 0u);
    EXPECT_EQ(m.lParam, 5);
}

struct ModeCase {
    int bits;
    int bytesPerSample;
    int samplesPerPixel;  // channels written by the pipeline
    int pixelBytes;
};

TEST_F(Acquisition, CallbackPreviewDeliversProcessedFramesInEveryModeAndRowOrder) {
    start("30f0:pace=fast:scene=flat:90");
    const ModeCase modes[] = {{8, 1, 1, 1},  {16, 2, 1, 2}, {24, 1, 3, 3},
                              {32, 1, 3, 4}, {48, 2, 3, 6}, {64, 2, 3, 8}};
    for (const ModeCase& mode : modes) {
        for (int rowOrder : {0, 1}) {
            SCOPED_TRACE(testing::Message() << mode.bits << " bits, row order " << rowOrder);
            ASSERT_EQ(Orvane_SetColorMode(handle_, mode.bits), 1);
            const size_t size = static_cast<size_t>(strideOf(mode.bits)) * kH;
            std::vector<uint8_t> buffer(size, 0xCD);
            ASSERT_EQ(Orvane_CallBackPreview(handle_, window_, buffer.data(),
                                             static_cast<int>(size), rowOrder),
                      1);
            // A failed assertion returns early: the preview must be stopped before the buffer
            // it writes into is freed.
            struct StopOnExit {
                ORVANE_HANDLE h;
                ~StopOnExit() { Orvane_StopPreview(h); }
            } stopOnExit{handle_};
            const OrvaneMessage m = nextMessage();
            ASSERT_EQ(m.message, static_cast<unsigned>(ORVANE_WM_FRAME));
            ASSERT_EQ(m.lParam, 0);
            ASSERT_EQ(Orvane_StopPreview(handle_), 1);
            const auto* info = reinterpret_cast<const OrvaneFrameInfo*>(m.wParam);
            EXPECT_EQ(info->reserved, 0);
            EXPECT_EQ(info->width, kW);
            EXPECT_EQ(info->height, kH);
            EXPECT_EQ(info->bitsPerPixel, mode.bits);
            EXPECT_EQ(info->buffer, buffer.data());
            // A flat scene stays flat through every step with the default settings.
            const unsigned expected = mode.bytesPerSample == 1 ? 90u : 90u * 16u;
            for (size_t row : {size_t{0}, size_t{1000}, size_t{kH - 1}}) {
                const uint8_t* p = buffer.data() + row * static_cast<size_t>(strideOf(mode.bits));
                for (int x : {0, 1, 1536, kW - 1}) {
                    for (int c = 0; c < mode.samplesPerPixel; ++c) {
                        const uint8_t* sample = p + x * mode.pixelBytes + c * mode.bytesPerSample;
                        unsigned v = sample[0];
                        if (mode.bytesPerSample == 2) v |= static_cast<unsigned>(sample[1]) << 8;
                        EXPECT_EQ(v, expected) << "row " << row << " x " << x << " c " << c;
                    }
                }
            }
            while (nextMessage(0).message != 0) {
            }
        }
    }
}

TEST_F(Acquisition, RowOrderDecidesWhichRowComesFirst) {
    start("30f0:pace=fast:scene=ramp");
    ASSERT_EQ(Orvane_SetColorMode(handle_, 8), 1);
    // Hot-pixel suppression would touch the ramp's steps; the sub-sample bit 0x10 cannot be
    // set through the interface, so compare the rows the filter leaves alone: the two at the
    // top and bottom.
    const size_t stride = static_cast<size_t>(strideOf(8));
    std::vector<uint8_t> topFirst(stride * kH), bottomFirst(stride * kH);
    ASSERT_EQ(Orvane_SnapShot(handle_, topFirst.data(), static_cast<int>(topFirst.size()), 1), 1);
    ASSERT_EQ(Orvane_GetImage(handle_, bottomFirst.data(), static_cast<int>(bottomFirst.size()), 0),
              1);
    EXPECT_EQ(0, std::memcmp(topFirst.data(), bottomFirst.data() + (kH - 1) * stride, stride));
    EXPECT_EQ(0, std::memcmp(topFirst.data() + (kH - 1) * stride, bottomFirst.data(), stride));
    // Ramp: sample (x, y) = (x + 2y + n) mod 256, so row 1 starts 2 above row 0.
    EXPECT_EQ(static_cast<uint8_t>(topFirst[stride] - topFirst[0]), 2);
}

TEST_F(Acquisition, AFailingCameraEndsThePreviewWithOneRecordedThirteen) {
    start("30f0:pace=fast:scene=flat:5:fail_after=3");
    ASSERT_EQ(Orvane_SetColorMode(handle_, 8), 1);
    std::vector<uint8_t> buffer(static_cast<size_t>(strideOf(8)) * kH);
    ASSERT_EQ(
        Orvane_CallBackPreview(handle_, window_, buffer.data(), static_cast<int>(buffer.size()), 1),
        1);
    bool sawFailure = false;
    for (int i = 0; i < 50 && !sawFailure; ++i) {
        const OrvaneMessage m = nextMessage();
        ASSERT_EQ(m.message, static_cast<unsigned>(ORVANE_WM_FRAME));
        sawFailure = m.lParam == 13;
    }
    EXPECT_TRUE(sawFailure);
    EXPECT_EQ(Orvane_StopPreview(handle_), 1);
    EXPECT_EQ(Orvane_GetLastError(handle_), 13);
    EXPECT_EQ(Orvane_GetLastError(handle_), 0);
}

TEST_F(Acquisition, WithoutFramesTheThreadKeepsWaitingAndRecordsNothing) {
    start("30f0:pace=fast:scene=flat:33");
    ASSERT_EQ(Orvane_SetColorMode(handle_, 8), 1);
    cams_->camera(0).setStalled(true);
    std::vector<uint8_t> buffer(static_cast<size_t>(strideOf(8)) * kH);
    ASSERT_EQ(
        Orvane_CallBackPreview(handle_, window_, buffer.data(), static_cast<int>(buffer.size()), 1),
        1);
    // Two of the thread's 3000 ms frame waits go by without a frame: no message, no record,
    // and the thread is still there when frames come back.
    EXPECT_EQ(nextMessage(6500).message, 0u);
    EXPECT_EQ(Orvane_GetLastError(handle_), 0);
    cams_->camera(0).setStalled(false);
    const OrvaneMessage m = nextMessage();
    EXPECT_EQ(m.message, static_cast<unsigned>(ORVANE_WM_FRAME));
    EXPECT_EQ(m.lParam, 0);
    // The buffer is read once the preview has stopped: the thread goes on writing frames.
    EXPECT_EQ(Orvane_StopPreview(handle_), 1);
    EXPECT_EQ(buffer[buffer.size() / 2], 33);
    EXPECT_EQ(Orvane_GetLastError(handle_), 0);
}

TEST_F(Acquisition, AutoIrisScalesGainOrExposureByAQuarterWhenEverythingIsBright) {
    start("30f0:pace=fast:scene=flat:250");
    ASSERT_EQ(Orvane_SetColorMode(handle_, 8), 1);
    ASSERT_EQ(Orvane_SetGlobalGain(handle_, 100), 1);
    ASSERT_EQ(Orvane_SetExposureTime(handle_, 200), 1);
    ASSERT_EQ(Orvane_SetAutoIris(handle_, 2), 1);
    ASSERT_EQ(Orvane_SnapShot(handle_, nullptr, 0, 0), 1);
    int ok = 0;
    EXPECT_EQ(Orvane_GetGlobalGain(handle_, &ok), 25);
    EXPECT_EQ(Orvane_GetExposureTime(handle_, &ok), 200);

    ASSERT_EQ(Orvane_SetAutoIris(handle_, 1), 1);
    ASSERT_EQ(Orvane_SnapShot(handle_, nullptr, 0, 0), 1);
    EXPECT_EQ(Orvane_GetExposureTime(handle_, &ok), 50);
    EXPECT_EQ(Orvane_GetRealExposureTime(handle_, &ok), 5000);
    ASSERT_EQ(Orvane_SetAutoIris(handle_, 0), 1);
    EXPECT_EQ(Orvane_SetAutoIris(handle_, 3), 0);
}

// Settings changed by another thread while a preview runs: every frame the application
// gets is whole and processed with the settings of one moment. The setter thread steps hue
// and then brightness through a cycle, so the settings only ever hold (hue i, brightness i)
// or (hue i, brightness i - 1); a frame whose hue step read one moment and brightness step a
// later one shows a pair outside these, and a frame handed over while still being processed
// shows two colours.
TEST_F(Acquisition, SettingsChangedDuringAPreviewNeverMixWithinAFrame) {
    start("30f0:pace=fast:scene=sites:200/90/40");
    constexpr int kW2 = kW, kH2 = kH, kStride = kW2 * 3;
    ASSERT_EQ(Orvane_SetColorMode(handle_, 24), 1);
    ASSERT_EQ(Orvane_SetBayerGainAuto(handle_, 0), 1);
    constexpr int kSteps = 3;
    const int hues[kSteps] = {0, 60, 150};
    const int brightness[kSteps] = {0, -40, -80};
    std::vector<uint8_t> image(static_cast<size_t>(kStride) * kH2);
    auto centre = [&] {
        const uint8_t* p = image.data() + static_cast<size_t>(kH2 / 2) * kStride + kW2 / 2 * 3;
        return p[0] | p[1] << 8 | p[2] << 16;
    };
    // The colour of every (hue, brightness) pair, from snapshots with nothing running.
    int colour[kSteps][kSteps];
    for (int a = 0; a < kSteps; ++a)
        for (int c = 0; c < kSteps; ++c) {
            ASSERT_EQ(Orvane_SetHue(handle_, hues[a]), 1);
            ASSERT_EQ(Orvane_SetBrightness(handle_, brightness[c]), 1);
            ASSERT_EQ(Orvane_SnapShot(handle_, image.data(), static_cast<int>(image.size()), 1), 1);
            colour[a][c] = centre();
            for (int a2 = 0; a2 <= a; ++a2)
                for (int c2 = 0; c2 < (a2 == a ? c : kSteps); ++c2)
                    ASSERT_NE(colour[a2][c2], colour[a][c]) << "pairs must differ in colour";
        }
    ASSERT_EQ(Orvane_SetHue(handle_, hues[0]), 1);
    ASSERT_EQ(Orvane_SetBrightness(handle_, brightness[0]), 1);
    ASSERT_EQ(Orvane_StartPreview(handle_), 1);

    std::atomic<bool> stop{false};
    std::thread setter([&] {
        for (int i = 1; !stop.load(); ++i) {
            Orvane_SetFilterValue(handle_, ORVANE_FILTER_HUE, hues[i % kSteps]);
            Orvane_SetFilterValue(handle_, ORVANE_FILTER_BRIGHTNESS, brightness[i % kSteps]);
        }
    });
    int seen[kSteps][kSteps] = {};
    int distinct = 0;
    for (int n = 0; n < 60 && distinct < 2 * kSteps; ++n) {
        ASSERT_EQ(Orvane_GetImage(handle_, image.data(), static_cast<int>(image.size()), 1), 1);
        const int c0 = centre();
        // Whole: the interior (away from the border the demosaic treats apart) is one colour.
        bool whole = true;
        for (int y = 4; y < kH2 - 4 && whole; y += 8)
            for (int x = 4; x < kW2 - 4 && whole; ++x) {
                const uint8_t* p = image.data() + static_cast<size_t>(y) * kStride + x * 3;
                whole = (p[0] | p[1] << 8 | p[2] << 16) == c0;
            }
        EXPECT_TRUE(whole) << "frame " << n << " holds more than one colour";
        int pair = -1;
        for (int a = 0; a < kSteps && pair < 0; ++a)
            for (int c = 0; c < kSteps; ++c)
                if (colour[a][c] == c0) pair = a * kSteps + c;
        ASSERT_GE(pair, 0) << "frame " << n << " matches no settings pair";
        const int a = pair / kSteps, c = pair % kSteps;
        EXPECT_TRUE(c == a || c == (a + kSteps - 1) % kSteps)
            << "frame " << n << " processed with hue " << hues[a] << " and brightness "
            << brightness[c];
        if (seen[a][c]++ == 0) ++distinct;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    stop.store(true);
    setter.join();
    EXPECT_GE(distinct, 2) << "the settings never changed between frames";
    EXPECT_EQ(Orvane_StopPreview(handle_), 1);
}

TEST(AcquisitionThreads, SessionsStreamAtOnceAndAreReleasedWhileRunning) {
    ScopedVirtualCameras cams("30f0:pace=fast:scene=flat:20,30f0:pace=fast:scene=flat:60");
    const ORVANE_HANDLE a = Orvane_Initialize(nullptr);
    const ORVANE_HANDLE b = Orvane_Initialize(nullptr);
    ASSERT_EQ(Orvane_SetDeviceNumber(a, 0), 1);
    ASSERT_EQ(Orvane_SetDeviceNumber(b, 1), 1);
    HWND wa = Orvane_CreateMessageWindow(0);
    HWND wb = Orvane_CreateMessageWindow(0);
    for (ORVANE_HANDLE h : {a, b}) {
        Orvane_SetColorMode(h, 8);
        Orvane_SetWaitTime(h, 0);
    }
    const size_t size = static_cast<size_t>(strideOf(8)) * kH;
    std::vector<uint8_t> ba(size), bb(size);
    ASSERT_EQ(Orvane_CallBackPreview(a, wa, ba.data(), static_cast<int>(size), 1), 1);
    ASSERT_EQ(Orvane_CallBackPreview(b, wb, bb.data(), static_cast<int>(size), 1), 1);
    int framesA = 0, framesB = 0;
    OrvaneMessage m;
    while (framesA < 3 || framesB < 3) {
        if (Orvane_GetMessage(wa, &m, 20) == 1 && m.lParam == 0) ++framesA;
        if (Orvane_GetMessage(wb, &m, 20) == 1 && m.lParam == 0) ++framesB;
    }
    // Release from another thread while both previews run.
    std::thread releaser([&] { EXPECT_EQ(Orvane_Release(a), 1); });
    releaser.join();
    EXPECT_EQ(Orvane_StopPreview(b), 1);
    EXPECT_EQ(bb[12345], 60);
    EXPECT_EQ(Orvane_Release(b), 1);
    Orvane_DestroyMessageWindow(wa);
    Orvane_DestroyMessageWindow(wb);
}

}  // namespace

// The automatic exposure/gain factor on its own, for region patterns a virtual scene cannot
// produce.
namespace {

using orvane::session::autoIrisActs;
using orvane::session::autoIrisFactor;

TEST(AutoIrisFactor, BrightEverywhereQuartersAndTheCentreAloneChangesNothing) {
    const int allBright[5] = {250, 250, 250, 250, 250};
    EXPECT_TRUE(autoIrisActs(autoIrisFactor(allBright)));
    EXPECT_EQ(static_cast<int>(100.0f * autoIrisFactor(allBright)), 25);
    EXPECT_EQ(static_cast<int>(200.0f * autoIrisFactor(allBright)), 50);

    const int centreBright[5] = {130, 130, 250, 130, 130};
    EXPECT_FLOAT_EQ(autoIrisFactor(centreBright), 0.85f);
    EXPECT_FALSE(autoIrisActs(autoIrisFactor(centreBright)));

    const int allDark[5] = {10, 10, 10, 10, 10};
    EXPECT_FLOAT_EQ(autoIrisFactor(allDark), 1.25f);
    EXPECT_TRUE(autoIrisActs(autoIrisFactor(allDark)));

    const int middling[5] = {170, 170, 170, 120, 120};  // 0.9 - 0.1 - 0.1 = 0.7: no change
    EXPECT_FALSE(autoIrisActs(autoIrisFactor(middling)));
    const int firstDecides[5] = {210, 120, 120, 120, 120};
    EXPECT_FLOAT_EQ(autoIrisFactor(firstDecides), 0.85f);
}

}  // namespace
