// The process-wide handle registry: maps each handle value to its camera session.
//
// A session found by Lookup stays alive as long as the returned reference is held, even if
// another thread releases the handle meanwhile; the last holder destroys it. So an export
// that is running when the application releases its handle on another thread finishes on
// a live session, and the release takes effect when it returns.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "api/CTRing.h"
#include "platform/MessageWindow.h"

namespace orvane::session {
class COrvane;
}

namespace orvane::api {

struct CSDKDATA {
    uint64_t key = 0;  // The handle, zero-extended; compared on its low 32 bits.
    std::shared_ptr<session::COrvane> session;
};

class CSdkChain : public CTRing<CSDKDATA> {
  public:
    // The one registry of the process.
    static CSdkChain& instance();

    CSdkChain() = default;
    // Releases the sessions still registered, stopping their threads, except when the
    // library is unloaded under the loader lock: their threads could not be joined there, so
    // the sessions are left to the system.
    ~CSdkChain() override;

    // Makes a session and files it under a new handle value that is neither 0 nor the
    // value of a live handle. Returns the handle, or 0 when no session could be made.
    uint32_t CreateSession();

    // The session of handle, or null for an unknown or released handle. Any thread.
    std::shared_ptr<session::COrvane> Lookup(uint32_t handle);

    // Removes the handle; its session is destroyed once no running export uses it.
    // Returns false for an unknown handle. Any thread.
    bool Release(uint32_t handle);

    int32_t LiveCount();

  private:
    std::mutex lock_;  // Guards the ring (every walk moves its head).
};

}  // namespace orvane::api
