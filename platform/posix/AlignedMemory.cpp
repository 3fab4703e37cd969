#include "platform/AlignedMemory.h"

#include <cstdint>
#include <cstdlib>

namespace orvane::platform {

void* allocateAligned(std::size_t alignment, std::size_t bytes) noexcept {
    const std::size_t rounded = alignedBlockBytes(alignment, bytes);
    if (rounded == 0) return nullptr;
    return std::aligned_alloc(alignment, rounded);
}

void freeAligned(void* block) noexcept {
    std::free(block);
}

}  // namespace orvane::platform
