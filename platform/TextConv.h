// Conversions between the wide strings of the W exports (UTF-16) and the narrow strings
// the library works with internally (UTF-8, the POSIX counterpart of the ANSI code page).
#pragma once

#include <cstddef>
#include <string>

namespace orvane::platform {

// Size of the narrow buffer a wide path is converted into (terminator included).
constexpr size_t kAnsiBufferSize = 1024;

// Converts a null-terminated UTF-16 string into out (capacity bytes, terminator included).
// Fails on a null input, an unpaired surrogate, or a result that does not fit; out then
// holds an empty string (when capacity > 0).
bool wideToAnsi(const char16_t* wide, char* out, size_t capacity);

// Converts a null-terminated UTF-8 string into out (capacity UTF-16 units, terminator
// included). Returns the number of units written including the terminator, or 0 on invalid
// UTF-8 or when the result does not fit.
size_t ansiToWide(const char* narrow, char16_t* out, size_t capacity);

}  // namespace orvane::platform
