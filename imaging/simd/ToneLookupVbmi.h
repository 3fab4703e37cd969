// AVX-512 VBMI form of the 8-bit table lookup (lookupRun8 in ToneTables.cpp); compiled for
// that instruction set by its target attribute and chosen at run time.
#pragma once

#include "imaging/SimdSupport.h"

#if ORVANE_X86
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

namespace orvane::imaging {
namespace {

// 64 samples per step: out = table[v], the 256-entry table held in four registers. Each
// two-register permute looks up 128 entries by the low seven bits of v; the top bit of v
// picks which half's result is kept.
ORVANE_TARGET_VBMI inline void lookupRunVbmi(uint8_t* p, size_t n, const uint8_t* t) {
    const __m512i t0 = _mm512_loadu_si512(t), t1 = _mm512_loadu_si512(t + 64);
    const __m512i t2 = _mm512_loadu_si512(t + 128), t3 = _mm512_loadu_si512(t + 192);
    size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        const __m512i v = _mm512_loadu_si512(p + i);
        const __m512i lo = _mm512_permutex2var_epi8(t0, v, t1);
        const __m512i hi = _mm512_permutex2var_epi8(t2, v, t3);
        _mm512_storeu_si512(p + i, _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), lo, hi));
    }
    for (; i < n; ++i) p[i] = t[p[i]];
}

}  // namespace
}  // namespace orvane::imaging
#endif
