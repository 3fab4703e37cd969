// Hue rotation and saturation of BGR images: the scalar pixel formula, and the row loop that
// hands rows to the widest vector form the CPU has (simd/).
#include <immintrin.h>

#include <algorithm>
#include <cstdint>

#include "imaging/ColorFilters.h"
#include "imaging/SimdSupport.h"
#include "platform/WorkerPool.h"

namespace orvane::imaging {

// ---- Hue and saturation -----------------------------------------------------------------------

namespace {

struct HueTables {
    uint32_t gray[256];
    int32_t reciprocal[256];
    uint16_t headroom[512];
};

const HueTables& hueTables() {
    // Constant after its thread-safe first initialisation.
    static const HueTables tables = [] {
        HueTables t{};
        for (uint32_t k = 0; k < 256; ++k) t.gray[k] = k * 0x010101u;
        t.reciprocal[0] = 0;
        for (int32_t k = 1; k < 256; ++k) t.reciprocal[k] = 0xFF0000 / k;
        for (int i = 0; i < 512; ++i) t.headroom[i] = static_cast<uint16_t>(i < 256 ? i : 511 - i);
        return t;
    }();
    return tables;
}

constexpr uint32_t kSectorMask[6] = {0xFF00FF, 0xFF0000, 0xFFFF00, 0x00FF00, 0x00FFFF, 0x0000FF};
constexpr int32_t kSectorRamp[6] = {-1, 0x100, -0x10000, 1, -0x100, 0x10000};
// The same, padded to eight lanes for the vector path.
alignas(32) constexpr uint32_t kSectorMaskLanes[8] = {0xFF00FF, 0xFF0000, 0xFFFF00, 0x00FF00,
                                                      0x00FFFF, 0x0000FF, 0,        0};
alignas(32) constexpr int32_t kSectorRampLanes[8] = {-1, 0x100, -0x10000, 1, -0x100, 0x10000, 0, 0};

// One pixel; returns 0xRRGGBB.
inline uint32_t hueSatPixel(const HueTables& t, const uint16_t* sat, int shift, int r, int g,
                            int b) {
    const int mx = std::max(r, std::max(g, b));
    const int mn = std::min(r, std::min(g, b));
    const int c = mx - mn;
    const int sum = mx + mn;
    int sector, l;
    if (b > r && b > g) {
        sector = 5;
        l = r - g;
    } else if (r >= g) {
        sector = 1;
        l = g - b;
    } else {
        sector = 3;
        l = b - r;
    }
    if (l < 0) {
        sector -= 1;
        l += c;
    }
    const int cNew = std::min<int>(t.headroom[sum], sat[c]);
    const int n = (sum - cNew) >> 1;
    const int amp = ((sum + cNew) >> 1) - n;
    uint32_t res = t.gray[n];
    if (c != 0) {
        int p = static_cast<int>(
                    (static_cast<uint32_t>(l) * static_cast<uint32_t>(t.reciprocal[c]) + 0x8000u) >>
                    16) +
                shift % 255;
        const int k = (sector + shift / 255 + (p > 254 ? 1 : 0)) % 6;
        if (p >= 255) p -= 255;
        res += (t.gray[amp] & kSectorMask[k]) +
               static_cast<uint32_t>((amp * p + 128) >> 8) * static_cast<uint32_t>(kSectorRamp[k]);
    }
    return res;
}

}  // namespace
}  // namespace orvane::imaging

// The vector forms of hueSatPixel.
#include "imaging/simd/HueSaturationAvx2.h"
#include "imaging/simd/HueSaturationVbmi.h"

namespace orvane::imaging {

HueSaturation::HueSaturation() {
    for (int i = 0; i < 256; ++i) sat_[i] = static_cast<uint16_t>(i);
}

int HueSaturation::hueShift(int hue) {
    const uint32_t u = static_cast<uint32_t>(static_cast<int64_t>(hue) * 65536 / 360) & 0xFFFFu;
    const int q = static_cast<int>((u * 6u) >> 8);
    const int m = ((q + 256) & 511) - 256;
    const int n = ((q + 256) >> 9) % 3;
    int a = m + 510 * n;
    while (a < 0) a += 1530;
    while (a >= 1530) a -= 1530;
    return a;
}

void HueSaturation::set(int hue, int saturation) {
    if (saturation != saturation_) {
        const int64_t s = saturation + 256;
        for (int i = 0; i < 256; ++i) sat_[i] = static_cast<uint16_t>((s * 256 * i + 0x8000) >> 16);
        saturation_ = saturation;
    }
    if (hue != hue_) {
        shift_ = hueShift(hue);
        hue_ = hue;
    }
}

bool HueSaturation::apply(const ImageView& image, platform::WorkerPool* pool,
                          VectorPath path) const {
    const int bpp = image.bytesPerPixel;
    if (image.empty() || (bpp != 3 && bpp != 4 && bpp != 6 && bpp != 8)) return false;
    if (!active()) return true;
    const HueTables& t = hueTables();
#if ORVANE_X86
    // The vector step's pixel layout: 16-bit pixels are transformed through their high bytes.
    const int vectorBpp = bpp == 4 || bpp == 8 ? 4 : 3;
    const bool useVbmi = pathAllowsVbmi(path) && vbmiHueSaturationFits(saturation_);
    const bool useAvx2 = !useVbmi && pathAllowsAvx2(path);
    HueLanes lanes{};
    HueLanesVbmi lanesVbmi{};
    if (useAvx2) lanes = makeHueLanes(saturation_, shift_);
    if (useVbmi) lanesVbmi = makeHueLanesVbmi(saturation_, shift_, vectorBpp, t.reciprocal);
    // One row (or strip) of 3- or 4-byte pixels through the widest path; returns pixels done.
    auto vectorRow = [&](uint8_t* r, int width, int pixelBytes) {
        if (useVbmi) return pixelBytes == vectorBpp ? hueSatRowVbmi(r, width, lanesVbmi) : 0;
        if (useAvx2) return hueSatRowAvx2(r, width, pixelBytes, lanes, t.reciprocal);
        return 0;
    };
#endif
    platform::forBands(pool, 0, image.height, 1, [&](int b, int e) {
        for (int y = b; y < e; ++y) {
            uint8_t* row = image.row(y);
            if (bpp <= 4) {
                int x = 0;
#if ORVANE_X86
                x = vectorRow(row, image.width, bpp);
#endif
                for (; x < image.width; ++x) {
                    uint8_t* p = row + x * bpp;
                    const uint32_t v = hueSatPixel(t, sat_, shift_, p[2], p[1], p[0]);
                    p[0] = static_cast<uint8_t>(v);
                    p[1] = static_cast<uint8_t>(v >> 8);
                    p[2] = static_cast<uint8_t>(v >> 16);
                }
            } else {
                auto* s = reinterpret_cast<uint16_t*>(row);
                const int n = bpp / 2;
                int done = 0;
#if ORVANE_X86
                if (useVbmi) done = hueSatRow16Vbmi(s, image.width, n, lanesVbmi);
#endif
                // High bytes through a small 24-bit strip, so that the 8-bit path (vector
                // or scalar) does the transform; back shifted left by 8.
                constexpr int kStrip = 256;
                uint8_t strip[kStrip * 3 + 16];
                for (int x0 = done; x0 < image.width; x0 += kStrip) {
                    const int m = std::min(kStrip, image.width - x0);
                    const uint16_t* in = s + static_cast<ptrdiff_t>(x0) * n;
                    for (int i = 0; i < m; ++i)
                        for (int c = 0; c < 3; ++c)
                            strip[i * 3 + c] = static_cast<uint8_t>(in[i * n + c] >> 8);
                    int i = 0;
#if ORVANE_X86
                    i = vectorRow(strip, m, 3);
#endif
                    for (; i < m; ++i) {
                        uint8_t* q = strip + i * 3;
                        const uint32_t v = hueSatPixel(t, sat_, shift_, q[2], q[1], q[0]);
                        q[0] = static_cast<uint8_t>(v);
                        q[1] = static_cast<uint8_t>(v >> 8);
                        q[2] = static_cast<uint8_t>(v >> 16);
                    }
                    uint16_t* out = s + static_cast<ptrdiff_t>(x0) * n;
                    for (int k = 0; k < m; ++k) {
                        for (int c = 0; c < 3; ++c)
                            out[k * n + c] = static_cast<uint16_t>(strip[k * 3 + c] << 8);
                        if (n == 4) out[k * n + 3] = 0;
                    }
                }
            }
        }
    });
    return true;
}

}  // namespace orvane::imaging
