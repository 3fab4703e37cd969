#include "platform/usb/DriverRequest.h"

#include <algorithm>
#include <cstring>

namespace orvane::platform::usb {

namespace {

DriverRequest decodeControl(DriverRequest r) {
    if (r.in == nullptr || r.inLength < sizeof(TransferHeader)) return {};
    std::memcpy(&r.setup, r.in, sizeof r.setup);
    const uint32_t dataOffset = r.setup.dataOffset;
    if (dataOffset < sizeof(TransferHeader) || dataOffset > r.inLength) return {};
    const uint32_t declared = r.setup.dataLength;
    r.data = r.in + dataOffset;
    r.length = std::min({declared, r.inLength - dataOffset, kControlDataBytes});
    r.kind = DriverRequestKind::Control;
    return r;
}

DriverRequest decodeBuffered(DriverRequest r) {
    if (r.in == nullptr || r.out == nullptr || r.inLength < sizeof(TransferHeader)) return {};
    TransferHeader h;
    std::memcpy(&h, r.in, sizeof h);
    const uint32_t dataOffset = h.dataOffset;
    const uint32_t dataLength = h.dataLength;
    if (dataOffset < sizeof h || r.outLength < dataOffset || r.outLength - dataOffset < dataLength)
        return {};
    r.endpoint = h.endpoint;
    r.data = r.out + dataOffset;
    r.length = dataLength;
    r.replyExtra = dataOffset;
    r.kind = DriverRequestKind::BulkRead;
    return r;
}

DriverRequest decodeDirect(DriverRequest r) {
    if (r.in == nullptr || r.inLength < sizeof(TransferHeader) ||
        (r.out == nullptr && r.outLength != 0))
        return {};
    r.statusHeader = reinterpret_cast<TransferHeader*>(r.in);
    r.endpoint = r.statusHeader->endpoint;
    r.data = r.out;
    r.length = r.outLength;
    r.kind = DriverRequestKind::BulkRead;
    return r;
}

DriverRequest decodeEndpoint(DriverRequest r, DriverRequestKind kind) {
    if (r.in == nullptr || r.inLength < 1) return {};
    r.endpoint = r.in[0];
    r.kind = kind;
    return r;
}

}  // namespace

DriverRequest decodeDriverRequest(uint32_t code, void* in, uint32_t inLength, void* out,
                                  uint32_t outLength) {
    DriverRequest r;
    r.code = code;
    r.in = static_cast<uint8_t*>(in);
    r.inLength = inLength;
    r.out = static_cast<uint8_t*>(out);
    r.outLength = outLength;
    switch (code) {
        case kIoctlControlTransfer:
            return decodeControl(r);
        case kIoctlBulkBuffered:
            return decodeBuffered(r);
        case kIoctlBulkDirect:
            return decodeDirect(r);
        case kIoctlAbortPipe:
            return decodeEndpoint(r, DriverRequestKind::AbortPipe);
        case kIoctlResetPipe:
            return decodeEndpoint(r, DriverRequestKind::ResetPipe);
        case kIoctlResetParentPort:
            r.kind = DriverRequestKind::ResetPort;
            return r;
        case kIoctlGetSpeed:
            if (r.out == nullptr || r.outLength < 4) return {};
            r.speedOut = r.out;
            r.kind = DriverRequestKind::GetSpeed;
            return r;
        default:
            return {};
    }
}

DriverReply finishControl(const DriverRequest& r, int deviceResult) {
    TransferHeader h = r.setup;
    if (deviceResult < 0) {
        h.driverStatus1 = kStatusUnsuccessful;
        h.driverStatus2 = kUsbdStatusStall;
        std::memcpy(r.in, &h, sizeof h);
    }
    if (r.out != nullptr && r.out != r.in)
        std::memcpy(r.out, r.in, std::min(r.inLength, r.outLength));
    if (deviceResult < 0) return {kErrorGenFailure, 0};
    // A device cannot return more than the data area holds.
    const uint32_t data =
        r.deviceToHost() ? std::min(static_cast<uint32_t>(deviceResult), r.length) : r.length;
    return {kErrorSuccess, h.dataOffset + data};
}

void markTransferFailed(TransferHeader* statusHeader, uint32_t error) {
    if (statusHeader == nullptr || error == kErrorSuccess) return;
    statusHeader->driverStatus1 = kStatusUnsuccessful;
    statusHeader->driverStatus2 =
        error == kErrorOperationAborted ? kUsbdStatusCanceled : kUsbdStatusStall;
}

uint32_t DriverSideHandle::ioControl(uint32_t code, void* in, uint32_t inLength, void* out,
                                     uint32_t outLength, uint32_t* returned,
                                     const std::shared_ptr<IoCompletion>& io) {
    if (returned != nullptr) *returned = 0;
    const ReplyChannel reply(returned, overlapped_ ? io : nullptr);
    if (!present()) return reply(kErrorDeviceNotConnected, 0);
    const DriverRequest r = decodeDriverRequest(code, in, inLength, out, outLength);
    switch (r.kind) {
        case DriverRequestKind::Control:
            return reply(control(r));
        case DriverRequestKind::BulkRead:
            return bulk(r, reply, returned);
        case DriverRequestKind::AbortPipe:
            return reply(abortPipe(r.endpoint), 0);
        case DriverRequestKind::ResetPipe:
            return reply(resetPipe(r.endpoint), 0);
        case DriverRequestKind::ResetPort:
            return reply(resetPort(), 0);
        case DriverRequestKind::GetSpeed: {
            const uint32_t speed = speedCode();
            std::memcpy(r.speedOut, &speed, 4);
            return reply(kErrorSuccess, 4);
        }
        case DriverRequestKind::Invalid:
            break;
    }
    return reply(kErrorInvalidParameter, 0);
}

uint32_t DriverSideHandle::awaitPending(const ReplyChannel& reply, IoCompletion& io,
                                        uint32_t* returned) {
    if (reply.overlapped()) return kErrorIoPending;
    io.wait(kInfiniteWait);
    if (returned != nullptr) *returned = io.bytes();
    return io.error();
}

}  // namespace orvane::platform::usb
