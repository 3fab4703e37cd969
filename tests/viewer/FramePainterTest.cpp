// The viewer's own frame drawing: every depth the library hands out, row padding, and
// nearest-neighbour sampling in both directions. Expected pixels are written out by hand.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "FramePainter.h"

namespace orvane::viewer {
namespace {

std::vector<uint32_t> paint(const FrameView& f, int w, int h) {
    std::vector<uint32_t> out(static_cast<size_t>(w * h), 0xDEADBEEF);
    EXPECT_TRUE(scaleToXrgb(f, out.data(), w, h, static_cast<size_t>(w)));
    return out;
}

TEST(FramePainter, StridesArePaddedToFourBytesForEveryDepth) {
    EXPECT_EQ(frameStride(3, 8), 4u);
    EXPECT_EQ(frameStride(3, 16), 8u);
    EXPECT_EQ(frameStride(3, 24), 12u);
    EXPECT_EQ(frameStride(5, 24), 16u);
    EXPECT_EQ(frameStride(3, 48), 20u);
    EXPECT_EQ(frameStride(3, 64), 24u);
    EXPECT_EQ(frameStride(3072, 24), 9216u);
    EXPECT_EQ(frameStride(3, 12), 0u);
    EXPECT_EQ(frameStride(0, 24), 0u);
}

TEST(FramePainter, ReadsEachDepthInTheLibrarysChannelOrder) {
    // One pixel per frame; the picture is 0x00RRGGBB.
    const uint8_t gray8[4] = {0x5A};
    EXPECT_EQ(paint({gray8, 1, 1, 8, 4}, 1, 1)[0], 0x5A5A5Au);
    const uint8_t gray16[4] = {0xCD, 0x12};  // little-endian 0x12CD: the high byte shows
    EXPECT_EQ(paint({gray16, 1, 1, 16, 4}, 1, 1)[0], 0x121212u);
    const uint8_t bgr[4] = {0x01, 0x02, 0x03};
    EXPECT_EQ(paint({bgr, 1, 1, 24, 4}, 1, 1)[0], 0x030201u);
    const uint8_t bgra[4] = {0x01, 0x02, 0x03, 0xFF};
    EXPECT_EQ(paint({bgra, 1, 1, 32, 4}, 1, 1)[0], 0x030201u);
    const uint8_t bgr48[8] = {0xAA, 0x10, 0xBB, 0x20, 0xCC, 0x30};
    EXPECT_EQ(paint({bgr48, 1, 1, 48, 8}, 1, 1)[0], 0x302010u);
    const uint8_t bgra64[8] = {0xAA, 0x10, 0xBB, 0x20, 0xCC, 0x30, 0xFF, 0xFF};
    EXPECT_EQ(paint({bgra64, 1, 1, 64, 8}, 1, 1)[0], 0x302010u);
}

TEST(FramePainter, SkipsRowPaddingAndKeepsTopRowFirst) {
    // 3 x 2 gray frame: stride 4, the padding byte holds a value that must never show.
    const uint8_t frame[8] = {10, 20, 30, 99, 40, 50, 60, 99};
    const auto out = paint({frame, 3, 2, 8, 4}, 3, 2);
    const std::vector<uint32_t> want = {0x0A0A0A, 0x141414, 0x1E1E1E, 0x282828, 0x323232, 0x3C3C3C};
    EXPECT_EQ(out, want);
}

TEST(FramePainter, SamplesNearestPixelWhenEnlargingAndShrinking) {
    // 2 x 2 colour frame, stride 8: red, green / blue, white.
    const uint8_t frame[16] = {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0};
    const auto big = paint({frame, 2, 2, 24, 8}, 4, 4);
    const uint32_t r = 0xFF0000, g = 0x00FF00, b = 0x0000FF, w = 0xFFFFFF;
    const std::vector<uint32_t> wantBig = {r, r, g, g, r, r, g, g, b, b, w, w, b, b, w, w};
    EXPECT_EQ(big, wantBig);

    // 4 x 4 gray ramp (value 10 * (4y + x)) shrunk to 2 x 2 takes every other pixel.
    std::vector<uint8_t> ramp(16);
    for (int i = 0; i < 16; ++i) ramp[static_cast<size_t>(i)] = static_cast<uint8_t>(10 * i);
    const auto small = paint({ramp.data(), 4, 4, 8, 4}, 2, 2);
    const std::vector<uint32_t> wantSmall = {0x000000, 0x141414, 0x505050, 0x646464};
    EXPECT_EQ(small, wantSmall);
}

TEST(FramePainter, RefusesInconsistentInputWithoutWriting) {
    const uint8_t frame[16] = {};
    std::vector<uint32_t> out(4, 7u);
    EXPECT_FALSE(scaleToXrgb({frame, 2, 2, 24, 4}, out.data(), 2, 2, 2));  // stride < 6
    EXPECT_FALSE(scaleToXrgb({frame, 2, 2, 12, 8}, out.data(), 2, 2, 2));  // no such depth
    EXPECT_FALSE(scaleToXrgb({nullptr, 2, 2, 24, 8}, out.data(), 2, 2, 2));
    EXPECT_FALSE(scaleToXrgb({frame, 0, 2, 24, 8}, out.data(), 2, 2, 2));
    EXPECT_FALSE(scaleToXrgb({frame, 2, 2, 24, 8}, out.data(), 2, 2, 1));  // row too short
    EXPECT_FALSE(scaleToXrgb({frame, 2, 2, 24, 8}, out.data(), 0, 2, 2));
    EXPECT_EQ(out, std::vector<uint32_t>(4, 7u));
}

}  // namespace
}  // namespace orvane::viewer
