// Small file and byte helpers shared by the test binaries: whole-file reads, little-endian
// fields of stored files, and the directory where tests keep artifacts for people to look at.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane::test {

// The whole file, or an empty vector when it cannot be read.
std::vector<uint8_t> readFile(const std::string& path);

// Little-endian fields at byte offset `at`; out-of-range offsets throw std::out_of_range,
// which fails the test instead of reading past the buffer.
uint32_t le32(const std::vector<uint8_t>& b, size_t at);
uint16_t le16(const std::vector<uint8_t>& b, size_t at);
// The four characters at `at` (a RIFF chunk identifier, for instance).
std::string fourccAt(const std::vector<uint8_t>& b, size_t at);

// Where screenshots and other artifacts are kept: $ORVANE_ARTIFACT_DIR, or test-artifacts in
// the working directory. Created on first use.
std::string artifactDir();

}  // namespace orvane::test
