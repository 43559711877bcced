// Fast base-10 logarithm of single-precision values, for plot axes: internal,
// never exported.
//
// One core gives L ~ log2|x| from the bits of x: the exponent field e (bias
// removed) plus a quartic fit of log2 m on the significand m in [1, 2),
//     L = e + (m - 1) * (((c2 - c3 m) m + c1) m + c0),
// evaluated with four fused multiply-adds, each rounded once; a separate multiply
// and add would change the last bit. No branch, no table, no special value
// handled:
//  - powers of two give L = e exactly (the fit vanishes at m = 1), so 1 -> 0;
//  - +-0 gives -127 (m = 1, e = -127), a denormal lies in [-127, -126);
//  - the sign bit takes no part: a negative x gives the result of |x|;
//  - infinity gives 128, a NaN a finite value in (128, 129).
// The forms differ only in the final scaling to base 10:
//  - FastLog10 (one value): L widened to double, times the double scale
//    0x1.3441350201ffdp-2 (a little below log10 2), the product rounded to float;
//  - FastLog10x4 (four lanes): L times the float scale 0.30103001 (0x3E9A209B),
//    rounded once;
//  - FastLog2Core (four or eight lanes) stops at L, for callers that fold the
//    scale into their own (the logarithmic plot mapping).
// So the scalar and the four-lane result of one x may differ in the last bit:
// 0 gives 0xC218EC59 and 0xC218EC5A.
//
// Accuracy, measured against the C library's log10 and log2 (in double) over every
// positive normal float: |FastLog10 - log10|x|| <= 1.2129e-4 (largest at
// 0x77ffffa5), |FastLog10x4 - log10|x|| <= 1.2285e-4 (at 0x087fffff), |L - log2|x||
// <= 3.967e-4 (at 0x00ffffff): the fit's 3.93e-4 just below a power of two plus
// the rounding of L and of the scaling at large exponents. At each power of two
// the result steps up by about 1.2e-4. Within an octave the fit rises with |x|,
// but the rounded evaluation can dip by one rounding step of L: measured at most
// 7.7e-6 in L and 3.9e-6 in base 10.
#pragma once

#include <immintrin.h>

#include <cstdint>

namespace zrcalc {

// The fit's coefficients and the two final scales, by their exact bits.
constexpr std::uint32_t kLogC3 = 0x3DDBA835;             // 0.107254423
constexpr std::uint32_t kLogC2 = 0x3F3030C0;             // 0.688243866
constexpr std::uint32_t kLogC1 = 0xBFE0D411;             // -1.75647175
constexpr std::uint32_t kLogC0 = 0x402786EE;             // 2.61761045
constexpr std::uint32_t kLog10VectorScale = 0x3E9A209B;  // 0.30103001
constexpr double kLog10ScalarScale = 0x1.3441350201ffdp-2;  // 0.3010299952006788, bits 0x3FD3441350201FFD

inline __m256 log_constant(std::uint32_t bits) { return _mm256_castsi256_ps(_mm256_set1_epi32(int(bits))); }

// L ~ log2|x| of each lane, before any scaling to base 10.
inline __m256 FastLog2Core(__m256 x)
{
    const __m256i b = _mm256_castps_si256(x);
    const __m256i fraction = _mm256_and_si256(b, _mm256_set1_epi32(0x007FFFFF));
    const __m256 m = _mm256_castsi256_ps(_mm256_or_si256(fraction, _mm256_set1_epi32(0x3F800000)));  // 1 <= m < 2
    const __m256i field = _mm256_and_si256(_mm256_srli_epi32(b, 23), _mm256_set1_epi32(0xFF));
    const __m256 e = _mm256_cvtepi32_ps(_mm256_sub_epi32(field, _mm256_set1_epi32(127)));
    const __m256 t1 = _mm256_fnmadd_ps(log_constant(kLogC3), m, log_constant(kLogC2));  // c2 - c3 m
    const __m256 t2 = _mm256_fmadd_ps(t1, m, log_constant(kLogC1));
    const __m256 t3 = _mm256_fmadd_ps(t2, m, log_constant(kLogC0));
    return _mm256_fmadd_ps(_mm256_sub_ps(m, _mm256_set1_ps(1.0f)), t3, e);  // m - 1 is exact
}

// Four lanes through the same core: each lane's steps depend on that lane alone,
// so the upper four (zeros) change nothing.
inline __m128 FastLog2Core(__m128 x) { return _mm256_castps256_ps128(FastLog2Core(_mm256_zextps128_ps256(x))); }

// log10|x| of four lanes: L times the float scale, one rounding.
inline __m128 FastLog10x4(__m128 x)
{
    return _mm_mul_ps(FastLog2Core(x), _mm256_castps256_ps128(log_constant(kLog10VectorScale)));
}

// log10|x| of one value: L through the core (lane 0), widened and scaled in
// double, the product rounded to float.
inline float FastLog10(float x)
{
    const float l = _mm_cvtss_f32(FastLog2Core(_mm_set_ss(x)));
    return static_cast<float>(static_cast<double>(l) * kLog10ScalarScale);
}

}  // namespace zrcalc
