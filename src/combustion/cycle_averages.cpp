// Averages of traces over engine cycles, position by position: the overall
// average of every cycle so far with its maximum, and the running sum and
// average over the last cycles of a window (contract in zrcalc.h).
//
// Both run over the elements in whole blocks of eight from the first element on
// (unaligned loads and stores, no aligned head), then the last m mod 8 elements
// one at a time. The block part and the tail use different arithmetic on
// purpose: callers compare with results formed that way, so an element's last
// bits depend on whether it lies in the tail.
//  - Overall average: blocks in double (fma, then a true division, rounded to
//    float), the tail in float (fma, then a multiply by the reciprocal).
//  - Running value: blocks divide, the tail multiplies by the reciprocal, and the
//    two add the new and the leaving trace in different orders.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "common/lanes.h"
#include "zrcalc.h"

namespace {

constexpr std::size_t kBlock = 8;

// The maximum starts from the smallest positive normal float.
constexpr float kPeakStart = std::numeric_limits<float>::min();

// block(i) for the whole blocks of eight, then single(i) for the rest.
template <class Block, class Single>
void blocks_then_tail(std::size_t m, Block block, Single single)
{
    const std::size_t grouped = m / kBlock * kBlock;
    for (std::size_t i = 0; i < grouped; i += kBlock) block(i);
    for (std::size_t i = grouped; i < m; ++i) single(i);
}

// a = (N * a + x) / (N + 1) for four elements: widened to double, one fused
// step, a true division in double.
__m128 fold_four(const float* average, const float* x, __m256d cycles, __m256d divisor)
{
    const __m256d sum = _mm256_fmadd_pd(cycles, zrcalc::load_floats_as_doubles(average),
                                        zrcalc::load_floats_as_doubles(x));
    return _mm256_cvtpd_ps(_mm256_div_pd(sum, divisor));
}

void overall_pressure(const float* x, float* a, std::size_t m, std::uint64_t cycleCount, float* maxAverage)
{
    const double cycles = static_cast<double>(cycleCount);
    const __m256d cyclesV = _mm256_set1_pd(cycles);
    const __m256d divisor = _mm256_set1_pd(cycles + 1.0);

    // Eight lane maxima. max(v, highest) takes v only when it is strictly greater
    // (an ordered test), so a NaN never becomes the maximum. Every candidate is
    // above the positive start value and not NaN, so equal candidates have equal
    // bits and the order in which the lanes merge cannot show.
    __m256 highest = _mm256_set1_ps(kPeakStart);

    // The tail in single precision: N rounded to float, and the reciprocal of
    // n + 1 counted in integers, converted to double, then rounded to float.
    const float cyclesF = static_cast<float>(cycles);
    const float reciprocal = 1.0f / static_cast<float>(static_cast<double>(cycleCount + 1));

    const std::size_t grouped = m / kBlock * kBlock;
    for (std::size_t i = 0; i < grouped; i += kBlock) {
        const __m256 v = _mm256_set_m128(fold_four(a + i + 4, x + i + 4, cyclesV, divisor),
                                         fold_four(a + i, x + i, cyclesV, divisor));
        _mm256_storeu_ps(a + i, v);
        highest = _mm256_max_ps(v, highest);
    }
    float peak = zrcalc::reduce_max<float>(highest);
    for (std::size_t i = grouped; i < m; ++i) {
        const float v = zrcalc::fused_multiply_add(cyclesF, a[i], x[i]) * reciprocal;
        a[i] = v;
        if (v > peak) peak = v;
    }
    *maxAverage = peak;
}

// Running value. n = 0: copies. 1 <= n < W: the window is filling, divide by n + 1.
// n >= W: the window is full, the leaving cycle is subtracted and the divisor is W.
void running_value(const float* x, const float* leaving, float* s, float* g, std::size_t m, std::uint64_t n,
                   std::uint32_t windowLength)
{
    if (n == 0) {
        std::memcpy(s, x, m * sizeof(float));
        std::memcpy(g, x, m * sizeof(float));
        return;
    }
    if (n < windowLength) {  // compared as unsigned 64-bit
        const float d = static_cast<float>(static_cast<double>(n)) + 1.0f;
        const __m256 divisor = _mm256_set1_ps(d);
        const float reciprocal = 1.0f / d;
        blocks_then_tail(
            m,
            [&](std::size_t i) {
                const __m256 sum = _mm256_add_ps(_mm256_loadu_ps(x + i), _mm256_loadu_ps(s + i));
                _mm256_storeu_ps(s + i, sum);
                _mm256_storeu_ps(g + i, _mm256_div_ps(sum, divisor));
            },
            [&](std::size_t i) {
                const float sum = s[i] + x[i];
                s[i] = sum;
                g[i] = reciprocal * sum;
            });
        return;
    }
    // Through double, which holds W exactly: one rounding, and no split conversion
    // that a 32-bit build would join with a fused step on a constant in memory.
    const float w = static_cast<float>(static_cast<double>(windowLength));  // W = 0 divides by zero, as stated
    const __m256 divisor = _mm256_set1_ps(w);
    const float reciprocal = 1.0f / w;
    blocks_then_tail(
        m,
        [&](std::size_t i) {
            const __m256 sum = _mm256_sub_ps(_mm256_add_ps(_mm256_loadu_ps(x + i), _mm256_loadu_ps(s + i)),
                                             _mm256_loadu_ps(leaving + i));
            _mm256_storeu_ps(s + i, sum);
            _mm256_storeu_ps(g + i, _mm256_div_ps(sum, divisor));
        },
        [&](std::size_t i) {
            const float sum = (x[i] - leaving[i]) + s[i];
            s[i] = sum;
            g[i] = reciprocal * sum;
        });
}

}  // namespace

void ZRCALC_STDCALL zrCalcCAOverallPressure(const float* newValues, float* average, uint32_t startIndex,
                                            uint32_t endIndex, uint64_t cycleCount, float* maxAverage)
{
    // A reversed range is empty rather than 2^32 - (startIndex - endIndex) elements.
    const std::size_t m = startIndex < endIndex ? endIndex - startIndex : 0;
    overall_pressure(newValues, average, m, cycleCount, maxAverage);
}

void ZRCALC_STDCALL zrCalcCARunningVal(const float* newValues, const float* leavingValues, float* runningSum,
                                       float* runningAverage, uint32_t startIndex, uint32_t endIndex,
                                       uint64_t cycleCount, uint32_t windowLength)
{
    // The end is inclusive; counted in 64 bits, so that startIndex = endIndex + 1
    // gives 0 and a start further beyond the end is an empty range, not a wrapped one.
    const std::uint64_t last = endIndex, first = startIndex;
    const auto m = static_cast<std::size_t>(first <= last + 1 ? last + 1 - first : 0);
    running_value(newValues, leavingValues, runningSum, runningAverage, m, cycleCount, windowLength);
}
