#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "platform/AlignedMemory.h"

namespace orvane::platform {
namespace {

TEST(AlignedMemory, BlocksHonourTheAlignmentAndAreWritableToTheRoundedSize) {
    for (std::size_t alignment : {std::size_t{16}, std::size_t{64}, std::size_t{4096}}) {
        for (std::size_t bytes : {std::size_t{0}, std::size_t{1}, alignment - 1, alignment + 1}) {
            void* p = allocateAligned(alignment, bytes);
            ASSERT_NE(p, nullptr) << alignment << " " << bytes;
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % alignment, 0u);
            // The caller may use the whole rounded block (row padding of images).
            const std::size_t rounded =
                (bytes == 0 ? 1 : bytes + alignment - 1) / alignment * alignment;
            std::memset(p, 0xA5, rounded == 0 ? alignment : rounded);
            freeAligned(p);
        }
    }
}

TEST(AlignedMemory, InvalidRequestsFailInsteadOfOverflowing) {
    EXPECT_EQ(allocateAligned(48, 100), nullptr);  // not a power of two
    EXPECT_EQ(allocateAligned(2, 100), nullptr);   // smaller than a pointer
    EXPECT_EQ(allocateAligned(64, SIZE_MAX), nullptr);
    EXPECT_EQ(allocateAligned(64, SIZE_MAX - 10), nullptr);
    freeAligned(nullptr);
}

}  // namespace
}  // namespace orvane::platform
