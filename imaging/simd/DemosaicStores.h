// Row plan and pixel stores shared by every vector form of the demosaic interior
// (DemosaicInterior.h). Needs the job and site helpers of Demosaic.cpp declared first.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "imaging/SimdSupport.h"

namespace orvane::imaging {
namespace {

// Per output row the rule separates into a vertical and a horizontal step: for a colour
// whose near row is N and far row F, V[c] = 3 N[c] + F[c] on that colour's columns, and
// W[x] = 3 V[near column] + V[far column]. Green is the floor average of the two block greens.
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

// Byte-shuffle masks that interleave three channel vectors of 16 bytes into 48 bytes of
// three-sample pixels; elem is the sample size in bytes.
struct ShuffleMasks {
    alignas(16) int8_t m[3][3][16];  // [output chunk][channel][byte]
};
constexpr ShuffleMasks makeMasks(int elem) {
    ShuffleMasks s{};
    for (int q = 0; q < 3; ++q)
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < 16; ++i) {
                const int e = (16 * q + i) / elem;
                const int pix = e / 3, ch = e % 3;
                s.m[q][c][i] =
                    static_cast<int8_t>(ch == c ? (pix % (16 / elem)) * elem + i % elem : -128);
            }
    return s;
}
constexpr ShuffleMasks kMask8 = makeMasks(1);
constexpr ShuffleMasks kMask16 = makeMasks(2);

ORVANE_TARGET_SSE41 inline void storeShuffled(uint8_t* dst, __m128i b, __m128i g, __m128i r,
                                              const ShuffleMasks& m) {
    auto* d = reinterpret_cast<__m128i*>(dst);
    for (int q = 0; q < 3; ++q) {
        const auto* mm = reinterpret_cast<const __m128i*>(m.m[q][0]);
        const __m128i px = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(b, _mm_load_si128(mm + 0)),
                                                     _mm_shuffle_epi8(g, _mm_load_si128(mm + 1))),
                                        _mm_shuffle_epi8(r, _mm_load_si128(mm + 2)));
        _mm_storeu_si128(d + q, px);
    }
}

// 16 / sizeof(T) blue, green and red samples as pixels of three samples.
template <class T>
ORVANE_TARGET_SSE41 inline void store3(uint8_t* dst, __m128i b, __m128i g, __m128i r) {
    storeShuffled(dst, b, g, r, sizeof(T) == 1 ? kMask8 : kMask16);
}

// Interleaving unpack of lanes of `bytes` bytes: the low or the high halves of a and b.
template <int bytes, bool high>
ORVANE_TARGET_SSE41 inline __m128i unpack(__m128i a, __m128i b) {
    if constexpr (bytes == 1)
        return high ? _mm_unpackhi_epi8(a, b) : _mm_unpacklo_epi8(a, b);
    else if constexpr (bytes == 2)
        return high ? _mm_unpackhi_epi16(a, b) : _mm_unpacklo_epi16(a, b);
    else
        return high ? _mm_unpackhi_epi32(a, b) : _mm_unpacklo_epi32(a, b);
}

// Four-sample pixels: interleave with unpacks; the destination keeps its fourth sample.
ORVANE_TARGET_SSE41 inline void keepFourth(uint8_t* dst, const __m128i (&px)[4], __m128i keep) {
    auto* d = reinterpret_cast<__m128i*>(dst);
    for (int q = 0; q < 4; ++q)
        _mm_storeu_si128(d + q, _mm_or_si128(px[q], _mm_and_si128(_mm_loadu_si128(d + q), keep)));
}
// 16 / sizeof(T) pixels of four samples.
template <class T>
ORVANE_TARGET_SSE41 inline void store4(uint8_t* dst, __m128i b, __m128i g, __m128i r) {
    constexpr int e = sizeof(T);
    const __m128i zero = _mm_setzero_si128();
    const __m128i bg0 = unpack<e, false>(b, g), bg1 = unpack<e, true>(b, g);
    const __m128i r0 = unpack<e, false>(r, zero), r1 = unpack<e, true>(r, zero);
    const __m128i px[4] = {unpack<2 * e, false>(bg0, r0), unpack<2 * e, true>(bg0, r0),
                           unpack<2 * e, false>(bg1, r1), unpack<2 * e, true>(bg1, r1)};
    // The fourth sample is the top one of each pixel.
    const __m128i keep = e == 1 ? _mm_set1_epi32(static_cast<int>(0xFF000000u))
                                : _mm_set1_epi64x(static_cast<int64_t>(0xFFFF000000000000ull));
    keepFourth(dst, px, keep);
}

}  // namespace
}  // namespace orvane::imaging
