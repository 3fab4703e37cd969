#include "sim/DeviceFaults.h"

#include <cerrno>
#include <cstdlib>

#include "sim/VirtualCamera.h"
#include "transport/Fx3Protocol.h"

namespace orvane::sim {

namespace {

constexpr uint32_t kMaxLongExtraBytes = 512;

bool parseUnsigned(const std::string& s, unsigned long long max, unsigned long long* out) {
    if (s.empty() || s[0] < '0' || s[0] > '9') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(s.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v > max) return false;
    *out = v;
    return true;
}

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

bool parseFaultOption(const std::string& key, const std::string& value, DeviceFaults* faults) {
    unsigned long long n = 0;
    if (key == "header_byte") {
        const size_t slash = value.find('/');
        unsigned long long offset = 0;
        if (slash == std::string::npos ||
            !parseUnsigned(value.substr(0, slash), transport::kFrameHeaderBytes - 1, &offset) ||
            !parseUnsigned(value.substr(slash + 1), 255, &n))
            return false;
        faults->headerPatches.push_back(
            HeaderPatch{static_cast<uint8_t>(offset), static_cast<uint8_t>(n)});
        return true;
    }
    uint32_t* every = key == "short_every"  ? &faults->shortEvery
                      : key == "long_every" ? &faults->longEvery
                      : key == "tag_back"   ? &faults->tagBackEvery
                      : key == "garbage"    ? &faults->garbageEvery
                                            : nullptr;
    if (every != nullptr) {
        if (!parseUnsigned(value, UINT32_MAX, &n)) return false;
        *every = static_cast<uint32_t>(n);
        return true;
    }
    if (key == "header_noise") {
        if (!parseUnsigned(value, transport::kFrameHeaderBytes, &n)) return false;
        faults->headerNoise = static_cast<uint32_t>(n);
        return true;
    }
    if (key == "announce") {
        if (!parseUnsigned(value, UINT32_MAX, &n)) return false;
        faults->announceBytes = static_cast<int64_t>(n);
        return true;
    }
    if (key == "seed") {
        if (!parseUnsigned(value, UINT32_MAX, &n)) return false;
        faults->seed = static_cast<uint32_t>(n);
        return true;
    }
    return false;
}

FaultInjector::FaultInjector(const DeviceFaults& faults) {
    reset(faults);
}

void FaultInjector::reset(const DeviceFaults& faults) {
    faults_ = faults;
    random_ = faults.seed;
    transfers_ = 0;
    replies_ = 0;
}

uint32_t FaultInjector::next() {
    // xorshift32: small, fast and the same on every platform; a zero state would stick.
    if (random_ == 0) random_ = 0x9E3779B9u;
    random_ ^= random_ << 13;
    random_ ^= random_ >> 17;
    random_ ^= random_ << 5;
    return random_;
}

void FaultInjector::shapeHeader(uint8_t header[64], uint64_t frameIndex) {
    if (faults_.announceBytes >= 0)
        put32(header + transport::kFrameHeaderPayloadBytesOffset,
              static_cast<uint32_t>(faults_.announceBytes));
    if (faults_.tagBackEvery != 0 && (frameIndex + 1) % faults_.tagBackEvery == 0)
        put32(header + transport::kFrameHeaderTagOffset, 0);
    for (const HeaderPatch& p : faults_.headerPatches) header[p.offset] = p.value;
    for (uint32_t i = 0; i < faults_.headerNoise; ++i) {
        const uint32_t offset = next() % transport::kFrameHeaderBytes;
        header[offset] = static_cast<uint8_t>(next());
    }
}

uint32_t FaultInjector::shapeTransfer(uint32_t requested, uint32_t* delivered) {
    ++transfers_;
    if (faults_.shortEvery != 0 && transfers_ % faults_.shortEvery == 0) *delivered /= 2;
    uint32_t reported = *delivered;
    if (faults_.longEvery != 0 && transfers_ % faults_.longEvery == 0) {
        const uint32_t extra = 1 + next() % kMaxLongExtraBytes;
        // Always more than was asked for, whatever was delivered.
        reported = requested > UINT32_MAX - extra ? UINT32_MAX : requested + extra;
    }
    return reported;
}

void FaultInjector::shapeReply(uint8_t reply[64], int* bytes) {
    ++replies_;
    if (faults_.garbageEvery == 0 || replies_ % faults_.garbageEvery != 0) return;
    *bytes = static_cast<int>(next() % 65);
    for (int i = 0; i < 64; ++i) reply[i] = static_cast<uint8_t>(next());
}

// ---- the camera's side ------------------------------------------------------------------

void VirtualCamera::setDeviceFaults(const DeviceFaults& faults) {
    platform::LockGuard lock(mutex_);
    faults_.reset(faults);
}

DeviceFaults VirtualCamera::deviceFaults() const {
    platform::LockGuard lock(mutex_);
    return faults_.faults();
}

}  // namespace orvane::sim
