#include "session/ErrorHistory.h"

#include <algorithm>

namespace orvane::session {

void ErrorHistory::record(int code) {
    {
        platform::LockGuard lock(mutex_);
        std::copy_backward(codes_.begin(), codes_.end() - 1, codes_.end());
        codes_[0] = code;
    }
    // Posted outside the lock: the queue has its own, and a reader woken by the post may
    // immediately read the history.
    if (auto window = window_.load(); window != nullptr)
        platform::postMessage(window, kMsgError, 0, code);
}

void ErrorHistory::postOnly(int code) const {
    platform::postMessage(window_.load(), kMsgError, 0, code);
}

int ErrorHistory::pop() {
    platform::LockGuard lock(mutex_);
    const int newest = codes_[0];
    std::copy(codes_.begin() + 1, codes_.end(), codes_.begin());
    codes_[kDepth - 1] = 0;
    return newest;
}

std::array<int, ErrorHistory::kDepth> ErrorHistory::snapshot() const {
    platform::LockGuard lock(mutex_);
    return codes_;
}

}  // namespace orvane::session
