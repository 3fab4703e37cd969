// Image files, recording and the defect mask through the public interface.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "OrvaneSdk.h"
#include "sim/VirtualCameraSystem.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"
#include "support/WideText.h"

namespace {

using orvane::sim::ScopedVirtualCameras;
namespace fs = std::filesystem;

constexpr int kW = 3072;
constexpr int kH = 2048;

using orvane::test::le32;
using orvane::test::readFile;

class Output : public testing::Test {
  protected:
    void start(const char* cameras) {
        cams_ = std::make_unique<ScopedVirtualCameras>(cameras);
        handle_ = Orvane_Initialize(nullptr);
        ASSERT_NE(handle_, 0u);
        Orvane_SetWaitTime(handle_, 0);
    }
    void TearDown() override {
        if (handle_ != 0) Orvane_Release(handle_);
    }
    std::string path(const char* name) const { return orvane::test::testDir() + "/" + name; }
    std::unique_ptr<ScopedVirtualCameras> cams_;
    ORVANE_HANDLE handle_ = 0;
};

TEST_F(Output, SavedImagesMatchTheProcessedFrame) {
    start("30f0:pace=fast:scene=flat:60");
    ASSERT_EQ(Orvane_SetColorMode(handle_, 8), 1);
    ASSERT_EQ(Orvane_SnapShot(handle_, nullptr, 0, 1), 1);
    ASSERT_EQ(Orvane_SaveImage(handle_, path("a.bmp").c_str(), 0), 1);
    const auto bmp = readFile(path("a.bmp"));
    ASSERT_EQ(bmp.size(), 14u + 40u + 1024u + static_cast<size_t>(kW) * kH);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(bmp[14 + 40 + 1024 + 777], 60);
    EXPECT_EQ(Orvane_SaveImage(handle_, path("b.x").c_str(), 7), 0);
    EXPECT_FALSE(fs::exists(path("b.x")));
}

// The W form's path reaches the file system as UTF-8, the POSIX narrow encoding (on Windows it
// is the thread's ANSI code page instead, checked by the Win32 platform tests).
TEST_F(Output, AWidePathIsSavedUnderItsUtf8Name) {
    start("30f0:pace=fast:scene=flat:60");
    ASSERT_EQ(Orvane_SetColorMode(handle_, 8), 1);
    ASSERT_EQ(Orvane_SnapShot(handle_, nullptr, 0, 1), 1);
    const orvane::test::WideString wide = orvane::test::wideText(u"\u65e5.raw");
    const std::string narrow = orvane::test::testDir() + "/\xE6\x97\xA5.raw";
    orvane::test::WideString widePath = orvane::test::wideText(orvane::test::testDir() + "/");
    widePath += wide;
    ASSERT_EQ(Orvane_SaveImageW(handle_, widePath.c_str(), 1), 1);
    EXPECT_EQ(fs::file_size(narrow), static_cast<uintmax_t>(kW) * kH);
}

TEST_F(Output, ARecordingStoppedEarlyIsAValidFileWithItsIndex) {
    start("30f0:pace=fast:scene=flat:30");
    ASSERT_EQ(Orvane_SetColorMode(handle_, 8), 1);
    EXPECT_EQ(Orvane_Record(handle_, "", 1000, 0), 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 9);
    EXPECT_EQ(Orvane_Record(handle_, nullptr, 1000, 0), 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 9);

    const std::string avi = path("early.avi");
    ASSERT_EQ(Orvane_Record(handle_, avi.c_str(), 60000, 0), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    ASSERT_EQ(Orvane_StopPreview(handle_), 1);
    const auto bytes = readFile(avi);
    ASSERT_GT(bytes.size(), 1000u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(le32(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 12), "AVI ");
    const std::string text(bytes.begin(), bytes.end());
    const size_t idx1 = text.rfind("idx1");
    ASSERT_NE(idx1, std::string::npos) << "the index is written when the recording is stopped";
    const uint32_t frames = le32(bytes, idx1 + 4) / 16;
    EXPECT_GE(frames, 1u);
    EXPECT_EQ(Orvane_GetLastError(handle_), 0);
}

TEST_F(Output, MaskReferencesFindDefectsAndSurviveTheirFile) {
    start("30f0:pace=fast:scene=flat:200:dead=25");
    ASSERT_EQ(Orvane_SetColorMode(handle_, 8), 1);
    const size_t stride = kW;
    std::vector<uint8_t> frame(stride * kH);
    // Hot-pixel suppression removes bright outliers only, so the stuck-dark pixels are
    // still in the frame the bright reference is taken from.
    ASSERT_EQ(Orvane_SnapShot(handle_, frame.data(), static_cast<int>(frame.size()), 1), 1);
    const auto dark = std::count_if(frame.begin(), frame.end(), [](uint8_t v) { return v < 64; });
    ASSERT_GT(dark, 0);
    ASSERT_EQ(Orvane_UpdateMaskData(handle_, 1), 1);
    EXPECT_EQ(Orvane_UpdateMaskData(handle_, 2), 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 12);
    ASSERT_EQ(Orvane_SaveMaskFile(handle_, path("m.mask").c_str()), 1);
    EXPECT_EQ(fs::file_size(path("m.mask")), 37748776u);
    Orvane_Release(handle_);

    handle_ = Orvane_Initialize(nullptr);
    ASSERT_EQ(Orvane_SetColorMode(handle_, 8), 1);
    ASSERT_EQ(Orvane_LoadMaskFile(handle_, path("m.mask").c_str()), 1);
    ASSERT_EQ(Orvane_SetDotFilter(handle_, 1), 1);
    ASSERT_EQ(Orvane_SnapShot(handle_, frame.data(), static_cast<int>(frame.size()), 1), 1);
    // Every defect inside the dot filter's reach is replaced by its neighbours' value.
    for (int y = 4; y < kH - 4; ++y)
        for (int x = 4; x < kW - 4; ++x)
            ASSERT_EQ(frame[static_cast<size_t>(y) * stride + x], 200) << x << ", " << y;
}

TEST_F(Output, DamagedMaskFilesAreRefusedAndChangeNothing) {
    start("30f0:pace=fast:scene=flat:40");
    ASSERT_EQ(Orvane_SaveMaskFile(handle_, path("good.mask").c_str()), 1);
    auto good = readFile(path("good.mask"));
    auto write = [&](const char* name, const std::vector<uint8_t>& bytes) {
        std::ofstream(path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path(name);
    };
    auto badSignature = good;
    badSignature[0] = 'X';
    auto badWidth = good;
    badWidth[17] = 0x0D;  // 3328 instead of 3072
    auto badBlock = good;
    badBlock[24] ^= 1;
    auto shortFile = good;
    shortFile.resize(good.size() - 100);
    std::fill(shortFile.begin() + 40, shortFile.end(), 0x11);  // would change the references
    for (auto& [name, bytes] :
         std::vector<std::pair<const char*, std::vector<uint8_t>*>>{{"sig.mask", &badSignature},
                                                                    {"width.mask", &badWidth},
                                                                    {"block.mask", &badBlock},
                                                                    {"short.mask", &shortFile}}) {
        EXPECT_EQ(Orvane_LoadMaskFile(handle_, write(name, *bytes).c_str()), 0) << name;
        EXPECT_EQ(Orvane_GetLastError(handle_), 14) << name;
    }
    EXPECT_EQ(Orvane_LoadMaskFile(handle_, path("missing.mask").c_str()), 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 14);
    ASSERT_EQ(Orvane_SaveMaskFile(handle_, path("again.mask").c_str()), 1);
    EXPECT_TRUE(readFile(path("again.mask")) == good) << "the references were not touched";
    EXPECT_EQ(Orvane_SaveMaskFile(handle_, "/nonexistent-dir/x.mask"), 0);
    EXPECT_EQ(Orvane_GetLastError(handle_), 14);
}

}  // namespace
