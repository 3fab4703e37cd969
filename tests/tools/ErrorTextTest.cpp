// The tools' error texts are the ones the public header gives beside each code, and every
// code the header defines has one.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "ErrorText.h"
#include "support/Regex.h"

namespace {

TEST(ErrorText, EveryHeaderCodeHasTheHeadersText) {
    std::ifstream in(ORVANE_PUBLIC_HEADER);
    std::stringstream text;
    text << in.rdbuf();
    const std::string header = text.str();
    ASSERT_FALSE(header.empty()) << ORVANE_PUBLIC_HEADER;

    const std::regex define(R"(#define ORVANE_ERR_\w+ (\d+)[ \t]*(?:/\*\s*(.*?)\s*\*/)?)");
    int codes = 0;
    for (auto it = std::sregex_iterator(header.begin(), header.end(), define);
         it != std::sregex_iterator(); ++it) {
        const int code = std::stoi((*it)[1]);
        // Code 0 has no comment in the header.
        const std::string expected = (*it)[2].matched ? (*it)[2].str() : "no error";
        EXPECT_EQ(orvane::tools::errorText(code), expected) << "code " << code;
        ++codes;
    }
    EXPECT_EQ(codes, 14);
}

TEST(ErrorText, UnknownCodesSaySo) {
    EXPECT_STREQ(orvane::tools::errorText(10), "unknown error");
    EXPECT_STREQ(orvane::tools::errorText(-1), "unknown error");
    EXPECT_STREQ(orvane::tools::errorText(1000), "unknown error");
}

}  // namespace
