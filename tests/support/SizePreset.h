// Stored capture-window presets of camera 0, written the way the stream-format sheet stores
// them, for tests that start sessions on a window other than the full sensor.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Registry.h"

namespace orvane::test {

inline constexpr const char* kCamera0Key = "Software\\Kelmor\\OrvaneA063Q7Sdk\\Camera_00";

// Preset `number` (0 to 9): a w x h window at (x, y) of the full 3072 x 2048 sensor, four
// buffers.
inline void writeSizePreset(int number, int w, int h, int x = 0, int y = 0) {
    platform::RegistryKey key = platform::RegistryKey::create(std::string(kCamera0Key) +
                                                              "\\Size_0" + std::to_string(number));
    key.setDword("TH", 3072);
    key.setDword("TV", 2048);
    key.setDword("EH", static_cast<uint32_t>(w));
    key.setDword("EV", static_cast<uint32_t>(h));
    key.setDword("EHS", static_cast<uint32_t>(x));
    key.setDword("EVS", static_cast<uint32_t>(y));
    key.setDword("Buf", 4);
}

}  // namespace orvane::test
