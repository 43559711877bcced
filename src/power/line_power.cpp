// Power of complex spectral lines: the total over a block, and the strongest line
// but line 0 (contracts in zrcalc.h).
//
// Total: one path. Every addition rounds the running sum in turn, so the sum is
// one chain of dependent double additions that no regrouping may shorten; each
// term (a square and a fused step) is formed off that chain, and the chain's
// latency, one addition per line, bounds the loop whatever computes the terms.
//
// Strongest line: below nine lines one line at a time. From nine lines on, two
// sets of eight lanes each keep the largest power they have seen and the line
// where it first appeared, over whole blocks of eight lines; when lines are left
// over, the last eight lines run once more through the second set. Each lane
// sees its lines in rising order and replaces only on a strictly larger power, so
// it holds the first line of its largest power; the lowest such line among the
// lanes that hold the overall largest power is then the lowest line with that
// power, even where the last block repeats lines. So both paths return the same
// line, with the powers formed in the same way.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "common/lanes.h"
#include "zrcalc.h"

namespace {

using zrcalc::fused_multiply_add;

constexpr uint32_t kLanes = 8;

// The power of line k: re * re rounded to float, then im * im added in one fused step.
float line_power(const float* lines, std::size_t k)
{
    const float re = lines[2 * k];
    const float im = lines[2 * k + 1];
    return fused_multiply_add(im, im, re * re);
}

int32_t strongest_line_one_by_one(const float* lines, uint32_t count)
{
    float largest = 0.0f;
    int32_t line = 1;
    for (uint32_t k = 1; k < count; ++k) {
        const float power = line_power(lines, k);
        if (power > largest) largest = power, line = int32_t(k);
    }
    return line;
}

// Eight lanes: the largest power so far (from 0.0) and the line where it first
// appeared (0 while no power has gone above 0.0).
struct Strongest {
    __m256 power = _mm256_setzero_ps();
    __m256i line = _mm256_setzero_si256();
};

// Lines first .. first + 7. The in-lane shuffles that split real and imaginary
// parts leave the lines in the lane order 0 1 4 5 2 3 6 7.
void take_eight_lines(Strongest& s, const float* lines, std::size_t first)
{
    const __m256 a = _mm256_loadu_ps(lines + 2 * first);      // lines first .. first + 3
    const __m256 b = _mm256_loadu_ps(lines + 2 * first + 8);  // lines first + 4 .. first + 7
    const __m256 re = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
    const __m256 im = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
    const __m256 power = _mm256_fmadd_ps(im, im, _mm256_mul_ps(re, re));
    const __m256 larger = _mm256_cmp_ps(power, s.power, _CMP_GT_OQ);  // a NaN power is never larger
    s.power = _mm256_max_ps(power, s.power);                          // keeps s.power beside a NaN
    // A lane's lines only grow, so the new line is above the one it holds and the
    // maximum takes it exactly where the power was larger (the mask leaves 0 elsewhere).
    const __m256i lanes = _mm256_setr_epi32(0, 1, 4, 5, 2, 3, 6, 7);
    const __m256i line = _mm256_add_epi32(_mm256_set1_epi32(int32_t(first)), lanes);
    s.line = _mm256_max_epi32(s.line, _mm256_and_si256(_mm256_castps_si256(larger), line));
}

// The lowest line among the lanes of a and b that hold the largest power; line 1
// when no power went above 0.0.
int32_t lowest_strongest_line(const Strongest& a, const Strongest& b)
{
    const __m256 largest = _mm256_set1_ps(zrcalc::reduce_max<float>(_mm256_max_ps(a.power, b.power)));
    const auto holding_largest = [&](const Strongest& s) {
        const __m256i holds = _mm256_castps_si256(_mm256_cmp_ps(s.power, largest, _CMP_EQ_OQ));
        return _mm256_blendv_epi8(_mm256_set1_epi32(INT32_MAX), s.line, holds);
    };
    const int32_t line = zrcalc::reduce_min<int32_t>(_mm256_min_epi32(holding_largest(a), holding_largest(b)));
    return line != 0 ? line : 1;
}

}  // namespace

double ZRCALC_STDCALL zrcalcPowerHarmonicZero(const float* lines, uint32_t count)
{
    double total = 0.0;
    for (std::size_t k = 0; k < count; ++k) {
        const double re = lines[2 * k];
        const double im = lines[2 * k + 1];
        total += fused_multiply_add(im, im, re * re);  // both squares exact: fused or not, one rounding
    }
    return total;
}

int32_t ZRCALC_STDCALL zrcalcPowerFindIndexOfMaxAmplitude(const float* lines, uint32_t count)
{
    if (count <= kLanes) return strongest_line_one_by_one(lines, count);  // counts 0 and 1 read nothing
    Strongest a, b;
    std::size_t k = 1;  // lines k .. count - 1 are left
    for (; count - k >= 2 * kLanes; k += 2 * kLanes) {
        take_eight_lines(a, lines, k);
        take_eight_lines(b, lines, k + kLanes);
    }
    if (count - k >= kLanes) take_eight_lines(a, lines, k), k += kLanes;
    if (k < count) take_eight_lines(b, lines, count - kLanes);
    return lowest_strongest_line(a, b);
}
