#include "platform/usb/Fx3DriverBackend.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Sync.h"
#include "platform/usb/DriverRequest.h"

namespace orvane::platform::usb {
namespace {

// A failed transfer tells its caller why through the header's status words; when the driver
// has not written them (the request was cancelled, the device went away) they are written here.
void markIfSilent(TransferHeader* statusHeader, uint32_t error) {
    if (statusHeader == nullptr || error == kErrorSuccess) return;
    if (statusHeader->driverStatus1 != 0 || statusHeader->driverStatus2 != 0) return;
    markTransferFailed(statusHeader, error);
}

class Fx3Handle final : public DeviceHandle {
  public:
    Fx3Handle(std::shared_ptr<Fx3DeviceIo> io, std::unique_ptr<Fx3DeviceFile> file, bool overlapped,
              Fx3BackendLimits limits)
        : io_(std::move(io)), file_(std::move(file)), overlapped_(overlapped), limits_(limits) {}

    // The file cancels what is pending and returns after the last completion callback, which
    // still uses this object's members: it goes first.
    ~Fx3Handle() override { file_.reset(); }

    Fx3Handle(const Fx3Handle&) = delete;
    Fx3Handle& operator=(const Fx3Handle&) = delete;

    uint32_t ioControl(uint32_t code, void* in, uint32_t inLength, void* out, uint32_t outLength,
                       uint32_t* returned, const std::shared_ptr<IoCompletion>& io) override {
        if (returned != nullptr) *returned = 0;
        const ReplyChannel reply(returned, overlapped_ ? io : nullptr);
        const DriverRequest r = decodeDriverRequest(code, in, inLength, out, outLength);
        if (!r.valid()) return reply(kErrorInvalidParameter, 0);
        if (r.kind == DriverRequestKind::AbortPipe) return abortPipe(r, reply);
        if (!reply.overlapped()) return reply(waitFor(r, limitOf(r)));
        const Submitted s = submit(r, reply.overlapped());
        if (s.error == kErrorIoPending) return kErrorIoPending;
        return reply(s.error, s.bytes);
    }

  private:
    struct Submitted {
        uint32_t error = kErrorSuccess;
        uint32_t bytes = 0;
        uint64_t id = 0;
    };
    struct Inflight {
        DriverRequestKind kind;
        uint8_t endpoint;
    };

    // Issues `r`. When it pends, `completion` is completed as it ends; otherwise the result is
    // returned and `completion` is left alone.
    Submitted submit(const DriverRequest& r, const std::shared_ptr<IoCompletion>& completion) {
        Submitted s;
        s.id = nextId_.fetch_add(1) + 1;
        {
            // Known before the driver sees it: its completion may come before ioControl returns.
            platform::LockGuard lock(mutex_);
            inflight_[s.id] = Inflight{r.kind, r.endpoint};
        }
        TransferHeader* status = r.statusHeader;
        const uint64_t id = s.id;
        s.error = file_->ioControl(r.code, r.in, r.inLength, r.out, r.outLength, &s.bytes, id,
                                   [this, id, status, completion](uint32_t error, uint32_t n) {
                                       forget(id);
                                       markIfSilent(status, error);
                                       completion->complete(error, n);
                                   });
        if (s.error != kErrorIoPending) {
            forget(id);
            markIfSilent(status, s.error);
        }
        return s;
    }

    // Issues `r` and waits for its end, cancelling it after `limitMs`.
    DriverReply waitFor(const DriverRequest& r, uint32_t limitMs) {
        auto completion = std::make_shared<IoCompletion>();
        const Submitted s = submit(r, completion);
        if (s.error != kErrorIoPending) return {s.error, s.bytes};
        if (!completion->wait(limitMs)) {
            file_->cancel(s.id);
            // The buffers are the driver's until it has ended the request, cancelled or not.
            completion->wait(kInfiniteWait);
            if (completion->error() == kErrorOperationAborted) return {kErrorSemTimeout, 0};
        }
        return {completion->error(), completion->bytes()};
    }

    uint32_t abortPipe(const DriverRequest& r, const ReplyChannel& reply) {
        const DriverReply result = waitFor(r, limits_.requestLimitMs);
        // Reads of this pipe the driver did not end: end them here. Cancelled outside the lock,
        // since a cancelled request may complete (and take the lock) at once.
        std::vector<uint64_t> stuck;
        {
            platform::LockGuard lock(mutex_);
            for (const auto& [id, request] : inflight_)
                if (request.kind == DriverRequestKind::BulkRead && request.endpoint == r.endpoint)
                    stuck.push_back(id);
        }
        for (uint64_t id : stuck) file_->cancel(id);
        return reply(result);
    }

    uint32_t limitOf(const DriverRequest& r) const {
        if (r.kind != DriverRequestKind::Control || r.setup.timeoutMs == 0)
            return limits_.requestLimitMs;
        const uint64_t limit = uint64_t{r.setup.timeoutMs} + limits_.controlGraceMs;
        return static_cast<uint32_t>(std::min<uint64_t>(limit, kInfiniteWait - 1));
    }

    void forget(uint64_t id) {
        platform::LockGuard lock(mutex_);
        inflight_.erase(id);
    }

    const std::shared_ptr<Fx3DeviceIo> io_;  // keeps the system side alive for the file
    std::unique_ptr<Fx3DeviceFile> file_;    // reset only in the destructor
    const bool overlapped_;
    const Fx3BackendLimits limits_;
    std::atomic<uint64_t> nextId_{0};
    platform::Mutex mutex_;
    std::map<uint64_t, Inflight> inflight_ ORVANE_GUARDED_BY(mutex_);
};

class Fx3Backend final : public DriverBackend {
  public:
    Fx3Backend(std::shared_ptr<Fx3DeviceIo> io, Fx3BackendLimits limits)
        : io_(std::move(io)), limits_(limits) {}

    const char* name() const override { return "fx3"; }

    std::vector<std::string> listDevicePaths(const InterfaceGuid& guid) override {
        return io_->interfacePaths(guid, kFx3InterfaceMembers);
    }

    std::unique_ptr<DeviceHandle> open(const std::string& path, bool overlapped,
                                       uint32_t* error) override {
        uint32_t code = kErrorSuccess;
        std::unique_ptr<Fx3DeviceFile> file = io_->open(path, &code);
        if (error != nullptr) *error = file ? kErrorSuccess : code;
        if (!file) return nullptr;
        return std::make_unique<Fx3Handle>(io_, std::move(file), overlapped, limits_);
    }

  private:
    const std::shared_ptr<Fx3DeviceIo> io_;
    const Fx3BackendLimits limits_;
};

}  // namespace

std::shared_ptr<DriverBackend> createFx3DriverBackend(std::shared_ptr<Fx3DeviceIo> io,
                                                      Fx3BackendLimits limits) {
    if (!io) return nullptr;
    return std::make_shared<Fx3Backend>(std::move(io), limits);
}

void registerFx3DriverBackend() {
    static std::once_flag once;
    std::call_once(once, [] {
        registerBackendFactory("fx3", 10, []() -> std::shared_ptr<DriverBackend> {
            return createFx3DriverBackend(systemFx3DeviceIo());
        });
    });
}

}  // namespace orvane::platform::usb
