// The banded tone pass (tone table, sharpening and brightness in one pass over bands of rows)
// against the same stages run one after the other over the whole image.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "Reference.h"
#include "imaging/ColorFilters.h"
#include "platform/WorkerPool.h"

namespace orvane::imaging {
namespace {

struct ToneSettings {
    int gamma, contrast, sharpness, brightness;
};

// Gamma, contrast, sharpness and brightness each as its own stage.
void stageByStage(CDibImage& img, const ToneSettings& t) {
    ToneTableCache cache;
    SharpenWorkspace space;
    ASSERT_TRUE(applyGamma(img.view(), t.gamma, cache));
    ASSERT_TRUE(applyContrast(img.view(), t.contrast, cache));
    ASSERT_TRUE(sharpen(img.view(), space, t.sharpness, nullptr, VectorPath::Scalar));
    ASSERT_TRUE(applyBrightness(img.view(), t.brightness, cache));
}

TEST(BandedTone, EqualsTheStagesInTurnAtEveryBandBoundary) {
    std::mt19937 rng(31);
    const ToneSettings settings[] = {{120, 20, 10, 20},
                                     {100, 0, 30, -255},
                                     {40, -100, 1, 0},
                                     {100, 0, 5, 0},
                                     {250, 127, 30, 255}};
    // One, two and four bands (bands are at least 16 rows); sizes just at the smallest
    // sharpened image and odd ones.
    std::unique_ptr<platform::WorkerPool> pools[] = {nullptr,
                                                     std::make_unique<platform::WorkerPool>(2),
                                                     std::make_unique<platform::WorkerPool>(4)};
    for (int bits : {8, 24, 32})
        for (auto [w, h] : {std::pair{5, 5}, {6, 7}, {33, 37}, {41, 70}, {101, 131}})
            for (const ToneSettings& t : settings)
                for (auto& pool : pools)
                    for (VectorPath path : {VectorPath::Best, VectorPath::Scalar}) {
                        CDibImage img, expected;
                        ASSERT_EQ(img.Create(w, h, bits), 1);
                        ref::fillRandom(img.view(), rng);
                        ASSERT_EQ(expected.CloneGeometry(img), 1);
                        std::memcpy(expected.bits(), img.bits(), img.sizeBytes());
                        stageByStage(expected, t);
                        ToneTableCache cache;
                        SharpenWorkspace space;
                        if (path == VectorPath::Best) {
                            ASSERT_TRUE(applyToneSteps(img.view(), t.gamma, t.contrast, t.sharpness,
                                                       t.brightness, cache, space, pool.get()));
                        } else {
                            uint8_t tone[256], bright[256];
                            // The cache keeps one 8-bit table at a time.
                            const uint8_t* a =
                                cache.table8(kToneGamma | kToneContrast, t.gamma, t.contrast, 0);
                            if (a != nullptr) std::memcpy(tone, a, 256);
                            const uint8_t* b = cache.table8(kToneBrightness, 100, 0, t.brightness);
                            if (b != nullptr) std::memcpy(bright, b, 256);
                            ASSERT_TRUE(sharpenBetween(
                                img.view(), space, t.sharpness, a != nullptr ? tone : nullptr,
                                b != nullptr ? bright : nullptr, pool.get(), path));
                        }
                        // Compared pixel by pixel (row padding is not the image's).
                        const int rowBytes = w * bits / 8;
                        for (int y = 0; y < h; ++y)
                            ASSERT_EQ(std::memcmp(img.bits() + y * img.stride(),
                                                  expected.bits() + y * expected.stride(),
                                                  static_cast<size_t>(rowBytes)),
                                      0)
                                << bits << " bits " << w << "x" << h << " row " << y
                                << " sharpness " << t.sharpness << " threads "
                                << (pool ? pool->threadCount() : 1);
                    }
}

// Hue and saturation folded into the banded pass: equal to hue and saturation over the
// whole image first and the tone stages after, at every band boundary, for colour formats
// (the fourth byte of 32-bit pixels kept), also where the image is too small to sharpen or
// hue and saturation are off; 48-bit images take the stages in turn.
TEST(BandedTone, HueAndSaturationFoldedIntoTheBands) {
    std::mt19937 rng(33);
    struct Case {
        int hue, saturation;
        ToneSettings tone;
    };
    const Case cases[] = {{30, 40, {120, 20, 10, 20}},
                          {-180, -256, {100, 0, 30, -255}},
                          {359, 32767, {40, -100, 1, 0}},
                          {0, 0, {250, 127, 30, 255}},
                          {90, 200, {100, 0, 0, 0}}};
    std::unique_ptr<platform::WorkerPool> pools[] = {nullptr,
                                                     std::make_unique<platform::WorkerPool>(2),
                                                     std::make_unique<platform::WorkerPool>(4)};
    for (int bits : {24, 32, 48})
        for (auto [w, h] : {std::pair{4, 9}, {5, 5}, {33, 37}, {41, 70}, {101, 131}})
            for (const Case& c : cases)
                for (auto& pool : pools) {
                    CDibImage img, expected;
                    ASSERT_EQ(img.Create(w, h, bits), 1);
                    ref::fillRandom(img.view(), rng);
                    ASSERT_EQ(expected.CloneGeometry(img), 1);
                    std::memcpy(expected.bits(), img.bits(), img.sizeBytes());
                    HueSaturation hs;
                    hs.set(c.hue, c.saturation);
                    ASSERT_TRUE(hs.apply(expected.view(), nullptr, VectorPath::Scalar));
                    stageByStage(expected, c.tone);
                    ToneTableCache cache;
                    SharpenWorkspace space;
                    ASSERT_TRUE(applyToneSteps(img.view(), c.tone.gamma, c.tone.contrast,
                                               c.tone.sharpness, c.tone.brightness, cache, space,
                                               pool.get(), &hs));
                    const int rowBytes = w * bits / 8;
                    for (int y = 0; y < h; ++y)
                        ASSERT_EQ(std::memcmp(img.bits() + y * img.stride(),
                                              expected.bits() + y * expected.stride(),
                                              static_cast<size_t>(rowBytes)),
                                  0)
                            << bits << " bits " << w << "x" << h << " row " << y << " hue " << c.hue
                            << " saturation " << c.saturation << " threads "
                            << (pool ? pool->threadCount() : 1);
                }
}

TEST(BandedTone, TablesAloneWhenNothingIsSharpened) {
    // Too small to sharpen: the tables still run, in order.
    std::mt19937 rng(32);
    for (auto [w, h] : {std::pair{4, 9}, {9, 4}, {1, 1}}) {
        CDibImage img, expected;
        ASSERT_EQ(img.Create(w, h, 24), 1);
        ref::fillRandom(img.view(), rng);
        ASSERT_EQ(expected.CloneGeometry(img), 1);
        std::memcpy(expected.bits(), img.bits(), img.sizeBytes());
        stageByStage(expected, {150, 40, 12, -30});
        ToneTableCache cache;
        SharpenWorkspace space;
        ASSERT_TRUE(applyToneSteps(img.view(), 150, 40, 12, -30, cache, space));
        for (int y = 0; y < h; ++y)
            ASSERT_EQ(
                std::memcmp(img.bits() + y * img.stride(), expected.bits() + y * expected.stride(),
                            static_cast<size_t>(w) * 3),
                0);
    }
    // Other formats are refused by the banded pass.
    uint8_t t[256] = {};
    CDibImage wide;
    ASSERT_EQ(wide.Create(8, 8, 48), 1);
    SharpenWorkspace space;
    EXPECT_FALSE(sharpenBetween(wide.view(), space, 5, t, t));
}

}  // namespace
}  // namespace orvane::imaging
