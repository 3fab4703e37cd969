#include "platform/LibraryUnload.h"

#include <atomic>

namespace orvane::platform {
namespace {

std::atomic<bool> underLoaderLock{false};

}  // namespace

void markUnloadingUnderLoaderLock() noexcept {
    underLoaderLock.store(true, std::memory_order_release);
}

bool unloadingUnderLoaderLock() noexcept {
    return underLoaderLock.load(std::memory_order_acquire);
}

}  // namespace orvane::platform
