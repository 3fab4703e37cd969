// The vector demosaic interior, written once for any vector width and sample size.
// Demosaic.cpp compiles it once per instruction set through ForEachWidth.h, with `V` naming
// that width's operations (VectorOps.h). No include guard, on purpose; no includes, since it
// lands inside a namespace.
//
// Scalar form, per output pixel x of row y (interiorSpanScalar in Demosaic.cpp):
//   red   = ((9 s + 3 (row neighbour + column neighbour) + diagonal) kRed) >> 11
//   blue  the same with blue's sites and kBlue
//   green = (block green 1 + block green 2) >> 1
// Here the sum is separated: V[c] = 3 N[c] + F[c] down each colour column (near row N, far
// row F), then W[x] = 3 V[near column] + V[far column] along the row.

// Samples T widen to lanes of twice their size: 16-bit lanes for 8-bit rows, 32-bit lanes for
// 16-bit rows.
template <class T>
constexpr int kLane = 2 * sizeof(T);

// Ones in the low half of every lane, where a lane's sample at even column parity sits.
template <class T>
inline V::R lowSampleMask() {
    return sizeof(T) == 1 ? V::set16(0x00FF) : V::set32(0xFFFF);
}
// Samples of column parity `odd` as lanes.
template <class T>
inline V::R sites(V::R v, int odd) {
    if (!odd) return V::and_(v, lowSampleMask<T>());
    if constexpr (sizeof(T) == 1)
        return V::srli16<8>(v);
    else
        return V::srli32<16>(v);
}
template <class T>
inline V::R times3(V::R v) {
    return V::add<kLane<T>>(v, V::add<kLane<T>>(v, v));
}

// Floor average of samples: avg rounds up, so take back the lost low bit.
template <class T>
inline V::R floorAvg(V::R a, V::R b) {
    if constexpr (sizeof(T) == 1)
        return V::sub8(V::avgU8(a, b), V::and_(V::xor_(a, b), V::set8(1)));
    else
        return V::sub16(V::avgU16(a, b), V::and_(V::xor_(a, b), V::set16(1)));
}

// W at even and odd output columns from the column sums at the colour's site (a), the site
// two columns left (am) and two right (ap). Sites at column parity 0: even x is the site
// itself (far column x - 2), odd x has its site at x - 1 (far x + 2). Parity 1: even x has
// its site at x - 1 (far x + 1), odd x is the site (far x - 2).
struct EvenOdd {
    V::R even;
    V::R odd;
};

// The column sums V at columns x ... of the colour's column parity, as lanes.
template <class T>
inline V::R vsum(const T* nearRow, const T* farRow, int x, int col) {
    return V::add<kLane<T>>(times3<T>(sites<T>(V::loadu(nearRow + x), col)),
                            sites<T>(V::loadu(farRow + x), col));
}

// The colour factor as colour() takes it: k << 5 for the 16-bit high multiply of 8-bit rows,
// k itself for 16-bit rows.
template <class T>
inline V::R colourFactor(int k) {
    return sizeof(T) == 1 ? V::set16(static_cast<int16_t>(k << 5)) : V::set32(k);
}

// Colour for kBytes / sizeof(T) output pixels from x0 (even), (W k) >> 11 in order. 8-bit:
// a high multiply with k << 5, saturated to 255 by the pack. 16-bit: (W k) >> 11 fits in 31
// bits; the signed pack saturates at 65535.
template <class T>
inline V::R colour(const T* nearRow, const T* farRow, int x0, int col, V::R k) {
    const V::R a = vsum(nearRow, farRow, x0, col);
    const V::R am = vsum(nearRow, farRow, x0 - 2, col);
    EvenOdd w;
    if (col == 0) {
        w = {V::add<kLane<T>>(times3<T>(a), am),
             V::add<kLane<T>>(times3<T>(a), vsum(nearRow, farRow, x0 + 2, col))};
    } else {
        w = {V::add<kLane<T>>(times3<T>(am), a), V::add<kLane<T>>(times3<T>(a), am)};
    }
    if constexpr (sizeof(T) == 1) {
        const V::R even = V::mulhiU16(w.even, k);
        const V::R odd = V::mulhiU16(w.odd, k);
        return V::packusI16(V::unpacklo16(even, odd), V::unpackhi16(even, odd));
    } else {
        const V::R even = V::srli32<11>(V::mullo32(w.even, k));
        const V::R odd = V::srli32<11>(V::mullo32(w.odd, k));
        return V::packusI32(V::unpacklo32(even, odd), V::unpackhi32(even, odd));
    }
}

// Output row y over columns [x0, x1); returns the first column not done.
template <class T>
int interiorRow(const Job& j, int y, int x0, int x1) {
    const RowPlan p = planRow(*j.raw, j.mode, y);
    const auto* redNear = reinterpret_cast<const T*>(p.redNear);
    const auto* redFar = reinterpret_cast<const T*>(p.redFar);
    const auto* blueNear = reinterpret_cast<const T*>(p.blueNear);
    const auto* blueFar = reinterpret_cast<const T*>(p.blueFar);
    const auto* up = reinterpret_cast<const T*>(p.up);
    const auto* lo = reinterpret_cast<const T*>(p.lo);
    const V::R kr = colourFactor<T>(j.kRed);
    const V::R kb = colourFactor<T>(j.kBlue);
    // Pixel x takes the first block average when column x - 1 of row y - 1 is green.
    const V::R evenLanes = lowSampleMask<T>();
    uint8_t* orow = j.out->row(y);
    const int w = j.raw->width;
    constexpr int kSample = sizeof(T);
    const bool four = j.out->bytesPerPixel == 4 * kSample;
    constexpr int kStep = V::kBytes / kSample;
    constexpr int kHalfStep = 16 / kSample;  // pixels per 128-bit half
    int x = x0;
    for (; x + kStep + 2 <= w && x + kStep <= x1; x += kStep) {
        const V::R r = colour(redNear, redFar, x, p.redCol, kr);
        const V::R b = colour(blueNear, blueFar, x, p.blueCol, kb);
        const V::R ga = floorAvg<T>(V::loadu(up + x - 1), V::loadu(lo + x));  // up x-1, low x
        const V::R gb = floorAvg<T>(V::loadu(up + x), V::loadu(lo + x - 1));  // up x, low x-1
        const V::R g =
            p.greenUpCol == 1 ? V::select(evenLanes, ga, gb) : V::select(evenLanes, gb, ga);
        for (int h = 0; h < V::kHalves; ++h) {
            const ptrdiff_t px = x + kHalfStep * h;
            if (four)
                store4<T>(orow + px * 4 * kSample, V::half(b, h), V::half(g, h), V::half(r, h));
            else
                store3<T>(orow + px * 3 * kSample, V::half(b, h), V::half(g, h), V::half(r, h));
        }
    }
    return x;
}
