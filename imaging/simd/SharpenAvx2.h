// AVX2 forms of the sharpening row kernels (Sharpness.cpp); the formulas and why the vector
// division is exact are given with the SSE4.1 forms (SharpenSse41.h). Each returns the
// samples it did, the scalar loop finishes the row.
#pragma once

#include "imaging/SimdSupport.h"

#if ORVANE_X86
#include <immintrin.h>

#include <cstdint>

namespace orvane::imaging {
namespace {

// Lambdas do not take on a function's target attribute, hence a function for the loads.
template <class S>
ORVANE_TARGET_AVX2 inline __m256i loadSums256(const S* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// v[i] += add[i] - sub[i] over [0, n).
ORVANE_TARGET_AVX2 inline int boxSumStep8Avx2(uint16_t* v, const uint8_t* add, const uint8_t* sub,
                                              int n) {
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m256i a =
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(add + i)));
        const __m256i s =
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sub + i)));
        auto* p = reinterpret_cast<__m256i*>(v + i);
        _mm256_storeu_si256(p, _mm256_sub_epi16(_mm256_add_epi16(_mm256_loadu_si256(p), a), s));
    }
    return i;
}

ORVANE_TARGET_AVX2 inline int boxSumStep16Avx2(uint32_t* v, const uint16_t* add,
                                               const uint16_t* sub, int n) {
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i a =
            _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(add + i)));
        const __m256i s =
            _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sub + i)));
        auto* p = reinterpret_cast<__m256i*>(v + i);
        _mm256_storeu_si256(p, _mm256_sub_epi32(_mm256_add_epi32(_mm256_loadu_si256(p), a), s));
    }
    return i;
}

// 16 samples a step:
//   blur = (v[i - 2c] + v[i - c] + v[i] + v[i + c]) >> 4
//   r = orig + trunc(k (orig - blur) / 10), limited to 0 ... 255
ORVANE_TARGET_AVX2 inline int sharpenRow8Avx2(uint8_t* out, const uint8_t* orig, const uint16_t* v,
                                              int c, int i0, int n, int k) {
    const __m256i kk = _mm256_set1_epi16(static_cast<int16_t>(k));
    const __m256i tenth = _mm256_set1_epi16(6554);
    int j = 0;
    for (; j + 16 <= n; j += 16) {
        const int i = i0 + j;
        const __m256i blur = _mm256_srli_epi16(
            _mm256_add_epi16(_mm256_add_epi16(loadSums256(v + i - 2 * c), loadSums256(v + i - c)),
                             _mm256_add_epi16(loadSums256(v + i), loadSums256(v + i + c))),
            4);
        const __m256i o =
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(orig + i)));
        const __m256i x = _mm256_mullo_epi16(kk, _mm256_sub_epi16(o, blur));
        const __m256i q = _mm256_sign_epi16(_mm256_mulhi_epu16(_mm256_abs_epi16(x), tenth), x);
        const __m256i r = _mm256_add_epi16(o, q);
        // The pack works per 128-bit half: take its low quadwords of both halves.
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(r, r), 0x08);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm256_castsi256_si128(packed));
    }
    return j;
}

// 8 samples a step, limit 65535.
ORVANE_TARGET_AVX2 inline int sharpenRow16Avx2(uint16_t* out, const uint16_t* orig,
                                               const uint32_t* v, int c, int i0, int n, int k) {
    const __m256i kk = _mm256_set1_epi32(k);
    const __m256 ten = _mm256_set1_ps(10.0f);
    int j = 0;
    for (; j + 8 <= n; j += 8) {
        const int i = i0 + j;
        const __m256i blur = _mm256_srli_epi32(
            _mm256_add_epi32(_mm256_add_epi32(loadSums256(v + i - 2 * c), loadSums256(v + i - c)),
                             _mm256_add_epi32(loadSums256(v + i), loadSums256(v + i + c))),
            4);
        const __m256i o =
            _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(orig + i)));
        const __m256i x = _mm256_mullo_epi32(kk, _mm256_sub_epi32(o, blur));
        const __m256i q = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(x), ten));
        const __m256i r = _mm256_add_epi32(o, q);
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(r, r), 0x08);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm256_castsi256_si128(packed));
    }
    return j;
}

}  // namespace
}  // namespace orvane::imaging
#endif
