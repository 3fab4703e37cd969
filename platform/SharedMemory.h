// A named shared-memory segment that several processes map, with a lock that serialises
// copies in and out of it and a count of the users that are alive.
//
// POSIX stand-in for a named file mapping. Liveness does not rest on a counter that a crashed
// process could leave behind: every user holds an open-file-description lock on one byte of a
// slot range, the kernel drops it when the process dies, and the live users are the locked
// slots. The segment is unlinked when its last live user leaves, so the next user starts from
// a zeroed segment.
//
// Name: ORVANE_SHM_NAME, when set, replaces the default name (parallel tests use it to keep
// apart); on POSIX a leading '/' is added when missing, on Windows the name is used as is.
//
// Threads: one object may be used from several threads; lock() serialises them as well as
// other processes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace orvane::platform {

class SharedMemory {
  public:
    // Called once while joining, under the segment lock: `view` is the mapped segment,
    // `firstUser` tells that no other user was alive, `liveUsers` counts them with this one.
    using JoinHook = std::function<void(uint8_t* view, bool firstUser, uint32_t liveUsers)>;

    // Opens or creates the segment `defaultName` (or the override) of `size` bytes and joins
    // its users. Returns null when the segment can be neither opened nor created.
    static std::unique_ptr<SharedMemory> attach(const std::string& defaultName, size_t size,
                                                const JoinHook& onJoin);
    // Leaves the users; the segment is unlinked when no live user remains.
    ~SharedMemory();

    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;

    uint8_t* data() const { return view_; }
    size_t size() const { return size_; }
    const std::string& name() const { return name_; }

    // Holds the segment lock: no other user copies in or out meanwhile.
    class Guard {
      public:
        explicit Guard(const SharedMemory& owner);
        ~Guard();
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

      private:
        const SharedMemory& owner_;
        std::unique_lock<std::mutex> threadLock_;
    };
    Guard lock() const { return Guard(*this); }

    // Live users including this one. Stable only while the lock is held.
    uint32_t liveUsers() const;

    // Resolved shared-memory name for `defaultName` (override applied, leading '/').
    static std::string resolveName(const std::string& defaultName);

  private:
#if defined(_WIN32)
    // Win32: a named file mapping; its handles are owned. The kernel closes them when a
    // process dies, so a crashed user neither keeps the mapping alive nor counts as live.
    SharedMemory(void* mapping, void* serial, uint8_t* view, size_t size, std::string name);
    bool claimSlot();

    void* mapping_;         // file-mapping handle
    void* serial_;          // named mutex that serialises copies between processes
    void* slot_ = nullptr;  // named event whose existence marks this user alive
    uint8_t* view_;
    size_t size_;
    std::string name_;
#else
    SharedMemory(int fd, uint8_t* view, size_t size, std::string name);
    bool lockRange(off_t start, short type, bool wait) const;
    void unlockRange(off_t start) const;
    bool claimSlot();

    int fd_;         // owned; its open-file description carries our locks
    uint8_t* view_;  // owned mapping of size_ bytes
    size_t size_;
    std::string name_;
    off_t slot_ = -1;  // byte offset of our liveness slot, -1 when none
#endif
    mutable std::mutex threadMutex_;  // serialises the threads of this process using *this
};

}  // namespace orvane::platform
