#include "output/AviFrame.h"

#include "imaging/Conversions.h"

namespace orvane::output {

using imaging::CDibImage;

namespace {

// Expands 8-bit samples through a palette into 24-bit pixels, reading source rows from the
// bottom up. `lookup` maps a sample to its 3 output bytes (blue, green, red).
void expandFlip8(const CDibImage& src, const uint8_t (*lookup)[3], CDibImage& dst) {
    const imaging::ImageView s = src.view();
    const imaging::ImageView d = dst.view();
    for (int y = 0; y < s.height; ++y) {
        const uint8_t* in = s.row(s.height - 1 - y);
        uint8_t* out = d.row(y);
        for (int x = 0; x < s.width; ++x, out += 3) {
            const uint8_t* c = lookup[in[x]];
            out[0] = c[0];
            out[1] = c[1];
            out[2] = c[2];
        }
    }
}

// Reads a 16-bit source's rows from the bottom up as gray of its 10 significant bits.
void grayFlip16(const CDibImage& src, CDibImage& dst) {
    const imaging::ImageView s = src.view();
    const imaging::ImageView d = dst.view();
    for (int y = 0; y < s.height; ++y) {
        const uint8_t* in = s.row(s.height - 1 - y);
        uint8_t* out = d.row(y);
        for (int x = 0; x < s.width; ++x, in += 2, out += 3) {
            const auto v = static_cast<uint8_t>((in[1] << 6) | (in[0] >> 2));
            out[0] = out[1] = out[2] = v;
        }
    }
}

}  // namespace

int MakeAviFrame(const CDibImage& src, CDibImage& frame24) {
    if (src.empty()) return 0;
    if (frame24.empty() || frame24.bitCount() != 24 || frame24.width() != src.width() ||
        frame24.height() != src.height()) {
        if (!frame24.Create(src.width(), src.height(), 24)) return 0;
    }
    switch (src.bitCount()) {
        case 8: {
            uint8_t lookup[256][3];
            for (int i = 0; i < 256; ++i) {
                const imaging::RGBQUAD& q = src.palette()[i];
                lookup[i][0] = q.rgbBlue;
                lookup[i][1] = q.rgbGreen;
                lookup[i][2] = q.rgbRed;
            }
            expandFlip8(src, lookup, frame24);
            return 1;
        }
        case 16:
            grayFlip16(src, frame24);
            return 1;
        case 24:
        case 32:
            return imaging::ApplyPixelRoutine(frame24, imaging::Convert24To24Flip, src);
        case 48:
        case 64:
            return imaging::ApplyPixelRoutine(frame24, imaging::Convert48To24HighFlip, src);
        default:
            return 0;
    }
}

}  // namespace orvane::output
