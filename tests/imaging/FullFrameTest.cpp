// Full-size (3072 x 2048) comparisons with the per-pixel references: the sizes the pipeline
// really runs at, with the worker pool. Labelled slow.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "Reference.h"
#include "imaging/ColorFilters.h"
#include "imaging/Demosaic.h"
#include "platform/WorkerPool.h"

namespace orvane::imaging {
namespace {

constexpr int kW = 3072, kH = 2048;

TEST(FullFrame, DemosaicEveryDepthMatchesReference) {
    std::mt19937 rng(99);
    platform::WorkerPool pool(2);
    for (int outBits : {24, 32, 48, 64}) {
        const bool sixteen = outBits >= 48;
        CDibImage raw, out;
        ASSERT_EQ(raw.Create(kW, kH, sixteen ? 16 : 8), 1);
        ASSERT_EQ(out.Create(kW, kH, outBits), 1);
        ref::fillRandom(raw.view(), rng, 4095);
        DemosaicParams p;
        p.bayerMode = outBits / 16 % 4;
        p.gainRed = 137;
        p.gainBlue = 255;
        ASSERT_TRUE(demosaic(raw.view(), out.view(), p, &pool));
        const ref::Plane rp = ref::read(raw.view(), 1, sixteen ? 2 : 1);
        const int ch = outBits == 32 || outBits == 64 ? 4 : 3;
        const ref::Plane got = ref::read(out.view(), ch, sixteen ? 2 : 1);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                int e[3];
                ref::demosaicPixel(rp, p.bayerMode, p.gainRed, p.gainBlue, sixteen, x, y, e);
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(got.at(x, y, c), e[c]) << outBits << " " << x << "," << y;
            }
    }
}

TEST(FullFrame, HueSaturationAndSharpnessMatchReference) {
    std::mt19937 rng(7);
    platform::WorkerPool pool(2);
    CDibImage img;
    SharpenWorkspace space;
    ASSERT_EQ(img.Create(kW, kH, 24), 1);
    ref::fillRandom(img.view(), rng);
    ref::Plane p = ref::read(img.view(), 3, 1);
    HueSaturation hs;
    hs.set(123, -45);
    ASSERT_TRUE(hs.apply(img.view(), &pool));
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            int R = p.at(x, y, 2), G = p.at(x, y, 1), B = p.at(x, y, 0);
            ref::hueSatPixel(123, -45, R, G, B);
            p.at(x, y, 0) = B;
            p.at(x, y, 1) = G;
            p.at(x, y, 2) = R;
        }
    ASSERT_EQ(ref::read(img.view(), 3, 1).v, p.v);
    ASSERT_TRUE(sharpen(img.view(), space, 12, &pool));
    const ref::Plane orig = p;
    for (int y = 2; y < kH - 2; ++y)
        for (int x = 2; x < kW - 2; ++x)
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int yy = y - 2; yy <= y + 1; ++yy)
                    for (int xx = x - 2; xx <= x + 1; ++xx) sum += orig.at(xx, yy, c);
                const int o = orig.at(x, y, c);
                p.at(x, y, c) = std::clamp(o + 12 * (o - (sum >> 4)) / 10, 0, 255);
            }
    ASSERT_EQ(ref::read(img.view(), 3, 1).v, p.v);
}

}  // namespace
}  // namespace orvane::imaging
