#include "api/CSdkChain.h"

#include <cstdlib>
#include <new>

#include "platform/LibraryUnload.h"
#include "platform/Time.h"
#include "session/COrvane.h"

namespace orvane::api {

CSdkChain& CSdkChain::instance() {
    static CSdkChain chain;
    return chain;
}

CSdkChain::~CSdkChain() {
    // No lock either: a thread stopped at process end may have held it.
    if (platform::unloadingUnderLoaderLock()) Abandon();
}

uint32_t CSdkChain::CreateSession() {
    std::shared_ptr<session::COrvane> created;
    try {
        created = std::make_shared<session::COrvane>();
    } catch (const std::bad_alloc&) {
        return 0;
    }
    std::lock_guard lock(lock_);
    uint32_t h = platform::getTickCount() + static_cast<uint32_t>(std::rand()) +
                 static_cast<uint32_t>(Count());
    // The sum can wrap to 0 or repeat a live handle; either would make two sessions
    // indistinguishable (or one unreachable), so step to the next free value.
    while (h == 0 || Find(h)) ++h;
    try {
        Insert(CSDKDATA{h, std::move(created)});
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return h;
}

std::shared_ptr<session::COrvane> CSdkChain::Lookup(uint32_t handle) {
    std::lock_guard lock(lock_);
    if (!Find(handle)) return nullptr;
    return Head()->element.session;
}

bool CSdkChain::Release(uint32_t handle) {
    std::shared_ptr<session::COrvane> session;
    {
        std::lock_guard lock(lock_);
        if (!Find(handle)) return false;
        session = std::move(Head()->element.session);
        RemoveHead();
    }
    // Destroyed here, outside the registry lock, unless an export still holds it.
    session.reset();
    return true;
}

int32_t CSdkChain::LiveCount() {
    std::lock_guard lock(lock_);
    return Count();
}

}  // namespace orvane::api
