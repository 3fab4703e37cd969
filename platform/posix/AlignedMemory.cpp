#include "platform/AlignedMemory.h"

#include <cstdint>
#include <cstdlib>

namespace orvane::platform {

void* allocateAligned(std::size_t alignment, std::size_t bytes) noexcept {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return nullptr;
    const std::size_t wanted = bytes == 0 ? 1 : bytes;
    if (wanted > SIZE_MAX - (alignment - 1)) return nullptr;
    const std::size_t rounded = (wanted + alignment - 1) / alignment * alignment;
    return std::aligned_alloc(alignment, rounded);
}

void freeAligned(void* block) noexcept {
    std::free(block);
}

}  // namespace orvane::platform
