// The vector forms of hue and saturation against the per-pixel reference: every row length
// around the vector step, rows that end at the very end of their buffer, padding bytes,
// every colour, and the saturations at the edge of what the vector form takes.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "Reference.h"
#include "imaging/ColorFilters.h"
#include "platform/WorkerPool.h"

namespace orvane::imaging {
namespace {

constexpr VectorPath kPaths[] = {VectorPath::Best, VectorPath::Avx2, VectorPath::Scalar};

// An image whose last row ends exactly where its block ends, followed by guard bytes, so
// that any write past the last pixel shows; rows carry `pad` extra bytes.
struct GuardedImage {
    static constexpr int kGuard = 192;
    std::vector<uint8_t> block;
    ImageView view;

    GuardedImage(int w, int h, int bpp, int pad, std::mt19937& rng) {
        const int stride = w * bpp + pad;
        block.resize(static_cast<size_t>(stride) * h + kGuard);
        for (uint8_t& b : block) b = static_cast<uint8_t>(rng());
        view = ImageView{block.data(), w, h, stride, bpp};
    }
};

void expectMatchesReference(const std::vector<uint8_t>& before, const GuardedImage& img, int hue,
                            int sat, const char* what) {
    const ImageView& v = img.view;
    for (int y = 0; y < v.height; ++y) {
        const size_t row = static_cast<size_t>(y) * v.stride;
        for (int x = 0; x < v.width; ++x) {
            const size_t at = row + static_cast<size_t>(x) * v.bytesPerPixel;
            int R = before[at + 2], G = before[at + 1], B = before[at];
            ref::hueSatPixel(hue, sat, R, G, B);
            ASSERT_EQ(img.block[at], B) << what << " x " << x << " y " << y;
            ASSERT_EQ(img.block[at + 1], G) << what << " x " << x << " y " << y;
            ASSERT_EQ(img.block[at + 2], R) << what << " x " << x << " y " << y;
            if (v.bytesPerPixel == 4) {
                ASSERT_EQ(img.block[at + 3], before[at + 3]) << what;
            }
        }
        // Row padding is not the image's.
        for (size_t b = row + static_cast<size_t>(v.width) * v.bytesPerPixel;
             b < row + static_cast<size_t>(v.stride); ++b)
            ASSERT_EQ(img.block[b], before[b]) << what << " padding of row " << y;
    }
    for (size_t b = img.block.size() - GuardedImage::kGuard; b < img.block.size(); ++b)
        ASSERT_EQ(img.block[b], before[b]) << what << " past the image";
}

TEST(HueSaturationPaths, EveryRowLengthAroundTheVectorStep) {
    std::mt19937 rng(7);
    platform::WorkerPool pool(2);
    for (VectorPath path : kPaths)
        for (int bpp : {3, 4})
            for (int w = 1; w <= 100; ++w) {
                GuardedImage img(w, 3, bpp, w % 5, rng);
                const std::vector<uint8_t> before = img.block;
                HueSaturation hs;
                hs.set(77, -60);
                ASSERT_TRUE(hs.apply(img.view, &pool, path));
                expectMatchesReference(before, img, 77, -60, "row length");
            }
}

TEST(HueSaturationPaths, ExtremeSettings) {
    std::mt19937 rng(8);
    // Grays, saturated primaries and random pixels; the settings at and beside every edge.
    const std::pair<int, int> settings[] = {{360, 255}, {-360, -255}, {1, -255}, {-1, 255},
                                            {180, 0},   {0, -1},      {359, 1},  {-359, -254},
                                            {90, 254},  {-180, 128}};
    for (VectorPath path : kPaths)
        for (int bpp : {3, 4})
            for (auto [hue, sat] : settings) {
                GuardedImage img(67, 9, bpp, 3, rng);
                for (int y = 0; y < 3; ++y)
                    for (int x = 0; x < 67; ++x) {
                        uint8_t* p = img.view.row(y) + x * bpp;
                        const int v = (x * 37 + y) & 255;
                        p[0] = y == 0 ? static_cast<uint8_t>(v) : (x & 1 ? 255 : 0);
                        p[1] = y == 0 ? static_cast<uint8_t>(v) : (x & 2 ? 255 : 0);
                        p[2] = y == 0 ? static_cast<uint8_t>(v) : (x & 4 ? 255 : 1);
                    }
                const std::vector<uint8_t> before = img.block;
                HueSaturation hs;
                hs.set(hue, sat);
                ASSERT_TRUE(hs.apply(img.view, nullptr, path));
                expectMatchesReference(before, img, hue, sat, "extreme settings");
            }
}

// Every 8-bit colour once: the vector form equals the scalar form, which the tests above
// hold to the reference.
TEST(HueSaturationPaths, EveryColourEqualsTheScalarForm) {
    CDibImage all, scalar;
    ASSERT_EQ(all.Create(4096, 4096, 24), 1);
    for (int y = 0; y < 4096; ++y)
        for (int x = 0; x < 4096; ++x) {
            const uint32_t c = static_cast<uint32_t>(y) * 4096u + static_cast<uint32_t>(x);
            uint8_t* p = all.bits() + static_cast<ptrdiff_t>(y) * all.stride() + x * 3;
            p[0] = static_cast<uint8_t>(c);
            p[1] = static_cast<uint8_t>(c >> 8);
            p[2] = static_cast<uint8_t>(c >> 16);
        }
    ASSERT_EQ(scalar.CloneGeometry(all), 1);
    platform::WorkerPool pool(2);
    for (auto [hue, sat] : {std::pair{-137, 255}}) {
        CDibImage vec;
        ASSERT_EQ(vec.CloneGeometry(all), 1);
        std::memcpy(vec.bits(), all.bits(), all.sizeBytes());
        std::memcpy(scalar.bits(), all.bits(), all.sizeBytes());
        HueSaturation hs;
        hs.set(hue, sat);
        ASSERT_TRUE(hs.apply(vec.view(), &pool, VectorPath::Best));
        ASSERT_TRUE(hs.apply(scalar.view(), &pool, VectorPath::Scalar));
        ASSERT_EQ(std::memcmp(vec.bits(), scalar.bits(), all.sizeBytes()), 0) << hue << "/" << sat;
    }
}

// Saturations beyond the documented range still give the scalar form's result on every path:
// the vector form's multiply holds only below s + 256 = 32768, and others take another path.
TEST(HueSaturationPaths, OutOfRangeSaturationsAgreeAcrossPaths) {
    std::mt19937 rng(9);
    for (int sat : {32511, 32512, 40000, -256, -257, -5000}) {
        GuardedImage a(75, 4, 3, 1, rng);
        GuardedImage b = a;
        b.view.bits = b.block.data();
        HueSaturation hs;
        hs.set(33, sat);
        ASSERT_TRUE(hs.apply(a.view, nullptr, VectorPath::Best));
        ASSERT_TRUE(hs.apply(b.view, nullptr, VectorPath::Scalar));
        ASSERT_EQ(a.block, b.block) << sat;
    }
}

// 16-bit pixels are transformed through their high bytes, in vector steps and strips; row
// lengths just around a step and strip ends inside rows wider than a strip.
TEST(HueSaturationPaths, SixteenBitRowsLongerThanAStrip) {
    std::mt19937 rng(10);
    for (VectorPath path : kPaths)
        for (int bits : {48, 64})
            for (int w : {1, 31, 32, 33, 95, 613}) {
                const int n = bits / 16;
                CDibImage img;
                ASSERT_EQ(img.Create(w, 3, bits), 1);
                ref::fillRandom(img.view(), rng, -1);
                const ref::Plane before = ref::read(img.view(), n, 2);
                HueSaturation hs;
                hs.set(-45, 200);
                ASSERT_TRUE(hs.apply(img.view(), nullptr, path));
                const ref::Plane after = ref::read(img.view(), n, 2);
                for (int y = 0; y < 3; ++y)
                    for (int x = 0; x < w; ++x) {
                        int R = before.at(x, y, 2) >> 8, G = before.at(x, y, 1) >> 8,
                            B = before.at(x, y, 0) >> 8;
                        ref::hueSatPixel(-45, 200, R, G, B);
                        ASSERT_EQ(after.at(x, y, 0), B << 8) << bits << " x " << x;
                        ASSERT_EQ(after.at(x, y, 1), G << 8) << bits << " x " << x;
                        ASSERT_EQ(after.at(x, y, 2), R << 8) << bits << " x " << x;
                        if (n == 4) {
                            ASSERT_EQ(after.at(x, y, 3), 0);
                        }
                    }
            }
}

}  // namespace
}  // namespace orvane::imaging
