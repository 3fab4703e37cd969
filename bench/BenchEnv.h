// Benchmarks run sessions like an application would; they keep their settings and shared
// memory to themselves so that a run never changes the user's stored settings.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <string>

namespace orvane::bench {

// Points the settings directory and the shared-memory name at this process's own.
inline void isolateSettings() {
    const std::string id = std::to_string(getpid());
    setenv("XDG_CONFIG_HOME", ("/tmp/orvane-bench-" + id).c_str(), 1);
    setenv("ORVANE_SHM_NAME", ("/orvane-bench-" + id).c_str(), 1);
}

}  // namespace orvane::bench
