// The FX3 driver backend against a scripted driver: enumeration into the device table,
// register traffic, whole frames, stalls, time-outs, unplugging, and the bridge between the
// driver's overlapped requests and the port's completions.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "ScriptedFx3Driver.h"
#include "platform/usb/Fx3DriverBackend.h"
#include "transport/CKelCy3Cam.h"

namespace orvane::transport {
namespace {

// The request headers are packed, so their fields are compared as copies (unary +): gtest
// would bind a reference to a misaligned field.

using namespace platform::usb;
using test::ScriptedFx3Driver;
using test::scriptedPath;

// A scripted driver installed as the driver port's backend; short limits keep hung requests
// from holding the tests.
struct Rig {
    explicit Rig(std::vector<std::string> members) { driver->members = std::move(members); }
    void install(Fx3BackendLimits limits = {30, 300}) {
        override = std::make_unique<ScopedBackendOverride>(createFx3DriverBackend(driver, limits));
    }
    std::shared_ptr<ScriptedFx3Driver> driver = std::make_shared<ScriptedFx3Driver>();
    std::unique_ptr<ScopedBackendOverride> override;
};

// A controller on the first camera, ready for bulk reads.
void openFirst(CKelCy3Cam& cam) {
    ASSERT_GE(cam.Enumerate(), 1);
    ASSERT_EQ(cam.SelectDevice(0), 1);
    ASSERT_EQ(cam.PrepareStreaming(), 1);
}

// A device-to-host control request (0xB0) with a full data area.
ControlBlock readRequest(uint32_t timeoutMs) {
    ControlBlock block{};
    block.header.requestType = 0xC0;
    block.header.request = 0xB0;
    block.header.length = sizeof block;
    block.header.timeoutMs = timeoutMs;
    block.header.dataOffset = kTransferHeaderBytes;
    block.header.dataLength = kControlDataBytes;
    return block;
}

// Camera "A" behind the scripted driver, with a controller ready for bulk reads.
class Fx3Frames : public testing::Test {
  protected:
    void SetUp() override {
        rig_.install();
        // After the backend is in place: a controller finds its backend when it is made.
        cam_ = std::make_unique<CKelCy3Cam>();
        openFirst(*cam_);
    }
    // A direct read of 64 frame bytes on `handle` that must fail without moving a byte.
    void expectDirectReadFails(DeviceHandle* handle, uint32_t timeoutMs) {
        uint8_t buffer[64];
        uint32_t count = 5;
        EXPECT_FALSE(
            cam_->DirectBulkReadRaw(handle, true, kEndpointFrames, buffer, 64, timeoutMs, &count));
        EXPECT_EQ(count, 0u);
    }

    Rig rig_{{scriptedPath(0x30F0, "A")}};
    std::unique_ptr<CKelCy3Cam> cam_;
};

void put32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

TEST(Fx3Enumeration, PathsThatEnumerateAndOpenFillTheDeviceTable) {
    const std::string a = scriptedPath(0x30F0, "SER-A");
    const std::string b = scriptedPath(0x30F0, "SER-B");
    const std::string locked = scriptedPath(0x30F0, "LOCKED");
    const std::string other = scriptedPath(0x3042, "SER-C");
    Rig rig({a, "", locked, b, other});
    rig.driver->unopenable.insert(locked);
    rig.install();

    CKelCy3Cam cam;
    ASSERT_EQ(cam.Enumerate(), 3)
        << "a member that fails and a path that does not open are left out";
    EXPECT_EQ(rig.driver->askedGuid, kCameraInterfaceGuid);
    EXPECT_EQ(rig.driver->askedMembers, kFx3InterfaceMembers);
    EXPECT_STREQ(cam.GetEntry(0).path, a.c_str());
    EXPECT_EQ(cam.GetEntry(0).vendorId, 0x04B4);
    EXPECT_EQ(cam.GetEntry(0).productId, 0x30F0);
    EXPECT_EQ(cam.GetEntry(1).instance, 1) << "second camera of the model";
    EXPECT_EQ(cam.GetEntry(2).productId, 0x3042);
    EXPECT_EQ(cam.GetEntry(2).instance, 0);
    char name[64] = {};
    ASSERT_EQ(cam.GetDeviceName(1, name), 1);
    EXPECT_STREQ(name, "Orvane-A06-USB3-Q7_01");

    // Enumerating again files nothing twice.
    EXPECT_EQ(cam.Enumerate(), 3);
}

TEST(Fx3Registers, AWrittenFpgaRegisterReadsBack) {
    Rig rig({scriptedPath(0x30F0, "A")});
    rig.install();
    CKelCy3Cam cam;
    ASSERT_EQ(cam.Enumerate(), 1);
    ASSERT_EQ(cam.SelectDevice(0), 1);
    const int opensBefore = rig.driver->openCount();

    ASSERT_EQ(cam.WriteFpgaRegister(0x22, 0x5A), 1);
    EXPECT_EQ(rig.driver->fpga(0x22), 0x5A);
    uint8_t value = 0;
    ASSERT_EQ(cam.ReadFpgaRegister(0x22, &value), 1);
    EXPECT_EQ(value, 0x5A);

    const auto controls = rig.driver->callsOf(kIoctlControlTransfer);
    ASSERT_EQ(controls.size(), 3u) << "write; then select and read";
    ControlBlock write;
    ASSERT_EQ(controls[0].in.size(), sizeof write);
    std::memcpy(&write, controls[0].in.data(), sizeof write);
    EXPECT_EQ(+write.header.requestType, 0x40);
    EXPECT_EQ(+write.header.request, 0x30);
    EXPECT_EQ(+write.header.value, 3);
    EXPECT_EQ(+write.header.index, 0x40);
    EXPECT_EQ(+write.header.timeoutMs, kControlTimeoutMs);
    EXPECT_EQ(write.data[0], 0x22);
    EXPECT_EQ(write.data[2], 0x5A);
    EXPECT_EQ(controls[0].outLength, sizeof write);
    EXPECT_EQ(rig.driver->openCount() - opensBefore, 3)
        << "each control request opens its own path";
}

TEST(Fx3Registers, AStalledControlRequestFailsAndSaysSo) {
    Rig rig({scriptedPath(0x30F0, "A")});
    rig.install();
    CKelCy3Cam cam;
    ASSERT_EQ(cam.Enumerate(), 1);
    rig.driver->stallControl = true;
    uint8_t value = 0x77;
    EXPECT_EQ(cam.ReadFpgaRegister(0x10, &value), 0);
    EXPECT_EQ(value, 0x77);
    EXPECT_EQ(cam.WriteFpgaRegister(0x10, 1), 0);

    auto handle = cam.OpenByIndex(0, false);
    ASSERT_TRUE(handle);
    ControlBlock block = readRequest(kControlTimeoutMs);
    uint32_t data = 0;
    EXPECT_FALSE(cam.ControlTransfer(handle.get(), &block, &data));
    EXPECT_EQ(+block.header.driverStatus1, kStatusUnsuccessful);
    EXPECT_EQ(+block.header.driverStatus2, kUsbdStatusStall);
}

TEST(Fx3Registers, AControlRequestTheDriverNeverEndsIsCancelledAfterItsTimeout) {
    Rig rig({scriptedPath(0x30F0, "A")});
    rig.install({20, 300});
    CKelCy3Cam cam;
    ASSERT_EQ(cam.Enumerate(), 1);
    rig.driver->holdControl = true;
    auto handle = cam.OpenByIndex(0, false);
    ASSERT_TRUE(handle);
    ControlBlock block = readRequest(10);
    uint32_t returned = 99;
    EXPECT_EQ(handle->ioControl(kIoctlControlTransfer, &block, sizeof block, &block, sizeof block,
                                &returned, nullptr),
              kErrorSemTimeout);
    EXPECT_EQ(returned, 0u);
    const auto controls = rig.driver->callsOf(kIoctlControlTransfer);
    ASSERT_EQ(controls.size(), 1u);
    const auto cancelled = rig.driver->cancelled();
    ASSERT_EQ(cancelled.size(), 1u);
    EXPECT_EQ(cancelled[0], controls[0].id);
    EXPECT_EQ(rig.driver->pendingCount(), 0u) << "nothing is left with the driver";
}

TEST_F(Fx3Frames, AWholeFrameArrivesInChunksOverPendingReads) {
    const uint32_t payload = 0x80000 + 100;
    std::vector<uint8_t> header(64, 0);
    put32(header, 16, payload);
    put32(header, 32, 0xA5A50001u);
    std::vector<uint8_t> pixels(payload);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7 + 3);
    rig_.driver->queueBulk(header);
    rig_.driver->queueBulk(pixels);

    std::vector<uint8_t> buffer(payload);
    FrameRecord record;
    record.payload = buffer.data();
    record.capacity = payload;
    ASSERT_EQ(cam_->OpenStreamHandle(), 1);
    ASSERT_EQ(cam_->ReadFrameHeader(&record), 1);
    EXPECT_EQ(record.frameTag, 0xA5A50001u);
    EXPECT_EQ(record.payloadBytes(), payload);
    ASSERT_EQ(cam_->ReadFramePayload(&record, 1000), 1);
    EXPECT_EQ(buffer, pixels);

    const auto reads = rig_.driver->callsOf(kIoctlBulkDirect);
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(reads[0].outLength, 64u);
    EXPECT_EQ(reads[1].outLength, 0x80000u);
    EXPECT_EQ(reads[2].outLength, 100u);
    for (const auto& r : reads) {
        ASSERT_EQ(r.in.size(), kTransferHeaderBytes);
        EXPECT_EQ(r.in[13], kEndpointFrames);
        EXPECT_TRUE(r.pended);
    }
    int frameRequests = 0;
    for (const auto& c : rig_.driver->callsOf(kIoctlControlTransfer))
        if (c.in[1] == 0xC2) ++frameRequests;
    EXPECT_EQ(frameRequests, 1);
    EXPECT_EQ(cam_->GetLastSubmissionError(), kErrorIoPending);
}

TEST_F(Fx3Frames, StalledBulkReadsFail) {
    rig_.driver->stallReads = true;
    rig_.driver->queueBulk(std::vector<uint8_t>(256, 1));
    auto handle = cam_->OpenByIndex(0, true);
    ASSERT_TRUE(handle);
    expectDirectReadFails(handle.get(), 1000);
    uint8_t buffer[64];
    uint32_t count = 0;
    std::vector<uint8_t> staging(kTransferHeaderBytes + 64);
    EXPECT_FALSE(cam_->BufferedBulkReadRaw(handle.get(), staging.data(), kEndpointFrames, buffer,
                                           64, &count));
}

TEST_F(Fx3Frames, AReadThatNeverCompletesIsAbortedThenCancelled) {
    rig_.driver->holdReads = true;
    rig_.driver->ignoreAborts = true;  // a driver that does not end the read on abort
    auto handle = cam_->OpenByIndex(0, true);
    ASSERT_TRUE(handle);
    expectDirectReadFails(handle.get(), 20);
    EXPECT_EQ(cam_->GetLastSubmissionError(), kErrorIoPending);

    const auto aborts = rig_.driver->callsOf(kIoctlAbortPipe);
    ASSERT_GE(aborts.size(), 1u);
    EXPECT_EQ(aborts[0].in, std::vector<uint8_t>{kEndpointFrames});
    const auto reads = rig_.driver->callsOf(kIoctlBulkDirect);
    ASSERT_EQ(reads.size(), 1u);
    const auto cancelled = rig_.driver->cancelled();
    EXPECT_NE(std::find(cancelled.begin(), cancelled.end(), reads[0].id), cancelled.end());
    EXPECT_EQ(rig_.driver->pendingCount(), 0u) << "the read ended before the call returned";
}

TEST_F(Fx3Frames, UnpluggingDuringAReadEndsItAndTheDeviceIsGone) {
    rig_.driver->holdReads = true;
    auto handle = cam_->OpenByIndex(0, true);
    ASSERT_TRUE(handle);
    std::atomic<bool> ok{true};
    std::thread reader([&] {
        uint8_t buffer[64];
        uint32_t count = 0;
        ok =
            cam_->DirectBulkReadRaw(handle.get(), true, kEndpointFrames, buffer, 64, 60000, &count);
    });
    ASSERT_TRUE(rig_.driver->waitPending(1));
    rig_.driver->unplug();
    reader.join();
    EXPECT_FALSE(ok.load());
    EXPECT_TRUE(rig_.driver->callsOf(kIoctlAbortPipe).empty()) << "it ended without an abort";
    EXPECT_FALSE(cam_->DevicePresent(0));
    EXPECT_EQ(cam_->WriteFpgaRegister(0x10, 1), 0);
    EXPECT_EQ(cam_->Enumerate(), 1) << "the row stays for the camera's return";
}

TEST(Fx3Handles, ClosingAHandleEndsItsPendingReads) {
    Rig rig({scriptedPath(0x30F0, "A")});
    rig.install();
    rig.driver->holdReads = true;
    auto backend = activeBackend();
    uint32_t error = 0;
    auto handle = backend->open(scriptedPath(0x30F0, "A"), true, &error);
    ASSERT_TRUE(handle);
    TransferHeader header{};
    header.endpoint = kEndpointFrames;
    uint8_t buffer[64];
    auto io = std::make_shared<IoCompletion>();
    uint32_t returned = 0;
    ASSERT_EQ(
        handle->ioControl(kIoctlBulkDirect, &header, sizeof header, buffer, 64, &returned, io),
        kErrorIoPending);
    EXPECT_FALSE(io->isComplete());
    handle.reset();
    ASSERT_TRUE(io->isComplete());
    EXPECT_EQ(io->error(), kErrorOperationAborted);
    EXPECT_EQ(+header.driverStatus1, kStatusUnsuccessful);
    EXPECT_EQ(+header.driverStatus2, kUsbdStatusCanceled);
}

TEST(Fx3Handles, MalformedRequestsNeverReachTheDriver) {
    Rig rig({scriptedPath(0x30F0, "A")});
    rig.install();
    uint32_t error = 0;
    auto handle = activeBackend()->open(scriptedPath(0x30F0, "A"), true, &error);
    ASSERT_TRUE(handle);
    uint8_t small[10] = {};
    uint32_t returned = 0;
    auto io = std::make_shared<IoCompletion>();
    EXPECT_EQ(handle->ioControl(kIoctlControlTransfer, small, sizeof small, small, sizeof small,
                                &returned, io),
              kErrorInvalidParameter);
    EXPECT_TRUE(io->isComplete()) << "the caller's completion learns of the refusal too";
    EXPECT_EQ(handle->ioControl(kIoctlGetSpeed, small, 4, small, 2, &returned, nullptr),
              kErrorInvalidParameter);
    EXPECT_EQ(handle->ioControl(0x220000, small, 4, small, 4, &returned, nullptr),
              kErrorInvalidParameter);
    TransferHeader header{};
    EXPECT_EQ(handle->ioControl(kIoctlBulkDirect, &header, sizeof header, nullptr, 64, &returned,
                                nullptr),
              kErrorInvalidParameter);
    EXPECT_TRUE(rig.driver->calls().empty());
}

TEST(Fx3Handles, SpeedAndResetsAreShortSynchronousRequests) {
    Rig rig({scriptedPath(0x30F0, "A")});
    rig.install();
    CKelCy3Cam cam;
    ASSERT_EQ(cam.Enumerate(), 1);
    rig.driver->speed = 3;
    uint32_t speed = 0;
    ASSERT_TRUE(cam.GetSpeed(&speed));
    EXPECT_EQ(speed, 3u);
    EXPECT_TRUE(cam.ResetPipe(kEndpointFrames));
    EXPECT_TRUE(cam.ResetPort());
    const auto resets = rig.driver->callsOf(kIoctlResetPipe);
    ASSERT_EQ(resets.size(), 1u);
    EXPECT_EQ(resets[0].in, std::vector<uint8_t>{kEndpointFrames});
    EXPECT_EQ(rig.driver->callsOf(kIoctlResetParentPort).size(), 1u);
    rig.driver->unplug();
    EXPECT_FALSE(cam.GetSpeed(&speed));
}

}  // namespace
}  // namespace orvane::transport
