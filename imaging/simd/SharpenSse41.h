// SSE4.1 forms of the sharpening row kernels (Sharpness.cpp): the running vertical box sum
// and one output row. Compiled for that instruction set by target attributes and chosen at
// run time; each returns the samples it did, the scalar loop finishes the row.
#pragma once

#include "imaging/SimdSupport.h"

#if ORVANE_X86
#include <immintrin.h>

#include <cstdint>

namespace orvane::imaging {
namespace {

// Lambdas do not take on a function's target attribute, hence a function for the loads.
template <class S>
ORVANE_TARGET_SSE41 inline __m128i loadSums128(const S* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// v[i] += add[i] - sub[i] over [0, n), 8-bit rows into 16-bit sums.
ORVANE_TARGET_SSE41 inline int boxSumStep8Sse41(uint16_t* v, const uint8_t* add, const uint8_t* sub,
                                                int n) {
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m128i a =
            _mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(add + i)));
        const __m128i s =
            _mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(sub + i)));
        auto* p = reinterpret_cast<__m128i*>(v + i);
        _mm_storeu_si128(p, _mm_sub_epi16(_mm_add_epi16(_mm_loadu_si128(p), a), s));
    }
    return i;
}

// The same for 16-bit rows into 32-bit sums.
ORVANE_TARGET_SSE41 inline int boxSumStep16Sse41(uint32_t* v, const uint16_t* add,
                                                 const uint16_t* sub, int n) {
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i a =
            _mm_cvtepu16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(add + i)));
        const __m128i s =
            _mm_cvtepu16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(sub + i)));
        auto* p = reinterpret_cast<__m128i*>(v + i);
        _mm_storeu_si128(p, _mm_sub_epi32(_mm_add_epi32(_mm_loadu_si128(p), a), s));
    }
    return i;
}

// Output samples [i0, i0 + n) of one 8-bit row, 8 at a time, from the vertical sums v and
// the original row:
//   blur = (v[i - 2c] + v[i - c] + v[i] + v[i + c]) >> 4
//   r = orig + trunc(k (orig - blur) / 10), limited to 0 ... 255
// |k (orig - blur)| <= 7650, and for such x, |x| / 10 == (|x| x 6554) >> 16 exactly (the
// error of 6554 / 65536 against 1 / 10 stays below 1 / 20 there), so the division is a
// high multiply on the magnitude with the sign put back; the saturating pack is the limit.
ORVANE_TARGET_SSE41 inline int sharpenRow8Sse41(uint8_t* out, const uint8_t* orig,
                                                const uint16_t* v, int c, int i0, int n, int k) {
    const __m128i kk = _mm_set1_epi16(static_cast<int16_t>(k));
    const __m128i tenth = _mm_set1_epi16(6554);
    int j = 0;
    for (; j + 8 <= n; j += 8) {
        const int i = i0 + j;
        const __m128i blur = _mm_srli_epi16(
            _mm_add_epi16(_mm_add_epi16(loadSums128(v + i - 2 * c), loadSums128(v + i - c)),
                          _mm_add_epi16(loadSums128(v + i), loadSums128(v + i + c))),
            4);
        const __m128i o =
            _mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(orig + i)));
        const __m128i x = _mm_mullo_epi16(kk, _mm_sub_epi16(o, blur));
        const __m128i q = _mm_sign_epi16(_mm_mulhi_epu16(_mm_abs_epi16(x), tenth), x);
        const __m128i r = _mm_add_epi16(o, q);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(r, r));
    }
    return j;
}

// Output samples [i0, i0 + n) of one 16-bit row, 4 at a time (same formula, limit 65535).
// |k (orig - blur)| <= 30 x 65535 < 2^24 is exact in single precision, and its quotient by
// 10, correctly rounded, never crosses an integer (a non-integral quotient is at least 0.1
// away from one, far above the rounding error), so truncating the float quotient is the
// integer division; the saturating pack is the limit.
ORVANE_TARGET_SSE41 inline int sharpenRow16Sse41(uint16_t* out, const uint16_t* orig,
                                                 const uint32_t* v, int c, int i0, int n, int k) {
    const __m128i kk = _mm_set1_epi32(k);
    const __m128 ten = _mm_set1_ps(10.0f);
    int j = 0;
    for (; j + 4 <= n; j += 4) {
        const int i = i0 + j;
        const __m128i blur = _mm_srli_epi32(
            _mm_add_epi32(_mm_add_epi32(loadSums128(v + i - 2 * c), loadSums128(v + i - c)),
                          _mm_add_epi32(loadSums128(v + i), loadSums128(v + i + c))),
            4);
        const __m128i o =
            _mm_cvtepu16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(orig + i)));
        const __m128i x = _mm_mullo_epi32(kk, _mm_sub_epi32(o, blur));
        const __m128i q = _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(x), ten));
        const __m128i r = _mm_add_epi32(o, q);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi32(r, r));
    }
    return j;
}

}  // namespace
}  // namespace orvane::imaging
#endif
