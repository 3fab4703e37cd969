#include "imaging/Demosaic.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "imaging/SimdSupport.h"
#include "platform/WorkerPool.h"

namespace orvane::imaging {

namespace {

// [mode][row parity][column parity]
constexpr BayerColour kR = BayerColour::Red, kG = BayerColour::Green, kB = BayerColour::Blue;
constexpr BayerColour kBayer[4][2][2] = {
    {{kG, kB}, {kR, kG}},
    {{kR, kG}, {kG, kB}},
    {{kB, kG}, {kG, kR}},
    {{kG, kR}, {kB, kG}},
};

// Column and row parity of one colour's sites.
struct Site {
    int x;
    int y;
};
Site siteOf(int mode, BayerColour c) {
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            if (kBayer[mode][y][x] == c) return {x, y};
    return {0, 0};
}

// ---------------------------------------------------------------------------------------
// Generic colour rule with substitution maps: rows[i] is the raw row used for row offset
// i - 2 (i = 0..3 for -2, -1, 0, +1) and cols[i] the raw column for column offset i - 2.
// Parities come from the logical position, which the substitution (by four) preserves.
template <class T>
struct Rgb {
    uint32_t r, g, b;  // unsaturated W x k >> 11 for red and blue
};

template <class T>
inline uint32_t sampleAt(const T* const rows[4], const int cols[4], int dx, int dy) {
    return rows[dy + 2][cols[dx + 2]];
}

template <class T>
Rgb<T> colourRule(const T* const rows[4], const int cols[4], int x, int y, int mode, int kRed,
                  int kBlue) {
    int rbx = 0, rby = 0, bbx = 0, bby = 0, g[2][2] = {}, ng = 0;
    for (int dy = -1; dy <= 0; ++dy)
        for (int dx = -1; dx <= 0; ++dx) {
            const BayerColour c = kBayer[mode][(y + dy) & 1][(x + dx) & 1];
            if (c == kR) {
                rbx = dx;
                rby = dy;
            } else if (c == kB) {
                bbx = dx;
                bby = dy;
            } else if (ng < 2) {
                g[ng][0] = dx;
                g[ng][1] = dy;
                ++ng;
            }
        }
    auto weighted = [&](int bx, int by) {
        const int fx = bx == -1 ? 1 : -2;
        const int fy = by == -1 ? 1 : -2;
        return 9 * sampleAt(rows, cols, bx, by) + 3 * sampleAt(rows, cols, fx, by) +
               3 * sampleAt(rows, cols, bx, fy) + sampleAt(rows, cols, fx, fy);
    };
    Rgb<T> out;
    out.g = (sampleAt(rows, cols, g[0][0], g[0][1]) + sampleAt(rows, cols, g[1][0], g[1][1])) >> 1;
    out.r = (weighted(rbx, rby) * static_cast<uint32_t>(kRed)) >> 11;
    out.b = (weighted(bbx, bby) * static_cast<uint32_t>(kBlue)) >> 11;
    return out;
}

template <class T>
inline void storePixel(uint8_t* d, uint32_t r, uint32_t g, uint32_t b) {
    constexpr uint32_t kMax = sizeof(T) == 1 ? 255u : 65535u;
    T* p = reinterpret_cast<T*>(d);
    p[0] = static_cast<T>(std::min(b, kMax));
    p[1] = static_cast<T>(g);
    p[2] = static_cast<T>(std::min(r, kMax));
}

// Raw row used for row offset dy at output row y: outside samples are replaced by the
// same-colour samples four rows further in.
inline int mapIndex(int i, int d, int n) {
    int j = i + d;
    if (i == 0 && (d == -1 || d == -2)) j += 4;
    if (i == 1 && d == -2) j += 4;
    if (i == n - 1 && d == 1) j -= 4;
    return j;
}

struct Job {
    const ImageView* raw;
    const ImageView* out;
    int mode;
    int kRed;
    int kBlue;
    VectorPath path;
};

// Border pass for one output row over columns [x0, x1) with per-pixel column maps.
template <class T>
void borderSpan(const Job& j, int y, int x0, int x1) {
    const ImageView& raw = *j.raw;
    const T* rows[4];
    for (int i = 0; i < 4; ++i)
        rows[i] = reinterpret_cast<const T*>(raw.row(mapIndex(y, i - 2, raw.height)));
    const int obpp = j.out->bytesPerPixel;
    uint8_t* orow = j.out->row(y);
    for (int x = x0; x < x1; ++x) {
        int cols[4];
        for (int i = 0; i < 4; ++i) cols[i] = mapIndex(x, i - 2, raw.width);
        const Rgb<T> c = colourRule<T>(rows, cols, x, y, j.mode, j.kRed, j.kBlue);
        storePixel<T>(orow + static_cast<ptrdiff_t>(x) * obpp, c.r, c.g, c.b);
    }
}

// Per-row offsets of the interior rule, for output pixels of column parity p.
struct RowOffsets {
    // Red and blue: near sample, far column, far row, diagonal; green: the two block sites.
    ptrdiff_t red[2][4];
    ptrdiff_t blue[2][4];
    ptrdiff_t green[2][2];
};

template <class T>
RowOffsets rowOffsets(int mode, int y, ptrdiff_t strideSamples) {
    RowOffsets o{};
    for (int p = 0; p < 2; ++p) {
        int ng = 0;
        for (int dy = -1; dy <= 0; ++dy)
            for (int dx = -1; dx <= 0; ++dx) {
                const BayerColour c = kBayer[mode][(y + dy) & 1][(p + dx) & 1];
                const int fx = dx == -1 ? 1 : -2;
                const int fy = dy == -1 ? 1 : -2;
                ptrdiff_t* dst = c == kR ? o.red[p] : c == kB ? o.blue[p] : nullptr;
                if (dst != nullptr) {
                    dst[0] = dy * strideSamples + dx;
                    dst[1] = dy * strideSamples + fx;
                    dst[2] = fy * strideSamples + dx;
                    dst[3] = fy * strideSamples + fx;
                } else if (ng < 2) {
                    o.green[p][ng++] = dy * strideSamples + dx;
                }
            }
    }
    return o;
}

// Interior rule, scalar: output row y, columns [x0, x1).
template <class T>
void interiorSpanScalar(const Job& j, int y, int x0, int x1) {
    const ptrdiff_t ss = j.raw->stride / static_cast<ptrdiff_t>(sizeof(T));
    const RowOffsets o = rowOffsets<T>(j.mode, y, ss);
    const T* src = reinterpret_cast<const T*>(j.raw->row(y));
    const int obpp = j.out->bytesPerPixel;
    uint8_t* orow = j.out->row(y);
    const uint32_t kr = static_cast<uint32_t>(j.kRed), kb = static_cast<uint32_t>(j.kBlue);
    for (int x = x0; x < x1; ++x) {
        const int p = x & 1;
        const T* s = src + x;
        // W = 9 s + 3 (row neighbour + column neighbour) + diagonal; value = (W k) >> 11.
        const uint32_t wr =
            9u * s[o.red[p][0]] + 3u * (s[o.red[p][1]] + s[o.red[p][2]]) + s[o.red[p][3]];
        const uint32_t wb =
            9u * s[o.blue[p][0]] + 3u * (s[o.blue[p][1]] + s[o.blue[p][2]]) + s[o.blue[p][3]];
        const uint32_t g = (static_cast<uint32_t>(s[o.green[p][0]]) + s[o.green[p][1]]) >> 1;
        storePixel<T>(orow + static_cast<ptrdiff_t>(x) * obpp, (wr * kr) >> 11, g, (wb * kb) >> 11);
    }
}

// ---------------------------------------------------------------------------------------
// Vector interior. Per output row the rule separates into a vertical and a horizontal step:
// for a colour whose near row is N and far row F, V[c] = 3 N[c] + F[c] on that colour's
// columns, and W[x] = 3 V[near column] + V[far column]. Green is the floor average of the two
// block greens. The results are interleaved into blue-green-red pixels with byte shuffles.

struct RowPlan {
    const uint8_t* redNear;
    const uint8_t* redFar;
    const uint8_t* blueNear;
    const uint8_t* blueFar;
    const uint8_t* up;  // row y - 1
    const uint8_t* lo;  // row y
    int redCol;         // column parity of red sites
    int blueCol;
    int greenUpCol;  // column parity of the green sites of row y - 1
};

RowPlan planRow(const ImageView& raw, int mode, int y) {
    const Site red = siteOf(mode, kR);
    const Site blue = siteOf(mode, kB);
    RowPlan p{};
    const uint8_t* rm2 = raw.row(y - 2);
    const uint8_t* rm1 = raw.row(y - 1);
    const uint8_t* r0 = raw.row(y);
    const uint8_t* rp1 = raw.row(y + 1);
    const bool redUp = ((y - 1) & 1) == red.y;
    p.redNear = redUp ? rm1 : r0;
    p.redFar = redUp ? rp1 : rm2;
    p.blueNear = redUp ? r0 : rm1;
    p.blueFar = redUp ? rm2 : rp1;
    p.up = rm1;
    p.lo = r0;
    p.redCol = red.x;
    p.blueCol = blue.x;
    // Row y - 1 holds red or blue at one column parity and green at the other.
    p.greenUpCol = redUp ? 1 - red.x : 1 - blue.x;
    return p;
}

// Byte-shuffle masks that interleave three or four channel vectors into pixels. elem is the
// sample size in bytes, n the samples per pixel; channel n - 1 of a four-sample pixel is
// left to the caller (it keeps the destination's fourth sample).
struct ShuffleMasks {
    alignas(16) int8_t m[4][4][16];  // [output chunk][channel][byte]
};
constexpr ShuffleMasks makeMasks(int elem, int n) {
    ShuffleMasks s{};
    for (int q = 0; q < 4; ++q)
        for (int c = 0; c < 4; ++c)
            for (int i = 0; i < 16; ++i) {
                const int e = (16 * q + i) / elem;
                const int pix = e / n, ch = e % n;
                s.m[q][c][i] =
                    static_cast<int8_t>(ch == c ? (pix % (16 / elem)) * elem + i % elem : -128);
            }
    return s;
}
constexpr ShuffleMasks kMask8x3 = makeMasks(1, 3);
constexpr ShuffleMasks kMask8x4 = makeMasks(1, 4);
constexpr ShuffleMasks kMask16x3 = makeMasks(2, 3);
constexpr ShuffleMasks kMask16x4 = makeMasks(2, 4);

// For four samples per pixel only chunk 0's masks are used: the caller first moves the pixels
// of each 16-byte output chunk to the front of the channel vectors.

ORVANE_TARGET_SSSE3 inline __m128i shuf3(__m128i b, __m128i g, __m128i r, const ShuffleMasks& m,
                                         int q) {
    const auto* mm = reinterpret_cast<const __m128i*>(m.m[q][0]);
    return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(b, _mm_load_si128(mm + 0)),
                                     _mm_shuffle_epi8(g, _mm_load_si128(mm + 1))),
                        _mm_shuffle_epi8(r, _mm_load_si128(mm + 2)));
}

// Floor average of unsigned bytes: avg rounds up, so take back the lost low bit.
inline __m128i floorAvg8(__m128i a, __m128i b) {
    return _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
}
inline __m128i floorAvg16(__m128i a, __m128i b) {
    return _mm_sub_epi16(_mm_avg_epu16(a, b),
                         _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi16(1)));
}
inline __m128i loadu(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

// Samples of column parity `odd` of 16 bytes as eight 16-bit lanes.
inline __m128i sites8(__m128i v, int odd) {
    return odd ? _mm_srli_epi16(v, 8) : _mm_and_si128(v, _mm_set1_epi16(0x00FF));
}

// 8-bit colour for 16 output pixels from x0 (even): W = 3 V[near] + V[far], then
// (W k) >> 11 via mulhi with k << 5, saturated to 255 by the pack.
ORVANE_TARGET_SSSE3 inline __m128i colour8(const uint8_t* nearRow, const uint8_t* farRow, int x0,
                                           int col, __m128i k32) {
    // V at columns x0 + 2j + col (a) and x0 + 2j + col - 2 (am).
    auto v = [&](int off) {
        const __m128i n = sites8(loadu(nearRow + x0 + off), col);
        const __m128i f = sites8(loadu(farRow + x0 + off), col);
        return _mm_add_epi16(_mm_add_epi16(n, _mm_add_epi16(n, n)), f);
    };
    const __m128i a = v(0);
    const __m128i am = v(-2);
    __m128i even, odd;
    if (col == 0) {
        const __m128i ap = v(2);
        // even x is the site itself (far column x - 2); odd x has its site at x - 1.
        even = _mm_add_epi16(_mm_add_epi16(a, _mm_add_epi16(a, a)), am);
        odd = _mm_add_epi16(_mm_add_epi16(a, _mm_add_epi16(a, a)), ap);
    } else {
        // even x has its site at x - 1 (far x + 1); odd x is the site (far x - 2).
        even = _mm_add_epi16(_mm_add_epi16(am, _mm_add_epi16(am, am)), a);
        odd = _mm_add_epi16(_mm_add_epi16(a, _mm_add_epi16(a, a)), am);
    }
    even = _mm_mulhi_epu16(even, k32);
    odd = _mm_mulhi_epu16(odd, k32);
    return _mm_packus_epi16(_mm_unpacklo_epi16(even, odd), _mm_unpackhi_epi16(even, odd));
}

inline __m128i green8(const RowPlan& p, int x0) {
    const __m128i ga = floorAvg8(loadu(p.up + x0 - 1), loadu(p.lo + x0));  // up x-1, low x
    const __m128i gb = floorAvg8(loadu(p.up + x0), loadu(p.lo + x0 - 1));  // up x, low x-1
    const __m128i even = _mm_set1_epi16(0x00FF);
    // Pixel x uses ga when column x - 1 of row y - 1 is green.
    return p.greenUpCol == 1 ? _mm_or_si128(_mm_and_si128(ga, even), _mm_andnot_si128(even, gb))
                             : _mm_or_si128(_mm_and_si128(gb, even), _mm_andnot_si128(even, ga));
}

// Returns the first column not done.
ORVANE_TARGET_SSSE3 int interiorRow8Ssse3(const Job& j, int y, int x0, int x1) {
    const RowPlan p = planRow(*j.raw, j.mode, y);
    const __m128i kr = _mm_set1_epi16(static_cast<int16_t>(j.kRed << 5));
    const __m128i kb = _mm_set1_epi16(static_cast<int16_t>(j.kBlue << 5));
    uint8_t* orow = j.out->row(y);
    const int w = j.raw->width;
    const bool four = j.out->bytesPerPixel == 4;
    int x = x0;
    for (; x + 18 <= w && x + 16 <= x1; x += 16) {
        const __m128i r = colour8(p.redNear, p.redFar, x, p.redCol, kr);
        const __m128i b = colour8(p.blueNear, p.blueFar, x, p.blueCol, kb);
        const __m128i g = green8(p, x);
        if (!four) {
            auto* d = reinterpret_cast<__m128i*>(orow + static_cast<ptrdiff_t>(x) * 3);
            _mm_storeu_si128(d + 0, shuf3(b, g, r, kMask8x3, 0));
            _mm_storeu_si128(d + 1, shuf3(b, g, r, kMask8x3, 1));
            _mm_storeu_si128(d + 2, shuf3(b, g, r, kMask8x3, 2));
        } else {
            auto* d = reinterpret_cast<__m128i*>(orow + static_cast<ptrdiff_t>(x) * 4);
            const __m128i keep = _mm_set1_epi32(static_cast<int>(0xFF000000u));
            for (int q = 0; q < 4; ++q) {
                // Chunk q holds pixels 4q..4q+3: move them to the front of each vector.
                const __m128i sh = _mm_set1_epi8(static_cast<char>(4 * q));
                const __m128i bq = _mm_shuffle_epi8(
                    b, _mm_add_epi8(_mm_setr_epi8(0, 1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0),
                                    sh));
                const __m128i gq = _mm_shuffle_epi8(
                    g, _mm_add_epi8(_mm_setr_epi8(0, 1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0),
                                    sh));
                const __m128i rq = _mm_shuffle_epi8(
                    r, _mm_add_epi8(_mm_setr_epi8(0, 1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0),
                                    sh));
                const __m128i px = shuf3(bq, gq, rq, kMask8x4, 0);
                const __m128i old = _mm_and_si128(_mm_loadu_si128(d + q), keep);
                _mm_storeu_si128(d + q, _mm_or_si128(px, old));
            }
        }
    }
    return x;
}

// The same with 256-bit vectors: 32 output pixels per step. The pack steps work per 128-bit
// half, and the halves come out in pixel order (pixels 0-15 low, 16-31 high), so the
// interleave runs on each half as above.
ORVANE_TARGET_AVX2 inline __m256i loadu256(const void* p) {
    return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}
ORVANE_TARGET_AVX2 inline __m256i sites8x2(__m256i v, int odd) {
    return odd ? _mm256_srli_epi16(v, 8) : _mm256_and_si256(v, _mm256_set1_epi16(0x00FF));
}
ORVANE_TARGET_AVX2 inline __m256i times3(__m256i v) {
    return _mm256_add_epi16(v, _mm256_add_epi16(v, v));
}
ORVANE_TARGET_AVX2 inline __m256i vsum8x2(const uint8_t* nearRow, const uint8_t* farRow, int x,
                                          int col) {
    // V = 3 N + F on the colour's columns
    return _mm256_add_epi16(times3(sites8x2(loadu256(nearRow + x), col)),
                            sites8x2(loadu256(farRow + x), col));
}
ORVANE_TARGET_AVX2 inline __m256i colour8x2(const uint8_t* nearRow, const uint8_t* farRow, int x0,
                                            int col, __m256i k32) {
    const __m256i a = vsum8x2(nearRow, farRow, x0, col);
    const __m256i am = vsum8x2(nearRow, farRow, x0 - 2, col);
    __m256i even, odd;
    if (col == 0) {
        const __m256i ap = vsum8x2(nearRow, farRow, x0 + 2, col);
        even = _mm256_add_epi16(times3(a), am);
        odd = _mm256_add_epi16(times3(a), ap);
    } else {
        even = _mm256_add_epi16(times3(am), a);
        odd = _mm256_add_epi16(times3(a), am);
    }
    even = _mm256_mulhi_epu16(even, k32);
    odd = _mm256_mulhi_epu16(odd, k32);
    return _mm256_packus_epi16(_mm256_unpacklo_epi16(even, odd), _mm256_unpackhi_epi16(even, odd));
}
ORVANE_TARGET_AVX2 inline __m256i floorAvg8x2(__m256i a, __m256i b) {
    return _mm256_sub_epi8(_mm256_avg_epu8(a, b),
                           _mm256_and_si256(_mm256_xor_si256(a, b), _mm256_set1_epi8(1)));
}

ORVANE_TARGET_AVX2 int interiorRow8Avx2(const Job& j, int y, int x0, int x1) {
    const RowPlan p = planRow(*j.raw, j.mode, y);
    const __m256i kr = _mm256_set1_epi16(static_cast<int16_t>(j.kRed << 5));
    const __m256i kb = _mm256_set1_epi16(static_cast<int16_t>(j.kBlue << 5));
    const __m256i evenLanes = _mm256_set1_epi16(0x00FF);
    uint8_t* orow = j.out->row(y);
    const int w = j.raw->width;
    const bool four = j.out->bytesPerPixel == 4;
    int x = x0;
    for (; x + 34 <= w && x + 32 <= x1; x += 32) {
        const __m256i r = colour8x2(p.redNear, p.redFar, x, p.redCol, kr);
        const __m256i b = colour8x2(p.blueNear, p.blueFar, x, p.blueCol, kb);
        const __m256i ga = floorAvg8x2(loadu256(p.up + x - 1), loadu256(p.lo + x));
        const __m256i gb = floorAvg8x2(loadu256(p.up + x), loadu256(p.lo + x - 1));
        const __m256i g = p.greenUpCol == 1 ? _mm256_blendv_epi8(gb, ga, evenLanes)
                                            : _mm256_blendv_epi8(ga, gb, evenLanes);
        for (int h = 0; h < 2; ++h) {
            const __m128i rh = h ? _mm256_extracti128_si256(r, 1) : _mm256_castsi256_si128(r);
            const __m128i gh = h ? _mm256_extracti128_si256(g, 1) : _mm256_castsi256_si128(g);
            const __m128i bh = h ? _mm256_extracti128_si256(b, 1) : _mm256_castsi256_si128(b);
            const int px = x + 16 * h;
            if (!four) {
                auto* d = reinterpret_cast<__m128i*>(orow + static_cast<ptrdiff_t>(px) * 3);
                _mm_storeu_si128(d + 0, shuf3(bh, gh, rh, kMask8x3, 0));
                _mm_storeu_si128(d + 1, shuf3(bh, gh, rh, kMask8x3, 1));
                _mm_storeu_si128(d + 2, shuf3(bh, gh, rh, kMask8x3, 2));
            } else {
                // 16 pixels of four bytes: interleave with unpacks, keep the fourth byte.
                auto* d = reinterpret_cast<__m128i*>(orow + static_cast<ptrdiff_t>(px) * 4);
                const __m128i bg0 = _mm_unpacklo_epi8(bh, gh), bg1 = _mm_unpackhi_epi8(bh, gh);
                const __m128i r0 = _mm_unpacklo_epi8(rh, _mm_setzero_si128());
                const __m128i r1 = _mm_unpackhi_epi8(rh, _mm_setzero_si128());
                const __m128i px4[4] = {_mm_unpacklo_epi16(bg0, r0), _mm_unpackhi_epi16(bg0, r0),
                                        _mm_unpacklo_epi16(bg1, r1), _mm_unpackhi_epi16(bg1, r1)};
                const __m128i keep = _mm_set1_epi32(static_cast<int>(0xFF000000u));
                for (int q = 0; q < 4; ++q)
                    _mm_storeu_si128(
                        d + q, _mm_or_si128(px4[q], _mm_and_si128(_mm_loadu_si128(d + q), keep)));
            }
        }
    }
    return x;
}

// 16-bit: 32-bit lanes, 8 output pixels per step.
inline __m128i sites16(__m128i v, int odd) {
    return odd ? _mm_srli_epi32(v, 16) : _mm_and_si128(v, _mm_set1_epi32(0xFFFF));
}

ORVANE_TARGET_SSE41 inline __m128i colour16(const uint16_t* nearRow, const uint16_t* farRow, int x0,
                                            int col, __m128i k) {
    auto v = [&](int off) {
        const __m128i n =
            sites16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(nearRow + x0 + off)), col);
        const __m128i f =
            sites16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(farRow + x0 + off)), col);
        return _mm_add_epi32(_mm_add_epi32(n, _mm_add_epi32(n, n)), f);
    };
    const __m128i a = v(0);
    const __m128i am = v(-2);
    __m128i even, odd;
    if (col == 0) {
        const __m128i ap = v(2);
        even = _mm_add_epi32(_mm_add_epi32(a, _mm_add_epi32(a, a)), am);
        odd = _mm_add_epi32(_mm_add_epi32(a, _mm_add_epi32(a, a)), ap);
    } else {
        even = _mm_add_epi32(_mm_add_epi32(am, _mm_add_epi32(am, am)), a);
        odd = _mm_add_epi32(_mm_add_epi32(a, _mm_add_epi32(a, a)), am);
    }
    // (W k) >> 11 fits in 31 bits; the signed pack saturates at 65535 as the rule asks.
    even = _mm_srli_epi32(_mm_mullo_epi32(even, k), 11);
    odd = _mm_srli_epi32(_mm_mullo_epi32(odd, k), 11);
    return _mm_packus_epi32(_mm_unpacklo_epi32(even, odd), _mm_unpackhi_epi32(even, odd));
}

ORVANE_TARGET_SSE41 int interiorRow16Sse41(const Job& j, int y, int x0, int x1) {
    const RowPlan p = planRow(*j.raw, j.mode, y);
    auto s16 = [](const uint8_t* r) { return reinterpret_cast<const uint16_t*>(r); };
    const __m128i kr = _mm_set1_epi32(j.kRed);
    const __m128i kb = _mm_set1_epi32(j.kBlue);
    const __m128i even = _mm_set1_epi32(0xFFFF);
    uint8_t* orow = j.out->row(y);
    const int w = j.raw->width;
    const bool four = j.out->bytesPerPixel == 8;
    const uint16_t* up = s16(p.up);
    const uint16_t* lo = s16(p.lo);
    int x = x0;
    for (; x + 10 <= w && x + 8 <= x1; x += 8) {
        const __m128i r = colour16(s16(p.redNear), s16(p.redFar), x, p.redCol, kr);
        const __m128i b = colour16(s16(p.blueNear), s16(p.blueFar), x, p.blueCol, kb);
        const __m128i ga = floorAvg16(loadu(up + x - 1), loadu(lo + x));
        const __m128i gb = floorAvg16(loadu(up + x), loadu(lo + x - 1));
        const __m128i g = p.greenUpCol == 1
                              ? _mm_or_si128(_mm_and_si128(ga, even), _mm_andnot_si128(even, gb))
                              : _mm_or_si128(_mm_and_si128(gb, even), _mm_andnot_si128(even, ga));
        if (!four) {
            auto* d = reinterpret_cast<__m128i*>(orow + static_cast<ptrdiff_t>(x) * 6);
            _mm_storeu_si128(d + 0, shuf3(b, g, r, kMask16x3, 0));
            _mm_storeu_si128(d + 1, shuf3(b, g, r, kMask16x3, 1));
            _mm_storeu_si128(d + 2, shuf3(b, g, r, kMask16x3, 2));
        } else {
            auto* d = reinterpret_cast<__m128i*>(orow + static_cast<ptrdiff_t>(x) * 8);
            const __m128i keep = _mm_set1_epi64x(static_cast<int64_t>(0xFFFF000000000000ull));
            for (int q = 0; q < 4; ++q) {
                // Chunk q holds pixels 2q, 2q + 1: move them to the front of each vector.
                const __m128i sh = _mm_set1_epi8(static_cast<char>(4 * q));
                const __m128i front =
                    _mm_add_epi8(_mm_setr_epi8(0, 1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), sh);
                const __m128i px = shuf3(_mm_shuffle_epi8(b, front), _mm_shuffle_epi8(g, front),
                                         _mm_shuffle_epi8(r, front), kMask16x4, 0);
                const __m128i old = _mm_and_si128(_mm_loadu_si128(d + q), keep);
                _mm_storeu_si128(d + q, _mm_or_si128(px, old));
            }
        }
    }
    return x;
}

// 16-bit with 256-bit vectors: 16 output pixels per step. As in the 8-bit case the packs
// work per 128-bit half and leave the pixels in order (0-7 low, 8-15 high).
ORVANE_TARGET_AVX2 inline __m256i sites16x2(__m256i v, int odd) {
    return odd ? _mm256_srli_epi32(v, 16) : _mm256_and_si256(v, _mm256_set1_epi32(0xFFFF));
}
ORVANE_TARGET_AVX2 inline __m256i times3x32(__m256i v) {
    return _mm256_add_epi32(v, _mm256_add_epi32(v, v));
}
ORVANE_TARGET_AVX2 inline __m256i vsum16x2(const uint16_t* nearRow, const uint16_t* farRow, int x,
                                           int col) {
    // V = 3 N + F on the colour's columns
    return _mm256_add_epi32(times3x32(sites16x2(loadu256(nearRow + x), col)),
                            sites16x2(loadu256(farRow + x), col));
}
ORVANE_TARGET_AVX2 inline __m256i colour16x2(const uint16_t* nearRow, const uint16_t* farRow,
                                             int x0, int col, __m256i k) {
    const __m256i a = vsum16x2(nearRow, farRow, x0, col);
    const __m256i am = vsum16x2(nearRow, farRow, x0 - 2, col);
    __m256i even, odd;
    if (col == 0) {
        const __m256i ap = vsum16x2(nearRow, farRow, x0 + 2, col);
        even = _mm256_add_epi32(times3x32(a), am);
        odd = _mm256_add_epi32(times3x32(a), ap);
    } else {
        even = _mm256_add_epi32(times3x32(am), a);
        odd = _mm256_add_epi32(times3x32(a), am);
    }
    // (W k) >> 11, saturated at 65535 by the signed pack.
    even = _mm256_srli_epi32(_mm256_mullo_epi32(even, k), 11);
    odd = _mm256_srli_epi32(_mm256_mullo_epi32(odd, k), 11);
    return _mm256_packus_epi32(_mm256_unpacklo_epi32(even, odd), _mm256_unpackhi_epi32(even, odd));
}
ORVANE_TARGET_AVX2 inline __m256i floorAvg16x2(__m256i a, __m256i b) {
    return _mm256_sub_epi16(_mm256_avg_epu16(a, b),
                            _mm256_and_si256(_mm256_xor_si256(a, b), _mm256_set1_epi16(1)));
}

ORVANE_TARGET_AVX2 int interiorRow16Avx2(const Job& j, int y, int x0, int x1) {
    const RowPlan p = planRow(*j.raw, j.mode, y);
    auto s16 = [](const uint8_t* r) { return reinterpret_cast<const uint16_t*>(r); };
    const __m256i kr = _mm256_set1_epi32(j.kRed);
    const __m256i kb = _mm256_set1_epi32(j.kBlue);
    const __m256i evenLanes = _mm256_set1_epi32(0xFFFF);
    uint8_t* orow = j.out->row(y);
    const int w = j.raw->width;
    const bool four = j.out->bytesPerPixel == 8;
    const uint16_t* up = s16(p.up);
    const uint16_t* lo = s16(p.lo);
    int x = x0;
    for (; x + 18 <= w && x + 16 <= x1; x += 16) {
        const __m256i r = colour16x2(s16(p.redNear), s16(p.redFar), x, p.redCol, kr);
        const __m256i b = colour16x2(s16(p.blueNear), s16(p.blueFar), x, p.blueCol, kb);
        const __m256i ga = floorAvg16x2(loadu256(up + x - 1), loadu256(lo + x));
        const __m256i gb = floorAvg16x2(loadu256(up + x), loadu256(lo + x - 1));
        const __m256i g = p.greenUpCol == 1 ? _mm256_blendv_epi8(gb, ga, evenLanes)
                                            : _mm256_blendv_epi8(ga, gb, evenLanes);
        for (int h = 0; h < 2; ++h) {
            const __m128i rh = h ? _mm256_extracti128_si256(r, 1) : _mm256_castsi256_si128(r);
            const __m128i gh = h ? _mm256_extracti128_si256(g, 1) : _mm256_castsi256_si128(g);
            const __m128i bh = h ? _mm256_extracti128_si256(b, 1) : _mm256_castsi256_si128(b);
            const int px = x + 8 * h;
            if (!four) {
                auto* d = reinterpret_cast<__m128i*>(orow + static_cast<ptrdiff_t>(px) * 6);
                _mm_storeu_si128(d + 0, shuf3(bh, gh, rh, kMask16x3, 0));
                _mm_storeu_si128(d + 1, shuf3(bh, gh, rh, kMask16x3, 1));
                _mm_storeu_si128(d + 2, shuf3(bh, gh, rh, kMask16x3, 2));
            } else {
                // 8 pixels of four samples: interleave with unpacks, keep the fourth sample.
                auto* d = reinterpret_cast<__m128i*>(orow + static_cast<ptrdiff_t>(px) * 8);
                const __m128i bg0 = _mm_unpacklo_epi16(bh, gh), bg1 = _mm_unpackhi_epi16(bh, gh);
                const __m128i r0 = _mm_unpacklo_epi16(rh, _mm_setzero_si128());
                const __m128i r1 = _mm_unpackhi_epi16(rh, _mm_setzero_si128());
                const __m128i px4[4] = {_mm_unpacklo_epi32(bg0, r0), _mm_unpackhi_epi32(bg0, r0),
                                        _mm_unpacklo_epi32(bg1, r1), _mm_unpackhi_epi32(bg1, r1)};
                const __m128i keep = _mm_set1_epi64x(static_cast<int64_t>(0xFFFF000000000000ull));
                for (int q = 0; q < 4; ++q)
                    _mm_storeu_si128(
                        d + q, _mm_or_si128(px4[q], _mm_and_si128(_mm_loadu_si128(d + q), keep)));
            }
        }
    }
    return x;
}

template <class T>
void interiorRows(const Job& j, int y0, int y1) {
    const int w = j.raw->width;
    for (int y = y0; y < y1; ++y) {
        int x = 2;
        if constexpr (sizeof(T) == 1) {
            if (pathAllowsAvx2(j.path)) x = interiorRow8Avx2(j, y, 2, w - 2);
            if (pathAllowsSsse3(j.path)) x = interiorRow8Ssse3(j, y, x, w - 2);
        } else {
            if (pathAllowsAvx2(j.path)) x = interiorRow16Avx2(j, y, 2, w - 2);
            if (pathAllowsSse41(j.path)) x = interiorRow16Sse41(j, y, x, w - 2);
        }
        interiorSpanScalar<T>(j, y, x, w - 2);
    }
}

template <class T>
void borderPass(const Job& j) {
    const int w = j.raw->width, h = j.raw->height;
    for (int y : {0, 1, h - 2, h - 1}) borderSpan<T>(j, y, 0, w);
    for (int y = 2; y < h - 2; ++y) {
        borderSpan<T>(j, y, 0, 2);
        borderSpan<T>(j, y, w - 2, w);
    }
}

}  // namespace

BayerColour bayerColourAt(int bayerMode, int x, int y) {
    return kBayer[bayerMode & 3][y & 1][x & 1];
}

int bayerGainFactor(int gain) {
    gain = std::clamp(gain, 0, 400);
    return static_cast<int>(gain * 1.28);
}

bool demosaic(const ImageView& raw, const ImageView& out, const DemosaicParams& params,
              platform::WorkerPool* pool, VectorPath path) {
    if (raw.empty() || out.empty() || raw.width != out.width || raw.height != out.height)
        return false;
    if (params.bayerMode < 0 || params.bayerMode > 3 || raw.width < 4 || raw.height < 4)
        return false;
    const bool eight = raw.bytesPerPixel == 1 && (out.bytesPerPixel == 3 || out.bytesPerPixel == 4);
    const bool sixteen =
        raw.bytesPerPixel == 2 && (out.bytesPerPixel == 6 || out.bytesPerPixel == 8);
    if (!eight && !sixteen) return false;
    const Job j{&raw,
                &out,
                params.bayerMode,
                bayerGainFactor(params.gainRed),
                bayerGainFactor(params.gainBlue),
                path};
    if (eight) {
        platform::forBands(pool, 2, raw.height - 2, 2,
                           [&](int b, int e) { interiorRows<uint8_t>(j, b, e); });
        borderPass<uint8_t>(j);
    } else {
        platform::forBands(pool, 2, raw.height - 2, 2,
                           [&](int b, int e) { interiorRows<uint16_t>(j, b, e); });
        borderPass<uint16_t>(j);
    }
    return true;
}

namespace {
struct Sums {
    uint64_t sum[3] = {};
    uint64_t count[3] = {};
};

template <class T>
void sumRows(const ImageView& raw, int mode, int y0, int y1, Sums& s) {
    for (int y = y0; y < y1; ++y) {
        const T* r = reinterpret_cast<const T*>(raw.row(y));
        uint64_t even = 0, odd = 0;
        int x = 0;
        for (; x + 1 < raw.width; x += 2) {
            even += r[x];
            odd += r[x + 1];
        }
        if (x < raw.width) even += r[x];
        const auto ce = static_cast<int>(kBayer[mode][y & 1][0]);
        const auto co = static_cast<int>(kBayer[mode][y & 1][1]);
        s.sum[ce] += even;
        s.count[ce] += static_cast<uint64_t>((raw.width + 1) / 2);
        s.sum[co] += odd;
        s.count[co] += static_cast<uint64_t>(raw.width / 2);
    }
}

int balanceGain(double s, double mean, double t) {
    const double g = s / mean / 3.0 * 100.0 / t;
    if (std::isnan(g)) return 100;
    if (!(g < 400.0)) return 400;
    return static_cast<int>(g);
}
}  // namespace

WhiteBalanceGains measureWhiteBalance(const ImageView& raw, int bayerMode,
                                      platform::WorkerPool* pool) {
    WhiteBalanceGains g;
    if (raw.empty() || bayerMode < 0 || bayerMode > 3) return g;
    Sums parts[2];
    auto work = [&](Sums& s, int b, int e) {
        if (raw.bytesPerPixel == 2)
            sumRows<uint16_t>(raw, bayerMode, b, e, s);
        else
            sumRows<uint8_t>(raw, bayerMode, b, e, s);
    };
    if (pool != nullptr && pool->threadCount() >= 2 && raw.height >= 64) {
        // Two bands, each with its own sums (the pool runs at most its thread count).
        const int mid = raw.height / 2;
        pool->parallelFor(0, 2, 1, [&](int b, int e) {
            for (int i = b; i < e; ++i) work(parts[i], i == 0 ? 0 : mid, i == 0 ? mid : raw.height);
        });
    } else {
        work(parts[0], 0, raw.height);
    }
    Sums s;
    for (const Sums& p : parts)
        for (int c = 0; c < 3; ++c) {
            s.sum[c] += p.sum[c];
            s.count[c] += p.count[c];
        }
    auto mean = [&](int c) {
        return s.count[c] ? static_cast<double>(s.sum[c]) / static_cast<double>(s.count[c]) : 0.0;
    };
    const double mR = mean(0), mG = mean(1), mB = mean(2);
    const double sum = mG + mR + mB;
    const double t = sum / mG / 3.0;
    g.red = balanceGain(sum, mR, t);
    g.blue = balanceGain(sum, mB, t);
    g.green = 100;
    return g;
}

namespace detail {
ColourOffsets colourOffsets(int bayerMode, int y, ptrdiff_t strideSamples) {
    const RowOffsets o = rowOffsets<uint8_t>(bayerMode & 3, y, strideSamples);
    ColourOffsets c{};
    std::copy(&o.red[0][0], &o.red[0][0] + 8, &c.red[0][0]);
    std::copy(&o.blue[0][0], &o.blue[0][0] + 8, &c.blue[0][0]);
    std::copy(&o.green[0][0], &o.green[0][0] + 4, &c.green[0][0]);
    return c;
}
}  // namespace detail

}  // namespace orvane::imaging
