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

// The lanes of one core width: bit operations, the exponent field, the fused steps.
struct LogLanes4 {
    using V = __m128;
    using I = __m128i;
    static V constant(std::uint32_t bits) { return _mm_castsi128_ps(_mm_set1_epi32(static_cast<int>(bits))); }
    static I bits(V v) { return _mm_castps_si128(v); }
    static V significand_as_float(I b, I fraction, I one)
    {
        return _mm_castsi128_ps(_mm_or_si128(_mm_and_si128(b, fraction), one));
    }
    static I exponent_field(I b, I mask) { return _mm_and_si128(_mm_srli_epi32(b, 23), mask); }
    static I splat(std::int32_t x) { return _mm_set1_epi32(x); }
    static I subtract(I a, I b) { return _mm_sub_epi32(a, b); }
    static V to_float(I v) { return _mm_cvtepi32_ps(v); }
    static V subtract(V a, V b) { return _mm_sub_ps(a, b); }
    static V fused_multiply_add(V a, V b, V c) { return _mm_fmadd_ps(a, b, c); }
    static V fused_negative_multiply_add(V a, V b, V c) { return _mm_fnmadd_ps(a, b, c); }  // c - a b
};

struct LogLanes8 {
    using V = __m256;
    using I = __m256i;
    static V constant(std::uint32_t bits) { return _mm256_castsi256_ps(_mm256_set1_epi32(static_cast<int>(bits))); }
    static I bits(V v) { return _mm256_castps_si256(v); }
    static V significand_as_float(I b, I fraction, I one)
    {
        return _mm256_castsi256_ps(_mm256_or_si256(_mm256_and_si256(b, fraction), one));
    }
    static I exponent_field(I b, I mask) { return _mm256_and_si256(_mm256_srli_epi32(b, 23), mask); }
    static I splat(std::int32_t x) { return _mm256_set1_epi32(x); }
    static I subtract(I a, I b) { return _mm256_sub_epi32(a, b); }
    static V to_float(I v) { return _mm256_cvtepi32_ps(v); }
    static V subtract(V a, V b) { return _mm256_sub_ps(a, b); }
    static V fused_multiply_add(V a, V b, V c) { return _mm256_fmadd_ps(a, b, c); }
    static V fused_negative_multiply_add(V a, V b, V c) { return _mm256_fnmadd_ps(a, b, c); }
};

// The fit's coefficients and the two final scales, by their exact bits.
constexpr std::uint32_t kLogC3 = 0x3DDBA835;  // 0.107254423
constexpr std::uint32_t kLogC2 = 0x3F3030C0;  // 0.688243866
constexpr std::uint32_t kLogC1 = 0xBFE0D411;  // -1.75647175
constexpr std::uint32_t kLogC0 = 0x402786EE;  // 2.61761045
constexpr std::uint32_t kLog10VectorScale = 0x3E9A209B;  // 0.30103001
constexpr double kLog10ScalarScale = 0x1.3441350201ffdp-2;  // 0.3010299952006788, bits 0x3FD3441350201FFD

template <class Lanes>
typename Lanes::V log2_core(typename Lanes::V x)
{
    using L = Lanes;
    const typename L::I b = L::bits(x);
    const typename L::V m = L::significand_as_float(b, L::splat(0x007FFFFF), L::splat(0x3F800000));  // 1 <= m < 2
    const typename L::I e = L::subtract(L::exponent_field(b, L::splat(0xFF)), L::splat(127));
    const typename L::V t1 = L::fused_negative_multiply_add(L::constant(kLogC3), m, L::constant(kLogC2));
    const typename L::V t2 = L::fused_multiply_add(t1, m, L::constant(kLogC1));
    const typename L::V t3 = L::fused_multiply_add(t2, m, L::constant(kLogC0));
    const typename L::V mMinus1 = L::subtract(m, L::constant(0x3F800000));  // exact
    return L::fused_multiply_add(mMinus1, t3, L::to_float(e));
}

// L ~ log2|x| of each lane, before any scaling to base 10.
inline __m128 FastLog2Core(__m128 x) { return log2_core<LogLanes4>(x); }
inline __m256 FastLog2Core(__m256 x) { return log2_core<LogLanes8>(x); }

// log10|x| of four lanes: L times the float scale, one rounding.
inline __m128 FastLog10x4(__m128 x)
{
    return _mm_mul_ps(FastLog2Core(x), LogLanes4::constant(kLog10VectorScale));
}

// log10|x| of one value: L through the four-lane core (lane 0), widened and scaled
// in double, the product rounded to float.
inline float FastLog10(float x)
{
    const float l = _mm_cvtss_f32(FastLog2Core(_mm_set_ss(x)));
    return static_cast<float>(static_cast<double>(l) * kLog10ScalarScale);
}

}  // namespace zrcalc
