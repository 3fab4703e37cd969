// Helpers of the output tests: predictable images and the external
// decoders (Python with Pillow/NumPy, pngcheck, libtiff tools, djpeg, ffprobe/ffmpeg).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/CDibImage.h"
#include "support/TestFiles.h"

namespace orvane::test {

// Sample c of pixel (x, y) of the test pattern, for samples of 8 or 16 bits.
uint16_t patternSample(int x, int y, int c, int sampleBits);
// An image of the given size filled with patternSample (little-endian 16-bit samples).
imaging::CDibImage patternImage(int width, int height, int bitCount);

bool fileExists(const std::string& path);
std::string testPath(const std::string& name);

// Runs a shell command; returns its exit status, stdout in `out`.
int runCommand(const std::string& command, std::string& out);
bool haveTool(const std::string& name);
// A Python 3 with Pillow and NumPy, or an empty string.
const std::string& pythonWithPillow();

struct Decoded {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::string extra;  // bit depth or Pillow mode
    std::vector<long> samples;
    long at(int x, int y, int c) const {
        return samples[(static_cast<size_t>(y) * width + x) * channels + c];
    }
};
// Runs tests/output/decode.py KIND FILE; false (with a message) when it failed.
bool decodeWith(const std::string& kind, const std::string& path, Decoded& out, std::string& error);

}  // namespace orvane::test

// Skips the running test when an external tool is missing (CI installs them all).
#define ORVANE_REQUIRE_TOOL(name)                                                           \
    do {                                                                                    \
        if (!::orvane::test::haveTool(name)) GTEST_SKIP() << (name) << " is not installed"; \
    } while (0)
#define ORVANE_REQUIRE_PILLOW()                                                                   \
    do {                                                                                          \
        if (::orvane::test::pythonWithPillow().empty())                                           \
            GTEST_SKIP() << "python3 with Pillow and NumPy (python3-pil, python3-numpy) missing"; \
    } while (0)
