// The driver side's reading of request buffers and its reply bytes, shared by every backend
// that plays the driver.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/usb/DriverRequest.h"

namespace {

// The request headers are packed, so their fields are compared as copies (unary +): gtest
// would bind a reference to a misaligned field.

using namespace orvane::platform::usb;

ControlBlock controlBlock(uint8_t type, uint8_t request) {
    ControlBlock b{};
    b.header.requestType = type;
    b.header.request = request;
    b.header.length = sizeof b;
    b.header.timeoutMs = kControlTimeoutMs;
    b.header.dataOffset = kTransferHeaderBytes;
    b.header.dataLength = kControlDataBytes;
    return b;
}

// A buffered bulk block with room for 100 data bytes whose header asks `dataLength` of
// `endpoint`.
std::vector<uint8_t> stagingBlock(uint8_t endpoint, uint32_t dataLength) {
    std::vector<uint8_t> staging(kTransferHeaderBytes + 100);
    TransferHeader h{};
    h.endpoint = endpoint;
    h.dataOffset = kTransferHeaderBytes;
    h.dataLength = dataLength;
    std::memcpy(staging.data(), &h, sizeof h);
    return staging;
}

TEST(DriverRequest, BuffersThatDoNotFitTheirCodeAreRefused) {
    ControlBlock b = controlBlock(0xC0, 0x31);
    EXPECT_TRUE(decodeDriverRequest(kIoctlControlTransfer, &b, sizeof b, &b, sizeof b).valid());
    EXPECT_FALSE(decodeDriverRequest(kIoctlControlTransfer, &b, 37, &b, sizeof b).valid())
        << "shorter than the header";
    b.header.dataOffset = sizeof b + 1;
    EXPECT_FALSE(decodeDriverRequest(kIoctlControlTransfer, &b, sizeof b, &b, sizeof b).valid())
        << "data area beyond the block";
    b.header.dataOffset = 20;
    EXPECT_FALSE(decodeDriverRequest(kIoctlControlTransfer, &b, sizeof b, &b, sizeof b).valid())
        << "data area inside the header";

    std::vector<uint8_t> staging = stagingBlock(kEndpointFrames, 101);
    EXPECT_FALSE(decodeDriverRequest(kIoctlBulkBuffered, staging.data(), 38, staging.data(),
                                     static_cast<uint32_t>(staging.size()))
                     .valid())
        << "a data length the output cannot hold";

    TransferHeader direct{};
    EXPECT_FALSE(decodeDriverRequest(kIoctlBulkDirect, &direct, 38, nullptr, 64).valid());
    uint8_t small[2];
    EXPECT_FALSE(decodeDriverRequest(kIoctlGetSpeed, small, 2, small, 2).valid());
    EXPECT_FALSE(decodeDriverRequest(kIoctlAbortPipe, nullptr, 0, nullptr, 0).valid());
    EXPECT_FALSE(decodeDriverRequest(0x220000, &b, sizeof b, &b, sizeof b).valid());
}

TEST(DriverRequest, DecodesWhereEachTransferPutsItsData) {
    ControlBlock b = controlBlock(0x40, 0x30);
    b.header.value = 3;
    b.header.index = 0x40;
    b.header.dataLength = 500;  // more than the block has: bounded by the data area
    const DriverRequest c = decodeDriverRequest(kIoctlControlTransfer, &b, sizeof b, &b, sizeof b);
    ASSERT_EQ(c.kind, DriverRequestKind::Control);
    EXPECT_EQ(c.data, b.data);
    EXPECT_EQ(c.length, kControlDataBytes);
    EXPECT_EQ(c.setup.index, 0x40);
    EXPECT_FALSE(c.deviceToHost());

    std::vector<uint8_t> staging = stagingBlock(kEndpointWholeFrames, 100);
    const DriverRequest buffered =
        decodeDriverRequest(kIoctlBulkBuffered, staging.data(), 38, staging.data(), 138);
    ASSERT_EQ(buffered.kind, DriverRequestKind::BulkRead);
    EXPECT_EQ(buffered.endpoint, kEndpointWholeFrames);
    EXPECT_EQ(buffered.data, staging.data() + kTransferHeaderBytes);
    EXPECT_EQ(bulkReplyBytes(buffered, 10), 48u) << "the reply counts the header too";
    EXPECT_EQ(buffered.statusHeader, nullptr);

    TransferHeader direct{};
    direct.endpoint = kEndpointFrames;
    uint8_t buffer[64];
    const DriverRequest d = decodeDriverRequest(kIoctlBulkDirect, &direct, 38, buffer, 64);
    ASSERT_EQ(d.kind, DriverRequestKind::BulkRead);
    EXPECT_EQ(d.statusHeader, &direct);
    EXPECT_EQ(d.data, buffer);
    EXPECT_EQ(bulkReplyBytes(d, 10), 10u);
}

TEST(DriverRequest, ControlRepliesCountHeaderAndDataAndReportStalls) {
    ControlBlock in = controlBlock(0xC0, 0xB0);
    ControlBlock out{};
    DriverRequest r = decodeDriverRequest(kIoctlControlTransfer, &in, sizeof in, &out, sizeof out);
    in.data[0] = 0x5A;
    DriverReply reply = finishControl(r, 200);
    EXPECT_EQ(reply.error, kErrorSuccess);
    EXPECT_EQ(reply.bytes, 38u + 64u) << "a device cannot return more than the data area";
    EXPECT_EQ(out.data[0], 0x5A) << "the block is mirrored into a separate output";

    reply = finishControl(r, 2);
    EXPECT_EQ(reply.bytes, 40u);

    reply = finishControl(r, -1);
    EXPECT_EQ(reply.error, kErrorGenFailure);
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_EQ(+in.header.driverStatus1, kStatusUnsuccessful);
    EXPECT_EQ(+in.header.driverStatus2, kUsbdStatusStall);
    EXPECT_EQ(+out.header.driverStatus2, kUsbdStatusStall);

    ControlBlock write = controlBlock(0x40, 0x30);
    write.header.dataLength = 3;
    r = decodeDriverRequest(kIoctlControlTransfer, &write, sizeof write, &write, sizeof write);
    EXPECT_EQ(finishControl(r, 0).bytes, 41u) << "a write counts the data it sent";
}

TEST(DriverRequest, FailedTransfersSayWhyInTheirHeader) {
    TransferHeader h{};
    markTransferFailed(&h, kErrorSuccess);
    EXPECT_EQ(+h.driverStatus1, 0u);
    markTransferFailed(&h, kErrorOperationAborted);
    EXPECT_EQ(+h.driverStatus1, kStatusUnsuccessful);
    EXPECT_EQ(+h.driverStatus2, kUsbdStatusCanceled);
    markTransferFailed(&h, kErrorDeviceNotConnected);
    EXPECT_EQ(+h.driverStatus2, kUsbdStatusStall);
    markTransferFailed(nullptr, kErrorGenFailure);  // no header, nothing to write
}

}  // namespace
