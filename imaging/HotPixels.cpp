// Hot-pixel suppression on raw frames: a quick vector test finds the candidates of a row,
// the full test decides each one.
#include <immintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "imaging/ColorFilters.h"
#include "imaging/Demosaic.h"
#include "imaging/SimdSupport.h"
#include "platform/WorkerPool.h"

namespace orvane::imaging {

// ---- Hot-pixel suppression ------------------------------------------------------------------

namespace {

constexpr int kChunk = 64;

// Full test at one 8-bit position on the current frame; returns the replacement or -1.
int hotTest8(const ImageView& raw, int x, int y, const detail::ColourOffsets& offsets, int kRed,
             int kBlue, int t) {
    const uint8_t* r = raw.row(y);
    const int v = r[x];
    const int m = (r[x - 2] + r[x + 2] + raw.row(y - 2)[x] + raw.row(y + 2)[x]) >> 2;
    if (v - m < t) return -1;
    int red, green, blue;
    detail::colourAt<uint8_t>(r + x, offsets, x & 1, kRed, kBlue, red, green, blue);
    red &= 0xFF;
    blue &= 0xFF;
    const int votes =
        (std::abs(red - green) > t) + (std::abs(red - blue) > t) + (std::abs(green - blue) > t);
    return votes >= 2 ? m : -1;
}

int hotTest16(const ImageView& raw, int x, int y, int t) {
    auto at = [&](int xx, int yy) {
        return static_cast<int>(reinterpret_cast<const uint16_t*>(raw.row(yy))[xx]);
    };
    const int v = at(x, y);
    const int m = (at(x - 2, y) + at(x + 2, y) + at(x, y - 2) + at(x, y + 2)) >> 2;
    if (std::abs(v - m) < t) return -1;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if ((dx != 0 || dy != 0) && std::abs(at(x + dx, y + dy) - v) < t) return -1;
    return m;
}

// Quick necessary condition for up to 64 positions of one row, on the frame as it is now:
// bit i set when v - m >= t (8-bit) or |v - m| >= t (16-bit) at x0 + i.
template <class T>
uint64_t quickMaskScalar(const T* r, const T* up2, const T* dn2, int x0, int from, int n, int t) {
    uint64_t mask = 0;
    for (int i = from; i < n; ++i) {
        const int x = x0 + i;
        const int v = r[x];
        const int m = (r[x - 2] + r[x + 2] + up2[x] + dn2[x]) >> 2;
        const int d = v - m;
        if (sizeof(T) == 1 ? (d >= t) : (d >= t || -d >= t)) mask |= uint64_t{1} << i;
    }
    return mask;
}

}  // namespace
}  // namespace orvane::imaging

// The SSE2 forms of quickMaskScalar.
#include "imaging/simd/HotPixelMaskSse2.h"

namespace orvane::imaging {
namespace {

template <class T>
uint64_t quickMask(const T* r, const T* up2, const T* dn2, int x0, int n, int t) {
#if ORVANE_X86
    if (t >= 1 && t <= 0x7FFF) {
        if constexpr (sizeof(T) == 1)
            return quickMask8(r, up2, dn2, x0, n, t);
        else
            return quickMask16(r, up2, dn2, x0, n, t);
    }
#endif
    return quickMaskScalar<T>(r, up2, dn2, x0, 0, n, t);
}

// A replacement made by a band that ran ahead of the rows above it, kept so that it can be
// taken back or made again.
template <class T>
struct Replacement {
    int32_t y, x;
    T before, after;
};

template <class T>
struct ReplacementLog {
    // Enough for every position of a full-width camera row.
    static constexpr int kCapacity = 4096;
    Replacement<T> entries[kCapacity];
    int size = 0;
};

// One row in scan order, in place; returns the number of samples replaced. With a log, every
// replacement is noted there (the caller makes sure a whole row fits).
template <class T>
int suppressRow(const ImageView& raw, int y, int mode, int kRed, int kBlue, int t,
                ReplacementLog<T>* log) {
    int replaced = 0;
    const int w = raw.width;
    const detail::ColourOffsets offsets = detail::colourOffsets(mode, y, raw.stride);
    T* r = reinterpret_cast<T*>(raw.row(y));
    const T* up2 = reinterpret_cast<const T*>(raw.row(y - 2));
    const T* dn2 = reinterpret_cast<const T*>(raw.row(y + 2));
    int dirtyUntil = -1;  // positions up to here read a sample replaced in this row
    for (int x0 = 2; x0 < w - 2; x0 += kChunk) {
        const int n = std::min(kChunk, w - 2 - x0);
        // Computed after the previous chunk's replacements, so it sees them.
        uint64_t mask = quickMask<T>(r, up2, dn2, x0, n, t);
        // Positions right after a replacement read it: test them in full regardless.
        for (int x = x0; x <= dirtyUntil && x < x0 + n; ++x) mask |= uint64_t{1} << (x - x0);
        while (mask != 0) {
            const int i = __builtin_ctzll(mask);
            mask &= mask - 1;
            const int x = x0 + i;
            const int m = sizeof(T) == 1 ? hotTest8(raw, x, y, offsets, kRed, kBlue, t)
                                         : hotTest16(raw, x, y, t);
            if (m >= 0) {
                if (log != nullptr)
                    log->entries[log->size++] = Replacement<T>{y, x, r[x], static_cast<T>(m)};
                r[x] = static_cast<T>(m);
                ++replaced;
                dirtyUntil = x + 2;
                // The two following positions, also in this chunk, must be tested.
                for (int k = 1; k <= 2 && i + k < n; ++k) mask |= uint64_t{1} << (i + k);
            }
        }
    }
    return replaced;
}

// Fills the rows of a frame from another buffer just before the suppression first reads
// them, so that the frame is read from memory once: rows [next, end) are still to come.
struct RowFeed {
    const ImageView* source = nullptr;  // null: the rows are in place already
    const ImageView* target = nullptr;
    int next = 0;
    int end = 0;

    // Rows up to `y` (and before `end`) are in the target.
    void through(int y) {
        if (source == nullptr) return;
        const size_t bytes = static_cast<size_t>(target->width) * target->bytesPerPixel;
        for (; next <= y && next < end; ++next)
            std::memcpy(target->row(next), source->row(next), bytes);
    }
};

// Rows [y0, y1) in order. With a log, stops before a row that might not fit in it and
// stores in *end the first row not done.
template <class T>
int suppressRange(const ImageView& raw, int y0, int y1, int mode, int kRed, int kBlue, int t,
                  RowFeed& feed, ReplacementLog<T>* log = nullptr, int* end = nullptr) {
    int replaced = 0;
    int y = y0;
    for (; y < y1; ++y) {
        if (log != nullptr && ReplacementLog<T>::kCapacity - log->size < raw.width) break;
        // Row y reads the rows two above and two below it.
        feed.through(y + 2);
        replaced += suppressRow<T>(raw, y, mode, kRed, kBlue, t, log);
    }
    if (end != nullptr) *end = y;
    return replaced;
}

template <class T>
void put(const ImageView& raw, const Replacement<T>& e, T value) {
    reinterpret_cast<T*>(raw.row(e.y))[e.x] = value;
}

// Two bands at once. A row reads the two rows above and below it as the scan order leaves
// them, so the lower band cannot know its first rows' neighbours until the upper band is
// done. Cut at row c: the upper band does rows [2, c - 2) and the lower one [c + 2, h - 2)
// at once, reading disjoint rows (the upper one up to c - 1, the lower one from c on), the
// lower band supposing rows c and c + 1 keep their values. Then the four rows [c - 2, c + 2)
// are done in order, with rows c + 2 and c + 3 as they were before the lower band changed
// them. Once two rows in a row end as the lower band left them, everything below them saw
// the same input in both orders and the lower band's work stands; until then the lower
// band's rows are taken back and done again in order, one by one (a replacement near the
// cut changes only a few rows below it).
//
// With a feed, each band fills its own half of the rows ([0, c) and [c, h)) as it goes; the
// upper band's reaches row c - 1 before the rows at the cut are done.
template <class T>
int suppressTwoBands(const ImageView& raw, int mode, int kRed, int kBlue, int t, RowFeed& feed,
                     platform::WorkerPool& pool) {
    const int h = raw.height;
    const int c = h / 2;
    ReplacementLog<T> log;
    int upper = 0, lowerEnd = c + 2;
    RowFeed upperFeed = feed, lowerFeed = feed;
    upperFeed.end = c;
    lowerFeed.next = c;
    pool.parallelFor(0, 2, 1, [&](int b, int e) {
        for (int i = b; i < e; ++i) {
            if (i == 0)
                upper = suppressRange<T>(raw, 2, c - 2, mode, kRed, kBlue, t, upperFeed);
            else
                suppressRange<T>(raw, c + 2, h - 2, mode, kRed, kBlue, t, lowerFeed, &log,
                                 &lowerEnd);
        }
    });
    upperFeed.through(c - 1);
    RowFeed& rest = lowerFeed;
    rest.through(c + 3);
    // The log is in scan order: the entries of row y are one run.
    auto rowRun = [&](int y) {
        const Replacement<T>* all = log.entries;
        auto byRow = [](const Replacement<T>& e, int row) { return e.y < row; };
        const Replacement<T>* b = std::lower_bound(all, all + log.size, y, byRow);
        const Replacement<T>* e = std::lower_bound(b, all + log.size, y + 1, byRow);
        return std::pair<int, int>{static_cast<int>(b - all), static_cast<int>(e - all)};
    };
    auto takeBack = [&](int y) {
        const auto [b, e] = rowRun(y);
        for (int i = e - 1; i >= b; --i) put(raw, log.entries[i], log.entries[i].before);
    };
    auto makeAgain = [&](int y) {
        const auto [b, e] = rowRun(y);
        for (int i = b; i < e; ++i) put(raw, log.entries[i], log.entries[i].after);
    };
    takeBack(c + 2);
    takeBack(c + 3);
    int replaced = upper + suppressRange<T>(raw, c - 2, c, mode, kRed, kBlue, t, rest);
    const int atCut = suppressRange<T>(raw, c, c + 2, mode, kRed, kBlue, t, rest);
    replaced += atCut;
    // Rows y and y + 1 hold their values from before the lower band from here on.
    int y = c + 2;
    int agreeing = atCut == 0 ? 2 : 0;  // rows just done that ended as the lower band left them
    ReplacementLog<T> row;
    while (agreeing < 2 && y < lowerEnd) {
        rest.through(y + 2);
        takeBack(y + 2);
        row.size = 0;
        replaced += suppressRow<T>(raw, y, mode, kRed, kBlue, t, &row);
        const auto [b, e] = rowRun(y);
        bool same = e - b == row.size;
        for (int i = 0; same && i < row.size; ++i)
            same = row.entries[i].x == log.entries[b + i].x &&
                   row.entries[i].after == log.entries[b + i].after;
        agreeing = same ? agreeing + 1 : 0;
        ++y;
    }
    if (agreeing >= 2) {
        makeAgain(y);
        makeAgain(y + 1);
        replaced += log.size - rowRun(y).first;
        y = lowerEnd;  // below it the lower band stopped, its log full
    }
    replaced += suppressRange<T>(raw, y, h - 2, mode, kRed, kBlue, t, rest);
    rest.through(h - 1);
    feed.next = rest.next;  // every row is in place now
    return replaced;
}

template <class T>
int suppressRows(const ImageView& raw, int mode, int kRed, int kBlue, int t, RowFeed& feed,
                 platform::WorkerPool* pool) {
    // Worth it, and fitting the log, for frames of some size only.
    constexpr int kMinBandRows = 16;
    if (pool != nullptr && pool->threadCount() >= 2 && raw.height >= 4 * kMinBandRows &&
        raw.width <= ReplacementLog<T>::kCapacity)
        return suppressTwoBands<T>(raw, mode, kRed, kBlue, t, feed, *pool);
    const int replaced = suppressRange<T>(raw, 2, raw.height - 2, mode, kRed, kBlue, t, feed);
    feed.through(raw.height - 1);
    return replaced;
}

int suppressFed(const ImageView& raw, int bayerMode, int gainRed, int gainBlue, int threshold,
                RowFeed& feed, platform::WorkerPool* pool) {
    int replaced = 0;
    if (raw.width >= 5 && raw.height >= 5 && bayerMode >= 0 && bayerMode <= 3) {
        if (raw.bytesPerPixel == 1)
            replaced = suppressRows<uint8_t>(raw, bayerMode, bayerGainFactor(gainRed),
                                             bayerGainFactor(gainBlue), threshold, feed, pool);
        else if (raw.bytesPerPixel == 2)
            replaced = suppressRows<uint16_t>(raw, bayerMode, 0, 0, threshold, feed, pool);
    }
    // Nothing to suppress still leaves the whole frame copied.
    feed.through(raw.height - 1);
    return replaced;
}

}  // namespace

int suppressHotPixels(const ImageView& raw, int bayerMode, int gainRed, int gainBlue, int threshold,
                      platform::WorkerPool* pool) {
    if (raw.empty()) return 0;
    RowFeed inPlace;
    return suppressFed(raw, bayerMode, gainRed, gainBlue, threshold, inPlace, pool);
}

int suppressHotPixelsFrom(const ImageView& source, const ImageView& raw, int bayerMode, int gainRed,
                          int gainBlue, int threshold, platform::WorkerPool* pool) {
    if (raw.empty() || source.width != raw.width || source.height != raw.height ||
        source.bytesPerPixel != raw.bytesPerPixel || source.bits == nullptr)
        return -1;
    RowFeed feed{&source, &raw, 0, raw.height};
    return suppressFed(raw, bayerMode, gainRed, gainBlue, threshold, feed, pool);
}

}  // namespace orvane::imaging
