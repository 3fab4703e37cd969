#include "platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <limits>
#include <utility>

namespace orvane::platform {
namespace {

// One request never asks for more than the kernel moves in one go anyway; keeping it below
// SSIZE_MAX keeps the result representable.
constexpr size_t kMaxRequest = size_t{1} << 30;

size_t clampRequest(size_t bytes) {
    return bytes < kMaxRequest ? bytes : kMaxRequest;
}

bool offsetFits(uint64_t offset, size_t bytes) {
    constexpr auto kMaxOffset = static_cast<uint64_t>(std::numeric_limits<off_t>::max());
    return offset <= kMaxOffset && bytes <= kMaxOffset - offset;
}

// Runs a read or write call again while a signal interrupts it; its byte count, or -1 with
// errno as the call left it.
template <typename Call>
ssize_t untilNotInterrupted(Call call) {
    ssize_t n = 0;
    do {
        n = call();
    } while (n < 0 && errno == EINTR);
    return n;
}

}  // namespace

std::string errnoText(int errnoValue) {
    char buffer[256];
    buffer[0] = '\0';
    // GNU strerror_r may return a static string instead of filling the buffer.
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
    const char* text = strerror_r(errnoValue, buffer, sizeof buffer);
    return text != nullptr ? text : "";
#else
    if (strerror_r(errnoValue, buffer, sizeof buffer) != 0)
        return "error " + std::to_string(errnoValue);
    return buffer;
#endif
}

File::~File() {
    close();
}

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      error_(other.error_),
      errorText_(std::move(other.errorText_)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        error_ = other.error_;
        errorText_ = std::move(other.errorText_);
    }
    return *this;
}

bool File::fail() {
    return fail(errno != 0 ? errno : EIO);
}

bool File::open(const char* path, FileMode mode) {
    if (!beginOpen(path)) return false;
    int flags = O_CLOEXEC;
    switch (mode) {
        case FileMode::Read:
            flags |= O_RDONLY;
            break;
        case FileMode::WriteCreate:
            flags |= O_WRONLY | O_CREAT | O_TRUNC;
            break;
        case FileMode::ReadWriteCreate:
            flags |= O_RDWR | O_CREAT | O_TRUNC;
            break;
    }
    do {
        fd_ = ::open(path, flags, 0666);
    } while (fd_ < 0 && errno == EINTR);
    return fd_ >= 0 || fail();
}

bool File::isOpen() const {
    return fd_ >= 0;
}

bool File::isRegular() const {
    struct stat st {};
    return fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
}

int64_t File::size() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

int64_t File::read(void* out, size_t bytes) {
    if (fd_ < 0) return fail(EBADF), -1;
    const ssize_t n = untilNotInterrupted([&] { return ::read(fd_, out, clampRequest(bytes)); });
    return n >= 0 ? n : (fail(), -1);
}

int64_t File::readAt(uint64_t offset, void* out, size_t bytes) {
    if (fd_ < 0) return fail(EBADF), -1;
    bytes = clampRequest(bytes);
    if (!offsetFits(offset, bytes)) return fail(EOVERFLOW), -1;
    const ssize_t n =
        untilNotInterrupted([&] { return ::pread(fd_, out, bytes, static_cast<off_t>(offset)); });
    return n >= 0 ? n : (fail(), -1);
}

int64_t File::writeAt(uint64_t offset, const void* data, size_t bytes) {
    if (fd_ < 0) return fail(EBADF), -1;
    bytes = clampRequest(bytes);
    if (!offsetFits(offset, bytes)) return fail(EFBIG), -1;
    const ssize_t n =
        untilNotInterrupted([&] { return ::pwrite(fd_, data, bytes, static_cast<off_t>(offset)); });
    return n >= 0 ? n : (fail(), -1);
}

int64_t File::writeAt2(uint64_t offset, const void* a, size_t aBytes, const void* b,
                       size_t bBytes) {
    if (fd_ < 0) return fail(EBADF), -1;
    if (aBytes > kMaxRequest || bBytes > kMaxRequest - aBytes) return writeAt(offset, a, aBytes);
    if (!offsetFits(offset, aBytes + bBytes)) return fail(EFBIG), -1;
    iovec iov[2] = {{const_cast<void*>(a), aBytes}, {const_cast<void*>(b), bBytes}};
    const ssize_t n =
        untilNotInterrupted([&] { return ::pwritev(fd_, iov, 2, static_cast<off_t>(offset)); });
    return n >= 0 ? n : (fail(), -1);
}

bool File::setSize(uint64_t length) {
    if (fd_ < 0) return fail(EBADF);
    if (!offsetFits(length, 0)) return fail(EFBIG);
    for (;;) {
        if (::ftruncate(fd_, static_cast<off_t>(length)) == 0) return true;
        if (errno != EINTR) return fail();
    }
}

bool File::close() {
    if (fd_ < 0) return true;
    const int rc = ::close(std::exchange(fd_, -1));
    // After EINTR the descriptor is gone on Linux; nothing was lost that a retry would save.
    if (rc != 0 && errno != EINTR) return fail();
    return true;
}

bool isRegularFile(const char* path) {
    struct stat st {};
    return path != nullptr && ::lstat(path, &st) == 0 && S_ISREG(st.st_mode);
}

bool removeFile(const char* path) {
    return path != nullptr && ::unlink(path) == 0;
}

bool isRegularStream(FILE* stream) {
    struct stat st {};
    return stream != nullptr && ::fstat(::fileno(stream), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace orvane::platform
