#include "device/FrameRing.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

namespace orvane::device {

namespace {

// Zeroed, so that a copy before the first frame hands out black, not stale memory.
std::unique_ptr<uint8_t[]> allocateBytes(uint32_t bytes) {
    try {
        return std::make_unique<uint8_t[]>(bytes);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

bool FrameRing::allocate(uint32_t capacity) {
    platform::LockGuard lock(m_lock);
    // A reader may still be copying out of the old slots.
    m_lock.wait(m_changed, [this]() ORVANE_REQUIRES(m_lock) {
        return std::all_of(std::begin(m_readers), std::end(m_readers),
                           [](int n) { return n == 0; });
    });
    for (auto& slot : m_slots) slot.reset();
    m_capacity = 0;
    m_format = FrameFormat{};
    for (auto& slot : m_slots) {
        slot = allocateBytes(capacity);
        if (!slot) {
            for (auto& s : m_slots) s.reset();
            return false;
        }
    }
    m_capacity = capacity;
    ++m_allocations;
    m_newest = kNoSlot;
    m_writeIndex = 0;
    m_handedOver = m_published;
    return true;
}

void FrameRing::release() {
    platform::LockGuard lock(m_lock);
    m_lock.wait(m_changed, [this]() ORVANE_REQUIRES(m_lock) {
        return std::all_of(std::begin(m_readers), std::end(m_readers),
                           [](int n) { return n == 0; });
    });
    for (auto& slot : m_slots) slot.reset();
    m_capacity = 0;
    m_format = FrameFormat{};
    m_newest = kNoSlot;
    m_writeIndex = 0;
    m_handedOver = m_published;
}

bool FrameRing::allocated() const {
    platform::LockGuard lock(m_lock);
    return m_capacity != 0;
}

bool FrameRing::setFormat(const FrameFormat& format) {
    platform::LockGuard lock(m_lock);
    if (m_capacity == 0 || format.frameBytes > m_capacity) return false;
    m_format = format;
    return true;
}

FrameFormat FrameRing::format() const {
    platform::LockGuard lock(m_lock);
    return m_format;
}

void FrameRing::resetIndices() {
    platform::LockGuard lock(m_lock);
    m_writeIndex = 0;
    m_newest = kNoSlot;
    m_handedOver = m_published;
}

bool FrameRing::fileFrame(std::unique_ptr<uint8_t[]>& buffer, uint32_t capacity) {
    {
        platform::LockGuard lock(m_lock);
        if (m_capacity == 0 || capacity != m_capacity || !buffer) return false;
        int slot = kNoSlot;
        for (int step = 0; step < kSlots && slot == kNoSlot; ++step) {
            const int candidate = (m_writeIndex + step) % kSlots;
            if (m_readers[candidate] == 0) slot = candidate;
        }
        if (slot == kNoSlot) return false;
        m_slots[slot].swap(buffer);
        m_slotFrame[slot] = ++m_published;
        m_newest = slot;
        m_writeIndex = (slot + 1) % kSlots;
        m_eventSet = true;
    }
    m_changed.notify_all();
    return true;
}

bool FrameRing::fileFrameInSlot(int slot, std::unique_ptr<uint8_t[]>& buffer, uint32_t capacity) {
    {
        platform::LockGuard lock(m_lock);
        if (slot < 0 || slot >= kSlots) return false;
        m_lock.wait(m_changed, [&]() ORVANE_REQUIRES(m_lock) { return m_readers[slot] == 0; });
        if (m_capacity == 0 || capacity != m_capacity || !buffer) return false;
        m_slots[slot].swap(buffer);
        m_slotFrame[slot] = 0;  // not a published frame
        if (m_newest == slot) m_newest = kNoSlot;
    }
    m_changed.notify_all();
    return true;
}

bool FrameRing::copy(void* buffer, uint64_t length, bool firstSlot, int orientationFlag,
                     bool markHandedOver) {
    if (buffer == nullptr) return false;
    int slot;
    FrameFormat fmt;
    const uint8_t* src;
    {
        platform::LockGuard lock(m_lock);
        if (m_capacity == 0 || length < m_format.frameBytes) return false;
        // The newest slot; before the first frame, the slot before the write index, as the
        // ring has always been read.
        slot = firstSlot ? 0 : (m_newest != kNoSlot ? m_newest : (m_writeIndex + 3) % kSlots);
        ++m_readers[slot];
        fmt = m_format;
        src = m_slots[slot].get();
    }
    const int32_t o = fmt.orientation;
    const bool turned = o == 3 || o == 4;
    const bool reverseRows = orientationFlag == 1 ? turned : (orientationFlag == 0 && !turned);
    const bool reversePixels = o == 2 || o == 4;
    copyOriented(static_cast<uint8_t*>(buffer), src, fmt, reverseRows, reversePixels);
    {
        platform::LockGuard lock(m_lock);
        --m_readers[slot];
        if (markHandedOver) m_handedOver = std::max(m_handedOver, m_slotFrame[slot]);
    }
    m_changed.notify_all();
    return true;
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
        platform::LockGuard lock(m_lock);
        m_eventSet = true;
    }
    m_changed.notify_all();
}

void FrameRing::openEvent() {
    platform::LockGuard lock(m_lock);
    if (!m_eventOpen) {
        m_eventOpen = true;
        m_eventSet = false;
    }
}

void FrameRing::closeEvent() {
    {
        platform::LockGuard lock(m_lock);
        m_eventOpen = false;
        m_eventSet = false;
    }
    m_changed.notify_all();
}

bool FrameRing::waitEvent(uint32_t timeoutMs) {
    platform::LockGuard lock(m_lock);
    auto ready = [this]() ORVANE_REQUIRES(m_lock) { return m_eventSet || !m_eventOpen; };
    if (!m_lock.waitFor(m_changed, std::chrono::milliseconds(timeoutMs), ready)) return false;
    if (!m_eventOpen) return false;
    m_eventSet = false;
    return true;
}

bool FrameRing::hasNewFrame() const {
    platform::LockGuard lock(m_lock);
    return m_published != m_handedOver;
}

void FrameRing::markAllHandedOver() {
    platform::LockGuard lock(m_lock);
    m_handedOver = m_published;
}

uint64_t FrameRing::allocationCount() const {
    platform::LockGuard lock(m_lock);
    return m_allocations;
}

}  // namespace orvane::device
