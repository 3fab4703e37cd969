#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "Reference.h"
#include "imaging/MaskFilters.h"
#include "platform/WorkerPool.h"

namespace orvane::imaging {
namespace {

void fill16(CDibImage& img, int v) {
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            reinterpret_cast<uint16_t*>(img.bits() + y * img.stride())[x] =
                static_cast<uint16_t>(v);
}

TEST(DefectMap, LevelsAndUntouchedFrame) {
    for (int bits : {8, 16}) {
        CDibImage refImg, map;
        ASSERT_EQ(refImg.Create(12, 9, bits), 1);
        ASSERT_EQ(map.Create(12, 9, 8), 1);
        std::memset(map.bits(), 7, map.sizeBytes());  // the frame keeps these
        const int s = bits == 8 ? 1 : 16;
        const int hotAt = bits == 8 ? 192 : 3072, deadAt = bits == 8 ? 64 : 1024;
        ref::Plane p(12, 9, 1);
        for (int i = 0; i < 12 * 9; ++i) p.v[static_cast<size_t>(i)] = (i * 37 % 256) * s;
        p.at(3, 3) = hotAt;
        p.at(4, 3) = hotAt + 1;
        p.at(5, 3) = deadAt;
        p.at(6, 3) = deadAt - 1;
        ref::write(p, refImg.view(), bits / 8);
        for (DefectKind kind : {DefectKind::Hot, DefectKind::Dead}) {
            ASSERT_TRUE(buildDefectMap(refImg.view(), kind, map.view()));
            for (int y = 0; y < 9; ++y)
                for (int x = 0; x < 12; ++x) {
                    const int v = p.at(x, y);
                    int e = kind == DefectKind::Hot ? v > hotAt : v < deadAt;
                    if (x < 2 || y < 2 || x >= 10 || y >= 7) e = 7;
                    ASSERT_EQ(map.bits()[y * map.stride() + x], e) << x << "," << y;
                }
        }
    }
}

TEST(MaskFilter, InitialReferencesKeepEightBitAndScaleTwelveBit) {
    CDibImage frame, dark, bright, frame16, dark16, bright16;
    ASSERT_EQ(frame.Create(16, 8, 8), 1);
    ASSERT_EQ(dark.Create(16, 8, 8), 1);
    ASSERT_EQ(bright.Create(16, 8, 8), 1);
    std::memset(bright.bits(), 255, bright.sizeBytes());
    for (size_t i = 0; i < frame.sizeBytes(); ++i) frame.bits()[i] = static_cast<uint8_t>(i * 13);
    frame.bits()[20] = 255;
    std::vector<uint8_t> before(frame.bits(), frame.bits() + frame.sizeBytes());
    ASSERT_TRUE(
        applyMaskFilter(frame.view(), CaptureWindow{0, 0, 16, 8}, dark.view(), bright.view()));
    EXPECT_EQ(std::memcmp(before.data(), frame.bits(), before.size()), 0);

    ASSERT_EQ(frame16.Create(16, 8, 16), 1);
    ASSERT_EQ(dark16.Create(16, 8, 16), 1);
    ASSERT_EQ(bright16.Create(16, 8, 16), 1);
    fill16(bright16, 4095);
    fill16(frame16, 1000);
    reinterpret_cast<uint16_t*>(frame16.bits())[3] = 4095;
    ASSERT_TRUE(applyMaskFilter(frame16.view(), CaptureWindow{0, 0, 16, 8}, dark16.view(),
                                bright16.view()));
    const auto* f = reinterpret_cast<const uint16_t*>(frame16.bits());
    EXPECT_EQ(f[3], 4095 * 16);
    EXPECT_EQ(f[4], 1000 * 16);
}

TEST(MaskFilter, MatchesReferenceWithWindowAndBorder) {
    std::mt19937 rng(17);
    platform::WorkerPool pool(2);
    for (int bits : {8, 16})
        for (auto win : {CaptureWindow{3, 2, 20, 9}, CaptureWindow{0, 0, 3072, 9}}) {
            CDibImage frame, dark, bright;
            ASSERT_EQ(frame.Create(20, 9, bits), 1);
            ASSERT_EQ(dark.Create(26, 13, bits), 1);
            ASSERT_EQ(bright.Create(26, 13, bits), 1);
            ref::fillRandom(frame.view(), rng, 65535);
            ref::fillRandom(dark.view(), rng, 3000);
            ref::fillRandom(bright.view(), rng, 4095);
            ref::Plane F = ref::read(frame.view(), 1, bits / 8);
            const ref::Plane D = ref::read(dark.view(), 1, bits / 8),
                             L = ref::read(bright.view(), 1, bits / 8);
            const int b = win.width == 3072 ? 2 : 0;
            for (int y = b; y < 9 - b; ++y)
                for (int x = b; x < 20 - b; ++x) {
                    const int d = D.at(win.x + x, win.y + y), l = L.at(win.x + x, win.y + y);
                    if (bits == 8 && d != l) {
                        const int c = (F.at(x, y) - d) * 256 / (l - d);
                        F.at(x, y) = c >= 256 ? 255 : c < 0 ? 0 : c;
                    }
                    if (bits == 16 && d < l)
                        F.at(x, y) = std::clamp((F.at(x, y) - d) * 4096 / (l - d), 0, 4095) * 16;
                }
            ASSERT_TRUE(applyMaskFilter(frame.view(), win, dark.view(), bright.view(), &pool));
            ASSERT_EQ(ref::read(frame.view(), 1, bits / 8).v, F.v) << bits;
        }
}

TEST(MaskFilter, ManyQuotientsOfBothDepths) {
    for (int bits : {8, 16}) {
        CDibImage frame, dark, bright;
        ASSERT_EQ(frame.Create(256, 256, bits), 1);
        ASSERT_EQ(dark.Create(256, 256, bits), 1);
        ASSERT_EQ(bright.Create(256, 256, bits), 1);
        ref::Plane F(256, 256, 1), D(256, 256, 1), L(256, 256, 1);
        const int s = bits == 8 ? 1 : 257;
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) {
                F.at(x, y) = x * s;
                D.at(x, y) = (y * 7 + x) % 256 * (bits == 8 ? 1 : 16);
                L.at(x, y) = y * (bits == 8 ? 1 : 16);
            }
        ref::write(F, frame.view(), bits / 8);
        ref::write(D, dark.view(), bits / 8);
        ref::write(L, bright.view(), bits / 8);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) {
                const int d = D.at(x, y), l = L.at(x, y), f = F.at(x, y);
                if (bits == 8 && d != l) {
                    const int c = (f - d) * 256 / (l - d);
                    F.at(x, y) = c >= 256 ? 255 : c < 0 ? 0 : c;
                }
                if (bits == 16 && d < l)
                    F.at(x, y) = std::clamp((f - d) * 4096 / (l - d), 0, 4095) * 16;
            }
        ASSERT_TRUE(applyMaskFilter(frame.view(), CaptureWindow{0, 0, 256, 256}, dark.view(),
                                    bright.view()));
        ASSERT_EQ(ref::read(frame.view(), 1, bits / 8).v, F.v) << bits;
    }
}

TEST(DotFilter, MatchesReferenceOnNoisyFramesWithMaps) {
    std::mt19937 rng(23);
    platform::WorkerPool pool(2);
    for (int bits : {8, 16})
        for (auto [w, h] : {std::pair{14, 11}, {64, 40}}) {
            CDibImage frame, hot, dead, marks;
            ASSERT_EQ(frame.Create(w, h, bits), 1);
            ASSERT_EQ(hot.Create(w, h, 8), 1);
            ASSERT_EQ(dead.Create(w, h, 8), 1);
            ASSERT_EQ(marks.Create(w, h, 8), 1);
            ref::Plane F(w, h, 1), H(w, h, 1), D(w, h, 1);
            const int s = bits == 8 ? 1 : 16;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    F.at(x, y) = (100 + static_cast<int>(rng() % 40)) * s;  // some marked by noise
                    H.at(x, y) = rng() % 23 == 0;
                    D.at(x, y) = rng() % 29 == 0;
                }
            ref::write(F, frame.view(), bits / 8);
            ref::write(H, hot.view(), 1);
            ref::write(D, dead.view(), 1);
            std::memset(marks.bits(), 1, marks.sizeBytes());  // cleared by the filter
            const int t = bits == 8 ? kDotThreshold8 : kDotThreshold16;
            const int expected = ref::dotReference(F, H, D, t);
            EXPECT_EQ(applyDotFilter(frame.view(), CaptureWindow{0, 0, w, h}, hot.view(),
                                     dead.view(), marks.view(), t, &pool),
                      expected);
            ASSERT_EQ(ref::read(frame.view(), 1, bits / 8).v, F.v) << bits << " " << w;
        }
}

TEST(DotFilter, CorrectionOfDenseAndLargeMarkedAreasMatchesReference) {
    std::mt19937 rng(41);
    platform::WorkerPool pool(2);
    for (int density : {2, 50, 97})
        for (auto [w, h] : {std::pair{12, 9}, {300, 61}}) {
            CDibImage frame, marks;
            ASSERT_EQ(frame.Create(w, h, 16), 1);
            ASSERT_EQ(marks.Create(w, h, 8), 1);
            ref::fillRandom(frame.view(), rng, 4095);
            ref::Plane M(w, h, 1);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    M.at(x, y) = static_cast<int>(rng() % 100) < density ||
                                 (x > w / 3 && x < w / 2 && y > 5);
            ref::write(M, marks.view(), 1);
            ref::Plane F = ref::read(frame.view(), 1, 2);
            ref::correctReference(F, M);
            correctMarkedPixels(frame.view(), marks.view(), w > 100 ? &pool : nullptr);
            ASSERT_EQ(ref::read(frame.view(), 1, 2).v, F.v) << density << " " << w;
        }
}

TEST(DotFilter, MapsAreReadAtTheCaptureWindowOffset) {
    CDibImage frame, hot, dead, marks;
    ASSERT_EQ(frame.Create(12, 10, 8), 1);
    ASSERT_EQ(hot.Create(40, 30, 8), 1);  // sensor-sized maps
    ASSERT_EQ(dead.Create(40, 30, 8), 1);
    ASSERT_EQ(marks.Create(12, 10, 8), 1);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x)
            frame.bits()[y * frame.stride() + x] = static_cast<uint8_t>(10 * x);
    hot.bits()[(7 + 5) * hot.stride() + (3 + 6)] = 1;  // frame pixel (6, 5) in a window at (3, 7)
    EXPECT_EQ(applyDotFilter(frame.view(), CaptureWindow{3, 7, 12, 10}, hot.view(), dead.view(),
                             marks.view(), 30),
              1);
    EXPECT_EQ(marks.bits()[5 * marks.stride() + 6], 1);
    EXPECT_EQ(frame.bits()[5 * frame.stride() + 6], (50 + 70 + 60 + 60) / 4);
}

TEST(DotFilter, ThresholdIsInclusive) {
    CDibImage frame, hot, dead, marks;
    ASSERT_EQ(frame.Create(12, 12, 8), 1);
    ASSERT_EQ(hot.Create(12, 12, 8), 1);
    ASSERT_EQ(dead.Create(12, 12, 8), 1);
    ASSERT_EQ(marks.Create(12, 12, 8), 1);
    std::memset(frame.bits(), 100, frame.sizeBytes());
    frame.bits()[6 * 12 + 6] = 130;
    EXPECT_EQ(applyDotFilter(frame.view(), CaptureWindow{0, 0, 12, 12}, hot.view(), dead.view(),
                             marks.view(), 30),
              1);
    EXPECT_EQ(frame.bits()[6 * 12 + 6], 100);
    frame.bits()[6 * 12 + 6] = 129;
    EXPECT_EQ(applyDotFilter(frame.view(), CaptureWindow{0, 0, 12, 12}, hot.view(), dead.view(),
                             marks.view(), 30),
              0);
    EXPECT_EQ(frame.bits()[6 * 12 + 6], 129);
}

TEST(DotFilter, PixelWithWholeRowAndColumnMarkedKeepsItsValue) {
    CDibImage frame, marks;
    ASSERT_EQ(frame.Create(10, 10, 8), 1);
    ASSERT_EQ(marks.Create(10, 10, 8), 1);
    for (int i = 0; i < 100; ++i) frame.bits()[(i / 10) * 12 + i % 10] = static_cast<uint8_t>(i);
    for (int i = 0; i < 10; ++i) {
        marks.bits()[5 * marks.stride() + i] = 1;  // row 5
        marks.bits()[i * marks.stride() + 6] = 1;  // column 6
    }
    const uint8_t kept = frame.bits()[5 * frame.stride() + 6];
    correctMarkedPixels(frame.view(), marks.view());
    EXPECT_EQ(frame.bits()[5 * frame.stride() + 6], kept);
    // A neighbour on row 5 finds its column's unmarked pixels only.
    EXPECT_EQ(frame.bits()[5 * frame.stride() + 4], (44 + 64) / 2);
}

}  // namespace
}  // namespace orvane::imaging
