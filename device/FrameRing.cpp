#include "device/FrameRing.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <utility>

namespace orvane::device {

std::unique_ptr<uint8_t[]> allocateZeroedBytes(uint32_t bytes) {
    try {
        return std::make_unique<uint8_t[]>(bytes);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void FrameRing::clearLocked() {
    // A reader may still be copying out of the old slots.
    lock_.wait(changed_, [this]() ORVANE_REQUIRES(lock_) {
        return std::all_of(std::begin(readers_), std::end(readers_), [](int n) { return n == 0; });
    });
    for (auto& slot : slots_) slot.reset();
    capacity_ = 0;
    format_ = FrameFormat{};
    newest_ = kNoSlot;
    writeIndex_ = 0;
    handedOver_ = published_;
}

bool FrameRing::allocate(uint32_t capacity) {
    platform::LockGuard lock(lock_);
    clearLocked();
    for (auto& slot : slots_) {
        slot = allocateZeroedBytes(capacity);
        if (!slot) {
            for (auto& s : slots_) s.reset();
            return false;
        }
    }
    capacity_ = capacity;
    ++allocations_;
    return true;
}

void FrameRing::release() {
    platform::LockGuard lock(lock_);
    clearLocked();
}

bool FrameRing::allocated() const {
    platform::LockGuard lock(lock_);
    return capacity_ != 0;
}

bool FrameRing::setFormat(const FrameFormat& format) {
    platform::LockGuard lock(lock_);
    if (capacity_ == 0 || format.frameBytes > capacity_) return false;
    format_ = format;
    return true;
}

FrameFormat FrameRing::format() const {
    platform::LockGuard lock(lock_);
    return format_;
}

void FrameRing::resetIndices() {
    platform::LockGuard lock(lock_);
    writeIndex_ = 0;
    newest_ = kNoSlot;
    handedOver_ = published_;
}

bool FrameRing::fileFrame(std::unique_ptr<uint8_t[]>& buffer, uint32_t capacity) {
    {
        platform::LockGuard lock(lock_);
        if (capacity_ == 0 || capacity != capacity_ || !buffer) return false;
        int slot = kNoSlot;
        for (int step = 0; step < kSlots && slot == kNoSlot; ++step) {
            const int candidate = (writeIndex_ + step) % kSlots;
            if (readers_[candidate] == 0) slot = candidate;
        }
        if (slot == kNoSlot) return false;
        slots_[slot].swap(buffer);
        slotFrame_[slot] = ++published_;
        newest_ = slot;
        writeIndex_ = (slot + 1) % kSlots;
        eventSet_ = true;
    }
    changed_.notify_all();
    return true;
}

bool FrameRing::fileFrameInSlot(int slot, std::unique_ptr<uint8_t[]>& buffer, uint32_t capacity) {
    {
        platform::LockGuard lock(lock_);
        if (slot < 0 || slot >= kSlots) return false;
        lock_.wait(changed_, [&]() ORVANE_REQUIRES(lock_) { return readers_[slot] == 0; });
        if (capacity_ == 0 || capacity != capacity_ || !buffer) return false;
        slots_[slot].swap(buffer);
        slotFrame_[slot] = 0;  // not a published frame
        if (newest_ == slot) newest_ = kNoSlot;
    }
    changed_.notify_all();
    return true;
}

bool FrameRing::copy(void* buffer, uint64_t length, bool firstSlot, int orientationFlag,
                     bool markHandedOver) {
    if (buffer == nullptr) return false;
    int slot;
    FrameFormat fmt;
    const uint8_t* src;
    {
        platform::LockGuard lock(lock_);
        if (capacity_ == 0 || length < format_.frameBytes) return false;
        slot = beginReadLocked(firstSlot);
        fmt = format_;
        src = slots_[slot].get();
    }
    bool reverseRows = false, reversePixels = false;
    orientationOf(fmt, orientationFlag, &reverseRows, &reversePixels);
    copyOriented(static_cast<uint8_t*>(buffer), src, fmt, reverseRows, reversePixels);
    endRead(slot, markHandedOver);
    return true;
}

void FrameRing::orientationOf(const FrameFormat& fmt, int orientationFlag, bool* reverseRows,
                              bool* reversePixels) {
    const int32_t o = fmt.orientation;
    const bool turned = o == 3 || o == 4;
    *reverseRows = orientationFlag == 1 ? turned : (orientationFlag == 0 && !turned);
    *reversePixels = o == 2 || o == 4;
}

int FrameRing::beginReadLocked(bool firstSlot) {
    // The newest slot; before the first frame, the slot before the write index, as the ring
    // has always been read.
    const int slot = firstSlot ? 0 : (newest_ != kNoSlot ? newest_ : (writeIndex_ + 3) % kSlots);
    ++readers_[slot];
    return slot;
}

void FrameRing::endRead(int slot, bool markHandedOver) {
    {
        platform::LockGuard lock(lock_);
        --readers_[slot];
        if (markHandedOver) handedOver_ = std::max(handedOver_, slotFrame_[slot]);
    }
    changed_.notify_all();
}

FrameRing::Hold FrameRing::hold(uint64_t length, int orientationFlag) {
    Hold h;
    platform::LockGuard lock(lock_);
    if (capacity_ == 0 || length < format_.frameBytes) return h;
    bool reverseRows = false, reversePixels = false;
    orientationOf(format_, orientationFlag, &reverseRows, &reversePixels);
    if (reverseRows || reversePixels) return h;
    const int slot = beginReadLocked(false);
    h.ring_ = this;
    h.slot_ = slot;
    h.bytes_ = slots_[slot].get();
    h.size_ = format_.frameBytes;
    return h;
}

FrameRing::Hold::Hold(Hold&& other) noexcept
    : ring_(std::exchange(other.ring_, nullptr)),
      slot_(std::exchange(other.slot_, kNoSlot)),
      bytes_(std::exchange(other.bytes_, nullptr)),
      size_(std::exchange(other.size_, 0)) {}

FrameRing::Hold& FrameRing::Hold::operator=(Hold&& other) noexcept {
    if (this != &other) {
        reset();
        ring_ = std::exchange(other.ring_, nullptr);
        slot_ = std::exchange(other.slot_, kNoSlot);
        bytes_ = std::exchange(other.bytes_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

void FrameRing::Hold::reset() {
    if (ring_ == nullptr) return;
    // Handed over only now: a frame counts as taken once its reader is done with it.
    ring_->endRead(slot_, true);
    ring_ = nullptr;
    slot_ = kNoSlot;
    bytes_ = nullptr;
    size_ = 0;
}

void FrameRing::copyOriented(uint8_t* dst, const uint8_t* src, const FrameFormat& fmt,
                             bool reverseRows, bool reversePixels) {
    if (!reverseRows && !reversePixels) {
        std::memcpy(dst, src, fmt.frameBytes);
        return;
    }
    const size_t stride = static_cast<size_t>(fmt.width) * fmt.bytesPerPixel;
    if (stride == 0 || fmt.height == 0) return;
    const size_t rows = std::min<size_t>(fmt.height, fmt.frameBytes / stride);
    for (size_t y = 0; y < rows; ++y) {
        const uint8_t* s = src + (reverseRows ? rows - 1 - y : y) * stride;
        uint8_t* d = dst + y * stride;
        if (!reversePixels) {
            std::memcpy(d, s, stride);
        } else if (fmt.bytesPerPixel == 2) {
            // Pixels move as whole 16-bit units: d[x] = s[width - 1 - x].
            for (size_t x = 0; x < fmt.width; ++x) {
                std::memcpy(d + 2 * x, s + 2 * (fmt.width - 1 - x), 2);
            }
        } else {
            std::reverse_copy(s, s + fmt.width, d);
        }
    }
}

void FrameRing::setEvent() {
    {
        platform::LockGuard lock(lock_);
        eventSet_ = true;
    }
    changed_.notify_all();
}

void FrameRing::openEvent() {
    platform::LockGuard lock(lock_);
    if (!eventOpen_) {
        eventOpen_ = true;
        eventSet_ = false;
    }
}

void FrameRing::closeEvent() {
    {
        platform::LockGuard lock(lock_);
        eventOpen_ = false;
        eventSet_ = false;
    }
    changed_.notify_all();
}

bool FrameRing::waitEvent(uint32_t timeoutMs) {
    platform::LockGuard lock(lock_);
    auto ready = [this]() ORVANE_REQUIRES(lock_) { return eventSet_ || !eventOpen_; };
    if (!lock_.waitFor(changed_, std::chrono::milliseconds(timeoutMs), ready)) return false;
    if (!eventOpen_) return false;
    eventSet_ = false;
    return true;
}

bool FrameRing::hasNewFrame() const {
    platform::LockGuard lock(lock_);
    return published_ != handedOver_;
}

void FrameRing::markAllHandedOver() {
    platform::LockGuard lock(lock_);
    handedOver_ = published_;
}

uint64_t FrameRing::allocationCount() const {
    platform::LockGuard lock(lock_);
    return allocations_;
}

}  // namespace orvane::device
