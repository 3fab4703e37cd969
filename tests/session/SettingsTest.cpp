// Settings kept per camera in the settings file: first-run defaults, presets, the
// configuration file, and values that outlive the session and the process.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "OrvaneSdk.h"
#include "api/CSdkChain.h"
#include "platform/Registry.h"
#include "session/COrvane.h"
#include "sim/VirtualCameraSystem.h"
#include "support/SizePreset.h"
#include "support/TestEnv.h"
#include "support/WideText.h"

namespace {

using orvane::platform::RegistryKey;
using orvane::sim::ScopedVirtualCameras;
using orvane::test::writeSizePreset;

constexpr const char* kCamera0 = orvane::test::kCamera0Key;

// The session's capture window is width x height.
void expectSize(ORVANE_HANDLE h, int width, int height) {
    EXPECT_EQ(Orvane_Width(h), width);
    EXPECT_EQ(Orvane_Height(h), height);
}

std::string settingsText() {
    std::ifstream in(orvane::platform::registryFilePath());
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(Settings, FirstRunWritesTheDefaultTree) {
    const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
    const std::string text = settingsText();
    EXPECT_NE(
        text.find("[HKEY_CURRENT_USER\\Software\\Kelmor\\OrvaneA063Q7Sdk\\Camera_00\\Size_00]"),
        std::string::npos);
    for (const char* line :
         {"\"TH\"=dword:00000c00", "\"TV\"=dword:00000800", "\"EH\"=dword:00000c00",
          "\"EV\"=dword:00000800", "\"EHS\"=dword:00000000", "\"EVS\"=dword:00000000",
          "\"Buf\"=dword:00000004", "\"Size\"=dword:00000000", "\"Color\"=dword:00000002",
          "\"SubSample\"=dword:00000000", "\"WaitTime\"=dword:00000001",
          "\"Clock\"=dword:00000000"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_EQ(Orvane_GetColorMode(h), 24);
    EXPECT_EQ(Orvane_GetWaitTime(h), 1);
    int v[6];
    Orvane_GetCaptureWindowEx(h, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
    EXPECT_EQ(v[0], 3072);
    EXPECT_EQ(v[2], 3072);
    EXPECT_EQ(v[5], 2048);
    Orvane_Release(h);
}

TEST(Settings, AStoredSizeNamingAMissingPresetKeepsTheConstructorGeometry) {
    Orvane_Release(Orvane_Initialize(nullptr));  // first run
    writeSizePreset(1, 640, 480, 8, 8);
    RegistryKey::open(kCamera0).setDword("Size", 7);
    const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
    expectSize(h, 3072, 2048);
    Orvane_Release(h);
    {
        RegistryKey camera = RegistryKey::open(kCamera0);
        camera.setDword("Size", 1);
    }
    const ORVANE_HANDLE h2 = Orvane_Initialize(nullptr);
    expectSize(h2, 640, 480);
    Orvane_Release(h2);
}

TEST(Settings, CaptureWindowPresetsAreLookedUpUnderTheCamera) {
    ScopedVirtualCameras cams("30f0:pace=fast");
    const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
    writeSizePreset(1, 1024, 768, 16, 32);
    writeSizePreset(2, 3072, 2048);
    EXPECT_EQ(Orvane_SetCaptureWindow(h, 1024, 768), 1);
    int v[6];
    Orvane_GetCaptureWindowEx(h, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
    EXPECT_EQ(v[1], 16);
    EXPECT_EQ(v[2], 1024);
    EXPECT_EQ(v[4], 32);
    EXPECT_EQ(v[5], 768);
    EXPECT_EQ(Orvane_SetCaptureWindow(h, 800, 600), 0);
    EXPECT_EQ(Orvane_GetLastError(h), 4);
    EXPECT_EQ(Orvane_Width(h), 1024) << "no preset changes nothing";

    // A preset that acquisition would refuse falls back to the full window (error 7).
    writeSizePreset(3, 3000, 100, 200, 0);
    EXPECT_EQ(Orvane_SetCaptureWindow(h, 3000, 100), 1);
    EXPECT_EQ(Orvane_GetLastError(h), 7);
    expectSize(h, 3072, 2048);
    Orvane_Release(h);
}

TEST(Settings, CaptureWindowExRefusesFreeSizesAndBadWindows) {
    ScopedVirtualCameras cams("30f0:pace=fast");
    const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
    EXPECT_EQ(Orvane_SetCaptureWindowEx(h, 3072, 0, 1024, 2048, 0, 2048), 0);
    EXPECT_EQ(Orvane_GetLastError(h), 9);
    EXPECT_EQ(Orvane_SetCaptureWindowEx(h, 3072, 8, 3072, 2048, 0, 2048), 0);
    EXPECT_EQ(Orvane_GetLastError(h), 7);
    int x = -1;
    Orvane_GetCaptureWindowEx(h, nullptr, &x, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(x, 0) << "a refused window is not stored";
    EXPECT_EQ(Orvane_SetCaptureWindowEx(h, 3072, 0, 3072, 2048, 0, 2048), 1);
    Orvane_Release(h);
}

TEST(Settings, PresetsTheSensorWouldAlignAreRefusedWhenAcquiring) {
    // The sensor widens windows to columns in fours and lines in pairs; frames of the
    // widened size must never be copied into buffers sized for the preset.
    ScopedVirtualCameras cams("30f0:pace=fast:scene=flat:50");
    const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
    writeSizePreset(1, 322, 60);
    writeSizePreset(2, 320, 61);
    writeSizePreset(3, 320, 60, 2, 0);
    writeSizePreset(4, 324, 60);
    ASSERT_EQ(Orvane_SetColorMode(h, 16), 1);
    std::vector<unsigned char> buffer(3072 * 2048 * 2);
    for (auto [w, hgt] : {std::pair{322, 60}, std::pair{320, 61}, std::pair{320, 60}}) {
        ASSERT_EQ(Orvane_SetCaptureWindow(h, w, hgt), 1) << w << " x " << hgt;
        EXPECT_EQ(Orvane_SnapShot(h, buffer.data(), static_cast<int>(buffer.size()), 1), 0);
        EXPECT_EQ(Orvane_GetLastError(h), 7) << w << " x " << hgt;
    }
    ASSERT_EQ(Orvane_SetCaptureWindow(h, 324, 60), 1);
    EXPECT_EQ(Orvane_SnapShot(h, buffer.data(), static_cast<int>(buffer.size()), 1), 1);
    EXPECT_EQ(buffer[0] | buffer[1] << 8, 50 * 16);
    Orvane_Release(h);
}

TEST(Settings, AFullWindowSetWhilePreviewingSmallFramesIsNeverCopiedIntoTheSmallBuffers) {
    ScopedVirtualCameras cams("30f0:pace=fast:scene=flat:50");
    const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
    writeSizePreset(1, 320, 60);
    ASSERT_EQ(Orvane_SetColorMode(h, 16), 1);
    ASSERT_EQ(Orvane_SetCaptureWindow(h, 320, 60), 1);
    ASSERT_EQ(Orvane_StartPreview(h), 1);
    EXPECT_EQ(Orvane_SetCaptureWindowEx(h, 3072, 0, 3072, 2048, 0, 2048), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(
        300));  // frames of the new size arrive; none may overrun the buffers
    EXPECT_EQ(Orvane_StopPreview(h), 1);
    std::vector<unsigned char> buffer(3072 * 2048 * 2);
    EXPECT_EQ(Orvane_SnapShot(h, buffer.data(), static_cast<int>(buffer.size()), 1), 1)
        << "the next acquisition sizes its buffers for the new window";
    EXPECT_EQ(Orvane_Width(h), 3072);
    Orvane_Release(h);
}

TEST(Settings, ConfigurationFilesLoadWholeRecords) {
    const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
    const std::string twelve = orvane::test::testDir() + "/twelve.cfg";
    {
        std::ofstream out(twelve, std::ios::binary);
        const unsigned char bytes[12] = {1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 9, 9, 9, 9};
        out.write(reinterpret_cast<const char*>(bytes), sizeof bytes);
    }
    EXPECT_EQ(Orvane_LoadConfigFileA(h, twelve.c_str()), 1);
    auto session = orvane::api::CSdkChain::instance().Lookup(h);
    auto entries = session->configEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].first, 1);
    EXPECT_EQ(entries[0].second, -2);

    const std::string empty = orvane::test::testDir() + "/empty.cfg";
    std::ofstream(empty).close();
    const orvane::test::WideString wide = orvane::test::wideText(empty);
    EXPECT_EQ(Orvane_LoadConfigFileW(h, wide.c_str()), 1);
    EXPECT_TRUE(session->configEntries().empty());
    EXPECT_EQ(Orvane_LoadConfigFileA(h, "/nonexistent/file.cfg"), 0);
    EXPECT_EQ(Orvane_GetLastError(h), 0) << "an unreadable file records nothing";
    session.reset();
    Orvane_Release(h);
}

TEST(Settings, ASessionThatNeverOpenedACameraDoesNotOverwriteStoredValues) {
    {
        ScopedVirtualCameras cams("30f0:pace=fast");
        const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
        Orvane_SetGlobalGain(h, 321);
        Orvane_Release(h);
    }
    Orvane_Release(Orvane_Initialize(nullptr));  // no camera attached
    uint32_t v = 0;
    EXPECT_TRUE(RegistryKey::open(std::string(kCamera0) + "\\Gain").queryDword("Global", &v));
    EXPECT_EQ(v, 321u);
}

}  // namespace
