// Sharpening of the output image: the original plus a tenth of k times its difference from
// a 4 x 4 box blur, in place and in one pass; for 8-bit images optionally between two point
// tables in the same pass, each row run through them while it is in the cache.
//
// Each band of rows keeps a running vertical sum of four rows (the box is separable: a
// vertical sum of four rows, then a horizontal sum of four of those one pixel apart) and
// moves it down a row by adding the row entering the box and taking off the one leaving
// it. A row is written only after its original is saved in a ring of the last four rows,
// so no copy of the frame is made; the two rows above and below a band, which the
// neighbouring bands overwrite, are saved before the bands start.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include "imaging/ColorFilters.h"
#include "imaging/SampleKinds.h"
#include "imaging/SimdSupport.h"
#include "platform/WorkerPool.h"

#if ORVANE_X86
#include "imaging/simd/VectorOps.h"
#endif

namespace orvane::imaging {

uint8_t* SharpenWorkspace::reserve(size_t bytes) {
    if (bytes <= size_) return data_.get();
    data_.reset();
    size_ = 0;
    data_.reset(new (std::nothrow) uint8_t[bytes]);
    if (data_) size_ = bytes;
    return data_.get();
}

namespace {

// Rows per band at least, so that the per-band start-up (a four-row sum) stays small.
constexpr int kMinBandRows = 16;

template <class T>
struct SumOf;
template <>
struct SumOf<uint8_t> {
    using type = uint16_t;  // four 8-bit samples
};
template <>
struct SumOf<uint16_t> {
    using type = uint32_t;  // four 16-bit samples
};

template <class T>
using Sum = typename SumOf<T>::type;

// The vector forms of the row kernels below.
#if ORVANE_X86
#define ORVANE_WIDTH_KERNELS "imaging/simd/SharpenRows.h"
#include "imaging/simd/ForEachWidth.h"
#endif

// v[i] += add[i] - sub[i] over the row.
template <class T>
void boxSumStep(Sum<T>* v, const T* add, const T* sub, int n, VectorPath path) {
    int i = 0;
#if ORVANE_X86
    if (pathAllowsAvx2(path))
        i = avx2::boxSumStepVector<T>(v, add, sub, n);
    else if (pathAllowsSse41(path))
        i = sse41::boxSumStepVector<T>(v, add, sub, n);
#else
    (void)path;
#endif
    for (; i < n; ++i) v[i] = static_cast<Sum<T>>(v[i] + add[i] - sub[i]);
}

// Samples [i0, i1) of one output row from the vertical sums and the row's original:
//   blur = (v[i - 2c] + v[i - c] + v[i] + v[i + c]) >> 4     (columns x - 2 ... x + 1)
//   out  = orig + trunc(k (orig - blur) / 10), limited to the sample range
template <class T>
void sharpenRow(T* out, const T* orig, const Sum<T>* v, int c, int i0, int i1, int k,
                VectorPath path) {
    int j = 0;
    const int n = i1 - i0;
#if ORVANE_X86
    if (pathAllowsAvx2(path))
        j = avx2::sharpenRowVector<T>(out, orig, v, c, i0, n, k);
    else if (pathAllowsSse41(path))
        j = sse41::sharpenRowVector<T>(out, orig, v, c, i0, n, k);
#else
    (void)path;
#endif
    constexpr int maxv = sizeof(T) == 1 ? 255 : 65535;
    for (int i = i0 + j; i < i1; ++i) {
        const int blur = static_cast<int>((v[i - 2 * c] + v[i - c] + v[i] + v[i + c]) >> 4);
        const int o = orig[i];
        // Division truncating towards zero.
        out[i] = static_cast<T>(std::clamp(o + k * (o - blur) / 10, 0, maxv));
    }
}

// Where one band keeps its rows: the saved rows above (b - 2, b - 1) and below (e, e + 1)
// it, the ring of originals and the vertical sums.
template <class T>
struct BandSpace {
    T* above[2];
    T* below[2];
    T* ring[4];
    Sum<T>* sums;
};

template <class T>
size_t bandBytes(int samples) {
    return static_cast<size_t>(samples) * (8 * sizeof(T) + sizeof(Sum<T>));
}

template <class T>
BandSpace<T> bandSpace(uint8_t* base, int samples) {
    BandSpace<T> s{};
    T* p = reinterpret_cast<T*>(base);
    for (auto& r : s.above) r = p, p += samples;
    for (auto& r : s.below) r = p, p += samples;
    for (auto& r : s.ring) r = p, p += samples;
    s.sums = reinterpret_cast<Sum<T>*>(p);
    return s;
}

// Point tables run on 8-bit rows around the sharpening (either may be null): `before` on
// every row before the sharpening reads it, `after` on every row once it is final.
struct RowTables {
    const uint8_t* before = nullptr;
    const uint8_t* after = nullptr;
    const RowStep* first = nullptr;  // runs before the `before` table
};

void mapRow(const ImageView& img, uint8_t* row, const uint8_t* table, VectorPath path) {
    if (table != nullptr) applyTableRow8(row, img.width, img.bytesPerPixel, table, path);
}

// What a row goes through before sharpening reads it.
void mapRowBefore(const ImageView& img, uint8_t* row, const RowTables& tables, VectorPath path) {
    if (tables.first != nullptr) tables.first->run(row, img.width, img.bytesPerPixel);
    mapRow(img, row, tables.before, path);
}

// Output rows [b, e) of an image whose sharpened rows are [2, h - 2). The band also runs the
// tables on its own rows, and the first and last band on the two-row frame above and below.
template <class T>
void sharpenBand(const ImageView& img, const BandSpace<T>& s, int b, int e, int k, RowTables tables,
                 VectorPath path) {
    const int c = img.bytesPerPixel / static_cast<int>(sizeof(T));  // samples per pixel
    const int n = img.width * c;
    const int h = img.height;
    auto inPlace = [&](int yy) { return reinterpret_cast<T*>(img.row(yy)); };
    // Before sharpening reads a row (`before`), or once it is final.
    auto map = [&](int yy, bool before) {
        if (before)
            mapRowBefore(img, img.row(yy), tables, path);
        else
            mapRow(img, img.row(yy), tables.after, path);
    };
    auto mapTwo = [&](int y0, bool before) {
        map(y0, before);
        map(y0 + 1, before);
    };
    const bool firstBand = b == 2, lastBand = e == h - 2;
    // Rows read in place before the loop below reaches them.
    if (firstBand) mapTwo(0, true);
    for (int yy = b; yy < std::min(b + 2, e); ++yy) map(yy, true);
    if (lastBand) mapTwo(h - 2, true);
    // The original of row yy while row y is the next to be written.
    auto original = [&](int yy, int y) -> const T* {
        if (yy < b) return b > 2 ? s.above[yy - (b - 2)] : inPlace(yy);
        if (yy < y) return s.ring[yy & 3];
        if (yy < e) return inPlace(yy);
        return e < h - 2 ? s.below[yy - e] : inPlace(yy);
    };
    std::memcpy(s.ring[(b - 2) & 3], original(b - 2, b), static_cast<size_t>(n) * sizeof(T));
    std::memcpy(s.ring[(b - 1) & 3], original(b - 1, b), static_cast<size_t>(n) * sizeof(T));
    {
        const T* r0 = original(b - 2, b);
        const T* r1 = original(b - 1, b);
        const T* r2 = original(b, b);
        const T* r3 = original(b + 1, b);
        for (int i = 0; i < n; ++i) s.sums[i] = static_cast<Sum<T>>(r0[i] + r1[i] + r2[i] + r3[i]);
    }
    // The frame's top rows are not read in place again (their originals are in the ring).
    if (firstBand) mapTwo(0, false);
    for (int y = b; y < e; ++y) {
        // The box of row y spans rows y - 2 ... y + 1: row y + 1 enters, y - 3 leaves.
        if (y > b) {
            if (y + 1 < e) map(y + 1, true);
            boxSumStep<T>(s.sums, original(y + 1, y), s.ring[(y - 3) & 3], n, path);
        }
        T* row = inPlace(y);
        T* saved = s.ring[y & 3];
        std::memcpy(saved, row, static_cast<size_t>(n) * sizeof(T));
        sharpenRow<T>(row, saved, s.sums, c, 2 * c, (img.width - 2) * c, k, path);
        if (c == 4)  // the fourth sample is not a colour: put it back
            for (int x = 2; x < img.width - 2; ++x) row[x * 4 + 3] = saved[x * 4 + 3];
        map(y, false);
    }
    if (lastBand) mapTwo(h - 2, false);
}

template <class T>
bool sharpenImage(const ImageView& img, SharpenWorkspace& ws, int k, RowTables tables,
                  platform::WorkerPool* pool, VectorPath path) {
    const int c = img.bytesPerPixel / static_cast<int>(sizeof(T));
    const int n = img.width * c;
    const int first = 2, last = img.height - 2;  // rows written
    const int threads = pool != nullptr ? pool->threadCount() : 1;
    const int bands = std::max(1, std::min(threads, (last - first) / kMinBandRows));
    const size_t perBand = bandBytes<T>(n);
    uint8_t* base = ws.reserve(perBand * static_cast<size_t>(bands));
    if (base == nullptr) return false;
    auto bandStart = [&](int i) { return first + (last - first) * i / bands; };
    // Rows next to a band boundary, saved before any band writes them.
    for (int i = 0; i < bands; ++i) {
        const BandSpace<T> s = bandSpace<T>(base + perBand * static_cast<size_t>(i), n);
        const int b = bandStart(i), e = bandStart(i + 1);
        const size_t rowBytes = static_cast<size_t>(n) * sizeof(T);
        // Saved as the sharpening reads them: through the first table.
        auto save = [&](T* to, int y) {
            std::memcpy(to, img.row(y), rowBytes);
            mapRowBefore(img, reinterpret_cast<uint8_t*>(to), tables, path);
        };
        if (b > first)
            for (int j = 0; j < 2; ++j) save(s.above[j], b - 2 + j);
        if (e < last)
            for (int j = 0; j < 2; ++j) save(s.below[j], e + j);
    }
    auto run = [&](int i0, int i1) {
        for (int i = i0; i < i1; ++i)
            sharpenBand<T>(img, bandSpace<T>(base + perBand * static_cast<size_t>(i), n),
                           bandStart(i), bandStart(i + 1), k, tables, path);
    };
    if (bands == 1)
        run(0, 1);
    else
        pool->parallelFor(0, bands, 1, run);
    return true;
}

}  // namespace

bool sharpen(const ImageView& image, SharpenWorkspace& workspace, int strength,
             platform::WorkerPool* pool, VectorPath path) {
    if (image.empty()) return false;
    const int bpp = image.bytesPerPixel;
    if (!detail::eightBitChannels(bpp) && !detail::sixteenBitChannels(bpp)) return false;
    if (strength == 0 || image.width < 5 || image.height < 5) return true;
    if (detail::eightBitChannels(bpp))
        return sharpenImage<uint8_t>(image, workspace, strength, {}, pool, path);
    return sharpenImage<uint16_t>(image, workspace, strength, {}, pool, path);
}

bool sharpenBetween(const ImageView& image, SharpenWorkspace& workspace, int strength,
                    const uint8_t* before, const uint8_t* after, platform::WorkerPool* pool,
                    VectorPath path, const RowStep* first) {
    if (image.empty() || !detail::eightBitChannels(image.bytesPerPixel)) return false;
    if (strength != 0 && image.width >= 5 && image.height >= 5 &&
        sharpenImage<uint8_t>(image, workspace, strength, {before, after, first}, pool, path))
        return true;
    // Nothing to sharpen, or no workspace (sharpening then leaves the image as it is): the
    // steps alone.
    if (first != nullptr)
        platform::forBands(pool, 0, image.height, 1, [&](int b, int e) {
            for (int y = b; y < e; ++y) first->run(image.row(y), image.width, image.bytesPerPixel);
        });
    applyTable8(image, before, pool, path);
    applyTable8(image, after, pool, path);
    return strength == 0 || image.width < 5 || image.height < 5;
}

}  // namespace orvane::imaging
