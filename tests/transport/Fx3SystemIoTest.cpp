// The FX3 backend's real system side on Windows, where no camera is attached: SetupAPI
// enumeration, CreateFileA failures, and overlapped requests on a handle that is not a
// camera's (the requests fail, and nothing is left pending when the handle closes).
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>

#include "platform/usb/Fx3DriverBackend.h"
#include "support/TestEnv.h"
#include "transport/DriverBackends.h"

namespace {

using namespace orvane::platform::usb;

// A class no device belongs to.
constexpr InterfaceGuid kUnusedGuid{
    0x6A0F1E2D, 0x0C3B, 0x4A59, {0x8E, 0x71, 0x2D, 0x64, 0x5B, 0x90, 0xC1, 0x3F}};

std::string plainFile() {
    const std::string path = orvane::test::testDir() + "\\not-a-camera.bin";
    std::ofstream(path, std::ios::binary) << "x";
    return path;
}

TEST(Fx3SystemIo, AClassWithoutDevicesListsNothing) {
    auto io = systemFx3DeviceIo();
    ASSERT_TRUE(io);
    EXPECT_TRUE(io->interfacePaths(kUnusedGuid, kFx3InterfaceMembers).empty());
}

TEST(Fx3SystemIo, AMissingDevicePathDoesNotOpen) {
    auto io = systemFx3DeviceIo();
    ASSERT_TRUE(io);
    uint32_t error = 0;
    const std::string path = makeDevicePath(0x04B4, 0x30F0, "NO-SUCH-CAMERA", kUnusedGuid);
    EXPECT_EQ(io->open(path, &error), nullptr);
    EXPECT_NE(error, kErrorSuccess);
    auto backend = createFx3DriverBackend(io);
    error = 0;
    EXPECT_EQ(backend->open(path, false, &error), nullptr);
    EXPECT_NE(error, kErrorSuccess);
}

TEST(Fx3SystemIo, DriverRequestsOnAPlainFileFailAndLeaveNothingPending) {
    auto io = systemFx3DeviceIo();
    ASSERT_TRUE(io);
    uint32_t error = 0;
    auto file = io->open(plainFile(), &error);
    ASSERT_TRUE(file) << "error " << error;
    uint32_t in = 0;
    uint32_t out = 0;
    uint32_t bytes = 0;
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    uint32_t doneError = 0;
    const uint32_t result =
        file->ioControl(kIoctlGetSpeed, &in, 4, &out, 4, &bytes, 1, [&](uint32_t e, uint32_t) {
            std::lock_guard<std::mutex> lock(mutex);
            done = true;
            doneError = e;
            cv.notify_all();
        });
    if (result == kErrorIoPending) {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return done; }));
        EXPECT_NE(doneError, kErrorSuccess);
    } else {
        EXPECT_NE(result, kErrorSuccess) << "a plain file is no camera";
        std::lock_guard<std::mutex> lock(mutex);
        EXPECT_FALSE(done) << "a request that ended at once has no completion";
    }
    file.reset();

    // Through the backend, synchronous and overlapped handles alike give a failure, in time.
    auto backend = createFx3DriverBackend(io, {20, 2000});
    for (bool overlapped : {false, true}) {
        auto handle = backend->open(plainFile(), overlapped, &error);
        ASSERT_TRUE(handle);
        auto completion = std::make_shared<IoCompletion>();
        uint32_t returned = 0;
        uint32_t e = handle->ioControl(kIoctlGetSpeed, &in, 4, &out, 4, &returned, completion);
        if (e == kErrorIoPending) {
            ASSERT_TRUE(completion->wait(10000));
            e = completion->error();
        }
        EXPECT_NE(e, kErrorSuccess);
    }
}

TEST(Fx3SystemIo, TheFx3DriverIsTheDefaultWithoutVirtualCameras) {
    const char* list = std::getenv("ORVANE_VIRTUAL_CAMERAS");
    if (list != nullptr && *list != '\0') GTEST_SKIP() << "virtual cameras requested";
    orvane::transport::registerDriverBackends();
    EXPECT_STREQ(activeBackend()->name(), "fx3");
}

}  // namespace
