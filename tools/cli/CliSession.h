// A library session for one command: made with a message window that collects the library's
// error messages, released on every path.
#pragma once

#include <string>
#include <vector>

#include "OrvaneSdk.h"

namespace cli {

class CliSession {
  public:
    CliSession();
    ~CliSession();
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    // False when no session could be made (reported already).
    bool ok() const { return handle_ != 0; }
    ORVANE_HANDLE handle() const { return handle_; }
    HWND window() const { return window_; }

    // Names of the attached cameras (Orvane_EnumDevice).
    std::vector<std::string> cameras() const;

    // Makes sure camera DEVICE (or the first one, for -1) is open. Reports why not, with the
    // blocked-node hint where it applies, and returns false.
    bool openCamera(int device);

    // Reports a failed call: WHAT, the newest library error and EXTRA (an OS reason).
    // Returns the exit status for a failure.
    int report(const std::string& what, const std::string& extra = {}) const;

    // Removes queued library messages (errors of earlier calls).
    void drainMessages() const;

  private:
    HWND window_ = nullptr;
    ORVANE_HANDLE handle_ = 0;
};

}  // namespace cli
