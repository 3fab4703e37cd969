#include "support/ScriptedDevice.h"

#include <algorithm>
#include <cstring>

#include "transport/Fx3Protocol.h"

namespace orvane::fuzz {

using namespace platform::usb;

void ReplyScript::load(const uint8_t* data, size_t size) {
    platform::LockGuard lock(mutex_);
    bytes_.assign(data, data + size);
    at_ = 0;
}

uint8_t ReplyScript::byte() {
    platform::LockGuard lock(mutex_);
    return at_ < bytes_.size() ? bytes_[at_++] : 0;
}

uint32_t ReplyScript::word32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(byte()) << (8 * i);
    return v;
}

void ReplyScript::fill(uint8_t* out, size_t n) {
    platform::LockGuard lock(mutex_);
    const size_t take = std::min(n, bytes_.size() - at_);
    if (take != 0) std::memcpy(out, bytes_.data() + at_, take);
    at_ += take;
    if (take < n) std::memset(out + take, 0, n - take);
}

size_t ReplyScript::remaining() const {
    platform::LockGuard lock(mutex_);
    return bytes_.size() - at_;
}

namespace {

// Verdict byte: bits 0-2 how the request completes, bits 3-4 how its byte count relates to
// the honest one, bit 5 failing driver status words (direct bulk reads).
enum class Completion { Now, Pending, GenFailure, Gone, Aborted };

Completion completionOf(uint8_t verdict) {
    switch (verdict & 7) {
        case 4:
            return Completion::Pending;
        case 5:
            return Completion::GenFailure;
        case 6:
            return Completion::Gone;
        case 7:
            return Completion::Aborted;
        default:
            return Completion::Now;
    }
}

uint32_t errorOf(Completion c) {
    switch (c) {
        case Completion::GenFailure:
            return kErrorGenFailure;
        case Completion::Gone:
            return kErrorDeviceNotConnected;
        case Completion::Aborted:
            return kErrorOperationAborted;
        default:
            return kErrorSuccess;
    }
}

// The byte count a reply reports, honest or not.
uint32_t reportedCount(uint8_t verdict, uint32_t honest, ReplyScript& script) {
    switch ((verdict >> 3) & 3) {
        case 1:  // short
            return honest == 0 ? 0 : script.byte() % honest;
        case 2:  // over-long
            return honest + 1 + script.byte();
        case 3:  // anything at all
            return script.word32();
        default:
            return honest;
    }
}

class ScriptedHandle final : public DeviceHandle {
  public:
    ScriptedHandle(std::shared_ptr<ReplyScript> script, bool overlapped)
        : script_(std::move(script)), overlapped_(overlapped) {}

    uint32_t ioControl(uint32_t code, void* in, uint32_t inLength, void* out, uint32_t outLength,
                       uint32_t* returned, const std::shared_ptr<IoCompletion>& io) override {
        if (returned != nullptr) *returned = 0;
        ReplyScript& s = *script_;
        const uint8_t verdict = s.byte();
        Completion completion = completionOf(verdict);
        if (completion == Completion::Pending && !(overlapped_ && io)) completion = Completion::Now;
        uint32_t count = 0;
        switch (code) {
            case transport::kIoctlControlTransfer:
                count = control(verdict, in, inLength, out, outLength);
                break;
            case transport::kIoctlBulkDirect:
                count = bulkDirect(verdict, in, inLength, out, outLength);
                break;
            case transport::kIoctlBulkBuffered:
                count = bulkBuffered(verdict, in, inLength, out, outLength);
                break;
            case transport::kIoctlGetSpeed:
                if (out != nullptr && outLength >= 4) {
                    uint8_t speed[4];
                    s.fill(speed, 4);
                    std::memcpy(out, speed, 4);
                }
                count = reportedCount(verdict, 4, s);
                break;
            case transport::kIoctlAbortPipe:
            case transport::kIoctlResetPipe:
            case transport::kIoctlResetParentPort:
                break;
            default:
                return kErrorInvalidParameter;
        }
        const uint32_t error = errorOf(completion);
        if (error != kErrorSuccess) count = 0;
        // A pending request is completed before it is reported pending: the caller's wait
        // then finds it done, so the pending path is taken without real time passing.
        if (completion == Completion::Pending) {
            io->complete(kErrorSuccess, count);
            return kErrorIoPending;
        }
        if (returned != nullptr) *returned = count;
        if (io) io->complete(error, count);
        return error;
    }

  private:
    uint32_t control(uint8_t verdict, void* in, uint32_t inLength, void* out, uint32_t outLength) {
        if (in == nullptr || inLength < sizeof(transport::TransferHeader)) return 0;
        transport::TransferHeader h;
        std::memcpy(&h, in, sizeof h);
        const uint32_t room = inLength > sizeof h ? std::min<uint32_t>(inLength - sizeof h, 64) : 0;
        uint32_t honest = sizeof h;
        if ((h.requestType & 0x80) != 0) {
            const uint32_t n = std::min<uint32_t>(script_->byte() % 65, room);
            uint8_t data[64];
            script_->fill(data, n);
            std::memcpy(static_cast<uint8_t*>(in) + sizeof h, data, n);
            honest += n;
        } else {
            honest += room;
        }
        if (out != nullptr && out != in) std::memcpy(out, in, std::min(inLength, outLength));
        return reportedCount(verdict, honest, *script_);
    }

    uint32_t bulkDirect(uint8_t verdict, void* in, uint32_t inLength, void* out,
                        uint32_t outLength) {
        if (in == nullptr || inLength < sizeof(transport::TransferHeader)) return 0;
        if ((verdict & 0x20) != 0) {
            auto* h = static_cast<transport::TransferHeader*>(in);
            h->driverStatus1 = script_->word32();
            h->driverStatus2 = 0xC0000004u;
        }
        const uint32_t count = reportedCount(verdict, outLength, *script_);
        fillData(static_cast<uint8_t*>(out), std::min(count, outLength));
        return count;
    }

    uint32_t bulkBuffered(uint8_t verdict, void* in, uint32_t inLength, void* out,
                          uint32_t outLength) {
        if (in == nullptr || out != in || inLength < sizeof(transport::TransferHeader)) return 0;
        transport::TransferHeader h;
        std::memcpy(&h, in, sizeof h);
        if (h.dataOffset < sizeof h || h.dataOffset > outLength) return 0;
        const uint32_t room = std::min<uint32_t>(h.dataLength, outLength - h.dataOffset);
        const uint32_t count = reportedCount(verdict, room, *script_);
        fillData(static_cast<uint8_t*>(out) + h.dataOffset, std::min(count, room));
        return h.dataOffset + count < count ? UINT32_MAX : h.dataOffset + count;
    }

    // Frame headers and other short reads take their bytes from the script; long payloads a
    // pattern seeded by one script byte, so an input need not carry megabytes.
    void fillData(uint8_t* out, uint32_t n) {
        if (out == nullptr || n == 0) return;
        if (n <= transport::kFrameHeaderBytes) {
            script_->fill(out, n);
            return;
        }
        const uint8_t seed = script_->byte();
        for (uint32_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(seed + i);
    }

    std::shared_ptr<ReplyScript> script_;
    const bool overlapped_;
};

}  // namespace

ScriptedBackend::ScriptedBackend(std::shared_ptr<ReplyScript> script)
    : script_(std::move(script)), paths_{devicePath(0x30F0), devicePath(0x3042)} {}

std::string ScriptedBackend::devicePath(uint16_t productId) {
    return makeDevicePath(0x04B4, productId, "FUZZ0001", kCameraInterfaceGuid);
}

std::vector<std::string> ScriptedBackend::listDevicePaths(const InterfaceGuid& guid) {
    if (!(guid == kCameraInterfaceGuid)) return {};
    return {paths_[0], paths_[1]};
}

std::unique_ptr<DeviceHandle> ScriptedBackend::open(const std::string& path, bool overlapped,
                                                    uint32_t* error) {
    if (path != paths_[0] && path != paths_[1]) {
        if (error != nullptr) *error = kErrorFileNotFound;
        return nullptr;
    }
    return std::make_unique<ScriptedHandle>(script_, overlapped);
}

}  // namespace orvane::fuzz
