// A test fixture holding one session on a fast virtual camera, opened through the public
// exports, with the reads the settings-sheet tests check after driving a sheet, and the
// outcomes of the sheet scenarios that every front-end of the sheets plays the same way.
#pragma once

#include <gtest/gtest.h>

#include "OrvaneSdk.h"
#include "session/SettingsStore.h"
#include "sim/VirtualCameraSystem.h"

namespace orvane::test {

class SessionFixture : public testing::Test {
  protected:
    void SetUp() override { open(); }
    void TearDown() override {
        if (handle_ != 0) Orvane_Release(handle_);
        handle_ = 0;
    }
    void open() {
        handle_ = Orvane_Initialize(nullptr);
        ASSERT_NE(handle_, 0u);
    }
    // Releases the session, which stores its image and analog settings.
    void release() {
        Orvane_Release(handle_);
        handle_ = 0;
    }
    int filter(int id) {
        int ok = 0;
        const int v = Orvane_GetFilterValue(handle_, id, &ok);
        EXPECT_EQ(ok, 1) << id;
        return v;
    }
    int globalGain() {
        int ok = 0;
        return Orvane_GetGlobalGain(handle_, &ok);
    }

    // The image sheet closed with OK after brightness 40, contrast -12, gamma 101 and Bayer
    // phase 1: the session has them, and releasing it stores them.
    void expectImageChangesKept() {
        EXPECT_EQ(filter(ORVANE_FILTER_BRIGHTNESS), 40);
        EXPECT_EQ(filter(ORVANE_FILTER_CONTRAST), -12);
        EXPECT_EQ(filter(ORVANE_FILTER_GAMMA), 101);
        EXPECT_EQ(filter(ORVANE_FILTER_BAYER_MODE), 1);

        release();
        session::ImageSettings stored;
        ASSERT_EQ(session::settings::LoadFilter(0, stored), 1);
        EXPECT_EQ(stored[0], 40);
        EXPECT_EQ(stored[1], -12);
        EXPECT_EQ(stored[8], 101);
        EXPECT_EQ(stored[9], 1);
    }
    // The image sheet cancelled (or its window closed) after saturation 7 was set through the
    // exports and the sheet moved saturation and the red gain: both are back.
    void expectImageChangesUndone(bool closeWindow) {
        EXPECT_EQ(filter(ORVANE_FILTER_SATURATION), 7) << closeWindow;
        EXPECT_EQ(filter(ORVANE_FILTER_BAYER_GAIN_RED), 100) << closeWindow;
    }
    // The analog sheet closed with OK after the global gain was raised to `raised` and
    // vertical mirroring switched on: the device keeps both, and releasing stores them.
    void expectAnalogChangesKept(int raised) {
        EXPECT_EQ(globalGain(), raised);
        EXPECT_EQ(Orvane_GetMirrorV(handle_), 1);

        release();
        session::CameraSettings stored;
        session::settings::LoadGain(0, stored, session::settings::AnalogDefaults{});
        EXPECT_EQ(stored[0], raised);
        EXPECT_EQ(stored[6], 1);
    }
    // The analog sheet cancelled after it moved the global gain and switched on horizontal
    // mirroring: the device has the gain it had before and no mirroring.
    void expectAnalogChangesUndone(int before) {
        EXPECT_EQ(globalGain(), before);
        EXPECT_EQ(Orvane_GetMirrorH(handle_), 0);
    }
    // The stream-format sheet confirmed colour 24 bits (list entry 2) and a wait time of 25:
    // the camera's stored values and presets say so.
    void expectStreamFormatStored() {
        bool rootExists = false;
        const auto presets = session::settings::ReadPresets(0, &rootExists);
        ASSERT_FALSE(presets.empty());
        EXPECT_EQ(presets.back().geometry.width, 3072);
        session::settings::CameraValues values{-1, -1, -1, -1};
        ASSERT_EQ(session::settings::LoadCameraValues(0, values), 1);
        EXPECT_EQ(values.colorIndex, 2);
        EXPECT_EQ(values.waitTime, 25);
        EXPECT_EQ(values.clock, 2);
    }
    // The stream-format sheet cancelled after colour mode 32 was set through the exports and
    // the sheet changed the colour and typed a wait time of 77: nothing applied or stored.
    void expectStreamFormatUnchanged(const session::settings::CameraValues& before) {
        EXPECT_EQ(Orvane_GetColorMode(handle_), 32);
        EXPECT_NE(Orvane_GetWaitTime(handle_), 77);
        session::settings::CameraValues after{-1, -1, -1, -1};
        session::settings::LoadCameraValues(0, after);
        EXPECT_EQ(after.colorIndex, before.colorIndex);
        EXPECT_EQ(after.waitTime, before.waitTime);
    }

    orvane::sim::ScopedVirtualCameras cams_{"30f0:pace=fast"};
    ORVANE_HANDLE handle_ = 0;
};

}  // namespace orvane::test
