// Sharpening of the output image: the original plus a tenth of k times its difference from
// a 4 x 4 box blur, on a copy of the rows it reads.
#include <immintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "imaging/ColorFilters.h"
#include "imaging/SampleKinds.h"
#include "imaging/SimdSupport.h"
#include "platform/WorkerPool.h"

namespace orvane::imaging {

// ---- Sharpness --------------------------------------------------------------------------------

namespace {

constexpr int kSharpChunk = 512;  // output samples per step

// One output row, samples [i0, i1) of the row (channel-interleaved), from the copy's rows
// y - 2 ... y + 1. Written for the vectoriser: the 4 x 4 box is a vertical sum of four rows
// followed by a horizontal sum of four samples one pixel apart.
}  // namespace
}  // namespace orvane::imaging

// The SSE2 form of the 8-bit span.
#include "imaging/simd/SharpenSse2.h"

namespace orvane::imaging {
namespace {

template <class T, class Acc>
void sharpenSpan(T* out, const T* s0, const T* s1, const T* s2, const T* s3, int bpp, int i0,
                 int i1, int k, int maxv) {
    Acc v[kSharpChunk + 3 * 4];
    const int lo = i0 - 2 * bpp;
    const int n = i1 - i0;
    const int nv = n + 3 * bpp;
    for (int i = 0; i < nv; ++i) {
        const int j = lo + i;
        v[i] = static_cast<Acc>(s0[j] + s1[j] + s2[j] + s3[j]);
    }
    int done = 0;
#if ORVANE_X86
    if constexpr (sizeof(T) == 1) done = sharpenSpan8Sse2(out, s2, v, bpp, i0, n, k);
#endif
    for (int i = done; i < n; ++i) {
        const int blur = (v[i] + v[i + bpp] + v[i + 2 * bpp] + v[i + 3 * bpp]) >> 4;
        const int orig = s2[i0 + i];
        // Division truncating towards zero, as the reference table holds it.
        int r = orig + k * (orig - blur) / 10;
        r = r < 0 ? 0 : (r > maxv ? maxv : r);
        out[i0 + i] = static_cast<T>(r);
    }
}

template <class T, class Acc>
void sharpenRows(const ImageView& img, const ImageView& copy, int k, int y0, int y1) {
    const int ch = img.bytesPerPixel / static_cast<int>(sizeof(T));  // samples per pixel
    const int maxv = sizeof(T) == 1 ? 255 : 65535;
    const int first = 2 * ch, last = (img.width - 2) * ch;
    for (int y = y0; y < y1; ++y) {
        auto row = [&](int yy) { return reinterpret_cast<const T*>(copy.row(yy)); };
        T* out = reinterpret_cast<T*>(img.row(y));
        for (int i0 = first; i0 < last; i0 += kSharpChunk) {
            const int i1 = std::min(last, i0 + kSharpChunk);
            sharpenSpan<T, Acc>(out, row(y - 2), row(y - 1), row(y), row(y + 1), ch, i0, i1, k,
                                maxv);
        }
        if (ch == 4) {
            // The fourth sample is not a colour: put it back.
            const T* orig = row(y);
            for (int x = 2; x < img.width - 2; ++x) out[x * 4 + 3] = orig[x * 4 + 3];
        }
    }
}

}  // namespace

bool sharpen(const ImageView& image, const ImageView& scratch, int strength,
             platform::WorkerPool* pool) {
    if (image.empty() || scratch.empty() || scratch.width != image.width ||
        scratch.height != image.height || scratch.bytesPerPixel != image.bytesPerPixel)
        return false;
    const int bpp = image.bytesPerPixel;
    if (!detail::eightBitChannels(bpp) && !detail::sixteenBitChannels(bpp)) return false;
    if (strength == 0 || image.width < 5 || image.height < 5) return true;
    const size_t rowBytes = static_cast<size_t>(image.width) * bpp;
    platform::forBands(pool, 0, image.height, 1, [&](int b, int e) {
        for (int y = b; y < e; ++y) std::memcpy(scratch.row(y), image.row(y), rowBytes);
    });
    platform::forBands(pool, 2, image.height - 2, 1, [&](int b, int e) {
        if (detail::eightBitChannels(bpp))
            sharpenRows<uint8_t, int16_t>(image, scratch, strength, b, e);
        else
            sharpenRows<uint16_t, int32_t>(image, scratch, strength, b, e);
    });
    return true;
}

}  // namespace orvane::imaging
