#include "imaging/ColorFilters.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "imaging/Demosaic.h"
#include "imaging/SimdSupport.h"
#include "platform/WorkerPool.h"

namespace orvane::imaging {

namespace {

inline bool eightBitChannels(int bpp) {
    return bpp == 1 || bpp == 3 || bpp == 4;
}
inline bool sixteenBitChannels(int bpp) {
    return bpp == 2 || bpp == 6 || bpp == 8;
}

}  // namespace

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

// ---- Hot-pixel suppression ------------------------------------------------------------------

namespace {

constexpr int kChunk = 64;

// Full test at one 8-bit position on the current frame; returns the replacement or -1.
int hotTest8(const ImageView& raw, int x, int y, const detail::ColourOffsets& offsets, int kRed,
             int kBlue, int t) {
    const uint8_t* r = raw.row(y);
    const int v = r[x];
    const int m = (r[x - 2] + r[x + 2] + raw.row(y - 2)[x] + raw.row(y + 2)[x]) >> 2;
    if (v - m < t) return -1;
    int red, green, blue;
    detail::colourAt<uint8_t>(r + x, offsets, x & 1, kRed, kBlue, red, green, blue);
    red &= 0xFF;
    blue &= 0xFF;
    const int votes =
        (std::abs(red - green) > t) + (std::abs(red - blue) > t) + (std::abs(green - blue) > t);
    return votes >= 2 ? m : -1;
}

int hotTest16(const ImageView& raw, int x, int y, int t) {
    auto at = [&](int xx, int yy) {
        return static_cast<int>(reinterpret_cast<const uint16_t*>(raw.row(yy))[xx]);
    };
    const int v = at(x, y);
    const int m = (at(x - 2, y) + at(x + 2, y) + at(x, y - 2) + at(x, y + 2)) >> 2;
    if (std::abs(v - m) < t) return -1;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if ((dx != 0 || dy != 0) && std::abs(at(x + dx, y + dy) - v) < t) return -1;
    return m;
}

// Quick necessary condition for up to 64 positions of one row, on the frame as it is now:
// bit i set when v - m >= t (8-bit) or |v - m| >= t (16-bit) at x0 + i.
template <class T>
uint64_t quickMaskScalar(const T* r, const T* up2, const T* dn2, int x0, int from, int n, int t) {
    uint64_t mask = 0;
    for (int i = from; i < n; ++i) {
        const int x = x0 + i;
        const int v = r[x];
        const int m = (r[x - 2] + r[x + 2] + up2[x] + dn2[x]) >> 2;
        const int d = v - m;
        if (sizeof(T) == 1 ? (d >= t) : (d >= t || -d >= t)) mask |= uint64_t{1} << i;
    }
    return mask;
}

#if ORVANE_X86
// 8-bit, 16 positions per step on 16-bit lanes:
//   m = (r[x-2] + r[x+2] + up2[x] + dn2[x]) >> 2, flag = (v - m >= t)
inline uint64_t quickMask8(const uint8_t* r, const uint8_t* up2, const uint8_t* dn2, int x0, int n,
                           int t) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i limit = _mm_set1_epi16(static_cast<int16_t>(t - 1));
    auto ld = [](const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    uint64_t mask = 0;
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        const int x = x0 + i;
        const __m128i a = ld(r + x - 2), b = ld(r + x + 2), c = ld(up2 + x), d = ld(dn2 + x),
                      v = ld(r + x);
        auto half = [&](auto unpack) {
            const __m128i sum = _mm_add_epi16(_mm_add_epi16(unpack(a, zero), unpack(b, zero)),
                                              _mm_add_epi16(unpack(c, zero), unpack(d, zero)));
            return _mm_cmpgt_epi16(_mm_sub_epi16(unpack(v, zero), _mm_srli_epi16(sum, 2)), limit);
        };
        const __m128i lo = half([](__m128i p, __m128i q) { return _mm_unpacklo_epi8(p, q); });
        const __m128i hi = half([](__m128i p, __m128i q) { return _mm_unpackhi_epi8(p, q); });
        const auto bits = static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(lo, hi)));
        mask |= uint64_t{bits} << i;
    }
    return mask | quickMaskScalar<uint8_t>(r, up2, dn2, x0, i, n, t);
}

// 16-bit, 8 positions per step. The mean is taken without overflow as the sum of the
// quarters plus the quarter of the sum of the remainders, which is the same integer.
inline uint64_t quickMask16(const uint16_t* r, const uint16_t* up2, const uint16_t* dn2, int x0,
                            int n, int t) {
    const __m128i three = _mm_set1_epi16(3);
    const __m128i below = _mm_set1_epi16(static_cast<int16_t>(t - 1));
    auto ld = [](const uint16_t* p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    };
    uint64_t mask = 0;
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const int x = x0 + i;
        const __m128i a = ld(r + x - 2), b = ld(r + x + 2), c = ld(up2 + x), d = ld(dn2 + x),
                      v = ld(r + x);
        const __m128i quarters =
            _mm_add_epi16(_mm_add_epi16(_mm_srli_epi16(a, 2), _mm_srli_epi16(b, 2)),
                          _mm_add_epi16(_mm_srli_epi16(c, 2), _mm_srli_epi16(d, 2)));
        const __m128i rest =
            _mm_add_epi16(_mm_add_epi16(_mm_and_si128(a, three), _mm_and_si128(b, three)),
                          _mm_add_epi16(_mm_and_si128(c, three), _mm_and_si128(d, three)));
        const __m128i m = _mm_add_epi16(quarters, _mm_srli_epi16(rest, 2));
        const __m128i diff = _mm_or_si128(_mm_subs_epu16(v, m), _mm_subs_epu16(m, v));
        // diff >= t  <=>  diff - (t - 1) saturates to something non-zero
        const __m128i hit = _mm_cmpeq_epi16(_mm_subs_epu16(diff, below), _mm_setzero_si128());
        const auto bits =
            static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(hit, hit))) & 0xFFu;
        mask |= uint64_t{~bits & 0xFFu} << i;
    }
    return mask | quickMaskScalar<uint16_t>(r, up2, dn2, x0, i, n, t);
}
#endif

template <class T>
uint64_t quickMask(const T* r, const T* up2, const T* dn2, int x0, int n, int t) {
#if ORVANE_X86
    if (t >= 1 && t <= 0x7FFF) {
        if constexpr (sizeof(T) == 1)
            return quickMask8(r, up2, dn2, x0, n, t);
        else
            return quickMask16(r, up2, dn2, x0, n, t);
    }
#endif
    return quickMaskScalar<T>(r, up2, dn2, x0, 0, n, t);
}

template <class T>
int suppressRows(const ImageView& raw, int mode, int kRed, int kBlue, int t) {
    int replaced = 0;
    const int w = raw.width, h = raw.height;
    for (int y = 2; y < h - 2; ++y) {
        const detail::ColourOffsets offsets = detail::colourOffsets(mode, y, raw.stride);
        T* r = reinterpret_cast<T*>(raw.row(y));
        const T* up2 = reinterpret_cast<const T*>(raw.row(y - 2));
        const T* dn2 = reinterpret_cast<const T*>(raw.row(y + 2));
        int dirtyUntil = -1;  // positions up to here read a sample replaced in this row
        for (int x0 = 2; x0 < w - 2; x0 += kChunk) {
            const int n = std::min(kChunk, w - 2 - x0);
            // Computed after the previous chunk's replacements, so it sees them.
            uint64_t mask = quickMask<T>(r, up2, dn2, x0, n, t);
            // Positions right after a replacement read it: test them in full regardless.
            for (int x = x0; x <= dirtyUntil && x < x0 + n; ++x) mask |= uint64_t{1} << (x - x0);
            while (mask != 0) {
                const int i = __builtin_ctzll(mask);
                mask &= mask - 1;
                const int x = x0 + i;
                const int m = sizeof(T) == 1 ? hotTest8(raw, x, y, offsets, kRed, kBlue, t)
                                             : hotTest16(raw, x, y, t);
                if (m >= 0) {
                    r[x] = static_cast<T>(m);
                    ++replaced;
                    dirtyUntil = x + 2;
                    // The two following positions, also in this chunk, must be tested.
                    for (int k = 1; k <= 2 && i + k < n; ++k) mask |= uint64_t{1} << (i + k);
                }
            }
        }
    }
    return replaced;
}

}  // namespace

int suppressHotPixels(const ImageView& raw, int bayerMode, int gainRed, int gainBlue,
                      int threshold) {
    if (raw.empty() || raw.width < 5 || raw.height < 5 || bayerMode < 0 || bayerMode > 3) return 0;
    if (raw.bytesPerPixel == 1)
        return suppressRows<uint8_t>(raw, bayerMode, bayerGainFactor(gainRed),
                                     bayerGainFactor(gainBlue), threshold);
    if (raw.bytesPerPixel == 2) return suppressRows<uint16_t>(raw, bayerMode, 0, 0, threshold);
    return 0;
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

#if ORVANE_X86
// Eight 8-bit pixels at a time, every step of hueSatPixel above done branch-free on 32-bit
// lanes. The sector choice becomes masks, the tables become arithmetic (gray[k] = k x
// 0x010101, H[T] = min(T, 511 - T), S[C] = ((s + 256) 256 C + 0x8000) >> 16) except the
// reciprocal, which is gathered, and the sector table, which is permuted.
struct HueLanes {
    __m256i satFactor;  // (s + 256) x 256
    __m256i shiftMod;   // a mod 255
    __m256i shiftDiv;   // a / 255
    __m256i masks;      // kSectorMask
    __m256i ramps;      // kSectorRamp
};

ORVANE_TARGET_AVX2 inline __m256i hueSatLanes(const HueLanes& k, const int32_t* recip, __m256i r,
                                              __m256i g, __m256i b) {
    const __m256i mx = _mm256_max_epi32(r, _mm256_max_epi32(g, b));
    const __m256i mn = _mm256_min_epi32(r, _mm256_min_epi32(g, b));
    const __m256i c = _mm256_sub_epi32(mx, mn);
    const __m256i t = _mm256_add_epi32(mx, mn);
    // blue largest: b > r and b > g; else red when r >= g; else green.
    const __m256i isBlue = _mm256_and_si256(_mm256_cmpgt_epi32(b, r), _mm256_cmpgt_epi32(b, g));
    const __m256i gAboveR = _mm256_cmpgt_epi32(g, r);
    const __m256i isRed =
        _mm256_andnot_si256(_mm256_or_si256(isBlue, gAboveR), _mm256_set1_epi32(-1));
    __m256i sector = _mm256_blendv_epi8(_mm256_set1_epi32(3), _mm256_set1_epi32(1), isRed);
    sector = _mm256_blendv_epi8(sector, _mm256_set1_epi32(5), isBlue);
    __m256i l = _mm256_blendv_epi8(_mm256_sub_epi32(b, r), _mm256_sub_epi32(g, b), isRed);
    l = _mm256_blendv_epi8(l, _mm256_sub_epi32(r, g), isBlue);
    const __m256i neg = _mm256_cmpgt_epi32(_mm256_setzero_si256(), l);
    sector = _mm256_add_epi32(sector, neg);  // -1 where l < 0
    l = _mm256_add_epi32(l, _mm256_and_si256(neg, c));
    // C' = min(H[T], S[C]); n = (T - C') >> 1; A = ((T + C') >> 1) - n
    const __m256i head = _mm256_min_epi32(t, _mm256_sub_epi32(_mm256_set1_epi32(511), t));
    const __m256i sat = _mm256_srli_epi32(
        _mm256_add_epi32(_mm256_mullo_epi32(c, k.satFactor), _mm256_set1_epi32(0x8000)), 16);
    const __m256i cNew = _mm256_min_epi32(head, sat);
    const __m256i n = _mm256_srai_epi32(_mm256_sub_epi32(t, cNew), 1);
    const __m256i amp = _mm256_sub_epi32(_mm256_srai_epi32(_mm256_add_epi32(t, cNew), 1), n);
    const __m256i gray3 = _mm256_set1_epi32(0x010101);
    __m256i res = _mm256_mullo_epi32(n, gray3);
    // p = ((l recip[C] + 0x8000) >> 16) + a mod 255
    const __m256i rc = _mm256_i32gather_epi32(recip, c, 4);
    __m256i p = _mm256_add_epi32(
        _mm256_srli_epi32(_mm256_add_epi32(_mm256_mullo_epi32(l, rc), _mm256_set1_epi32(0x8000)),
                          16),
        k.shiftMod);
    const __m256i over = _mm256_cmpgt_epi32(p, _mm256_set1_epi32(254));
    // k = sector + a / 255 + (p > 254), taken mod 6 (it is below 12)
    __m256i sec = _mm256_sub_epi32(_mm256_add_epi32(sector, k.shiftDiv), over);
    sec = _mm256_sub_epi32(
        sec, _mm256_and_si256(_mm256_cmpgt_epi32(sec, _mm256_set1_epi32(5)), _mm256_set1_epi32(6)));
    p = _mm256_sub_epi32(p, _mm256_and_si256(over, _mm256_set1_epi32(255)));
    const __m256i mask = _mm256_permutevar8x32_epi32(k.masks, sec);
    const __m256i ramp = _mm256_permutevar8x32_epi32(k.ramps, sec);
    const __m256i step =
        _mm256_srai_epi32(_mm256_add_epi32(_mm256_mullo_epi32(amp, p), _mm256_set1_epi32(128)), 8);
    const __m256i term = _mm256_add_epi32(_mm256_and_si256(_mm256_mullo_epi32(amp, gray3), mask),
                                          _mm256_mullo_epi32(step, ramp));
    const __m256i chroma = _mm256_cmpgt_epi32(c, _mm256_setzero_si256());
    return _mm256_add_epi32(res, _mm256_and_si256(term, chroma));
}

ORVANE_TARGET_AVX2 HueLanes makeHueLanes(int saturation, int shift) {
    HueLanes k;
    k.satFactor = _mm256_set1_epi32((saturation + 256) * 256);
    k.shiftMod = _mm256_set1_epi32(shift % 255);
    k.shiftDiv = _mm256_set1_epi32(shift / 255);
    k.masks = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kSectorMaskLanes));
    k.ramps = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kSectorRampLanes));
    return k;
}

// Returns the first pixel not done.
ORVANE_TARGET_AVX2 int hueSatRowAvx2(uint8_t* row, int width, int bpp, const HueLanes& k,
                                     const int32_t* recip) {
    const __m128i take3 = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i pack3 = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i low8 = _mm256_set1_epi32(0xFF);
    int x = 0;
    if (bpp == 3) {
        for (; x + 10 <= width; x += 8) {
            uint8_t* p = row + x * 3;
            const __m128i lo =
                _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), take3);
            const __m128i hi =
                _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12)), take3);
            const __m256i v = _mm256_set_m128i(hi, lo);
            const __m256i res = hueSatLanes(
                k, recip, _mm256_and_si256(_mm256_srli_epi32(v, 16), low8),
                _mm256_and_si256(_mm256_srli_epi32(v, 8), low8), _mm256_and_si256(v, low8));
            const __m128i a = _mm_shuffle_epi8(_mm256_castsi256_si128(res), pack3);
            const __m128i b = _mm_shuffle_epi8(_mm256_extracti128_si256(res, 1), pack3);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_or_si128(a, _mm_slli_si128(b, 12)));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 16), _mm_srli_si128(b, 4));
        }
    } else {
        const __m256i keep = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
        for (; x + 8 <= width; x += 8) {
            auto* p = reinterpret_cast<__m256i*>(row + x * 4);
            const __m256i v = _mm256_loadu_si256(p);
            const __m256i res = hueSatLanes(
                k, recip, _mm256_and_si256(_mm256_srli_epi32(v, 16), low8),
                _mm256_and_si256(_mm256_srli_epi32(v, 8), low8), _mm256_and_si256(v, low8));
            _mm256_storeu_si256(
                p, _mm256_or_si256(_mm256_andnot_si256(keep, res), _mm256_and_si256(v, keep)));
        }
    }
    return x;
}

// GCC 12 flags the undefined pass-through operand inside its own AVX-512 intrinsic headers
// as maybe-uninitialised; it is never read.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// The same on sixteen lanes with mask registers (see hueSatLanes for the steps).
struct HueLanes512 {
    __m512i satFactor, shiftMod, shiftDiv, masks, ramps;
};

ORVANE_TARGET_AVX512 HueLanes512 makeHueLanes512(int saturation, int shift) {
    alignas(64) uint32_t masks[16] = {};
    alignas(64) int32_t ramps[16] = {};
    for (int i = 0; i < 6; ++i) {
        masks[i] = kSectorMask[i];
        ramps[i] = kSectorRamp[i];
    }
    HueLanes512 k;
    k.satFactor = _mm512_set1_epi32((saturation + 256) * 256);
    k.shiftMod = _mm512_set1_epi32(shift % 255);
    k.shiftDiv = _mm512_set1_epi32(shift / 255);
    k.masks = _mm512_load_si512(masks);
    k.ramps = _mm512_load_si512(ramps);
    return k;
}

ORVANE_TARGET_AVX512 inline __m512i hueSatLanes512(const HueLanes512& k, const int32_t* recip,
                                                   __m512i r, __m512i g, __m512i b) {
    const __m512i zero = _mm512_setzero_si512();
    const __m512i one = _mm512_set1_epi32(1);
    const __m512i mx = _mm512_max_epi32(r, _mm512_max_epi32(g, b));
    const __m512i mn = _mm512_min_epi32(r, _mm512_min_epi32(g, b));
    const __m512i c = _mm512_sub_epi32(mx, mn);
    const __m512i t = _mm512_add_epi32(mx, mn);
    const __mmask16 isBlue =
        static_cast<__mmask16>(_mm512_cmpgt_epi32_mask(b, r) & _mm512_cmpgt_epi32_mask(b, g));
    const __mmask16 isRed = static_cast<__mmask16>(~(isBlue | _mm512_cmpgt_epi32_mask(g, r)));
    __m512i sector = _mm512_mask_blend_epi32(isRed, _mm512_set1_epi32(3), one);
    sector = _mm512_mask_blend_epi32(isBlue, sector, _mm512_set1_epi32(5));
    __m512i l = _mm512_mask_blend_epi32(isRed, _mm512_sub_epi32(b, r), _mm512_sub_epi32(g, b));
    l = _mm512_mask_blend_epi32(isBlue, l, _mm512_sub_epi32(r, g));
    const __mmask16 neg = _mm512_cmplt_epi32_mask(l, zero);
    sector = _mm512_mask_sub_epi32(sector, neg, sector, one);
    l = _mm512_mask_add_epi32(l, neg, l, c);
    const __m512i head = _mm512_min_epi32(t, _mm512_sub_epi32(_mm512_set1_epi32(511), t));
    const __m512i sat = _mm512_srli_epi32(
        _mm512_add_epi32(_mm512_mullo_epi32(c, k.satFactor), _mm512_set1_epi32(0x8000)), 16);
    const __m512i cNew = _mm512_min_epi32(head, sat);
    const __m512i n = _mm512_srai_epi32(_mm512_sub_epi32(t, cNew), 1);
    const __m512i amp = _mm512_sub_epi32(_mm512_srai_epi32(_mm512_add_epi32(t, cNew), 1), n);
    const __m512i gray3 = _mm512_set1_epi32(0x010101);
    const __m512i res = _mm512_mullo_epi32(n, gray3);
    const __m512i rc = _mm512_i32gather_epi32(c, recip, 4);
    __m512i p = _mm512_add_epi32(
        _mm512_srli_epi32(_mm512_add_epi32(_mm512_mullo_epi32(l, rc), _mm512_set1_epi32(0x8000)),
                          16),
        k.shiftMod);
    const __mmask16 over = _mm512_cmpgt_epi32_mask(p, _mm512_set1_epi32(254));
    __m512i sec = _mm512_add_epi32(sector, k.shiftDiv);
    sec = _mm512_mask_add_epi32(sec, over, sec, one);
    sec = _mm512_mask_sub_epi32(sec, _mm512_cmpgt_epi32_mask(sec, _mm512_set1_epi32(5)), sec,
                                _mm512_set1_epi32(6));
    p = _mm512_mask_sub_epi32(p, over, p, _mm512_set1_epi32(255));
    const __m512i mask = _mm512_permutexvar_epi32(sec, k.masks);
    const __m512i ramp = _mm512_permutexvar_epi32(sec, k.ramps);
    const __m512i step =
        _mm512_srai_epi32(_mm512_add_epi32(_mm512_mullo_epi32(amp, p), _mm512_set1_epi32(128)), 8);
    const __m512i term = _mm512_add_epi32(_mm512_and_si512(_mm512_mullo_epi32(amp, gray3), mask),
                                          _mm512_mullo_epi32(step, ramp));
    return _mm512_mask_add_epi32(res, _mm512_cmpgt_epi32_mask(c, zero), res, term);
}

// Returns the first pixel not done.
ORVANE_TARGET_AVX512 int hueSatRowAvx512(uint8_t* row, int width, int bpp, const HueLanes512& k,
                                         const int32_t* recip) {
    const __m128i take3 = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i pack3 = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m512i low8 = _mm512_set1_epi32(0xFF);
    int x = 0;
    if (bpp == 3) {
        for (; x + 18 <= width; x += 16) {
            uint8_t* p = row + x * 3;
            const auto* q = reinterpret_cast<const __m128i*>(p);
            // Quarters of four pixels at byte offsets 0, 12, 24 and 36.
            __m512i v = _mm512_castsi128_si512(_mm_shuffle_epi8(_mm_loadu_si128(q), take3));
            v = _mm512_inserti32x4(
                v,
                _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12)), take3),
                1);
            v = _mm512_inserti32x4(
                v,
                _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 24)), take3),
                2);
            v = _mm512_inserti32x4(
                v,
                _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 36)), take3),
                3);
            const __m512i res = hueSatLanes512(
                k, recip, _mm512_and_si512(_mm512_srli_epi32(v, 16), low8),
                _mm512_and_si512(_mm512_srli_epi32(v, 8), low8), _mm512_and_si512(v, low8));
            const __m128i a0 = _mm_shuffle_epi8(_mm512_extracti32x4_epi32(res, 0), pack3);
            const __m128i a1 = _mm_shuffle_epi8(_mm512_extracti32x4_epi32(res, 1), pack3);
            const __m128i a2 = _mm_shuffle_epi8(_mm512_extracti32x4_epi32(res, 2), pack3);
            const __m128i a3 = _mm_shuffle_epi8(_mm512_extracti32x4_epi32(res, 3), pack3);
            auto* d = reinterpret_cast<__m128i*>(p);
            _mm_storeu_si128(d + 0, _mm_or_si128(a0, _mm_slli_si128(a1, 12)));
            _mm_storeu_si128(d + 1, _mm_or_si128(_mm_srli_si128(a1, 4), _mm_slli_si128(a2, 8)));
            _mm_storeu_si128(d + 2, _mm_or_si128(_mm_srli_si128(a2, 8), _mm_slli_si128(a3, 4)));
        }
    } else {
        const __m512i keep = _mm512_set1_epi32(static_cast<int>(0xFF000000u));
        for (; x + 16 <= width; x += 16) {
            uint8_t* p = row + x * 4;
            const __m512i v = _mm512_loadu_si512(p);
            const __m512i res = hueSatLanes512(
                k, recip, _mm512_and_si512(_mm512_srli_epi32(v, 16), low8),
                _mm512_and_si512(_mm512_srli_epi32(v, 8), low8), _mm512_and_si512(v, low8));
            _mm512_storeu_si512(
                p, _mm512_or_si512(_mm512_andnot_si512(keep, res), _mm512_and_si512(v, keep)));
        }
    }
    return x;
}
#pragma GCC diagnostic pop
#endif

}  // namespace

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
    const bool useAvx512 = pathAllowsAvx512(path);
    const bool useAvx2 = !useAvx512 && pathAllowsAvx2(path);
    HueLanes lanes{};
    HueLanes512 lanes512{};
    if (useAvx2) lanes = makeHueLanes(saturation_, shift_);
    if (useAvx512) lanes512 = makeHueLanes512(saturation_, shift_);
    // One row (or strip) of 3- or 4-byte pixels through the widest path; returns pixels done.
    auto vectorRow = [&](uint8_t* r, int width, int pixelBytes) {
        if (useAvx512) return hueSatRowAvx512(r, width, pixelBytes, lanes512, t.reciprocal);
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
                // High bytes through a small 24-bit strip, so that the 8-bit path (vector
                // or scalar) does the transform; back shifted left by 8.
                constexpr int kStrip = 256;
                uint8_t strip[kStrip * 3 + 16];
                for (int x0 = 0; x0 < image.width; x0 += kStrip) {
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

// ---- Point tables -----------------------------------------------------------------------------

namespace {
template <class T>
void gammaTable(int gamma, T* table, int maxv) {
    table[0] = 0;
    if (gamma <= 0) {
        // Infinite exponent: everything below full scale goes to 0.
        for (int i = 1; i < maxv; ++i) table[i] = 0;
        table[maxv] = static_cast<T>(maxv);
        return;
    }
    const double exponent = 100.0 / gamma;
    for (int i = 1; i <= maxv; ++i) {
        const double v = std::pow(static_cast<double>(i) / maxv, exponent) * maxv;
        table[i] = static_cast<T>(std::min(static_cast<int>(v), maxv));
    }
}

template <class T>
void contrastTable(int c, T* table, int maxv, int scale) {
    const int t = c * scale;
    const double factor = static_cast<double>(maxv + 1) / (maxv + 1 - 2 * t);
    for (int i = 0; i <= maxv; ++i) {
        int v;
        if (i < t)
            v = 0;
        else if (i > maxv - t)
            v = maxv;
        else
            v = static_cast<int>(factor * (i - t));
        table[i] = static_cast<T>(std::clamp(v, 0, maxv));
    }
}

template <class T>
void brightnessTable(int b, T* table, int maxv) {
    const double fd = b < 0 ? 1.0 - std::abs(b) * (1.0 / 255.0) : 1.0 + b * (10.0 / 255.0);
    const float f = static_cast<float>(fd);
    for (int i = 0; i <= maxv; ++i) {
        const float v = static_cast<float>(i) * f;
        table[i] = static_cast<T>(v >= static_cast<float>(maxv) ? maxv : static_cast<int>(v));
    }
}
}  // namespace

void buildGammaTable8(int gamma, uint8_t* table) {
    gammaTable(gamma, table, 255);
}
void buildGammaTable16(int gamma, uint16_t* table) {
    gammaTable(gamma, table, 65535);
}
void buildContrastTable8(int contrast, uint8_t* table) {
    contrastTable(contrast, table, 255, 1);
}
void buildContrastTable16(int contrast, uint16_t* table) {
    contrastTable(contrast, table, 65535, 256);
}
void buildBrightnessTable8(int brightness, uint8_t* table) {
    brightnessTable(brightness, table, 255);
}
void buildBrightnessTable16(int brightness, uint16_t* table) {
    brightnessTable(brightness, table, 65535);
}

ToneTableCache::ToneTableCache() = default;
ToneTableCache::~ToneTableCache() = default;

namespace {
unsigned effectiveStages(unsigned stages, int gamma, int contrast, int brightness) {
    if (gamma == 100) stages &= ~static_cast<unsigned>(kToneGamma);
    if (contrast == 0) stages &= ~static_cast<unsigned>(kToneContrast);
    if (brightness == 0) stages &= ~static_cast<unsigned>(kToneBrightness);
    return stages;
}

template <class T, int N>
void composeInto(T* out, unsigned stages, int gamma, int contrast, int brightness,
                 void (*g)(int, T*), void (*c)(int, T*), void (*b)(int, T*), T* tmp) {
    for (int i = 0; i < N; ++i) out[i] = static_cast<T>(i);
    auto chain = [&](void (*build)(int, T*), int setting) {
        build(setting, tmp);
        for (int i = 0; i < N; ++i) out[i] = tmp[out[i]];
    };
    if (stages & kToneGamma) chain(g, gamma);
    if (stages & kToneContrast) chain(c, contrast);
    if (stages & kToneBrightness) chain(b, brightness);
}
}  // namespace

const uint8_t* ToneTableCache::table8(unsigned stages, int gamma, int contrast, int brightness) {
    stages = effectiveStages(stages, gamma, contrast, brightness);
    if (stages == 0) return nullptr;
    const Key key{stages, gamma, contrast, brightness, true};
    if (!(key == key8_)) {
        uint8_t tmp[256];
        composeInto<uint8_t, 256>(t8_, stages, gamma, contrast, brightness, buildGammaTable8,
                                  buildContrastTable8, buildBrightnessTable8, tmp);
        key8_ = key;
        ++builds_;
    }
    return t8_;
}

const uint16_t* ToneTableCache::table16(unsigned stages, int gamma, int contrast, int brightness) {
    stages = effectiveStages(stages, gamma, contrast, brightness);
    if (stages == 0) return nullptr;
    const Key key{stages, gamma, contrast, brightness, true};
    if (!t16_) {
        // Twice the table: the second half is the build scratch.
        t16_.reset(new (std::nothrow) uint16_t[2 * 65536]);
        if (!t16_) return nullptr;
        key16_ = Key{};
    }
    if (!(key == key16_)) {
        composeInto<uint16_t, 65536>(t16_.get(), stages, gamma, contrast, brightness,
                                     buildGammaTable16, buildContrastTable16,
                                     buildBrightnessTable16, t16_.get() + 65536);
        key16_ = key;
        ++builds_;
    }
    return t16_.get();
}

namespace {
// Scalar table pass; the lookups are independent, the unrolled loop keeps several in flight.
void lookupRun8(uint8_t* p, size_t n, const uint8_t* t) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t v;
        std::memcpy(&v, p + i, 8);
        const uint64_t o =
            uint64_t{t[v & 0xFF]} | uint64_t{t[(v >> 8) & 0xFF]} << 8 |
            uint64_t{t[(v >> 16) & 0xFF]} << 16 | uint64_t{t[(v >> 24) & 0xFF]} << 24 |
            uint64_t{t[(v >> 32) & 0xFF]} << 32 | uint64_t{t[(v >> 40) & 0xFF]} << 40 |
            uint64_t{t[(v >> 48) & 0xFF]} << 48 | uint64_t{t[v >> 56]} << 56;
        std::memcpy(p + i, &o, 8);
    }
    for (; i < n; ++i) p[i] = t[p[i]];
}
}  // namespace

#if ORVANE_X86
// 64 samples per step: out = table[v], the 256-entry table held in four registers. Each
// two-register permute looks up 128 entries by the low seven bits of v; the top bit of v
// picks which half's result is kept.
ORVANE_TARGET_VBMI void lookupRunVbmi(uint8_t* p, size_t n, const uint8_t* t) {
    const __m512i t0 = _mm512_loadu_si512(t), t1 = _mm512_loadu_si512(t + 64);
    const __m512i t2 = _mm512_loadu_si512(t + 128), t3 = _mm512_loadu_si512(t + 192);
    size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        const __m512i v = _mm512_loadu_si512(p + i);
        const __m512i lo = _mm512_permutex2var_epi8(t0, v, t1);
        const __m512i hi = _mm512_permutex2var_epi8(t2, v, t3);
        _mm512_storeu_si512(p + i, _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), lo, hi));
    }
    for (; i < n; ++i) p[i] = t[p[i]];
}
#endif

bool applyTable8(const ImageView& image, const uint8_t* table, platform::WorkerPool* pool,
                 VectorPath path) {
    if (image.empty() || !eightBitChannels(image.bytesPerPixel)) return false;
    if (table == nullptr) return true;
    const int bpp = image.bytesPerPixel;
    const bool vbmi = pathAllowsVbmi(path);
    platform::forBands(pool, 0, image.height, 1, [&](int b, int e) {
        for (int y = b; y < e; ++y) {
            uint8_t* r = image.row(y);
            if (bpp != 4) {
                const size_t n = static_cast<size_t>(image.width) * bpp;
#if ORVANE_X86
                if (vbmi) {
                    lookupRunVbmi(r, n, table);
                    continue;
                }
#endif
                lookupRun8(r, n, table);
            } else {
                for (int x = 0; x < image.width; ++x) {
                    uint8_t* p = r + x * 4;
                    p[0] = table[p[0]];
                    p[1] = table[p[1]];
                    p[2] = table[p[2]];
                }
            }
        }
    });
    return true;
}

bool applyTable16(const ImageView& image, const uint16_t* table, platform::WorkerPool* pool) {
    if (image.empty() || !sixteenBitChannels(image.bytesPerPixel)) return false;
    if (table == nullptr) return true;
    const int n = image.bytesPerPixel / 2;
    platform::forBands(pool, 0, image.height, 1, [&](int b, int e) {
        for (int y = b; y < e; ++y) {
            auto* r = reinterpret_cast<uint16_t*>(image.row(y));
            if (n != 4) {
                const size_t count = static_cast<size_t>(image.width) * n;
                for (size_t i = 0; i < count; ++i) r[i] = table[r[i]];
            } else {
                for (int x = 0; x < image.width; ++x) {
                    uint16_t* p = r + x * 4;
                    p[0] = table[p[0]];
                    p[1] = table[p[1]];
                    p[2] = table[p[2]];
                }
            }
        }
    });
    return true;
}

namespace {
bool applyStages(const ImageView& image, unsigned stages, int gamma, int contrast, int brightness,
                 ToneTableCache& cache, platform::WorkerPool* pool) {
    if (image.empty()) return false;
    if (eightBitChannels(image.bytesPerPixel))
        return applyTable8(image, cache.table8(stages, gamma, contrast, brightness), pool);
    if (sixteenBitChannels(image.bytesPerPixel)) {
        if (effectiveStages(stages, gamma, contrast, brightness) == 0) return true;
        const uint16_t* t = cache.table16(stages, gamma, contrast, brightness);
        return t != nullptr && applyTable16(image, t, pool);
    }
    return false;
}
}  // namespace

bool applyGamma(const ImageView& image, int gamma, ToneTableCache& cache,
                platform::WorkerPool* pool) {
    return applyStages(image, kToneGamma, gamma, 0, 0, cache, pool);
}
bool applyContrast(const ImageView& image, int contrast, ToneTableCache& cache,
                   platform::WorkerPool* pool) {
    return applyStages(image, kToneContrast, 100, contrast, 0, cache, pool);
}
bool applyBrightness(const ImageView& image, int brightness, ToneTableCache& cache,
                     platform::WorkerPool* pool) {
    return applyStages(image, kToneBrightness, 100, 0, brightness, cache, pool);
}

// ---- Sharpness --------------------------------------------------------------------------------

namespace {

constexpr int kSharpChunk = 512;  // output samples per step

// One output row, samples [i0, i1) of the row (channel-interleaved), from the copy's rows
// y - 2 ... y + 1. Written for the vectoriser: the 4 x 4 box is a vertical sum of four rows
// followed by a horizontal sum of four samples one pixel apart.
#if ORVANE_X86
// 8-bit samples, 16 at a time, from the vertical sums v (see sharpenSpan):
//   blur = (v[i] + v[i + bpp] + v[i + 2 bpp] + v[i + 3 bpp]) >> 4
//   r = orig + trunc(k (orig - blur) / 10), limited to 0 ... 255
// |k (orig - blur)| <= 7650, and for such x, |x| / 10 == (|x| x 6554) >> 16 exactly (the
// error of 6554 / 65536 against 1 / 10 stays below 1 / 20 there), so the division is a
// high multiply on the magnitude with the sign put back. Returns the samples done.
inline int sharpenSpan8Sse2(uint8_t* out, const uint8_t* s2, const int16_t* v, int bpp, int i0,
                            int n, int k) {
    const __m128i kk = _mm_set1_epi16(static_cast<int16_t>(k));
    const __m128i tenth = _mm_set1_epi16(6554);
    const __m128i zero = _mm_setzero_si128();
    auto half = [&](int i) {
        const __m128i sum = _mm_add_epi16(
            _mm_add_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v + i)),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + i + bpp))),
            _mm_add_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v + i + 2 * bpp)),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + i + 3 * bpp))));
        const __m128i blur = _mm_srli_epi16(sum, 4);
        const __m128i orig =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(s2 + i0 + i)), zero);
        const __m128i x = _mm_mullo_epi16(kk, _mm_sub_epi16(orig, blur));
        const __m128i sign = _mm_srai_epi16(x, 15);
        const __m128i mag = _mm_sub_epi16(_mm_xor_si128(x, sign), sign);
        const __m128i q = _mm_mulhi_epu16(mag, tenth);
        return _mm_add_epi16(orig, _mm_sub_epi16(_mm_xor_si128(q, sign), sign));
    };
    int i = 0;
    for (; i + 16 <= n; i += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i0 + i),
                         _mm_packus_epi16(half(i), half(i + 8)));
    return i;
}
#endif

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
    if (!eightBitChannels(bpp) && !sixteenBitChannels(bpp)) return false;
    if (strength == 0 || image.width < 5 || image.height < 5) return true;
    const size_t rowBytes = static_cast<size_t>(image.width) * bpp;
    platform::forBands(pool, 0, image.height, 1, [&](int b, int e) {
        for (int y = b; y < e; ++y) std::memcpy(scratch.row(y), image.row(y), rowBytes);
    });
    platform::forBands(pool, 2, image.height - 2, 1, [&](int b, int e) {
        if (eightBitChannels(bpp))
            sharpenRows<uint8_t, int16_t>(image, scratch, strength, b, e);
        else
            sharpenRows<uint16_t, int32_t>(image, scratch, strength, b, e);
    });
    return true;
}

bool applyToneSteps(const ImageView& image, int gamma, int contrast, int sharpness, int brightness,
                    ToneTableCache& cache, const ImageView& sharpenScratch,
                    platform::WorkerPool* pool) {
    if (sharpness == 0)
        return applyStages(image, kToneGamma | kToneContrast | kToneBrightness, gamma, contrast,
                           brightness, cache, pool);
    bool ok = applyStages(image, kToneGamma | kToneContrast, gamma, contrast, 0, cache, pool);
    ok = sharpen(image, sharpenScratch, sharpness, pool) && ok;
    ok = applyStages(image, kToneBrightness, 100, 0, brightness, cache, pool) && ok;
    return ok;
}

}  // namespace orvane::imaging
