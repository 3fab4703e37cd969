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

// 8-bit, 16 positions per step on 16-bit lanes:
//   m = (r[x-2] + r[x+2] + up2[x] + dn2[x]) >> 2, flag = (v - m >= t)
inline uint64_t quickMask8(const uint8_t* r, const uint8_t* up2, const uint8_t* dn2, int x0, int n,
                           int t) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i limit = _mm_set1_epi16(static_cast<int16_t>(t - 1));
    auto ld = [](const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    uint64_t mask = 0;
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        const int x = x0 + i;
        const __m128i a = ld(r + x - 2), b = ld(r + x + 2), c = ld(up2 + x), d = ld(dn2 + x),
                      v = ld(r + x);
        auto half = [&](auto unpack) {
            const __m128i sum = _mm_add_epi16(_mm_add_epi16(unpack(a, zero), unpack(b, zero)),
                                              _mm_add_epi16(unpack(c, zero), unpack(d, zero)));
            return _mm_cmpgt_epi16(_mm_sub_epi16(unpack(v, zero), _mm_srli_epi16(sum, 2)), limit);
        };
        const __m128i lo = half([](__m128i p, __m128i q) { return _mm_unpacklo_epi8(p, q); });
        const __m128i hi = half([](__m128i p, __m128i q) { return _mm_unpackhi_epi8(p, q); });
        const auto bits = static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(lo, hi)));
        mask |= uint64_t{bits} << i;
    }
    return mask | quickMaskScalar<uint8_t>(r, up2, dn2, x0, i, n, t);
}

// 16-bit, 8 positions per step. The mean is taken without overflow as the sum of the
// quarters plus the quarter of the sum of the remainders, which is the same integer.
inline uint64_t quickMask16(const uint16_t* r, const uint16_t* up2, const uint16_t* dn2, int x0,
                            int n, int t) {
    const __m128i three = _mm_set1_epi16(3);
    const __m128i below = _mm_set1_epi16(static_cast<int16_t>(t - 1));
    auto ld = [](const uint16_t* p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    };
    uint64_t mask = 0;
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const int x = x0 + i;
        const __m128i a = ld(r + x - 2), b = ld(r + x + 2), c = ld(up2 + x), d = ld(dn2 + x),
                      v = ld(r + x);
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
        mask |= uint64_t{~bits & 0xFFu} << i;
    }
    return mask | quickMaskScalar<uint16_t>(r, up2, dn2, x0, i, n, t);
}

}  // namespace
}  // namespace orvane::imaging
#endif
