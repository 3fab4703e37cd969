#include "output/FileIo.h"

#include <cerrno>

namespace orvane::output {

namespace {

// Large stdio buffer: the encoders hand over small pieces, the disk prefers large ones.
constexpr size_t kStdioBufferBytes = size_t{1} << 20;

}  // namespace

void removeRegularFile(const char* path) {
    if (platform::isRegularFile(path)) platform::removeFile(path);
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
    if (!file_.open(path, platform::FileMode::WriteCreate)) {
        error_ = file_.error();
        return false;
    }
    regular_ = file_.isRegular();
    path_ = path;
    return true;
}

bool OutputFile::fail(int err) {
    if (error_ == 0) error_ = err != 0 ? err : EIO;
    return false;
}

bool OutputFile::writeAt(uint64_t offset, const void* data, size_t bytes) {
    if (!file_.isOpen()) return fail(EBADF);
    if (error_ != 0) return false;
    return file_.writeAllAt(offset, data, bytes) || fail(file_.error());
}

bool OutputFile::append(const void* data, size_t bytes) {
    if (!writeAt(position_, data, bytes)) return false;
    position_ += bytes;
    return true;
}

bool OutputFile::append2(const void* a, size_t aBytes, const void* b, size_t bBytes) {
    if (!file_.isOpen()) return fail(EBADF);
    if (error_ != 0) return false;
    size_t total = aBytes + bBytes;
    const int64_t n = file_.writeAt2(position_, a, aBytes, b, bBytes);
    if (n < 0 && file_.error() != EINTR) return fail(file_.error());
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
    if (!file_.isOpen()) return false;
    if (regular_ && !file_.setSize(length)) return false;
    position_ = length;
    return true;
}

bool OutputFile::close() {
    if (file_.isOpen() && !file_.close()) fail(file_.error());
    // A file closed cleanly is no longer ours to discard.
    if (error_ == 0) path_.clear();
    return error_ == 0;
}

bool OutputFile::commit() {
    if (ok() && close()) return true;
    discard();
    return false;
}

void OutputFile::discard() {
    file_.close();
    if (regular_ && !path_.empty()) platform::removeFile(path_.c_str());
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
    regular_ = platform::isRegularStream(file_);
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

bool StdioFile::commit(bool encoded) {
    if (encoded && finish()) return true;
    discard();
    return false;
}

void StdioFile::discard() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (regular_ && !path_.empty()) platform::removeFile(path_.c_str());
    path_.clear();
}

}  // namespace orvane::output
