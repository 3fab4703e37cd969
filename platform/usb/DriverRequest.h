// One I/O control request of the FX3 format as the driver side sees it: decoding the caller's
// buffers into what is asked, and writing the reply back the way the FX3 driver does.
//
// Every party that plays the driver (the libusb backend, the virtual camera, test doubles)
// answers through these functions, so that the reply bytes, the status words of a failed
// transfer and the returned counts are the same whoever answers.
//
// Threads: plain functions on the caller's buffers.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/usb/DriverPort.h"
#include "platform/usb/Fx3Driver.h"

namespace orvane::platform::usb {

enum class DriverRequestKind {
    Invalid,    // unknown code or buffers that do not fit it
    Control,    // 102-byte control block on endpoint 0
    BulkRead,   // bulk-in transfer, buffered (header + data area) or direct (caller's buffer)
    AbortPipe,  // end the pending transfers of `endpoint`
    ResetPipe,  // clear the halt of `endpoint`
    ResetPort,  // reset the parent port
    GetSpeed,   // 4-byte speed code into `speedOut`
};

struct DriverRequest {
    DriverRequestKind kind = DriverRequestKind::Invalid;
    uint32_t code = 0;
    // Control: a copy of the block's header (the setup fields and the timeout).
    TransferHeader setup{};
    // Control: the data area inside the caller's block (at most 64 bytes usable).
    // Bulk: where the data go (the data area of a buffered block, or the caller's buffer).
    uint8_t* data = nullptr;
    uint32_t length = 0;
    uint8_t endpoint = 0;  // bulk, abort and reset pipe
    // Bulk: bytes the reply counts before the data (the header of a buffered block).
    uint32_t replyExtra = 0;
    // Direct bulk: the caller's header, which takes the status words of a failed transfer.
    TransferHeader* statusHeader = nullptr;
    uint8_t* speedOut = nullptr;

    // The caller's buffers as given.
    uint8_t* in = nullptr;
    uint32_t inLength = 0;
    uint8_t* out = nullptr;
    uint32_t outLength = 0;

    bool valid() const { return kind != DriverRequestKind::Invalid; }
    bool deviceToHost() const { return (setup.requestType & 0x80) != 0; }
};

// Decodes one request. Buffers too short for the code, data areas outside the caller's block
// and unknown codes give an Invalid request: such a request is refused, never read beyond.
DriverRequest decodeDriverRequest(uint32_t code, void* in, uint32_t inLength, void* out,
                                  uint32_t outLength);

struct DriverReply {
    uint32_t error = kErrorSuccess;
    uint32_t bytes = 0;
};

// Finishes a control request after the device answered: `deviceResult` < 0 means the device
// stalled (the block's status words say so and the request fails), otherwise it is the count
// of data bytes the device returned (device-to-host requests; host-to-device requests count
// the data they sent). The block is mirrored into a separate output buffer, and the reply
// counts the header plus the data.
DriverReply finishControl(const DriverRequest& request, int deviceResult);

// The byte count of a finished bulk read that moved `dataBytes`.
inline uint32_t bulkReplyBytes(const DriverRequest& request, uint32_t dataBytes) {
    return dataBytes + request.replyExtra;
}

// Writes the status words of a transfer that ended with `error` (no-op for null or success):
// cancelled for an aborted transfer, stalled otherwise.
void markTransferFailed(TransferHeader* statusHeader, uint32_t error);

// Hands a finished request back as DeviceHandle::ioControl promises: the returned count is set
// and the caller's overlapped completion (if any) is completed; the result is the error.
class ReplyChannel {
  public:
    ReplyChannel(uint32_t* returned, std::shared_ptr<IoCompletion> overlapped)
        : returned_(returned), overlapped_(std::move(overlapped)) {}

    uint32_t operator()(uint32_t error, uint32_t bytes) const {
        if (returned_ != nullptr) *returned_ = bytes;
        if (overlapped_) overlapped_->complete(error, bytes);
        return error;
    }
    uint32_t operator()(const DriverReply& reply) const {
        return (*this)(reply.error, reply.bytes);
    }
    const std::shared_ptr<IoCompletion>& overlapped() const { return overlapped_; }

  private:
    uint32_t* returned_;
    std::shared_ptr<IoCompletion> overlapped_;
};

// A device handle that plays the driver: ioControl decodes the request, refuses what does not
// decode and hands the rest to the operations below, so that every driver side answers the
// same request kinds in the same way.
class DriverSideHandle : public DeviceHandle {
  public:
    explicit DriverSideHandle(bool overlapped) : overlapped_(overlapped) {}

    uint32_t ioControl(uint32_t code, void* in, uint32_t inLength, void* out, uint32_t outLength,
                       uint32_t* returned, const std::shared_ptr<IoCompletion>& io) final;

  protected:
    // False once the device is gone: every request then fails without being decoded.
    virtual bool present() const { return true; }
    // A control request; the reply comes from finishControl.
    virtual DriverReply control(const DriverRequest& r) = 0;
    // A bulk read, answered through `reply` when it finishes at once; `returned` is the
    // caller's count, for a read that had to be waited for.
    virtual uint32_t bulk(const DriverRequest& r, const ReplyChannel& reply,
                          uint32_t* returned) = 0;
    // The error codes of the pipe and port requests.
    virtual uint32_t abortPipe(uint8_t endpoint) = 0;
    virtual uint32_t resetPipe(uint8_t endpoint) = 0;
    virtual uint32_t resetPort() = 0;
    virtual uint32_t speedCode() = 0;

    // The end of a bulk read that is still pending: an overlapped caller is told so and
    // learns of the end through its completion; any other caller waits for `io` here.
    static uint32_t awaitPending(const ReplyChannel& reply, IoCompletion& io, uint32_t* returned);

  private:
    const bool overlapped_;
};

}  // namespace orvane::platform::usb
