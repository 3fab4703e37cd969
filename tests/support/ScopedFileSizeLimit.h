// A file size limit (RLIMIT_FSIZE) for the process, with SIGXFSZ ignored, so that a write
// beyond it fails with EFBIG the way a write to a full disk fails. The previous limit and
// signal disposition come back on restore() or at the end of the scope, also when an
// assertion leaves the test early. POSIX only.
#pragma once

#include <signal.h>
#include <sys/resource.h>

#include <cstdint>

namespace orvane::test {

class ScopedFileSizeLimit {
  public:
    ScopedFileSizeLimit() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        if (sigaction(SIGXFSZ, &ignore, &previous_) != 0) return;
        signalSaved_ = true;
        limitSaved_ = getrlimit(RLIMIT_FSIZE, &saved_) == 0;
    }
    ~ScopedFileSizeLimit() { restore(); }
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

    // Whether the signal is ignored and the previous limit is known.
    bool ready() const { return signalSaved_ && limitSaved_; }

    // Lets files grow to `bytes` at most; false when the limit cannot be set.
    bool set(uint64_t bytes) {
        if (!ready()) return false;
        rlimit limited = saved_;
        limited.rlim_cur = static_cast<rlim_t>(bytes);
        return setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }

    void restore() {
        if (limitSaved_) setrlimit(RLIMIT_FSIZE, &saved_);
        if (signalSaved_) sigaction(SIGXFSZ, &previous_, nullptr);
        limitSaved_ = signalSaved_ = false;
    }

  private:
    struct sigaction previous_ {};
    rlimit saved_{};
    bool signalSaved_ = false;
    bool limitSaved_ = false;
};

}  // namespace orvane::test
