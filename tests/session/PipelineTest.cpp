// One frame through every stage of the colour pipeline, compared with a reference chain
// written from the formulas: the camera's own rendering of the frame is the input, the
// per-stage references from the imaging tests are applied in the documented order, and the
// delivered image must match to the last sample. A wrong order (say, sharpening before the
// tone curves or hot pixels after demosaicing) changes many samples.
#include <gtest/gtest.h>

#include <vector>

#include "OrvaneSdk.h"
#include "Reference.h"
#include "SentFrame.h"
#include "imaging/ColorFilters.h"
#include "sim/VirtualCameraSystem.h"

namespace {

using namespace orvane;
using imaging::ref::Plane;

// The camera reads out its whole array. The chart is the same in every frame except for a
// square that moves along rows 1850 to 1945; those rows and the few next to them that the
// filters reach are left out of the comparison.
constexpr int kW = 3072, kH = 2048;
constexpr int kMovingTop = 1850 - 8, kMovingBottom = 1946 + 8;

struct Settings {
    int bayerMode = 1, gainR = 160, gainB = 210;
    int hue = 30, saturation = 40, gamma = 120, contrast = 20, sharpness = 10, brightness = 20;
};

Plane referenceFrame(const Plane& rawIn, const Settings& s) {
    namespace ref = imaging::ref;
    Plane raw = rawIn;
    ref::hotReference(raw, false, s.bayerMode, s.gainR, s.gainB, imaging::kHotPixelThreshold8);
    Plane out(raw.w, raw.h, 3);
    for (int y = 0; y < raw.h; ++y)
        for (int x = 0; x < raw.w; ++x) {
            int bgr[3];
            ref::demosaicPixel(raw, s.bayerMode, s.gainR, s.gainB, false, x, y, bgr);
            int R = bgr[2], G = bgr[1], B = bgr[0];
            ref::hueSatPixel(s.hue, s.saturation, R, G, B);
            const int rgb[3] = {B, G, R};
            for (int c = 0; c < 3; ++c)
                out.at(x, y, c) =
                    ref::contrastRef(ref::gammaRef(rgb[c], s.gamma, 255), s.contrast, false);
        }
    ref::sharpenReference(out, s.sharpness, 255);
    for (int& v : out.v) v = ref::brightnessRef(v, s.brightness, false);
    return out;
}

TEST(Pipeline, EveryStageInOrderMatchesTheReferenceChain) {
    sim::ScopedVirtualCameras cams("30f0:pace=fast:hot=400:dead=400");
    const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
    ASSERT_NE(h, 0u);
    const Settings s;
    ASSERT_EQ(Orvane_SetColorMode(h, 24), 1);
    ASSERT_EQ(Orvane_SetBayerMode(h, s.bayerMode), 1);
    ASSERT_EQ(Orvane_SetBayerGainAuto(h, 0), 1);
    ASSERT_EQ(Orvane_SetBayerGainRed(h, s.gainR), 1);
    ASSERT_EQ(Orvane_SetBayerGainBlue(h, s.gainB), 1);
    ASSERT_EQ(Orvane_SetHue(h, s.hue), 1);
    ASSERT_EQ(Orvane_SetSaturation(h, s.saturation), 1);
    ASSERT_EQ(Orvane_SetGamma(h, s.gamma), 1);
    ASSERT_EQ(Orvane_SetContrast(h, s.contrast), 1);
    ASSERT_EQ(Orvane_SetSharpness(h, s.sharpness), 1);
    ASSERT_EQ(Orvane_SetBrightness(h, s.brightness), 1);

    const int stride = (kW * 3 + 3) & ~3;
    std::vector<uint8_t> image(static_cast<size_t>(stride) * kH);
    ASSERT_EQ(Orvane_SnapShot(h, image.data(), static_cast<int>(image.size()), 1), 1);
    ASSERT_EQ(Orvane_Width(h), kW);
    ASSERT_EQ(Orvane_Height(h), kH);

    // The frame as the camera sent it for the registers the session set.
    sim::VirtualCamera& cam = cams.camera(0);
    const sim::FrameParams params = cam.frameParams();
    ASSERT_EQ(params.width, kW);
    ASSERT_EQ(params.height, kH);
    ASSERT_EQ(params.bytesPerSample, 1);
    const Plane raw = test::sentFrame(cam);

    const Plane expected = referenceFrame(raw, s);
    int mismatches = 0;
    for (int y = 0; y < kH; ++y) {
        if (y >= kMovingTop && y < kMovingBottom) continue;
        for (int x = 0; x < kW; ++x)
            for (int c = 0; c < 3; ++c) {
                const int got = image[static_cast<size_t>(y) * stride + x * 3 + c];
                if (got != expected.at(x, y, c) && ++mismatches <= 5)
                    ADD_FAILURE() << "x " << x << " y " << y << " c " << c << ": " << got
                                  << " != " << expected.at(x, y, c);
            }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(Orvane_Release(h), 1);
}

}  // namespace
