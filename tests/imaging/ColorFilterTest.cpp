#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "Reference.h"
#include "imaging/ColorFilters.h"
#include "imaging/Demosaic.h"
#include "platform/WorkerPool.h"

namespace orvane::imaging {
namespace {

CDibImage makeRandom(int w, int h, int bits, std::mt19937& rng, int maxSample = -1) {
    CDibImage img;
    img.Create(w, h, bits);
    ref::fillRandom(img.view(), rng, maxSample);
    return img;
}

int sampleBytes(int bits) {
    return bits == 8 || bits == 24 || bits == 32 ? 1 : 2;
}
int channels(int bits) {
    return bits <= 16 ? 1 : (bits == 32 || bits == 64 ? 4 : 3);
}

// ---- Mean level ------------------------------------------------------------------------

TEST(MeanLevel, TruncatedMeanOfTheClippedRectangle) {
    std::mt19937 rng(1);
    for (int bits : {8, 16}) {
        CDibImage img = makeRandom(21, 13, bits, rng);
        const ref::Plane p = ref::read(img.view(), 1, bits / 8);
        const PixelRect r{3, 2, 40, 9};  // clipped at the right edge
        int64_t sum = 0, n = 0;
        for (int y = 2; y < 9; ++y)
            for (int x = 3; x < 21; ++x, ++n)
                sum += bits == 8 ? p.at(x, y) : (p.at(x, y) / 4) % 256;
        EXPECT_EQ(meanLevel(img.view(), r), sum / n);
        EXPECT_EQ(meanLevel(img.view(), PixelRect{5, 5, 5, 9}), 0);
        EXPECT_EQ(meanLevel(img.view(), PixelRect{30, 0, 40, 9}), 0);
    }
}

// ---- Hot-pixel suppression --------------------------------------------------------------

// The frame `original` suppressed on its way from a packed buffer (as a ring slot holds it)
// into an image whose rows may be padded and hold stale bytes: it must end as `expected`,
// as copying first and suppressing in place would leave it.
void expectSuppressedFrom(const ref::Plane& original, const ref::Plane& expected, int count,
                          int bits, int mode, int gainR, int gainB, int t,
                          platform::WorkerPool* pool) {
    const int bpp = bits / 8;
    std::vector<uint8_t> packed(static_cast<size_t>(original.w) * original.h * bpp);
    const ImageView source{packed.data(), original.w, original.h, original.w * bpp, bpp};
    ref::write(original, source, bpp);
    const std::vector<uint8_t> sourceBefore = packed;
    CDibImage target;
    ASSERT_EQ(target.Create(original.w, original.h, bits), 1);
    std::memset(target.bits(), 0xA5, target.sizeBytes());
    EXPECT_EQ(suppressHotPixelsFrom(source, target.view(), mode, gainR, gainB, t, pool), count)
        << bits << " mode " << mode << " " << original.w << "x" << original.h;
    EXPECT_EQ(ref::read(target.view(), 1, bpp).v, expected.v)
        << bits << " mode " << mode << " " << original.w << "x" << original.h;
    EXPECT_EQ(packed, sourceBefore) << "the source is only read";
}

TEST(HotPixels, MatchesSequentialReference) {
    std::mt19937 rng(8);
    for (int bits : {8, 16})
        for (int mode = 0; mode < 4; ++mode)
            for (auto [w, h] : {std::pair{9, 7}, {70, 40}, {131, 33}}) {
                // A smooth scene with many hot and dark outliers, some next to each other.
                CDibImage img;
                ASSERT_EQ(img.Create(w, h, bits), 1);
                ref::Plane p(w, h, 1);
                std::uniform_int_distribution<int> pick(0, 99);
                const int full = bits == 8 ? 255 : 4095;
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        int v = (x * 3 + y * 2) % (full / 2) + static_cast<int>(rng() % 8);
                        const int k = pick(rng);
                        if (k < 12) v = full - static_cast<int>(rng() % 20);
                        if (k >= 95) v = static_cast<int>(rng() % 5);
                        p.at(x, y) = v;
                    }
                const ref::Plane original = p;
                ref::write(p, img.view(), bits / 8);
                const int gainR = 100 + mode * 70, gainB = 250 - mode * 40;
                const int t = bits == 8 ? kHotPixelThreshold8 : kHotPixelThreshold16;
                const int expected = ref::hotReference(p, bits == 16, mode, gainR, gainB, t);
                EXPECT_EQ(suppressHotPixels(img.view(), mode, gainR, gainB, t), expected);
                const ref::Plane got = ref::read(img.view(), 1, bits / 8);
                ASSERT_EQ(got.v, p.v) << bits << " mode " << mode << " " << w << "x" << h;
                if (w > 9) {
                    EXPECT_GT(expected, 0) << bits << " mode " << mode << " " << w;
                }
                expectSuppressedFrom(original, p, expected, bits, mode, gainR, gainB, t, nullptr);
            }
}

// Frames too small to suppress, or settings that suppress nothing, are still copied whole;
// a source of another shape is refused with the target untouched.
TEST(HotPixels, SuppressedFromCopiesWhatItDoesNotSuppress) {
    std::mt19937 rng(10);
    platform::WorkerPool pool(2);
    for (int bits : {8, 16})
        for (auto [w, h, mode] : {std::tuple{4, 9, 0}, {9, 4, 1}, {1, 1, 2}, {33, 70, 7}}) {
            ref::Plane p(w, h, 1);
            for (int& v : p.v) v = static_cast<int>(rng() % (bits == 8 ? 256 : 4096));
            expectSuppressedFrom(p, p, 0, bits, mode, 100, 100, 1, &pool);
        }
    std::vector<uint8_t> packed(20 * 10, 7);
    CDibImage target;
    ASSERT_EQ(target.Create(20, 11, 8), 1);
    std::memset(target.bits(), 0xA5, target.sizeBytes());
    EXPECT_EQ(suppressHotPixelsFrom(ImageView{packed.data(), 20, 10, 20, 1}, target.view(), 0, 100,
                                    100, kHotPixelThreshold8),
              -1);
    EXPECT_EQ(target.bits()[0], 0xA5);
    EXPECT_EQ(suppressHotPixelsFrom(ImageView{packed.data(), 10, 11, 20, 2}, target.view(), 0, 100,
                                    100, kHotPixelThreshold8),
              -1);
}

// With a pool the frame is cut in two bands that run at once; the rows at the cut are done
// again in scan order when a replacement there changes what the lower band read. Scenes
// with outliers everywhere (the lower band is done again; on the tallest one its log of
// replacements also runs full) and with outliers only on one row near the cut.
TEST(HotPixels, TwoBandsMatchTheSequentialReference) {
    std::mt19937 rng(9);
    platform::WorkerPool pool(2);
    for (int bits : {8, 16}) {
        const int full = bits == 8 ? 255 : 4095;
        const int t = bits == 8 ? kHotPixelThreshold8 : kHotPixelThreshold16;
        auto check = [&](ref::Plane p, int mode, const char* what) {
            CDibImage img;
            ASSERT_EQ(img.Create(p.w, p.h, bits), 1);
            ref::write(p, img.view(), bits / 8);
            const int gainR = 100 + mode * 70, gainB = 250 - mode * 40;
            const ref::Plane original = p;
            const int expected = ref::hotReference(p, bits == 16, mode, gainR, gainB, t);
            EXPECT_EQ(suppressHotPixels(img.view(), mode, gainR, gainB, t, &pool), expected)
                << bits << " " << what << " " << p.w << "x" << p.h;
            ASSERT_EQ(ref::read(img.view(), 1, bits / 8).v, p.v)
                << bits << " " << what << " " << p.w << "x" << p.h;
            // Each band fills its own rows from the source as it goes.
            expectSuppressedFrom(original, p, expected, bits, mode, gainR, gainB, t, &pool);
        };
        auto smooth = [&](int w, int h) {
            ref::Plane p(w, h, 1);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    p.at(x, y) = (x * 3 + y * 2) % (full / 2) + static_cast<int>(rng() % 8);
            return p;
        };
        for (auto [w, h] : {std::pair{70, 64}, {131, 101}, {300, 400}}) {
            ref::Plane dense = smooth(w, h);
            for (int& v : dense.v) {
                const int k = static_cast<int>(rng() % 100);
                if (k < 12) v = full - static_cast<int>(rng() % 20);
                if (k >= 95) v = static_cast<int>(rng() % 5);
            }
            check(dense, static_cast<int>(rng() % 4), "dense");
            const int cut = h / 2;
            for (int dy = -3; dy <= 4; ++dy) {
                ref::Plane one = smooth(w, h);
                // A few bright samples in a row, two of them side by side.
                for (int x : {5, 6, w / 2, w - 7}) one.at(x, cut + dy) = full;
                check(one, (dy + 4) % 4, "row near the cut");
            }
        }
    }
}

// ---- Gray mode --------------------------------------------------------------------------

TEST(GrayMode, SitesFollowTheBayerModeTable) {
    EXPECT_EQ(graySiteAt(0, 0, 0), kGrayG1);
    EXPECT_EQ(graySiteAt(0, 1, 0), kGrayR);
    EXPECT_EQ(graySiteAt(0, 0, 1), kGrayB);
    EXPECT_EQ(graySiteAt(1, 1, 1), kGrayR);
    EXPECT_EQ(graySiteAt(2, 0, 0), kGrayR);
    EXPECT_EQ(graySiteAt(3, 0, 0), kGrayG2);
    EXPECT_EQ(graySiteAt(3, 1, 1), kGrayG1);
}

TEST(GrayMode, GainsAndOffsetsMatchReferenceAndLimit) {
    std::mt19937 rng(3);
    platform::WorkerPool pool(2);
    for (int bits : {8, 16})
        for (int mode = 0; mode < 4; ++mode) {
            CDibImage img = makeRandom(23, 10, bits, rng, 4095);
            const ref::Plane before = ref::read(img.view(), 1, bits / 8);
            GrayGains g;
            g.gain[0] = 140;
            g.gain[1] = 0;
            g.gain[2] = 255;
            g.gain[3] = 77;
            g.offset[0] = -10;
            g.offset[1] = 128;
            g.offset[2] = 255;
            g.offset[3] = -255;
            ASSERT_TRUE(applyGrayGains(img.view(), mode, g, bits == 8 ? 8 : 12, &pool));
            const ref::Plane after = ref::read(img.view(), 1, bits / 8);
            const int maxv = bits == 8 ? 255 : 4095;
            for (int y = 0; y < 10; ++y)
                for (int x = 0; x < 23; ++x) {
                    const int s = graySiteAt(mode, x, y);
                    const int e =
                        std::clamp(g.offset[s] + g.gain[s] * before.at(x, y) / 128, 0, maxv);
                    ASSERT_EQ(after.at(x, y), e);
                }
        }
}

TEST(GrayMode, EdgeCasesOfGainAndOffset) {
    CDibImage img;
    ASSERT_EQ(img.Create(4, 2, 8), 1);
    std::memset(img.bits(), 10, img.sizeBytes());
    GrayGains g;
    EXPECT_FALSE(applyGrayGains(img.view(), 0, g, 8));  // all 128: untouched
    EXPECT_EQ(img.bits()[0], 10);
    g.gain[kGrayR] = 140;
    ASSERT_TRUE(applyGrayGains(img.view(), 0, g, 8));
    EXPECT_EQ(img.bits()[0], 138);                   // G1 site in mode 0: 10 + offset 128
    EXPECT_EQ(img.bits()[1], 128 + 140 * 10 / 128);  // R site
    std::memset(img.bits(), 5, img.sizeBytes());
    GrayGains o;
    o.offset[0] = o.offset[1] = o.offset[2] = o.offset[3] = -10;
    ASSERT_TRUE(applyGrayGains(img.view(), 0, o, 8));
    for (size_t i = 0; i < img.sizeBytes(); ++i) EXPECT_EQ(img.bits()[i], 0);
}

TEST(GrayMode, OneShotBalanceCountsOnlyMidValues) {
    CDibImage img;
    ASSERT_EQ(img.Create(8, 8, 8), 1);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const int s = graySiteAt(2, x, y);
            const int v = s == kGrayG1 ? 100 : s == kGrayR ? 50 : s == kGrayG2 ? 80 : 30;
            img.bits()[y * 8 + x] = static_cast<uint8_t>(v);
        }
    img.bits()[0] = 255;  // an R site: not counted
    img.bits()[2] = 0;    // not counted either
    GrayGains current;
    current.offset[2] = 7;
    const GrayGains g = measureGrayBalance(img.view(), 2, current);
    EXPECT_EQ(g.gain[kGrayR], 256);
    EXPECT_EQ(g.gain[kGrayG1], 128);
    EXPECT_EQ(g.gain[kGrayG2], 160);
    EXPECT_EQ(g.gain[kGrayB], static_cast<int>(100.0f / 30.0f * 128.0f));
    EXPECT_EQ(g.offset[2], 7);
}

TEST(GrayMode, GrayFromColourWeightsChannels) {
    std::mt19937 rng(4);
    for (int bits : {24, 32}) {
        CDibImage colour = makeRandom(11, 5, bits, rng), gray;
        ASSERT_EQ(gray.Create(11, 5, 8), 1);
        ASSERT_TRUE(grayFromColour(colour.view(), gray.view()));
        const ref::Plane c = ref::read(colour.view(), 3, 1);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 11; ++x)
                ASSERT_EQ(gray.bits()[y * gray.stride() + x],
                          (30 * c.at(x, y, 2) + 59 * c.at(x, y, 1) + 11 * c.at(x, y, 0)) / 100);
    }
}

// ---- Hue and saturation -----------------------------------------------------------------

TEST(HueSaturation, MatchesReferenceForEveryFormat) {
    std::mt19937 rng(21);
    platform::WorkerPool pool(2);
    const std::pair<int, int> settings[] = {{0, 40},      {45, 0},   {-90, -100}, {359, 255},
                                            {-360, -255}, {200, 17}, {1, 1}};
    for (VectorPath path : {VectorPath::Best, VectorPath::Avx2, VectorPath::Scalar})
        for (int bits : {24, 32, 48, 64})
            for (auto [hue, sat] : settings)
                for (auto [w, h] : {std::pair{19, 7}, {300, 3}}) {
                    CDibImage img = makeRandom(w, h, bits, rng);
                    const int sb = sampleBytes(bits), ch = channels(bits);
                    const ref::Plane before = ref::read(img.view(), ch, sb);
                    HueSaturation hs;
                    hs.set(hue, sat);
                    ASSERT_TRUE(hs.apply(img.view(), &pool, path));
                    const ref::Plane after = ref::read(img.view(), ch, sb);
                    for (int y = 0; y < h; ++y)
                        for (int x = 0; x < w; ++x) {
                            int R = before.at(x, y, 2) >> (8 * (sb - 1)),
                                G = before.at(x, y, 1) >> (8 * (sb - 1)),
                                B = before.at(x, y, 0) >> (8 * (sb - 1));
                            ref::hueSatPixel(hue, sat, R, G, B);
                            const int shift = 8 * (sb - 1);
                            ASSERT_EQ(after.at(x, y, 0), B << shift)
                                << bits << " " << hue << "/" << sat;
                            ASSERT_EQ(after.at(x, y, 1), G << shift);
                            ASSERT_EQ(after.at(x, y, 2), R << shift);
                            if (bits == 32) {
                                ASSERT_EQ(after.at(x, y, 3), before.at(x, y, 3));
                            }
                            if (bits == 64) {
                                ASSERT_EQ(after.at(x, y, 3), 0);
                            }
                        }
                }
}

TEST(HueSaturation, ExhaustiveOverAColourCube) {
    // Every 8-bit colour on a coarse grid, through the library and the reference.
    CDibImage img;
    ASSERT_EQ(img.Create(52 * 52, 52, 24), 1);
    for (int r = 0; r < 52; ++r)
        for (int g = 0; g < 52; ++g)
            for (int b = 0; b < 52; ++b) {
                uint8_t* p = img.bits() + r * img.stride() + (g * 52 + b) * 3;
                p[0] = static_cast<uint8_t>(b * 5);
                p[1] = static_cast<uint8_t>(g * 5);
                p[2] = static_cast<uint8_t>(r * 5);
            }
    HueSaturation hs;
    hs.set(-137, 90);
    ASSERT_TRUE(hs.apply(img.view()));
    for (int r = 0; r < 52; ++r)
        for (int g = 0; g < 52; ++g)
            for (int b = 0; b < 52; ++b) {
                int R = r * 5, G = g * 5, B = b * 5;
                ref::hueSatPixel(-137, 90, R, G, B);
                const uint8_t* p = img.bits() + r * img.stride() + (g * 52 + b) * 3;
                ASSERT_EQ(p[0], B);
                ASSERT_EQ(p[1], G);
                ASSERT_EQ(p[2], R);
            }
}

TEST(HueSaturation, NeutralSettingsSkipAndFullTurnEqualsZero) {
    std::mt19937 rng(2);
    CDibImage img = makeRandom(10, 4, 24, rng);
    std::vector<uint8_t> before(img.bits(), img.bits() + img.sizeBytes());
    HueSaturation hs;
    EXPECT_FALSE(hs.active());
    ASSERT_TRUE(hs.apply(img.view()));
    EXPECT_EQ(std::memcmp(before.data(), img.bits(), before.size()), 0);
    EXPECT_EQ(HueSaturation::hueShift(360), HueSaturation::hueShift(0));
    EXPECT_EQ(HueSaturation::hueShift(-360), 0);
    for (int h = -360; h <= 360; ++h)
        ASSERT_EQ(HueSaturation::hueShift(h), ref::hueShiftRef(h)) << h;
    // Hue 360 with a saturation change equals hue 0 with it.
    CDibImage a = makeRandom(10, 4, 24, rng), b;
    ASSERT_EQ(b.CloneGeometry(a), 1);
    std::memcpy(b.bits(), a.bits(), a.sizeBytes());
    HueSaturation h0, h360;
    h0.set(0, 30);
    h360.set(360, 30);
    h0.apply(a.view());
    h360.apply(b.view());
    EXPECT_EQ(std::memcmp(a.bits(), b.bits(), a.sizeBytes()), 0);
    EXPECT_FALSE(hs.apply(CDibImage().view()));
}

// ---- Point operations --------------------------------------------------------------------

TEST(ToneTables, EdgeCases) {
    uint8_t t[256];
    buildContrastTable8(127, t);
    EXPECT_EQ(t[127], 0);
    EXPECT_EQ(t[128], 128);
    EXPECT_EQ(t[129], 255);
    buildGammaTable8(200, t);
    EXPECT_EQ(t[64], 127);
    EXPECT_EQ(t[0], 0);
    EXPECT_EQ(t[255], 255);
    buildGammaTable8(0, t);
    EXPECT_EQ(t[254], 0);
    EXPECT_EQ(t[255], 255);
    buildBrightnessTable8(-255, t);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(t[i], 0);
    buildBrightnessTable8(255, t);
    EXPECT_EQ(t[10], 110);
    EXPECT_EQ(t[23], 253);
    EXPECT_EQ(t[24], 255);
}

TEST(ToneTables, EveryEntryMatchesReference) {
    uint8_t t8[256];
    std::vector<uint16_t> t16(65536);
    for (int g : {1, 37, 99, 101, 200}) {
        buildGammaTable8(g, t8);
        buildGammaTable16(g, t16.data());
        for (int i = 0; i < 256; ++i) ASSERT_EQ(t8[i], ref::gammaRef(i, g, 255));
        for (int i = 0; i < 65536; i += 7) ASSERT_EQ(t16[i], ref::gammaRef(i, g, 65535));
    }
    for (int c : {-127, -50, -1, 1, 64, 127}) {
        buildContrastTable8(c, t8);
        buildContrastTable16(c, t16.data());
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(t8[i], ref::contrastRef(i, c, false)) << c << " " << i;
        for (int i = 0; i < 65536; i += 3)
            ASSERT_EQ(t16[i], ref::contrastRef(i, c, true)) << c << " " << i;
    }
    for (int b : {-255, -100, -1, 1, 77, 255}) {
        buildBrightnessTable8(b, t8);
        buildBrightnessTable16(b, t16.data());
        for (int i = 0; i < 256; ++i) ASSERT_EQ(t8[i], ref::brightnessRef(i, b, false));
        for (int i = 0; i < 65536; i += 5) ASSERT_EQ(t16[i], ref::brightnessRef(i, b, true));
    }
}

TEST(ToneTables, ComposedStagesEqualStagesInTurnAndCacheRebuildsOnlyOnChange) {
    std::mt19937 rng(6);
    ToneTableCache cache;
    SharpenWorkspace noScratch;
    for (int bits : {8, 16, 24, 32, 48, 64}) {
        CDibImage a = makeRandom(17, 6, bits, rng), b;
        ASSERT_EQ(b.CloneGeometry(a), 1);
        std::memcpy(b.bits(), a.bits(), a.sizeBytes());
        ASSERT_TRUE(applyToneSteps(a.view(), 150, 33, 0, -40, cache, noScratch));
        ToneTableCache separate;
        ASSERT_TRUE(applyGamma(b.view(), 150, separate));
        ASSERT_TRUE(applyContrast(b.view(), 33, separate));
        ASSERT_TRUE(applyBrightness(b.view(), -40, separate));
        ASSERT_EQ(std::memcmp(a.bits(), b.bits(), a.sizeBytes()), 0) << bits;
        // The fourth sample is not a colour.
        if (bits == 32 || bits == 64) {
            CDibImage c = makeRandom(5, 2, bits, rng);
            const ref::Plane before = ref::read(c.view(), 4, bits / 32);
            applyGamma(c.view(), 50, separate);
            const ref::Plane after = ref::read(c.view(), 4, bits / 32);
            for (int x = 0; x < 5; ++x) EXPECT_EQ(after.at(x, 1, 3), before.at(x, 1, 3));
        }
    }
    const int builds = cache.builds();
    CDibImage img = makeRandom(8, 8, 24, rng);
    applyToneSteps(img.view(), 150, 33, 0, -40, cache, noScratch);
    EXPECT_EQ(cache.builds(), builds);
    applyToneSteps(img.view(), 150, 34, 0, -40, cache, noScratch);
    EXPECT_EQ(cache.builds(), builds + 1);
    EXPECT_EQ(cache.table8(kToneGamma | kToneContrast | kToneBrightness, 100, 0, 0), nullptr);
}

TEST(ToneTables, TablePassMatchesPerSampleLookupOnEveryPath) {
    std::mt19937 rng(12);
    uint8_t table[256];
    for (int i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>(rng());
    for (VectorPath path : {VectorPath::Best, VectorPath::Scalar})
        for (int bits : {8, 24, 32})
            for (auto [w, h] : {std::pair{7, 3}, {100, 5}, {333, 4}}) {
                CDibImage img = makeRandom(w, h, bits, rng);
                const int ch = channels(bits);
                ref::Plane p = ref::read(img.view(), ch, 1);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                        for (int c = 0; c < std::min(ch, 3); ++c)
                            p.at(x, y, c) = table[p.at(x, y, c)];
                ASSERT_TRUE(applyTable8(img.view(), table, nullptr, path));
                ASSERT_EQ(ref::read(img.view(), ch, 1).v, p.v) << bits << " " << w;
            }
}

// ---- Sharpness -----------------------------------------------------------------------------

TEST(Sharpness, MatchesReferenceForEveryFormatPathAndBanding) {
    std::mt19937 rng(31);
    platform::WorkerPool pool2(2), pool3(3);
    SharpenWorkspace space;  // reused across sizes, as a session does
    // Widths whose rows are padded (3- and 6-byte pixels), odd sizes, the smallest image the
    // stage touches, and images tall enough to be cut into bands with boundary rows.
    const std::pair<int, int> sizes[] = {{5, 5}, {13, 9}, {300, 7}, {37, 41}, {70, 101}};
    for (VectorPath path :
         {VectorPath::Best, VectorPath::Avx2, VectorPath::Sse, VectorPath::Scalar})
        for (int bits : {8, 16, 24, 32, 48, 64})
            for (auto [w, h] : sizes)
                for (int k : {1, 7, 30}) {
                    CDibImage img = makeRandom(w, h, bits, rng);
                    const int sb = sampleBytes(bits), ch = channels(bits);
                    ref::Plane p = ref::read(img.view(), ch, sb);
                    ref::sharpenReference(p, k, sb == 1 ? 255 : 65535);
                    platform::WorkerPool* pool = k == 1 ? nullptr : (k == 7 ? &pool2 : &pool3);
                    ASSERT_TRUE(sharpen(img.view(), space, k, pool, path));
                    ASSERT_EQ(ref::read(img.view(), ch, sb).v, p.v)
                        << bits << " " << w << "x" << h << " k " << k << " path "
                        << static_cast<int>(path);
                }
}

TEST(Sharpness, ExtremeSamplesSaturateLikeTheReference) {
    // Only 0 and full scale: the largest differences from the blur, clipped at both ends.
    std::mt19937 rng(32);
    SharpenWorkspace space;
    platform::WorkerPool pool(2);
    for (VectorPath path : {VectorPath::Best, VectorPath::Sse, VectorPath::Scalar})
        for (int bits : {24, 48}) {
            const int sb = sampleBytes(bits), maxv = sb == 1 ? 255 : 65535;
            CDibImage img;
            ASSERT_EQ(img.Create(67, 45, bits), 1);
            ref::Plane p(67, 45, 3);
            for (int& v : p.v) v = (rng() & 1) ? maxv : 0;
            ref::write(p, img.view(), sb);
            ref::sharpenReference(p, 30, maxv);
            ASSERT_TRUE(sharpen(img.view(), space, 30, &pool, path));
            ASSERT_EQ(ref::read(img.view(), 3, sb).v, p.v) << bits;
        }
}

TEST(Sharpness, FlatImageUnchanged) {
    CDibImage img;
    SharpenWorkspace space;
    ASSERT_EQ(img.Create(16, 16, 24), 1);
    std::memset(img.bits(), 99, img.sizeBytes());
    ASSERT_TRUE(sharpen(img.view(), space, 30));
    for (size_t i = 0; i < img.sizeBytes(); ++i) ASSERT_EQ(img.bits()[i], 99);
    CDibImage other;  // no sharpening routine for 5-byte pixels
    ASSERT_EQ(other.Create(16, 16, 8), 1);
    ImageView odd = other.view();
    odd.bytesPerPixel = 5;
    EXPECT_FALSE(sharpen(odd, space, 3));
}

}  // namespace
}  // namespace orvane::imaging
