#include "platform/usb/LibusbBackend.h"

#if defined(ORVANE_HAVE_LIBUSB)

#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "platform/Log.h"
#include "platform/MessageWindow.h"
#include "platform/Sync.h"
#include "platform/usb/DriverRequest.h"
#include "platform/usb/Fx3Driver.h"

namespace orvane::platform::usb {
namespace {

constexpr uint16_t kDefaultVendorId = 0x04B4;
constexpr int kInterface = 0;
constexpr int kEventPollMs = 100;

uint32_t mapError(int libusbError) {
    switch (libusbError) {
        case LIBUSB_SUCCESS:
            return kErrorSuccess;
        case LIBUSB_ERROR_ACCESS:
            return kErrorAccessDenied;
        case LIBUSB_ERROR_NO_DEVICE:
        case LIBUSB_ERROR_NOT_FOUND:
            return kErrorDeviceNotConnected;
        case LIBUSB_ERROR_TIMEOUT:
            return kErrorSemTimeout;
        case LIBUSB_ERROR_INVALID_PARAM:
            return kErrorInvalidParameter;
        case LIBUSB_ERROR_NOT_SUPPORTED:
            return kErrorNotSupported;
        default:
            return kErrorGenFailure;
    }
}

uint32_t mapStatus(libusb_transfer_status status) {
    switch (status) {
        case LIBUSB_TRANSFER_COMPLETED:
            return kErrorSuccess;
        case LIBUSB_TRANSFER_CANCELLED:
            return kErrorOperationAborted;
        case LIBUSB_TRANSFER_NO_DEVICE:
            return kErrorDeviceNotConnected;
        case LIBUSB_TRANSFER_TIMED_OUT:
            return kErrorSemTimeout;
        default:
            return kErrorGenFailure;
    }
}

std::string locationOf(libusb_device* dev) {
    uint8_t ports[8];
    const int n = libusb_get_port_numbers(dev, ports, sizeof ports);
    char text[64];
    int at = std::snprintf(text, sizeof text, "b%03u-p", libusb_get_bus_number(dev));
    for (int i = 0; i < n && at < static_cast<int>(sizeof text) - 4; ++i)
        at += std::snprintf(text + at, sizeof text - static_cast<size_t>(at), i ? ".%u" : "%u",
                            ports[i]);
    if (n <= 0)
        std::snprintf(text + at, sizeof text - static_cast<size_t>(at), "d%03u",
                      libusb_get_device_address(dev));
    return text;
}

// The libusb context and the thread that runs its events (transfer completions, hot-plug).
class Context {
  public:
    static std::shared_ptr<Context> create(std::vector<uint16_t> productIds) {
        libusb_context* ctx = nullptr;
        if (libusb_init(&ctx) != LIBUSB_SUCCESS) return nullptr;
        return std::shared_ptr<Context>(new Context(ctx, std::move(productIds)));
    }
    ~Context() {
        if (hotplugRegistered_) libusb_hotplug_deregister_callback(ctx_, hotplug_);
        stop_.store(true);
        libusb_interrupt_event_handler(ctx_);
        if (events_.joinable()) events_.join();
        libusb_exit(ctx_);
    }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    libusb_context* get() const { return ctx_; }

    bool matches(uint16_t vendorId, uint16_t productId) const {
        return std::find(vendors_.begin(), vendors_.end(), vendorId) != vendors_.end() &&
               std::find(products_.begin(), products_.end(), productId) != products_.end();
    }

    // Reports an inaccessible node once per node.
    void reportAccess(const std::string& node) {
        platform::LockGuard lock(mutex_);
        if (!reported_.insert(node).second) return;
        std::fprintf(stderr,
                     "OrvaneSdk: cannot open camera device node %s: permission denied. Install "
                     "the udev rule 60-orvane-camera.rules ('sudo scripts/orvane install-udev' "
                     "from the source tree; the library's Debian package installs it), then "
                     "re-plug the camera.\n",
                     node.c_str());
    }

  private:
    Context(libusb_context* ctx, std::vector<uint16_t> productIds)
        : ctx_(ctx), vendors_(allowedVendorIds()), products_(std::move(productIds)) {
        if (libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG)) {
            hotplugRegistered_ =
                libusb_hotplug_register_callback(
                    ctx_,
                    static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                                      LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
                    static_cast<libusb_hotplug_flag>(0), LIBUSB_HOTPLUG_MATCH_ANY,
                    LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY, &Context::onHotplug, this,
                    &hotplug_) == LIBUSB_SUCCESS;
        }
        events_ = std::thread([this] {
            while (!stop_.load()) {
                timeval tv{0, kEventPollMs * 1000};
                libusb_handle_events_timeout_completed(ctx_, &tv, nullptr);
            }
        });
    }

    static int LIBUSB_CALL onHotplug(libusb_context*, libusb_device* dev,
                                     libusb_hotplug_event event, void* self) {
        libusb_device_descriptor d{};
        if (libusb_get_device_descriptor(dev, &d) != LIBUSB_SUCCESS) return 0;
        if (!static_cast<Context*>(self)->matches(d.idVendor, d.idProduct)) return 0;
        broadcastDeviceChange(event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED
                                  ? platform::kDbtDeviceArrival
                                  : platform::kDbtDeviceRemoveComplete);
        return 0;  // stay registered
    }

    libusb_context* const ctx_;
    const std::vector<uint16_t> vendors_;
    const std::vector<uint16_t> products_;
    std::atomic<bool> stop_{false};
    bool hotplugRegistered_ = false;  // set in the constructor only
    libusb_hotplug_callback_handle hotplug_{};
    std::thread events_;  // joined in the destructor
    platform::Mutex mutex_;
    std::set<std::string> reported_ ORVANE_GUARDED_BY(mutex_);
};

// One opened device with interface 0 claimed, shared by every handle on its path.
class OpenDevice {
  public:
    OpenDevice(std::shared_ptr<Context> context, libusb_device_handle* handle)
        : context_(std::move(context)), handle_(handle) {}
    ~OpenDevice() {
        // Pending transfers point into callers' buffers: end them before closing.
        cancelAll(-1);
        {
            platform::LockGuard lock(mutex_);
            mutex_.wait(idle_, [this]() ORVANE_REQUIRES(mutex_) { return pending_.empty(); });
        }
        libusb_release_interface(handle_, kInterface);
        libusb_close(handle_);
    }
    OpenDevice(const OpenDevice&) = delete;
    OpenDevice& operator=(const OpenDevice&) = delete;

    libusb_device_handle* get() const { return handle_; }

    // Submits a bulk-in read; the completion fires from the event thread.
    uint32_t submit(uint8_t endpoint, uint8_t* buffer, uint32_t length, uint32_t extra,
                    TransferHeader* statusHeader, std::shared_ptr<IoCompletion> io) {
        libusb_transfer* xfer = libusb_alloc_transfer(0);
        if (xfer == nullptr) return kErrorGenFailure;
        auto state = std::make_unique<Inflight>(Inflight{this, std::move(io), statusHeader, extra});
        libusb_fill_bulk_transfer(xfer, handle_, endpoint, buffer, static_cast<int>(length),
                                  &OpenDevice::onDone, state.get(), 0);
        platform::LockGuard lock(mutex_);
        const int rc = libusb_submit_transfer(xfer);
        if (rc != LIBUSB_SUCCESS) {
            libusb_free_transfer(xfer);
            return mapError(rc);
        }
        state.release();  // owned by the transfer until onDone
        pending_.insert(xfer);
        return kErrorIoPending;
    }

    void cancelAll(int endpoint) {
        platform::LockGuard lock(mutex_);
        for (libusb_transfer* x : pending_)
            if (endpoint < 0 || x->endpoint == endpoint) libusb_cancel_transfer(x);
    }

  private:
    struct Inflight {
        OpenDevice* device;
        std::shared_ptr<IoCompletion> io;
        TransferHeader* statusHeader;
        uint32_t extra;
    };

    static void LIBUSB_CALL onDone(libusb_transfer* xfer) {
        std::unique_ptr<Inflight> state(static_cast<Inflight*>(xfer->user_data));
        const uint32_t error = mapStatus(xfer->status);
        markTransferFailed(state->statusHeader, error);
        const uint32_t bytes =
            error == kErrorSuccess ? static_cast<uint32_t>(xfer->actual_length) + state->extra : 0;
        OpenDevice* device = state->device;
        {
            // Notify under the lock: the destructor may run as soon as pending_ is empty, and
            // `device` must not be touched after that.
            platform::LockGuard lock(device->mutex_);
            device->pending_.erase(xfer);
            device->idle_.notify_all();
        }
        libusb_free_transfer(xfer);
        state->io->complete(error, bytes);
    }

    std::shared_ptr<Context> context_;
    libusb_device_handle* const handle_;
    platform::Mutex mutex_;
    std::condition_variable idle_;  // pending_ became smaller (mutex_)
    std::set<libusb_transfer*> pending_ ORVANE_GUARDED_BY(mutex_);
};

class LibusbHandle final : public DriverSideHandle {
  public:
    LibusbHandle(std::shared_ptr<OpenDevice> device, bool overlapped)
        : DriverSideHandle(overlapped), device_(std::move(device)) {}

  private:
    DriverReply control(const DriverRequest& r) override {
        const int rc = libusb_control_transfer(device_->get(), r.setup.requestType, r.setup.request,
                                               r.setup.value, r.setup.index, r.data,
                                               static_cast<uint16_t>(r.length), r.setup.timeoutMs);
        DriverReply answer = finishControl(r, rc < 0 ? -1 : rc);
        if (rc < 0) answer.error = mapError(rc);
        return answer;
    }
    uint32_t abortPipe(uint8_t endpoint) override {
        device_->cancelAll(endpoint);
        return kErrorSuccess;
    }
    uint32_t resetPipe(uint8_t endpoint) override {
        return mapError(libusb_clear_halt(device_->get(), endpoint));
    }
    uint32_t resetPort() override { return mapError(libusb_reset_device(device_->get())); }
    uint32_t speedCode() override {
        const int speed = libusb_get_device_speed(libusb_get_device(device_->get()));
        return speed >= LIBUSB_SPEED_SUPER ? kSpeedSuper : static_cast<uint32_t>(speed);
    }

    uint32_t bulk(const DriverRequest& r, const ReplyChannel& reply, uint32_t* returned) override {
        const std::shared_ptr<IoCompletion>& ov = reply.overlapped();
        std::shared_ptr<IoCompletion> io = ov ? ov : std::make_shared<IoCompletion>();
        const uint32_t error =
            device_->submit(r.endpoint, r.data, r.length, r.replyExtra, r.statusHeader, io);
        if (error != kErrorIoPending) {
            io->complete(error, 0);
            return error;
        }
        return awaitPending(reply, *io, returned);
    }

    std::shared_ptr<OpenDevice> device_;
};

class LibusbBackend final : public DriverBackend {
  public:
    explicit LibusbBackend(std::shared_ptr<Context> context) : context_(std::move(context)) {}

    const char* name() const override { return "libusb"; }

    std::vector<std::string> listDevicePaths(const InterfaceGuid& guid) override {
        std::vector<std::string> paths;
        if (!(guid == kCameraInterfaceGuid)) return paths;
        forEachDevice([&](libusb_device*, const std::string& path) {
            paths.push_back(path);
            return false;
        });
        return paths;
    }

    std::unique_ptr<DeviceHandle> open(const std::string& path, bool overlapped,
                                       uint32_t* error) override {
        uint32_t dummy = 0;
        if (error == nullptr) error = &dummy;
        platform::LockGuard lock(mutex_);
        if (auto shared = open_[path].lock())
            return std::make_unique<LibusbHandle>(shared, overlapped);
        *error = kErrorFileNotFound;
        std::shared_ptr<OpenDevice> device;
        forEachDevice([&](libusb_device* dev, const std::string& candidate) {
            if (candidate != path) return false;
            libusb_device_handle* handle = nullptr;
            const int rc = libusb_open(dev, &handle);
            if (rc == LIBUSB_ERROR_ACCESS) {
                char node[64];
                std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u",
                              libusb_get_bus_number(dev), libusb_get_device_address(dev));
                context_->reportAccess(node);
            }
            if (rc != LIBUSB_SUCCESS) {
                *error = mapError(rc);
                return true;
            }
            libusb_set_auto_detach_kernel_driver(handle, 1);
            const int claim = libusb_claim_interface(handle, kInterface);
            if (claim != LIBUSB_SUCCESS) {
                ORVANE_LOG(LogLevel::Warn, "cannot claim interface 0 of %s: %s", path.c_str(),
                           libusb_error_name(claim));
                libusb_close(handle);
                *error = mapError(claim);
                return true;
            }
            device = std::make_shared<OpenDevice>(context_, handle);
            return true;
        });
        if (!device) return nullptr;
        open_[path] = device;
        *error = kErrorSuccess;
        return std::make_unique<LibusbHandle>(device, overlapped);
    }

  private:
    // Calls fn(device, path) for each family device until it returns true.
    template <typename Fn>
    void forEachDevice(Fn&& fn) {
        libusb_device** list = nullptr;
        const ssize_t n = libusb_get_device_list(context_->get(), &list);
        if (n < 0) return;
        for (ssize_t i = 0; i < n; ++i) {
            libusb_device_descriptor d{};
            if (libusb_get_device_descriptor(list[i], &d) != LIBUSB_SUCCESS) continue;
            if (!context_->matches(d.idVendor, d.idProduct)) continue;
            const std::string path =
                makeDevicePath(d.idVendor, d.idProduct, locationOf(list[i]), kCameraInterfaceGuid);
            if (fn(list[i], path)) break;
        }
        libusb_free_device_list(list, 1);
    }

    std::shared_ptr<Context> context_;
    platform::Mutex mutex_;
    std::map<std::string, std::weak_ptr<OpenDevice>> open_ ORVANE_GUARDED_BY(mutex_);
};

}  // namespace

std::vector<uint16_t> allowedVendorIds() {
    std::vector<uint16_t> ids{kDefaultVendorId};
    const char* extra = std::getenv("ORVANE_USB_VENDOR_IDS");
    if (extra == nullptr) return ids;
    std::string text(extra);
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = text.find(',', start);
        const std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        char* end = nullptr;
        const unsigned long v = std::strtoul(item.c_str(), &end, 16);
        if (!item.empty() && end != item.c_str() && v <= 0xFFFF)
            ids.push_back(static_cast<uint16_t>(v));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return ids;
}

std::shared_ptr<DriverBackend> createLibusbBackend(const std::vector<uint16_t>& productIds) {
    auto context = Context::create(productIds);
    if (!context) return nullptr;
    return std::make_shared<LibusbBackend>(std::move(context));
}

void registerLibusbBackend(const std::vector<uint16_t>& productIds) {
    static std::once_flag once;
    std::call_once(once, [&productIds] {
        registerBackendFactory("libusb", 10,
                               [ids = productIds] { return createLibusbBackend(ids); });
    });
}

}  // namespace orvane::platform::usb

#endif  // ORVANE_HAVE_LIBUSB
