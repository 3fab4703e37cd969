// Per-camera settings in the current user's settings tree, under
// "Software\Kelmor\OrvaneA063Q7Sdk" \ "Camera_%02d": capture geometry presets, the colour
// mode and wait time, and the Filter, Gray and Gain keys. Registry failures are silent
// here; the callers decide what to report. Every key opened is closed on every path.
#pragma once

#include <string>
#include <vector>

#include "session/COrvane.h"

namespace orvane::session::settings {

constexpr const char* kRootKey = "Software\\Kelmor\\OrvaneA063Q7Sdk";
constexpr int kMaxPresets = 100;

std::string cameraKeyName(int deviceNumber);  // "Camera_%02d"
std::string presetKeyName(int preset);        // "Size_%02d"

// Loads the geometry of the preset named by "Size" under the camera's key. On the very
// first run (no root key) writes the default tree for this camera and returns 0 with the
// geometry untouched. A missing key returns 0; a missing value leaves its field as it is.
int LoadGeometry(int deviceNumber, CaptureGeometry& geometry);

struct CameraValues {
    int colorIndex;
    int subSample;
    int waitTime;
    int clock;
};
// Reads "Color", "SubSample", "WaitTime" and "Clock"; missing values stay as they are.
// Returns 0 when the root or camera key is missing.
int LoadCameraValues(int deviceNumber, CameraValues& values);

// The size presets stored for a camera ("Size_00", "Size_01", ... up to the first gap or
// the hundredth), in number order.
struct Preset {
    int number;
    CaptureGeometry geometry;
};
// rootExists reports whether the settings tree exists at all.
std::vector<Preset> ReadPresets(int deviceNumber, bool* rootExists);

// The Filter key: indexes 0 to 9 of the image settings. A missing key sets the defaults.
int LoadFilter(int deviceNumber, ImageSettings& image);
int SaveFilter(int deviceNumber, const ImageSettings& image);

// The Gray key: gray mode, four gains, four offsets. A missing key sets the defaults.
int LoadGray(int deviceNumber, ImageSettings& image);
int SaveGray(int deviceNumber, const ImageSettings& image);

// Values the Gain loader falls back to when the key is missing, taken from the device.
struct AnalogDefaults {
    int globalGain = 0;
    int colorGain = 0;
    int exposure = 0;
    int blackLevel = 0;
    int mirrorV = 0;
    int mirrorH = 0;
    bool hasExposureSeconds = false;
    double exposureSeconds = 0.0;
};
// The Gain key. Values up to "GainMode" are read through one scratch word that is not
// cleared between reads, so a missing value repeats the one read before it (stored trees
// rely on this to let the colour gains follow the global gain).
int LoadGain(int deviceNumber, CameraSettings& camera, const AnalogDefaults& defaults);
int SaveGain(int deviceNumber, const CameraSettings& camera);

}  // namespace orvane::session::settings
