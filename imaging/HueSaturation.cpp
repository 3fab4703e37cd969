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

namespace {

// apply()'s work on one row, with the per-image constants of the vector paths made once.
class HueRowTransform final : public RowStep {
  public:
    HueRowTransform(const uint16_t* sat, int saturation, int shift, int bpp, VectorPath path)
        : t_(hueTables()), sat_(sat), shift_(shift) {
#if ORVANE_X86
        // The vector step's pixel layout: 16-bit pixels are transformed through their high
        // bytes.
        vectorBpp_ = bpp == 4 || bpp == 8 ? 4 : 3;
        useVbmi_ = pathAllowsVbmi(path) && vbmiHueSaturationFits(saturation);
        useAvx2_ = !useVbmi_ && pathAllowsAvx2(path);
        if (useAvx2_) lanes_ = makeHueLanes(saturation, shift);
        if (useVbmi_) lanesVbmi_ = makeHueLanesVbmi(saturation, shift, vectorBpp_, t_.reciprocal);
#else
        (void)saturation;
        (void)bpp;
        (void)path;
#endif
    }

    void run(uint8_t* row, int width, int bpp) const override {
        if (bpp <= 4) {
            int x = vectorRow(row, width, bpp);
            for (; x < width; ++x) {
                uint8_t* p = row + x * bpp;
                const uint32_t v = hueSatPixel(t_, sat_, shift_, p[2], p[1], p[0]);
                p[0] = static_cast<uint8_t>(v);
                p[1] = static_cast<uint8_t>(v >> 8);
                p[2] = static_cast<uint8_t>(v >> 16);
            }
            return;
        }
        auto* s = reinterpret_cast<uint16_t*>(row);
        const int n = bpp / 2;
        int done = 0;
#if ORVANE_X86
        if (useVbmi_) done = hueSatRow16Vbmi(s, width, n, lanesVbmi_);
#endif
        // High bytes through a small 24-bit strip, so that the 8-bit path (vector or
        // scalar) does the transform; back shifted left by 8.
        constexpr int kStrip = 256;
        uint8_t strip[kStrip * 3 + 16];
        for (int x0 = done; x0 < width; x0 += kStrip) {
            const int m = std::min(kStrip, width - x0);
            const uint16_t* in = s + static_cast<ptrdiff_t>(x0) * n;
            for (int i = 0; i < m; ++i)
                for (int c = 0; c < 3; ++c)
                    strip[i * 3 + c] = static_cast<uint8_t>(in[i * n + c] >> 8);
            int i = vectorRow(strip, m, 3);
            for (; i < m; ++i) {
                uint8_t* q = strip + i * 3;
                const uint32_t v = hueSatPixel(t_, sat_, shift_, q[2], q[1], q[0]);
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

  private:
    // One row (or strip) of 3- or 4-byte pixels through the widest path; returns pixels done.
    int vectorRow(uint8_t* r, int width, int pixelBytes) const {
#if ORVANE_X86
        if (useVbmi_) return pixelBytes == vectorBpp_ ? hueSatRowVbmi(r, width, lanesVbmi_) : 0;
        if (useAvx2_) return hueSatRowAvx2(r, width, pixelBytes, lanes_, t_.reciprocal);
#else
        (void)r;
        (void)width;
        (void)pixelBytes;
#endif
        return 0;
    }

    const HueTables& t_;
    const uint16_t* sat_;
    int shift_;
#if ORVANE_X86
    int vectorBpp_ = 3;
    bool useVbmi_ = false;
    bool useAvx2_ = false;
    HueLanes lanes_{};
    HueLanesVbmi lanesVbmi_{};
#endif
};

bool hueFormat(int bpp) {
    return bpp == 3 || bpp == 4 || bpp == 6 || bpp == 8;
}

}  // namespace

bool HueSaturation::apply(const ImageView& image, platform::WorkerPool* pool,
                          VectorPath path) const {
    const int bpp = image.bytesPerPixel;
    if (image.empty() || !hueFormat(bpp)) return false;
    if (!active()) return true;
    const HueRowTransform transform(sat_, saturation_, shift_, bpp, path);
    platform::forBands(pool, 0, image.height, 1, [&](int b, int e) {
        for (int y = b; y < e; ++y) transform.run(image.row(y), image.width, bpp);
    });
    return true;
}

bool HueSaturation::withRowStep(int bytesPerPixel, VectorPath path,
                                bool (*body)(const RowStep&, void*), void* context) const {
    if (!hueFormat(bytesPerPixel) || !active()) return false;
    const HueRowTransform transform(sat_, saturation_, shift_, bytesPerPixel, path);
    return body(transform, context);
}

}  // namespace orvane::imaging
