// Turning a frame handed out by the library into a picture for the viewer's own drawing.
// Pure pixel code without toolkit types, so it can be checked on its own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvane::viewer {

// A frame as Orvane_GetImage copies it with row order 1: top row first, rows padded to
// 4 bytes, colour pixels in blue-green-red(-alpha) order, 16-bit samples little-endian.
struct FrameView {
    const uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;  // 8, 16 (gray), 24, 32, 48 or 64 (colour)
    size_t stride = 0;     // bytes per row
};

// Bytes per row of a frame of this width and depth (rows padded to 4 bytes); 0 for a depth
// the library does not produce.
size_t frameStride(int width, int bitsPerPixel);

// Samples `src` by nearest neighbour into a dstWidth x dstHeight picture of 0x00RRGGBB
// pixels (dstStride pixels per row). 16-bit samples are shown by their high byte. Returns
// false, leaving dst untouched, for an empty or inconsistent frame or picture.
bool scaleToXrgb(const FrameView& src, uint32_t* dst, int dstWidth, int dstHeight,
                 size_t dstStride);

}  // namespace orvane::viewer
