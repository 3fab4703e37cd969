#include "platform/AlignedMemory.h"

#include <cstdint>

namespace orvane::platform {

std::size_t alignedBlockBytes(std::size_t alignment, std::size_t bytes) noexcept {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return 0;
    const std::size_t wanted = bytes == 0 ? 1 : bytes;
    if (wanted > SIZE_MAX - (alignment - 1)) return 0;
    return (wanted + alignment - 1) / alignment * alignment;
}

}  // namespace orvane::platform
