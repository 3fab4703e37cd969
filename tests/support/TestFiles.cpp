#include "TestFiles.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace orvane::test {

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint32_t>(b.at(at)) | static_cast<uint32_t>(b.at(at + 1)) << 8 |
           static_cast<uint32_t>(b.at(at + 2)) << 16 | static_cast<uint32_t>(b.at(at + 3)) << 24;
}

uint16_t le16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b.at(at) | b.at(at + 1) << 8);
}

std::string fourccAt(const std::vector<uint8_t>& b, size_t at) {
    if (at + 4 > b.size()) return std::string();
    return std::string(reinterpret_cast<const char*>(b.data() + at), 4);
}

std::string artifactDir() {
    namespace fs = std::filesystem;
    const char* env = std::getenv("ORVANE_ARTIFACT_DIR");
    const fs::path dir =
        env != nullptr && *env != '\0' ? fs::path(env) : fs::current_path() / "test-artifacts";
    fs::create_directories(dir);
    return dir.string();
}

}  // namespace orvane::test
