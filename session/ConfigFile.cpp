#include "session/ConfigFile.h"

#include <fstream>

namespace orvane::session::settings {

std::vector<ConfigEntry> DecodeConfigData(const uint8_t* data, size_t size) {
    std::vector<ConfigEntry> entries;
    if (data == nullptr) return entries;
    auto le32 = [data](size_t at) {
        return static_cast<int32_t>(data[at] | data[at + 1] << 8 | data[at + 2] << 16 |
                                    static_cast<uint32_t>(data[at + 3]) << 24);
    };
    entries.reserve(size / 8);
    for (size_t at = 0; size - at >= 8; at += 8)
        entries.push_back(ConfigEntry{le32(at), le32(at + 4)});
    return entries;
}

bool ReadConfigFile(const char* path, std::vector<ConfigEntry>& entries) {
    if (path == nullptr) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    // Read in blocks up to the limit rather than asking for the size: pipes and device
    // nodes have none.
    std::vector<uint8_t> bytes;
    char block[65536];
    for (;;) {
        in.read(block, sizeof block);
        const std::streamsize got = in.gcount();
        if (got > 0) {
            if (bytes.size() + static_cast<size_t>(got) > kMaxConfigFileBytes) return false;
            bytes.insert(bytes.end(), block, block + got);
        }
        if (!in) break;
    }
    if (in.bad()) return false;
    entries = DecodeConfigData(bytes.data(), bytes.size());
    return true;
}

}  // namespace orvane::session::settings
