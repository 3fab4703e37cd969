// A test fixture holding one session on a fast virtual camera, opened through the public
// exports, with the reads the settings-sheet tests check after driving a sheet.
#pragma once

#include <gtest/gtest.h>

#include "OrvaneSdk.h"
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

    orvane::sim::ScopedVirtualCameras cams_{"30f0:pace=fast"};
    ORVANE_HANDLE handle_ = 0;
};

}  // namespace orvane::test
