// Run-time CPU feature checks for the vector paths of the pixel routines. Each vector path has
// a scalar twin that gives the same result; the checks only choose the faster one.
#pragma once

namespace orvane::imaging {

// Highest instruction set a routine may use; Best lets it pick what the CPU has. Lower
// levels exist so that tests can run every path on one machine (they all give the same
// result).
enum class VectorPath { Best, Avx2, Sse, Scalar };

#if defined(__x86_64__) || defined(__i386__)
#define ORVANE_X86 1
#define ORVANE_TARGET_SSE41 __attribute__((target("sse4.1")))
#define ORVANE_TARGET_AVX2 __attribute__((target("avx2")))
#define ORVANE_TARGET_VBMI __attribute__((target("avx512f,avx512bw,avx512vbmi")))

// Every function defined between a BEGIN and END is compiled for that instruction set: a
// kernel body written once is included in one such region per set, each in its own namespace.
#if defined(__clang__)
#define ORVANE_BEGIN_TARGET_SSE41 \
    _Pragma("clang attribute push (__attribute__((target(\"sse4.1\"))), apply_to = function)")
#define ORVANE_BEGIN_TARGET_AVX2 \
    _Pragma("clang attribute push (__attribute__((target(\"avx2\"))), apply_to = function)")
#define ORVANE_END_TARGET _Pragma("clang attribute pop")
#else
#define ORVANE_BEGIN_TARGET_SSE41 _Pragma("GCC push_options") _Pragma("GCC target(\"sse4.1\")")
#define ORVANE_BEGIN_TARGET_AVX2 _Pragma("GCC push_options") _Pragma("GCC target(\"avx2\")")
#define ORVANE_END_TARGET _Pragma("GCC pop_options")
#endif

inline bool cpuHasSse41() {
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("sse4.1"));
    return has;
}
inline bool cpuHasAvx2() {
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
    return has;
}
inline bool pathAllowsVbmi(VectorPath p) {
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx512f") &&
                                                       __builtin_cpu_supports("avx512bw") &&
                                                       __builtin_cpu_supports("avx512vbmi"));
    return p == VectorPath::Best && has;
}
inline bool pathAllowsAvx2(VectorPath p) {
    return (p == VectorPath::Best || p == VectorPath::Avx2) && cpuHasAvx2();
}
inline bool pathAllowsSse41(VectorPath p) {
    return p != VectorPath::Scalar && cpuHasSse41();
}
#else
#define ORVANE_X86 0
inline bool cpuHasSse41() {
    return false;
}
inline bool cpuHasAvx2() {
    return false;
}
#endif

}  // namespace orvane::imaging
