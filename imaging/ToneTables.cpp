// Point tables of the output image: gamma, contrast and brightness, built once per change
// and composed into one table, and their application (also around sharpening).
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "imaging/ColorFilters.h"
#include "imaging/SampleKinds.h"
#include "imaging/SimdSupport.h"
#include "platform/WorkerPool.h"

namespace orvane::imaging {

// ---- Point tables -----------------------------------------------------------------------------

namespace {
template <class T>
void gammaTable(int gamma, T* table, int maxv) {
    table[0] = 0;
    if (gamma <= 0) {
        // Infinite exponent: everything below full scale goes to 0.
        for (int i = 1; i < maxv; ++i) table[i] = 0;
        table[maxv] = static_cast<T>(maxv);
        return;
    }
    const double exponent = 100.0 / gamma;
    for (int i = 1; i <= maxv; ++i) {
        const double v = std::pow(static_cast<double>(i) / maxv, exponent) * maxv;
        table[i] = static_cast<T>(std::min(static_cast<int>(v), maxv));
    }
}

template <class T>
void contrastTable(int c, T* table, int maxv, int scale) {
    const int t = c * scale;
    const double factor = static_cast<double>(maxv + 1) / (maxv + 1 - 2 * t);
    for (int i = 0; i <= maxv; ++i) {
        int v;
        if (i < t)
            v = 0;
        else if (i > maxv - t)
            v = maxv;
        else
            v = static_cast<int>(factor * (i - t));
        table[i] = static_cast<T>(std::clamp(v, 0, maxv));
    }
}

template <class T>
void brightnessTable(int b, T* table, int maxv) {
    const double fd = b < 0 ? 1.0 - std::abs(b) * (1.0 / 255.0) : 1.0 + b * (10.0 / 255.0);
    const float f = static_cast<float>(fd);
    for (int i = 0; i <= maxv; ++i) {
        const float v = static_cast<float>(i) * f;
        table[i] = static_cast<T>(v >= static_cast<float>(maxv) ? maxv : static_cast<int>(v));
    }
}
}  // namespace

void buildGammaTable8(int gamma, uint8_t* table) {
    gammaTable(gamma, table, 255);
}
void buildGammaTable16(int gamma, uint16_t* table) {
    gammaTable(gamma, table, 65535);
}
void buildContrastTable8(int contrast, uint8_t* table) {
    contrastTable(contrast, table, 255, 1);
}
void buildContrastTable16(int contrast, uint16_t* table) {
    contrastTable(contrast, table, 65535, 256);
}
void buildBrightnessTable8(int brightness, uint8_t* table) {
    brightnessTable(brightness, table, 255);
}
void buildBrightnessTable16(int brightness, uint16_t* table) {
    brightnessTable(brightness, table, 65535);
}

ToneTableCache::ToneTableCache() = default;
ToneTableCache::~ToneTableCache() = default;

namespace {
unsigned effectiveStages(unsigned stages, int gamma, int contrast, int brightness) {
    if (gamma == 100) stages &= ~static_cast<unsigned>(kToneGamma);
    if (contrast == 0) stages &= ~static_cast<unsigned>(kToneContrast);
    if (brightness == 0) stages &= ~static_cast<unsigned>(kToneBrightness);
    return stages;
}

template <class T, int N>
void composeInto(T* out, unsigned stages, int gamma, int contrast, int brightness,
                 void (*g)(int, T*), void (*c)(int, T*), void (*b)(int, T*), T* tmp) {
    for (int i = 0; i < N; ++i) out[i] = static_cast<T>(i);
    auto chain = [&](void (*build)(int, T*), int setting) {
        build(setting, tmp);
        for (int i = 0; i < N; ++i) out[i] = tmp[out[i]];
    };
    if (stages & kToneGamma) chain(g, gamma);
    if (stages & kToneContrast) chain(c, contrast);
    if (stages & kToneBrightness) chain(b, brightness);
}
}  // namespace

const uint8_t* ToneTableCache::table8(unsigned stages, int gamma, int contrast, int brightness) {
    stages = effectiveStages(stages, gamma, contrast, brightness);
    if (stages == 0) return nullptr;
    const Key key{stages, gamma, contrast, brightness, true};
    if (!(key == key8_)) {
        uint8_t tmp[256];
        composeInto<uint8_t, 256>(t8_, stages, gamma, contrast, brightness, buildGammaTable8,
                                  buildContrastTable8, buildBrightnessTable8, tmp);
        key8_ = key;
        ++builds_;
    }
    return t8_;
}

const uint16_t* ToneTableCache::table16(unsigned stages, int gamma, int contrast, int brightness) {
    stages = effectiveStages(stages, gamma, contrast, brightness);
    if (stages == 0) return nullptr;
    const Key key{stages, gamma, contrast, brightness, true};
    if (!t16_) {
        // Twice the table: the second half is the build scratch.
        t16_.reset(new (std::nothrow) uint16_t[2 * 65536]);
        if (!t16_) return nullptr;
        key16_ = Key{};
    }
    if (!(key == key16_)) {
        composeInto<uint16_t, 65536>(t16_.get(), stages, gamma, contrast, brightness,
                                     buildGammaTable16, buildContrastTable16,
                                     buildBrightnessTable16, t16_.get() + 65536);
        key16_ = key;
        ++builds_;
    }
    return t16_.get();
}

namespace {
// Scalar table pass; the lookups are independent, the unrolled loop keeps several in flight.
void lookupRun8(uint8_t* p, size_t n, const uint8_t* t) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t v;
        std::memcpy(&v, p + i, 8);
        const uint64_t o =
            uint64_t{t[v & 0xFF]} | uint64_t{t[(v >> 8) & 0xFF]} << 8 |
            uint64_t{t[(v >> 16) & 0xFF]} << 16 | uint64_t{t[(v >> 24) & 0xFF]} << 24 |
            uint64_t{t[(v >> 32) & 0xFF]} << 32 | uint64_t{t[(v >> 40) & 0xFF]} << 40 |
            uint64_t{t[(v >> 48) & 0xFF]} << 48 | uint64_t{t[v >> 56]} << 56;
        std::memcpy(p + i, &o, 8);
    }
    for (; i < n; ++i) p[i] = t[p[i]];
}
}  // namespace

}  // namespace orvane::imaging

// The AVX-512 VBMI form of lookupRun8.
#include "imaging/simd/ToneLookupVbmi.h"

namespace orvane::imaging {

void applyTableRow8(uint8_t* row, int width, int bpp, const uint8_t* table, VectorPath path) {
    if (bpp != 4) {
        const size_t n = static_cast<size_t>(width) * bpp;
#if ORVANE_X86
        if (pathAllowsVbmi(path)) {
            lookupRunVbmi(row, n, table);
            return;
        }
#else
        (void)path;
#endif
        lookupRun8(row, n, table);
        return;
    }
    for (int x = 0; x < width; ++x) {
        uint8_t* p = row + x * 4;
        p[0] = table[p[0]];
        p[1] = table[p[1]];
        p[2] = table[p[2]];
    }
}

bool applyTable8(const ImageView& image, const uint8_t* table, platform::WorkerPool* pool,
                 VectorPath path) {
    if (image.empty() || !detail::eightBitChannels(image.bytesPerPixel)) return false;
    if (table == nullptr) return true;
    platform::forBands(pool, 0, image.height, 1, [&](int b, int e) {
        for (int y = b; y < e; ++y)
            applyTableRow8(image.row(y), image.width, image.bytesPerPixel, table, path);
    });
    return true;
}

bool applyTable16(const ImageView& image, const uint16_t* table, platform::WorkerPool* pool) {
    if (image.empty() || !detail::sixteenBitChannels(image.bytesPerPixel)) return false;
    if (table == nullptr) return true;
    const int n = image.bytesPerPixel / 2;
    platform::forBands(pool, 0, image.height, 1, [&](int b, int e) {
        for (int y = b; y < e; ++y) {
            auto* r = reinterpret_cast<uint16_t*>(image.row(y));
            if (n != 4) {
                const size_t count = static_cast<size_t>(image.width) * n;
                for (size_t i = 0; i < count; ++i) r[i] = table[r[i]];
            } else {
                for (int x = 0; x < image.width; ++x) {
                    uint16_t* p = r + x * 4;
                    p[0] = table[p[0]];
                    p[1] = table[p[1]];
                    p[2] = table[p[2]];
                }
            }
        }
    });
    return true;
}

namespace {
bool applyStages(const ImageView& image, unsigned stages, int gamma, int contrast, int brightness,
                 ToneTableCache& cache, platform::WorkerPool* pool) {
    if (image.empty()) return false;
    if (detail::eightBitChannels(image.bytesPerPixel))
        return applyTable8(image, cache.table8(stages, gamma, contrast, brightness), pool);
    if (detail::sixteenBitChannels(image.bytesPerPixel)) {
        if (effectiveStages(stages, gamma, contrast, brightness) == 0) return true;
        const uint16_t* t = cache.table16(stages, gamma, contrast, brightness);
        return t != nullptr && applyTable16(image, t, pool);
    }
    return false;
}
}  // namespace

bool applyGamma(const ImageView& image, int gamma, ToneTableCache& cache,
                platform::WorkerPool* pool) {
    return applyStages(image, kToneGamma, gamma, 0, 0, cache, pool);
}
bool applyContrast(const ImageView& image, int contrast, ToneTableCache& cache,
                   platform::WorkerPool* pool) {
    return applyStages(image, kToneContrast, 100, contrast, 0, cache, pool);
}
bool applyBrightness(const ImageView& image, int brightness, ToneTableCache& cache,
                     platform::WorkerPool* pool) {
    return applyStages(image, kToneBrightness, 100, 0, brightness, cache, pool);
}
namespace {
struct BandedSteps {
    const ImageView* image;
    SharpenWorkspace* space;
    int sharpness;
    const uint8_t* tone;
    const uint8_t* bright;
    platform::WorkerPool* pool;
};
}  // namespace

bool applyToneSteps(const ImageView& image, int gamma, int contrast, int sharpness, int brightness,
                    ToneTableCache& cache, SharpenWorkspace& sharpenSpace,
                    platform::WorkerPool* pool, const HueSaturation* hueFirst) {
    const bool hue = hueFirst != nullptr && hueFirst->active();
    const bool banded = sharpness != 0 && detail::eightBitChannels(image.bytesPerPixel) &&
                        !image.empty() && image.width >= 5 && image.height >= 5;
    if (!banded) {
        bool ok = !hue || hueFirst->apply(image, pool);
        if (sharpness == 0)
            return applyStages(image, kToneGamma | kToneContrast | kToneBrightness, gamma, contrast,
                               brightness, cache, pool) &&
                   ok;
        ok = applyStages(image, kToneGamma | kToneContrast, gamma, contrast, 0, cache, pool) && ok;
        ok = sharpen(image, sharpenSpace, sharpness, pool) && ok;
        ok = applyStages(image, kToneBrightness, 100, 0, brightness, cache, pool) && ok;
        return ok;
    }
    // One banded pass: each row through hue and saturation and the tone table just before
    // sharpening reads it, and through the brightness table just after it is written. The
    // cache keeps one 8-bit table at a time, so the first is copied.
    uint8_t toneTable[256];
    const uint8_t* tone = cache.table8(kToneGamma | kToneContrast, gamma, contrast, 0);
    if (tone != nullptr) tone = static_cast<const uint8_t*>(std::memcpy(toneTable, tone, 256));
    const uint8_t* bright = cache.table8(kToneBrightness, 100, 0, brightness);
    BandedSteps steps{&image, &sharpenSpace, sharpness, tone, bright, pool};
    auto run = [](const RowStep& first, void* context) {
        const BandedSteps& b = *static_cast<const BandedSteps*>(context);
        return sharpenBetween(*b.image, *b.space, b.sharpness, b.tone, b.bright, b.pool,
                              VectorPath::Best, &first);
    };
    if (hue) return hueFirst->withRowStep(image.bytesPerPixel, VectorPath::Best, run, &steps);
    return sharpenBetween(image, sharpenSpace, sharpness, tone, bright, pool);
}

}  // namespace orvane::imaging
