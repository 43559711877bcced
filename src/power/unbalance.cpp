// Symmetrical components of a three-phase system and its unbalance ratios
// (contract in zrcalc.h). Three paths in two precisions, each fixed to its bits:
//  - element 0 alone, in double with the C runtime's sine and cosine: the
//    zero-, positive- and negative-sequence phasors, each term times 1/3;
//  - the totals over elements 0 .. 4 floor(n/4) - 1, in single precision with the
//    fast sine and cosine (fastmath/sin_cos.h): four accumulator lanes, lane k
//    taking the elements whose index is k mod 4, in ascending order;
//  - the elements after those, one at a time in double, each squared magnitude
//    rounded to float and added to its total in float.
// The bulk takes eight elements per step: angles, kernel and sums on eight lanes
// (no lane's bits depend on another's), then the lower four elements are folded
// into the accumulators before the upper four, the order of the four-lane rule. A
// last group of four runs in the lower lanes alone.
//
// Every output is written once, at the end; the three sums need seven sine and
// cosine pairs per element, as phase 1 is never rotated.
#include <immintrin.h>

#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>

#include "common/lanes.h"
#include "fastmath/sin_cos.h"
#include "zrcalc.h"

namespace {

using zrcalc::fused_multiply_add;

constexpr double kRadiansPerDegree = 0.017453292519943295;   // pi/180 in double
constexpr float kRadiansPerDegreeFloat = 0.0174532924f;      // the float nearest pi/180
constexpr double kThird = 1.0 / 3.0;                          // the double nearest 1/3

// Degrees subtracted from the angles of phases 2 and 3 in the zero-, positive-
// and negative-sequence sum; 0 means no subtraction.
constexpr float kRotation2[3] = {0.0f, 120.0f, 240.0f};
constexpr float kRotation3[3] = {0.0f, 240.0f, 120.0f};

struct Phases {
    const float* amplitude[3];
    const float* angle[3];
};

// --- Double precision: element 0 and the tail --------------------------------

struct CosSin {
    double cos, sin;
};

// The angle less the rotation in float, widened and turned to radians in double.
CosSin rotated(float degrees, float rotation)
{
    if (rotation != 0.0f) degrees -= rotation;
    const double radians = static_cast<double>(degrees) * kRadiansPerDegree;
    return {std::cos(radians), std::sin(radians)};
}

// One element: its amplitudes widened, and for sum k the cosine and sine of each
// phase's rotated angle.
struct ElementInDouble {
    double amplitude[3];
    CosSin phase[3][3];  // [sum][phase]
};

ElementInDouble element_in_double(const Phases& v, std::size_t i)
{
    ElementInDouble e;
    for (int p = 0; p < 3; ++p) e.amplitude[p] = v.amplitude[p][i];
    const CosSin first = rotated(v.angle[0][i], 0.0f);
    for (int k = 0; k < 3; ++k) {
        e.phase[k][0] = first;
        e.phase[k][1] = rotated(v.angle[1][i], kRotation2[k]);
        e.phase[k][2] = rotated(v.angle[2][i], kRotation3[k]);
    }
    return e;
}

// Phasor of sum k, divided by 3 term by term: each product A cos rounded to double,
// then times 1/3 fused with the addition of the phases before it.
ZrcalcComplexFloat sequence_phasor(const ElementInDouble& e, int k)
{
    double re = (e.amplitude[0] * e.phase[k][0].cos) * kThird;
    double im = (e.amplitude[0] * e.phase[k][0].sin) * kThird;
    for (int p = 1; p < 3; ++p) {
        re = fused_multiply_add(e.amplitude[p] * e.phase[k][p].cos, kThird, re);
        im = fused_multiply_add(e.amplitude[p] * e.phase[k][p].sin, kThird, im);
    }
    return {static_cast<float>(re), static_cast<float>(im)};
}

// |sum k|^2 of one element: phase 1's product rounded, phases 2 and 3 fused onto
// it; im im rounded, re re fused with the addition; the result rounded to float.
float squared_sum(const ElementInDouble& e, int k)
{
    double re = e.amplitude[0] * e.phase[k][0].cos;
    double im = e.amplitude[0] * e.phase[k][0].sin;
    for (int p = 1; p < 3; ++p) {
        re = fused_multiply_add(e.amplitude[p], e.phase[k][p].cos, re);
        im = fused_multiply_add(e.amplitude[p], e.phase[k][p].sin, im);
    }
    return static_cast<float>(fused_multiply_add(re, re, im * im));
}

// --- Single precision: the bulk ----------------------------------------------

struct Sums {
    __m256 re[3], im[3];
};

// The three sums of eight elements, each sum's terms in the order of the double
// path: phase 1's product rounded, then phase 2 and phase 3 fused onto it.
Sums sequence_sums(const __m256 amplitude[3], const __m256 angle[3])
{
    const auto sine_and_cosine = [](__m256 degrees, float rotation) {
        if (rotation != 0.0f) degrees = _mm256_sub_ps(degrees, _mm256_set1_ps(rotation));
        return zrcalc::FastSinCos(_mm256_mul_ps(degrees, _mm256_set1_ps(kRadiansPerDegreeFloat)));
    };
    const zrcalc::SinCos8 first = sine_and_cosine(angle[0], 0.0f);
    const __m256 re1 = _mm256_mul_ps(amplitude[0], first.cosine);
    const __m256 im1 = _mm256_mul_ps(amplitude[0], first.sine);
    Sums s;
    for (int k = 0; k < 3; ++k) {
        const zrcalc::SinCos8 second = sine_and_cosine(angle[1], kRotation2[k]);
        const zrcalc::SinCos8 third = sine_and_cosine(angle[2], kRotation3[k]);
        s.re[k] = _mm256_fmadd_ps(amplitude[2], third.cosine, _mm256_fmadd_ps(amplitude[1], second.cosine, re1));
        s.im[k] = _mm256_fmadd_ps(amplitude[2], third.sine, _mm256_fmadd_ps(amplitude[1], second.sine, im1));
    }
    return s;
}

// acc = im im + (re re + acc), both fused.
__m128 add_squares(__m128 acc, __m128 re, __m128 im) { return _mm_fmadd_ps(im, im, _mm_fmadd_ps(re, re, acc)); }

__m128 lower(__m256 v) { return _mm256_castps256_ps128(v); }
__m128 upper(__m256 v) { return _mm256_extractf128_ps(v, 1); }

// (lane 0 + lane 1) + (lane 2 + lane 3).
float sum_lanes_01_23(__m128 v)
{
    const __m128 pairs = _mm_add_ps(v, _mm_movehdup_ps(v));  // v0 + v1 in lane 0, v2 + v3 in lane 2
    return _mm_cvtss_f32(_mm_add_ss(pairs, _mm_movehl_ps(pairs, pairs)));
}

// The totals' squared sums over elements 0 .. bulk-1 (a multiple of four).
void add_bulk(const Phases& v, std::size_t bulk, float total[3])
{
    __m128 acc[3] = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
    __m256 amplitude[3], angle[3];
    std::size_t i = 0;
    for (; bulk - i >= 8; i += 8) {
        for (int p = 0; p < 3; ++p) {
            amplitude[p] = _mm256_loadu_ps(v.amplitude[p] + i);
            angle[p] = _mm256_loadu_ps(v.angle[p] + i);
        }
        const Sums s = sequence_sums(amplitude, angle);
        for (int k = 0; k < 3; ++k) {
            acc[k] = add_squares(acc[k], lower(s.re[k]), lower(s.im[k]));
            acc[k] = add_squares(acc[k], upper(s.re[k]), upper(s.im[k]));
        }
    }
    if (i < bulk) {  // four elements: only they are read, the upper lanes are zero
        for (int p = 0; p < 3; ++p) {
            amplitude[p] = _mm256_zextps128_ps256(_mm_loadu_ps(v.amplitude[p] + i));
            angle[p] = _mm256_zextps128_ps256(_mm_loadu_ps(v.angle[p] + i));
        }
        const Sums s = sequence_sums(amplitude, angle);
        for (int k = 0; k < 3; ++k) acc[k] = add_squares(acc[k], lower(s.re[k]), lower(s.im[k]));
    }
    for (int k = 0; k < 3; ++k) total[k] = sum_lanes_01_23(acc[k]);
}

float magnitude(ZrcalcComplexFloat z) { return std::abs(std::complex<float>(z.real, z.imag)); }  // cabsf

}  // namespace

void ZRCALC_STDCALL zrcalcPowerUnbalance(const PowerUnbalanceParams* params)
{
    const PowerUnbalanceParams& b = *params;
    const Phases v = {{b.amplitude1, b.amplitude2, b.amplitude3}, {b.angle1, b.angle2, b.angle3}};
    const std::size_t count = b.count;

    const ElementInDouble first = element_in_double(v, 0);  // read even when count is 0
    const ZrcalcComplexFloat zero = sequence_phasor(first, 0);
    const ZrcalcComplexFloat positive = sequence_phasor(first, 1);
    const ZrcalcComplexFloat negative = sequence_phasor(first, 2);

    float total[3] = {0.0f, 0.0f, 0.0f};
    const std::size_t bulk = count / 4 * 4;
    if (bulk != 0) add_bulk(v, bulk, total);
    for (std::size_t i = bulk; i < count; ++i) {
        const ElementInDouble e = element_in_double(v, i);
        for (int k = 0; k < 3; ++k) total[k] += squared_sum(e, k);
    }
    for (float& t : total) t = static_cast<float>(std::sqrt(static_cast<double>(t)) * kThird);

    // Ratios: a reference that is zero or NaN fails the test and gives 0.
    float zeroPhasorRatio = 0.0f, negativePhasorRatio = 0.0f, zeroTotalRatio = 0.0f, negativeTotalRatio = 0.0f;
    const float reference = magnitude(positive);
    if (reference > 0.0f) {
        const float scale = 100.0f / reference;
        zeroPhasorRatio = magnitude(zero) * scale;
        negativePhasorRatio = magnitude(negative) * scale;
    }
    if (total[1] > 0.0f) {
        const float scale = 100.0f / total[1];
        zeroTotalRatio = scale * total[0];
        negativeTotalRatio = scale * total[2];
    }

    *b.zeroTotal = total[0];
    *b.positiveTotal = total[1];
    *b.negativeTotal = total[2];
    *b.negativeUnbalanceTotal = negativeTotalRatio;
    *b.zeroUnbalanceTotal = zeroTotalRatio;
    *b.negativeUnbalancePhasor = negativePhasorRatio;
    *b.zeroUnbalancePhasor = zeroPhasorRatio;
    *b.zeroPhasor = zero;
    *b.positivePhasor = positive;
    *b.negativePhasor = negative;
}
