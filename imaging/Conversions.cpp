#include "imaging/Conversions.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace orvane::imaging {

namespace {

// Row of the source rectangle that feeds output row y.
inline int sourceRow(const PixelRect& r, int y, bool flip) {
    return flip ? r.bottom - 1 - y : r.top + y;
}

// Rows of one conversion. The pixel sizes come as std::integral_constant where they are known
// at compile time, so that the compiler can vectorise the fixed-stride loads and stores, and
// as plain ints for any other pair.
template <bool Flip, class DB, class SB, class F>
void convertRows(uint8_t* dst, const uint8_t* src, const PixelRect& r, int dx, int dy, int dstride,
                 int sstride, DB db, SB sb, F f) {
    const int w = r.width();
    const int h = r.height();
    for (int y = 0; y < h; ++y) {
        const uint8_t* s = src + static_cast<ptrdiff_t>(sourceRow(r, y, Flip)) * sstride +
                           static_cast<ptrdiff_t>(r.left) * sb;
        uint8_t* d =
            dst + static_cast<ptrdiff_t>(dy + y) * dstride + static_cast<ptrdiff_t>(dx) * db;
        for (int x = 0; x < w; ++x)
            f(d + static_cast<ptrdiff_t>(x) * db, s + static_cast<ptrdiff_t>(x) * sb);
    }
}

// The pixel-size pairs (destination bytes * 16 + source bytes) the conversions meet, each with
// its rows compiled for it.
template <int... Codes>
struct SizePairs {};
using CompiledSizes =
    SizePairs<1 * 16 + 2, 3 * 16 + 3, 3 * 16 + 4, 4 * 16 + 4, 3 * 16 + 6, 3 * 16 + 8>;

template <int N>
using Bytes = std::integral_constant<int, N>;

// Shared frame of the per-pixel conversions: f(dstPixel, srcPixel).
template <bool Flip, class F, int... Codes>
int convertPixels(SizePairs<Codes...>, uint8_t* dst, const uint8_t* src, const PixelRect& r, int dx,
                  int dy, uint16_t dbpp, uint16_t sbpp, int dstride, int sstride, F f) {
    const int code = dbpp * 16 + sbpp;
    const bool compiled =
        ((code == Codes && (convertRows<Flip>(dst, src, r, dx, dy, dstride, sstride,
                                              Bytes<Codes / 16>{}, Bytes<Codes % 16>{}, f),
                            true)) ||
         ...);
    if (!compiled)
        convertRows<Flip>(dst, src, r, dx, dy, dstride, sstride, int{dbpp}, int{sbpp}, f);
    return 1;
}

}  // namespace

int Convert8To8Flip(uint8_t* dst, const uint8_t* src, const PixelRect& r, int dx, int dy, uint16_t,
                    uint16_t, int dstride, int sstride, const void*, const void*) {
    const int n = std::min(dstride - dx, sstride - r.left);
    if (n <= 0) return 1;
    for (int y = 0; y < r.height(); ++y) {
        std::memcpy(dst + static_cast<ptrdiff_t>(dy + y) * dstride + dx,
                    src + static_cast<ptrdiff_t>(sourceRow(r, y, true)) * sstride + r.left,
                    static_cast<size_t>(n));
    }
    return 1;
}

namespace {

// Pixel rules of the named conversions: rule(destination pixel, source pixel).
void bits10To8(uint8_t* d, const uint8_t* s) {
    d[0] = static_cast<uint8_t>((s[1] << 6) | (s[0] >> 2));
}
void highByte(uint8_t* d, const uint8_t* s) {
    d[0] = s[1];
}
void firstThree(uint8_t* d, const uint8_t* s) {
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
}
void swapRedBlue(uint8_t* d, const uint8_t* s) {
    // Through temporaries: works in place too.
    const uint8_t b = s[0], g = s[1], red = s[2];
    d[0] = red;
    d[1] = g;
    d[2] = b;
}
void opaqueAlpha(uint8_t* d, const uint8_t* s) {
    firstThree(d, s);
    d[3] = static_cast<uint8_t>(~s[3]);
}
void bits12To8x3(uint8_t* d, const uint8_t* s) {
    for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>((s[2 * c + 1] << 4) | (s[2 * c] >> 4));
}
void highBytes3(uint8_t* d, const uint8_t* s) {
    d[0] = s[1];
    d[1] = s[3];
    d[2] = s[5];
}

template <bool Flip, void (*Rule)(uint8_t*, const uint8_t*)>
int convertWith(uint8_t* dst, const uint8_t* src, const PixelRect& r, int dx, int dy, uint16_t dbpp,
                uint16_t sbpp, int dstride, int sstride, const void*, const void*) {
    // A lambda of its own type per rule, so that each rule is compiled into its row loops.
    return convertPixels<Flip>(CompiledSizes{}, dst, src, r, dx, dy, dbpp, sbpp, dstride, sstride,
                               [](uint8_t* d, const uint8_t* s) { Rule(d, s); });
}

}  // namespace

const PixelRoutine Convert16To8Bits10Flip = convertWith<true, bits10To8>;
const PixelRoutine Convert16To8HighFlip = convertWith<true, highByte>;
const PixelRoutine Convert16To8High = convertWith<false, highByte>;
const PixelRoutine Convert32To24 = convertWith<false, firstThree>;
const PixelRoutine Convert24To24Flip = convertWith<true, firstThree>;
const PixelRoutine ConvertSwapRedBlue = convertWith<false, swapRedBlue>;
const PixelRoutine Convert32To32OpaqueAlpha = convertWith<false, opaqueAlpha>;
const PixelRoutine Convert48To24Bits12 = convertWith<false, bits12To8x3>;
const PixelRoutine Convert48To24HighFlip = convertWith<true, highBytes3>;

namespace {

bool rectInside(const PixelRect& r, const ImageView& v) {
    return r.left >= 0 && r.top >= 0 && r.right <= v.width && r.bottom <= v.height &&
           r.right > r.left && r.bottom > r.top;
}

template <int Bpp>
bool scaleNearest(const ImageView& dst, const PixelRect& dr, const ImageView& src,
                  const PixelRect& sr) {
    if (dst.empty() || src.empty() || !rectInside(dr, dst) || !rectInside(sr, src)) return false;
    const int dw = dr.width(), dh = dr.height(), sw = sr.width(), sh = sr.height();
    for (int y = 0; y < dh; ++y) {
        // Rows counted from the bottom of the source rectangle.
        int fromBottom = static_cast<int>(static_cast<float>(y) * static_cast<float>(sh) /
                                          static_cast<float>(dh));
        fromBottom = std::min(fromBottom, sh - 1);
        const uint8_t* s =
            src.row(sr.bottom - 1 - fromBottom) + static_cast<ptrdiff_t>(sr.left) * Bpp;
        uint8_t* d = dst.row(dr.top + y) + static_cast<ptrdiff_t>(dr.left) * Bpp;
        for (int x = 0; x < dw; ++x) {
            int sx = static_cast<int>(static_cast<float>(x) * static_cast<float>(sw) /
                                      static_cast<float>(dw));
            sx = std::min(sx, sw - 1);
            for (int c = 0; c < Bpp; ++c) d[x * Bpp + c] = s[sx * Bpp + c];
        }
    }
    return true;
}

}  // namespace

bool scaleNearest8(const ImageView& dst, const PixelRect& dstRect, const ImageView& src,
                   const PixelRect& srcRect) {
    return scaleNearest<1>(dst, dstRect, src, srcRect);
}

bool scaleNearest24(const ImageView& dst, const PixelRect& dstRect, const ImageView& src,
                    const PixelRect& srcRect) {
    return scaleNearest<3>(dst, dstRect, src, srcRect);
}

bool copyOut(const ImageView& image, uint8_t* buffer, size_t bufferSize, int topDown) {
    if (image.empty() || buffer == nullptr) return false;
    const size_t rowBytes = static_cast<size_t>(image.stride);
    if (bufferSize < rowBytes * static_cast<size_t>(image.height)) return false;
    if (topDown != 0) {
        std::memcpy(buffer, image.bits, rowBytes * static_cast<size_t>(image.height));
        return true;
    }
    for (int y = 0; y < image.height; ++y)
        std::memcpy(buffer + rowBytes * static_cast<size_t>(y), image.row(image.height - 1 - y),
                    rowBytes);
    return true;
}

void repackRows(const ImageView& image) {
    if (image.empty()) return;
    const size_t packed =
        static_cast<size_t>(image.width) * static_cast<size_t>(image.bytesPerPixel);
    if (packed == static_cast<size_t>(image.stride)) return;
    // memmove handles the overlap of a row with its own new place; going from the last row
    // up means a row is moved before any row below it could overwrite it.
    for (int y = image.height - 1; y > 0; --y)
        std::memmove(image.row(y), image.bits + packed * static_cast<size_t>(y), packed);
}

}  // namespace orvane::imaging
