#include "platform/usb/DriverPort.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace orvane::platform::usb {

std::string InterfaceGuid::toString() const {
    char text[40];
    std::snprintf(text, sizeof text, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                  static_cast<unsigned>(data1), data2, data3, data4[0], data4[1], data4[2],
                  data4[3], data4[4], data4[5], data4[6], data4[7]);
    return text;
}

std::string makeDevicePath(uint16_t vendorId, uint16_t productId, const std::string& serial,
                           const InterfaceGuid& guid) {
    char head[32];
    std::snprintf(head, sizeof head, "\\\\?\\usb#vid_%04x&pid_%04x#", vendorId, productId);
    return std::string(head) + serial + "#{" + guid.toString() + "}";
}

void IoCompletion::complete(uint32_t error, uint32_t bytes) {
    // Notified under the lock: a waiter may destroy or reuse the completion as soon as it
    // sees done_, and backends may hold only a plain pointer to it.
    platform::LockGuard lock(mutex_);
    if (done_) return;
    done_ = true;
    error_ = error;
    bytes_ = bytes;
    cv_.notify_all();
}

void IoCompletion::reset() {
    platform::LockGuard lock(mutex_);
    done_ = false;
    error_ = 0;
    bytes_ = 0;
}

bool IoCompletion::wait(uint32_t timeoutMs) {
    platform::LockGuard lock(mutex_);
    auto done = [this]() ORVANE_REQUIRES(mutex_) { return done_; };
    if (timeoutMs == kInfiniteWait) {
        mutex_.wait(cv_, done);
        return true;
    }
    return mutex_.waitFor(cv_, std::chrono::milliseconds(timeoutMs), done);
}

bool IoCompletion::isComplete() const {
    platform::LockGuard lock(mutex_);
    return done_;
}

uint32_t IoCompletion::error() const {
    platform::LockGuard lock(mutex_);
    return error_;
}

uint32_t IoCompletion::bytes() const {
    platform::LockGuard lock(mutex_);
    return bytes_;
}

namespace {

// Used when no factory applies: a machine without cameras.
class EmptyBackend final : public DriverBackend {
  public:
    const char* name() const override { return "none"; }
    std::vector<std::string> listDevicePaths(const InterfaceGuid&) override { return {}; }
    std::unique_ptr<DeviceHandle> open(const std::string&, bool, uint32_t* error) override {
        if (error != nullptr) *error = kErrorFileNotFound;
        return nullptr;
    }
};

struct Registration {
    std::string name;
    int priority;
    BackendFactory factory;
};

struct Selection {
    platform::Mutex mutex;
    std::vector<Registration> factories ORVANE_GUARDED_BY(mutex);
    std::vector<std::shared_ptr<DriverBackend>> overrides ORVANE_GUARDED_BY(mutex);
    std::weak_ptr<DriverBackend> chosen ORVANE_GUARDED_BY(mutex);
};

Selection& selection() {
    static Selection s;
    return s;
}

}  // namespace

void registerBackendFactory(const std::string& name, int priority, BackendFactory factory) {
    Selection& s = selection();
    platform::LockGuard lock(s.mutex);
    auto it = std::find_if(s.factories.begin(), s.factories.end(),
                           [&](const Registration& r) { return r.name == name; });
    if (it != s.factories.end()) s.factories.erase(it);
    s.factories.push_back({name, priority, std::move(factory)});
    std::stable_sort(
        s.factories.begin(), s.factories.end(),
        [](const Registration& a, const Registration& b) { return a.priority > b.priority; });
}

std::shared_ptr<DriverBackend> activeBackend() {
    Selection& s = selection();
    platform::LockGuard lock(s.mutex);
    if (!s.overrides.empty()) return s.overrides.back();
    if (auto current = s.chosen.lock()) return current;
    std::shared_ptr<DriverBackend> backend;
    for (const Registration& r : s.factories) {
        backend = r.factory();
        if (backend) break;
    }
    if (!backend) backend = std::make_shared<EmptyBackend>();
    s.chosen = backend;
    return backend;
}

ScopedBackendOverride::ScopedBackendOverride(std::shared_ptr<DriverBackend> backend)
    : backend_(std::move(backend)) {
    Selection& s = selection();
    platform::LockGuard lock(s.mutex);
    s.overrides.push_back(backend_);
}

ScopedBackendOverride::~ScopedBackendOverride() {
    Selection& s = selection();
    platform::LockGuard lock(s.mutex);
    auto it = std::find(s.overrides.rbegin(), s.overrides.rend(), backend_);
    if (it != s.overrides.rend()) s.overrides.erase(std::next(it).base());
}

}  // namespace orvane::platform::usb
