// The session's settings records as the dialogs edit them, by index. The session keeps
// them in its own structures (whose value arrays these are) and hands the dialogs
// references, so a dialog edits exactly what the pipeline reads.
#pragma once

#include <array>
#include <cstdint>

namespace orvane::dialogs {

inline constexpr int kImageValueCount = 30;
inline constexpr int kCameraValueCount = 13;
using ImageValues = std::array<int32_t, kImageValueCount>;
using CameraValues = std::array<int32_t, kCameraValueCount>;

// Indexes of the image-processing record.
namespace image {
enum : int {
    kBrightness = 0,
    kContrast = 1,
    kHue = 2,
    kSaturation = 3,
    kSharpness = 4,
    kGainRed = 5,
    kGainGreen = 6,
    kGainBlue = 7,
    kGamma = 8,
    kBayerMode = 9,
    kGrayMode = 11,
    kGrayGainR = 12,    // then green 1, green 2, blue
    kGrayOffsetR = 16,  // then green 1, green 2, blue
    kBayerGainAuto = 25,
    kWhiteBalanceRequest1 = 26,
    kWhiteBalanceRequest2 = 27,
    kGrayAutoGain = 29,
};
}  // namespace image

// Indexes of the analog (camera) record; its exposure time in seconds is a separate double.
namespace camera {
enum : int {
    kGlobalGain = 0,
    kGreen1 = 1,
    kRed = 2,
    kBlue = 3,
    kGreen2 = 4,
    kExposure = 5,
    kMirrorV = 6,
    kMirrorH = 7,
    kAutoIris = 8,
    kBlackLevel = 9,
    kPeltier = 10,
    kShortExposure = 11,
    kGainMode = 12,
};
}  // namespace camera

}  // namespace orvane::dialogs
