// What File does the same on every system: error keeping, the start of an open, and the
// loops over the system's partial reads and writes.
#include "platform/File.h"

#include <cerrno>
#include <cstdint>

namespace orvane::platform {

bool File::fail(int errnoValue) {
    error_ = errnoValue;
    errorText_ = errnoText(errnoValue);
    return false;
}

bool File::beginOpen(const char* path) {
    close();
    error_ = 0;
    errorText_.clear();
    if (path == nullptr || *path == '\0') return fail(ENOENT);
    return true;
}

bool File::readAll(void* out, size_t bytes) {
    auto* p = static_cast<uint8_t*>(out);
    while (bytes > 0) {
        const int64_t n = read(p, bytes);
        if (n < 0) return false;
        if (n == 0) return fail(EIO);  // ended early
        p += n;
        bytes -= static_cast<size_t>(n);
    }
    return true;
}

bool File::writeAllAt(uint64_t offset, const void* data, size_t bytes) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (bytes > 0) {
        const int64_t n = writeAt(offset, p, bytes);
        if (n < 0) return false;
        // A zero-byte write on a non-empty request means the device accepts no more.
        if (n == 0) return fail(ENOSPC);
        p += n;
        bytes -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

}  // namespace orvane::platform
