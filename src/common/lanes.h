// Lane operations shared by the kernels, named by what they compute: alignment,
// loads, the minimum and maximum steps named by what they do with ties and NaN,
// reductions across lanes, sums of four double lanes in the two orders the
// kernels use, and widening conversions.
#pragma once

#include <immintrin.h>

#include <cmath>
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

// --- Loads that an emulator reads too wide ------------------------------------
// QEMU 7.2, which runs the test programs under `-cpu Haswell` and on 32-bit x86,
// reads more than the memory operand of exactly two instruction families, and so
// faults on an array that ends where an unmapped page begins:
//  - vcvtdq2pd (int32 to double) from memory: 16 bytes for an 8-byte operand, 32
//    for a 16-byte one;
//  - a scalar fused multiply-add (vfmadd...ss/sd) from memory: 16 bytes for a 4- or
//    8-byte operand.
// Every other load form the kernels use reads exactly its operand there, as a
// probe of each form at the end of a page showed: vcvtps2pd, vpmovsx/vpmovzx of
// every width, vbroadcast, vinsertf128, vpinsrw and the scalar add, multiply,
// minimum, maximum, square root and conversions. Hardware reads only the operand
// in every case, so the guard is for the emulated test runs; it costs nothing.
//
// in_register(v) hands v on in a register, so that the compiler cannot fold the
// load that produced it into the instruction that uses it. Floating-point and
// vector values only. The two helpers below apply it where those families occur.
template <class T>
inline T in_register(T v)
{
    asm("" : "+x"(v));
    return v;
}

// Four int32 lanes converted to double, exactly (vcvtdq2pd).
inline __m256d int32x4_to_double(__m128i v) { return _mm256_cvtepi32_pd(in_register(v)); }

// a * b + c rounded once (a scalar vfmadd).
inline float fused_multiply_add(float a, float b, float c)
{
    return std::fma(in_register(a), in_register(b), in_register(c));
}
inline double fused_multiply_add(double a, double b, double c)
{
    return std::fma(in_register(a), in_register(b), in_register(c));
}

// --- Widening conversions (exact) ---------------------------------------------

// Four floats from an address of any alignment, widened to double.
inline __m256d load_floats_as_doubles(const float* p) { return _mm256_cvtps_pd(_mm_loadu_ps(p)); }

// The lower and upper four floats of a vector, widened to double.
inline __m256d lower_floats_as_doubles(__m256 v) { return _mm256_cvtps_pd(_mm256_castps256_ps128(v)); }
inline __m256d upper_floats_as_doubles(__m256 v) { return _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1)); }

// Eight int16 lanes sign-extended to int32.
inline __m256i int16x8_to_int32(__m128i v) { return _mm256_cvtepi16_epi32(v); }

// --- Sums of four double lanes ------------------------------------------------
// Each order gives its own last bit; a kernel names the one its results fix.

// (v0 + v2) + (v1 + v3).
inline double sum_lanes_02_13(__m256d v)
{
    const __m128d pairs = _mm_add_pd(_mm256_castpd256_pd128(v), _mm256_extractf128_pd(v, 1));  // v0+v2, v1+v3
    return _mm_cvtsd_f64(_mm_add_sd(pairs, _mm_unpackhi_pd(pairs, pairs)));
}

// (v0 + v1) + (v2 + v3).
inline double sum_lanes_01_23(__m256d v)
{
    const __m128d v01 = _mm256_castpd256_pd128(v);
    const __m128d v23 = _mm256_extractf128_pd(v, 1);
    const __m128d pairs = _mm_add_pd(_mm_unpacklo_pd(v01, v23), _mm_unpackhi_pd(v01, v23));  // v0+v1, v2+v3
    return _mm_cvtsd_f64(_mm_add_sd(pairs, _mm_unpackhi_pd(pairs, pairs)));
}

// --- Lanes of one element type ------------------------------------------------
// Lanes<T> holds 256 bits of T, Lanes<T, 16> 128 bits. The minimum and maximum
// steps come in two kinds, named by which operand wins when neither is strictly
// beyond the other (a tie, or a NaN on either side):
//  - min_keeping(run, x) / max_keeping(run, x): x replaces run only when strictly
//    smaller (larger). A NaN sample is never taken, a NaN running value stays, and
//    of equal values (+0 and -0) the earlier one stays.
//  - min_taking(run, x) / max_taking(run, x): run stays only when strictly smaller
//    (larger). A NaN sample is taken, and of equal values the later one.
// For integers the two kinds are the same. reduce_min and reduce_max fold the
// lanes into lane 0, halving the width each step (lane i against lane i + half),
// with the taking step: between equal values the higher lane wins.

template <class T, std::size_t Bytes = 32>
struct Lanes;

template <>
struct Lanes<double> {
    using V = __m256d;
    static V load(const double* p) { return _mm256_loadu_pd(p); }
    static V splat(double x) { return _mm256_set1_pd(x); }
    static V min_keeping(V run, V x) { return _mm256_min_pd(x, run); }
    static V max_keeping(V run, V x) { return _mm256_max_pd(x, run); }
    static V min_taking(V run, V x) { return _mm256_min_pd(run, x); }
    static V max_taking(V run, V x) { return _mm256_max_pd(run, x); }
    static V unordered(V a, V b) { return _mm256_cmp_pd(a, b, _CMP_UNORD_Q); }
    static V either(V a, V b) { return _mm256_or_pd(a, b); }
    static bool any(V mask) { return _mm256_movemask_pd(mask) != 0; }
    static __m256i bits(V v) { return _mm256_castpd_si256(v); }
    static V from_bits(__m256i v) { return _mm256_castsi256_pd(v); }
    static double first(V v) { return _mm256_cvtsd_f64(v); }
};

template <>
struct Lanes<float> {
    using V = __m256;
    static V load(const float* p) { return _mm256_loadu_ps(p); }
    static V splat(float x) { return _mm256_set1_ps(x); }
    static V min_keeping(V run, V x) { return _mm256_min_ps(x, run); }
    static V max_keeping(V run, V x) { return _mm256_max_ps(x, run); }
    static V min_taking(V run, V x) { return _mm256_min_ps(run, x); }
    static V max_taking(V run, V x) { return _mm256_max_ps(run, x); }
    static V unordered(V a, V b) { return _mm256_cmp_ps(a, b, _CMP_UNORD_Q); }
    static V either(V a, V b) { return _mm256_or_ps(a, b); }
    static bool any(V mask) { return _mm256_movemask_ps(mask) != 0; }
    static __m256i bits(V v) { return _mm256_castps_si256(v); }
    static V from_bits(__m256i v) { return _mm256_castsi256_ps(v); }
    static float first(V v) { return _mm256_cvtss_f32(v); }
};

// Integer lanes: no NaN, no signed zero, so nothing is ever unordered and the
// keeping and taking steps agree.
template <std::size_t Bytes>
auto integer_vector()
{
    if constexpr (Bytes == 32)
        return __m256i{};
    else
        return __m128i{};
}

template <class T, std::size_t Bytes>
struct IntegerLanes {
    using V = decltype(integer_vector<Bytes>());
    static V unordered(V, V) { return V{}; }
    static bool any(V) { return false; }
    static V min_keeping(V run, V x) { return Lanes<T, Bytes>::min(run, x); }
    static V max_keeping(V run, V x) { return Lanes<T, Bytes>::max(run, x); }
    static V min_taking(V run, V x) { return Lanes<T, Bytes>::min(run, x); }
    static V max_taking(V run, V x) { return Lanes<T, Bytes>::max(run, x); }
    static V bits(V v) { return v; }
    static V from_bits(V v) { return v; }
    static V load(const T* p)
    {
        if constexpr (Bytes == 32)
            return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        else
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    }
    static T first(V v)
    {
        if constexpr (Bytes == 32)
            return static_cast<T>(_mm_cvtsi128_si32(_mm256_castsi256_si128(v)));
        else
            return static_cast<T>(_mm_cvtsi128_si32(v));
    }
};

template <>
struct Lanes<std::int16_t> : IntegerLanes<std::int16_t, 32> {
    static V splat(std::int16_t x) { return _mm256_set1_epi16(x); }
    static V min(V a, V b) { return _mm256_min_epi16(a, b); }
    static V max(V a, V b) { return _mm256_max_epi16(a, b); }
};

template <>
struct Lanes<std::int32_t> : IntegerLanes<std::int32_t, 32> {
    static V splat(std::int32_t x) { return _mm256_set1_epi32(x); }
    static V min(V a, V b) { return _mm256_min_epi32(a, b); }
    static V max(V a, V b) { return _mm256_max_epi32(a, b); }
};

template <>
struct Lanes<std::int16_t, 16> : IntegerLanes<std::int16_t, 16> {
    static V splat(std::int16_t x) { return _mm_set1_epi16(x); }
    static V min(V a, V b) { return _mm_min_epi16(a, b); }
    static V max(V a, V b) { return _mm_max_epi16(a, b); }
};

template <>
struct Lanes<std::int32_t, 16> : IntegerLanes<std::int32_t, 16> {
    static V splat(std::int32_t x) { return _mm_set1_epi32(x); }
    static V min(V a, V b) { return _mm_min_epi32(a, b); }
    static V max(V a, V b) { return _mm_max_epi32(a, b); }
};

// The lanes folded into lane 0 with step (min_taking or max_taking).
template <class T, std::size_t Bytes, class Step>
T reduce_lanes(typename Lanes<T, Bytes>::V v, Step step)
{
    using L = Lanes<T, Bytes>;
    if constexpr (Bytes == 32) {
        v = step(v, L::from_bits(_mm256_permute2x128_si256(L::bits(v), L::bits(v), 0x01)));
        v = step(v, L::from_bits(_mm256_srli_si256(L::bits(v), 8)));
        if constexpr (sizeof(T) <= 4) v = step(v, L::from_bits(_mm256_srli_si256(L::bits(v), 4)));
        if constexpr (sizeof(T) <= 2) v = step(v, L::from_bits(_mm256_srli_si256(L::bits(v), 2)));
    } else {
        v = step(v, _mm_srli_si128(v, 8));
        if constexpr (sizeof(T) <= 4) v = step(v, _mm_srli_si128(v, 4));
        if constexpr (sizeof(T) <= 2) v = step(v, _mm_srli_si128(v, 2));
    }
    return L::first(v);
}

template <class T, std::size_t Bytes = 32>
T reduce_min(typename Lanes<T, Bytes>::V v)
{
    return reduce_lanes<T, Bytes>(v, Lanes<T, Bytes>::min_taking);
}

template <class T, std::size_t Bytes = 32>
T reduce_max(typename Lanes<T, Bytes>::V v)
{
    return reduce_lanes<T, Bytes>(v, Lanes<T, Bytes>::max_taking);
}

}  // namespace zrcalc
