// The image file formats the viewer offers: in the save dialog, and one file each for
// --save-all.
#pragma once

#include "OrvaneSdk.h"

namespace orvane::viewer {

struct ImageFormat {
    const char* label;
    const char* pattern;
    const char* suffix;  // file name ending for --save-all
    int code;            // ORVANE_FORMAT_*
};

inline constexpr ImageFormat kFormats[] = {
    {"PNG image", "*.png", ".png", ORVANE_FORMAT_PNG},
    {"Windows bitmap (BMP)", "*.bmp", ".bmp", ORVANE_FORMAT_BMP},
    {"JPEG, quality 100", "*.jpg", "-q100.jpg", ORVANE_FORMAT_JPEG100},
    {"JPEG, quality 70", "*.jpg", "-q70.jpg", ORVANE_FORMAT_JPEG70},
    {"JPEG, quality 20", "*.jpg", "-q20.jpg", ORVANE_FORMAT_JPEG20},
    {"TIFF image", "*.tiff", ".tiff", ORVANE_FORMAT_TIFF},
    {"Raw pixel rows", "*.raw", ".raw", ORVANE_FORMAT_RAW},
};

}  // namespace orvane::viewer
