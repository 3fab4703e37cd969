// The four-slot frame ring between the capture thread and the readers, with the frame event.
//
// The capture thread fills a slot and publishes it as the newest frame; readers copy the newest
// frame (or slot 0, where a synchronous grab leaves its frame) into their own buffer. The ring
// hands slots over under its lock so that a reader never copies a slot that is being written:
// frames are filed by exchanging buffers, and the capture thread skips any slot a reader holds
// (it never waits for a reader). Frames are counted, not compared by slot index, so a reader
// that falls four frames behind still sees that new frames arrived.
//
// Thread rules: fileFrame/fileFrameInSlot are for the single writer (the capture thread, or the
// owner's thread when no capture thread runs); copy, waitEvent and hasNewFrame may be called
// from any thread; allocate and release are for the owner's thread while no writer runs, and
// they wait for readers still copying.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/Sync.h"

namespace orvane::device {

// Zeroed, so that a copy before the first frame hands out black, not stale memory; nullptr
// when memory is exhausted.
std::unique_ptr<uint8_t[]> allocateZeroedBytes(uint32_t bytes);

// Layout of the frames in the ring, fixed whenever the ring is (re)allocated.
struct FrameFormat {
    uint32_t frameBytes = 0;     // F: bytes per frame
    uint32_t width = 0;          // pixels per row
    uint32_t height = 0;         // rows
    uint32_t bytesPerPixel = 1;  // 1, or 2 with wide transfer
    int32_t orientation = 0;     // the sensor's software orientation code
};

class FrameRing {
  public:
    static constexpr int kSlots = 4;
    static constexpr int kNoSlot = -1;

    FrameRing() = default;
    FrameRing(const FrameRing&) = delete;
    FrameRing& operator=(const FrameRing&) = delete;

    // Frees the slots and allocates four new ones of `capacity` bytes. On failure the ring is
    // left without slots (every copy fails) and false is returned.
    bool allocate(uint32_t capacity);
    void release();
    bool allocated() const;
    // Sets the layout used by copies; frameBytes must not exceed the slot capacity.
    bool setFormat(const FrameFormat& format);
    FrameFormat format() const;
    // Forgets every frame and starts filling at slot 0 with nothing new (a fresh ring).
    void resetIndices();

    // Writer side. A finished frame is filed by exchanging the writer's buffer (of the slot
    // capacity) with a slot's buffer, so a slot only ever holds whole frames and filing costs
    // no copy. fileFrame picks the next slot no reader holds (false when every slot is held:
    // the frame is dropped), publishes it as the newest frame and sets the frame event.
    // fileFrameInSlot waits until no reader holds `slot` and does not publish.
    bool fileFrame(std::unique_ptr<uint8_t[]>& buffer, uint32_t capacity);
    bool fileFrameInSlot(int slot, std::unique_ptr<uint8_t[]>& buffer, uint32_t capacity);

    // Reader side. Copies the newest frame (or slot 0 when firstSlot) with the orientation
    // applied. markHandedOver records that the reader has seen everything up to that frame.
    // Returns false when the buffer is null or smaller than the frame, or there are no slots.
    bool copy(void* buffer, uint64_t length, bool firstSlot, int orientationFlag,
              bool markHandedOver);

    // The newest frame lent in place instead of copied, for a reader that only reads it.
    // Only frames whose copy would be a plain block copy are lent (the orientation applied
    // with `orientationFlag` reverses nothing), so the lent bytes are what copy() would hand
    // out. While the hold lives the writer skips its slot; it counts as handed over as
    // copy(..., markHandedOver) does. A hold must end before the ring is (re)allocated or
    // released: those wait for it.
    class Hold {
      public:
        Hold() = default;
        Hold(Hold&& other) noexcept;
        Hold& operator=(Hold&& other) noexcept;
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        ~Hold() { reset(); }

        explicit operator bool() const { return bytes_ != nullptr; }
        const uint8_t* bytes() const { return bytes_; }
        uint32_t size() const { return size_; }
        // Gives the slot back (the writer may fill it again).
        void reset();

      private:
        friend class FrameRing;
        FrameRing* ring_ = nullptr;
        int slot_ = kNoSlot;
        const uint8_t* bytes_ = nullptr;
        uint32_t size_ = 0;
    };
    // An empty hold when a copy would fail, or the copy would reorder rows or pixels.
    Hold hold(uint64_t length, int orientationFlag);

    // Frame event (auto-reset): set for every published frame, on capture failure and to
    // release a waiting reader. While closed, waits return at once without the event.
    void setEvent();
    void openEvent();
    void closeEvent();  // sets the event for any waiter, then closes it
    // True when the event was set within timeoutMs (consuming it).
    bool waitEvent(uint32_t timeoutMs);
    bool hasNewFrame() const;
    // Nothing published so far counts as new.
    void markAllHandedOver();

    // Count of allocate() calls that allocated, for diagnostics and tests.
    uint64_t allocationCount() const;

  private:
    // Waits until no reader copies out of a slot, then frees the slots and forgets the frames.
    void clearLocked() ORVANE_REQUIRES(lock_);
    // Which of rows and pixels the copy of a frame in `fmt` reverses.
    static void orientationOf(const FrameFormat& fmt, int orientationFlag, bool* reverseRows,
                              bool* reversePixels);
    // A reader's claim on the slot it reads (the first, or the newest frame's), which the
    // writer waits for; endRead gives it back.
    int beginReadLocked(bool firstSlot) ORVANE_REQUIRES(lock_);
    void endRead(int slot, bool markHandedOver);
    // Copies src (one frame in `fmt`) into dst, reversing rows and/or pixels.
    static void copyOriented(uint8_t* dst, const uint8_t* src, const FrameFormat& fmt,
                             bool reverseRows, bool reversePixels);

    mutable platform::Mutex lock_;     // the ring lock; a leaf lock (nothing is taken inside it)
    std::condition_variable changed_;  // signalled on slot release, write end and event set
    // Pointers, not contents: a slot's bytes are read by its readers outside the lock.
    std::unique_ptr<uint8_t[]> slots_[kSlots] ORVANE_GUARDED_BY(lock_);
    uint32_t capacity_ ORVANE_GUARDED_BY(lock_) = 0;
    FrameFormat format_ ORVANE_GUARDED_BY(lock_);
    int writeIndex_ ORVANE_GUARDED_BY(lock_) = 0;        // next slot to fill
    int newest_ ORVANE_GUARDED_BY(lock_) = kNoSlot;      // slot of the newest published frame
    int readers_[kSlots] ORVANE_GUARDED_BY(lock_) = {};  // readers copying each slot
    uint64_t published_ ORVANE_GUARDED_BY(lock_) = 0;    // frames published so far
    uint64_t handedOver_ ORVANE_GUARDED_BY(lock_) = 0;   // frames a reader has taken
    uint64_t slotFrame_[kSlots] ORVANE_GUARDED_BY(lock_) = {};  // frame held by each slot
    bool eventSet_ ORVANE_GUARDED_BY(lock_) = false;
    bool eventOpen_ ORVANE_GUARDED_BY(lock_) = false;
    uint64_t allocations_ ORVANE_GUARDED_BY(lock_) = 0;
};

}  // namespace orvane::device
