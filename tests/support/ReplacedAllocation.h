// Replacement of every plain form of the global allocation functions, for a test or benchmark
// that must watch or fail the process's allocations (the library's included: the executable's
// operators take the place of the standard library's everywhere).
//
// Add ReplacedAllocation.cpp to exactly one executable's sources, and define in that
// executable the hook every allocation goes through:
//     void* orvane::test::replacedAllocate(std::size_t bytes);
// It returns a block from std::malloc (freed with std::free) or throws std::bad_alloc; the
// nothrow forms turn the throw into nullptr. Never link ReplacedAllocation.cpp into a library:
// every program that linked it would have its allocation replaced.
#pragma once

#include <cstddef>

namespace orvane::test {

void* replacedAllocate(std::size_t bytes);

}  // namespace orvane::test
