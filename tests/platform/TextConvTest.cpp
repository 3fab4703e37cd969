#include <gtest/gtest.h>

#include <string>

#include "platform/TextConv.h"

namespace {

using orvane::platform::ansiToWide;
using orvane::platform::wideToAnsi;

TEST(TextConv, WideToNarrowCoversEveryUtf8Length) {
    const char16_t wide[] = {u'A', 0x00E9, 0x65E5, 0xD83D, 0xDE00, 0};  // A é 日 😀
    char out[32];
    ASSERT_TRUE(wideToAnsi(wide, out, sizeof out));
    EXPECT_EQ(std::string(out), "A\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80");

    char16_t back[16];
    EXPECT_EQ(ansiToWide(out, back, 16), 6u);
    EXPECT_EQ(std::u16string(back), std::u16string(wide));
}

TEST(TextConv, UnpairedSurrogatesAndOverflowFailCleanly) {
    char out[8] = "junk";
    const char16_t lone[] = {u'a', 0xDC00, 0};
    EXPECT_FALSE(wideToAnsi(lone, out, sizeof out));
    EXPECT_STREQ(out, "");
    const char16_t highAtEnd[] = {u'a', 0xD800, 0};
    EXPECT_FALSE(wideToAnsi(highAtEnd, out, sizeof out));
    EXPECT_FALSE(wideToAnsi(nullptr, out, sizeof out));

    const char16_t seven[] = {u'1', u'2', u'3', u'4', u'5', u'6', u'7', 0};
    EXPECT_TRUE(wideToAnsi(seven, out, 8));  // exactly fits with its terminator
    const char16_t eight[] = {u'1', u'2', u'3', u'4', u'5', u'6', u'7', u'8', 0};
    EXPECT_FALSE(wideToAnsi(eight, out, 8));
    EXPECT_STREQ(out, "");

    char16_t wide[4];
    EXPECT_EQ(ansiToWide("abc", wide, 4), 4u);
    EXPECT_EQ(ansiToWide("abcd", wide, 4), 0u);
    EXPECT_EQ(ansiToWide("\xC3", wide, 4), 0u) << "truncated sequence";
    EXPECT_EQ(ansiToWide("\xC0\xAF", wide, 4), 0u) << "overlong form";
}

}  // namespace
