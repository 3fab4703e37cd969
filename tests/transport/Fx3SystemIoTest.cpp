// The FX3 backend's real system side on Windows, where no camera is attached: SetupAPI
// enumeration, CreateFileA failures, driver requests on a handle that is not a camera's, and
// the overlapped machinery (thread-pool completions, CancelIoEx, closing with requests
// pending) on a named pipe's listen request, which pends until the test ends it.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>

#include "platform/usb/Fx3Driver.h"
#include "platform/usb/Fx3DriverBackend.h"
#include "support/TestEnv.h"
#include "transport/DriverBackends.h"

namespace {

using namespace orvane::platform::usb;

// A class no device belongs to.
constexpr InterfaceGuid kUnusedGuid{
    0x6A0F1E2D, 0x0C3B, 0x4A59, {0x8E, 0x71, 0x2D, 0x64, 0x5B, 0x90, 0xC1, 0x3F}};

// Waits for a client to connect to a named pipe: a request that pends as long as the test
// likes, on a real system handle.
constexpr uint32_t kFsctlPipeListen = 0x00110008;

class DoneFlag {
  public:
    Fx3IoDone callback() {
        return [this](uint32_t error, uint32_t) {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
            error_ = error;
            cv_.notify_all();
        };
    }
    bool wait(int ms) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return done_; });
    }
    uint32_t error() {
        std::lock_guard<std::mutex> lock(mutex_);
        return error_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    uint32_t error_ = 0;
};

// A pipe server handle in a file of the system side, listening (pending) as request 7.
struct ListeningPipe {
    ListeningPipe() {
        static int serial = 0;
        name = "\\\\.\\pipe\\orvane-fx3-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(++serial);
        HANDLE server = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr);
        uint32_t error = 0;
        file = adoptSystemDeviceFile(server, &error);
        if (!file) return;
        uint32_t bytes = 0;
        result =
            file->ioControl(kFsctlPipeListen, nullptr, 0, nullptr, 0, &bytes, 7, done.callback());
    }
    std::string name;
    DoneFlag done;  // outlives the file, whose completions it receives
    std::unique_ptr<Fx3DeviceFile> file;
    uint32_t result = 0;
};

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

TEST(Fx3SystemIo, APendingRequestCompletesThroughTheSystemThreadPool) {
    ListeningPipe pipe;
    ASSERT_TRUE(pipe.file);
    ASSERT_EQ(pipe.result, kErrorIoPending);
    EXPECT_FALSE(pipe.done.wait(50));
    HANDLE client =
        CreateFileA(pipe.name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(pipe.done.wait(10000));
    EXPECT_EQ(pipe.done.error(), kErrorSuccess);
    CloseHandle(client);
}

TEST(Fx3SystemIo, CancellingAPendingRequestEndsItAsAborted) {
    ListeningPipe pipe;
    ASSERT_TRUE(pipe.file);
    ASSERT_EQ(pipe.result, kErrorIoPending);
    pipe.file->cancel(8);  // another request: no effect
    EXPECT_FALSE(pipe.done.wait(50));
    pipe.file->cancel(7);
    ASSERT_TRUE(pipe.done.wait(10000));
    EXPECT_EQ(pipe.done.error(), kErrorOperationAborted);
}

TEST(Fx3SystemIo, ClosingAFileEndsWhatPendsBeforeItReturns) {
    ListeningPipe pipe;
    ASSERT_TRUE(pipe.file);
    ASSERT_EQ(pipe.result, kErrorIoPending);
    pipe.file.reset();
    EXPECT_TRUE(pipe.done.wait(0)) << "the completion ran before the close returned";
    EXPECT_EQ(pipe.done.error(), kErrorOperationAborted);
}

TEST(Fx3SystemIo, TheFx3DriverIsTheDefaultWithoutVirtualCameras) {
    const char* list = std::getenv("ORVANE_VIRTUAL_CAMERAS");
    if (list != nullptr && *list != '\0') GTEST_SKIP() << "virtual cameras requested";
    orvane::transport::registerDriverBackends();
    EXPECT_STREQ(activeBackend()->name(), "fx3");
}

}  // namespace
