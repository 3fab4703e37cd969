// The camera controller against the virtual camera: register and bus devices, frame reads
// and their recovery, names.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "sim/VirtualCameraSystem.h"
#include "transport/CKelCy3Cam.h"

namespace orvane::transport {
namespace {

using sim::CameraOptions;
using sim::LoggedRequest;
using sim::VirtualCamera;

CameraOptions fastCamera(uint16_t pid = 0x30F0) {
    CameraOptions o;
    o.productId = pid;
    o.pace = sim::Pace::Fast;
    return o;
}

template <typename Pred>
size_t countLog(const VirtualCamera& cam, Pred pred) {
    const auto log = cam.requestLog();
    return static_cast<size_t>(std::count_if(log.begin(), log.end(), pred));
}

bool isFrameRequest(const LoggedRequest& r) {
    return r.kind == LoggedRequest::Kind::Control && r.request == 0xC2 && r.requestType == 0x42;
}

class Controller : public ::testing::Test {
  protected:
    explicit Controller(std::vector<CameraOptions> cameras = {fastCamera()}) : cams(cameras) {}
    void SetUp() override {
        ASSERT_GE(ctl.Enumerate(), 1);
        ASSERT_EQ(ctl.SelectDevice(0), 1);
        ASSERT_EQ(ctl.PrepareStreaming(), 1);
        camera().clearRequestLog();
    }
    VirtualCamera& camera(size_t i = 0) { return cams.camera(i); }
    // A frame record over the fixture's payload buffer (all of it unless `capacity` is given).
    FrameRecord frameRecord(uint32_t capacity = 0) {
        FrameRecord record;
        record.payload = payload.data();
        record.capacity = capacity != 0 ? capacity : static_cast<uint32_t>(payload.size());
        return record;
    }

    sim::ScopedVirtualCameras cams;
    CKelCy3Cam ctl;
    std::vector<uint8_t> payload = std::vector<uint8_t>(3072u * 2048u * 2u);
};

TEST_F(Controller, FpgaAuxAndEepromRoundTrip) {
    EXPECT_EQ(ctl.WriteFpgaRegister(0x07, 0x5A), 1);
    EXPECT_EQ(camera().fpgaRegister(0x07), 0x5A);
    uint8_t v = 0;
    EXPECT_EQ(ctl.ReadFpgaRegister(0x07, &v), 1);
    EXPECT_EQ(v, 0x5A);
    EXPECT_TRUE(camera().requestLog().back().kind == LoggedRequest::Kind::Control);

    uint16_t word = 0;
    EXPECT_EQ(ctl.ReadFpgaWord(&word), 1);
    EXPECT_EQ(word, camera().fpgaRegister(0x11) * 256 + camera().fpgaRegister(0x10));

    EXPECT_EQ(ctl.WriteAuxRegister(0x12, 0x34), 1);
    EXPECT_EQ(camera().auxRegister(0x12), 0x34);
    EXPECT_EQ(ctl.ReadAuxRegister(0x12, &v), 1);
    EXPECT_EQ(v, 0x34);

    EXPECT_EQ(ctl.WriteEepromByte(0x0123, 0x77), 1);
    EXPECT_EQ(camera().eepromByte(0x0123), 0x77);
    v = 0;
    EXPECT_EQ(ctl.ReadEepromByte(0x0123, &v), 1);
    EXPECT_EQ(v, 0x77);
}

TEST_F(Controller, FpgaReadIsWriteThenTwoByteRead) {
    uint8_t v = 0;
    ctl.ReadFpgaRegister(0x11, &v);
    const auto log = camera().requestLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_TRUE(log[0].isBusWrite(0x40, {0x11}));
    EXPECT_EQ(log[0].value, 1);
    EXPECT_EQ(log[1].request, 0x31);
    EXPECT_EQ(log[1].index, 0x41);
    EXPECT_EQ(log[1].value, 2);
}

TEST_F(Controller, SensorRegistersThroughTheBus) {
    const uint8_t write[3] = {0x02, 0x1F, 0x42};
    EXPECT_EQ(ctl.BusWrite(0x48, write, 3), 1);
    EXPECT_EQ(camera().sensorRegister(0x021F), 0x42);
    const uint8_t address[2] = {0x02, 0x1F};
    uint8_t v = 0;
    EXPECT_EQ(ctl.BusWrite(0x48, address, 2), 1);
    EXPECT_EQ(ctl.BusRead(0x48, &v, 1), 1);
    EXPECT_EQ(v, 0x42);
}

TEST_F(Controller, ShortRepliesLeaveOutputsAloneButReadRegister16Zeroes) {
    camera().setReplyLimit(2);
    uint16_t value = 0xFFFF;
    EXPECT_EQ(ctl.ReadRegister16(0x10, &value), 1);
    EXPECT_EQ(value, 0);

    uint8_t info[64];
    std::memset(info, 0xEE, sizeof info);
    EXPECT_EQ(ctl.ReadInfoBlock(info), 1);
    EXPECT_EQ(info[0], 0xEE);

    camera().setReplyLimit(0);
    uint8_t bytes[4] = {9, 9, 9, 9};
    EXPECT_EQ(ctl.BusRead(0x48, bytes, 4), 1);
    EXPECT_EQ(bytes[0], 9);
}

TEST_F(Controller, RegistersAndInfoBlock) {
    EXPECT_EQ(ctl.WriteRegister32(0x8005, 0x12345678), 1);
    EXPECT_EQ(camera().register32(0x8005), 0x12345678u);
    uint16_t v = 0;
    EXPECT_EQ(ctl.ReadRegister16(0x8005, &v), 1);
    EXPECT_EQ(v, 0x5678);
    uint8_t info[64] = {};
    EXPECT_EQ(ctl.ReadInfoBlock(info), 1);
    EXPECT_GT(info[24] | info[25] << 8, 0x10FF) << "firmware level";
    uint8_t status = 0;
    EXPECT_EQ(ctl.ReadReadyStatus(&status), 1);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(ctl.WriteStreamMode(1), 1);
    uint8_t mode = 0;
    EXPECT_EQ(ctl.ReadStreamMode(&mode), 1);
    EXPECT_EQ(mode, 1);
}

TEST_F(Controller, StalledControlRequestsFail) {
    camera().setFailControl(true);
    uint8_t v = 0;
    EXPECT_EQ(ctl.WriteFpgaRegister(1, 1), 0);
    EXPECT_EQ(ctl.ReadFpgaRegister(1, &v), 0);
    EXPECT_EQ(ctl.SendStreamReset(), 0);
}

TEST_F(Controller, MissingHeaderMeansThirtyReadsThirtyTogglesThirtyOneRequests) {
    camera().setSuppressHeaders(true);
    FrameRecord record = frameRecord();
    EXPECT_EQ(ctl.ReadFrameHeader(&record), 0);
    const VirtualCamera& cam = camera();
    EXPECT_EQ(countLog(cam,
                       [](const LoggedRequest& r) {
                           return r.kind == LoggedRequest::Kind::BulkRead && r.endpoint == 0x81 &&
                                  r.length == 64;
                       }),
              30u);
    EXPECT_EQ(countLog(cam,
                       [](const LoggedRequest& r) {
                           return r.isBusWrite(0x40, {0x6C, 0, 1});
                       }),
              30u);
    EXPECT_EQ(countLog(cam,
                       [](const LoggedRequest& r) {
                           return r.isBusWrite(0x40, {0x6C, 0, 0});
                       }),
              30u);
    EXPECT_EQ(countLog(cam, isFrameRequest), 31u);
    EXPECT_FALSE(ctl.IsStreamHandleOpen()) << "the call opened the handle, so it closes it";
}

TEST_F(Controller, DroppedHeaderIsRecoveredByOneRetry) {
    camera().setDropEvery(2);  // the second frame's header is missing
    FrameRecord record = frameRecord();
    ASSERT_EQ(ctl.OpenStreamHandle(), 1);
    ASSERT_EQ(ctl.ReadFrameHeader(&record), 1);
    ASSERT_EQ(ctl.ReadFramePayload(&record, 1000), 1);
    camera().clearRequestLog();
    ASSERT_EQ(ctl.ReadFrameHeader(&record), 1);
    EXPECT_EQ(countLog(camera(), isFrameRequest), 2u);
    EXPECT_EQ(countLog(camera(),
                       [](const LoggedRequest& r) {
                           return r.isBusWrite(0x40, {0x6C, 0, 1});
                       }),
              1u);
}

TEST_F(Controller, PayloadIsReadIn512KiBChunks) {
    FrameRecord record = frameRecord();
    ASSERT_EQ(ctl.OpenStreamHandle(), 1);
    for (uint32_t bytes : {0x100000u, 0x100001u}) {
        camera().setPayloadBytesOverride(bytes);
        ASSERT_EQ(ctl.ReadFrameHeader(&record), 1);
        EXPECT_EQ(record.payloadBytes(), bytes);
        camera().clearRequestLog();
        ASSERT_EQ(ctl.ReadFramePayload(&record, 1000), 1);
        std::vector<uint32_t> chunks;
        for (const auto& r : camera().requestLog())
            if (r.kind == LoggedRequest::Kind::BulkRead) chunks.push_back(r.length);
        if (bytes == 0x100000u)
            EXPECT_EQ(chunks, (std::vector<uint32_t>{0x80000, 0x80000}));
        else
            EXPECT_EQ(chunks, (std::vector<uint32_t>{0x80000, 0x80000, 1}));
    }
}

TEST_F(Controller, PayloadLargerThanTheBufferIsRefused) {
    FrameRecord record = frameRecord(1000);
    ASSERT_EQ(ctl.OpenStreamHandle(), 1);
    ASSERT_EQ(ctl.ReadFrameHeader(&record), 1);
    camera().clearRequestLog();
    EXPECT_EQ(ctl.ReadFramePayload(&record, 1000), 0);
    EXPECT_EQ(
        countLog(camera(),
                 [](const LoggedRequest& r) { return r.kind == LoggedRequest::Kind::BulkRead; }),
        0u);
}

TEST_F(Controller, FrameTagsFollowTheHeader) {
    FrameRecord record = frameRecord();
    ASSERT_EQ(ctl.OpenStreamHandle(), 1);
    ASSERT_EQ(ctl.ReadFrameHeader(&record), 1);
    const uint32_t first = record.frameTag;
    ASSERT_EQ(ctl.ReadFramePayload(&record, 1000), 1);
    ASSERT_EQ(ctl.ReadFrameHeader(&record), 1);
    EXPECT_EQ(record.frameTag, first + 1);
    uint32_t fromHeader = 0;
    std::memcpy(&fromHeader, record.header + 32, 4);
    EXPECT_EQ(record.frameTag, fromHeader);
    EXPECT_EQ(record.payloadBytes(), 3072u * 2048u);
}

TEST_F(Controller, TimedOutReadAbortsThePipeAndFails) {
    ASSERT_EQ(ctl.OpenStreamHandle(), 1);
    auto handle = ctl.OpenByIndex(0, true);
    uint8_t buffer[64];
    uint32_t count = 99;
    // No frame request: nothing comes.
    EXPECT_EQ(ctl.DirectBulkRead(handle.get(), buffer, 64, 0x81, &count, 50), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(ctl.GetLastSubmissionError(), 997u);
    EXPECT_EQ(countLog(camera(),
                       [](const LoggedRequest& r) {
                           return r.kind == LoggedRequest::Kind::AbortPipe && r.endpoint == 0x81;
                       }),
              1u);
}

TEST_F(Controller, AbortStreamEndsAPendingReadFromAnotherThread) {
    ASSERT_EQ(ctl.OpenStreamHandle(), 1);
    auto handle = ctl.OpenByIndex(0, true);
    std::vector<uint8_t> buffer(64);
    int result = -1;
    const auto start = std::chrono::steady_clock::now();
    std::thread reader([&] {
        uint32_t count = 0;
        result = ctl.DirectBulkRead(handle.get(), buffer.data(), 64, 0x81, &count, 20000);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // Aborting on the stream handle ends every pending read of the pipe.
    EXPECT_EQ(ctl.AbortStream(), 1);
    reader.join();
    EXPECT_EQ(result, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST_F(Controller, StalledPipeFailsUntilReset) {
    FrameRecord record = frameRecord();
    ASSERT_EQ(ctl.OpenStreamHandle(), 1);
    camera().stallEndpoint(0x81);
    auto handle = ctl.OpenByIndex(0, true);
    uint8_t buffer[64];
    uint32_t count = 0;
    EXPECT_EQ(ctl.DirectBulkRead(handle.get(), buffer, 64, 0x81, &count, 100), 0);
    EXPECT_NE(ctl.GetLastSubmissionError(), 997u) << "failed at once, not by time-out";
    EXPECT_TRUE(ctl.ResetPipe(0x81));
    EXPECT_EQ(ctl.ReadFrameHeader(&record), 1);
}

TEST_F(Controller, UnpluggedCameraFailsEverything) {
    camera().unplug();
    uint8_t v = 0;
    EXPECT_EQ(ctl.ReadFpgaRegister(0x11, &v), 0);
    EXPECT_FALSE(ctl.DevicePresent(0));
    EXPECT_EQ(ctl.SelectDevice(0), 0);
    EXPECT_EQ(ctl.OpenStreamHandle(), 0);
    camera().replug();
    EXPECT_EQ(ctl.SelectDevice(0), 1);
}

TEST_F(Controller, FailAfterMakesFrameReadsFail) {
    camera().setFailAfter(1);
    FrameRecord record = frameRecord();
    ASSERT_EQ(ctl.OpenStreamHandle(), 1);
    ASSERT_EQ(ctl.ReadFrameHeader(&record), 1);
    ASSERT_EQ(ctl.ReadFramePayload(&record, 1000), 1);
    EXPECT_EQ(ctl.ReadFrameHeader(&record), 0);
}

TEST_F(Controller, TriggerModeReleasesAFrameOnlyAfterATrigger) {
    ASSERT_EQ(ctl.WriteFpgaRegister(48, 1), 1);
    FrameRecord record = frameRecord();
    ASSERT_EQ(ctl.OpenStreamHandle(), 1);
    const uint8_t before = camera().fpgaRegister(8);
    const auto start = std::chrono::steady_clock::now();
    std::thread trigger([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        camera().fireTrigger();
    });
    EXPECT_EQ(ctl.ReadFrameHeader(&record), 1);
    trigger.join();
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_EQ(camera().fpgaRegister(8), static_cast<uint8_t>(before + 1));
    EXPECT_GE(countLog(camera(),
                       [](const LoggedRequest& r) {
                           return r.isBusWrite(0x40, {0x6C, 0, 1});
                       }),
              1u);
}

TEST_F(Controller, DeviceNamesOfTheFamily) {
    EXPECT_STREQ(CKelCy3Cam::DeviceNameFormat(0x30F0), "Orvane-A06-USB3-Q7_%02d");
    EXPECT_STREQ(CKelCy3Cam::DeviceNameFormat(0x3130), "Pirlex-A14_%02d");
    EXPECT_EQ(CKelCy3Cam::DeviceNameFormat(0x3150), nullptr);
    char name[64] = {};
    EXPECT_EQ(ctl.GetDeviceName(0, name), 1);
    EXPECT_STREQ(name, "Orvane-A06-USB3-Q7_00");
    EXPECT_EQ(ctl.GetDeviceName(32, name), 0);
    EXPECT_EQ(ctl.GetDeviceName(1, name), 0) << "no such row";
}

class TwoCameras : public Controller {
  protected:
    TwoCameras()
        : Controller({fastCamera(), fastCamera(), fastCamera(0x3042), fastCamera(0x9999)}) {}
};

TEST_F(TwoCameras, SecondCameraOfTheServedModelIsNumberOne) {
    char name[64] = {};
    ASSERT_EQ(ctl.GetDeviceName(1, name), 1);
    EXPECT_STREQ(name, "Orvane-A06-USB3-Q7_01");
    ASSERT_EQ(ctl.GetDeviceName(2, name), 1);
    EXPECT_STREQ(name, "Orvane-A05-USB3-Q7_00");
    EXPECT_EQ(ctl.GetDeviceName(3, name), 0) << "product ID outside the family";
    cams.camera(1).unplug();
    EXPECT_EQ(ctl.GetDeviceName(1, name), 0) << "row of an absent camera";
}

TEST_F(TwoCameras, SelectingAnotherCameraRoutesRequests) {
    ASSERT_EQ(ctl.SelectDevice(1), 1);
    ASSERT_EQ(ctl.WriteFpgaRegister(0x07, 9), 1);
    EXPECT_EQ(cams.camera(1).fpgaRegister(0x07), 9);
    EXPECT_EQ(cams.camera(0).fpgaRegister(0x07), 0);
    EXPECT_EQ(ctl.SelectDevice(7), 0);
    EXPECT_EQ(ctl.GetSelectedIndex(), 1);
}

TEST_F(TwoCameras, WholeFramesOnEndpoint83) {
    ASSERT_EQ(ctl.SelectDevice(2), 1);
    ASSERT_EQ(ctl.WriteStreamMode(1), 1);  // two bytes per pixel
    FrameRecord record = frameRecord();
    record.wholeFrameBytes = 3072u * 2048u * 2u;
    EXPECT_EQ(ctl.ReadWholeFrame(&record), 1);
    ASSERT_EQ(ctl.WriteStreamMode(0), 1);  // one byte per pixel: half of what is asked for
    EXPECT_EQ(ctl.ReadWholeFrame(&record), 0);
}

}  // namespace
}  // namespace orvane::transport
