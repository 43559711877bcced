// Small helpers shared by the vector kernels. Named by what they compute.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

namespace zrcalc {

// Number of elements of size element_bytes from p up to the first address that
// is a multiple of boundary (a power of two): 0 when p already lies on one.
inline std::uint32_t elements_before_boundary(const void* p, std::uintptr_t boundary, std::uintptr_t element_bytes)
{
    const std::uintptr_t a = reinterpret_cast<std::uintptr_t>(p);
    return static_cast<std::uint32_t>(((boundary - (a & (boundary - 1))) & (boundary - 1)) / element_bytes);
}

// (v0 + v2) + (v1 + v3): the combination order of four double partial sums.
inline double sum_lanes_02_13(__m256d v)
{
    const __m128d lo = _mm256_castpd256_pd128(v);    // v0 v1
    const __m128d hi = _mm256_extractf128_pd(v, 1);  // v2 v3
    const __m128d pairs = _mm_add_pd(lo, hi);        // v0+v2, v1+v3
    return _mm_cvtsd_f64(_mm_add_sd(pairs, _mm_unpackhi_pd(pairs, pairs)));
}

// v held in a register: the compiler may not fold the load that produced it into
// the instruction that uses it. Folded into an instruction that reads less than
// its register width (vfmadd231ss xmm, m32; vcvtps2pd ymm, m128; vpmovsxwd ymm,
// m128), the load is emulated by QEMU 7.2 as a full-width read, which faults on
// an array that ends where an unmapped page begins. Floating-point and vector
// values only.
template <class T>
inline T in_register(T v)
{
    asm("" : "+x"(v));
    return v;
}

}  // namespace zrcalc
