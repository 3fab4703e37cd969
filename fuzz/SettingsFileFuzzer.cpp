// The settings file parser. Beyond the sanitizers: whatever parses must serialise to a text
// that parses back to the same tree, or a save would change the settings it was given.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/RegistryText.h"

using namespace orvane::platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto tree = regtext::parseTree(text);
    if (!tree) return 0;
    const std::string again = regtext::serialize(*tree);
    const auto reparsed = regtext::parseTree(again);
    if (!reparsed || *reparsed != *tree) {
        std::fprintf(stderr, "settings text does not survive a save:\n%s\n", again.c_str());
        std::abort();
    }
    return 0;
}
