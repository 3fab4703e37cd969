// Property checks of the fuzz targets: a broken property aborts, so that the fuzzer keeps the
// input, with a message naming the target's reader and the property.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace orvane::fuzz {

inline void check(bool ok, const char* reader, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "%s: %s\n", reader, what);
    std::abort();
}

}  // namespace orvane::fuzz
