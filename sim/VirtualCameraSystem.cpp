#include "sim/VirtualCameraSystem.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/Log.h"
#include "platform/MessageWindow.h"
#include "transport/Fx3Protocol.h"

namespace orvane::sim {

using namespace platform::usb;
using transport::ControlBlock;
using transport::TransferHeader;

namespace {

// Driver status words of a failed transfer (NTSTATUS unsuccessful, USBD stall or cancel).
constexpr uint32_t kStatusUnsuccessful = 0xC0000001u;
constexpr uint32_t kUsbdStatusStall = 0xC0000004u;
constexpr uint32_t kUsbdStatusCanceled = 0xC0010000u;
// An open virtual device path.
class VirtualHandle final : public DeviceHandle {
  public:
    VirtualHandle(std::shared_ptr<VirtualCamera> camera, bool overlapped)
        : camera_(std::move(camera)), overlapped_(overlapped) {}

    uint32_t ioControl(uint32_t code, void* in, uint32_t inLength, void* out, uint32_t outLength,
                       uint32_t* returned, const std::shared_ptr<IoCompletion>& io) override {
        if (returned != nullptr) *returned = 0;
        const std::shared_ptr<IoCompletion> ov = overlapped_ ? io : nullptr;
        auto finish = [&](uint32_t error, uint32_t bytes) {
            if (returned != nullptr) *returned = bytes;
            if (ov) ov->complete(error, bytes);
            return error;
        };
        if (!camera_->plugged()) return finish(kErrorDeviceNotConnected, 0);
        auto* inBytes = static_cast<uint8_t*>(in);
        auto* outBytes = static_cast<uint8_t*>(out);
        switch (code) {
            case transport::kIoctlControlTransfer:
                return control(inBytes, inLength, outBytes, outLength, finish);
            case transport::kIoctlBulkBuffered: {
                if (in == nullptr || out == nullptr || inLength < sizeof(TransferHeader))
                    return finish(kErrorInvalidParameter, 0);
                TransferHeader h;
                std::memcpy(&h, in, sizeof h);
                if (h.dataOffset < sizeof h || outLength < h.dataOffset ||
                    outLength - h.dataOffset < h.dataLength)
                    return finish(kErrorInvalidParameter, 0);
                return bulk(h.endpoint, outBytes + h.dataOffset, h.dataLength, h.dataOffset,
                            nullptr, ov, returned);
            }
            case transport::kIoctlBulkDirect: {
                if (in == nullptr || inLength < sizeof(TransferHeader) ||
                    (out == nullptr && outLength != 0))
                    return finish(kErrorInvalidParameter, 0);
                auto* h = static_cast<TransferHeader*>(in);
                return bulk(h->endpoint, outBytes, outLength, 0, h, ov, returned);
            }
            case transport::kIoctlAbortPipe:
                if (in == nullptr || inLength < 1) return finish(kErrorInvalidParameter, 0);
                camera_->abortPipe(inBytes[0]);
                return finish(kErrorSuccess, 0);
            case transport::kIoctlResetPipe:
                if (in == nullptr || inLength < 1) return finish(kErrorInvalidParameter, 0);
                camera_->resetPipe(inBytes[0]);
                return finish(kErrorSuccess, 0);
            case transport::kIoctlResetParentPort:
                camera_->resetPort();
                return finish(kErrorSuccess, 0);
            case transport::kIoctlGetSpeed: {
                if (out == nullptr || outLength < 4) return finish(kErrorInvalidParameter, 0);
                const uint32_t code4 = camera_->speedCode();
                std::memcpy(out, &code4, 4);
                return finish(kErrorSuccess, 4);
            }
            default:
                return finish(kErrorInvalidParameter, 0);
        }
    }

  private:
    template <typename Finish>
    uint32_t control(uint8_t* in, uint32_t inLength, uint8_t* out, uint32_t outLength,
                     Finish& finish) {
        if (in == nullptr || inLength < sizeof(TransferHeader))
            return finish(kErrorInvalidParameter, 0);
        TransferHeader h;
        std::memcpy(&h, in, sizeof h);
        if (h.dataOffset < sizeof h || h.dataOffset > inLength)
            return finish(kErrorInvalidParameter, 0);
        const uint32_t declared = h.dataLength;  // packed field: copy before binding a reference
        const uint32_t dataLength = std::min(declared, inLength - h.dataOffset);
        uint8_t* data = in + h.dataOffset;
        const int n = camera_->control(h.requestType, h.request, h.value, h.index, data,
                                       std::min<uint32_t>(dataLength, 64));
        if (n < 0) {
            h.driverStatus1 = kStatusUnsuccessful;
            h.driverStatus2 = kUsbdStatusStall;
            std::memcpy(in, &h, sizeof h);
            if (out != nullptr && out != in) std::memcpy(out, in, std::min(inLength, outLength));
            return finish(kErrorGenFailure, 0);
        }
        if (out != nullptr && out != in) std::memcpy(out, in, std::min(inLength, outLength));
        const bool deviceToHost = (h.requestType & 0x80) != 0;
        const uint32_t data2 = deviceToHost ? static_cast<uint32_t>(n) : dataLength;
        return finish(kErrorSuccess, h.dataOffset + data2);
    }

    uint32_t bulk(uint8_t endpoint, uint8_t* buffer, uint32_t length, uint32_t extra,
                  TransferHeader* statusHeader, const std::shared_ptr<IoCompletion>& ov,
                  uint32_t* returned) {
        // Without an overlapped completion the request finishes before this returns, so a
        // completion on the stack will do.
        IoCompletion local;
        IoCompletion* io = ov ? ov.get() : &local;
        uint32_t bytes = 0;
        // The callback holds plain pointers: the caller keeps the completion and the header
        // alive until the request has finished, as it does the buffer.
        const uint32_t error = camera_->submitBulkRead(
            endpoint, buffer, length, &bytes, [io, statusHeader, extra](uint32_t e, uint32_t n) {
                if (e != kErrorSuccess) markFailed(statusHeader, e);
                io->complete(e, e == kErrorSuccess ? n + extra : 0);
            });
        if (error == kErrorIoPending) {
            if (ov) return kErrorIoPending;
            io->wait(kInfiniteWait);
            if (returned != nullptr) *returned = io->bytes();
            return io->error();
        }
        if (error != kErrorSuccess) markFailed(statusHeader, error);
        const uint32_t total = error == kErrorSuccess ? bytes + extra : 0;
        if (returned != nullptr) *returned = total;
        io->complete(error, total);
        return error;
    }

    static void markFailed(TransferHeader* statusHeader, uint32_t error) {
        if (statusHeader == nullptr) return;
        statusHeader->driverStatus1 = kStatusUnsuccessful;
        statusHeader->driverStatus2 =
            error == kErrorOperationAborted ? kUsbdStatusCanceled : kUsbdStatusStall;
    }

    std::shared_ptr<VirtualCamera> camera_;
    const bool overlapped_;
};

}  // namespace

VirtualCameraSystem::VirtualCameraSystem(const std::vector<CameraOptions>& cameras) {
    for (const CameraOptions& c : cameras) addCamera(c);
}

VirtualCameraSystem::~VirtualCameraSystem() {
    platform::LockGuard lock(mutex_);
    for (auto& c : cameras_) c->setPlugListener(nullptr);
}

std::shared_ptr<VirtualCameraSystem> VirtualCameraSystem::fromList(const std::string& text,
                                                                   std::string* error) {
    std::vector<CameraOptions> cameras;
    if (!parseCameraList(text, &cameras, error)) return nullptr;
    return std::make_shared<VirtualCameraSystem>(cameras);
}

size_t VirtualCameraSystem::addCamera(const CameraOptions& options) {
    platform::LockGuard lock(mutex_);
    CameraOptions o = options;
    const size_t index = cameras_.size();
    if (o.serial.empty()) {
        char serial[16];
        std::snprintf(serial, sizeof serial, "VCAM%04zu", index);
        o.serial = serial;
    }
    auto camera = std::make_shared<VirtualCamera>(o);
    camera->setPlugListener([](bool plugged) {
        platform::broadcastDeviceChange(plugged ? platform::kDbtDeviceArrival
                                                : platform::kDbtDeviceRemoveComplete);
    });
    paths_.push_back(makeDevicePath(o.vendorId, o.productId, o.serial, kCameraInterfaceGuid));
    cameras_.push_back(std::move(camera));
    return index;
}

size_t VirtualCameraSystem::cameraCount() const {
    platform::LockGuard lock(mutex_);
    return cameras_.size();
}

VirtualCamera& VirtualCameraSystem::camera(size_t index) const {
    return *cameraPtr(index);
}

std::shared_ptr<VirtualCamera> VirtualCameraSystem::cameraPtr(size_t index) const {
    platform::LockGuard lock(mutex_);
    return cameras_.at(index);
}

std::string VirtualCameraSystem::devicePath(size_t index) const {
    platform::LockGuard lock(mutex_);
    return paths_.at(index);
}

std::vector<std::string> VirtualCameraSystem::listDevicePaths(const InterfaceGuid& guid) {
    std::vector<std::string> out;
    if (!(guid == kCameraInterfaceGuid)) return out;
    platform::LockGuard lock(mutex_);
    for (size_t i = 0; i < cameras_.size(); ++i)
        if (cameras_[i]->plugged()) out.push_back(paths_[i]);
    return out;
}

std::unique_ptr<DeviceHandle> VirtualCameraSystem::open(const std::string& path, bool overlapped,
                                                        uint32_t* error) {
    platform::LockGuard lock(mutex_);
    for (size_t i = 0; i < cameras_.size(); ++i) {
        if (paths_[i] != path) continue;
        if (!cameras_[i]->plugged()) break;
        return std::make_unique<VirtualHandle>(cameras_[i], overlapped);
    }
    if (error != nullptr) *error = kErrorFileNotFound;
    return nullptr;
}

ScopedVirtualCameras::ScopedVirtualCameras(const std::vector<CameraOptions>& cameras)
    : system_(std::make_shared<VirtualCameraSystem>(cameras)), override_(system_) {}

namespace {
std::shared_ptr<VirtualCameraSystem> systemFromList(const std::string& list) {
    auto system = VirtualCameraSystem::fromList(list);
    return system ? system : std::make_shared<VirtualCameraSystem>(std::vector<CameraOptions>{});
}
}  // namespace

ScopedVirtualCameras::ScopedVirtualCameras(const std::string& list)
    : system_(systemFromList(list)), override_(system_) {}

void registerVirtualCameraBackend() {
    static std::once_flag once;
    std::call_once(once, [] {
        registerBackendFactory("virtual", 100, []() -> std::shared_ptr<DriverBackend> {
            const char* list = std::getenv("ORVANE_VIRTUAL_CAMERAS");
            if (list == nullptr || *list == '\0') return nullptr;
            std::string error;
            auto system = VirtualCameraSystem::fromList(list, &error);
            if (!system) {
                std::fprintf(stderr, "ORVANE_VIRTUAL_CAMERAS ignored: %s\n", error.c_str());
                return nullptr;
            }
            ORVANE_LOG(platform::LogLevel::Info, "virtual cameras: %zu", system->cameraCount());
            return system;
        });
    });
}

}  // namespace orvane::sim
