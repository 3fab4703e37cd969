#include "output/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

namespace orvane::output {

namespace {

// Large stdio buffer: the encoders hand over small pieces, the disk prefers large ones.
constexpr size_t kStdioBufferBytes = size_t{1} << 20;

bool isRegularFd(int fd) {
    struct stat st {};
    return fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

void removeRegularFile(const char* path) {
    struct stat st {};
    if (path != nullptr && ::lstat(path, &st) == 0 && S_ISREG(st.st_mode)) ::unlink(path);
}

OutputFile::~OutputFile() {
    close();
}

bool OutputFile::open(const char* path) {
    close();
    error_ = 0;
    position_ = 0;
    if (path == nullptr || *path == '\0') {
        error_ = ENOENT;
        return false;
    }
    fd_ = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        error_ = errno;
        return false;
    }
    regular_ = isRegularFd(fd_);
    path_ = path;
    return true;
}

bool OutputFile::fail(int err) {
    if (error_ == 0) error_ = err != 0 ? err : EIO;
    return false;
}

bool OutputFile::writeAt(uint64_t offset, const void* data, size_t bytes) {
    if (fd_ < 0) return fail(EBADF);
    if (error_ != 0) return false;
    const auto* p = static_cast<const uint8_t*>(data);
    while (bytes > 0) {
        const ssize_t n = ::pwrite(fd_, p, bytes, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        // A zero-byte write on a non-empty request means the device accepts no more.
        if (n == 0) return fail(ENOSPC);
        p += n;
        bytes -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

bool OutputFile::append(const void* data, size_t bytes) {
    if (!writeAt(position_, data, bytes)) return false;
    position_ += bytes;
    return true;
}

bool OutputFile::append2(const void* a, size_t aBytes, const void* b, size_t bBytes) {
    if (fd_ < 0) return fail(EBADF);
    if (error_ != 0) return false;
    iovec iov[2] = {{const_cast<void*>(a), aBytes}, {const_cast<void*>(b), bBytes}};
    size_t total = aBytes + bBytes;
    const ssize_t n = ::pwritev(fd_, iov, 2, static_cast<off_t>(position_));
    if (n < 0 && errno != EINTR) return fail(errno);
    const size_t done = n > 0 ? static_cast<size_t>(n) : 0;
    if (done == total) {
        position_ += total;
        return true;
    }
    // Short write: finish the rest piece by piece (this also surfaces the error, if any).
    const uint64_t start = position_;
    if (done < aBytes) {
        if (!writeAt(start + done, static_cast<const uint8_t*>(a) + done, aBytes - done)) {
            return false;
        }
        if (!writeAt(start + aBytes, b, bBytes)) return false;
    } else {
        const size_t inB = done - aBytes;
        if (!writeAt(start + done, static_cast<const uint8_t*>(b) + inB, bBytes - inB)) {
            return false;
        }
    }
    position_ += total;
    return true;
}

bool OutputFile::truncate(uint64_t length) {
    if (fd_ < 0) return false;
    if (regular_ && ::ftruncate(fd_, static_cast<off_t>(length)) != 0) return false;
    position_ = length;
    return true;
}

bool OutputFile::close() {
    if (fd_ >= 0) {
        const int rc = ::close(fd_);
        fd_ = -1;
        if (rc != 0 && errno != EINTR) fail(errno);
    }
    // A file closed cleanly is no longer ours to discard.
    if (error_ == 0) path_.clear();
    return error_ == 0;
}

void OutputFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (regular_ && !path_.empty()) ::unlink(path_.c_str());
    path_.clear();
}

StdioFile::~StdioFile() {
    if (file_ != nullptr) std::fclose(file_);
}

bool StdioFile::open(const char* path) {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (path == nullptr || *path == '\0') return false;
    file_ = std::fopen(path, "wb");
    if (file_ == nullptr) return false;
    std::setvbuf(file_, nullptr, _IOFBF, kStdioBufferBytes);
    regular_ = isRegularFd(::fileno(file_));
    path_ = path;
    return true;
}

bool StdioFile::finish() {
    if (file_ == nullptr) return false;
    const bool flushed = std::fflush(file_) == 0 && std::ferror(file_) == 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    // A file closed cleanly is no longer ours to discard.
    if (flushed && closed) path_.clear();
    return flushed && closed;
}

void StdioFile::discard() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (regular_ && !path_.empty()) ::unlink(path_.c_str());
    path_.clear();
}

}  // namespace orvane::output
