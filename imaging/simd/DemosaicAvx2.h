// AVX2 forms of the demosaic interior (interiorSpanScalar in Demosaic.cpp, whose
// job and site helpers must be declared before this header is included). Compiled for their
// instruction sets by target attributes and chosen at run time.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "imaging/SimdSupport.h"
// The row plan, shuffle masks and 128-bit helpers shared with the SSE forms.
#include "imaging/simd/DemosaicSse.h"

namespace orvane::imaging {
namespace {

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

}  // namespace
}  // namespace orvane::imaging
