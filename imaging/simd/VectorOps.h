// Integer vector operations at two widths with one set of names, so that a kernel is written
// once and compiled per instruction set (see ForEachWidth.h). Vec128 needs SSE4.1, Vec256
// AVX2. The 256-bit packs and unpacks work within each 128-bit half, as the instructions do;
// kernels that interleave with them get their pixels in order per half.
//
// Most operations are the same intrinsic at both widths (_mm_add_epi16, _mm256_add_epi16), so
// they are listed once, in ORVANE_VEC_SHARED_OPS, and each width expands the list with its
// prefix. Only loads, stores and the bitwise operations, whose intrinsics are named after the
// register width, are written per width.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "imaging/SimdSupport.h"

#define ORVANE_VEC128 [[gnu::always_inline]] ORVANE_TARGET_SSE41 static inline
#define ORVANE_VEC256 [[gnu::always_inline]] ORVANE_TARGET_AVX2 static inline

// FN: the width's function attributes; P: its intrinsic prefix. Loads and stores of half a
// vector (loadHalf, storeLowQuads) come from the width.
// clang-format off
#define ORVANE_VEC_SHARED_OPS(FN, P)                                                          \
    FN R set8(int8_t v) { return P##set1_epi8(v); }                                           \
    FN R set16(int16_t v) { return P##set1_epi16(v); }                                        \
    FN R set32(int32_t v) { return P##set1_epi32(v); }                                        \
    /* a where the mask's bytes are set, b elsewhere */                                       \
    FN R select(R mask, R a, R b) { return P##blendv_epi8(b, a, mask); }                      \
    FN R add16(R a, R b) { return P##add_epi16(a, b); }                                       \
    FN R add32(R a, R b) { return P##add_epi32(a, b); }                                       \
    FN R sub8(R a, R b) { return P##sub_epi8(a, b); }                                         \
    FN R sub16(R a, R b) { return P##sub_epi16(a, b); }                                       \
    FN R sub32(R a, R b) { return P##sub_epi32(a, b); }                                       \
    FN R avgU8(R a, R b) { return P##avg_epu8(a, b); }                                        \
    FN R avgU16(R a, R b) { return P##avg_epu16(a, b); }                                      \
    template <int n> FN R srli16(R v) { return P##srli_epi16(v, n); }                         \
    template <int n> FN R srli32(R v) { return P##srli_epi32(v, n); }                         \
    FN R abs16(R v) { return P##abs_epi16(v); }                                               \
    /* a with the sign of b (zero where b is zero) */                                         \
    FN R sign16(R a, R b) { return P##sign_epi16(a, b); }                                     \
    FN R mulhiU16(R a, R b) { return P##mulhi_epu16(a, b); }                                  \
    FN R mullo16(R a, R b) { return P##mullo_epi16(a, b); }                                   \
    FN R mullo32(R a, R b) { return P##mullo_epi32(a, b); }                                   \
    /* trunc(x / d) per 32-bit lane, through single precision */                              \
    FN R truncDiv32(R x, float d) {                                                           \
        return P##cvttps_epi32(P##div_ps(P##cvtepi32_ps(x), P##set1_ps(d)));                  \
    }                                                                                         \
    FN R packusI16(R a, R b) { return P##packus_epi16(a, b); }                                \
    FN R packusI32(R a, R b) { return P##packus_epi32(a, b); }                                \
    FN R unpacklo16(R a, R b) { return P##unpacklo_epi16(a, b); }                             \
    FN R unpackhi16(R a, R b) { return P##unpackhi_epi16(a, b); }                             \
    FN R unpacklo32(R a, R b) { return P##unpacklo_epi32(a, b); }                             \
    FN R unpackhi32(R a, R b) { return P##unpackhi_epi32(a, b); }                             \
    /* kBytes / 2 bytes, each widened to a 16-bit lane; kBytes / 2 16-bit samples to 32 */    \
    FN R widenU8(const uint8_t* p) { return P##cvtepu8_epi16(loadHalf(p)); }                  \
    FN R widenU16(const uint16_t* p) { return P##cvtepu16_epi32(loadHalf(p)); }               \
    /* the 16-bit (32-bit) lanes of v as kBytes / 2 bytes (16-bit samples), saturated */      \
    FN void storeNarrowU8(void* p, R v) { storeLowQuads(p, P##packus_epi16(v, v)); }          \
    FN void storeNarrowU16(void* p, R v) { storeLowQuads(p, P##packus_epi32(v, v)); }      \
    /* by lane size in bytes, for kernels written once for two sample sizes */                \
    template <int lane> FN R add(R a, R b) { return lane == 2 ? add16(a, b) : add32(a, b); }  \
    template <int lane> FN R sub(R a, R b) { return lane == 2 ? sub16(a, b) : sub32(a, b); }
// clang-format on

namespace orvane::imaging {

struct Vec128 {
    using R = __m128i;
    static constexpr int kBytes = 16;
    static constexpr int kHalves = 1;  // 128-bit halves per vector

    ORVANE_VEC128 R loadu(const void* p) { return _mm_loadu_si128(static_cast<const R*>(p)); }
    ORVANE_VEC128 void storeu(void* p, R v) { _mm_storeu_si128(static_cast<R*>(p), v); }
    ORVANE_VEC128 __m128i loadHalf(const void* p) {
        return _mm_loadl_epi64(static_cast<const __m128i*>(p));
    }
    // The low quadword of each 128-bit half, in order.
    ORVANE_VEC128 void storeLowQuads(void* p, R v) { _mm_storel_epi64(static_cast<R*>(p), v); }
    ORVANE_VEC128 __m128i half(R v, int) { return v; }
    ORVANE_VEC128 R and_(R a, R b) { return _mm_and_si128(a, b); }
    ORVANE_VEC128 R xor_(R a, R b) { return _mm_xor_si128(a, b); }
    ORVANE_VEC_SHARED_OPS(ORVANE_VEC128, _mm_)
};

struct Vec256 {
    using R = __m256i;
    static constexpr int kBytes = 32;
    static constexpr int kHalves = 2;

    ORVANE_VEC256 R loadu(const void* p) { return _mm256_loadu_si256(static_cast<const R*>(p)); }
    ORVANE_VEC256 void storeu(void* p, R v) { _mm256_storeu_si256(static_cast<R*>(p), v); }
    ORVANE_VEC256 __m128i loadHalf(const void* p) {
        return _mm_loadu_si128(static_cast<const __m128i*>(p));
    }
    ORVANE_VEC256 void storeLowQuads(void* p, R v) {
        _mm_storeu_si128(static_cast<__m128i*>(p),
                         _mm256_castsi256_si128(_mm256_permute4x64_epi64(v, 0x08)));
    }
    ORVANE_VEC256 __m128i half(R v, int h) {
        return h ? _mm256_extracti128_si256(v, 1) : _mm256_castsi256_si128(v);
    }
    ORVANE_VEC256 R and_(R a, R b) { return _mm256_and_si256(a, b); }
    ORVANE_VEC256 R xor_(R a, R b) { return _mm256_xor_si256(a, b); }
    ORVANE_VEC_SHARED_OPS(ORVANE_VEC256, _mm256_)
};

}  // namespace orvane::imaging

#undef ORVANE_VEC_SHARED_OPS
#undef ORVANE_VEC128
#undef ORVANE_VEC256
