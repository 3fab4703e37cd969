// Caps of orvanesrc and their mapping onto the library's colour modes.
//
//   video/x-raw BGR        colour mode 24: demosaiced, every colour and tone step applied
//   video/x-raw BGRx       colour mode 32 (the fourth byte is 0)
//   video/x-raw GRAY8      colour mode 8 with gray mode 2: gray computed from the colour image
//   video/x-raw GRAY16_LE  colour mode 16: the 16-bit frame, 12 significant bits right-aligned
//   video/x-bayer          colour mode 8 with gray mode 0 or 1: the sensor's mosaic, format by
//                          the Bayer phase (bayer-mode 0 gbrg, 1 rggb, 2 bggr, 3 grbg)
//
// Colour modes 48 and 64 are not offered: GStreamer 1.22 has no 16-bit-per-channel BGR format
// without alpha, and its 64-bit formats carry alpha in the fourth sample, which the library
// leaves 0 (a transparent picture), with samples of 12 significant bits where those formats
// expect 16. GRAY16_LE keeps the full depth for users who demosaic downstream.
//
// Rows are those of the library's buffers: padded to 4 bytes, which is GStreamer's default
// stride for every format above, so frames need no repacking.
#pragma once

#include <gst/gst.h>

#include <cstddef>

namespace orvane::gst {

struct StreamFormat {
    int colourMode = 0;  // bits per pixel for Orvane_SetColorMode
    int grayMode = -1;   // gray mode the format needs, or -1 for "leave it"
    bool bayer = false;  // video/x-bayer
    int width = 0;
    int height = 0;
    size_t stride = 0;      // bytes per row
    size_t frameBytes = 0;  // stride x height
};

// What the camera can give with its current capture window and Bayer phase. grayMode is the
// gray mode set explicitly on the element (-1 when not): 2 excludes the mosaic, 0 and 1 exclude
// GRAY8.
GstCaps* cameraCaps(int width, int height, int bayerMode, int grayMode);
// The template: every format and size the element may produce.
GstCaps* templateCaps();
// Parses fixed caps; false when they are not ones cameraCaps offers.
bool parseFormat(const GstCaps* caps, StreamFormat* format);
// GStreamer's name of the Bayer phase of a library Bayer mode (0 to 3).
const char* bayerFormatName(int bayerMode);

}  // namespace orvane::gst
