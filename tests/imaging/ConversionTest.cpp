#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

#include "Reference.h"
#include "imaging/Conversions.h"

namespace orvane::imaging {
namespace {

using ByteRule = std::function<void(uint8_t* d, const uint8_t* s)>;

struct Case {
    const char* name;
    PixelRoutine routine;
    int srcBits;
    int dstBits;
    bool flip;
    ByteRule rule;
};

// Reference: walk the clipped rectangle pixel by pixel.
void expectConversion(const Case& c, int w, int h, std::mt19937& rng) {
    CDibImage src, dst, expect;
    ASSERT_EQ(src.Create(w, h, c.srcBits), 1);
    ASSERT_EQ(dst.Create(w + 2, h + 1, c.dstBits), 1);
    ref::fillRandom(src.view(), rng);
    ref::fillRandom(dst.view(), rng);
    ASSERT_EQ(expect.CloneGeometry(dst), 1);
    std::memcpy(expect.bits(), dst.bits(), dst.sizeBytes());
    const PixelRect r{1, 1, w, h};  // clipped to the source
    const int dx = 2, dy = 1;
    const int rw = std::min(w - 1, dst.width() - dx), rh = std::min(h - 1, dst.height() - dy);
    for (int y = 0; y < rh; ++y) {
        const int sy = c.flip ? 1 + (h - 1) - 1 - y : 1 + y;
        for (int x = 0; x < rw; ++x)
            c.rule(expect.bits() + (dy + y) * expect.stride() + (dx + x) * expect.bytesPerPixel(),
                   src.bits() + sy * src.stride() + (1 + x) * src.bytesPerPixel());
    }
    ASSERT_EQ(ApplyPixelRoutine(dst, c.routine, src, &r, dx, dy), 1) << c.name;
    ASSERT_EQ(std::memcmp(dst.bits(), expect.bits(), dst.sizeBytes()), 0)
        << c.name << " " << w << "x" << h;
}

TEST(Conversions, EveryPixelConversionMatchesItsRule) {
    // Rules that several conversions share: blue-green-red copied, red and blue exchanged,
    // the high bytes of 16-bit samples, and 12 significant bits of 16-bit samples.
    auto copy3 = [](uint8_t* d, const uint8_t* s) { std::memcpy(d, s, 3); };
    auto swapRedBlue = [](uint8_t* d, const uint8_t* s) {
        d[0] = s[2];
        d[1] = s[1];
        d[2] = s[0];
    };
    auto high16 = [](uint8_t* d, const uint8_t* s) { d[0] = s[1]; };
    auto high48 = [](uint8_t* d, const uint8_t* s) {
        d[0] = s[1];
        d[1] = s[3];
        d[2] = s[5];
    };
    auto bits12 = [](uint8_t* d, const uint8_t* s) {
        for (int c = 0; c < 3; ++c)
            d[c] = static_cast<uint8_t>((s[2 * c + 1] * 16 + s[2 * c] / 16) % 256);
    };
    const Case cases[] = {
        {"16to8bits10", Convert16To8Bits10Flip, 16, 8, true,
         [](uint8_t* d, const uint8_t* s) {
             d[0] = static_cast<uint8_t>(((s[1] << 6) | (s[0] >> 2)) & 0xFF);
         }},
        {"16to8highflip", Convert16To8HighFlip, 16, 8, true, high16},
        {"16to8high", Convert16To8High, 16, 8, false, high16},
        {"32to24", Convert32To24, 32, 24, false, copy3},
        {"24to24flip", Convert24To24Flip, 24, 24, true, copy3},
        {"32to24flip", Convert24To24Flip, 32, 24, true, copy3},
        {"swap24to32", ConvertSwapRedBlue, 24, 32, false, swapRedBlue},
        {"swap32to24", ConvertSwapRedBlue, 32, 24, false, swapRedBlue},
        {"opaque", Convert32To32OpaqueAlpha, 32, 32, false,
         [](uint8_t* d, const uint8_t* s) {
             d[0] = s[0];
             d[1] = s[1];
             d[2] = s[2];
             d[3] = static_cast<uint8_t>(255 - s[3]);
         }},
        {"48to24bits12", Convert48To24Bits12, 48, 24, false, bits12},
        {"64to24bits12", Convert48To24Bits12, 64, 24, false, bits12},
        {"64to24highflip", Convert48To24HighFlip, 64, 24, true, high48},
        {"48to24highflip", Convert48To24HighFlip, 48, 24, true, high48},
    };
    std::mt19937 rng(11);
    for (const Case& c : cases)
        for (auto [w, h] : {std::pair{5, 4}, {7, 3}, {16, 9}, {33, 6}})
            expectConversion(c, w, h, rng);
}

TEST(Conversions, EightBitRowCopyFlipsWholePaddedRows) {
    CDibImage src, dst;
    ASSERT_EQ(src.Create(7, 5, 8), 1);  // stride 8
    ASSERT_EQ(dst.Create(7, 5, 8), 1);
    std::mt19937 rng(3);
    ref::fillRandom(src.view(), rng);
    ASSERT_EQ(ApplyPixelRoutine(dst, Convert8To8Flip, src), 1);
    for (int y = 0; y < 5; ++y)
        EXPECT_EQ(std::memcmp(dst.bits() + y * 8, src.bits() + (4 - y) * 8, 8), 0);
}

TEST(Conversions, ScalersPickNearestFromTheBottom) {
    for (int bpp : {1, 3}) {
        CDibImage src, dst;
        ASSERT_EQ(src.Create(9, 7, bpp * 8), 1);
        ASSERT_EQ(dst.Create(20, 11, bpp * 8), 1);
        std::mt19937 rng(5);
        ref::fillRandom(src.view(), rng);
        const PixelRect sr{1, 1, 9, 6}, dr{2, 1, 19, 10};
        ASSERT_TRUE(bpp == 1 ? scaleNearest8(dst.view(), dr, src.view(), sr)
                             : scaleNearest24(dst.view(), dr, src.view(), sr));
        for (int y = 0; y < dr.height(); ++y)
            for (int x = 0; x < dr.width(); ++x) {
                const int sx = std::min(static_cast<int>(static_cast<float>(x) * 8.0f / 17.0f), 7);
                const int fromBottom =
                    std::min(static_cast<int>(static_cast<float>(y) * 5.0f / 9.0f), 4);
                for (int c = 0; c < bpp; ++c)
                    ASSERT_EQ(dst.bits()[(1 + y) * dst.stride() + (2 + x) * bpp + c],
                              src.bits()[(5 - fromBottom) * src.stride() + (1 + sx) * bpp + c]);
            }
        EXPECT_FALSE(scaleNearest8(dst.view(), PixelRect{0, 0, 30, 2}, src.view(), sr));
    }
}

TEST(Conversions, CopyOutInBothRowOrdersAndRefusesShortBuffers) {
    CDibImage img;
    ASSERT_EQ(img.Create(3, 4, 24), 1);  // stride 12 (9 bytes + padding)
    std::mt19937 rng(9);
    ref::fillRandom(img.view(), rng);
    std::vector<uint8_t> buf(img.sizeBytes());
    ASSERT_TRUE(copyOut(img.view(), buf.data(), buf.size(), 1));
    EXPECT_EQ(std::memcmp(buf.data(), img.bits(), buf.size()), 0);
    ASSERT_TRUE(copyOut(img.view(), buf.data(), buf.size(), 0));
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(std::memcmp(buf.data() + y * 12, img.bits() + (3 - y) * 12, 12), 0);
    std::vector<uint8_t> untouched(buf.size(), 0xAB);
    EXPECT_FALSE(copyOut(img.view(), untouched.data(), untouched.size() - 1, 1));
    EXPECT_EQ(untouched[0], 0xAB);
    EXPECT_FALSE(copyOut(img.view(), nullptr, 1000, 1));
}

TEST(Conversions, RepackSpreadsPackedRowsToTheStride) {
    for (int bits : {8, 16, 24}) {
        CDibImage img;
        ASSERT_EQ(img.Create(5, 6, bits), 1);
        const int bpp = bits / 8, packed = 5 * bpp;
        ASSERT_NE(packed, img.stride());
        std::vector<uint8_t> data(static_cast<size_t>(packed * 6));
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);
        std::memcpy(img.bits(), data.data(), data.size());
        repackRows(img.view());
        for (int y = 0; y < 6; ++y)
            ASSERT_EQ(std::memcmp(img.bits() + y * img.stride(), data.data() + y * packed, packed),
                      0)
                << bits;
    }
}

}  // namespace
}  // namespace orvane::imaging
