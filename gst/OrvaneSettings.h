// The camera and image settings orvanesrc offers as properties: one table of (property name,
// library setter), so every setting is declared, installed, applied and read back the same way.
#pragma once

#include <array>
#include <cstddef>

#include "OrvaneSdk.h"

namespace orvane::gst {

enum class SettingKind {
    Filter,    // Orvane_SetFilterValue / Orvane_GetFilterValue with `id`
    AutoIris,  // Orvane_SetAutoIris / Orvane_GetAutoIris
    MirrorH,   // Orvane_SetMirrorH / Orvane_GetMirrorH
    MirrorV,   // Orvane_SetMirrorV / Orvane_GetMirrorV
};

struct SettingEntry {
    const char* property;  // GObject property name
    const char* blurb;
    SettingKind kind;
    int id;  // filter identifier for SettingKind::Filter
    int minimum;
    int maximum;
    int fallback;  // shown by gst-inspect; the camera's own value is used until set
};

inline constexpr std::array<SettingEntry, 31> kSettings{{
    {"exposure", "Exposure time in units of 0.1 ms", SettingKind::Filter,
     ORVANE_FILTER_EXPOSURE_TIME, 1, 30000, 200},
    {"gain", "Global analog gain (sensor units)", SettingKind::Filter, ORVANE_FILTER_GLOBAL_GAIN, 0,
     511, 100},
    {"auto-iris", "Automatic control: 0 off, 1 by exposure, 2 by gain", SettingKind::AutoIris, 0, 0,
     2, 0},
    {"mirror-h", "Mirror horizontally (0 or 1)", SettingKind::MirrorH, 0, 0, 1, 0},
    {"mirror-v", "Mirror vertically (0 or 1)", SettingKind::MirrorV, 0, 0, 1, 0},
    {"brightness", "Brightness", SettingKind::Filter, ORVANE_FILTER_BRIGHTNESS, -255, 255, 0},
    {"contrast", "Contrast", SettingKind::Filter, ORVANE_FILTER_CONTRAST, -127, 127, 0},
    {"hue", "Hue rotation in degrees", SettingKind::Filter, ORVANE_FILTER_HUE, -360, 360, 0},
    {"saturation", "Saturation", SettingKind::Filter, ORVANE_FILTER_SATURATION, -255, 255, 0},
    {"sharpness", "Sharpness", SettingKind::Filter, ORVANE_FILTER_SHARPNESS, 0, 30, 0},
    {"gamma", "Gamma (100 is neutral)", SettingKind::Filter, ORVANE_FILTER_GAMMA, 0, 200, 100},
    {"bayer-gain-red", "White balance gain of red", SettingKind::Filter,
     ORVANE_FILTER_BAYER_GAIN_RED, 0, 400, 100},
    {"bayer-gain-green", "White balance gain of green", SettingKind::Filter,
     ORVANE_FILTER_BAYER_GAIN_GREEN, 0, 400, 100},
    {"bayer-gain-blue", "White balance gain of blue", SettingKind::Filter,
     ORVANE_FILTER_BAYER_GAIN_BLUE, 0, 400, 100},
    {"bayer-gain-auto", "Automatic white balance (0 or 1)", SettingKind::Filter,
     ORVANE_FILTER_BAYER_GAIN_AUTO, 0, 1, 0},
    {"bayer-mode", "Bayer phase: 0 gbrg, 1 rggb, 2 bggr, 3 grbg", SettingKind::Filter,
     ORVANE_FILTER_BAYER_MODE, 0, 3, 2},
    {"color-gain-red", "Analog gain of red", SettingKind::Filter, ORVANE_FILTER_COLOR_GAIN_RED, 0,
     511, 100},
    {"color-gain-green1", "Analog gain of green 1", SettingKind::Filter,
     ORVANE_FILTER_COLOR_GAIN_GREEN1, 0, 511, 100},
    {"color-gain-green2", "Analog gain of green 2", SettingKind::Filter,
     ORVANE_FILTER_COLOR_GAIN_GREEN2, 0, 511, 100},
    {"color-gain-blue", "Analog gain of blue", SettingKind::Filter, ORVANE_FILTER_COLOR_GAIN_BLUE,
     0, 511, 100},
    {"gray-mode", "Monochrome 8/16-bit processing: 0 raw mosaic, 1 site gains, 2 gray from colour",
     SettingKind::Filter, ORVANE_FILTER_GRAY_MODE, 0, 2, 0},
    {"gray-gain-r", "Gray gain of red sites", SettingKind::Filter, ORVANE_FILTER_GRAY_GAIN_R, 0,
     255, 128},
    {"gray-gain-g1", "Gray gain of green 1 sites", SettingKind::Filter, ORVANE_FILTER_GRAY_GAIN_G1,
     0, 255, 128},
    {"gray-gain-g2", "Gray gain of green 2 sites", SettingKind::Filter, ORVANE_FILTER_GRAY_GAIN_G2,
     0, 255, 128},
    {"gray-gain-b", "Gray gain of blue sites", SettingKind::Filter, ORVANE_FILTER_GRAY_GAIN_B, 0,
     255, 128},
    {"gray-offset-r", "Gray offset of red sites", SettingKind::Filter, ORVANE_FILTER_GRAY_OFFSET_R,
     -255, 255, 0},
    {"gray-offset-g1", "Gray offset of green 1 sites", SettingKind::Filter,
     ORVANE_FILTER_GRAY_OFFSET_G1, -255, 255, 0},
    {"gray-offset-g2", "Gray offset of green 2 sites", SettingKind::Filter,
     ORVANE_FILTER_GRAY_OFFSET_G2, -255, 255, 0},
    {"gray-offset-b", "Gray offset of blue sites", SettingKind::Filter, ORVANE_FILTER_GRAY_OFFSET_B,
     -255, 255, 0},
    {"dot-filter", "Defect-pixel correction from the mask (0 or 1)", SettingKind::Filter,
     ORVANE_FILTER_DOT_FILTER, 0, 1, 0},
    {"mask-filter", "Flat-field correction from the mask (0 or 1)", SettingKind::Filter,
     ORVANE_FILTER_MASK_FILTER, 0, 1, 0},
}};

// Index of the named setting in kSettings, or -1.
int settingIndex(const char* property);

// Sends one value to the library; 1 on success, 0 when refused (the reason is recorded in the
// session's error history).
int applySetting(ORVANE_HANDLE handle, const SettingEntry& setting, int value);
// Reads one value from the library; false when it cannot be read.
bool readSetting(ORVANE_HANDLE handle, const SettingEntry& setting, int* value);

}  // namespace orvane::gst
