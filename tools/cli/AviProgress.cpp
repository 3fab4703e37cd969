#include "AviProgress.h"

#include <sys/stat.h>

#include <cstring>
#include <fstream>

namespace cli {
namespace {
constexpr uint64_t kSuggestedBufferAt = 60;  // main header: one frame chunk with its header
constexpr uint64_t kStreamLengthAt = 140;    // stream header: frames in the file
constexpr uint64_t kFirstChunkAt = 12;       // after "RIFF", the size and "AVI "
constexpr int kMaxChunks = 16;
}  // namespace

bool AviProgress::readU32(uint64_t offset, uint32_t* value) const {
    std::ifstream in(path_, std::ios::binary);
    unsigned char b[4];
    if (!in.seekg(static_cast<std::streamoff>(offset)) ||
        !in.read(reinterpret_cast<char*>(b), sizeof b)) {
        return false;
    }
    *value = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
    return true;
}

bool AviProgress::readHeader() {
    if (dataStart_ != 0) return true;
    uint32_t chunk = 0;
    if (!readU32(kSuggestedBufferAt, &chunk) || chunk <= 8) return false;
    // Walk the top-level chunks to the "movi" list: writers put padding chunks before it.
    std::ifstream in(path_, std::ios::binary);
    uint64_t at = kFirstChunkAt;
    for (int i = 0; i < kMaxChunks; ++i) {
        char head[12];
        if (!in.seekg(static_cast<std::streamoff>(at)) || !in.read(head, sizeof head)) return false;
        const auto* b = reinterpret_cast<const unsigned char*>(head + 4);
        const uint64_t size =
            uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
        if (std::memcmp(head, "LIST", 4) == 0 && std::memcmp(head + 8, "movi", 4) == 0) {
            dataStart_ = at + 12;
            chunkBytes_ = chunk;
            return true;
        }
        at += 8 + size + (size & 1);
    }
    return false;
}

long AviProgress::frames() {
    struct stat st {};
    if (!readHeader() || ::stat(path_.c_str(), &st) != 0) return 0;
    const auto size = static_cast<uint64_t>(st.st_size);
    return size > dataStart_ ? static_cast<long>((size - dataStart_) / chunkBytes_) : 0;
}

bool AviProgress::finished() {
    uint32_t length = 0;
    return readU32(kStreamLengthAt, &length) && length != 0;
}

long AviProgress::finalFrames() {
    uint32_t length = 0;
    return readU32(kStreamLengthAt, &length) ? static_cast<long>(length) : 0;
}

}  // namespace cli
