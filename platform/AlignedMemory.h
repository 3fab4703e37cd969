// Aligned heap blocks for pixel buffers.
//
// The C runtimes differ: POSIX frees std::aligned_alloc blocks with std::free, the Windows
// runtime has no std::aligned_alloc and needs _aligned_malloc / _aligned_free. Callers pair
// these two functions and never mix them with malloc/free.
#pragma once

#include <cstddef>

namespace orvane::platform {

// `alignment` is a power of two no smaller than sizeof(void*); `bytes` is rounded up to a
// multiple of it. Returns nullptr when memory is exhausted or the arguments are invalid.
void* allocateAligned(std::size_t alignment, std::size_t bytes) noexcept;

// The size of the block allocateAligned asks the system for: `bytes` (at least 1) rounded up
// to the alignment, or 0 when the arguments are invalid or the size would overflow.
std::size_t alignedBlockBytes(std::size_t alignment, std::size_t bytes) noexcept;

// Releases a block from allocateAligned; nullptr is a no-op.
void freeAligned(void* block) noexcept;

}  // namespace orvane::platform
