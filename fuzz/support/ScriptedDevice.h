// A device whose every reply comes from the fuzzer's input: a driver-port backend that
// answers each I/O control request with the next bytes of a script. Each request takes one
// verdict byte (how it completes, how honest its byte count is, whether the driver status
// words report a failure) and, for requests that return data, the data bytes. An exhausted
// script answers every request at once with success and zero data, so every input ends.
//
// The backend never writes outside the buffers it is given; lies are told with the counts
// and the data, as a faulty device or driver would tell them.
//
// Threads: any thread; the script is consumed under its own lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Sync.h"
#include "platform/usb/DriverPort.h"

namespace orvane::fuzz {

class ReplyScript {
  public:
    void load(const uint8_t* data, size_t size);
    uint8_t byte();
    uint32_t word32();
    // Copies up to n script bytes into out and zero-fills the rest.
    void fill(uint8_t* out, size_t n);
    size_t remaining() const;

  private:
    mutable platform::Mutex mutex_;
    std::vector<uint8_t> bytes_ ORVANE_GUARDED_BY(mutex_);
    size_t at_ ORVANE_GUARDED_BY(mutex_) = 0;
};

class ScriptedBackend final : public platform::usb::DriverBackend {
  public:
    explicit ScriptedBackend(std::shared_ptr<ReplyScript> script);

    static std::string devicePath(uint16_t productId);

    const char* name() const override { return "scripted"; }
    std::vector<std::string> listDevicePaths(const platform::usb::InterfaceGuid& guid) override;
    std::unique_ptr<platform::usb::DeviceHandle> open(const std::string& path, bool overlapped,
                                                      uint32_t* error) override;

  private:
    std::shared_ptr<ReplyScript> script_;
    // The two cameras' paths, made once: every control request opens a handle by path.
    const std::string paths_[2];
};

}  // namespace orvane::fuzz
