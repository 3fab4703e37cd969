// Failing writes on Windows: every writer reports the failure (0, or false with the system's
// reason) instead of success, and a failed save never destroys a file it did not make.
//
// The Linux forms use /dev/full and a file size limit. Here the refusals are Windows' own: a
// file another process holds without sharing, a file with the read-only attribute, and a device
// that takes no data (the host's /dev/full, which Wine shows as Z:\dev\full; skipped where there
// is no such device).
#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/CDibImage.h"
#include "output/CAviWriter.h"
#include "output/FileIo.h"
#include "output/ImageFileWriter.h"
#include "platform/File.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"

namespace orvane {
namespace {

using imaging::CDibImage;

constexpr int kFirstFormat = output::kImageFormatBmp;
constexpr int kLastFormat = output::kImageFormatTiff;
const char kFullDevice[] = "Z:\\dev\\full";

std::string pathIn(const std::string& name) {
    return test::testDir() + "\\" + name;
}

CDibImage noiseImage(int width, int height) {
    CDibImage image;
    image.Create(width, height, 24);
    uint32_t seed = 2024;
    for (size_t i = 0; i < image.sizeBytes(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        image.bits()[i] = static_cast<uint8_t>(seed >> 24);
    }
    return image;
}

// A file with known content, written with the system's own calls.
void writeOriginal(const std::string& path, const std::string& content) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &done, nullptr));
    ASSERT_EQ(done, content.size());
    CloseHandle(h);
}

std::string contentOf(const std::string& path) {
    const std::vector<uint8_t> bytes = test::readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// Every writer of the library aimed at `path`: each must fail.
void expectEveryWriterFails(const std::string& path) {
    const CDibImage image = noiseImage(64, 48);
    for (int format = kFirstFormat; format <= kLastFormat; ++format)
        EXPECT_EQ(output::SaveImageFile(image, path.c_str(), format), 0) << "format " << format;
    output::CAviWriter avi;
    EXPECT_EQ(avi.open(path.c_str(), 64, 48), 0);
    EXPECT_FALSE(avi.isOpen());
    output::OutputFile file;
    EXPECT_FALSE(file.open(path.c_str()) && file.append("data", 4) && file.close());
    EXPECT_NE(file.error(), 0);
}

// Held open by someone else who shares nothing: opening it for writing is refused.
class ExclusiveHolder {
  public:
    explicit ExclusiveHolder(const std::string& path)
        : handle_(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~ExclusiveHolder() { release(); }
    ExclusiveHolder(const ExclusiveHolder&) = delete;
    ExclusiveHolder& operator=(const ExclusiveHolder&) = delete;
    bool holds() const { return handle_ != INVALID_HANDLE_VALUE; }
    void release() {
        if (holds()) CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

  private:
    HANDLE handle_;
};

TEST(WriteFailure, AFileHeldWithoutSharingIsRefusedWithTheSystemsReason) {
    const std::string path = pathIn("held.bin");
    writeOriginal(path, "original");
    ExclusiveHolder holder(path);
    ASSERT_TRUE(holder.holds());

    platform::File file;
    EXPECT_FALSE(file.open(path.c_str(), platform::FileMode::WriteCreate));
    EXPECT_EQ(file.error(), EACCES);
    EXPECT_FALSE(file.errorText().empty());
    expectEveryWriterFails(path);

    // Nothing was cut or removed: the holder's file is as it was.
    holder.release();
    EXPECT_EQ(contentOf(path), "original");
}

TEST(WriteFailure, AReadOnlyFileIsNeitherOverwrittenNorRemoved) {
    const std::string path = pathIn("read-only.bin");
    writeOriginal(path, "keep me");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    // Some systems let a privileged user write read-only files anyway; nothing to check there.
    HANDLE probe = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        GTEST_SKIP() << "this user may write read-only files";
    }

    platform::File file;
    EXPECT_FALSE(file.open(path.c_str(), platform::FileMode::WriteCreate));
    EXPECT_EQ(file.error(), EACCES);
    EXPECT_FALSE(file.errorText().empty());
    expectEveryWriterFails(path);

    EXPECT_EQ(contentOf(path), "keep me");
    const DWORD attributes = GetFileAttributesA(path.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(attributes & FILE_ATTRIBUTE_READONLY, 0u);
    // The test directory is removed after the run; let it go.
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(WriteFailure, AReadOnlyHandleRefusesWritesWithTheSystemsReason) {
    const std::string path = pathIn("read-handle.bin");
    writeOriginal(path, "abc");
    platform::File file;
    ASSERT_TRUE(file.open(path.c_str(), platform::FileMode::Read));
    EXPECT_EQ(file.writeAt(0, "x", 1), -1);
    EXPECT_EQ(file.error(), EACCES);
    EXPECT_FALSE(file.errorText().empty());
    EXPECT_FALSE(file.writeAllAt(0, "xyz", 3));
    EXPECT_FALSE(file.setSize(0));
    EXPECT_TRUE(file.close());
    EXPECT_EQ(contentOf(path), "abc");
}

TEST(WriteFailure, ADeviceThatTakesNoDataReportsNoSpace) {
    if (GetFileAttributesA(kFullDevice) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << kFullDevice << " does not exist here";
    platform::File full;
    ASSERT_TRUE(full.open(kFullDevice, platform::FileMode::WriteCreate)) << full.errorText();
    EXPECT_FALSE(full.isRegular());
    EXPECT_FALSE(full.writeAllAt(0, "data", 4));
    EXPECT_EQ(full.error(), ENOSPC);
    EXPECT_FALSE(full.errorText().empty());
    EXPECT_TRUE(full.close());

    expectEveryWriterFails(kFullDevice);
    // Not a regular file: a failed save must not try to delete the device.
    EXPECT_NE(GetFileAttributesA(kFullDevice), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace orvane
