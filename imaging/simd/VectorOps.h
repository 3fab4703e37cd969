// Integer vector operations at two widths with one set of names, so that a kernel is written
// once and compiled per instruction set (see DemosaicInterior.h). Vec128 needs SSE4.1, Vec256
// AVX2. The 256-bit packs and unpacks work within each 128-bit half, as the instructions do;
// kernels that interleave with them get their pixels in order per half.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "imaging/SimdSupport.h"

#define ORVANE_VEC128 [[gnu::always_inline]] ORVANE_TARGET_SSE41 static inline
#define ORVANE_VEC256 [[gnu::always_inline]] ORVANE_TARGET_AVX2 static inline

namespace orvane::imaging {

struct Vec128 {
    using R = __m128i;
    static constexpr int kBytes = 16;
    static constexpr int kHalves = 1;  // 128-bit halves per vector

    ORVANE_VEC128 R loadu(const void* p) { return _mm_loadu_si128(static_cast<const R*>(p)); }
    ORVANE_VEC128 __m128i half(R v, int) { return v; }
    ORVANE_VEC128 R set8(int8_t v) { return _mm_set1_epi8(v); }
    ORVANE_VEC128 R set16(int16_t v) { return _mm_set1_epi16(v); }
    ORVANE_VEC128 R set32(int32_t v) { return _mm_set1_epi32(v); }
    ORVANE_VEC128 R and_(R a, R b) { return _mm_and_si128(a, b); }
    ORVANE_VEC128 R xor_(R a, R b) { return _mm_xor_si128(a, b); }
    // a where the mask's bytes are set, b elsewhere
    ORVANE_VEC128 R select(R mask, R a, R b) { return _mm_blendv_epi8(b, a, mask); }
    ORVANE_VEC128 R add16(R a, R b) { return _mm_add_epi16(a, b); }
    ORVANE_VEC128 R add32(R a, R b) { return _mm_add_epi32(a, b); }
    ORVANE_VEC128 R sub8(R a, R b) { return _mm_sub_epi8(a, b); }
    ORVANE_VEC128 R sub16(R a, R b) { return _mm_sub_epi16(a, b); }
    ORVANE_VEC128 R avgU8(R a, R b) { return _mm_avg_epu8(a, b); }
    ORVANE_VEC128 R avgU16(R a, R b) { return _mm_avg_epu16(a, b); }
    template <int n>
    ORVANE_VEC128 R srli16(R v) {
        return _mm_srli_epi16(v, n);
    }
    template <int n>
    ORVANE_VEC128 R srli32(R v) {
        return _mm_srli_epi32(v, n);
    }
    ORVANE_VEC128 R mulhiU16(R a, R b) { return _mm_mulhi_epu16(a, b); }
    ORVANE_VEC128 R mullo32(R a, R b) { return _mm_mullo_epi32(a, b); }
    ORVANE_VEC128 R packusI16(R a, R b) { return _mm_packus_epi16(a, b); }
    ORVANE_VEC128 R packusI32(R a, R b) { return _mm_packus_epi32(a, b); }
    ORVANE_VEC128 R unpacklo16(R a, R b) { return _mm_unpacklo_epi16(a, b); }
    ORVANE_VEC128 R unpackhi16(R a, R b) { return _mm_unpackhi_epi16(a, b); }
    ORVANE_VEC128 R unpacklo32(R a, R b) { return _mm_unpacklo_epi32(a, b); }
    ORVANE_VEC128 R unpackhi32(R a, R b) { return _mm_unpackhi_epi32(a, b); }
};

struct Vec256 {
    using R = __m256i;
    static constexpr int kBytes = 32;
    static constexpr int kHalves = 2;

    ORVANE_VEC256 R loadu(const void* p) { return _mm256_loadu_si256(static_cast<const R*>(p)); }
    ORVANE_VEC256 __m128i half(R v, int h) {
        return h ? _mm256_extracti128_si256(v, 1) : _mm256_castsi256_si128(v);
    }
    ORVANE_VEC256 R set8(int8_t v) { return _mm256_set1_epi8(v); }
    ORVANE_VEC256 R set16(int16_t v) { return _mm256_set1_epi16(v); }
    ORVANE_VEC256 R set32(int32_t v) { return _mm256_set1_epi32(v); }
    ORVANE_VEC256 R and_(R a, R b) { return _mm256_and_si256(a, b); }
    ORVANE_VEC256 R xor_(R a, R b) { return _mm256_xor_si256(a, b); }
    ORVANE_VEC256 R select(R mask, R a, R b) { return _mm256_blendv_epi8(b, a, mask); }
    ORVANE_VEC256 R add16(R a, R b) { return _mm256_add_epi16(a, b); }
    ORVANE_VEC256 R add32(R a, R b) { return _mm256_add_epi32(a, b); }
    ORVANE_VEC256 R sub8(R a, R b) { return _mm256_sub_epi8(a, b); }
    ORVANE_VEC256 R sub16(R a, R b) { return _mm256_sub_epi16(a, b); }
    ORVANE_VEC256 R avgU8(R a, R b) { return _mm256_avg_epu8(a, b); }
    ORVANE_VEC256 R avgU16(R a, R b) { return _mm256_avg_epu16(a, b); }
    template <int n>
    ORVANE_VEC256 R srli16(R v) {
        return _mm256_srli_epi16(v, n);
    }
    template <int n>
    ORVANE_VEC256 R srli32(R v) {
        return _mm256_srli_epi32(v, n);
    }
    ORVANE_VEC256 R mulhiU16(R a, R b) { return _mm256_mulhi_epu16(a, b); }
    ORVANE_VEC256 R mullo32(R a, R b) { return _mm256_mullo_epi32(a, b); }
    ORVANE_VEC256 R packusI16(R a, R b) { return _mm256_packus_epi16(a, b); }
    ORVANE_VEC256 R packusI32(R a, R b) { return _mm256_packus_epi32(a, b); }
    ORVANE_VEC256 R unpacklo16(R a, R b) { return _mm256_unpacklo_epi16(a, b); }
    ORVANE_VEC256 R unpackhi16(R a, R b) { return _mm256_unpackhi_epi16(a, b); }
    ORVANE_VEC256 R unpacklo32(R a, R b) { return _mm256_unpacklo_epi32(a, b); }
    ORVANE_VEC256 R unpackhi32(R a, R b) { return _mm256_unpackhi_epi32(a, b); }
};

}  // namespace orvane::imaging

#undef ORVANE_VEC128
#undef ORVANE_VEC256
