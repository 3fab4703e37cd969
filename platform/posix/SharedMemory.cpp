#include "platform/SharedMemory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace orvane::platform {
namespace {

// Lock layout, past the end of the data (locks need no backing bytes): one byte that
// serialises copies, then one liveness byte per possible user.
constexpr off_t kSlotCount = 1024;

off_t serialByte(size_t size) {
    return static_cast<off_t>(size);
}
off_t firstSlot(size_t size) {
    return static_cast<off_t>(size) + 1;
}

struct flock makeLock(short type, off_t start, off_t length) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = start;
    fl.l_len = length;
    fl.l_pid = 0;  // required for open-file-description locks
    return fl;
}

// True when `fd` still refers to the segment currently filed under `name`.
bool isCurrentSegment(int fd, const std::string& name) {
    int probe = shm_open(name.c_str(), O_RDWR, 0);
    if (probe < 0) return false;
    struct stat a {
    }, b{};
    bool same =
        fstat(fd, &a) == 0 && fstat(probe, &b) == 0 && a.st_ino == b.st_ino && a.st_dev == b.st_dev;
    close(probe);
    return same;
}

}  // namespace

std::string SharedMemory::resolveName(const std::string& defaultName) {
    const char* over = std::getenv("ORVANE_SHM_NAME");
    std::string name = (over != nullptr && *over != '\0') ? over : defaultName;
    if (name.empty() || name[0] != '/') name.insert(name.begin(), '/');
    return name;
}

SharedMemory::SharedMemory(int fd, uint8_t* view, size_t size, std::string name)
    : fd_(fd), view_(view), size_(size), name_(std::move(name)) {}

bool SharedMemory::lockRange(off_t start, short type, bool wait) const {
    struct flock fl = makeLock(type, start, 1);
    for (;;) {
        if (fcntl(fd_, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) == 0) return true;
        if (errno != EINTR) return false;
    }
}

void SharedMemory::unlockRange(off_t start) const {
    struct flock fl = makeLock(F_UNLCK, start, 1);
    fcntl(fd_, F_OFD_SETLK, &fl);
}

bool SharedMemory::claimSlot() {
    for (off_t i = 0; i < kSlotCount; ++i) {
        if (lockRange(firstSlot(size_) + i, F_WRLCK, false)) {
            slot_ = firstSlot(size_) + i;
            return true;
        }
    }
    return false;
}

uint32_t SharedMemory::liveUsers() const {
    uint32_t count = slot_ >= 0 ? 1 : 0;
    off_t start = firstSlot(size_);
    const off_t end = firstSlot(size_) + kSlotCount;
    while (start < end) {
        struct flock fl = makeLock(F_WRLCK, start, end - start);
        if (fcntl(fd_, F_OFD_GETLK, &fl) != 0 || fl.l_type == F_UNLCK) break;
        // Our own slot never conflicts with ourselves, so every hit is another user.
        ++count;
        start = fl.l_start + (fl.l_len > 0 ? fl.l_len : 1);
    }
    return count;
}

std::unique_ptr<SharedMemory> SharedMemory::attach(const std::string& defaultName, size_t size,
                                                   const JoinHook& onJoin) {
    const std::string name = resolveName(defaultName);
    // A user leaving as the last one unlinks the segment; whoever opened the old one just
    // before retries on the new one.
    for (int attempt = 0; attempt < 100; ++attempt) {
        int fd = shm_open(name.c_str(), O_RDWR | O_CREAT, 0600);
        if (fd < 0) return nullptr;
        std::unique_ptr<SharedMemory> shm(new SharedMemory(fd, nullptr, size, name));
        if (!shm->lockRange(serialByte(size), F_WRLCK, true)) return nullptr;
        if (!isCurrentSegment(fd, name)) continue;  // destructor closes fd
        struct stat st {};
        if (fstat(fd, &st) != 0) return nullptr;
        if (static_cast<size_t>(st.st_size) < size && ftruncate(fd, static_cast<off_t>(size)) != 0)
            return nullptr;
        void* view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (view == MAP_FAILED) return nullptr;
        shm->view_ = static_cast<uint8_t*>(view);
        const bool first = shm->liveUsers() == 0;
        shm->claimSlot();
        if (onJoin) onJoin(shm->view_, first, shm->liveUsers());
        shm->unlockRange(serialByte(size));
        return shm;
    }
    return nullptr;
}

SharedMemory::~SharedMemory() {
    if (fd_ < 0) return;
    if (view_ != nullptr) {
        // Leave under the lock so that a joining user sees either us or an unlinked segment.
        std::lock_guard<std::mutex> threads(threadMutex_);
        if (lockRange(serialByte(size_), F_WRLCK, true)) {
            if (slot_ >= 0) unlockRange(slot_);
            slot_ = -1;
            if (liveUsers() == 0 && isCurrentSegment(fd_, name_)) shm_unlink(name_.c_str());
            unlockRange(serialByte(size_));
        }
        munmap(view_, size_);
    }
    close(fd_);  // drops every lock this description still holds
}

SharedMemory::Guard::Guard(const SharedMemory& owner)
    : owner_(owner), threadLock_(owner.threadMutex_) {
    owner_.lockRange(serialByte(owner_.size_), F_WRLCK, true);
}

SharedMemory::Guard::~Guard() {
    owner_.unlockRange(serialByte(owner_.size_));
}

}  // namespace orvane::platform
