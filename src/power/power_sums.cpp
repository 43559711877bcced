// Power sums in double (contract and summation orders in zrcalc.h):
//  - active and reactive power of complex voltage and current lines;
//  - the positive and the negative sums of sample products (energy), over every
//    sample or over the samples that a condition array selects;
//  - a scaled copy of a double vector to float with the sum of its absolute values;
//  - the sum of squares of a scaled float vector.
//
// Every sum has a fixed order, which fixes its last bits; each kernel walks that
// order and nothing else:
//  - power: line 0 halved, lines 1 to 3 one by one, from 8 lines on four partial
//    sums over the whole groups of four lines from line 4, the rest one by one, an
//    odd count's last line halved;
//  - energy and sum of squares: eight lane sums (per sign) over the whole groups
//    of eight, folded as c_j = lane_(j+4) + lane_j, (c_0 + c_1) + (c_2 + c_3), then
//    the rest one by one;
//  - the conditional energy and the absolute sum of the scaled copy: one element
//    after another.
// The vector loops load unaligned and peel nothing; the tails are scalar.
#include <immintrin.h>

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "common/lanes.h"
#include "zrcalc.h"

namespace {

using zrcalc::lower_floats_as_doubles;
using zrcalc::upper_floats_as_doubles;

// --- Active and reactive power -------------------------------------------------

// p = ur*ir + ui*ii and q = ui*ir - ur*ii of one line pair in double. A product of
// two floats is exact in double, so each value is rounded once, at the addition.
struct LinePower {
    double p, q;
};

LinePower line_power(const float* voltage, const float* current, std::size_t k)
{
    const double ur = voltage[2 * k], ui = voltage[2 * k + 1];
    const double ir = current[2 * k], ii = current[2 * k + 1];
    return {ur * ir + ui * ii, ui * ir - ur * ii};
}

// Lines first .. last-1 added one after another to the running sums.
void add_lines(const float* voltage, const float* current, std::size_t first, std::size_t last, LinePower& sum)
{
    for (std::size_t k = first; k < last; ++k) {
        const LinePower line = line_power(voltage, current, k);
        sum.p += line.p;
        sum.q += line.q;
    }
}

// Four lines widened to double and split into real and imaginary parts. The
// unpacks leave lines in the lane order 0, 2, 1, 3, so lanes 0 to 3 of an
// accumulator are the partial sums B0, B2, B1, B3, and the block total
// (B0 + B2) + (B1 + B3) is the sum of adjacent lanes.
struct FourLines {
    __m256d re, im;
};

FourLines four_lines(const float* lines)
{
    const __m256 v = _mm256_loadu_ps(lines);
    const __m256d lines01 = lower_floats_as_doubles(v), lines23 = upper_floats_as_doubles(v);
    return {_mm256_unpacklo_pd(lines01, lines23), _mm256_unpackhi_pd(lines01, lines23)};
}

// Lines first .. last-1 (a whole number of groups of four) into the four partial
// sums, then their block total added to the running sums. Each p and q is rounded
// once as in line_power: the products are exact.
void add_line_block(const float* voltage, const float* current, std::size_t first, std::size_t last,
                    LinePower& sum)
{
    __m256d p = _mm256_setzero_pd();
    __m256d q = _mm256_setzero_pd();
    for (std::size_t k = first; k < last; k += 4) {
        const FourLines u = four_lines(voltage + 2 * k), i = four_lines(current + 2 * k);
        p = _mm256_add_pd(p, _mm256_add_pd(_mm256_mul_pd(u.re, i.re), _mm256_mul_pd(u.im, i.im)));
        q = _mm256_add_pd(q, _mm256_sub_pd(_mm256_mul_pd(u.im, i.re), _mm256_mul_pd(u.re, i.im)));
    }
    sum.p += zrcalc::sum_lanes_01_23(p);
    sum.q += zrcalc::sum_lanes_01_23(q);
}

// --- Eight lane sums ---------------------------------------------------------------

// Lane j takes the elements 8g + j: lo holds lanes 0 to 3, hi lanes 4 to 7.
struct EightLanes {
    __m256d lo = _mm256_setzero_pd(), hi = _mm256_setzero_pd();

    void add(__m256 eight)
    {
        lo = _mm256_add_pd(lo, lower_floats_as_doubles(eight));
        hi = _mm256_add_pd(hi, upper_floats_as_doubles(eight));
    }
    // The square of a widened float is exact in double: the fused step rounds
    // only the addition, as a separate multiply and add would.
    void add_squares(__m256 eight)
    {
        const __m256d wideLo = lower_floats_as_doubles(eight), wideHi = upper_floats_as_doubles(eight);
        lo = _mm256_fmadd_pd(wideLo, wideLo, lo);
        hi = _mm256_fmadd_pd(wideHi, wideHi, hi);
    }
    // c_j = lane_(j+4) + lane_j, then (c_0 + c_1) + (c_2 + c_3).
    double total() const { return zrcalc::sum_lanes_01_23(_mm256_add_pd(hi, lo)); }
};

// --- Energy -------------------------------------------------------------------------

struct SignedSums {
    double positive = 0.0, negative = 0.0;

    // A product below zero goes to the negative sum; zero, -0, positive and NaN
    // to the positive sum.
    void add(float product)
    {
        if (product < 0.0f)
            negative += product;
        else
            positive += product;
    }
};

// Each product in the lanes of its sign, +0 in the lanes of the other. Adding +0
// changes no lane: a positive lane starts at +0 and adds values that are not below
// zero, so it is never -0 (+0 + -0 is +0); a negative lane adds values below zero
// only. So the masked adds give the sums of the selected products exactly.
SignedSums energy_lanes(const float* factor1, const float* factor2, std::size_t grouped)
{
    EightLanes positive, negative;
    for (std::size_t i = 0; i < grouped; i += 8) {
        const __m256 product = _mm256_mul_ps(_mm256_loadu_ps(factor1 + i), _mm256_loadu_ps(factor2 + i));
        const __m256 belowZero = _mm256_cmp_ps(product, _mm256_setzero_ps(), _CMP_LT_OQ);
        positive.add(_mm256_andnot_ps(belowZero, product));
        negative.add(_mm256_and_ps(belowZero, product));
    }
    SignedSums sums;
    sums.positive = positive.total();
    sums.negative = negative.total();
    return sums;
}

// The conditional sums are one chain per sign, element after element. Four
// samples at a time are multiplied and masked in vectors (an unselected sample
// gives +0 to both signs, a selected one +0 to the other sign, which changes no
// sum, as above), and their (positive, negative) pairs enter one two-lane sum in
// index order: one addition per sample, no branch on the data.
SignedSums conditional_energy(const float* factor1, const float* factor2, const float* condition,
                              std::size_t count)
{
    __m128d sums = _mm_setzero_pd();  // positive, negative
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128 product = _mm_mul_ps(_mm_loadu_ps(factor1 + i), _mm_loadu_ps(factor2 + i));
        const __m128 taken = _mm_cmpgt_ps(_mm_loadu_ps(condition + i), _mm_set1_ps(0.5f));  // NaN: not taken
        const __m128 belowZero = _mm_cmplt_ps(product, _mm_setzero_ps());
        const __m256d positive = _mm256_cvtps_pd(_mm_and_ps(taken, _mm_andnot_ps(belowZero, product)));
        const __m256d negative = _mm256_cvtps_pd(_mm_and_ps(taken, _mm_and_ps(belowZero, product)));
        const __m256d pairs02 = _mm256_unpacklo_pd(positive, negative);  // samples 0 and 2
        const __m256d pairs13 = _mm256_unpackhi_pd(positive, negative);  // samples 1 and 3
        sums = _mm_add_pd(sums, _mm256_castpd256_pd128(pairs02));
        sums = _mm_add_pd(sums, _mm256_castpd256_pd128(pairs13));
        sums = _mm_add_pd(sums, _mm256_extractf128_pd(pairs02, 1));
        sums = _mm_add_pd(sums, _mm256_extractf128_pd(pairs13, 1));
    }
    SignedSums rest;
    rest.positive = _mm_cvtsd_f64(sums);
    rest.negative = _mm_cvtsd_f64(_mm_unpackhi_pd(sums, sums));
    for (; i < count; ++i)
        if (condition[i] > 0.5f) rest.add(factor1[i] * factor2[i]);
    return rest;
}

// --- Scaled copy with its absolute sum ----------------------------------------------

// y_i = float(double(factor) * source_i). Four at a time: the doubles are read
// before their floats are stored, and a float lands on bytes of doubles below
// i + 2, so the copy may narrow a buffer into itself. The absolute sum, when asked
// for, is one chain of additions in index order.
template <bool kSumAbsolute>
double scale_to_float(const double* source, float* destination, double factor, std::size_t count)
{
    double sum = 0.0;
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128 y = _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_set1_pd(factor), _mm256_loadu_pd(source + i)));
        _mm_storeu_ps(destination + i, y);
        if constexpr (kSumAbsolute) {
            const __m256d a = _mm256_cvtps_pd(_mm_andnot_ps(_mm_set1_ps(-0.0f), y));
            const __m128d a01 = _mm256_castpd256_pd128(a), a23 = _mm256_extractf128_pd(a, 1);
            sum += _mm_cvtsd_f64(a01);
            sum += _mm_cvtsd_f64(_mm_unpackhi_pd(a01, a01));
            sum += _mm_cvtsd_f64(a23);
            sum += _mm_cvtsd_f64(_mm_unpackhi_pd(a23, a23));
        }
    }
    for (; i < count; ++i) {
        const float y = static_cast<float>(factor * source[i]);
        destination[i] = y;
        if constexpr (kSumAbsolute) sum += static_cast<double>(std::fabs(y));
    }
    return sum;
}

}  // namespace

void ZRCALC_STDCALL zrcalcPowerPandQsum(const float* voltage, const float* current, int32_t count,
                                       double* activePower, double* reactivePower)
{
    LinePower sum{0.0, 0.0};
    if (count > 0) {
        const std::size_t n = static_cast<std::size_t>(count);
        const std::size_t even = n / 2 * 2;
        const LinePower first = line_power(voltage, current, 0);
        sum = {first.p * 0.5, first.q * 0.5};  // exact: a value of two float products is far above the subnormals
        add_lines(voltage, current, 1, even < 4 ? even : 4, sum);
        std::size_t next = 4;
        if (n >= 8) {
            next = n / 4 * 4;
            add_line_block(voltage, current, 4, next, sum);
        }
        add_lines(voltage, current, next, even, sum);
        if (n % 2 == 1 && n >= 3) {
            const LinePower last = line_power(voltage, current, n - 1);
            sum.p += last.p * 0.5;
            sum.q += last.q * 0.5;
        }
    }
    *activePower = sum.p;
    *reactivePower = sum.q;
}

void ZRCALC_STDCALL zrcalcPowerCalculatePosAndNegEnergy(const float* factor1, const float* factor2, int32_t count,
                                                       double* positiveSum, double* negativeSum)
{
    const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
    const std::size_t grouped = n / 8 * 8;
    SignedSums sums = grouped != 0 ? energy_lanes(factor1, factor2, grouped) : SignedSums{};
    for (std::size_t i = grouped; i < n; ++i) sums.add(factor1[i] * factor2[i]);
    *positiveSum = sums.positive;
    *negativeSum = sums.negative;
}

void ZRCALC_STDCALL zrcalcPowerCalculatePosAndNegEnergyOnCondition(const float* factor1, const float* factor2,
                                                                  const float* condition, int32_t count,
                                                                  double* positiveSum, double* negativeSum)
{
    const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
    const SignedSums sums = conditional_energy(factor1, factor2, condition, n);
    *positiveSum = sums.positive;
    *negativeSum = sums.negative;
}

void ZRCALC_STDCALL zrcalcPowerSumVectorMultipliedWithScalar_double(PowerScaleSumParams* params)
{
    if (params->count <= 0) return;
    const std::size_t n = static_cast<std::size_t>(params->count);
    const double factor = params->factor;
    if (params->accumulate != 0) {
        const double local = scale_to_float<true>(params->source, params->destination, factor, n);
        params->absoluteSum = local + params->absoluteSum;
    } else {
        scale_to_float<false>(params->source, params->destination, factor, n);
    }
}

double ZRCALC_STDCALL zrcalcPowerMultiplyAndSquareElementsAndSumVector_float(const float* samples, int32_t count,
                                                                            float factor)
{
    const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
    const std::size_t grouped = n / 8 * 8;
    double sum = 0.0;
    if (grouped != 0) {
        EightLanes lanes;
        for (std::size_t i = 0; i < grouped; i += 8)
            lanes.add_squares(_mm256_mul_ps(_mm256_loadu_ps(samples + i), _mm256_set1_ps(factor)));
        sum = lanes.total();
    }
    for (std::size_t i = grouped; i < n; ++i) {
        const double y = samples[i] * factor;  // the product in float, then widened
        sum += y * y;
    }
    return sum;
}
