#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "Reference.h"
#include "imaging/Demosaic.h"
#include "platform/WorkerPool.h"

namespace orvane::imaging {
namespace {

// Compares the demosaic of a random raw frame with the per-pixel reference, and checks that
// the fourth sample of 32- and 64-bit pixels is untouched.
void expectDemosaicMatches(int w, int h, int outBits, int mode, int gainR, int gainB,
                           platform::WorkerPool* pool, std::mt19937& rng, int maxSample = 65535,
                           VectorPath path = VectorPath::Best) {
    const bool sixteen = outBits >= 48;
    CDibImage raw, out;
    ASSERT_EQ(raw.Create(w, h, sixteen ? 16 : 8), 1);
    ASSERT_EQ(out.Create(w, h, outBits), 1);
    ref::fillRandom(raw.view(), rng, maxSample);
    ref::fillRandom(out.view(), rng);
    const int ch = outBits == 32 || outBits == 64 ? 4 : 3;
    const int sb = sixteen ? 2 : 1;
    const ref::Plane before = ref::read(out.view(), ch, sb);
    const ref::Plane rawPlane = ref::read(raw.view(), 1, sb);
    DemosaicParams p;
    p.bayerMode = mode;
    p.gainRed = gainR;
    p.gainBlue = gainB;
    p.gainGreen = 37;  // never applied
    ASSERT_TRUE(demosaic(raw.view(), out.view(), p, pool, path));
    const ref::Plane got = ref::read(out.view(), ch, sb);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int e[3];
            ref::demosaicPixel(rawPlane, mode, gainR, gainB, sixteen, x, y, e);
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(got.at(x, y, c), e[c])
                    << "mode " << mode << " bits " << outBits << " " << w << "x" << h << " at " << x
                    << "," << y << " ch " << c;
            if (ch == 4) {
                ASSERT_EQ(got.at(x, y, 3), before.at(x, y, 3));
            }
        }
}

TEST(Demosaic, MatchesReferenceForEveryModeDepthSizeAndPath) {
    std::mt19937 rng(1234);
    platform::WorkerPool pool(2);
    const std::pair<int, int> sizes[] = {{8, 8},   {10, 12}, {13, 9}, {38, 20},
                                         {66, 17}, {4, 4},   {5, 6},  {101, 9}};
    for (VectorPath path : {VectorPath::Best, VectorPath::Sse, VectorPath::Scalar})
        for (int outBits : {24, 32, 48, 64})
            for (int mode = 0; mode < 4; ++mode)
                for (auto [w, h] : sizes) {
                    expectDemosaicMatches(w, h, outBits, mode, 100, 100, nullptr, rng, 65535, path);
                    expectDemosaicMatches(w, h, outBits, mode, 173, 61, &pool, rng, 65535, path);
                }
}

TEST(Demosaic, GainsSaturateAndTwelveBitDataStaysInRange) {
    std::mt19937 rng(77);
    for (int outBits : {24, 48})
        for (int gain : {0, 1, 99, 250, 399, 400})
            expectDemosaicMatches(40, 10, outBits, 2, gain, 400 - gain, nullptr, rng, 4095);
}

TEST(Demosaic, UniformFrameGivesUniformOutputBordersIncluded) {
    for (int bits : {8, 16}) {
        CDibImage raw, out;
        ASSERT_EQ(raw.Create(24, 16, bits), 1);
        ASSERT_EQ(out.Create(24, 16, bits == 8 ? 24 : 48), 1);
        const int v = bits == 8 ? 173 : 40000;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 24; ++x) {
                if (bits == 8)
                    raw.bits()[y * raw.stride() + x] = static_cast<uint8_t>(v);
                else
                    reinterpret_cast<uint16_t*>(raw.bits() + y * raw.stride())[x] =
                        static_cast<uint16_t>(v);
            }
        ASSERT_TRUE(demosaic(raw.view(), out.view(), DemosaicParams{}));
        const ref::Plane p = ref::read(out.view(), 3, bits / 8);
        for (int i : p.v) ASSERT_EQ(i, v);
    }
}

TEST(Demosaic, RedGain400OnFullRedSaturates) {
    CDibImage raw, out;
    ASSERT_EQ(raw.Create(16, 16, 8), 1);
    ASSERT_EQ(out.Create(16, 16, 24), 1);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            raw.bits()[y * raw.stride() + x] = bayerColourAt(2, x, y) == BayerColour::Red ? 255 : 0;
    DemosaicParams p;
    p.gainRed = 400;
    ASSERT_TRUE(demosaic(raw.view(), out.view(), p));
    const ref::Plane got = ref::read(out.view(), 3, 1);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            EXPECT_EQ(got.at(x, y, 2), 255);
            EXPECT_EQ(got.at(x, y, 0), 0);
            EXPECT_EQ(got.at(x, y, 1), 0);
        }
}

TEST(Demosaic, ModeOneReadsRedAtTopLeftModeZeroDoesNot) {
    // Sites: red at (even, even), blue at (odd, odd): mode 1's layout.
    CDibImage raw, out1, out0;
    ASSERT_EQ(raw.Create(16, 12, 8), 1);
    ASSERT_EQ(out1.Create(16, 12, 24), 1);
    ASSERT_EQ(out0.Create(16, 12, 24), 1);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool red = (x % 2 == 0) && (y % 2 == 0), blue = (x % 2 == 1) && (y % 2 == 1);
            raw.bits()[y * raw.stride() + x] = red ? 200 : blue ? 40 : 120;
        }
    DemosaicParams p;
    p.bayerMode = 1;
    ASSERT_TRUE(demosaic(raw.view(), out1.view(), p));
    p.bayerMode = 0;
    ASSERT_TRUE(demosaic(raw.view(), out0.view(), p));
    const ref::Plane a = ref::read(out1.view(), 3, 1), b = ref::read(out0.view(), 3, 1);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) {
            EXPECT_EQ(a.at(x, y, 2), 200);
            EXPECT_EQ(a.at(x, y, 1), 120);
            EXPECT_EQ(a.at(x, y, 0), 40);
            // Mode 0 takes the green sites for red and blue and the red/blue sites for green.
            EXPECT_EQ(b.at(x, y, 2), 120);
            EXPECT_EQ(b.at(x, y, 0), 120);
            EXPECT_EQ(b.at(x, y, 1), (200 + 40) / 2);
        }
}

TEST(Demosaic, RefusesWhatItCannotDo) {
    CDibImage raw, out, small, smallOut;
    ASSERT_EQ(raw.Create(16, 16, 8), 1);
    ASSERT_EQ(out.Create(16, 16, 48), 1);
    EXPECT_FALSE(demosaic(raw.view(), out.view(), DemosaicParams{}));  // depth mismatch
    ASSERT_EQ(out.Create(16, 14, 24), 1);
    EXPECT_FALSE(demosaic(raw.view(), out.view(), DemosaicParams{}));  // size mismatch
    ASSERT_EQ(out.Create(16, 16, 24), 1);
    DemosaicParams bad;
    bad.bayerMode = 4;
    EXPECT_FALSE(demosaic(raw.view(), out.view(), bad));
    ASSERT_EQ(small.Create(3, 8, 8), 1);
    ASSERT_EQ(smallOut.Create(3, 8, 24), 1);
    EXPECT_FALSE(demosaic(small.view(), smallOut.view(), DemosaicParams{}));
}

TEST(Demosaic, GainFactor) {
    EXPECT_EQ(bayerGainFactor(100), 128);
    EXPECT_EQ(bayerGainFactor(400), 512);
    EXPECT_EQ(bayerGainFactor(150), 192);
    EXPECT_EQ(bayerGainFactor(99), 126);  // 126.72
}

// A frame whose green sites hold g, red r and blue b (Bayer mode 2).
CDibImage sitesFrame(int bits, int r, int g, int b) {
    CDibImage raw;
    raw.Create(20, 10, bits);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            const BayerColour c = bayerColourAt(2, x, y);
            const int v = c == BayerColour::Red ? r : c == BayerColour::Blue ? b : g;
            if (bits == 8)
                raw.bits()[y * raw.stride() + x] = static_cast<uint8_t>(v);
            else
                reinterpret_cast<uint16_t*>(raw.bits() + y * raw.stride())[x] =
                    static_cast<uint16_t>(v);
        }
    return raw;
}

TEST(WhiteBalance, GainsFollowTheGreenMeanUpToTheLimit) {
    for (int bits : {8, 16}) {
        const int s = bits == 8 ? 1 : 16;
        CDibImage twice = sitesFrame(bits, 50 * s, 100 * s, 100 * s);
        WhiteBalanceGains g = measureWhiteBalance(twice.view(), 2);
        EXPECT_EQ(g.red, 200);
        EXPECT_EQ(g.green, 100);
        EXPECT_EQ(g.blue, 100);
        CDibImage fivefold = sitesFrame(bits, 20 * s, 100 * s, 80 * s);
        g = measureWhiteBalance(fivefold.view(), 2);
        EXPECT_EQ(g.red, 400);
        EXPECT_EQ(g.blue, 125);
        CDibImage noRed = sitesFrame(bits, 0, 100 * s, 100 * s);
        EXPECT_EQ(measureWhiteBalance(noRed.view(), 2).red, 400);
        CDibImage black = sitesFrame(bits, 0, 0, 0);
        EXPECT_EQ(measureWhiteBalance(black.view(), 2).red, 100);
    }
}

TEST(WhiteBalance, MatchesReferenceOnRandomFrameWithPool) {
    std::mt19937 rng(5);
    platform::WorkerPool pool(2);
    CDibImage raw;
    ASSERT_EQ(raw.Create(37, 90, 8), 1);  // odd width: padded rows
    ref::fillRandom(raw.view(), rng);
    for (int mode = 0; mode < 4; ++mode) {
        double sum[3] = {}, cnt[3] = {};
        for (int y = 0; y < 90; ++y)
            for (int x = 0; x < 37; ++x) {
                const char c = ref::bayer(mode, x, y);
                const int i = c == 'R' ? 0 : c == 'G' ? 1 : 2;
                sum[i] += raw.bits()[y * raw.stride() + x];
                cnt[i] += 1;
            }
        const double mR = sum[0] / cnt[0], mG = sum[1] / cnt[1], mB = sum[2] / cnt[2];
        const double S = mG + mR + mB, T = S / mG / 3;
        const WhiteBalanceGains g = measureWhiteBalance(raw.view(), mode, &pool);
        EXPECT_EQ(g.red, std::min(400, static_cast<int>(S / mR / 3 * 100 / T)));
        EXPECT_EQ(g.blue, std::min(400, static_cast<int>(S / mB / 3 * 100 / T)));
    }
}

}  // namespace
}  // namespace orvane::imaging
