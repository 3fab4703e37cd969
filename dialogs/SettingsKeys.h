// Names of the per-camera settings keys the dialogs read and write.
#pragma once

#include <string>

namespace orvane::dialogs {

inline constexpr const char* kSettingsRoot = "Software\\Kelmor\\OrvaneA063Q7Sdk";

// "Software\Kelmor\OrvaneA063Q7Sdk\Camera_%02d".
std::string cameraKeyPath(int deviceNumber);
// "Size_%02d".
std::string presetKeyName(int preset);

}  // namespace orvane::dialogs
