#include "platform/AlignedMemory.h"

#include <malloc.h>

#include <cstdint>

namespace orvane::platform {

// The Windows runtime has no std::aligned_alloc: its aligned blocks come from
// _aligned_malloc and must go back through _aligned_free.
void* allocateAligned(std::size_t alignment, std::size_t bytes) noexcept {
    const std::size_t rounded = alignedBlockBytes(alignment, bytes);
    if (rounded == 0) return nullptr;
    return _aligned_malloc(rounded, alignment);
}

void freeAligned(void* block) noexcept {
    _aligned_free(block);
}

}  // namespace orvane::platform
