// AVX-512 VBMI form of hueSatPixel (HueSaturation.cpp, whose tables must be declared before
// this header is included); compiled for that instruction set by target attributes and
// chosen at run time.
//
// Thirty-two pixels per step on 16-bit lanes: every intermediate of the pixel formula fits in
// 16 bits (samples and chroma at most 255, their sum at most 510, the rotated amplitude times
// the ramp position at most 255 x 254). The two places that need more are rewritten exactly:
//   S[C] = ((s + 256) 256 C + 0x8000) >> 16 = ((128 C) (s + 256) + 0x4000) >> 15, a rounding
//          high multiply, valid while 0 <= s + 256 < 32768 (otherwise the caller falls back);
//   (l R[C] + 0x8000) >> 16 with the 24-bit reciprocal R = 65536 Rhi + Rlo (Rhi = R >> 16)
//          = l Rhi + ((l Rlo) >> 16) + (((l Rlo) & 0xFFFF) >> 15), since 65536 l Rhi is a
//          multiple of 65536; l Rhi <= 255 because l <= C.
// Rhi and the two bytes of Rlo are looked up with byte permutes over four registers each.
// Pixels are split into channels and joined again with byte permutes; the last, partial step
// of a row uses masked loads and stores, so nothing past the row is touched.
#pragma once

#include "imaging/SimdSupport.h"

#if ORVANE_X86
#include <immintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace orvane::imaging {
namespace {

// GCC 12 flags the undefined pass-through operand inside its own AVX-512 intrinsic headers
// (the 256-bit insert and extract) as maybe-uninitialised; it is never read.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// The step's constants as plain bytes, made once per image by code compiled without AVX-512:
// a 64-byte vector type kept on such a caller's stack is not reliably aligned there (one
// build's aligned store into it faulted), so the caller holds only bytes and each row loads
// them into HueRegsVbmi with unaligned loads.
struct HueLanesVbmi {
    uint8_t recipHi[256];      // Rhi by chroma
    uint8_t recipLoByte[256];  // low byte of Rlo
    uint8_t recipHiByte[256];  // high byte of Rlo
    int16_t satFactor;         // s + 256
    int16_t shiftMod;          // a mod 255
    int16_t shiftDiv;          // a / 255
    int bpp;                   // pixel size the permutes below are for, 3 or 4
    uint8_t take[4][64];       // channel i of 32 pixels into the low bytes of 16-bit lanes
    uint8_t join[2][64];       // lanes back into output bytes [0, 64) and [64, 128)
};

// HueLanesVbmi in registers, made inside the vector code.
struct HueRegsVbmi {
    __m512i recipHi[4];      // Rhi by chroma, one byte per entry
    __m512i recipLoByte[4];  // low byte of Rlo
    __m512i recipHiByte[4];  // high byte of Rlo
    __m512i satFactor;       // s + 256, 16-bit lanes
    __m512i shiftMod;        // a mod 255
    __m512i shiftDiv;        // a / 255
    int bpp;                 // pixel size the permutes below are for, 3 or 4
    __m512i take[4];         // channel i of 32 pixels into the low bytes of 16-bit lanes
    __m512i join[2];         // lanes back into output bytes [0, 64) and [64, 128)
};

// The vector path takes saturations whose table the rounding high multiply reproduces.
inline bool vbmiHueSaturationFits(int saturation) {
    return saturation + 256 >= 0 && saturation + 256 < 32768;
}

// Byte permute index that gathers channel `ch` of pixels of `bpp` bytes into the low bytes
// of 16-bit lanes (odd bytes are masked off by the caller).
inline void channelIndex(int bpp, int ch, uint8_t idx[64]) {
    std::fill(idx, idx + 64, uint8_t{0});
    for (int i = 0; i < 32; ++i) idx[2 * i] = static_cast<uint8_t>(bpp * i + ch);
}

// Byte permute index that joins 16-bit lanes lo (channels 0 and 1 as bytes, from the first
// table register) and hi (channels 2 and 3) into output bytes [64 part, 64 part + 64) of
// pixels of `bpp` bytes.
inline void joinIndex(int bpp, int part, uint8_t idx[64]) {
    for (int j = 0; j < 64; ++j) {
        const int byte = 64 * part + j;
        const int i = byte / bpp, ch = byte % bpp;
        idx[j] = static_cast<uint8_t>(ch < 2 ? 2 * i + ch : 64 + 2 * i + ch - 2);
    }
}

// Constants for pixels of bpp (3 or 4) bytes; recip is the scalar form's reciprocal table.
inline HueLanesVbmi makeHueLanesVbmi(int saturation, int shift, int bpp, const int32_t* recip) {
    HueLanesVbmi k{};
    for (int c = 0; c < 256; ++c) {
        const uint32_t r = static_cast<uint32_t>(recip[c]);
        k.recipHi[c] = static_cast<uint8_t>(r >> 16);
        k.recipLoByte[c] = static_cast<uint8_t>(r);
        k.recipHiByte[c] = static_cast<uint8_t>(r >> 8);
    }
    k.satFactor = static_cast<int16_t>(saturation + 256);
    k.shiftMod = static_cast<int16_t>(shift % 255);
    k.shiftDiv = static_cast<int16_t>(shift / 255);
    k.bpp = bpp;
    for (int ch = 0; ch < 4; ++ch) channelIndex(bpp, ch, k.take[ch]);
    for (int part = 0; part < 2; ++part) joinIndex(bpp, part, k.join[part]);
    return k;
}

ORVANE_TARGET_VBMI inline HueRegsVbmi loadHueRegs(const HueLanesVbmi& l) {
    HueRegsVbmi k;
    for (int i = 0; i < 4; ++i) {
        k.recipHi[i] = _mm512_loadu_si512(l.recipHi + 64 * i);
        k.recipLoByte[i] = _mm512_loadu_si512(l.recipLoByte + 64 * i);
        k.recipHiByte[i] = _mm512_loadu_si512(l.recipHiByte + 64 * i);
        k.take[i] = _mm512_loadu_si512(l.take[i]);
    }
    k.satFactor = _mm512_set1_epi16(l.satFactor);
    k.shiftMod = _mm512_set1_epi16(l.shiftMod);
    k.shiftDiv = _mm512_set1_epi16(l.shiftDiv);
    k.bpp = l.bpp;
    for (int part = 0; part < 2; ++part) k.join[part] = _mm512_loadu_si512(l.join[part]);
    return k;
}

// table[idx] per byte, the 256-entry table in four registers: each two-register permute
// covers 128 entries by the low seven bits, the top bit picks the half.
ORVANE_TARGET_VBMI inline __m512i lookup256(const __m512i* table, __m512i idx) {
    const __m512i lo = _mm512_permutex2var_epi8(table[0], idx, table[1]);
    const __m512i hi = _mm512_permutex2var_epi8(table[2], idx, table[3]);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(idx), lo, hi);
}

// One output channel: n, plus the amplitude where `full`, plus amp - step where `falling`,
// plus step where `rising`.
ORVANE_TARGET_VBMI inline __m512i vbmiChannel(__m512i n, __m512i amp, __m512i step,
                                              __m512i ampLessStep, __mmask32 full,
                                              __mmask32 falling, __mmask32 rising) {
    __m512i v = _mm512_mask_add_epi16(n, full, n, amp);
    v = _mm512_mask_add_epi16(v, falling, v, ampLessStep);
    return _mm512_mask_add_epi16(v, rising, v, step);
}

// hueSatPixel on 32 pixels, channels in the low bytes of 16-bit lanes; results replace them.
ORVANE_TARGET_VBMI inline void hueSatWords(const HueRegsVbmi& k, __m512i& r, __m512i& g,
                                           __m512i& b) {
    const __m512i zero = _mm512_setzero_si512();
    const __m512i one = _mm512_set1_epi16(1);
    const __m512i mx = _mm512_max_epu16(r, _mm512_max_epu16(g, b));
    const __m512i mn = _mm512_min_epu16(r, _mm512_min_epu16(g, b));
    const __m512i c = _mm512_sub_epi16(mx, mn);
    const __m512i t = _mm512_add_epi16(mx, mn);
    // blue largest: b > r and b > g; else red when r >= g; else green.
    const __mmask32 isBlue = _mm512_cmpgt_epu16_mask(b, r) & _mm512_cmpgt_epu16_mask(b, g);
    const __mmask32 isRed = ~(isBlue | _mm512_cmpgt_epu16_mask(g, r));
    __m512i sector = _mm512_mask_blend_epi16(isRed, _mm512_set1_epi16(3), one);
    sector = _mm512_mask_blend_epi16(isBlue, sector, _mm512_set1_epi16(5));
    __m512i l = _mm512_mask_blend_epi16(isRed, _mm512_sub_epi16(b, r), _mm512_sub_epi16(g, b));
    l = _mm512_mask_blend_epi16(isBlue, l, _mm512_sub_epi16(r, g));
    const __mmask32 neg = _mm512_cmplt_epi16_mask(l, zero);
    sector = _mm512_mask_sub_epi16(sector, neg, sector, one);
    l = _mm512_mask_add_epi16(l, neg, l, c);
    // C' = min(H[T], S[C]); n = (T - C') >> 1; A = ((T + C') >> 1) - n
    const __m512i head = _mm512_min_epi16(t, _mm512_sub_epi16(_mm512_set1_epi16(511), t));
    const __m512i sat = _mm512_mulhrs_epi16(_mm512_slli_epi16(c, 7), k.satFactor);
    const __m512i cNew = _mm512_min_epi16(head, sat);
    const __m512i n = _mm512_srli_epi16(_mm512_sub_epi16(t, cNew), 1);
    const __m512i amp = _mm512_sub_epi16(_mm512_srli_epi16(_mm512_add_epi16(t, cNew), 1), n);
    // The odd bytes of c are 0, and entry 0 of every table is 0, so each lookup lands in the
    // low byte of its lane (or, indexed by c << 8, in the high byte) with 0 beside it.
    const __m512i rhi = lookup256(k.recipHi, c);
    const __m512i rlo = _mm512_or_si512(lookup256(k.recipLoByte, c),
                                        lookup256(k.recipHiByte, _mm512_slli_epi16(c, 8)));
    const __m512i q =
        _mm512_add_epi16(_mm512_mullo_epi16(l, rhi),
                         _mm512_add_epi16(_mm512_mulhi_epu16(l, rlo),
                                          _mm512_srli_epi16(_mm512_mullo_epi16(l, rlo), 15)));
    __m512i p = _mm512_add_epi16(q, k.shiftMod);
    const __mmask32 over = _mm512_cmpgt_epi16_mask(p, _mm512_set1_epi16(254));
    // k = sector + a / 255 + (p > 254), taken mod 6 (it is below 12)
    __m512i sec = _mm512_add_epi16(sector, k.shiftDiv);
    sec = _mm512_mask_add_epi16(sec, over, sec, one);
    sec = _mm512_mask_sub_epi16(sec, _mm512_cmpgt_epi16_mask(sec, _mm512_set1_epi16(5)), sec,
                                _mm512_set1_epi16(6));
    p = _mm512_mask_sub_epi16(p, over, p, _mm512_set1_epi16(255));
    const __m512i step =
        _mm512_srli_epi16(_mm512_add_epi16(_mm512_mullo_epi16(amp, p), _mm512_set1_epi16(128)), 8);
    const __m512i ampLessStep = _mm512_sub_epi16(amp, step);
    // Per sector, on top of n: the channel at full amplitude, the one rising by the ramp
    // step and the one falling by it (the scalar form's mask and ramp tables, per channel).
    const __mmask32 chroma = _mm512_test_epi16_mask(c, c);
    __mmask32 e[6];
    for (int i = 0; i < 6; ++i)
        e[i] =
            _mm512_mask_cmpeq_epi16_mask(chroma, sec, _mm512_set1_epi16(static_cast<int16_t>(i)));
    r = vbmiChannel(n, amp, step, ampLessStep, e[0] | e[1], e[2], e[5]);
    g = vbmiChannel(n, amp, step, ampLessStep, e[2] | e[3], e[4], e[1]);
    b = vbmiChannel(n, amp, step, ampLessStep, e[4] | e[5], e[0], e[3]);
}

// Bits [0, n) set, n at most 64.
inline uint64_t lowBits(int n) {
    return n >= 64 ? ~uint64_t{0} : (uint64_t{1} << n) - 1;
}

// One step of 32 pixels of bpp bytes: in from bytes [0, 64) and [64, 128) of the pixels,
// out to the same.
template <int bpp>
ORVANE_TARGET_VBMI inline void hueSatStep(const HueRegsVbmi& k, __m512i v0, __m512i v1,
                                          __m512i& out0, __m512i& out1) {
    constexpr uint64_t kEvenBytes = 0x5555555555555555ull;
    __m512i b = _mm512_maskz_permutex2var_epi8(kEvenBytes, v0, k.take[0], v1);
    __m512i g = _mm512_maskz_permutex2var_epi8(kEvenBytes, v0, k.take[1], v1);
    __m512i r = _mm512_maskz_permutex2var_epi8(kEvenBytes, v0, k.take[2], v1);
    hueSatWords(k, r, g, b);
    const __m512i lo = _mm512_or_si512(b, _mm512_slli_epi16(g, 8));
    __m512i hi = r;
    if constexpr (bpp == 4) {
        // the fourth byte is kept as it was
        const __m512i a = _mm512_maskz_permutex2var_epi8(kEvenBytes, v0, k.take[3], v1);
        hi = _mm512_or_si512(r, _mm512_slli_epi16(a, 8));
    }
    out0 = _mm512_permutex2var_epi8(lo, k.join[0], hi);
    out1 = _mm512_permutex2var_epi8(lo, k.join[1], hi);
}

// The whole row of 3- or 4-byte pixels; returns width (the pixels done). Whole steps use
// plain loads and stores (masked stores are slow on some cores); the last, partial step is
// masked, so that nothing past the row is read or written.
template <int bpp>
ORVANE_TARGET_VBMI int hueSatRowVbmiOf(uint8_t* row, int width, const HueRegsVbmi& k) {
    int x = 0;
    __m512i out0, out1;
    for (; x + 32 <= width; x += 32) {
        uint8_t* p = row + static_cast<ptrdiff_t>(x) * bpp;
        const __m512i v0 = _mm512_loadu_si512(p);
        if constexpr (bpp == 3) {
            const __m512i v1 = _mm512_zextsi256_si512(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 64)));
            hueSatStep<bpp>(k, v0, v1, out0, out1);
            _mm512_storeu_si512(p, out0);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + 64), _mm512_castsi512_si256(out1));
        } else {
            hueSatStep<bpp>(k, v0, _mm512_loadu_si512(p + 64), out0, out1);
            _mm512_storeu_si512(p, out0);
            _mm512_storeu_si512(p + 64, out1);
        }
    }
    if (x < width) {
        uint8_t* p = row + static_cast<ptrdiff_t>(x) * bpp;
        const int bytes = (width - x) * bpp;
        const __mmask64 m0 = lowBits(bytes);
        const __mmask64 m1 = bytes > 64 ? lowBits(bytes - 64) : 0;
        hueSatStep<bpp>(k, _mm512_maskz_loadu_epi8(m0, p), _mm512_maskz_loadu_epi8(m1, p + 64),
                        out0, out1);
        _mm512_mask_storeu_epi8(p, m0, out0);
        if (m1 != 0) _mm512_mask_storeu_epi8(p + 64, m1, out1);
    }
    return width;
}

// The lanes must have been made for the row's pixel size.
ORVANE_TARGET_VBMI int hueSatRowVbmi(uint8_t* row, int width, const HueLanesVbmi& lanes) {
    const HueRegsVbmi k = loadHueRegs(lanes);
    return k.bpp == 3 ? hueSatRowVbmiOf<3>(row, width, k) : hueSatRowVbmiOf<4>(row, width, k);
}

// Rows of 16-bit pixels with three (n = 3) or four (n = 4) samples, through their high
// bytes: 32 pixels per step, the high bytes gathered into the 3- or 4-byte layout of the
// 8-bit step (lanes made for bpp = n) and spread back shifted left by 8; the fourth sample
// becomes 0. Returns the pixels done, a multiple of 32; the caller does the rest.
ORVANE_TARGET_VBMI int hueSatRow16Vbmi(uint16_t* row, int width, int n, const HueLanesVbmi& lanes) {
    const HueRegsVbmi k = loadHueRegs(lanes);
    uint8_t high[64], spread[64], spreadHi[64];
    for (int j = 0; j < 64; ++j) {
        high[j] = static_cast<uint8_t>(2 * j + 1);
        spread[j] = static_cast<uint8_t>(j >> 1);
        spreadHi[j] = static_cast<uint8_t>(32 + (j >> 1));
    }
    const __m512i takeHigh = _mm512_loadu_si512(high);
    const __m512i spreadLo = _mm512_loadu_si512(spread), spreadUp = _mm512_loadu_si512(spreadHi);
    // High bytes of every sample; of every sample but the fourth of four.
    const __mmask64 keep = n == 3 ? 0xAAAAAAAAAAAAAAAAull : 0x2A2A2A2A2A2A2A2Aull;
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        auto* p = reinterpret_cast<uint8_t*>(row + static_cast<ptrdiff_t>(x) * n);
        const __m512i v0 = _mm512_loadu_si512(p), v1 = _mm512_loadu_si512(p + 64);
        const __m512i v2 = _mm512_loadu_si512(p + 128);
        const __m512i h0 = _mm512_permutex2var_epi8(v0, takeHigh, v1);
        __m512i out0, out1;
        if (n == 3) {
            hueSatStep<3>(k, h0, _mm512_permutexvar_epi8(takeHigh, v2), out0, out1);
        } else {
            const __m512i v3 = _mm512_loadu_si512(p + 192);
            hueSatStep<4>(k, h0, _mm512_permutex2var_epi8(v2, takeHigh, v3), out0, out1);
            _mm512_storeu_si512(p + 192, _mm512_maskz_permutexvar_epi8(keep, spreadUp, out1));
        }
        _mm512_storeu_si512(p, _mm512_maskz_permutexvar_epi8(keep, spreadLo, out0));
        _mm512_storeu_si512(p + 64, _mm512_maskz_permutexvar_epi8(keep, spreadUp, out0));
        _mm512_storeu_si512(p + 128, _mm512_maskz_permutexvar_epi8(keep, spreadLo, out1));
    }
    return x;
}

#pragma GCC diagnostic pop

}  // namespace
}  // namespace orvane::imaging
#endif
