// How orvane-cli reports failures: one line naming what failed, the library's error code and
// its meaning, and the operating system's reason where there is one. Failures exit with 1,
// mistakes on the command line with 2.
#pragma once

#include <string>

namespace cli {

inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// "library error 8 (no frame was obtained)"; empty for code 0, which names no reason.
std::string libraryError(int code);

// Prints "orvane-cli: WHAT failed: DETAIL" to stderr and returns kExitFailure.
int fail(const std::string& what, const std::string& detail);

// Prints "orvane-cli: MESSAGE" and a pointer to --help to stderr and returns kExitUsage.
int usageError(const std::string& message);

// Why PATH cannot be written ("cannot write PATH: No such file or directory"), found by
// trying to open it for appending; empty when it can be. A file the probe creates is removed.
std::string whyCannotWrite(const std::string& path);

// Why PATH cannot be read, or empty when it can be.
std::string whyCannotRead(const std::string& path);

// Joins the non-empty parts with "; ".
std::string joinReasons(const std::string& a, const std::string& b);

}  // namespace cli
