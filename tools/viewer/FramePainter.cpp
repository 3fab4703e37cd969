#include "FramePainter.h"

#include <vector>

namespace orvane::viewer {

size_t frameStride(int width, int bitsPerPixel) {
    switch (bitsPerPixel) {
        case 8:
        case 16:
        case 24:
        case 32:
        case 48:
        case 64:
            break;
        default:
            return 0;
    }
    if (width <= 0) return 0;
    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(bitsPerPixel) / 8;
    return (rowBytes + 3) & ~size_t{3};
}

bool scaleToXrgb(const FrameView& src, uint32_t* dst, int dstWidth, int dstHeight,
                 size_t dstStride) {
    if (src.data == nullptr || dst == nullptr || src.width <= 0 || src.height <= 0 ||
        dstWidth <= 0 || dstHeight <= 0 || dstStride < static_cast<size_t>(dstWidth))
        return false;
    const size_t minStride = frameStride(src.width, src.bitsPerPixel);
    if (minStride == 0 || src.stride < minStride) return false;

    const size_t bytesPerPixel = static_cast<size_t>(src.bitsPerPixel) / 8;
    // Offset of the most significant byte of each channel within a pixel: 16-bit samples
    // are little-endian, so their high byte is the second one.
    const bool wide = src.bitsPerPixel == 16 || src.bitsPerPixel == 48 || src.bitsPerPixel == 64;
    const size_t sample = wide ? 2 : 1;
    const size_t high = wide ? 1 : 0;
    const bool gray = src.bitsPerPixel <= 16;

    // Column offsets are the same for every row: work them out once.
    std::vector<size_t> columns(static_cast<size_t>(dstWidth));
    for (int x = 0; x < dstWidth; ++x) {
        const int64_t sx = static_cast<int64_t>(x) * src.width / dstWidth;
        columns[static_cast<size_t>(x)] = static_cast<size_t>(sx) * bytesPerPixel;
    }
    for (int y = 0; y < dstHeight; ++y) {
        const int64_t sy = static_cast<int64_t>(y) * src.height / dstHeight;
        const uint8_t* row = src.data + static_cast<size_t>(sy) * src.stride;
        uint32_t* out = dst + static_cast<size_t>(y) * dstStride;
        for (int x = 0; x < dstWidth; ++x) {
            const uint8_t* p = row + columns[static_cast<size_t>(x)];
            uint32_t r, g, b;
            if (gray) {
                r = g = b = p[high];
            } else {
                b = p[high];
                g = p[sample + high];
                r = p[2 * sample + high];
            }
            out[x] = (r << 16) | (g << 8) | b;
        }
    }
    return true;
}

}  // namespace orvane::viewer
