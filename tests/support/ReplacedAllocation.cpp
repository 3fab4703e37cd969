#include "ReplacedAllocation.h"

#include <cstdlib>
#include <new>

// GCC sees through inlined factories and takes the malloc-backed replacements for a mismatch
// with the implicit operator new it would otherwise pair.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
void* allocateNoThrow(std::size_t n) noexcept {
    try {
        return orvane::test::replacedAllocate(n);
    } catch (...) {
        return nullptr;
    }
}
}  // namespace

// Every plain form is replaced, so that no block made by a sanitizer's or the standard
// library's own operator new is ever handed to free() here.
void* operator new(std::size_t n) {
    return orvane::test::replacedAllocate(n);
}
void* operator new[](std::size_t n) {
    return orvane::test::replacedAllocate(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return allocateNoThrow(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return allocateNoThrow(n);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
