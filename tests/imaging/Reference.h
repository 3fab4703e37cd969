// Plain per-pixel reference computations of the imaging routines, written from the formulas
// and kept deliberately simple (no tables shared with the library, no vector code).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <utility>
#include <vector>

#include "imaging/CDibImage.h"

namespace orvane::imaging::ref {

// A packed copy of an image's samples for the references: sample(x, y, c).
struct Plane {
    int w = 0, h = 0, ch = 1;
    std::vector<int> v;
    Plane() = default;
    Plane(int w_, int h_, int ch_) : w(w_), h(h_), ch(ch_), v(static_cast<size_t>(w_ * h_ * ch_)) {}
    int& at(int x, int y, int c = 0) { return v[static_cast<size_t>((y * w + x) * ch + c)]; }
    int at(int x, int y, int c = 0) const { return v[static_cast<size_t>((y * w + x) * ch + c)]; }
};

// Reads `ch` samples per pixel of `sampleBytes` bytes each from a view.
inline Plane read(const ImageView& img, int ch, int sampleBytes) {
    Plane p(img.width, img.height, ch);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x)
            for (int c = 0; c < ch; ++c) {
                const uint8_t* s = img.row(y) + x * img.bytesPerPixel + c * sampleBytes;
                p.at(x, y, c) = sampleBytes == 1 ? s[0] : (s[0] | (s[1] << 8));
            }
    return p;
}

inline void write(const Plane& p, const ImageView& img, int sampleBytes) {
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x)
            for (int c = 0; c < p.ch; ++c) {
                uint8_t* s = img.row(y) + x * img.bytesPerPixel + c * sampleBytes;
                s[0] = static_cast<uint8_t>(p.at(x, y, c));
                if (sampleBytes == 2) s[1] = static_cast<uint8_t>(p.at(x, y, c) >> 8);
            }
}

inline void fillRandom(const ImageView& img, std::mt19937& rng, int maxSample = -1) {
    std::uniform_int_distribution<int> byte(0, 255);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.stride; ++x) img.row(y)[x] = static_cast<uint8_t>(byte(rng));
    if (maxSample >= 0 &&
        (img.bytesPerPixel == 2 || img.bytesPerPixel == 6 || img.bytesPerPixel == 8)) {
        std::uniform_int_distribution<int> s(0, maxSample);
        for (int y = 0; y < img.height; ++y) {
            auto* r = reinterpret_cast<uint16_t*>(img.row(y));
            for (int i = 0; i < img.width * img.bytesPerPixel / 2; ++i)
                r[i] = static_cast<uint16_t>(s(rng));
        }
    }
}

// Bayer colours: 'R', 'G', 'B'.
inline char bayer(int mode, int x, int y) {
    static const char* t[4] = {"GBRG", "RGGB", "BGGR", "GRBG"};  // even row pair, odd row pair
    return t[mode][(y & 1) * 2 + (x & 1)];
}

// Demosaic reference: one output pixel as the colour rule reads it, with the border
// replacement rule. Returns B, G, R (saturated) in out[0..2].
inline void demosaicPixel(const Plane& raw, int mode, int gainR, int gainB, bool sixteen, int x,
                          int y, int out[3]) {
    auto mapped = [](int i, int d, int n) {
        if (i == 0 && d < 0) d += 4;
        if (i == 1 && d == -2) d += 4;
        if (i == n - 1 && d == 1) d -= 4;
        return i + d;
    };
    auto S = [&](int dx, int dy) { return raw.at(mapped(x, dx, raw.w), mapped(y, dy, raw.h)); };
    int greens = 0, gsum = 0;
    int W[2] = {0, 0};  // red, blue
    for (int by = -1; by <= 0; ++by)
        for (int bx = -1; bx <= 0; ++bx) {
            const char c = bayer(mode, x + bx, y + by);
            if (c == 'G') {
                gsum += S(bx, by);
                ++greens;
                continue;
            }
            const int fx = bx == -1 ? 1 : -2, fy = by == -1 ? 1 : -2;
            W[c == 'R' ? 0 : 1] = 9 * S(bx, by) + 3 * S(fx, by) + 3 * S(bx, fy) + S(fx, fy);
        }
    const int64_t kr = static_cast<int64_t>(std::clamp(gainR, 0, 400) * 1.28);
    const int64_t kb = static_cast<int64_t>(std::clamp(gainB, 0, 400) * 1.28);
    auto value = [&](int64_t w, int64_t k) -> int {
        const int64_t prod = w * k;
        if (!sixteen) return prod >= 0x80000 ? 255 : static_cast<int>(prod >> 11);
        return prod >= 0x8000000 ? 65535 : static_cast<int>(prod >> 11);
    };
    out[0] = value(W[1], kb);
    out[1] = gsum >> 1;
    out[2] = value(W[0], kr);
}

// Hue and saturation reference, straight from the fixed-point formulas.
inline int hueShiftRef(int h) {
    int u = static_cast<int>(std::trunc(h * 65536.0 / 360.0));
    u &= 0xFFFF;
    const int q = (u * 6) >> 8;
    int m = q % 512;
    if (m >= 256) m -= 512;
    const int n = ((q + 256) >> 9) % 3;
    int a = m + 510 * n;
    if (a < 0) a += 1530;
    if (a >= 1530) a -= 1530;
    return a;
}

inline void hueSatPixel(int hue, int sat, int& R, int& G, int& B) {
    const int a = hueShiftRef(hue);
    auto gray = [](int k) { return static_cast<uint32_t>(k) * 0x010101u; };
    auto H = [](int i) { return i < 256 ? i : 511 - i; };
    auto S = [&](int i) { return static_cast<int>(((sat + 256) * 256LL * i + 0x8000) >> 16); };
    const uint32_t mask[6] = {0xFF00FF, 0xFF0000, 0xFFFF00, 0x00FF00, 0x00FFFF, 0x0000FF};
    const int ramp[6] = {-1, 0x100, -0x10000, 1, -0x100, 0x10000};
    const int mx = std::max({R, G, B}), mn = std::min({R, G, B});
    const int C = mx - mn, T = mx + mn;
    int sector, l;
    if (B > R && B > G) {
        sector = 5;
        l = R - G;
    } else if (R >= G) {
        sector = 1;
        l = G - B;
    } else {
        sector = 3;
        l = B - R;
    }
    if (l < 0) {
        sector -= 1;
        l += C;
    }
    const int Cn = std::min(H(T), S(C));
    const int n = (T - Cn) >> 1;
    const int A = ((T + Cn) >> 1) - n;
    int64_t result = gray(n);
    if (C != 0) {
        const int recip = 0xFF0000 / C;
        int p = ((l * recip + 0x8000) >> 16) + (a % 255);
        const int k = sector + a / 255 + (p > 254 ? 1 : 0);
        if (p >= 255) p -= 255;
        result += (gray(A) & mask[k % 6]) + static_cast<int64_t>((A * p + 128) >> 8) * ramp[k % 6];
    }
    const auto r32 = static_cast<uint32_t>(result);
    B = r32 & 0xFF;
    G = (r32 >> 8) & 0xFF;
    R = (r32 >> 16) & 0xFF;
}

inline int gammaRef(int i, int g, int maxv) {
    if (i == 0) return 0;
    const double v = std::pow(static_cast<double>(i) / maxv, 100.0 / g) * maxv;
    return std::min(static_cast<int>(std::trunc(v)), maxv);
}

inline int contrastRef(int i, int c, bool sixteen) {
    const int maxv = sixteen ? 65535 : 255;
    const int t = sixteen ? c * 256 : c;
    const double full = sixteen ? 65536.0 : 256.0;
    if (i < t) return 0;
    if (i > maxv - t) return maxv;
    return static_cast<int>(std::trunc(full / (full - 2 * t) * (i - t)));
}

inline int brightnessRef(int v, int b, bool sixteen) {
    const double fd = b < 0 ? 1 - std::abs(b) * (1.0 / 255) : 1 + b * (10.0 / 255);
    const float f = static_cast<float>(fd);
    const float prod = static_cast<float>(v) * f;
    const int maxv = sixteen ? 65535 : 255;
    return prod >= maxv ? maxv : std::max(0, static_cast<int>(std::trunc(prod)));
}

// Sequential in-place reference.
inline int hotReference(ref::Plane& f, bool sixteen, int mode, int gainR, int gainB, int t) {
    int replaced = 0;
    for (int y = 2; y < f.h - 2; ++y)
        for (int x = 2; x < f.w - 2; ++x) {
            const int v = f.at(x, y);
            const int m = (f.at(x - 2, y) + f.at(x + 2, y) + f.at(x, y - 2) + f.at(x, y + 2)) >> 2;
            bool replace;
            if (sixteen) {
                replace = std::abs(v - m) >= t;
                for (int dy = -1; dy <= 1 && replace; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        if ((dx || dy) && std::abs(f.at(x + dx, y + dy) - v) < t) replace = false;
            } else {
                replace = false;
                if (v - m >= t) {
                    int c[3];
                    // Unsaturated colour: compute with a huge saturation point via the
                    // 16-bit rule, then keep 8 bits.
                    ref::demosaicPixel(f, mode, gainR, gainB, true, x, y, c);
                    const int B = c[0] & 0xFF, G = c[1], R = c[2] & 0xFF;
                    const int votes =
                        (std::abs(R - G) > t) + (std::abs(R - B) > t) + (std::abs(G - B) > t);
                    replace = votes >= 2;
                }
            }
            if (replace) {
                f.at(x, y) = m;
                ++replaced;
            }
        }
    return replaced;
}

// Unsharp masking: the 4 x 4 box blur of the original, inside a two-pixel frame.
inline void sharpenReference(ref::Plane& p, int k, int maxv) {
    const ref::Plane orig = p;
    for (int y = 2; y < p.h - 2; ++y)
        for (int x = 2; x < p.w - 2; ++x)
            for (int c = 0; c < std::min(p.ch, 3); ++c) {
                int sum = 0;
                for (int yy = y - 2; yy <= y + 1; ++yy)
                    for (int xx = x - 2; xx <= x + 1; ++xx) sum += orig.at(xx, yy, c);
                const int blur = sum >> 4;
                const int o = orig.at(x, y, c);
                const int d = o - blur;
                const int q = k * d / 10;  // truncating towards zero
                p.at(x, y, c) = std::clamp(o + q, 0, maxv);
            }
}

// Dot filter correction reference: every marked pixel (from row and column 4 on) takes the
// integer mean of the nearest unmarked pixels of the original frame in the four directions.
inline void correctReference(ref::Plane& F, const ref::Plane& M) {
    const ref::Plane orig = F;
    for (int y = 4; y < F.h; ++y)
        for (int x = 4; x < F.w; ++x) {
            if (!M.at(x, y)) continue;
            int sum = 0, n = 0;
            // Left, right, up, down: the first unmarked pixel that way, if any.
            constexpr std::pair<int, int> kDirections[] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
            for (const auto& [dx, dy] : kDirections) {
                int xx = x + dx, yy = y + dy;
                while (xx >= 0 && xx < F.w && yy >= 0 && yy < F.h && M.at(xx, yy)) {
                    xx += dx;
                    yy += dy;
                }
                if (xx >= 0 && xx < F.w && yy >= 0 && yy < F.h) {
                    sum += orig.at(xx, yy);
                    ++n;
                }
            }
            if (n) F.at(x, y) = sum / n;
        }
}

// Dot filter reference: marks from the frame as it was, then mean of nearest unmarked pixels.
inline int dotReference(ref::Plane& F, const ref::Plane& hot, const ref::Plane& dead, int t) {
    ref::Plane M(F.w, F.h, 1);
    int marked = 0;
    for (int y = 4; y <= F.h - 5; ++y)
        for (int x = 4; x <= F.w - 5; ++x) {
            const int mean =
                (F.at(x - 1, y) + F.at(x + 1, y) + F.at(x, y - 1) + F.at(x, y + 1)) >> 2;
            const bool m = hot.at(x, y) || dead.at(x, y) || std::abs(F.at(x, y) - mean) >= t;
            M.at(x, y) = m;
            marked += m;
        }
    correctReference(F, M);
    return marked;
}

}  // namespace orvane::imaging::ref
