// SSE2 forms of the hot-pixel quick test (quickMaskScalar in HotPixels.cpp, which must be
// declared before this header is included). Inline, so that they are compiled into the row
// loop as before; SSE2 is part of every x86-64 target, so no target attribute is needed.
#pragma once

#include "imaging/SimdSupport.h"

#if ORVANE_X86
#include <immintrin.h>

#include <cstdint>

namespace orvane::imaging {
namespace {

// The walk shared by both sample sizes: per step of 16 bytes, the row's samples two to the
// left (a) and right (b), two rows up (c) and down (d), and the samples themselves (v) go to
// stepBits, which returns a flag bit per position; the scalar test finishes the span.
template <class T, class StepBits>
inline uint64_t quickMaskSteps(const T* r, const T* up2, const T* dn2, int x0, int n, int t,
                               StepBits stepBits) {
    constexpr int kStep = 16 / sizeof(T);
    auto ld = [](const T* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    uint64_t mask = 0;
    int i = 0;
    for (; i + kStep <= n; i += kStep) {
        const int x = x0 + i;
        const uint32_t bits =
            stepBits(ld(r + x - 2), ld(r + x + 2), ld(up2 + x), ld(dn2 + x), ld(r + x));
        mask |= uint64_t{bits} << i;
    }
    return mask | quickMaskScalar<T>(r, up2, dn2, x0, i, n, t);
}

// 8-bit, 16 positions per step on 16-bit lanes:
//   m = (r[x-2] + r[x+2] + up2[x] + dn2[x]) >> 2, flag = (v - m >= t)
inline uint64_t quickMask8(const uint8_t* r, const uint8_t* up2, const uint8_t* dn2, int x0, int n,
                           int t) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i limit = _mm_set1_epi16(static_cast<int16_t>(t - 1));
    return quickMaskSteps(
        r, up2, dn2, x0, n, t, [&](__m128i a, __m128i b, __m128i c, __m128i d, __m128i v) {
            auto half = [&](auto unpack) {
                const __m128i sum = _mm_add_epi16(_mm_add_epi16(unpack(a, zero), unpack(b, zero)),
                                                  _mm_add_epi16(unpack(c, zero), unpack(d, zero)));
                return _mm_cmpgt_epi16(_mm_sub_epi16(unpack(v, zero), _mm_srli_epi16(sum, 2)),
                                       limit);
            };
            const __m128i lo = half([](__m128i p, __m128i q) { return _mm_unpacklo_epi8(p, q); });
            const __m128i hi = half([](__m128i p, __m128i q) { return _mm_unpackhi_epi8(p, q); });
            return static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(lo, hi)));
        });
}

// 16-bit, 8 positions per step. The mean is taken without overflow as the sum of the
// quarters plus the quarter of the sum of the remainders, which is the same integer.
inline uint64_t quickMask16(const uint16_t* r, const uint16_t* up2, const uint16_t* dn2, int x0,
                            int n, int t) {
    const __m128i three = _mm_set1_epi16(3);
    const __m128i below = _mm_set1_epi16(static_cast<int16_t>(t - 1));
    return quickMaskSteps(
        r, up2, dn2, x0, n, t, [&](__m128i a, __m128i b, __m128i c, __m128i d, __m128i v) {
            const __m128i quarters =
                _mm_add_epi16(_mm_add_epi16(_mm_srli_epi16(a, 2), _mm_srli_epi16(b, 2)),
                              _mm_add_epi16(_mm_srli_epi16(c, 2), _mm_srli_epi16(d, 2)));
            const __m128i rest =
                _mm_add_epi16(_mm_add_epi16(_mm_and_si128(a, three), _mm_and_si128(b, three)),
                              _mm_add_epi16(_mm_and_si128(c, three), _mm_and_si128(d, three)));
            const __m128i m = _mm_add_epi16(quarters, _mm_srli_epi16(rest, 2));
            const __m128i diff = _mm_or_si128(_mm_subs_epu16(v, m), _mm_subs_epu16(m, v));
            // diff >= t  <=>  diff - (t - 1) saturates to something non-zero
            const __m128i hit = _mm_cmpeq_epi16(_mm_subs_epu16(diff, below), _mm_setzero_si128());
            const auto bits =
                static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(hit, hit))) & 0xFFu;
            return ~bits & 0xFFu;
        });
}

}  // namespace
}  // namespace orvane::imaging
#endif
