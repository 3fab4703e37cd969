// The choice between sending a frame as it is and scaling it into the display buffer, and
// the picture that reaches the window either way (no window system needed).
#include <gtest/gtest.h>

#include <cstdint>

#include "session/PreviewDraw.h"

namespace {

using orvane::imaging::CDibImage;
using orvane::session::planPreviewDraw;
using orvane::session::PreviewPlan;

// A picture whose every pixel differs from its neighbours: value of pixel (x, y), channel c.
uint8_t pattern(int x, int y, int c) {
    return static_cast<uint8_t>(x * 7 + y * 31 + c * 101);
}

CDibImage makeSource(int width, int height, int bits) {
    CDibImage image;
    EXPECT_EQ(image.Create(width, height, bits), 1);
    const int bpp = bits / 8;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < bpp; ++c)
                image.bits()[y * image.stride() + x * bpp + c] = pattern(x, y, c);
    return image;
}

// Channel c of the pixel the window shows at (x, y), row 0 the top of the window.
uint8_t shown(const PreviewPlan& plan, int x, int y, int c) {
    const auto& v = plan.pixels;
    const int row = plan.bottomUp ? v.height - 1 - y : y;
    return v.bits[row * v.stride + x * v.bytesPerPixel + c];
}

// The window shows the source pattern as it is over width x height (channel 0).
void expectUnscaled(const PreviewPlan& plan, int width, int height) {
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) ASSERT_EQ(shown(plan, x, y, 0), pattern(x, y, 0));
}

TEST(PreviewDraw, SameSizeSendsTheSourceTopRowFirstWithoutTouchingTheDisplayBuffer) {
    for (int index : {0, 2, 3, 5}) {
        SCOPED_TRACE(index);
        const int bits = index == 0 ? 8 : 24;
        const CDibImage source = makeSource(10, 6, bits);
        CDibImage display;
        PreviewPlan plan;
        ASSERT_TRUE(planPreviewDraw(source, index, 10, 6, display, &plan));
        EXPECT_EQ(plan.pixels.bits, source.bits());
        EXPECT_TRUE(display.empty());
        ASSERT_NO_FATAL_FAILURE(expectUnscaled(plan, 10, 6));
    }
}

TEST(PreviewDraw, SixteenBitMonochromeAlwaysGoesThroughTheDisplayBufferUnchanged) {
    const CDibImage source = makeSource(9, 5, 8);
    CDibImage display;
    PreviewPlan plan;
    ASSERT_TRUE(planPreviewDraw(source, 1, 9, 5, display, &plan));
    EXPECT_EQ(plan.pixels.bits, display.bits());
    EXPECT_EQ(display.bitCount(), 8);
    expectUnscaled(plan, 9, 5);
}

TEST(PreviewDraw, DoublingRepeatsEachPixelAsAnUprightTwoByTwoBlock) {
    const CDibImage source = makeSource(5, 3, 24);
    CDibImage display;
    PreviewPlan plan;
    ASSERT_TRUE(planPreviewDraw(source, 2, 10, 6, display, &plan));
    ASSERT_EQ(display.width(), 10);
    ASSERT_EQ(display.height(), 6);
    ASSERT_EQ(display.bitCount(), 24);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(shown(plan, x, y, c), pattern(x / 2, y / 2, c)) << x << "," << y;
}

TEST(PreviewDraw, HalvingKeepsEvenColumnsAndOddRowsBecauseRowsCountFromTheBottom) {
    // Rows are picked counting from the bottom of the source: the bottom row survives, so
    // of every pair of rows the lower one is shown.
    const CDibImage source = makeSource(8, 6, 8);
    CDibImage display;
    PreviewPlan plan;
    ASSERT_TRUE(planPreviewDraw(source, 0, 4, 3, display, &plan));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) ASSERT_EQ(shown(plan, x, y, 0), pattern(2 * x, 2 * y + 1, 0));
    // 8-bit display buffers carry the gray palette.
    EXPECT_EQ(display.palette()[200].rgbRed, 200);
    EXPECT_EQ(display.palette()[200].rgbBlue, 200);
}

TEST(PreviewDraw, OddRatiosPickTheNearestLowerSourcePixelCountedFromTheBottom) {
    // 7 -> 3 columns: x * 7 / 3 = 0, 2.33, 4.67 -> 0, 2, 4. 5 -> 4 rows counted from the
    // bottom: window row 3 is from-bottom 0 -> source row 4; row 2: 1.25 -> 1 -> row 3;
    // row 1: 2.5 -> 2 -> row 2; row 0: 3.75 -> 3 -> row 1.
    const CDibImage source = makeSource(7, 5, 24);
    CDibImage display;
    PreviewPlan plan;
    ASSERT_TRUE(planPreviewDraw(source, 4, 3, 4, display, &plan));
    const int columns[] = {0, 2, 4};
    const int rows[] = {1, 2, 3, 4};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 3; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(shown(plan, x, y, c), pattern(columns[x], rows[y], c));
}

TEST(PreviewDraw, DisplayBufferFollowsClientSizeAndDepth) {
    const CDibImage gray = makeSource(16, 16, 8);
    const CDibImage colour = makeSource(16, 16, 24);
    CDibImage display;
    PreviewPlan plan;
    ASSERT_TRUE(planPreviewDraw(gray, 0, 8, 8, display, &plan));
    const uint8_t* first = display.bits();
    ASSERT_TRUE(planPreviewDraw(gray, 0, 8, 8, display, &plan));
    EXPECT_EQ(display.bits(), first) << "same size: buffer kept";
    ASSERT_TRUE(planPreviewDraw(gray, 0, 12, 5, display, &plan));
    EXPECT_EQ(display.width(), 12);
    EXPECT_EQ(display.height(), 5);
    EXPECT_EQ(plan.pixels.width, 12);
    // A colour mode at the same client size needs a 24-bit buffer.
    ASSERT_TRUE(planPreviewDraw(colour, 2, 12, 5, display, &plan));
    EXPECT_EQ(display.bitCount(), 24);
    EXPECT_EQ(plan.pixels.bytesPerPixel, 3);
    EXPECT_EQ(shown(plan, 11, 4, 2), pattern(14, 15, 2));  // trunc(11*16/12) = 14; bottom row
}

TEST(PreviewDraw, NothingIsDrawnIntoAnEmptyClientAreaOrFromAnEmptySource) {
    const CDibImage source = makeSource(4, 4, 8);
    const CDibImage none;
    CDibImage display;
    PreviewPlan plan;
    EXPECT_FALSE(planPreviewDraw(source, 0, 0, 4, display, &plan));
    EXPECT_FALSE(planPreviewDraw(source, 0, 4, -1, display, &plan));
    EXPECT_FALSE(planPreviewDraw(none, 0, 4, 4, display, &plan));
    EXPECT_FALSE(planPreviewDraw(source, 2, 8, 8, display, &plan)) << "8-bit source, colour mode";
    EXPECT_TRUE(display.empty());
}

}  // namespace
