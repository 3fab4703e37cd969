// Names of the camera and image settings (the library's filter identifiers) and number parsing.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace cli {

// Filter names as the named setters and getters know them, with their identifiers, in the
// order they are listed to the user. A few have a second, shorter name.
const std::vector<std::pair<std::string, int>>& settingNames();

// Identifier of a setting given by name (any case) or number; -1 for an unknown name.
int settingId(const std::string& nameOrNumber);

// Comma-separated list of the setting names, for messages.
std::string settingList();

// Parses a whole decimal, hexadecimal (0x) or octal number; false when TEXT is not one.
bool parseInt(const std::string& text, long* value);

// Parses a non-negative decimal number with an optional fraction (seconds).
bool parseSeconds(const std::string& text, double* value);

}  // namespace cli
