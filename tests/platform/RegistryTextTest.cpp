// The settings file's text form: what parses is saved as a text that parses back to the same
// tree (the property the settings-file fuzzer checks on random input).
#include <gtest/gtest.h>

#include "platform/RegistryText.h"

namespace {

using namespace orvane::platform::regtext;

TEST(RegistryText, AwkwardNamesAndTypesSurviveASave) {
    const std::string text =
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
        "; a comment\r\n"
        "[HKEY_CURRENT_USER\\Software\\A]\r\n"
        "@=\"default\"\r\n"
        "\"Quote \\\" and \\\\ backslash\"=dword:0000000a\r\n"
        "\"Blob\"=hex:01,02,\\\r\n"
        "  03\r\n"
        "\"Multi\"=hex(7):41,00,00,00\r\n"
        "\"Empty\"=hex:\r\n"
        "[HKEY_CURRENT_USER\\Software\\A]]\\B]\r\n";
    const auto tree = parseTree(text);
    ASSERT_TRUE(tree);
    const Key& a = tree->at(lower("HKEY_CURRENT_USER\\Software\\A"));
    EXPECT_EQ(a.values.at(lower("Blob")).data, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(a.values.at(lower("Quote \" and \\ backslash")).type, kRegDword);
    EXPECT_EQ(a.values.at(lower("Multi")).type, 7u);
    EXPECT_EQ(a.values.at("").type, kRegSz);
    const auto again = parseTree(serialize(*tree));
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, *tree);
}

TEST(RegistryText, MalformedTextIsRefused) {
    const std::string header = "Windows Registry Editor Version 5.00\n";
    for (const char* body :
         {"\"x\"=dword:1\n", "[HKEY_CURRENT_USER\\A]\n\"x\"=dword:0000000g\n",
          "[HKEY_CURRENT_USER\\A]\n\"x\"=hex:1,02\n",
          "[HKEY_CURRENT_USER\\A]\n\"x=dword:00000001\n", "[-HKEY_CURRENT_USER\\A]\n",
          "[HKEY_CURRENT_USER\\A]\n\"x\"=hex(7:00\n"})
        EXPECT_FALSE(parseTree(header + body)) << body;
    EXPECT_FALSE(parseTree("REGEDIT4\n"));
    EXPECT_TRUE(parseTree(""));
}

// A chain of n keys below the hive: "HKEY_CURRENT_USER\\k\\k...".
std::string chain(size_t levels, size_t nameLength = 1) {
    std::string path(kHive);
    for (size_t i = 1; i < levels; ++i) path += "\\" + std::string(nameLength, 'k');
    return path;
}

TEST(RegistryText, KeyPathsAreHeldToTheRegistrysLimits) {
    EXPECT_TRUE(keyPathAllowed(chain(kMaxKeyDepth)));
    EXPECT_FALSE(keyPathAllowed(chain(kMaxKeyDepth + 1)));
    EXPECT_TRUE(keyPathAllowed(chain(3, kMaxKeyNameLength)));
    EXPECT_FALSE(keyPathAllowed(chain(3, kMaxKeyNameLength + 1)));
}

TEST(RegistryText, ASectionBeyondTheLimitsIsPassedOverAndTheRestKept) {
    const std::string text = std::string(kHeader) + "\n[" + chain(kMaxKeyDepth + 1) +
                             "]\n\"Lost\"=dword:00000001\n[HKEY_CURRENT_USER\\A]\n"
                             "\"Kept\"=dword:00000002\n[" +
                             chain(2, kMaxKeyNameLength + 1) + "]\n\"Lost\"=hex:01\n";
    const auto tree = parseTree(text);
    ASSERT_TRUE(tree);
    // The hive itself and the one allowed key: nothing of the two refused sections.
    EXPECT_EQ(tree->size(), 2u);
    EXPECT_EQ(tree->at(lower("HKEY_CURRENT_USER\\A")).values.size(), 1u);
}

TEST(RegistryText, EveryKeyHasItsParentsWhateverTheOrderOfSections) {
    const std::string text = std::string(kHeader) +
                             "\n[HKEY_CURRENT_USER\\A\\B\\C]\n[HKEY_CURRENT_USER\\A\\B2\\C]\n"
                             "[HKEY_CURRENT_USER\\A]\n[HKEY_CURRENT_USER\\X\\Y]\n";
    const auto tree = parseTree(text);
    ASSERT_TRUE(tree);
    for (const auto& [lowerPath, key] : *tree) {
        const size_t cut = lowerPath.rfind('\\');
        if (cut != std::string::npos) {
            EXPECT_TRUE(tree->count(lowerPath.substr(0, cut))) << key.path;
        }
    }
    EXPECT_EQ(tree->size(), 8u);  // hive, A, A\B, A\B\C, A\B2, A\B2\C, X, X\Y
}

}  // namespace
