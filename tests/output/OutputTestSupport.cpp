#include "OutputTestSupport.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "support/TestEnv.h"

namespace orvane::test {

uint16_t patternSample(int x, int y, int c, int sampleBits) {
    if (sampleBits == 16) return static_cast<uint16_t>(x * 4663 + y * 9127 + c * 20011 + 0x1234);
    return static_cast<uint16_t>((x * 37 + y * 11 + c * 83 + 5) & 0xFF);
}

imaging::CDibImage patternImage(int width, int height, int bitCount) {
    imaging::CDibImage image;
    image.Create(width, height, bitCount);
    const int sampleBits = (bitCount == 16 || bitCount >= 48) ? 16 : 8;
    const int channels = bitCount / sampleBits;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = image.view().row(y);
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < channels; ++c) {
                const uint16_t v = patternSample(x, y, c, sampleBits);
                if (sampleBits == 16) {
                    row[(x * channels + c) * 2] = static_cast<uint8_t>(v);
                    row[(x * channels + c) * 2 + 1] = static_cast<uint8_t>(v >> 8);
                } else {
                    row[x * channels + c] = static_cast<uint8_t>(v);
                }
            }
        }
    }
    return image;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string testPath(const std::string& name) {
    return testDir() + "/" + name;
}

int runCommand(const std::string& command, std::string& out) {
    out.clear();
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool haveTool(const std::string& name) {
    std::string out;
    return runCommand("command -v " + name + " >/dev/null 2>&1", out) == 0;
}

const std::string& pythonWithPillow() {
    static const std::string python = [] {
        // The system interpreter first: that is where the Debian packages install.
        for (const char* candidate : {"/usr/bin/python3", "python3"}) {
            std::string out;
            if (runCommand(std::string(candidate) + " -c 'import PIL, numpy' 2>/dev/null", out) ==
                0) {
                return std::string(candidate);
            }
        }
        return std::string();
    }();
    return python;
}

bool decodeWith(const std::string& kind, const std::string& path, Decoded& out,
                std::string& error) {
    const std::string python = pythonWithPillow().empty() ? "python3" : pythonWithPillow();
    std::string text;
    const std::string command =
        python + " " ORVANE_OUTPUT_TEST_SCRIPTS "/decode.py " + kind + " '" + path + "' 2>&1";
    if (runCommand(command, text) != 0) {
        error = text;
        return false;
    }
    std::istringstream in(text);
    in >> out.width >> out.height >> out.channels >> out.extra;
    out.samples.clear();
    long v = 0;
    while (in >> v) out.samples.push_back(v);
    const size_t expected = static_cast<size_t>(out.width) * out.height * out.channels;
    if (out.samples.size() != expected) {
        error = "decoder gave " + std::to_string(out.samples.size()) + " samples, expected " +
                std::to_string(expected) + ": " + text.substr(0, 200);
        return false;
    }
    return true;
}

}  // namespace orvane::test
