// AVX2 form of hueSatPixel (HueSaturation.cpp, whose tables must be declared
// before this header is included); compiled for that instruction set by target attributes
// and chosen at run time.
#pragma once

#include "imaging/SimdSupport.h"

#if ORVANE_X86
#include <immintrin.h>

#include <cstdint>

namespace orvane::imaging {
namespace {

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

}  // namespace
}  // namespace orvane::imaging
#endif
