// SSSE3 and SSE4.1 forms of the demosaic interior (interiorSpanScalar in Demosaic.cpp, whose
// job and site helpers must be declared before this header is included). Compiled for their
// instruction sets by target attributes and chosen at run time.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "imaging/SimdSupport.h"

namespace orvane::imaging {
namespace {

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

}  // namespace
}  // namespace orvane::imaging
