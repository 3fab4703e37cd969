#include <gtest/gtest.h>

#include "imaging/CDibImage.h"

namespace orvane::imaging {
namespace {

TEST(CDibImage, StrideRoundsRowsUpToFourBytes) {
    EXPECT_EQ(dibStride(3, 8), 4);
    EXPECT_EQ(dibStride(3, 24), 12);
    EXPECT_EQ(dibStride(5, 16), 12);
    CDibImage img;
    ASSERT_EQ(img.Create(5, 7, 16), 1);
    EXPECT_EQ(img.stride(), 12);
    EXPECT_EQ(img.header().biSize, 40u);
    EXPECT_EQ(img.header().biWidth, 5);
    EXPECT_EQ(img.header().biHeight, 7);
    EXPECT_EQ(img.header().biPlanes, 1);
    EXPECT_EQ(img.header().biBitCount, 16);
    EXPECT_EQ(img.header().biCompression, 0u);
}

TEST(CDibImage, EveryDepthIsZeroFilledAndAligned) {
    for (int bits : {8, 16, 24, 32, 48, 64}) {
        CDibImage img;
        ASSERT_EQ(img.Create(13, 9, bits), 1) << bits;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(img.bits()) % 64, 0u);
        for (size_t i = 0; i < img.sizeBytes(); ++i) ASSERT_EQ(img.bits()[i], 0) << bits;
        EXPECT_EQ(img.bytesPerPixel(), bits / 8);
    }
}

TEST(CDibImage, EightBitImagesGetTheGrayPaletteOthersNone) {
    CDibImage gray, colour;
    ASSERT_EQ(gray.Create(4, 4, 8), 1);
    ASSERT_EQ(colour.Create(4, 4, 24), 1);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(gray.palette()[i].rgbBlue, i);
        EXPECT_EQ(gray.palette()[i].rgbRed, i);
        EXPECT_EQ(gray.palette()[i].rgbReserved, 0);
        EXPECT_EQ(colour.palette()[i].rgbGreen, 0);
    }
    RGBQUAD two[2] = {{1, 2, 3, 0}, {4, 5, 6, 0}};
    EXPECT_EQ(colour.SetPalette(2, 255, 2, two), 1);  // clipped at the last entry
    EXPECT_EQ(colour.palette()[255].rgbRed, 3);
}

TEST(CDibImage, RefusesBadGeometryAndLeavesTheImageEmpty) {
    CDibImage img;
    ASSERT_EQ(img.Create(8, 8, 24), 1);
    EXPECT_EQ(img.Create(0, 8, 24), 0);
    EXPECT_TRUE(img.empty());
    EXPECT_EQ(img.width(), 0);
    EXPECT_EQ(img.stride(), 0);
    EXPECT_EQ(img.Create(8, -1, 24), 0);
    EXPECT_EQ(img.Create(8, 8, 0), 0);
    EXPECT_EQ(img.Create(8, 8, 12), 0);
    EXPECT_EQ(img.header().biSize, 40u);
}

TEST(CDibImage, CloneGeometryCopiesShapeNotPixels) {
    CDibImage a, b;
    EXPECT_EQ(b.CloneGeometry(a), 0);
    ASSERT_EQ(a.Create(7, 3, 48), 1);
    a.bits()[0] = 99;
    ASSERT_EQ(b.CloneGeometry(a), 1);
    EXPECT_EQ(b.width(), 7);
    EXPECT_EQ(b.height(), 3);
    EXPECT_EQ(b.bitCount(), 48);
    EXPECT_EQ(b.stride(), a.stride());
    EXPECT_EQ(b.bits()[0], 0);
    b.Release();
    EXPECT_TRUE(b.empty());
    EXPECT_EQ(b.bitCount(), 0);
}

// Records what a routine was handed.
struct Seen {
    int calls = 0;
    PixelRect rect;
    int dx = -1, dy = -1;
    uint16_t dbpp = 0, sbpp = 0;
    int dstride = 0, sstride = 0;
};
int recordRoutine(uint8_t*, const uint8_t*, const PixelRect& r, int dx, int dy, uint16_t dbpp,
                  uint16_t sbpp, int dstride, int sstride, const void* p1, const void*) {
    auto* s = static_cast<Seen*>(const_cast<void*>(p1));
    ++s->calls;
    s->rect = r;
    s->dx = dx;
    s->dy = dy;
    s->dbpp = dbpp;
    s->sbpp = sbpp;
    s->dstride = dstride;
    s->sstride = sstride;
    return 7;
}

TEST(ApplyPixelRoutine, ClipsAgainstBothImages) {
    CDibImage src, dst;
    ASSERT_EQ(src.Create(10, 8, 16), 1);
    ASSERT_EQ(dst.Create(6, 5, 24), 1);
    Seen seen;
    EXPECT_EQ(ApplyPixelRoutine(dst, recordRoutine, src, nullptr, 0, 0, &seen), 7);
    EXPECT_EQ(seen.rect.left, 0);
    EXPECT_EQ(seen.rect.right, 6);
    EXPECT_EQ(seen.rect.bottom, 5);
    EXPECT_EQ(seen.dbpp, 3);
    EXPECT_EQ(seen.sbpp, 2);
    EXPECT_EQ(seen.dstride, 20);
    EXPECT_EQ(seen.sstride, 20);

    // Partly outside the source, placed at (2, 1) in the destination.
    const PixelRect partly{-3, 4, 20, 30};
    EXPECT_EQ(ApplyPixelRoutine(dst, recordRoutine, src, &partly, 2, 1, &seen), 7);
    EXPECT_EQ(seen.rect.left, 0);
    EXPECT_EQ(seen.rect.top, 4);
    EXPECT_EQ(seen.rect.right, 4);   // destination has 4 columns left from x = 2
    EXPECT_EQ(seen.rect.bottom, 8);  // source ends at row 8
    EXPECT_EQ(seen.dx, 2);
    EXPECT_EQ(seen.dy, 1);
}

TEST(ApplyPixelRoutine, ReturnsZeroWithoutCallingForNothingToDo) {
    CDibImage src, dst, empty;
    ASSERT_EQ(src.Create(10, 8, 8), 1);
    ASSERT_EQ(dst.Create(10, 8, 8), 1);
    Seen seen;
    const PixelRect outside{20, 0, 30, 8};
    EXPECT_EQ(ApplyPixelRoutine(dst, recordRoutine, src, &outside, 0, 0, &seen), 0);
    const PixelRect emptyRect{3, 3, 3, 6};
    EXPECT_EQ(ApplyPixelRoutine(dst, recordRoutine, src, &emptyRect, 0, 0, &seen), 0);
    EXPECT_EQ(ApplyPixelRoutine(dst, recordRoutine, src, nullptr, 10, 0, &seen), 0);
    EXPECT_EQ(ApplyPixelRoutine(dst, nullptr, src), 0);
    EXPECT_EQ(ApplyPixelRoutine(dst, recordRoutine, empty, nullptr, 0, 0, &seen), 0);
    EXPECT_EQ(seen.calls, 0);
    // A negative destination position cuts the rectangle's start.
    EXPECT_EQ(ApplyPixelRoutine(dst, recordRoutine, src, nullptr, -4, -2, &seen), 7);
    EXPECT_EQ(seen.rect.left, 4);
    EXPECT_EQ(seen.rect.top, 2);
    EXPECT_EQ(seen.dx, 0);
    EXPECT_EQ(seen.dy, 0);
}

}  // namespace
}  // namespace orvane::imaging
