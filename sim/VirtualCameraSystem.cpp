#include "sim/VirtualCameraSystem.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/Log.h"
#include "platform/MessageWindow.h"
#include "platform/usb/DriverRequest.h"
#include "transport/Fx3Protocol.h"

namespace orvane::sim {

using namespace platform::usb;
using transport::ControlBlock;
using transport::TransferHeader;

namespace {

// An open virtual device path.
class VirtualHandle final : public DriverSideHandle {
  public:
    VirtualHandle(std::shared_ptr<VirtualCamera> camera, bool overlapped)
        : DriverSideHandle(overlapped), camera_(std::move(camera)) {}

  private:
    bool present() const override { return camera_->plugged(); }
    DriverReply control(const DriverRequest& r) override {
        const int n = camera_->control(r.setup.requestType, r.setup.request, r.setup.value,
                                       r.setup.index, r.data, r.length);
        return finishControl(r, n);
    }
    uint32_t abortPipe(uint8_t endpoint) override {
        camera_->abortPipe(endpoint);
        return kErrorSuccess;
    }
    uint32_t resetPipe(uint8_t endpoint) override {
        camera_->resetPipe(endpoint);
        return kErrorSuccess;
    }
    uint32_t resetPort() override {
        camera_->resetPort();
        return kErrorSuccess;
    }
    uint32_t speedCode() override { return camera_->speedCode(); }

    uint32_t bulk(const DriverRequest& r, const ReplyChannel& reply, uint32_t* returned) override {
        const std::shared_ptr<IoCompletion>& ov = reply.overlapped();
        // Without an overlapped completion the request finishes before this returns, so a
        // completion on the stack will do.
        IoCompletion local;
        IoCompletion* io = ov ? ov.get() : &local;
        uint32_t bytes = 0;
        // The callback holds plain pointers: the caller keeps the completion and the header
        // alive until the request has finished, as it does the buffer.
        TransferHeader* statusHeader = r.statusHeader;
        const uint32_t extra = r.replyExtra;
        const uint32_t error =
            camera_->submitBulkRead(r.endpoint, r.data, r.length, &bytes,
                                    [io, statusHeader, extra](uint32_t e, uint32_t n) {
                                        markTransferFailed(statusHeader, e);
                                        io->complete(e, e == kErrorSuccess ? n + extra : 0);
                                    });
        if (error == kErrorIoPending) return awaitPending(reply, *io, returned);
        markTransferFailed(statusHeader, error);
        const uint32_t total = error == kErrorSuccess ? bulkReplyBytes(r, bytes) : 0;
        if (returned != nullptr) *returned = total;
        io->complete(error, total);
        return error;
    }

    std::shared_ptr<VirtualCamera> camera_;
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
