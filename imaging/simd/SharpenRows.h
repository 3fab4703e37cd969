// The vector forms of the sharpening row kernels, written once for any vector width and
// sample size. Sharpness.cpp compiles them once per instruction set through ForEachWidth.h,
// with `V` naming that width's operations (VectorOps.h) and Sum<T> the type of a four-row sum
// of samples T. No include guard, on purpose; no includes, since it lands inside a namespace.
// Each kernel returns the samples it did; the scalar loop (Sharpness.cpp) finishes the row.
//
// Scalar form, per sample i of an output row with the vertical four-row sums v:
//   blur = (v[i - 2c] + v[i - c] + v[i] + v[i + c]) >> 4
//   out  = orig + trunc(k (orig - blur) / 10), limited to the sample range
//
// 8-bit rows work in 16-bit lanes. |k (orig - blur)| <= 7650, and for such x,
// |x| / 10 == (|x| x 6554) >> 16 exactly (the error of 6554 / 65536 against 1 / 10 stays
// below 1 / 20 there), so the division is a high multiply on the magnitude with the sign put
// back; the saturating pack is the limit.
//
// 16-bit rows work in 32-bit lanes. |k (orig - blur)| <= 30 x 65535 < 2^24 is exact in single
// precision, and its quotient by 10, correctly rounded, never crosses an integer (a
// non-integral quotient is at least 0.1 away from one, far above the rounding error), so
// truncating the float quotient is the integer division; the saturating pack is the limit.

// Samples of one row as lanes of the sum's width.
inline V::R widenRow(const uint8_t* p) {
    return V::widenU8(p);
}
inline V::R widenRow(const uint16_t* p) {
    return V::widenU16(p);
}

// Lane size of the sums.
template <class T>
constexpr int kSumBytes = sizeof(Sum<T>);

// v[i] += add[i] - sub[i] over [0, n).
template <class T>
int boxSumStepVector(Sum<T>* v, const T* add, const T* sub, int n) {
    constexpr int kStep = V::kBytes / kSumBytes<T>;
    int i = 0;
    for (; i + kStep <= n; i += kStep) {
        const V::R sums = V::add<kSumBytes<T>>(V::loadu(v + i), widenRow(add + i));
        V::storeu(v + i, V::sub<kSumBytes<T>>(sums, widenRow(sub + i)));
    }
    return i;
}

template <class T>
int sharpenRowVector(T* out, const T* orig, const Sum<T>* v, int c, int i0, int n, int k) {
    constexpr int kStep = V::kBytes / kSumBytes<T>;
    const V::R kk = sizeof(T) == 1 ? V::set16(static_cast<int16_t>(k)) : V::set32(k);
    const V::R tenth = V::set16(6554);
    int j = 0;
    for (; j + kStep <= n; j += kStep) {
        const int i = i0 + j;
        const V::R four =
            V::add<kSumBytes<T>>(V::add<kSumBytes<T>>(V::loadu(v + i - 2 * c), V::loadu(v + i - c)),
                                 V::add<kSumBytes<T>>(V::loadu(v + i), V::loadu(v + i + c)));
        const V::R o = widenRow(orig + i);
        if constexpr (sizeof(T) == 1) {
            const V::R x = V::mullo16(kk, V::sub16(o, V::srli16<4>(four)));
            const V::R q = V::sign16(V::mulhiU16(V::abs16(x), tenth), x);
            V::storeNarrowU8(out + i, V::add16(o, q));
        } else {
            const V::R x = V::mullo32(kk, V::sub32(o, V::srli32<4>(four)));
            V::storeNarrowU16(out + i, V::add32(o, V::truncDiv32(x, 10.0f)));
        }
    }
    return j;
}
