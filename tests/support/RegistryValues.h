// Stored values as the tests read them back: nothing when the value is missing or of another
// type, otherwise the value.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

namespace orvane::test {

inline std::optional<uint32_t> dwordOf(const platform::RegistryKey& key, std::string_view name) {
    uint32_t v = 0;
    if (!key.queryDword(name, &v)) return std::nullopt;
    return v;
}

inline std::optional<std::vector<uint8_t>> binaryOf(const platform::RegistryKey& key,
                                                    std::string_view name) {
    std::vector<uint8_t> v;
    if (!key.queryBinary(name, &v)) return std::nullopt;
    return v;
}

}  // namespace orvane::test
