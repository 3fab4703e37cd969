// Saves from two threads at once (two sessions) must not disturb each other.
#include <gtest/gtest.h>

#include <thread>

#include "OutputTestSupport.h"
#include "output/ImageFileWriter.h"

namespace orvane::test {
namespace {

TEST(ConcurrentSave, TwoThreadsWriteTheSameBytesAsOneAlone) {
    imaging::CDibImage a = patternImage(301, 97, 24);
    imaging::CDibImage b = patternImage(211, 131, 64);
    for (int format : {output::kImageFormatPng, output::kImageFormatJpeg70,
                       output::kImageFormatTiff, output::kImageFormatBmp}) {
        SCOPED_TRACE(format);
        const std::string refA = testPath("refA"), refB = testPath("refB");
        ASSERT_EQ(output::SaveImageFile(a, refA.c_str(), format), 1);
        ASSERT_EQ(output::SaveImageFile(b, refB.c_str(), format), 1);
        int okA = 0, okB = 0;
        std::thread ta([&] {
            for (int i = 0; i < 8; ++i) {
                okA += output::SaveImageFile(a, testPath("a" + std::to_string(i)).c_str(), format);
            }
        });
        std::thread tb([&] {
            for (int i = 0; i < 8; ++i) {
                okB += output::SaveImageFile(b, testPath("b" + std::to_string(i)).c_str(), format);
            }
        });
        ta.join();
        tb.join();
        EXPECT_EQ(okA, 8);
        EXPECT_EQ(okB, 8);
        const auto wantA = readFile(refA), wantB = readFile(refB);
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(readFile(testPath("a" + std::to_string(i))), wantA);
            EXPECT_EQ(readFile(testPath("b" + std::to_string(i))), wantB);
        }
    }
}

}  // namespace
}  // namespace orvane::test
