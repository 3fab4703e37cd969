// The settings file: values survive round trips and other processes, concurrent writers
// in two processes keep each other's values, and neither a crash nor a damaged file loses
// the settings that were already stored.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/Registry.h"

namespace {

using orvane::platform::registryFilePath;
using orvane::platform::RegistryKey;

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(Registry, ValuesRoundTripAndLandInRegeditFormat) {
    {
        RegistryKey key = RegistryKey::create("Software\\Kelmor\\OrvaneA063Q7Sdk\\Camera_00");
        ASSERT_TRUE(key.valid());
        EXPECT_TRUE(key.setDword("Color", 2));
        EXPECT_TRUE(key.setDword("Negative", static_cast<uint32_t>(-5)));
        const uint8_t blob[] = {1, 2, 0xFE};
        EXPECT_TRUE(key.setBinary("Blob", blob, sizeof blob));
        uint32_t v = 0;
        EXPECT_TRUE(key.queryDword("Color", &v)) << "a key sees its own pending writes";
        EXPECT_EQ(v, 2u);
    }
    const std::string text = readAll(registryFilePath());
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00", 0), 0u);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Kelmor\\OrvaneA063Q7Sdk\\Camera_00]"),
              std::string::npos);
    EXPECT_NE(text.find("\"Color\"=dword:00000002"), std::string::npos);
    EXPECT_NE(text.find("\"Blob\"=hex:01,02,fe"), std::string::npos);

    RegistryKey key = RegistryKey::open("software\\kelmor\\orvanea063q7sdk\\camera_00");
    ASSERT_TRUE(key.valid()) << "names compare case-insensitively";
    uint32_t v = 0;
    EXPECT_TRUE(key.queryDword("color", &v));
    EXPECT_EQ(v, 2u);
    EXPECT_TRUE(key.queryDword("Negative", &v));
    EXPECT_EQ(static_cast<int32_t>(v), -5);
    std::vector<uint8_t> blob;
    EXPECT_TRUE(key.queryBinary("Blob", &blob));
    EXPECT_EQ(blob, (std::vector<uint8_t>{1, 2, 0xFE}));
    EXPECT_FALSE(key.queryDword("Blob", &v)) << "a 3-byte value is not a dword";
    EXPECT_FALSE(key.queryDword("Missing", &v));
}

TEST(Registry, KeysEnumerateAndDelete) {
    RegistryKey root = RegistryKey::create("Software\\Test");
    ASSERT_TRUE(root.createSubKey("Size_00").valid());
    ASSERT_TRUE(root.createSubKey("Size_01").valid());
    ASSERT_TRUE(RegistryKey::create("Software\\Test-Other").valid());
    auto names = root.subKeyNames();
    EXPECT_EQ(names, (std::vector<std::string>{"Size_00", "Size_01"}));
    EXPECT_FALSE(RegistryKey::open("Software\\Test\\Size_02").valid());
    EXPECT_FALSE(root.openSubKey("Size_02").valid());

    RegistryKey size = root.openSubKey("Size_01");
    size.setDword("EH", 640);
    size.deleteValue("EH");
    uint32_t v;
    EXPECT_FALSE(size.queryDword("EH", &v));
    size.close();

    EXPECT_TRUE(RegistryKey::deleteTree("Software\\Test"));
    EXPECT_FALSE(RegistryKey::open("Software\\Test").valid());
    EXPECT_FALSE(RegistryKey::open("Software\\Test\\Size_00").valid());
    EXPECT_TRUE(RegistryKey::open("Software\\Test-Other").valid());
}

TEST(Registry, KeysTheFileCouldNotGiveBackAreRefused) {
    RegistryKey root = RegistryKey::create("Software\\Deep");
    ASSERT_TRUE(root.valid());
    EXPECT_FALSE(root.createSubKey(std::string(256, 'n')).valid()) << "name over 255 characters";
    EXPECT_TRUE(root.createSubKey(std::string(255, 'n')).valid());
    std::string deep = "Software\\Deep";
    for (int level = 3; level < 512; ++level) deep += "\\d";  // 511 levels below the hive
    EXPECT_TRUE(RegistryKey::create(deep).valid());
    EXPECT_FALSE(RegistryKey::create(deep + "\\d").valid()) << "over 512 levels with the hive";
    // What was stored reads back, so nothing of the file is moved aside.
    EXPECT_TRUE(RegistryKey::open(deep).valid());
    EXPECT_FALSE(RegistryKey::open(deep + "\\d").valid());
    EXPECT_TRUE(RegistryKey::deleteTree("Software\\Deep"));
}

TEST(Registry, AFileWrittenByHandIsRead) {
    std::filesystem::create_directories(std::filesystem::path(registryFilePath()).parent_path());
    std::ofstream(registryFilePath()) << "Windows Registry Editor Version 5.00\r\n\r\n"
                                         "; comment\r\n"
                                         "[HKEY_CURRENT_USER\\Software\\A]\r\n"
                                         "\"Long\"=hex:01,02,\\\r\n  03,04\r\n"
                                         "\"Text\"=\"hello \\\"x\\\"\"\r\n"
                                         "\"N\"=dword:0000000a\r\n";
    RegistryKey key = RegistryKey::open("Software\\A");
    ASSERT_TRUE(key.valid());
    std::vector<uint8_t> data;
    EXPECT_TRUE(key.queryBinary("Long", &data));
    EXPECT_EQ(data, (std::vector<uint8_t>{1, 2, 3, 4}));
    uint32_t n = 0;
    EXPECT_TRUE(key.queryDword("N", &n));
    EXPECT_EQ(n, 10u);
    // A write keeps what it does not understand the meaning of.
    key.setDword("M", 1);
    key.close();
    RegistryKey again = RegistryKey::open("Software\\A");
    EXPECT_TRUE(again.queryBinary("Text", &data));
    EXPECT_EQ(std::string(data.begin(), data.end() - 1), "hello \"x\"");
}

TEST(Registry, AnUnreadableFileIsMovedAsideNotOverwritten) {
    namespace fs = std::filesystem;
    const std::string path = registryFilePath();
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << "this is not a registry export\n";
    EXPECT_FALSE(RegistryKey::open("Software\\A").valid());
    RegistryKey key = RegistryKey::create("Software\\A");
    ASSERT_TRUE(key.valid());
    key.setDword("X", 1);
    key.close();
    int asideCount = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(path).parent_path())) {
        if (entry.path().filename().string().rfind("registry.reg.unreadable-", 0) == 0) {
            ++asideCount;
            EXPECT_EQ(readAll(entry.path().string()), "this is not a registry export\n");
        }
    }
    EXPECT_EQ(asideCount, 1);
    uint32_t v = 0;
    EXPECT_TRUE(RegistryKey::open("Software\\A").queryDword("X", &v));
}

// Two processes each write their own values many times; at the end every value of both is
// there (a lost update would drop the other's last write).
TEST(Registry, TwoProcessesWritingAtOnceKeepEachOthersValues) {
    ASSERT_TRUE(RegistryKey::create("Software\\Shared").valid());
    auto writer = [](const char* prefix) {
        for (int i = 0; i < 60; ++i) {
            RegistryKey key = RegistryKey::open("Software\\Shared");
            if (!key.valid()) _exit(2);
            key.setDword(std::string(prefix) + std::to_string(i % 10), static_cast<uint32_t>(i));
            if (!key.close()) _exit(3);
        }
        _exit(0);
    };
    pid_t a = fork();
    if (a == 0) writer("A");
    pid_t b = fork();
    if (b == 0) writer("B");
    int status = 0;
    ASSERT_EQ(waitpid(a, &status, 0), a);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(waitpid(b, &status, 0), b);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    RegistryKey key = RegistryKey::open("Software\\Shared");
    for (const char* prefix : {"A", "B"}) {
        for (int j = 0; j < 10; ++j) {
            uint32_t v = 0;
            ASSERT_TRUE(key.queryDword(std::string(prefix) + std::to_string(j), &v)) << prefix << j;
            EXPECT_EQ(v, static_cast<uint32_t>(50 + j));
        }
    }
}

// A process killed at an arbitrary moment while writing leaves either the old or the new
// file, never a damaged one.
TEST(Registry, AProcessKilledWhileWritingLeavesAReadableFile) {
    {
        RegistryKey key = RegistryKey::create("Software\\Crash");
        for (int i = 0; i < 200; ++i) key.setDword("Pad" + std::to_string(i), 0xAAAAAAAAu);
        key.setDword("Stable", 42);
    }
    for (int round = 0; round < 5; ++round) {
        pid_t child = fork();
        if (child == 0) {
            for (uint32_t i = 0;; ++i) {
                RegistryKey key = RegistryKey::open("Software\\Crash");
                key.setDword("Counter", i);
                key.close();
            }
        }
        usleep(20000 + round * 7000);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        RegistryKey key = RegistryKey::open("Software\\Crash");
        ASSERT_TRUE(key.valid()) << "round " << round;
        uint32_t v = 0;
        EXPECT_TRUE(key.queryDword("Stable", &v));
        EXPECT_EQ(v, 42u);
        EXPECT_TRUE(key.queryDword("Pad199", &v));
    }
    // The file was never moved aside as unreadable.
    for (const auto& entry : std::filesystem::directory_iterator(
             std::filesystem::path(registryFilePath()).parent_path()))
        EXPECT_EQ(entry.path().filename().string().find("unreadable"), std::string::npos);
}

}  // namespace
