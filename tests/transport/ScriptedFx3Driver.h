// A scripted FX3 kernel driver behind the FX3 backend's system seam: device interfaces that
// enumerate (or fail to), paths that open (or not), and a small camera answering the I/O
// control requests: an FPGA register file on bus 0x40/0x41, frame requests, and bulk reads
// served from a queue of bytes. Faults on request: stalls, reads that never complete, a
// driver that ignores aborts or cancellation, unplugging while requests pend.
//
// Reads pend and are completed from the driver's own thread, as a real driver does.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/usb/DriverRequest.h"
#include "platform/usb/Fx3DeviceIo.h"

namespace orvane::test {

namespace usb = platform::usb;

inline std::string scriptedPath(uint16_t productId, const std::string& serial) {
    return usb::makeDevicePath(0x04B4, productId, serial, usb::kCameraInterfaceGuid);
}

class ScriptedFx3Driver : public usb::Fx3DeviceIo,
                          public std::enable_shared_from_this<ScriptedFx3Driver> {
  public:
    struct Call {
        std::string path;
        uint32_t code = 0;
        uint64_t id = 0;
        std::vector<uint8_t> in;
        uint32_t outLength = 0;
        bool pended = false;
    };

    // Script (set before use).
    std::vector<std::string> members;  // interface member paths; "" fails to enumerate
    std::set<std::string> unopenable;  // paths whose open fails (access denied)
    bool stallControl = false;         // control transfers stall
    bool holdControl = false;          // control transfers never complete by themselves
    bool holdReads = false;            // bulk reads never complete by themselves
    bool stallReads = false;           // bulk reads end with a stall
    bool ignoreAborts = false;         // abort pipe succeeds but ends nothing
    uint32_t speed = usb::kSpeedSuper;

    ~ScriptedFx3Driver() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        if (worker_.joinable()) worker_.join();
    }

    // Bytes the next bulk reads return, in order (each read takes up to its length).
    void queueBulk(const std::vector<uint8_t>& bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        bulk_.insert(bulk_.end(), bytes.begin(), bytes.end());
    }
    uint8_t fpga(uint8_t reg) {
        std::lock_guard<std::mutex> lock(mutex_);
        return fpga_[reg];
    }
    std::vector<Call> calls() {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    std::vector<Call> callsOf(uint32_t code) {
        std::vector<Call> out;
        for (const Call& c : calls())
            if (c.code == code) out.push_back(c);
        return out;
    }
    std::vector<uint64_t> cancelled() {
        std::lock_guard<std::mutex> lock(mutex_);
        return cancelled_;
    }
    size_t pendingCount() {
        std::lock_guard<std::mutex> lock(mutex_);
        return pending_.size();
    }
    int openCount() {
        std::lock_guard<std::mutex> lock(mutex_);
        return opens_;
    }
    // Waits (bounded) until `n` requests pend; false if they never did.
    bool waitPending(size_t n) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10),
                                 [&] { return pending_.size() >= n; });
    }
    // The device goes: what pends ends with "device not connected", the paths stop opening.
    void unplug() {
        std::vector<Pending> ended;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            plugged_ = false;
            for (auto& [id, p] : pending_) ended.push_back(take(p));
            pending_.clear();
        }
        for (Pending& p : ended) deliver(p, usb::kErrorDeviceNotConnected, 0);
    }

    // Fx3DeviceIo
    std::vector<std::string> interfacePaths(const usb::InterfaceGuid& guid,
                                            int maxMembers) override {
        std::lock_guard<std::mutex> lock(mutex_);
        askedGuid = guid;
        askedMembers = maxMembers;
        std::vector<std::string> out;
        if (!plugged_) return out;
        for (int i = 0; i < maxMembers && i < static_cast<int>(members.size()); ++i)
            if (!members[static_cast<size_t>(i)].empty())
                out.push_back(members[static_cast<size_t>(i)]);
        return out;
    }
    std::unique_ptr<usb::Fx3DeviceFile> open(const std::string& path, uint32_t* error) override {
        std::lock_guard<std::mutex> lock(mutex_);
        const bool known = std::find(members.begin(), members.end(), path) != members.end();
        if (!plugged_ || !known) {
            *error = usb::kErrorFileNotFound;
            return nullptr;
        }
        if (unopenable.count(path) != 0) {
            *error = usb::kErrorAccessDenied;
            return nullptr;
        }
        ++opens_;
        return std::make_unique<File>(shared_from_this(), path);
    }

    usb::InterfaceGuid askedGuid{};
    int askedMembers = 0;

  private:
    struct Pending {
        uint64_t file = 0;
        usb::DriverRequest request;
        usb::Fx3IoDone done;
        bool held = false;  // ends only by cancellation, abort or unplug
    };

    class File final : public usb::Fx3DeviceFile {
      public:
        File(std::shared_ptr<ScriptedFx3Driver> driver, std::string path)
            : driver_(std::move(driver)), path_(std::move(path)), key_(nextKey()) {}
        ~File() override { driver_->endAll(key_, usb::kErrorOperationAborted); }
        uint32_t ioControl(uint32_t code, void* in, uint32_t inLength, void* out,
                           uint32_t outLength, uint32_t* bytes, uint64_t id,
                           usb::Fx3IoDone done) override {
            return driver_->request(key_, path_, code, in, inLength, out, outLength, bytes, id,
                                    std::move(done));
        }
        void cancel(uint64_t id) override { driver_->cancel(key_, id); }

      private:
        static uint64_t nextKey() {
            static std::atomic<uint64_t> key{0};
            return ++key;
        }
        std::shared_ptr<ScriptedFx3Driver> driver_;
        std::string path_;
        uint64_t key_;
    };

    static uint64_t pendingKey(uint64_t file, uint64_t id) { return file << 32 | id; }

    uint32_t request(uint64_t file, const std::string& path, uint32_t code, void* in,
                     uint32_t inLength, void* out, uint32_t outLength, uint32_t* bytes, uint64_t id,
                     usb::Fx3IoDone done) {
        *bytes = 0;
        const usb::DriverRequest r = usb::decodeDriverRequest(code, in, inLength, out, outLength);
        std::unique_lock<std::mutex> lock(mutex_);
        Call call{path, code, id, {}, outLength, false};
        if (in != nullptr)
            call.in.assign(static_cast<uint8_t*>(in), static_cast<uint8_t*>(in) + inLength);
        if (!plugged_) {
            calls_.push_back(call);
            return usb::kErrorDeviceNotConnected;
        }
        EXPECT_TRUE(r.valid()) << "the backend passed on a malformed request " << std::hex << code;
        if (!r.valid()) return usb::kErrorInvalidParameter;
        const bool pend = r.kind == usb::DriverRequestKind::BulkRead ||
                          (r.kind == usb::DriverRequestKind::Control && holdControl);
        if (pend) {
            call.pended = true;
            calls_.push_back(call);
            const bool held = r.kind == usb::DriverRequestKind::BulkRead ? holdReads : true;
            pending_[pendingKey(file, id)] = Pending{file, r, std::move(done), held};
            if (!held) startWorker();
            changed_.notify_all();
            wake_.notify_all();
            return usb::kErrorIoPending;
        }
        calls_.push_back(call);
        switch (r.kind) {
            case usb::DriverRequestKind::Control: {
                const usb::DriverReply reply = usb::finishControl(r, control(r));
                *bytes = reply.bytes;
                return reply.error;
            }
            case usb::DriverRequestKind::AbortPipe: {
                if (ignoreAborts) return usb::kErrorSuccess;
                std::vector<Pending> ended = takeReads(file, r.endpoint);
                lock.unlock();
                for (Pending& p : ended) deliver(p, usb::kErrorOperationAborted, 0);
                return usb::kErrorSuccess;
            }
            case usb::DriverRequestKind::GetSpeed:
                std::memcpy(r.speedOut, &speed, 4);
                *bytes = 4;
                return usb::kErrorSuccess;
            default:
                return usb::kErrorSuccess;
        }
    }

    // The camera's answer to a control request (lock held): <0 stalls.
    int control(const usb::DriverRequest& r) {
        if (stallControl) return -1;
        const uint8_t type = r.setup.requestType;
        const uint8_t req = r.setup.request;
        if (type == 0x40 && req == 0x30 && r.setup.index == 0x40) {
            // FPGA port: (register, 0, value) writes; (register) selects for the next read.
            if (r.setup.value >= 1) selected_ = r.data[0];
            if (r.setup.value >= 3) fpga_[r.data[0]] = r.data[2];
            return 0;
        }
        if (type == 0xC0 && req == 0x31 && r.setup.index == 0x41) {
            const uint32_t n = std::min<uint32_t>(r.setup.value, r.length);
            std::memset(r.data, 0, n);
            if (n >= 2) r.data[1] = fpga_[selected_];
            return static_cast<int>(n);
        }
        return (type & 0x80) != 0 ? static_cast<int>(r.length) : 0;
    }

    void cancel(uint64_t file, uint64_t id) {
        Pending p;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            cancelled_.push_back(id);
            auto it = pending_.find(pendingKey(file, id));
            if (it == pending_.end()) return;
            p = take(it->second);
            pending_.erase(it);
        }
        deliver(p, usb::kErrorOperationAborted, 0);
    }

    // Ends what pends on `file` and returns once no completion of it is running any more.
    void endAll(uint64_t file, uint32_t error) {
        std::vector<Pending> ended;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (auto it = pending_.begin(); it != pending_.end();) {
                if (it->second.file == file) {
                    ended.push_back(take(it->second));
                    it = pending_.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (Pending& p : ended) deliver(p, error, 0);
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return running_[file] == 0; });
    }

    std::vector<Pending> takeReads(uint64_t file, uint8_t endpoint) {
        std::vector<Pending> out;
        for (auto it = pending_.begin(); it != pending_.end();) {
            const usb::DriverRequest& r = it->second.request;
            if (it->second.file == file && r.kind == usb::DriverRequestKind::BulkRead &&
                r.endpoint == endpoint) {
                out.push_back(take(it->second));
                it = pending_.erase(it);
            } else {
                ++it;
            }
        }
        return out;
    }

    // Takes a request out of pending_ for delivery (lock held): its file now waits for it.
    Pending take(Pending& p) {
        ++running_[p.file];
        return std::move(p);
    }
    // Delivers a taken request's end (lock not held).
    void deliver(Pending& p, uint32_t error, uint32_t bytes) {
        p.done(error, bytes);
        std::lock_guard<std::mutex> lock(mutex_);
        --running_[p.file];
        changed_.notify_all();
    }

    // Serves the reads that are not held, one at a time, from the byte queue.
    void startWorker() {
        if (worker_.joinable()) return;
        worker_ = std::thread([this] {
            std::unique_lock<std::mutex> lock(mutex_);
            while (!stop_) {
                auto it = std::find_if(pending_.begin(), pending_.end(),
                                       [](const auto& e) { return !e.second.held; });
                if (it == pending_.end()) {
                    wake_.wait(lock);
                    continue;
                }
                Pending p = take(it->second);
                pending_.erase(it);
                uint32_t error = usb::kErrorSuccess;
                uint32_t n = 0;
                if (stallReads) {
                    // The driver reports the stall in the header and fails the request.
                    usb::markTransferFailed(p.request.statusHeader, usb::kErrorGenFailure);
                    error = usb::kErrorGenFailure;
                } else {
                    n = std::min<uint32_t>(p.request.length, static_cast<uint32_t>(bulk_.size()));
                    std::copy_n(bulk_.begin(), n, p.request.data);
                    bulk_.erase(bulk_.begin(), bulk_.begin() + n);
                    n = usb::bulkReplyBytes(p.request, n);
                }
                lock.unlock();
                deliver(p, error, n);
                lock.lock();
            }
        });
    }

    std::mutex mutex_;
    std::condition_variable changed_;  // pending_ grew, or a delivery ended
    std::condition_variable wake_;     // work for the worker, or stop_
    bool stop_ = false;
    bool plugged_ = true;
    int opens_ = 0;
    uint8_t fpga_[256] = {};
    uint8_t selected_ = 0;
    std::deque<uint8_t> bulk_;
    std::vector<Call> calls_;
    std::vector<uint64_t> cancelled_;
    std::map<uint64_t, Pending> pending_;
    std::map<uint64_t, int> running_;  // deliveries under way, by file
    std::thread worker_;
};

}  // namespace orvane::test
