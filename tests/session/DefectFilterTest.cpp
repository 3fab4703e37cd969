// The defect (dot) filter inside the session at both sample depths: defect maps read back from
// a mask file and the difference test of the filter, followed by hot-pixel suppression and
// demosaicing, compared with the reference chain on the frame the camera sent.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "OrvaneSdk.h"
#include "Reference.h"
#include "SentFrame.h"
#include "imaging/ColorFilters.h"
#include "imaging/MaskFilters.h"
#include "output/MaskFile.h"
#include "sim/VirtualCameraSystem.h"
#include "support/TestEnv.h"

namespace {

using namespace orvane;
using imaging::ref::Plane;

constexpr int kW = 3072, kH = 2048;
// The chart's moving square crosses rows 1850 to 1945 (and the filters reach a few more).
constexpr int kMovingTop = 1850 - 8, kMovingBottom = 1946 + 8;
constexpr int kBayerMode = 1, kGainR = 160, kGainB = 210;

// Sensor positions given as defects in the mask file: hot in the dark references, dead in
// the bright ones. The outer two rows and columns are outside what the maps cover.
struct Defect {
    int x, y;
    bool hot;
};
const std::vector<Defect> kDefects = {{10, 10, true},     {11, 10, true},      {700, 300, false},
                                      {1500, 1000, true}, {3000, 2000, false}, {2, 2, true},
                                      {3069, 7, false},   {400, 1700, true}};

// A mask file with the default references (dark 0, bright full scale) and the defects above.
std::string writeMaskFile() {
    namespace o = output;
    std::vector<uint8_t> file(o::kMaskFileBytes, 0);
    o::MaskFileHeader header{};
    std::memcpy(header.signature, o::kMaskSignature, sizeof header.signature);
    header.width = o::kMaskWidth;
    header.height = o::kMaskHeight;
    header.blockBytes[0] = header.blockBytes[1] = o::kMaskBlockBytes8;
    header.blockBytes[2] = header.blockBytes[3] = o::kMaskBlockBytes16;
    std::memcpy(file.data(), &header, sizeof header);
    uint8_t* dark8 = file.data() + o::kMaskHeaderBytes;
    uint8_t* bright8 = dark8 + o::kMaskBlockBytes8;
    uint8_t* dark16 = bright8 + o::kMaskBlockBytes8;
    uint8_t* bright16 = dark16 + o::kMaskBlockBytes16;
    std::memset(bright8, 255, o::kMaskBlockBytes8);
    auto put16 = [](uint8_t* block, int x, int y, int v) {
        uint8_t* p = block + (static_cast<size_t>(y) * kW + x) * 2;
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
    };
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) put16(bright16, x, y, 4095);
    for (const Defect& d : kDefects) {
        if (d.hot) {
            dark8[static_cast<size_t>(d.y) * kW + d.x] = 200;
            put16(dark16, d.x, d.y, 3500);
        } else {
            bright8[static_cast<size_t>(d.y) * kW + d.x] = 40;
            put16(bright16, d.x, d.y, 600);
        }
    }
    const std::string path = test::testDir() + "/defects.mask";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
    return path;
}

// The maps the session must build from that file, in frame coordinates.
void referenceMaps(Plane& hot, Plane& dead) {
    hot = Plane(kW, kH, 1);
    dead = Plane(kW, kH, 1);
    for (const Defect& d : kDefects) {
        if (d.x < 2 || d.y < 2 || d.x > kW - 3 || d.y > kH - 3) continue;
        (d.hot ? hot : dead).at(d.x, d.y) = 1;
    }
}

class DefectFilter : public testing::TestWithParam<int> {};

// bits: 24 (8-bit raw frame) or 48 (16-bit raw frame).
TEST_P(DefectFilter, SnapshotWithMapsFromAMaskFileMatchesTheReferenceChain) {
    const int bits = GetParam();
    const bool sixteen = bits == 48;
    sim::ScopedVirtualCameras cams("30f0:pace=fast");
    const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
    ASSERT_NE(h, 0u);
    ASSERT_EQ(Orvane_SetColorMode(h, bits), 1);
    ASSERT_EQ(Orvane_SetBayerMode(h, kBayerMode), 1);
    ASSERT_EQ(Orvane_SetBayerGainAuto(h, 0), 1);
    ASSERT_EQ(Orvane_SetBayerGainRed(h, kGainR), 1);
    ASSERT_EQ(Orvane_SetBayerGainBlue(h, kGainB), 1);
    ASSERT_EQ(Orvane_SetGamma(h, 100), 1);
    ASSERT_EQ(Orvane_SetContrast(h, 0), 1);
    ASSERT_EQ(Orvane_SetSharpness(h, 0), 1);
    ASSERT_EQ(Orvane_SetBrightness(h, 0), 1);
    ASSERT_EQ(Orvane_SetHue(h, 0), 1);
    ASSERT_EQ(Orvane_SetSaturation(h, 0), 1);
    ASSERT_EQ(Orvane_LoadMaskFile(h, writeMaskFile().c_str()), 1);
    ASSERT_EQ(Orvane_SetDotFilter(h, 1), 1);

    const int sampleBytes = sixteen ? 2 : 1;
    const size_t stride = static_cast<size_t>((kW * bits / 8 + 3) & ~3);
    std::vector<uint8_t> image(stride * kH);
    ASSERT_EQ(Orvane_SnapShot(h, image.data(), static_cast<int>(image.size()), 1), 1)
        << "error " << Orvane_GetLastError(h);

    sim::VirtualCamera& cam = cams.camera(0);
    ASSERT_EQ(cam.frameParams().bytesPerSample, sampleBytes);
    Plane raw = test::sentFrame(cam);
    ASSERT_EQ(raw.w, kW);

    Plane hot, dead;
    referenceMaps(hot, dead);
    const int threshold = sixteen ? imaging::kDotThreshold16 : imaging::kDotThreshold8;
    const int marked = imaging::ref::dotReference(raw, hot, dead, threshold);
    ASSERT_GT(marked, 5) << "the maps mark pixels";
    imaging::ref::hotReference(
        raw, sixteen, kBayerMode, kGainR, kGainB,
        sixteen ? imaging::kHotPixelThreshold16 : imaging::kHotPixelThreshold8);
    int mismatches = 0;
    for (int y = 0; y < kH; ++y) {
        if (y >= kMovingTop && y < kMovingBottom) continue;
        for (int x = 0; x < kW; ++x) {
            int bgr[3];
            imaging::ref::demosaicPixel(raw, kBayerMode, kGainR, kGainB, sixteen, x, y, bgr);
            for (int c = 0; c < 3; ++c) {
                const uint8_t* p = image.data() + y * stride + (x * 3 + c) * sampleBytes;
                const int got = sixteen ? (p[0] | p[1] << 8) : p[0];
                if (got != bgr[c] && ++mismatches <= 5)
                    ADD_FAILURE() << "x " << x << " y " << y << " c " << c << ": " << got
                                  << " != " << bgr[c];
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(Orvane_Release(h), 1);
}

INSTANTIATE_TEST_SUITE_P(BothDepths, DefectFilter, testing::Values(24, 48),
                         [](const testing::TestParamInfo<int>& p) {
                             return std::to_string(p.param) + "bit";
                         });

}  // namespace
