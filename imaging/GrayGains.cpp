// Gray mode 1 on raw frames (per-site gains and offsets, their one-shot measurement, the
// gray image taken from a colour one) and the mean level of a frame region.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "imaging/ColorFilters.h"
#include "imaging/Demosaic.h"
#include "platform/WorkerPool.h"

namespace orvane::imaging {

// ---- Mean level -----------------------------------------------------------------------------

int meanLevel(const ImageView& raw, const PixelRect& rect) {
    if (raw.empty()) return 0;
    const int l = std::max(rect.left, 0), t = std::max(rect.top, 0);
    const int r = std::min(rect.right, raw.width), b = std::min(rect.bottom, raw.height);
    if (r <= l || b <= t) return 0;
    uint64_t sum = 0;
    for (int y = t; y < b; ++y) {
        if (raw.bytesPerPixel == 2) {
            const auto* s = reinterpret_cast<const uint16_t*>(raw.row(y));
            uint32_t rowSum = 0;
            for (int x = l; x < r; ++x) rowSum += (s[x] >> 2) & 0xFFu;
            sum += rowSum;
        } else {
            const uint8_t* s = raw.row(y);
            uint32_t rowSum = 0;
            for (int x = l; x < r; ++x) rowSum += s[x * raw.bytesPerPixel];
            sum += rowSum;
        }
    }
    return static_cast<int>(sum / (static_cast<uint64_t>(r - l) * static_cast<uint64_t>(b - t)));
}

// ---- Gray mode 1 ------------------------------------------------------------------------------

namespace {
constexpr GraySite kGraySites[4][2][2] = {
    {{kGrayG1, kGrayR}, {kGrayB, kGrayG2}},
    {{kGrayB, kGrayG2}, {kGrayG1, kGrayR}},
    {{kGrayR, kGrayG1}, {kGrayG2, kGrayB}},
    {{kGrayG2, kGrayB}, {kGrayR, kGrayG1}},
};
}  // namespace

GraySite graySiteAt(int bayerMode, int x, int y) {
    return kGraySites[bayerMode & 3][y & 1][x & 1];
}

bool GrayGains::isDefault() const {
    for (int i = 0; i < 4; ++i)
        if (gain[i] != 128 || offset[i] != 128) return false;
    return true;
}

GrayGains measureGrayBalance(const ImageView& raw, int bayerMode, const GrayGains& current) {
    GrayGains out = current;
    if (raw.empty() || bayerMode < 0 || bayerMode > 3) return out;
    uint64_t sum[4] = {}, count[4] = {};
    for (int y = 0; y < raw.height; ++y) {
        const uint8_t* r = raw.row(y);
        for (int x = 0; x < raw.width; ++x) {
            // One byte per sample: the low byte of a 16-bit sample.
            const uint8_t v = r[static_cast<ptrdiff_t>(x) * raw.bytesPerPixel];
            if (v >= 1 && v <= 254) {
                const int s = kGraySites[bayerMode][y & 1][x & 1];
                sum[s] += v;
                ++count[s];
            }
        }
    }
    auto mean = [&](int s) { return static_cast<float>(sum[s]) / static_cast<float>(count[s]); };
    if (count[kGrayG1] == 0 || sum[kGrayG1] == 0) return out;
    const float g1 = mean(kGrayG1);
    out.gain[kGrayG1] = 128;
    for (int s : {kGrayR, kGrayG2, kGrayB})
        if (count[s] != 0 && sum[s] != 0) out.gain[s] = static_cast<int32_t>(g1 / mean(s) * 128.0f);
    return out;
}

bool applyGrayGains(const ImageView& raw, int bayerMode, const GrayGains& g, int dataBits,
                    platform::WorkerPool* pool) {
    if (raw.empty() || bayerMode < 0 || bayerMode > 3) return false;
    if (g.isDefault()) return false;
    const int maxv = dataBits > 8 ? 4095 : 255;
    if (raw.bytesPerPixel == 1) {
        // One table per site: v -> offset + gain v / 128, limited.
        uint8_t lut[4][256];
        for (int s = 0; s < 4; ++s)
            for (int v = 0; v < 256; ++v)
                lut[s][v] = static_cast<uint8_t>(
                    std::clamp(g.offset[s] + g.gain[s] * v / 128, 0, std::min(maxv, 255)));
        platform::forBands(pool, 0, raw.height, 2, [&](int b, int e) {
            for (int y = b; y < e; ++y) {
                uint8_t* r = raw.row(y);
                const uint8_t* le = lut[kGraySites[bayerMode][y & 1][0]];
                const uint8_t* lo = lut[kGraySites[bayerMode][y & 1][1]];
                int x = 0;
                for (; x + 1 < raw.width; x += 2) {
                    r[x] = le[r[x]];
                    r[x + 1] = lo[r[x + 1]];
                }
                if (x < raw.width) r[x] = le[r[x]];
            }
        });
        return true;
    }
    if (raw.bytesPerPixel == 2) {
        platform::forBands(pool, 0, raw.height, 2, [&](int b, int e) {
            for (int y = b; y < e; ++y) {
                auto* r = reinterpret_cast<uint16_t*>(raw.row(y));
                for (int x = 0; x < raw.width; ++x) {
                    const int s = kGraySites[bayerMode][y & 1][x & 1];
                    r[x] = static_cast<uint16_t>(std::clamp(
                        g.offset[s] + g.gain[s] * static_cast<int>(r[x]) / 128, 0, maxv));
                }
            }
        });
        return true;
    }
    return false;
}

bool grayFromColour(const ImageView& colour, const ImageView& raw8, platform::WorkerPool* pool) {
    if (colour.empty() || raw8.empty() || colour.width != raw8.width ||
        colour.height != raw8.height || raw8.bytesPerPixel != 1 ||
        (colour.bytesPerPixel != 3 && colour.bytesPerPixel != 4))
        return false;
    const int bpp = colour.bytesPerPixel;
    platform::forBands(pool, 0, raw8.height, 1, [&](int b, int e) {
        for (int y = b; y < e; ++y) {
            const uint8_t* c = colour.row(y);
            uint8_t* d = raw8.row(y);
            for (int x = 0; x < raw8.width; ++x) {
                const uint8_t* p = c + x * bpp;
                d[x] = static_cast<uint8_t>((30u * p[2] + 59u * p[1] + 11u * p[0]) / 100u);
            }
        }
    });
    return true;
}

}  // namespace orvane::imaging
