#include "sim/VirtualCamera.h"

#include <algorithm>
#include <cstring>

#include "platform/usb/DriverPort.h"
#include "transport/Fx3Protocol.h"
#include "transport/Imx178.h"

namespace orvane::sim {

using namespace transport;          // protocol constants
using namespace transport::imx178;  // the sensor the camera answers for
using platform::usb::kErrorDeviceNotConnected;
using platform::usb::kErrorGenFailure;
using platform::usb::kErrorIoPending;
using platform::usb::kErrorOperationAborted;
using Clock = std::chrono::steady_clock;

namespace {

constexpr size_t kLogLimit = 100000;
constexpr uint16_t kWholeFrameProduct = 0x3042;
// Line time of the sensor in microseconds: one line's clocks at the sensor clock.
constexpr double kLineTimeUs = kLineLengthClocks * 1000.0 / kClockKHz;
constexpr uint16_t kFirmwareLevel = 0x1100;

void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

bool LoggedRequest::isBusWrite(uint8_t busAddress, std::initializer_list<uint8_t> prefix) const {
    if (kind != Kind::Control || request != kReqBusWrite || index != busAddress) return false;
    if (value < prefix.size()) return false;
    size_t i = 0;
    for (uint8_t b : prefix)
        if (data[i++] != b) return false;
    return true;
}

VirtualCamera::VirtualCamera(const CameraOptions& options)
    : options_(options),
      sensor_(65536, 0),
      eeprom_(4096, 0xFF),
      regs32_(65536, 0),
      pace_(options.pace),
      failAfter_(options.failAfter),
      dropEvery_(options.dropEvery),
      unplugAfter_(options.unplugAfter),
      faults_(options.faults),
      renderer_(SceneSettings{options.scene, options.flatValue, options.siteR, options.siteG,
                              options.siteB},
                &defects_) {
    // Defects at fixed pseudo-random sites (a small LCG, so every run places them alike).
    uint32_t seed = 0x2545F491u;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    auto taken = [this](uint16_t x, uint16_t y) {
        return std::any_of(defects_.begin(), defects_.end(),
                           [&](const DefectPixel& d) { return d.x == x && d.y == y; });
    };
    for (uint32_t i = 0; i < options.hotPixels + options.deadPixels; ++i) {
        uint16_t x, y;
        do {
            x = static_cast<uint16_t>(next() % kArrayWidth);
            y = static_cast<uint16_t>(next() % kArrayHeight);
        } while (taken(x, y));
        defects_.push_back({x, y, i < options.hotPixels});
    }
    // Power-up state: full window, no mirroring, default gain and exposure, 8-bit transfer.
    sensor_[kRegReadoutControl] = kMirrorVBit | kMirrorHBit;
    sensor_[kRegGainLow] = 100;
    put16(&sensor_[kRegFrameLength0], 2141);
    sensor_[kRegWindowWidth0] = 0x00;
    sensor_[kRegWindowWidth0 + 1] = 0x0C;
    sensor_[kRegWindowHeight0] = 0x00;
    sensor_[kRegWindowHeight0 + 1] = 0x08;
    fpga_[kFpgaWordLow] = 0x05;
    fpga_[kFpgaWordHigh] = 0x13;
    fpga_[kFpgaTransferWidth] = 1;
    std::memcpy(infoBlock_, "ORVANE VIRTUAL", 14);
    put16(infoBlock_ + 16, options.vendorId);
    put16(infoBlock_ + 18, options.productId);
    put16(infoBlock_ + 24, kFirmwareLevel);
    std::memcpy(infoBlock2_, options.serial.data(), std::min<size_t>(options.serial.size(), 63));
}

VirtualCamera::~VirtualCamera() {
    std::vector<std::function<void()>> after;
    {
        platform::LockGuard lock(mutex_);
        failPendingLocked(kErrorOperationAborted, -1, &after);
    }
    for (auto& f : after) f();
    // worker_ stops and joins first among the members.
}

void VirtualCamera::log(const LoggedRequest& r) {
    if (!logging_) return;
    if (log_.size() >= kLogLimit) log_.pop_front();
    log_.push_back(r);
}

// ---- control transfers ----------------------------------------------------------------------

int VirtualCamera::control(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                           uint8_t* data, uint32_t length) {
    platform::LockGuard lock(mutex_);
    const bool in = (requestType & 0x80) != 0;
    LoggedRequest r;
    r.kind = LoggedRequest::Kind::Control;
    r.requestType = requestType;
    r.request = request;
    r.value = value;
    r.index = index;
    if (!in && data != nullptr) std::memcpy(r.data, data, std::min<uint32_t>(length, 64));
    log(r);
    if (!plugged_.load() || failControl_) return -1;
    uint8_t reply[64] = {};
    int replyBytes = 0;
    switch (request) {
        case kReqBusWrite:
            if (in || value > kMaxBusBytes || value > length) return -1;
            if (!busWrite(static_cast<uint8_t>(index), data, value)) return -1;
            break;
        case kReqBusRead:
            if (!in || value > kMaxBusBytes) return -1;
            replyBytes = busRead(static_cast<uint8_t>(index), reply, value);
            if (replyBytes < 0) return -1;
            break;
        case kReqWriteRegister32: {
            if (in || length < 4) return -1;
            const uint16_t address = static_cast<uint16_t>((index & 0x7FFF) | (value & 1) << 15);
            regs32_[address] = static_cast<uint32_t>(data[0] | data[1] << 8 | data[2] << 16 |
                                                     static_cast<uint32_t>(data[3]) << 24);
            break;
        }
        case kReqReadRegister16:
            if (!in) return -1;
            put16(reply, regs32_[index]);
            replyBytes = 64;
            break;
        case kReqWriteWordPair:
            if (in || length < 4) return -1;
            words_[data[1]] = static_cast<uint16_t>(data[2] << 8 | data[3]);
            break;
        case kReqReadWord:
            if (!in) return -1;
            put16(reply, words_[value & 0xFF]);
            replyBytes = 2;
            break;
        case kReqWriteStreamMode:
            if (in || length < 1) return -1;
            streamMode_ = data[0];
            break;
        case kReqReadStreamMode:
            if (!in) return -1;
            reply[0] = streamMode_;
            replyBytes = 1;
            break;
        case kReqStreamReset:
            stream_.armed = false;
            break;
        case kReqFrameRequest:
            armFrame();
            break;
        case kReqEndpointCommand:
            break;
        case kReqReadyStatus:
            if (!in) return -1;
            reply[0] = 1;
            replyBytes = 64;
            break;
        case kReqInfoBlock:
        case kReqInfoBlock2:
            if (!in) return -1;
            std::memcpy(reply, request == kReqInfoBlock ? infoBlock_ : infoBlock2_, 64);
            replyBytes = 64;
            break;
        default:
            return -1;
    }
    wakeWorkerLocked();
    if (!in) return 0;
    faults_.shapeReply(reply, &replyBytes);
    replyBytes = std::min<int>(replyBytes, static_cast<int>(length));
    if (replyLimit_ >= 0) replyBytes = std::min(replyBytes, replyLimit_);
    if (data != nullptr && replyBytes > 0)
        std::memcpy(data, reply, static_cast<size_t>(replyBytes));
    return replyBytes;
}

void VirtualCamera::writeFpga(uint8_t reg, uint8_t value) {
    fpga_[reg] = value;
    // Raising the stream-reset bit drops the frame in flight.
    if (reg == kFpgaStreamReset && value != 0) stream_.armed = false;
}

bool VirtualCamera::busWrite(uint8_t address, const uint8_t* d, uint32_t n) {
    switch (address) {
        case kBusFpga:  // (register, 0, value), or (register) to address a read
            if (n >= 3)
                writeFpga(d[0], d[2]);
            else if (n >= 1)
                fpgaPointer_ = d[0];
            return true;
        case kBusSensorImx178: {  // (address high, address low, values...)
            if (n < 2) return false;
            const uint16_t a = static_cast<uint16_t>(d[0] << 8 | d[1]);
            sensorPointer_ = a;
            for (uint32_t k = 2; k < n; ++k) {
                const uint16_t at = static_cast<uint16_t>(a + k - 2);
                sensor_[at] = d[k];
                if (at == kRegTrigger) sensor_[kRegTriggerState] = d[k] & 1;
            }
            return true;
        }
        case kBusAux:  // (register, values...)
            if (n < 1) return false;
            auxPointer_ = d[0];
            for (uint32_t k = 1; k < n; ++k) aux_[static_cast<uint8_t>(d[0] + k - 1)] = d[k];
            return true;
        case kBusEeprom: {  // (address high, address low, values...)
            if (n < 2) return false;
            const uint16_t a = static_cast<uint16_t>((d[0] << 8 | d[1]) & 0x0FFF);
            eepromPointer_ = a;
            for (uint32_t k = 2; k < n; ++k) eeprom_[(a + k - 2) & 0x0FFF] = d[k];
            return true;
        }
        default:
            return false;  // nobody answers at that address
    }
}

int VirtualCamera::busRead(uint8_t address, uint8_t* d, uint32_t n) {
    switch (address) {
        case kBusFpga | 1:
            for (uint32_t k = 0; k < n; ++k) d[k] = k == 1 ? fpga_[fpgaPointer_] : 0;
            return static_cast<int>(n);
        case kBusSensorImx178 | 1:
            for (uint32_t k = 0; k < n; ++k)
                d[k] = sensor_[static_cast<uint16_t>(sensorPointer_ + k)];
            return static_cast<int>(n);
        case kBusAux | 1:
            for (uint32_t k = 0; k < n; ++k) d[k] = aux_[static_cast<uint8_t>(auxPointer_ + k)];
            return static_cast<int>(n);
        case kBusEeprom | 1:
            for (uint32_t k = 0; k < n; ++k) d[k] = eeprom_[(eepromPointer_ + k) & 0x0FFF];
            eepromPointer_ = static_cast<uint16_t>((eepromPointer_ + n) & 0x0FFF);
            return static_cast<int>(n);
        default:
            return -1;
    }
}

// ---- frames ---------------------------------------------------------------------------------

FrameParams VirtualCamera::currentParams() const {
    auto reg24 = [this](uint16_t a) ORVANE_REQUIRES(mutex_) {
        return static_cast<uint32_t>(sensor_[a] | sensor_[a + 1] << 8 | sensor_[a + 2] << 16);
    };
    FrameParams p;
    p.x = sensor_[kRegWindowX0] | (sensor_[kRegWindowX0 + 1] & 0x07) << 8;
    p.width = sensor_[kRegWindowWidth0] | (sensor_[kRegWindowWidth0 + 1] & 0x0F) << 8;
    p.y = sensor_[kRegWindowY0] | (sensor_[kRegWindowY0 + 1] & 0x0F) << 8;
    p.height = sensor_[kRegWindowHeight0] | (sensor_[kRegWindowHeight0 + 1] & 0x1F) << 8;
    // A window the array cannot hold reads out the full array.
    if (p.width <= 0 || p.height <= 0 || p.x + p.width > kArrayWidth ||
        p.y + p.height > kArrayHeight) {
        p.x = p.y = 0;
        p.width = kArrayWidth;
        p.height = kArrayHeight;
    }
    p.mirrorH = (sensor_[kRegReadoutControl] & kMirrorHBit) == 0;
    p.mirrorV = (sensor_[kRegReadoutControl] & kMirrorVBit) == 0;
    const uint32_t frameLength = reg24(kRegFrameLength0);
    const uint32_t shutter = reg24(kRegShutter0);
    p.exposureLines = frameLength > shutter ? frameLength - shutter : 1;
    p.gain = static_cast<uint32_t>(sensor_[kRegGainLow] | (sensor_[kRegGainLow + 1] & 0x01) << 8);
    if (options_.productId == kWholeFrameProduct)
        p.bytesPerSample = streamMode_ == 1 ? 2 : 1;
    else
        p.bytesPerSample = fpga_[kFpgaTransferWidth] == kTransferWidth16 ? 2 : 1;
    return p;
}

void VirtualCamera::armFrame() {
    stream_ = Stream{};
    stream_.armed = true;
    ++framesArmed_;
    FrameParams params = currentParams();
    params.frameIndex = frameCounter_;
    renderer_.prepare(params);
    stream_.params = params;
    stream_.withHeader = options_.productId != kWholeFrameProduct;
    stream_.payloadBytes = payloadOverride_ != 0 ? payloadOverride_ : renderer_.frameBytes();
    uint8_t* h = stream_.header;
    std::memcpy(h, "ORVF", 4);
    put16(h + 4, static_cast<uint32_t>(params.width));
    put16(h + 6, static_cast<uint32_t>(params.height));
    h[8] = params.bytesPerSample == 2 ? 12 : 8;
    put32(h + kFrameHeaderPayloadBytesOffset, static_cast<uint32_t>(stream_.payloadBytes));
    put32(h + kFrameHeaderTagOffset, frameCounter_);
    put32(h + 36, params.exposureLines);
    put16(h + 40, params.gain);
    faults_.shapeHeader(h, framesArmed_ - 1);
    stream_.dropped = stream_.withHeader &&
                      (suppressHeaders_ || (dropEvery_ != 0 && framesArmed_ % dropEvery_ == 0));
    stream_.needsTrigger = fpga_[kFpgaTriggerEnable] == 1;
    const auto now = Clock::now();
    if (pace_ == Pace::Fast) {
        stream_.readyAt = now;
    } else {
        const uint32_t lines = std::max<uint32_t>(
            static_cast<uint32_t>(sensor_[kRegFrameLength0] | sensor_[kRegFrameLength0 + 1] << 8 |
                                  sensor_[kRegFrameLength0 + 2] << 16),
            params.exposureLines);
        const auto period = std::chrono::microseconds(static_cast<int64_t>(lines * kLineTimeUs));
        // The sensor runs freely: the next frame ends one frame time after the last one sent,
        // however often the host asks in between.
        stream_.readyAt = std::max(now, lastReadyAt_ + period);
    }
    ++frameCounter_;
}

void VirtualCamera::finishFrame(std::vector<std::function<void()>>* after) {
    stream_.armed = false;
    ++framesSent_;
    if (unplugAfter_ >= 0 && static_cast<int64_t>(framesSent_) >= unplugAfter_ && plugged_.load()) {
        plugged_.store(false);
        failPendingLocked(kErrorDeviceNotConnected, -1, after);
        if (plugListener_) after->push_back([listener = plugListener_] { listener(false); });
    }
}

VirtualCamera::Serve VirtualCamera::serve(Pending& p, uint32_t* bytes, uint32_t* error,
                                          Clock::time_point* wakeAt) {
    *bytes = 0;
    *error = 0;
    if (!plugged_.load()) {
        *error = kErrorDeviceNotConnected;
        return Serve::Fail;
    }
    bool& halted = p.endpoint == kEndpointWholeFrames ? halted83_ : halted81_;
    if (haltNext_ == p.endpoint) {
        haltNext_ = 0;
        halted = true;
    }
    if (halted) {
        *error = kErrorGenFailure;
        return Serve::Fail;
    }
    const uint8_t streamEndpoint =
        options_.productId == kWholeFrameProduct ? kEndpointWholeFrames : kEndpointFrames;
    if (p.endpoint != streamEndpoint) return Serve::Wait;  // nothing ever comes there
    if (stalled_) return Serve::Wait;
    if (failAfter_ >= 0 && static_cast<int64_t>(framesSent_) >= failAfter_) {
        *error = kErrorGenFailure;
        return Serve::Fail;
    }
    if (!stream_.armed) return Serve::Wait;
    const bool headerDue = stream_.withHeader && stream_.headerSent < kFrameHeaderBytes;
    if (headerDue && stream_.dropped) return Serve::Wait;
    if (stream_.needsTrigger) {
        if (triggersPending_ == 0) return Serve::Wait;
        --triggersPending_;
        stream_.needsTrigger = false;
        stream_.readyAt = Clock::now();
    }
    if (Clock::now() < stream_.readyAt) {
        *wakeAt = stream_.readyAt;
        return Serve::Wait;
    }
    if (headerDue) {
        if (stream_.headerSent == 0) lastReadyAt_ = stream_.readyAt;
        uint32_t n = std::min(p.length, kFrameHeaderBytes - stream_.headerSent);
        const uint32_t reported = faults_.shapeTransfer(p.length, &n);
        std::memcpy(p.buffer, stream_.header + stream_.headerSent, n);
        stream_.headerSent += n;
        *bytes = reported;
        return Serve::Done;
    }
    if (!stream_.withHeader && stream_.payloadSent == 0) lastReadyAt_ = stream_.readyAt;
    const uint64_t left = stream_.payloadBytes - stream_.payloadSent;
    uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(p.length, left));
    const uint32_t reported = faults_.shapeTransfer(p.length, &n);
    renderer_.render(p.buffer, stream_.payloadSent, n);
    stream_.payloadSent += n;
    *bytes = reported;
    return Serve::Done;
}

void VirtualCamera::failPendingLocked(uint32_t error, int endpoint,
                                      std::vector<std::function<void()>>* after) {
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (endpoint < 0 || it->endpoint == endpoint) {
            after->push_back([done = std::move(it->done), error] { done(error, 0); });
            it = pending_.erase(it);
        } else {
            ++it;
        }
    }
}

uint32_t VirtualCamera::submitBulkRead(uint8_t endpoint, uint8_t* buffer, uint32_t length,
                                       uint32_t* bytes, BulkDone done) {
    std::vector<std::function<void()>> after;
    uint32_t result = kErrorIoPending;
    {
        platform::LockGuard lock(mutex_);
        LoggedRequest r;
        r.kind = LoggedRequest::Kind::BulkRead;
        r.endpoint = endpoint;
        r.length = length;
        log(r);
        if (!plugged_.load()) return kErrorDeviceNotConnected;
        Pending p{endpoint, buffer, length, std::move(done)};
        if (pending_.empty()) {
            // Served at once when the data are there: no hand-over to the worker.
            uint32_t n = 0, error = 0;
            Clock::time_point wake = Clock::time_point::max();
            const Serve s = serve(p, &n, &error, &wake);
            if (s == Serve::Done) {
                if (stream_.armed && stream_.payloadSent == stream_.payloadBytes &&
                    (!stream_.withHeader || stream_.headerSent == kFrameHeaderBytes))
                    finishFrame(&after);
                *bytes = n;
                result = 0;
            } else if (s == Serve::Fail) {
                result = error;
            }
        }
        if (result == kErrorIoPending) {
            pending_.push_back(std::move(p));
            ensureWorker();
            wakeWorkerLocked();
        }
    }
    for (auto& f : after) f();
    return result;
}

void VirtualCamera::wakeWorkerLocked() {
    ++version_;
    workCv_.notify_all();
}

void VirtualCamera::ensureWorker() {
    if (worker_.joinable()) return;
    worker_ = std::jthread([this](std::stop_token stop) { workerLoop(stop); });
}

void VirtualCamera::workerLoop(std::stop_token stop) {
    platform::LockGuard lock(mutex_);
    while (!stop.stop_requested()) {
        if (pending_.empty()) {
            const uint64_t seen = version_;
            workCv_.wait(lock, stop, [&]() ORVANE_REQUIRES(mutex_) {
                return version_ != seen || !pending_.empty();
            });
            continue;
        }
        Pending& p = pending_.front();
        uint32_t n = 0, error = 0;
        Clock::time_point wake = Clock::time_point::max();
        const uint64_t seen = version_;
        const Serve s = serve(p, &n, &error, &wake);
        if (s == Serve::Wait) {
            if (wake == Clock::time_point::max())
                workCv_.wait(lock, stop,
                             [&]() ORVANE_REQUIRES(mutex_) { return version_ != seen; });
            else
                workCv_.wait_until(lock, stop, wake,
                                   [&]() ORVANE_REQUIRES(mutex_) { return version_ != seen; });
            continue;
        }
        std::vector<std::function<void()>> after;
        if (s == Serve::Done && stream_.armed && stream_.payloadSent == stream_.payloadBytes &&
            (!stream_.withHeader || stream_.headerSent == kFrameHeaderBytes))
            finishFrame(&after);
        BulkDone done = std::move(p.done);
        pending_.pop_front();
        lock.unlock();
        done(s == Serve::Done ? 0 : error, n);
        for (auto& f : after) f();
        lock.lock();
    }
}

void VirtualCamera::abortRequests(LoggedRequest::Kind kind, int endpoint, bool reset) {
    std::vector<std::function<void()>> after;
    {
        platform::LockGuard lock(mutex_);
        LoggedRequest r;
        r.kind = kind;
        if (endpoint >= 0) r.endpoint = static_cast<uint8_t>(endpoint);
        log(r);
        failPendingLocked(kErrorOperationAborted, endpoint, &after);
        if (reset) {
            if (endpoint < 0 || endpoint == kEndpointWholeFrames) halted83_ = false;
            if (endpoint != kEndpointWholeFrames) halted81_ = false;
            stream_.armed = false;
        }
        wakeWorkerLocked();
    }
    for (auto& f : after) f();
}

void VirtualCamera::abortPipe(uint8_t endpoint) {
    abortRequests(LoggedRequest::Kind::AbortPipe, endpoint, false);
}

void VirtualCamera::resetPipe(uint8_t endpoint) {
    abortRequests(LoggedRequest::Kind::ResetPipe, endpoint, true);
}

void VirtualCamera::resetPort() {
    abortRequests(LoggedRequest::Kind::ResetPort, -1, true);
}

uint32_t VirtualCamera::speedCode() {
    platform::LockGuard lock(mutex_);
    LoggedRequest r;
    r.kind = LoggedRequest::Kind::GetSpeed;
    log(r);
    return speedCode_;
}

// ---- plugging -------------------------------------------------------------------------------

void VirtualCamera::setPlugged(bool plugged) {
    std::vector<std::function<void()>> after;
    std::function<void(bool)> listener;
    {
        platform::LockGuard lock(mutex_);
        if (plugged_.load() == plugged) return;
        plugged_.store(plugged);
        if (!plugged)
            failPendingLocked(kErrorDeviceNotConnected, -1, &after);
        else
            stream_.armed = false;
        listener = plugListener_;
        wakeWorkerLocked();
    }
    for (auto& f : after) f();
    if (listener) listener(plugged);
}

void VirtualCamera::unplug() {
    setPlugged(false);
}
void VirtualCamera::replug() {
    setPlugged(true);
}

void VirtualCamera::setPlugListener(std::function<void(bool)> listener) {
    platform::LockGuard lock(mutex_);
    plugListener_ = std::move(listener);
}

}  // namespace orvane::sim
