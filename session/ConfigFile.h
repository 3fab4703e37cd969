// The configuration file read by Orvane_LoadConfigFileA: a flat file of 8-byte records, each
// two little-endian signed 32-bit values, without a header; trailing 1 to 7 bytes are
// ignored.
//
// Threads: no shared state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvane::session {

struct ConfigEntry {
    int32_t first = 0;
    int32_t second = 0;
    bool operator==(const ConfigEntry&) const = default;
};

namespace settings {

// Larger files are refused: a configuration is a handful of records, and reading a device
// node or an endless pipe named by mistake must not take the process's memory with it.
inline constexpr size_t kMaxConfigFileBytes = size_t{64} << 20;

// The records of a file image held in memory, in file order.
std::vector<ConfigEntry> DecodeConfigData(const uint8_t* data, size_t size);

// Reads the file at `path` into `entries` (replacing them). False, with `entries` untouched,
// when the file cannot be opened or read or is larger than kMaxConfigFileBytes.
bool ReadConfigFile(const char* path, std::vector<ConfigEntry>& entries);

}  // namespace settings
}  // namespace orvane::session
