// Settings that outlive the process: written in a forked child, read back in the parent.
// POSIX-only (fork): the Windows build leaves this file out.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "OrvaneSdk.h"
#include "sim/VirtualCameraSystem.h"

namespace {

using orvane::sim::ScopedVirtualCameras;

// Values set in one process, released there, and read back in a new session of another.
TEST(Settings, CameraSettingsSurviveReleaseAndANewProcess) {
    const pid_t child = fork();
    if (child == 0) {
        int rc = 0;
        {
            ScopedVirtualCameras cams("30f0:pace=fast");
            const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
            rc |= Orvane_SetGlobalGain(h, 222) != 1;
            rc |= Orvane_SetExposureTime(h, 1234) != 1;
            rc |= Orvane_SetMirrorV(h, 1) != 1;
            rc |= Orvane_SetBrightness(h, -40) != 1;
            rc |= Orvane_SetGamma(h, 150) != 1;
            rc |= Orvane_SetGrayMode(h, 2) != 1;
            rc |= Orvane_SetGrayOffsetG2(h, -7) != 1;
            rc |= Orvane_Release(h) != 1;
        }
        _exit(rc);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);

    ScopedVirtualCameras cams("30f0:pace=fast");
    const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
    int ok = 0;
    EXPECT_EQ(Orvane_GetGlobalGain(h, &ok), 222) << "pushed to the camera when it opened";
    EXPECT_EQ(Orvane_GetExposureTime(h, &ok), 1234);
    EXPECT_EQ(Orvane_GetRealExposureTime(h, &ok), 123400);
    EXPECT_EQ(Orvane_GetMirrorV(h), 1);
    EXPECT_EQ(Orvane_GetBrightness(h, &ok), -40);
    EXPECT_EQ(Orvane_GetGamma(h, &ok), 150);
    EXPECT_EQ(Orvane_GetGrayMode(h, &ok), 2);
    EXPECT_EQ(Orvane_GetGrayOffsetG2(h, &ok), -7);
    Orvane_Release(h);
}

}  // namespace
