// The ORVANE_VIRTUAL_CAMERAS syntax: a comma-separated list of cameras, each
// PID[:option=value]... with PID in hexadecimal (30f0), or a bare count N for N cameras of
// 30f0 (an item of decimal digits up to 32 is a count, anything else a product ID).
// Options: pace=realtime|fast, scene=chart|flat:V|sites:R/G/B|ramp, hot=N, dead=N,
// fail_after=N, drop=N, unplug_after=N, and the hostile-device options of DeviceFaults.h.
//
// Threads: no shared state.
#pragma once

#include <string>
#include <vector>

#include "sim/VirtualCamera.h"

namespace orvane::sim {

// Parses a camera list. False (with a message) on a malformed list.
bool parseCameraList(const std::string& text, std::vector<CameraOptions>* cameras,
                     std::string* error);

}  // namespace orvane::sim
