// Win32 named file mapping shared by every process that uses the cameras.
//
// The first user is the one whose CreateFileMappingA did not report ERROR_ALREADY_EXISTS;
// the kernel zero-fills a new mapping and destroys it with its last handle, crashed
// processes included. Copies in and out are serialised between processes by a named mutex;
// a user that died holding it leaves it abandoned, which the next waiter takes over
// (WAIT_ABANDONED) instead of blocking for ever. Live users are counted from named events,
// one per user: an event exists exactly while some live process holds a handle to it.
#include "platform/SharedMemory.h"

#include <windows.h>

#include <cstdlib>
#include <string>

namespace orvane::platform {
namespace {

constexpr int kSlotCount = 256;

std::string serialName(const std::string& name) {
    return name + "-Lock";
}
std::string slotName(const std::string& name, int index) {
    return name + "-User-" + std::to_string(index);
}

// Takes the named mutex; an abandoned one is ours as well (its holder died mid-copy, and a
// half-copied table beats a library that never answers again).
bool takeSerial(void* serial) {
    const DWORD r = WaitForSingleObject(static_cast<HANDLE>(serial), INFINITE);
    return r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
}

void closeHandle(void* handle) {
    if (handle != nullptr) CloseHandle(static_cast<HANDLE>(handle));
}

}  // namespace

std::string SharedMemory::resolveName(const std::string& defaultName) {
    const char* over = std::getenv("ORVANE_SHM_NAME");
    std::string name = (over != nullptr && *over != '\0') ? over : defaultName;
    // A backslash would select a kernel namespace ("Global\"); keep names in the session.
    for (char& c : name)
        if (c == '\\') c = '_';
    return name;
}

SharedMemory::SharedMemory(void* mapping, void* serial, uint8_t* view, size_t size,
                           std::string name)
    : mapping_(mapping), serial_(serial), view_(view), size_(size), name_(std::move(name)) {}

bool SharedMemory::claimSlot() {
    for (int i = 0; i < kSlotCount; ++i) {
        HANDLE event = CreateEventA(nullptr, TRUE, FALSE, slotName(name_, i).c_str());
        if (event == nullptr) continue;
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            slot_ = event;
            return true;
        }
        CloseHandle(event);
    }
    return false;
}

uint32_t SharedMemory::liveUsers() const {
    uint32_t count = 0;
    for (int i = 0; i < kSlotCount; ++i) {
        HANDLE probe = OpenEventA(SYNCHRONIZE, FALSE, slotName(name_, i).c_str());
        if (probe == nullptr) continue;
        ++count;  // our own slot included
        CloseHandle(probe);
    }
    return count;
}

std::unique_ptr<SharedMemory> SharedMemory::attach(const std::string& defaultName, size_t size,
                                                   const JoinHook& onJoin) {
    const std::string name = resolveName(defaultName);
    HANDLE serial = CreateMutexA(nullptr, FALSE, serialName(name).c_str());
    if (serial == nullptr) return nullptr;
    if (!takeSerial(serial)) {
        CloseHandle(serial);
        return nullptr;
    }
    const auto high = static_cast<DWORD>(static_cast<uint64_t>(size) >> 32);
    const auto low = static_cast<DWORD>(size & 0xFFFFFFFFu);
    HANDLE mapping =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, high, low, name.c_str());
    const bool existed = mapping != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
    void* view =
        mapping != nullptr ? MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, size) : nullptr;
    if (view == nullptr) {
        closeHandle(mapping);
        ReleaseMutex(serial);
        CloseHandle(serial);
        return nullptr;
    }
    std::unique_ptr<SharedMemory> shm(
        new SharedMemory(mapping, serial, static_cast<uint8_t*>(view), size, name));
    shm->claimSlot();
    if (onJoin) onJoin(shm->view_, !existed, shm->liveUsers());
    ReleaseMutex(serial);
    return shm;
}

SharedMemory::~SharedMemory() {
    {
        // Leave under the lock so that a joining user counts either us or nobody.
        std::lock_guard<std::mutex> threads(threadMutex_);
        const bool held = serial_ != nullptr && takeSerial(serial_);
        closeHandle(slot_);
        slot_ = nullptr;
        if (view_ != nullptr) UnmapViewOfFile(view_);
        closeHandle(mapping_);
        if (held) ReleaseMutex(static_cast<HANDLE>(serial_));
    }
    closeHandle(serial_);
}

SharedMemory::Guard::Guard(const SharedMemory& owner)
    : owner_(owner), threadLock_(owner.threadMutex_) {
    takeSerial(owner_.serial_);
}

SharedMemory::Guard::~Guard() {
    ReleaseMutex(static_cast<HANDLE>(owner_.serial_));
}

}  // namespace orvane::platform
