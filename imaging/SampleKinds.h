// Which pixel sizes of an image view hold 8-bit and which 16-bit samples (gray, BGR and
// BGRx of either depth), for the routines that accept both.
#pragma once

namespace orvane::imaging::detail {

inline bool eightBitChannels(int bpp) {
    return bpp == 1 || bpp == 3 || bpp == 4;
}
inline bool sixteenBitChannels(int bpp) {
    return bpp == 2 || bpp == 6 || bpp == 8;
}

}  // namespace orvane::imaging::detail
