// The text form of the settings tree: the format of regedit exports ("Windows Registry Editor
// Version 5.00"), with [HKEY_CURRENT_USER\...] sections and dword:, hex:, hex(N): and quoted
// string values. Pure functions over strings, so the parser can be tested and fuzzed apart
// from the file handling in Registry.cpp.
//
// Threads: no shared state.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::platform::regtext {

inline constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
inline constexpr std::string_view kHive = "HKEY_CURRENT_USER";
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;

std::string lower(std::string_view s);

// The registry's own limits on a key path: each name at most 255 characters, at most 512
// levels (the hive counts as one). They also bound what one section of a settings file can
// cost: every level of a key is kept, and saved, as a full path of its own.
inline constexpr size_t kMaxKeyNameLength = 255;
inline constexpr size_t kMaxKeyDepth = 512;
bool keyPathAllowed(std::string_view path);

struct Value {
    std::string name;
    uint32_t type = kRegBinary;
    std::vector<uint8_t> data;
    bool operator==(const Value&) const = default;
};

struct Key {
    std::string path;                     // As first written, hive included.
    std::map<std::string, Value> values;  // By lower-case name.
    bool operator==(const Key&) const = default;
};

using Tree = std::map<std::string, Key>;  // By lower-case full path.

// Adds a key and every missing parent.
Key& ensureKey(Tree& tree, const std::string& path);

// The tree a settings file holds; nullopt when the text is not one (an empty text is an
// empty tree). A section whose path is beyond the key limits is passed over with its values,
// so the rest of the file is kept.
std::optional<Tree> parseTree(const std::string& text);

// The text of a tree; parseTree gives the same tree back.
std::string serialize(const Tree& tree);

}  // namespace orvane::platform::regtext
