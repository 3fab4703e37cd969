// Benchmarks run sessions like an application would; they keep their settings and shared
// memory to themselves so that a run never changes the user's stored settings.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <random>
#include <string>

namespace orvane::bench {

// Points the settings directory and the shared-memory name at this process's own.
inline void isolateSettings() {
    const std::string id = std::to_string(getpid());
    setenv("XDG_CONFIG_HOME", ("/tmp/orvane-bench-" + id).c_str(), 1);
    setenv("ORVANE_SHM_NAME", ("/orvane-bench-" + id).c_str(), 1);
}

// One sample of the benchmarks' camera scene at (x, y): a smooth triangle wave across the
// frame with noise and a few thousand stuck pixels, so that the filters see realistic data.
// Draws twice from `rng`, in scan order.
inline int sceneSample(int x, int y, std::mt19937& rng) {
    const int t = (x / 12 + y / 8) % 320;
    int v = 40 + (t < 160 ? t : 319 - t) + static_cast<int>(rng() % 16);
    if (rng() % 2000 == 0) v = 250;
    return v;
}

}  // namespace orvane::bench
