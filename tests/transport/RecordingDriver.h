// A driver-port backend that records the raw bytes of every request and answers from a
// script, for checking request layouts byte by byte.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/usb/DriverPort.h"
#include "support/TestFiles.h"

namespace orvane::test {

struct RecordedIoctl {
    uint32_t code = 0;
    std::vector<uint8_t> in;
    uint32_t outLength = 0;
    bool overlapped = false;
};

class RecordingDriver : public platform::usb::DriverBackend,
                        public std::enable_shared_from_this<RecordingDriver> {
  public:
    // Answer for a request: error code and output bytes (copied into `out`).
    std::function<uint32_t(const RecordedIoctl&, uint8_t* out, uint32_t* returned)> answer =
        [](const RecordedIoctl&, uint8_t*, uint32_t*) { return 0u; };

    std::vector<RecordedIoctl> calls() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.clear();
    }

    const char* name() const override { return "recording"; }
    std::vector<std::string> listDevicePaths(const platform::usb::InterfaceGuid&) override {
        return {platform::usb::makeDevicePath(0x04B4, 0x30F0, "REC0",
                                              platform::usb::kCameraInterfaceGuid)};
    }
    std::unique_ptr<platform::usb::DeviceHandle> open(const std::string&, bool overlapped,
                                                      uint32_t*) override {
        return std::make_unique<Handle>(shared_from_this(), overlapped);
    }

  private:
    class Handle : public platform::usb::DeviceHandle {
      public:
        Handle(std::shared_ptr<RecordingDriver> owner, bool overlapped)
            : owner_(std::move(owner)), overlapped_(overlapped) {}
        uint32_t ioControl(uint32_t code, void* in, uint32_t inLength, void* out,
                           uint32_t outLength, uint32_t* returned,
                           const std::shared_ptr<platform::usb::IoCompletion>& io) override {
            RecordedIoctl r;
            r.code = code;
            if (in != nullptr)
                r.in.assign(static_cast<uint8_t*>(in), static_cast<uint8_t*>(in) + inLength);
            r.outLength = outLength;
            r.overlapped = overlapped_ && io != nullptr;
            {
                std::lock_guard<std::mutex> lock(owner_->mutex_);
                owner_->calls_.push_back(r);
            }
            uint32_t n = 0;
            const uint32_t error = owner_->answer(r, static_cast<uint8_t*>(out), &n);
            if (returned != nullptr) *returned = n;
            if (io) io->complete(error, n);
            return error;
        }

      private:
        std::shared_ptr<RecordingDriver> owner_;
        bool overlapped_;
    };

    mutable std::mutex mutex_;
    std::vector<RecordedIoctl> calls_;  // guarded by mutex_
};

}  // namespace orvane::test
