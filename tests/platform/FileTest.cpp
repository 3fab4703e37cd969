// platform::File against the real file system: positional and gathered writes land where
// asked, 64-bit offsets and lengths are not cut to 32 bits, failures carry an errno value
// and the system's text, and the regular-file checks refuse links, pipes and devices.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/File.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace orvane::platform {
namespace {

std::string pathIn(const char* name) {
    return test::testDir() + "/" + name;
}

std::vector<uint8_t> bytes(const char* text) {
    return std::vector<uint8_t>(text, text + std::char_traits<char>::length(text));
}

TEST(File, PositionalAndGatheredWritesLandWhereAskedAndOpeningTruncates) {
    const std::string path = pathIn("positional.bin");
    {
        File f;
        ASSERT_TRUE(f.open(path.c_str(), FileMode::WriteCreate)) << f.errorText();
        EXPECT_TRUE(f.isRegular());
        ASSERT_TRUE(f.writeAllAt(4, "WXYZ", 4));
        ASSERT_TRUE(f.writeAllAt(0, "abcd", 4));
        EXPECT_EQ(f.writeAt2(8, "12", 2, "345", 3), 5);
        EXPECT_EQ(f.size(), 13);
        EXPECT_TRUE(f.close());
        EXPECT_FALSE(f.isOpen());
        EXPECT_TRUE(f.close());  // closing twice is harmless
    }
    EXPECT_EQ(test::readFile(path), bytes("abcdWXYZ12345"));

    File again;
    ASSERT_TRUE(again.open(path.c_str(), FileMode::ReadWriteCreate));
    EXPECT_EQ(again.size(), 0);  // truncated by opening
    ASSERT_TRUE(again.writeAllAt(0, "hello world", 11));
    char part[5] = {};
    EXPECT_EQ(again.readAt(6, part, 5), 5);
    EXPECT_EQ(std::string(part, 5), "world");
    EXPECT_EQ(again.readAt(11, part, 5), 0);  // at the end
    ASSERT_TRUE(again.setSize(5));
    EXPECT_EQ(again.size(), 5);
    ASSERT_TRUE(again.setSize(8));  // extension reads as zeros
    uint8_t tail[3] = {1, 1, 1};
    EXPECT_EQ(again.readAt(5, tail, 3), 3);
    EXPECT_EQ(std::vector<uint8_t>(tail, tail + 3), std::vector<uint8_t>(3, 0));
}

TEST(File, OffsetsBeyondFourGibibytesAreKept) {
    const std::string path = pathIn("large.bin");
    File f;
    ASSERT_TRUE(f.open(path.c_str(), FileMode::ReadWriteCreate));
    const uint64_t far = (uint64_t{1} << 32) + 7;  // would alias offset 7 if cut to 32 bits
    if (!f.writeAllAt(far, "end", 3)) GTEST_SKIP() << "no sparse files here: " << f.errorText();
    EXPECT_EQ(f.size(), static_cast<int64_t>(far + 3));
    char start[3] = {'x', 'x', 'x'};
    EXPECT_EQ(f.readAt(7, start, 3), 3);
    EXPECT_EQ(std::string(start, 3), std::string(3, '\0'));
    char end[3] = {};
    EXPECT_EQ(f.readAt(far, end, 3), 3);
    EXPECT_EQ(std::string(end, 3), "end");
    ASSERT_TRUE(f.setSize(far));
    EXPECT_EQ(f.size(), static_cast<int64_t>(far));
    ASSERT_TRUE(f.setSize(0));
}

TEST(File, SequentialReadsStopAtTheEndAndFailuresCarryTheirText) {
    const std::string path = pathIn("seq.bin");
    {
        File w;
        ASSERT_TRUE(w.open(path.c_str(), FileMode::WriteCreate));
        ASSERT_TRUE(w.writeAllAt(0, "0123456789", 10));
    }
    File r;
    ASSERT_TRUE(r.open(path.c_str(), FileMode::Read));
    char head[4];
    ASSERT_TRUE(r.readAll(head, 4));
    EXPECT_EQ(std::string(head, 4), "0123");
    char rest[16];
    EXPECT_FALSE(r.readAll(rest, sizeof rest));  // only six bytes left
    EXPECT_NE(r.error(), 0);
    // Writing through a read-only handle is refused, with the system's reason.
    EXPECT_EQ(r.writeAt(0, "x", 1), -1);
    EXPECT_NE(r.error(), 0);
    EXPECT_FALSE(r.errorText().empty());

    File missing;
    EXPECT_FALSE(missing.open(pathIn("no-such-dir/file.bin").c_str(), FileMode::WriteCreate));
    EXPECT_EQ(missing.error(), ENOENT);
    EXPECT_FALSE(missing.errorText().empty());
    EXPECT_FALSE(missing.open(nullptr, FileMode::Read));
    EXPECT_EQ(missing.error(), ENOENT);
}

TEST(File, MovingHandsOverTheOpenFile) {
    const std::string path = pathIn("moved.bin");
    File a;
    ASSERT_TRUE(a.open(path.c_str(), FileMode::WriteCreate));
    File b(std::move(a));
    EXPECT_FALSE(a.isOpen());
    ASSERT_TRUE(b.isOpen());
    EXPECT_TRUE(b.writeAllAt(0, "ok", 2));
    File c;
    c = std::move(b);
    EXPECT_FALSE(b.isOpen());
    EXPECT_TRUE(c.writeAllAt(2, "!", 1));
    EXPECT_EQ(a.writeAt(0, "x", 1), -1);  // a moved-from File is closed, not broken
    EXPECT_TRUE(c.close());
    EXPECT_EQ(test::readFile(path), bytes("ok!"));
}

TEST(File, RegularFileChecksAndRemoval) {
    const std::string path = pathIn("plain.bin");
    {
        File f;
        ASSERT_TRUE(f.open(path.c_str(), FileMode::WriteCreate));
    }
    EXPECT_TRUE(isRegularFile(path.c_str()));
    EXPECT_FALSE(isRegularFile(test::testDir().c_str()));  // a directory
    EXPECT_FALSE(isRegularFile(pathIn("absent").c_str()));
    EXPECT_FALSE(isRegularFile(nullptr));
    FILE* stream = std::fopen(path.c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    EXPECT_TRUE(isRegularStream(stream));
    std::fclose(stream);
    EXPECT_TRUE(removeFile(path.c_str()));
    EXPECT_FALSE(isRegularFile(path.c_str()));
    EXPECT_FALSE(removeFile(path.c_str()));
}

#if !defined(_WIN32)
TEST(File, LinksPipesAndDevicesAreNotRegularAndAFullDeviceReportsNoSpace) {
    const std::string target = pathIn("target.bin");
    const std::string link = pathIn("link.bin");
    {
        File f;
        ASSERT_TRUE(f.open(target.c_str(), FileMode::WriteCreate));
    }
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    EXPECT_FALSE(isRegularFile(link.c_str()));  // the link itself, not followed
    EXPECT_TRUE(isRegularFile(target.c_str()));

    const std::string fifo = pathIn("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(isRegularFile(fifo.c_str()));

    File full;
    if (!full.open("/dev/full", FileMode::WriteCreate)) GTEST_SKIP() << "no /dev/full";
    EXPECT_FALSE(full.isRegular());
    EXPECT_FALSE(full.writeAllAt(0, "data", 4));
    EXPECT_EQ(full.error(), ENOSPC);
    EXPECT_FALSE(full.errorText().empty());
}
#endif

}  // namespace
}  // namespace orvane::platform
