// One-shot white balance: the mean of each colour's sites over the raw frame, turned into
// the Bayer gains that bring red and blue to the green level.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "imaging/Demosaic.h"
#include "platform/WorkerPool.h"

namespace orvane::imaging {

namespace {
struct Sums {
    uint64_t sum[3] = {};
    uint64_t count[3] = {};
};

template <class T>
void sumRows(const ImageView& raw, int mode, int y0, int y1, Sums& s) {
    for (int y = y0; y < y1; ++y) {
        const T* r = reinterpret_cast<const T*>(raw.row(y));
        uint64_t even = 0, odd = 0;
        int x = 0;
        for (; x + 1 < raw.width; x += 2) {
            even += r[x];
            odd += r[x + 1];
        }
        if (x < raw.width) even += r[x];
        const auto ce = static_cast<int>(bayerColourAt(mode, 0, y));
        const auto co = static_cast<int>(bayerColourAt(mode, 1, y));
        s.sum[ce] += even;
        s.count[ce] += static_cast<uint64_t>((raw.width + 1) / 2);
        s.sum[co] += odd;
        s.count[co] += static_cast<uint64_t>(raw.width / 2);
    }
}

int balanceGain(double s, double mean, double t) {
    const double g = s / mean / 3.0 * 100.0 / t;
    if (std::isnan(g)) return 100;
    if (!(g < 400.0)) return 400;
    return static_cast<int>(g);
}
}  // namespace

WhiteBalanceGains measureWhiteBalance(const ImageView& raw, int bayerMode,
                                      platform::WorkerPool* pool) {
    WhiteBalanceGains g;
    if (raw.empty() || bayerMode < 0 || bayerMode > 3) return g;
    Sums parts[2];
    auto work = [&](Sums& s, int b, int e) {
        if (raw.bytesPerPixel == 2)
            sumRows<uint16_t>(raw, bayerMode, b, e, s);
        else
            sumRows<uint8_t>(raw, bayerMode, b, e, s);
    };
    if (pool != nullptr && pool->threadCount() >= 2 && raw.height >= 64) {
        // Two bands, each with its own sums (the pool runs at most its thread count).
        const int mid = raw.height / 2;
        pool->parallelFor(0, 2, 1, [&](int b, int e) {
            for (int i = b; i < e; ++i) work(parts[i], i == 0 ? 0 : mid, i == 0 ? mid : raw.height);
        });
    } else {
        work(parts[0], 0, raw.height);
    }
    Sums s;
    for (const Sums& p : parts)
        for (int c = 0; c < 3; ++c) {
            s.sum[c] += p.sum[c];
            s.count[c] += p.count[c];
        }
    auto mean = [&](int c) {
        return s.count[c] ? static_cast<double>(s.sum[c]) / static_cast<double>(s.count[c]) : 0.0;
    };
    const double mR = mean(0), mG = mean(1), mB = mean(2);
    const double sum = mG + mR + mB;
    const double t = sum / mG / 3.0;
    g.red = balanceGain(sum, mR, t);
    g.blue = balanceGain(sum, mB, t);
    g.green = 100;
    return g;
}

}  // namespace orvane::imaging
