// Compiles one width-generic kernel file once per instruction set: define
// ORVANE_WIDTH_KERNELS as the file's include path, then include this file inside the
// including file's namespace. The kernels land in namespace sse41 (V = Vec128, SSE4.1) and
// namespace avx2 (V = Vec256, AVX2), each inside its own target region. No include guard, on
// purpose: each inclusion expands another kernel file.
#ifndef ORVANE_WIDTH_KERNELS
#error "define ORVANE_WIDTH_KERNELS as the kernel file to compile per width"
#endif

namespace sse41 {
using V = Vec128;
ORVANE_BEGIN_TARGET_SSE41
#include ORVANE_WIDTH_KERNELS
ORVANE_END_TARGET
}  // namespace sse41

namespace avx2 {
using V = Vec256;
ORVANE_BEGIN_TARGET_AVX2
#include ORVANE_WIDTH_KERNELS
ORVANE_END_TARGET
}  // namespace avx2

#undef ORVANE_WIDTH_KERNELS
