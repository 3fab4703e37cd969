// Every camera control reachable through Orvane_SetFilterValue / Orvane_GetFilterValue, once.
// One row holds a control's whole path, from the export down to the device and the store:
//
//   X(A, stem, id, header, exports, handler, record, slot, lo, hi, deviceSet, deviceGet,
//     registry)
//
//   A          passed through from ORVANE_CONTROLS(X, A) for the expanding macro
//   stem       the named exports Orvane_Set<stem> / Orvane_Get<stem>
//   id         the filter identifier; `header` is its name in include/OrvaneSdk.h (checked)
//   exports    SetGet: both named exports; GetOnly: only the getter; None: identifier only
//   handler    how SetFilterValue / GetFilterValue treat the value (ControlHandler below)
//   record     the cached copy: Image (the image-filter dialog's record), Camera (the
//              analog-gain dialog's record), Session (a session flag) or None
//   slot       index in that record (dialogs/Records.h), or 0
//   lo, hi     accepted range for handlers with a fixed range; the device's own limits
//              apply to the Device* handlers
//   deviceSet  device SDK member the value is sent with (int (int)), or nullptr
//   deviceGet  device SDK member it is read back with (int ()), or nullptr
//   registry   value name in the settings store ("Filter", "Gray" or "Gain" key), or nullptr
//
// The expanding file names the device SDK type `ControlDevice` before it expands the
// device columns; files that need only the identifiers and stems ignore those columns.
#pragma once

#include "dialogs/Records.h"

namespace orvane::session {
// Slots of the session-flag controls.
enum SessionFlagSlot : int { kSessionFlagDotFilter = 0, kSessionFlagMaskFilter = 1 };
}  // namespace orvane::session

// clang-format off
#define ORVANE_CONTROLS(X, A)                                                                      \
    X(A, Brightness,      1,   ORVANE_FILTER_BRIGHTNESS,        SetGet,  ImageValue,   Image,      \
      dialogs::image::kBrightness,       -255, 255, nullptr, nullptr, "Brightness")                \
    X(A, Contrast,        2,   ORVANE_FILTER_CONTRAST,          SetGet,  ImageValue,   Image,      \
      dialogs::image::kContrast,         -127, 127, nullptr, nullptr, "Contrast")                  \
    X(A, Hue,             3,   ORVANE_FILTER_HUE,               SetGet,  ImageValue,   Image,      \
      dialogs::image::kHue,              -360, 360, nullptr, nullptr, "Hue")                       \
    X(A, Saturation,      4,   ORVANE_FILTER_SATURATION,        SetGet,  ImageValue,   Image,      \
      dialogs::image::kSaturation,       -255, 255, nullptr, nullptr, "Saturation")                \
    X(A, Sharpness,       5,   ORVANE_FILTER_SHARPNESS,         SetGet,  ImageValue,   Image,      \
      dialogs::image::kSharpness,        0,    30,  nullptr, nullptr, "Sharpness")                 \
    X(A, BayerGainRGB,    6,   ORVANE_FILTER_BAYER_GAIN_RGB,    SetGet,  ImagePacked,  Image,      \
      dialogs::image::kGainRed,          0,    0,   nullptr, nullptr, nullptr)                     \
    X(A, BayerGainRed,    7,   ORVANE_FILTER_BAYER_GAIN_RED,    SetGet,  ImageValue,   Image,      \
      dialogs::image::kGainRed,          0,    400, nullptr, nullptr, "R_Gain")                    \
    X(A, BayerGainGreen,  8,   ORVANE_FILTER_BAYER_GAIN_GREEN,  SetGet,  ImageValue,   Image,      \
      dialogs::image::kGainGreen,        0,    400, nullptr, nullptr, "G_Gain")                    \
    X(A, BayerGainBlue,   9,   ORVANE_FILTER_BAYER_GAIN_BLUE,   SetGet,  ImageValue,   Image,      \
      dialogs::image::kGainBlue,         0,    400, nullptr, nullptr, "B_Gain")                    \
    X(A, BayerGainAuto,   10,  ORVANE_FILTER_BAYER_GAIN_AUTO,   SetGet,  ImageSwitch,  Image,      \
      dialogs::image::kBayerGainAuto,    0,    1,   nullptr, nullptr, nullptr)                     \
    X(A, Gamma,           11,  ORVANE_FILTER_GAMMA,             SetGet,  ImageValue,   Image,      \
      dialogs::image::kGamma,            0,    200, nullptr, nullptr, "Gamma")                     \
    X(A, BayerMode,       12,  ORVANE_FILTER_BAYER_MODE,        SetGet,  ImageValue,   Image,      \
      dialogs::image::kBayerMode,        0,    3,   nullptr, nullptr, "BayerMode")                 \
    X(A, GlobalGain,      13,  ORVANE_FILTER_GLOBAL_GAIN,       SetGet,  GlobalGain,   Camera,     \
      dialogs::camera::kGlobalGain,      0,    0,   &ControlDevice::SetGlobalGain,                 \
      &ControlDevice::GetGlobalGain, "Global")                                                     \
    X(A, ColorGainRed,    14,  ORVANE_FILTER_COLOR_GAIN_RED,    SetGet,  ColorGain,    Camera,     \
      dialogs::camera::kRed,             0,    0,   &ControlDevice::SetColorGainRed,               \
      &ControlDevice::GetColorGainRed, "ColorR")                                                   \
    X(A, ColorGainGreen1, 15,  ORVANE_FILTER_COLOR_GAIN_GREEN1, SetGet,  ColorGain,    Camera,     \
      dialogs::camera::kGreen1,          0,    0,   &ControlDevice::SetColorGainGreen1,            \
      &ControlDevice::GetColorGainGreen1, "ColorG1")                                               \
    X(A, ColorGainGreen2, 16,  ORVANE_FILTER_COLOR_GAIN_GREEN2, SetGet,  ColorGain,    Camera,     \
      dialogs::camera::kGreen2,          0,    0,   &ControlDevice::SetColorGainGreen2,            \
      &ControlDevice::GetColorGainGreen2, "ColorG2")                                               \
    X(A, ColorGainBlue,   17,  ORVANE_FILTER_COLOR_GAIN_BLUE,   SetGet,  ColorGain,    Camera,     \
      dialogs::camera::kBlue,            0,    0,   &ControlDevice::SetColorGainBlue,              \
      &ControlDevice::GetColorGainBlue, "ColorB")                                                  \
    X(A, ExposureTime,    18,  ORVANE_FILTER_EXPOSURE_TIME,     SetGet,  Exposure,     Camera,     \
      dialogs::camera::kExposure,        0,    0,   nullptr /* SetExposure, unsigned count */,     \
      &ControlDevice::GetExposureTime, "Exposure")                                                 \
    X(A, GrayMode,        19,  ORVANE_FILTER_GRAY_MODE,         SetGet,  ImageValue,   Image,      \
      dialogs::image::kGrayMode,         0,    2,   nullptr, nullptr, "Mode")                      \
    X(A, GrayGainR,       20,  ORVANE_FILTER_GRAY_GAIN_R,       SetGet,  ImageValue,   Image,      \
      dialogs::image::kGrayGainR,        0,    255, nullptr, nullptr, "GainR1")                    \
    X(A, GrayGainG1,      21,  ORVANE_FILTER_GRAY_GAIN_G1,      SetGet,  ImageValue,   Image,      \
      dialogs::image::kGrayGainR + 1,    0,    255, nullptr, nullptr, "GainG1")                    \
    X(A, GrayGainG2,      22,  ORVANE_FILTER_GRAY_GAIN_G2,      SetGet,  ImageValue,   Image,      \
      dialogs::image::kGrayGainR + 2,    0,    255, nullptr, nullptr, "GainG2")                    \
    X(A, GrayGainB,       23,  ORVANE_FILTER_GRAY_GAIN_B,       SetGet,  ImageValue,   Image,      \
      dialogs::image::kGrayGainR + 3,    0,    255, nullptr, nullptr, "GainB1")                    \
    X(A, GrayOffsetR,     24,  ORVANE_FILTER_GRAY_OFFSET_R,     SetGet,  ImageValue,   Image,      \
      dialogs::image::kGrayOffsetR,      -255, 255, nullptr, nullptr, "OffsetR1")                  \
    X(A, GrayOffsetG1,    25,  ORVANE_FILTER_GRAY_OFFSET_G1,    SetGet,  ImageValue,   Image,      \
      dialogs::image::kGrayOffsetR + 1,  -255, 255, nullptr, nullptr, "OffsetG1")                  \
    X(A, GrayOffsetG2,    26,  ORVANE_FILTER_GRAY_OFFSET_G2,    SetGet,  ImageValue,   Image,      \
      dialogs::image::kGrayOffsetR + 2,  -255, 255, nullptr, nullptr, "OffsetG2")                  \
    X(A, GrayOffsetB,     27,  ORVANE_FILTER_GRAY_OFFSET_B,     SetGet,  ImageValue,   Image,      \
      dialogs::image::kGrayOffsetR + 3,  -255, 255, nullptr, nullptr, "OffsetB1")                  \
    X(A, GrayAutoOneShot, 28,  ORVANE_FILTER_GRAY_AUTO_ONE_SHOT, None,   ImageTrigger, Image,      \
      dialogs::image::kGrayAutoGain,     0,    1,   nullptr, nullptr, nullptr)                     \
    X(A, Peltier,         100, ORVANE_FILTER_PELTIER,           SetGet,  Peltier,      Camera,     \
      dialogs::camera::kPeltier,         0,    0,   &ControlDevice::SetPeltier,                    \
      nullptr /* GetPeltier(int*) */, nullptr)                                                     \
    X(A, Temperature,     101, ORVANE_FILTER_TEMPERATURE,       GetOnly, Temperature,  None,       \
      0,                                 0,    0,   nullptr, nullptr, nullptr)                     \
    X(A, DotFilter,       102, ORVANE_FILTER_DOT_FILTER,        SetGet,  SessionFlag,  Session,    \
      kSessionFlagDotFilter,             0,    1,   nullptr, nullptr, nullptr)                     \
    X(A, MaskFilter,      103, ORVANE_FILTER_MASK_FILTER,       SetGet,  SessionFlag,  Session,    \
      1,                                 0,    1,   nullptr, nullptr, nullptr)                     \
    X(A, GainMode,        104, ORVANE_FILTER_DEVICE_OPTION104,  None,    GainMode,     Camera,     \
      dialogs::camera::kGainMode,        0,    0,   &ControlDevice::SetGainMode,                   \
      &ControlDevice::GetGainMode, "GainMode")                                                     \
    X(A, ShortExposure,   105, ORVANE_FILTER_DEVICE_ON_OFF105,  None,    ShortExposure, Camera,    \
      dialogs::camera::kShortExposure,   0,    1,   &ControlDevice::SetSwitchA,                    \
      nullptr /* GetSwitchA(int*) */, nullptr)                                                     \
    X(A, BlackLevel,      106, ORVANE_FILTER_DEVICE_OPTION106,  None,    BlackLevel,   Camera,     \
      dialogs::camera::kBlackLevel,      0,    0,   &ControlDevice::SetLevel,                      \
      &ControlDevice::GetLevel, "BlackLevel")
// clang-format on

namespace orvane::session {

// What SetFilterValue / GetFilterValue do with a control's value.
enum class ControlHandler {
    ImageValue,     // stored in the image record after a check against [lo, hi]
    ImagePacked,    // red | green << 8 | blue << 16 over the three Bayer gains
    ImageSwitch,    // any value; stored as 0 or 1
    ImageTrigger,   // 0 or 1, set only: a request the pipeline consumes
    GlobalGain,     // device range; sent, and cached as the global and all colour gains
    ColorGain,      // device colour-gain range; sent and cached
    Exposure,       // device exposure range; sent, cached with the exposure in seconds
    Peltier,        // needs a cooler; sent and cached
    Temperature,    // read only, through the temperature exports
    SessionFlag,    // 0 or 1, a session flag the pipeline reads
    GainMode,       // sent; cached when the device takes it
    ShortExposure,  // needs the switch; any positive value is on
    BlackLevel,     // needs the level control; sent and cached
};

enum class ControlRecord { Image, Camera, Session, None };
enum class ControlExports { SetGet, GetOnly, None };

// The filter identifiers, by the names of the table.
enum ControlId : int {
#define ORVANE_CONTROL_ID(a, stem, id, ...) kControl##stem = id,
    ORVANE_CONTROLS(ORVANE_CONTROL_ID, )
#undef ORVANE_CONTROL_ID
};

// The row without its device columns, for the layers and tests that do not see the device.
struct ControlInfo {
    int id;
    const char* stem;
    ControlExports exports;
    ControlHandler handler;
    ControlRecord record;
    int slot;
    int lo;
    int hi;
    const char* registry;
};

inline constexpr ControlInfo kControlInfo[] = {
#define ORVANE_CONTROL_INFO(a, stem, id, header, exports, handler, record, slot, lo, hi, set, get, \
                            registry)                                                              \
    {                                                                                              \
        id,                                                                                        \
        #stem,                                                                                     \
        ControlExports::exports,                                                                   \
        ControlHandler::handler,                                                                   \
        ControlRecord::record,                                                                     \
        slot,                                                                                      \
        lo,                                                                                        \
        hi,                                                                                        \
        registry},
    ORVANE_CONTROLS(ORVANE_CONTROL_INFO, )
#undef ORVANE_CONTROL_INFO
};

// The row of identifier `id`, or nullptr.
constexpr const ControlInfo* findControlInfo(int id) {
    for (const ControlInfo& c : kControlInfo)
        if (c.id == id) return &c;
    return nullptr;
}

// The settings-store name of slot `slot` of `record`, or nullptr.
constexpr const char* controlRegistryName(ControlRecord record, int slot) {
    for (const ControlInfo& c : kControlInfo)
        if (c.record == record && c.slot == slot && c.registry != nullptr) return c.registry;
    return nullptr;
}

}  // namespace orvane::session
