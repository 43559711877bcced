// Sums of double and float arrays, accumulated in double: the plain sum, the sum
// of absolute values, the sum of squares and the dot product of two arrays. Their
// order of operations, which fixes the last bits, is in zrcalc.h: two 4-lane
// accumulators A and B over the groups of eight, V = B + A, (V0 + V1) + (V2 + V3),
// then the rest one at a time.
//
// The members differ only in the term of an element and in the step that adds it
// (acc + t, or a fused fma(a, b, acc)); each member below is those two and nothing
// else, and one driver walks the order for all of them.
//
// Speed: each lane of A and B is one chain of dependent additions, so a group of
// eight elements costs at least one add latency however wide the machine is, and
// more accumulators would regroup the lanes and change the result. The loads, the
// widening and the products stay off those chains: a fused step whose product is
// exact is written as a multiply and an add (proof beside the members), since an
// add is the shorter step on the chain. The float members also widen four
// elements per conversion, which bounds them where conversions are scarcer than
// that latency.
//
// A product of two floats widened to double is exact: 24 + 24 significant bits
// fit in 53, and its magnitude lies within 2^-298 .. 2^256, far inside the normal
// doubles, so it neither overflows nor underflows (infinities and NaNs give the
// same special value either way). Then fma(a, b, acc) = round(acc + a*b) =
// round(acc + round(a*b)): the fused step and the separate multiply and add give
// the same bits, whatever acc is.
#include <immintrin.h>

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "common/lanes.h"
#include "zrcalc.h"

namespace {

constexpr std::size_t kLanes = 4;            // doubles per accumulator
constexpr std::size_t kGroup = 2 * kLanes;   // elements per group: A's four, then B's four

using zrcalc::load_floats_as_doubles;

// --- The members: add4 adds the terms of elements i .. i+3 to four lanes, add1
// --- adds the term of element i to one sum.

struct PlainSumOfDoubles {
    const double* data;
    __m256d add4(__m256d acc, std::size_t i) const { return _mm256_add_pd(acc, _mm256_loadu_pd(data + i)); }
    double add1(double acc, std::size_t i) const { return acc + data[i]; }
};

struct PlainSumOfFloats {
    const float* data;
    __m256d add4(__m256d acc, std::size_t i) const { return _mm256_add_pd(acc, load_floats_as_doubles(data + i)); }
    double add1(double acc, std::size_t i) const { return acc + static_cast<double>(data[i]); }
};

// abs clears the sign bit only: -0 counts as +0 and a NaN stays a NaN.
struct SumOfAbsoluteFloats {
    const float* data;
    __m256d add4(__m256d acc, std::size_t i) const
    {
        const __m256d sign = _mm256_set1_pd(-0.0);
        return _mm256_add_pd(acc, _mm256_andnot_pd(sign, load_floats_as_doubles(data + i)));
    }
    double add1(double acc, std::size_t i) const { return acc + std::fabs(static_cast<double>(data[i])); }
};

// The square of a widened float is exact in double, so the fused step rounds once,
// at the addition, and acc + x * x is that step (see above).
struct SumOfSquaredFloats {
    const float* data;
    __m256d add4(__m256d acc, std::size_t i) const
    {
        const __m256d x = load_floats_as_doubles(data + i);
        return _mm256_add_pd(acc, _mm256_mul_pd(x, x));
    }
    double add1(double acc, std::size_t i) const
    {
        const double x = data[i];
        return std::fma(x, x, acc);
    }
};

// acc + a * b is the fused step fma(a, b, acc): the product is exact (see above).
struct SumOfFloatProducts {
    const float* a;
    const float* b;
    __m256d add4(__m256d acc, std::size_t i) const
    {
        return _mm256_add_pd(acc, _mm256_mul_pd(load_floats_as_doubles(a + i), load_floats_as_doubles(b + i)));
    }
    double add1(double acc, std::size_t i) const
    {
        return std::fma(static_cast<double>(a[i]), static_cast<double>(b[i]), acc);
    }
};

// --- The order, once for all members.

// The whole groups of elements 0 .. groupedCount-1 (a multiple of kGroup, at
// least one group), combined into one sum.
template <class Member>
double sum_whole_groups(const Member& member, std::size_t groupedCount)
{
    __m256d a = _mm256_setzero_pd();
    __m256d b = _mm256_setzero_pd();
    for (std::size_t i = 0; i < groupedCount; i += kGroup) {
        a = member.add4(a, i);
        b = member.add4(b, i + kLanes);
    }
    return zrcalc::sum_lanes_01_23(_mm256_add_pd(b, a));  // adjacent lanes pair first
}

// Elements first .. count-1 added to s one at a time, in ascending order.
template <class Member>
double add_one_by_one(const Member& member, double s, std::size_t first, std::size_t count)
{
    for (std::size_t i = first; i < count; ++i) s = member.add1(s, i);
    return s;
}

template <class Member>
double sum_in_fixed_order(const Member& member, std::uint32_t count)
{
    const std::size_t groupedCount = count / kGroup * kGroup;
    const double grouped = groupedCount != 0 ? sum_whole_groups(member, groupedCount) : 0.0;
    return add_one_by_one(member, grouped, groupedCount, count);
}

}  // namespace

double ZRCALC_STDCALL zrcalcSumValues_double(const double* data, uint32_t count)
{
    return sum_in_fixed_order(PlainSumOfDoubles{data}, count);
}

double ZRCALC_STDCALL zrcalcSumValues_float(const float* data, uint32_t count)
{
    return sum_in_fixed_order(PlainSumOfFloats{data}, count);
}

double ZRCALC_STDCALL zrcalcSumAbsValues_float(const float* data, uint32_t count)
{
    return sum_in_fixed_order(SumOfAbsoluteFloats{data}, count);
}

double ZRCALC_STDCALL zrcalcSumSquaredValues_float(const float* data, uint32_t count)
{
    return sum_in_fixed_order(SumOfSquaredFloats{data}, count);
}

double ZRCALC_STDCALL zrcalcMultiplyVectorsAndCalcSum_float(const float* source1, const float* source2,
                                                            uint32_t count)
{
    return sum_in_fixed_order(SumOfFloatProducts{source1, source2}, count);
}
