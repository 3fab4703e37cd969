// AVX-512 (F and BW) form of hueSatPixel (HueSaturation.cpp, whose tables must be declared
// before this header is included); compiled for that instruction set by target attributes
// and chosen at run time.
#pragma once

#include "imaging/SimdSupport.h"

#if ORVANE_X86
#include <immintrin.h>

#include <cstdint>

namespace orvane::imaging {
namespace {

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

}  // namespace
}  // namespace orvane::imaging
#endif
