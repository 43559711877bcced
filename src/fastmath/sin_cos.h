// Fast sine and cosine of single-precision angles in radians, four or eight lanes
// at a time: internal, never exported. zrcalcSin_float and the unbalance
// calculation use it; their contracts in zrcalc.h refer to these steps.
//
// Each lane x on its own, in single precision (Cephes' reduction and polynomials):
//  1. a = |x| (the sign bit cleared; it returns in step 5);
//  2. the octant: j = a * 4/pi rounded to float, truncated to int32, then raised to
//     the next even integer; y = j as float;
//  3. the reduced argument r = a - y * pi/4, with -pi/4 split into DP1 + DP2 + DP3
//     (parts of decreasing magnitude): r = y DP1 + a, r = y DP2 + r, r = y DP3 + r,
//     each fused; z = r * r;
//  4. c = fma(t, z, -(0.5 z)) + 1 with t = ((C0 z + C1) z + C2) * z, and
//     s = fma(u, r, r) with u = ((S0 z + S1) z + S2) * z, the inner steps fused;
//  5. where bit 1 of j is set the sine is c and the cosine s, else the other way
//     round; the sine's sign is flipped by the sign of x and by bit 2 of j, the
//     cosine's by bit 2 of ~(j - 2).
// Every fused step rounds once and every other step rounds by itself; another
// grouping changes the last bit, which callers compare. In c the product t z is
// the fused one and 0.5 z is rounded first (exact unless z underflows); fusing
// 0.5 z instead would round t z and change the last bit.
//
// Range: where a * 4/pi (rounded) reaches 2^31, for infinities and for NaN the
// conversion in step 2 gives the integer-indefinite value 0x80000000 and the steps
// above give values without meaning (an infinity or a NaN gives a NaN by chance of
// the polynomials). Those lanes return a NaN with every bit set (0xFFFFFFFF) in
// both forms instead; every other lane keeps the bits of the steps. The largest
// finite magnitude that passes is 1686629632 (0x4EC90FDA).
//
// Why the reduction holds far out: up to j = 2^24 the first two fused steps are
// exact. y DP1 is a multiple of 2^-8 and a - y DP1 lies far below 2^16, y DP2 a
// multiple of 2^-23 and the second remainder below 2, so both fit a float; r is
// then a - y (DP1 + DP2 + DP3) rounded once, and DP1 + DP2 + DP3 is within about
// 2^-50 of -pi/4.
//
// Accuracy, measured against the C library's sinf and cosf at every float of each
// range (absolute error; largest magnitude of x first):
//  - |x| < 2^20: at most 5.97e-8 for both, one unit in the last place of a result
//    in [0.5, 1) (in [0, pi/4) also at most one unit of each result);
//  - |x| < 1.3176e7 (j < 2^24): at most 2.39e-7;
//  - beyond, float(j) is no longer j and the results stop being a sine and a
//    cosine: 4.3e-5 below 2^24, 0.034 below 2^25, and magnitudes far above 1 (up
//    to about 1e12) towards the range limit. Such lanes keep the bits of the steps.
// The sine of -x is exactly the negated sine of x, the cosine the same.
#pragma once

#include <immintrin.h>

#include <cstdint>

namespace zrcalc {

// The constants by their exact bits.
constexpr std::uint32_t kFourOverPi = 0x3FA2F983;  // 1.27323949
constexpr std::uint32_t kMinusPiOver4Part1 = 0xBF490000;  // DP1 -0.78515625
constexpr std::uint32_t kMinusPiOver4Part2 = 0xB97DA000;  // DP2 -2.41875648e-4
constexpr std::uint32_t kMinusPiOver4Part3 = 0xB3222169;  // DP3 -3.77489506e-8
constexpr std::uint32_t kCosineC0 = 0x37CCF5CE;  // 2.44331568e-5
constexpr std::uint32_t kCosineC1 = 0xBAB6061A;  // -1.38873165e-3
constexpr std::uint32_t kCosineC2 = 0x3D2AAAA5;  // 4.16666456e-2
constexpr std::uint32_t kSineS0 = 0xB94CA1F9;  // -1.95152956e-4
constexpr std::uint32_t kSineS1 = 0x3C08839E;  // 8.33216123e-3
constexpr std::uint32_t kSineS2 = 0xBE2AAAA3;  // -0.166666552

inline __m256 sin_cos_constant(std::uint32_t bits) { return _mm256_castsi256_ps(_mm256_set1_epi32(int(bits))); }

// What the sine and the cosine of a lane share.
struct SinCosParts {
    __m256i j;       // the even octant
    __m256 sign;     // the sign bit of x
    __m256 s, c;     // the sine and the cosine polynomial of r
    __m256 invalid;  // every bit set where the octant did not convert
};

inline SinCosParts sin_cos_parts(__m256 x)
{
    const __m256 sign = _mm256_and_ps(x, sin_cos_constant(0x80000000));
    const __m256 a = _mm256_and_ps(x, sin_cos_constant(0x7FFFFFFF));
    const __m256i truncated = _mm256_cvttps_epi32(_mm256_mul_ps(a, sin_cos_constant(kFourOverPi)));
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i j = _mm256_andnot_si256(one, _mm256_add_epi32(truncated, one));
    const __m256 y = _mm256_cvtepi32_ps(j);
    __m256 r = _mm256_fmadd_ps(y, sin_cos_constant(kMinusPiOver4Part1), a);
    r = _mm256_fmadd_ps(y, sin_cos_constant(kMinusPiOver4Part2), r);
    r = _mm256_fmadd_ps(y, sin_cos_constant(kMinusPiOver4Part3), r);
    const __m256 z = _mm256_mul_ps(r, r);

    __m256 t = _mm256_fmadd_ps(sin_cos_constant(kCosineC0), z, sin_cos_constant(kCosineC1));
    t = _mm256_mul_ps(_mm256_fmadd_ps(t, z, sin_cos_constant(kCosineC2)), z);
    const __m256 halfZ = _mm256_mul_ps(_mm256_set1_ps(0.5f), z);
    const __m256 c = _mm256_add_ps(_mm256_fmsub_ps(t, z, halfZ), _mm256_set1_ps(1.0f));

    __m256 u = _mm256_fmadd_ps(sin_cos_constant(kSineS0), z, sin_cos_constant(kSineS1));
    u = _mm256_mul_ps(_mm256_fmadd_ps(u, z, sin_cos_constant(kSineS2)), z);
    const __m256 s = _mm256_fmadd_ps(u, r, r);

    const __m256i indefinite = _mm256_cmpeq_epi32(truncated, _mm256_set1_epi32(INT32_MIN));
    return {j, sign, s, c, _mm256_castsi256_ps(indefinite)};
}

// Bit 1 of j moved to the sign bit, which is all that blendv reads.
inline __m256 swapped(const SinCosParts& p) { return _mm256_castsi256_ps(_mm256_slli_epi32(p.j, 30)); }

// Bit 2 of bits moved to the sign bit, alone.
inline __m256 bit2_as_sign(__m256i bits)
{
    return _mm256_castsi256_ps(_mm256_slli_epi32(_mm256_and_si256(bits, _mm256_set1_epi32(4)), 29));
}

inline __m256 sine_of(const SinCosParts& p)
{
    const __m256 v = _mm256_blendv_ps(p.s, p.c, swapped(p));
    return _mm256_or_ps(_mm256_xor_ps(v, _mm256_xor_ps(p.sign, bit2_as_sign(p.j))), p.invalid);
}

inline __m256 cosine_of(const SinCosParts& p)
{
    const __m256 v = _mm256_blendv_ps(p.c, p.s, swapped(p));
    const __m256i notJMinus2 = _mm256_xor_si256(_mm256_sub_epi32(p.j, _mm256_set1_epi32(2)), _mm256_set1_epi32(-1));
    return _mm256_or_ps(_mm256_xor_ps(v, bit2_as_sign(notJMinus2)), p.invalid);
}

struct SinCos8 {
    __m256 sine, cosine;
};
struct SinCos4 {
    __m128 sine, cosine;
};

// Eight lanes.
inline __m256 FastSin(__m256 x) { return sine_of(sin_cos_parts(x)); }
inline SinCos8 FastSinCos(__m256 x)
{
    const SinCosParts p = sin_cos_parts(x);
    return {sine_of(p), cosine_of(p)};
}

// Four lanes through the same steps: each lane depends on itself alone, so the
// upper four (zeros) change nothing.
inline __m128 FastSin(__m128 x) { return _mm256_castps256_ps128(FastSin(_mm256_zextps128_ps256(x))); }
inline SinCos4 FastSinCos(__m128 x)
{
    const SinCos8 v = FastSinCos(_mm256_zextps128_ps256(x));
    return {_mm256_castps256_ps128(v.sine), _mm256_castps256_ps128(v.cosine)};
}

}  // namespace zrcalc
