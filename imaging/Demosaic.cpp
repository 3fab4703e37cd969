#include "imaging/Demosaic.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "imaging/SimdSupport.h"
#include "platform/WorkerPool.h"

namespace orvane::imaging {

namespace {

// [mode][row parity][column parity]
constexpr BayerColour kR = BayerColour::Red, kG = BayerColour::Green, kB = BayerColour::Blue;
constexpr BayerColour kBayer[4][2][2] = {
    {{kG, kB}, {kR, kG}},
    {{kR, kG}, {kG, kB}},
    {{kB, kG}, {kG, kR}},
    {{kG, kR}, {kB, kG}},
};

// Column and row parity of one colour's sites.
struct Site {
    int x;
    int y;
};
Site siteOf(int mode, BayerColour c) {
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            if (kBayer[mode][y][x] == c) return {x, y};
    return {0, 0};
}

// ---------------------------------------------------------------------------------------
// Generic colour rule with substitution maps: rows[i] is the raw row used for row offset
// i - 2 (i = 0..3 for -2, -1, 0, +1) and cols[i] the raw column for column offset i - 2.
// Parities come from the logical position, which the substitution (by four) preserves.
template <class T>
struct Rgb {
    uint32_t r, g, b;  // unsaturated W x k >> 11 for red and blue
};

template <class T>
inline uint32_t sampleAt(const T* const rows[4], const int cols[4], int dx, int dy) {
    return rows[dy + 2][cols[dx + 2]];
}

template <class T>
Rgb<T> colourRule(const T* const rows[4], const int cols[4], int x, int y, int mode, int kRed,
                  int kBlue) {
    int rbx = 0, rby = 0, bbx = 0, bby = 0, g[2][2] = {}, ng = 0;
    for (int dy = -1; dy <= 0; ++dy)
        for (int dx = -1; dx <= 0; ++dx) {
            const BayerColour c = kBayer[mode][(y + dy) & 1][(x + dx) & 1];
            if (c == kR) {
                rbx = dx;
                rby = dy;
            } else if (c == kB) {
                bbx = dx;
                bby = dy;
            } else if (ng < 2) {
                g[ng][0] = dx;
                g[ng][1] = dy;
                ++ng;
            }
        }
    auto weighted = [&](int bx, int by) {
        const int fx = bx == -1 ? 1 : -2;
        const int fy = by == -1 ? 1 : -2;
        return 9 * sampleAt(rows, cols, bx, by) + 3 * sampleAt(rows, cols, fx, by) +
               3 * sampleAt(rows, cols, bx, fy) + sampleAt(rows, cols, fx, fy);
    };
    Rgb<T> out;
    out.g = (sampleAt(rows, cols, g[0][0], g[0][1]) + sampleAt(rows, cols, g[1][0], g[1][1])) >> 1;
    out.r = (weighted(rbx, rby) * static_cast<uint32_t>(kRed)) >> 11;
    out.b = (weighted(bbx, bby) * static_cast<uint32_t>(kBlue)) >> 11;
    return out;
}

template <class T>
inline void storePixel(uint8_t* d, uint32_t r, uint32_t g, uint32_t b) {
    constexpr uint32_t kMax = sizeof(T) == 1 ? 255u : 65535u;
    T* p = reinterpret_cast<T*>(d);
    p[0] = static_cast<T>(std::min(b, kMax));
    p[1] = static_cast<T>(g);
    p[2] = static_cast<T>(std::min(r, kMax));
}

// Raw row used for row offset dy at output row y: outside samples are replaced by the
// same-colour samples four rows further in.
inline int mapIndex(int i, int d, int n) {
    int j = i + d;
    if (i == 0 && (d == -1 || d == -2)) j += 4;
    if (i == 1 && d == -2) j += 4;
    if (i == n - 1 && d == 1) j -= 4;
    return j;
}

struct Job {
    const ImageView* raw;
    const ImageView* out;
    int mode;
    int kRed;
    int kBlue;
    VectorPath path;
};

// Border pass for one output row over columns [x0, x1) with per-pixel column maps.
template <class T>
void borderSpan(const Job& j, int y, int x0, int x1) {
    const ImageView& raw = *j.raw;
    const T* rows[4];
    for (int i = 0; i < 4; ++i)
        rows[i] = reinterpret_cast<const T*>(raw.row(mapIndex(y, i - 2, raw.height)));
    const int obpp = j.out->bytesPerPixel;
    uint8_t* orow = j.out->row(y);
    for (int x = x0; x < x1; ++x) {
        int cols[4];
        for (int i = 0; i < 4; ++i) cols[i] = mapIndex(x, i - 2, raw.width);
        const Rgb<T> c = colourRule<T>(rows, cols, x, y, j.mode, j.kRed, j.kBlue);
        storePixel<T>(orow + static_cast<ptrdiff_t>(x) * obpp, c.r, c.g, c.b);
    }
}

// Per-row offsets of the interior rule, for output pixels of column parity p.
struct RowOffsets {
    // Red and blue: near sample, far column, far row, diagonal; green: the two block sites.
    ptrdiff_t red[2][4];
    ptrdiff_t blue[2][4];
    ptrdiff_t green[2][2];
};

template <class T>
RowOffsets rowOffsets(int mode, int y, ptrdiff_t strideSamples) {
    RowOffsets o{};
    for (int p = 0; p < 2; ++p) {
        int ng = 0;
        for (int dy = -1; dy <= 0; ++dy)
            for (int dx = -1; dx <= 0; ++dx) {
                const BayerColour c = kBayer[mode][(y + dy) & 1][(p + dx) & 1];
                const int fx = dx == -1 ? 1 : -2;
                const int fy = dy == -1 ? 1 : -2;
                ptrdiff_t* dst = c == kR ? o.red[p] : c == kB ? o.blue[p] : nullptr;
                if (dst != nullptr) {
                    dst[0] = dy * strideSamples + dx;
                    dst[1] = dy * strideSamples + fx;
                    dst[2] = fy * strideSamples + dx;
                    dst[3] = fy * strideSamples + fx;
                } else if (ng < 2) {
                    o.green[p][ng++] = dy * strideSamples + dx;
                }
            }
    }
    return o;
}

// Interior rule, scalar: output row y, columns [x0, x1).
template <class T>
void interiorSpanScalar(const Job& j, int y, int x0, int x1) {
    const ptrdiff_t ss = j.raw->stride / static_cast<ptrdiff_t>(sizeof(T));
    const RowOffsets o = rowOffsets<T>(j.mode, y, ss);
    const T* src = reinterpret_cast<const T*>(j.raw->row(y));
    const int obpp = j.out->bytesPerPixel;
    uint8_t* orow = j.out->row(y);
    const uint32_t kr = static_cast<uint32_t>(j.kRed), kb = static_cast<uint32_t>(j.kBlue);
    for (int x = x0; x < x1; ++x) {
        const int p = x & 1;
        const T* s = src + x;
        // W = 9 s + 3 (row neighbour + column neighbour) + diagonal; value = (W k) >> 11.
        const uint32_t wr =
            9u * s[o.red[p][0]] + 3u * (s[o.red[p][1]] + s[o.red[p][2]]) + s[o.red[p][3]];
        const uint32_t wb =
            9u * s[o.blue[p][0]] + 3u * (s[o.blue[p][1]] + s[o.blue[p][2]]) + s[o.blue[p][3]];
        const uint32_t g = (static_cast<uint32_t>(s[o.green[p][0]]) + s[o.green[p][1]]) >> 1;
        storePixel<T>(orow + static_cast<ptrdiff_t>(x) * obpp, (wr * kr) >> 11, g, (wb * kb) >> 11);
    }
}

}  // namespace
}  // namespace orvane::imaging

// The vector forms of interiorSpanScalar: one body, compiled once per instruction set.
#include "imaging/simd/DemosaicStores.h"
#include "imaging/simd/VectorOps.h"

namespace orvane::imaging {
namespace {

#define ORVANE_WIDTH_KERNELS "imaging/simd/DemosaicInterior.h"
#include "imaging/simd/ForEachWidth.h"

template <class T>
void interiorRows(const Job& j, int y0, int y1) {
    const int w = j.raw->width;
    for (int y = y0; y < y1; ++y) {
        int x = 2;
        if (pathAllowsAvx2(j.path)) x = avx2::interiorRow<T>(j, y, 2, w - 2);
        if (pathAllowsSse41(j.path)) x = sse41::interiorRow<T>(j, y, x, w - 2);
        interiorSpanScalar<T>(j, y, x, w - 2);
    }
}

template <class T>
void borderPass(const Job& j) {
    const int w = j.raw->width, h = j.raw->height;
    for (int y : {0, 1, h - 2, h - 1}) borderSpan<T>(j, y, 0, w);
    for (int y = 2; y < h - 2; ++y) {
        borderSpan<T>(j, y, 0, 2);
        borderSpan<T>(j, y, w - 2, w);
    }
}

}  // namespace

BayerColour bayerColourAt(int bayerMode, int x, int y) {
    return kBayer[bayerMode & 3][y & 1][x & 1];
}

int bayerGainFactor(int gain) {
    gain = std::clamp(gain, 0, 400);
    return static_cast<int>(gain * 1.28);
}

bool demosaic(const ImageView& raw, const ImageView& out, const DemosaicParams& params,
              platform::WorkerPool* pool, VectorPath path) {
    if (raw.empty() || out.empty() || raw.width != out.width || raw.height != out.height)
        return false;
    if (params.bayerMode < 0 || params.bayerMode > 3 || raw.width < 4 || raw.height < 4)
        return false;
    const bool eight = raw.bytesPerPixel == 1 && (out.bytesPerPixel == 3 || out.bytesPerPixel == 4);
    const bool sixteen =
        raw.bytesPerPixel == 2 && (out.bytesPerPixel == 6 || out.bytesPerPixel == 8);
    if (!eight && !sixteen) return false;
    const Job j{&raw,
                &out,
                params.bayerMode,
                bayerGainFactor(params.gainRed),
                bayerGainFactor(params.gainBlue),
                path};
    if (eight) {
        platform::forBands(pool, 2, raw.height - 2, 2,
                           [&](int b, int e) { interiorRows<uint8_t>(j, b, e); });
        borderPass<uint8_t>(j);
    } else {
        platform::forBands(pool, 2, raw.height - 2, 2,
                           [&](int b, int e) { interiorRows<uint16_t>(j, b, e); });
        borderPass<uint16_t>(j);
    }
    return true;
}

namespace detail {
ColourOffsets colourOffsets(int bayerMode, int y, ptrdiff_t strideSamples) {
    const RowOffsets o = rowOffsets<uint8_t>(bayerMode & 3, y, strideSamples);
    ColourOffsets c{};
    std::copy(&o.red[0][0], &o.red[0][0] + 8, &c.red[0][0]);
    std::copy(&o.blue[0][0], &o.blue[0][0] + 8, &c.blue[0][0]);
    std::copy(&o.green[0][0], &o.green[0][0] + 4, &c.green[0][0]);
    return c;
}
}  // namespace detail

}  // namespace orvane::imaging
