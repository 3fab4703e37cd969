// The configuration file decoder and reader against an independent reading of the records.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "session/ConfigFile.h"
#include "support/TestEnv.h"

namespace {

using orvane::session::ConfigEntry;
using namespace orvane::session::settings;

TEST(ConfigFile, RecordsAreLittleEndianPairsAndTrailingBytesAreIgnored) {
    const std::vector<uint8_t> bytes = {0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00,
                                        0x00, 0x80, 0x78, 0x56, 0x34, 0x12, 0x09, 0x09, 0x09};
    const std::vector<ConfigEntry> expected = {{1, -1}, {INT32_MIN, 0x12345678}};
    EXPECT_EQ(DecodeConfigData(bytes.data(), bytes.size()), expected);
    EXPECT_TRUE(DecodeConfigData(bytes.data(), 7).empty());
    EXPECT_TRUE(DecodeConfigData(nullptr, 16).empty());

    const std::string path = orvane::test::testDir() + "/config.bin";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    std::vector<ConfigEntry> entries{{7, 7}};
    ASSERT_TRUE(ReadConfigFile(path.c_str(), entries));
    EXPECT_EQ(entries, expected);
}

// A device node or pipe named by mistake never ends: the reader stops at its limit instead of
// reading until the memory is gone, and leaves the entries as they were.
TEST(ConfigFile, EndlessInputIsRefused) {
    std::vector<ConfigEntry> entries{{7, 7}};
    EXPECT_FALSE(ReadConfigFile("/dev/zero", entries));
    EXPECT_EQ(entries, (std::vector<ConfigEntry>{{7, 7}}));
    EXPECT_FALSE(ReadConfigFile("/nonexistent/config.bin", entries));
}

}  // namespace
