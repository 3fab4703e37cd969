// The vector demosaic interior, written once for any vector width. Demosaic.cpp includes
// this file once per instruction set, each time inside its own namespace, inside a target
// region (ORVANE_BEGIN_TARGET_*), and with `V` naming that width's operations (VectorOps.h).
// No include guard, on purpose; no includes, since it lands inside a namespace.
//
// Scalar form, per output pixel x of row y (interiorSpanScalar in Demosaic.cpp):
//   red   = ((9 s + 3 (row neighbour + column neighbour) + diagonal) kRed) >> 11
//   blue  the same with blue's sites and kBlue
//   green = (block green 1 + block green 2) >> 1
// Here the sum is separated: V[c] = 3 N[c] + F[c] down each colour column (near row N, far
// row F), then W[x] = 3 V[near column] + V[far column] along the row.

// Samples of column parity `odd` as 16-bit lanes (8-bit rows) or 32-bit lanes (16-bit rows).
inline V::R sites8(V::R v, int odd) {
    return odd ? V::srli16<8>(v) : V::and_(v, V::set16(0x00FF));
}
inline V::R sites16(V::R v, int odd) {
    return odd ? V::srli32<16>(v) : V::and_(v, V::set32(0xFFFF));
}
inline V::R times3x16(V::R v) {
    return V::add16(v, V::add16(v, v));
}
inline V::R times3x32(V::R v) {
    return V::add32(v, V::add32(v, v));
}

// Floor average: avg rounds up, so take back the lost low bit.
inline V::R floorAvg8(V::R a, V::R b) {
    return V::sub8(V::avgU8(a, b), V::and_(V::xor_(a, b), V::set8(1)));
}
inline V::R floorAvg16(V::R a, V::R b) {
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

// 8-bit colour for kBytes output pixels from x0 (even): (W k) >> 11 as mulhi with k << 5,
// saturated to 255 by the pack.
inline V::R vsum8(const uint8_t* nearRow, const uint8_t* farRow, int x, int col) {
    return V::add16(times3x16(sites8(V::loadu(nearRow + x), col)),
                    sites8(V::loadu(farRow + x), col));
}
inline V::R colour8(const uint8_t* nearRow, const uint8_t* farRow, int x0, int col, V::R k32) {
    const V::R a = vsum8(nearRow, farRow, x0, col);
    const V::R am = vsum8(nearRow, farRow, x0 - 2, col);
    EvenOdd w;
    if (col == 0) {
        w = {V::add16(times3x16(a), am),
             V::add16(times3x16(a), vsum8(nearRow, farRow, x0 + 2, col))};
    } else {
        w = {V::add16(times3x16(am), a), V::add16(times3x16(a), am)};
    }
    const V::R even = V::mulhiU16(w.even, k32);
    const V::R odd = V::mulhiU16(w.odd, k32);
    return V::packusI16(V::unpacklo16(even, odd), V::unpackhi16(even, odd));
}

// 16-bit colour for kBytes / 2 output pixels from x0: (W k) >> 11 fits in 31 bits; the
// signed pack saturates at 65535.
inline V::R vsum16(const uint16_t* nearRow, const uint16_t* farRow, int x, int col) {
    return V::add32(times3x32(sites16(V::loadu(nearRow + x), col)),
                    sites16(V::loadu(farRow + x), col));
}
inline V::R colour16(const uint16_t* nearRow, const uint16_t* farRow, int x0, int col, V::R k) {
    const V::R a = vsum16(nearRow, farRow, x0, col);
    const V::R am = vsum16(nearRow, farRow, x0 - 2, col);
    EvenOdd w;
    if (col == 0) {
        w = {V::add32(times3x32(a), am),
             V::add32(times3x32(a), vsum16(nearRow, farRow, x0 + 2, col))};
    } else {
        w = {V::add32(times3x32(am), a), V::add32(times3x32(a), am)};
    }
    const V::R even = V::srli32<11>(V::mullo32(w.even, k));
    const V::R odd = V::srli32<11>(V::mullo32(w.odd, k));
    return V::packusI32(V::unpacklo32(even, odd), V::unpackhi32(even, odd));
}

// Output row y over columns [x0, x1); returns the first column not done.
int interiorRow8(const Job& j, int y, int x0, int x1) {
    const RowPlan p = planRow(*j.raw, j.mode, y);
    const V::R kr = V::set16(static_cast<int16_t>(j.kRed << 5));
    const V::R kb = V::set16(static_cast<int16_t>(j.kBlue << 5));
    // Pixel x takes the first block average when column x - 1 of row y - 1 is green.
    const V::R evenLanes = V::set16(0x00FF);
    uint8_t* orow = j.out->row(y);
    const int w = j.raw->width;
    const bool four = j.out->bytesPerPixel == 4;
    int x = x0;
    for (; x + V::kBytes + 2 <= w && x + V::kBytes <= x1; x += V::kBytes) {
        const V::R r = colour8(p.redNear, p.redFar, x, p.redCol, kr);
        const V::R b = colour8(p.blueNear, p.blueFar, x, p.blueCol, kb);
        const V::R ga = floorAvg8(V::loadu(p.up + x - 1), V::loadu(p.lo + x));  // up x-1, low x
        const V::R gb = floorAvg8(V::loadu(p.up + x), V::loadu(p.lo + x - 1));  // up x, low x-1
        const V::R g =
            p.greenUpCol == 1 ? V::select(evenLanes, ga, gb) : V::select(evenLanes, gb, ga);
        for (int h = 0; h < V::kHalves; ++h) {
            const ptrdiff_t px = x + 16 * h;
            if (four)
                store8x4(orow + px * 4, V::half(b, h), V::half(g, h), V::half(r, h));
            else
                store8x3(orow + px * 3, V::half(b, h), V::half(g, h), V::half(r, h));
        }
    }
    return x;
}

int interiorRow16(const Job& j, int y, int x0, int x1) {
    const RowPlan p = planRow(*j.raw, j.mode, y);
    const auto* redNear = reinterpret_cast<const uint16_t*>(p.redNear);
    const auto* redFar = reinterpret_cast<const uint16_t*>(p.redFar);
    const auto* blueNear = reinterpret_cast<const uint16_t*>(p.blueNear);
    const auto* blueFar = reinterpret_cast<const uint16_t*>(p.blueFar);
    const auto* up = reinterpret_cast<const uint16_t*>(p.up);
    const auto* lo = reinterpret_cast<const uint16_t*>(p.lo);
    const V::R kr = V::set32(j.kRed);
    const V::R kb = V::set32(j.kBlue);
    const V::R evenLanes = V::set32(0xFFFF);
    uint8_t* orow = j.out->row(y);
    const int w = j.raw->width;
    const bool four = j.out->bytesPerPixel == 8;
    constexpr int kStep = V::kBytes / 2;
    int x = x0;
    for (; x + kStep + 2 <= w && x + kStep <= x1; x += kStep) {
        const V::R r = colour16(redNear, redFar, x, p.redCol, kr);
        const V::R b = colour16(blueNear, blueFar, x, p.blueCol, kb);
        const V::R ga = floorAvg16(V::loadu(up + x - 1), V::loadu(lo + x));
        const V::R gb = floorAvg16(V::loadu(up + x), V::loadu(lo + x - 1));
        const V::R g =
            p.greenUpCol == 1 ? V::select(evenLanes, ga, gb) : V::select(evenLanes, gb, ga);
        for (int h = 0; h < V::kHalves; ++h) {
            const ptrdiff_t px = x + 8 * h;
            if (four)
                store16x4(orow + px * 8, V::half(b, h), V::half(g, h), V::half(r, h));
            else
                store16x3(orow + px * 6, V::half(b, h), V::half(g, h), V::half(r, h));
        }
    }
    return x;
}
