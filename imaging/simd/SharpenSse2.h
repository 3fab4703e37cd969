// SSE2 form of the 8-bit sharpening span (sharpenSpan in Sharpness.cpp). Inline, so that
// it is compiled into the span loop as before; SSE2 is part of every x86-64 target.
#pragma once

#include "imaging/SimdSupport.h"

#if ORVANE_X86
#include <immintrin.h>

#include <cstdint>

namespace orvane::imaging {
namespace {

// 8-bit samples, 16 at a time, from the vertical sums v (see sharpenSpan):
//   blur = (v[i] + v[i + bpp] + v[i + 2 bpp] + v[i + 3 bpp]) >> 4
//   r = orig + trunc(k (orig - blur) / 10), limited to 0 ... 255
// |k (orig - blur)| <= 7650, and for such x, |x| / 10 == (|x| x 6554) >> 16 exactly (the
// error of 6554 / 65536 against 1 / 10 stays below 1 / 20 there), so the division is a
// high multiply on the magnitude with the sign put back. Returns the samples done.
inline int sharpenSpan8Sse2(uint8_t* out, const uint8_t* s2, const int16_t* v, int bpp, int i0,
                            int n, int k) {
    const __m128i kk = _mm_set1_epi16(static_cast<int16_t>(k));
    const __m128i tenth = _mm_set1_epi16(6554);
    const __m128i zero = _mm_setzero_si128();
    auto half = [&](int i) {
        const __m128i sum = _mm_add_epi16(
            _mm_add_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v + i)),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + i + bpp))),
            _mm_add_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v + i + 2 * bpp)),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + i + 3 * bpp))));
        const __m128i blur = _mm_srli_epi16(sum, 4);
        const __m128i orig =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(s2 + i0 + i)), zero);
        const __m128i x = _mm_mullo_epi16(kk, _mm_sub_epi16(orig, blur));
        const __m128i sign = _mm_srai_epi16(x, 15);
        const __m128i mag = _mm_sub_epi16(_mm_xor_si128(x, sign), sign);
        const __m128i q = _mm_mulhi_epu16(mag, tenth);
        return _mm_add_epi16(orig, _mm_sub_epi16(_mm_xor_si128(q, sign), sign));
    };
    int i = 0;
    for (; i + 16 <= n; i += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i0 + i),
                         _mm_packus_epi16(half(i), half(i + 8)));
    return i;
}

}  // namespace
}  // namespace orvane::imaging
#endif
