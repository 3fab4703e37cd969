#include "imaging/MaskFilters.h"

#include <algorithm>
#include <cstring>

#include "platform/WorkerPool.h"

namespace orvane::imaging {

namespace {
template <class T>
inline const T* rowOf(const ImageView& v, int y) {
    return reinterpret_cast<const T*>(v.row(y));
}
}  // namespace

bool buildDefectMap(const ImageView& reference, DefectKind kind, const ImageView& map) {
    if (reference.empty() || map.empty() || map.bytesPerPixel != 1 ||
        map.width != reference.width || map.height != reference.height ||
        (reference.bytesPerPixel != 1 && reference.bytesPerPixel != 2))
        return false;
    const bool wide = reference.bytesPerPixel == 2;
    const bool hot = kind == DefectKind::Hot;
    const int level = wide ? (hot ? 3072 : 1024) : (hot ? 192 : 64);
    for (int y = 2; y < reference.height - 2; ++y) {
        uint8_t* m = map.row(y);
        if (wide) {
            const auto* r = rowOf<uint16_t>(reference, y);
            for (int x = 2; x < reference.width - 2; ++x)
                m[x] = hot ? (r[x] > level) : (r[x] < level);
        } else {
            const uint8_t* r = reference.row(y);
            for (int x = 2; x < reference.width - 2; ++x)
                m[x] = hot ? (r[x] > level) : (r[x] < level);
        }
    }
    return true;
}

namespace {
bool sameShape(const ImageView& a, const ImageView& b) {
    return a.width == b.width && a.height == b.height && a.bytesPerPixel == b.bytesPerPixel;
}
}  // namespace

bool applyMaskFilter(const ImageView& frame, const CaptureWindow& window, const ImageView& dark,
                     const ImageView& bright, platform::WorkerPool* pool) {
    if (frame.empty() || dark.empty() || bright.empty() || !sameShape(dark, bright) ||
        dark.bytesPerPixel != frame.bytesPerPixel ||
        (frame.bytesPerPixel != 1 && frame.bytesPerPixel != 2))
        return false;
    const int b = (window.width == 3072 || window.height == 2048) ? 2 : 0;
    // Frame rows and columns whose reference position exists.
    const int x0 = std::max(b, -window.x);
    const int x1 = std::min(frame.width - b, dark.width - window.x);
    const int y0 = std::max(b, -window.y);
    const int y1 = std::min(frame.height - b, dark.height - window.y);
    if (x1 <= x0 || y1 <= y0) return true;
    platform::forBands(pool, y0, y1, 1, [&](int rb, int re) {
        // Local copies: byte stores could otherwise alias the loop bounds.
        const int xs = x0, xe = x1, wx = window.x, wy = window.y;
        for (int y = rb; y < re; ++y) {
            const int ry = wy + y;
            // The quotient is taken in double precision, which the loops vectorise: for
            // these magnitudes (|numerator| < 2^28, |denominator| < 2^16) a quotient that is
            // not whole lies at least 2^-16 from the next integer, far above the rounding
            // error, so truncating it equals the integer division.
            if (frame.bytesPerPixel == 1) {
                uint8_t* f = frame.row(y);
                const uint8_t* d = dark.row(ry) + wx;
                const uint8_t* l = bright.row(ry) + wx;
                for (int x = xs; x < xe; ++x) {
                    // c = (F - d) 256 / (l - d) where d != l; 255 from 256 on, 0 below 0
                    const int old = f[x];
                    const int den = l[x] - d[x];
                    const int num = (old - d[x]) * 256;
                    const double q =
                        static_cast<double>(num) / static_cast<double>(den | (den == 0));
                    const int v = std::min(std::max(static_cast<int>(q), 0), 255);
                    const int use = -static_cast<int>(den != 0);  // all ones where d != l
                    f[x] = static_cast<uint8_t>((v & use) | (old & ~use));
                }
            } else {
                auto* f = reinterpret_cast<uint16_t*>(frame.row(y));
                const uint16_t* d = rowOf<uint16_t>(dark, ry) + wx;
                const uint16_t* l = rowOf<uint16_t>(bright, ry) + wx;
                for (int x = xs; x < xe; ++x) {
                    // c = (F - d) 4096 / (l - d) where d < l, limited to 0 ... 4095, times 16
                    const int den = l[x] - d[x];
                    const int num = (static_cast<int>(f[x]) - d[x]) * 4096;
                    const int c = static_cast<int>(static_cast<double>(num) /
                                                   static_cast<double>(den > 0 ? den : 1));
                    const int v = (c < 0 ? 0 : (c > 4095 ? 4095 : c)) * 16;
                    f[x] = static_cast<uint16_t>(den > 0 ? v : f[x]);
                }
            }
        }
    });
    return true;
}

namespace {

// Correction of rows [y0, y1). Every search reads the marks only and every value read is an
// unmarked sample, which is never written, so bands and the order within them are free.
// The searches are amortised so that large marked areas cost time proportional to their
// size: per column block the nearest unmarked row above is carried down the rows and the
// nearest below is remembered until passed; along a row the next unmarked column to the
// right is remembered until passed.
template <class T>
void correctRows(const ImageView& frame, const ImageView& marks, int y0, int y1) {
    constexpr int kBlock = 256;
    const int w = frame.width, h = frame.height;
    int above[kBlock];
    int below[kBlock];
    for (int cb = 0; cb < w; cb += kBlock) {
        const int n = std::min(kBlock, w - cb);
        for (int i = 0; i < n; ++i) {
            int yy = y0 - 1;
            while (yy >= 0 && marks.row(yy)[cb + i]) --yy;
            above[i] = yy;  // -1: none
            below[i] = -1;  // not searched yet
        }
        for (int y = y0; y < y1; ++y) {
            const uint8_t* m = marks.row(y);
            T* f = reinterpret_cast<T*>(frame.row(y));
            int left = -2;   // nearest unmarked column left of x; -2: not searched yet
            int right = -1;  // nearest unmarked column right of x once searched
            for (int i = 0; i < n; ++i) {
                const int x = cb + i;
                // Eight unmarked samples at once: they only move the nearest-unmarked state.
                uint64_t eight;
                if (i + 8 <= n && (std::memcpy(&eight, m + x, 8), eight == 0)) {
                    for (int k = 0; k < 8; ++k) above[i + k] = y;
                    left = x + 7;
                    i += 7;
                    continue;
                }
                if (!m[x]) {
                    above[i] = y;
                    left = x;
                    continue;
                }
                if (left == -2) {
                    left = x - 1;
                    while (left >= 0 && m[left]) --left;
                }
                if (x < 4) continue;
                if (right <= x) {
                    right = x + 1;
                    while (right < w && m[right]) ++right;
                }
                if (below[i] <= y) {
                    int yy = y + 1;
                    while (yy < h && marks.row(yy)[x]) ++yy;
                    below[i] = yy;
                }
                uint32_t sum = 0;
                uint32_t count = 0;
                if (left >= 0) {
                    sum += f[left];
                    ++count;
                }
                if (right < w) {
                    sum += f[right];
                    ++count;
                }
                if (above[i] >= 0) {
                    sum += rowOf<T>(frame, above[i])[x];
                    ++count;
                }
                if (below[i] < h) {
                    sum += rowOf<T>(frame, below[i])[x];
                    ++count;
                }
                if (count > 0) f[x] = static_cast<T>(sum / count);
            }
        }
    }
}

// Marks of rows [y0, y1), columns 4 to w - 5, as plain loops the vectoriser takes: first the
// difference test, then the maps over the columns they cover, then the count.
template <class T>
int markRows(const ImageView& frame, const CaptureWindow& win, const ImageView& hot,
             const ImageView& dead, const ImageView& marks, int t, int y0, int y1) {
    int marked = 0;
    const int w = frame.width;
    const int x0 = 4, x1 = w - 4;
    // Columns whose map position exists.
    const int mx0 = std::max(x0, -win.x);
    const int mx1 = std::min(x1, std::min(hot.width, dead.width) - win.x);
    for (int y = y0; y < y1; ++y) {
        const T* r = rowOf<T>(frame, y);
        const T* up = rowOf<T>(frame, y - 1);
        const T* dn = rowOf<T>(frame, y + 1);
        uint8_t* m = marks.row(y);
        for (int x = x0; x < x1; ++x) {
            const int v = r[x];
            const int mean = (r[x - 1] + r[x + 1] + up[x] + dn[x]) >> 2;
            const int d = v - mean;
            m[x] = static_cast<uint8_t>((d >= t) | (-d >= t));
        }
        const int my = win.y + y;
        if (my >= 0 && my < hot.height && my < dead.height && mx1 > mx0) {
            const uint8_t* hm = hot.row(my) + win.x;
            const uint8_t* dm = dead.row(my) + win.x;
            for (int x = mx0; x < mx1; ++x)
                m[x] = static_cast<uint8_t>(m[x] | (hm[x] != 0) | (dm[x] != 0));
        }
        int rowCount = 0;
        for (int x = x0; x < x1; ++x) rowCount += m[x];
        marked += rowCount;
    }
    return marked;
}

}  // namespace

void correctMarkedPixels(const ImageView& frame, const ImageView& marks,
                         platform::WorkerPool* pool) {
    if (frame.empty() || marks.empty() || marks.width != frame.width ||
        marks.height != frame.height || marks.bytesPerPixel != 1)
        return;
    platform::forBands(pool, 4, frame.height, 1, [&](int b, int e) {
        if (frame.bytesPerPixel == 2)
            correctRows<uint16_t>(frame, marks, b, e);
        else if (frame.bytesPerPixel == 1)
            correctRows<uint8_t>(frame, marks, b, e);
    });
}

int applyDotFilter(const ImageView& frame, const CaptureWindow& window, const ImageView& hotMap,
                   const ImageView& deadMap, const ImageView& marks, int threshold,
                   platform::WorkerPool* pool) {
    if (frame.empty() || marks.empty() || marks.width != frame.width ||
        marks.height != frame.height || marks.bytesPerPixel != 1 ||
        (frame.bytesPerPixel != 1 && frame.bytesPerPixel != 2) || hotMap.bytesPerPixel != 1 ||
        deadMap.bytesPerPixel != 1)
        return 0;
    // The marking pass writes every mark of rows and columns 4 to size - 5; clear the rest,
    // so that the whole buffer is as if cleared first.
    for (int y = 0; y < marks.height; ++y) {
        uint8_t* m = marks.row(y);
        if (y < 4 || y >= marks.height - 4 || marks.width <= 8) {
            std::memset(m, 0, static_cast<size_t>(marks.width));
        } else {
            std::memset(m, 0, 4);
            std::memset(m + marks.width - 4, 0, 4);
        }
    }
    int counts[2] = {0, 0};
    const int y0 = 4, y1 = frame.height - 4;
    if (y1 > y0 && frame.width > 8) {
        // Marking reads only the frame, so bands are independent; at most two bands.
        const int mid = pool != nullptr && pool->threadCount() >= 2 ? y0 + (y1 - y0) / 2 : y1;
        auto mark = [&](int band) {
            const int b = band == 0 ? y0 : mid, e = band == 0 ? mid : y1;
            counts[band] =
                frame.bytesPerPixel == 2
                    ? markRows<uint16_t>(frame, window, hotMap, deadMap, marks, threshold, b, e)
                    : markRows<uint8_t>(frame, window, hotMap, deadMap, marks, threshold, b, e);
        };
        if (mid < y1)
            pool->parallelFor(0, 2, 1, [&](int b, int e) {
                for (int i = b; i < e; ++i) mark(i);
            });
        else
            mark(0);
    }
    const int marked = counts[0] + counts[1];
    if (marked > 0) correctMarkedPixels(frame, marks, pool);
    return marked;
}

}  // namespace orvane::imaging
