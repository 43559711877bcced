// One output of an FIR filter over the host's ring buffer (contract in zrcalc.h):
// the dot product of the coefficients with the ring read from `position` round to
// it again, in two runs that follow the ring.
//
// The grouping fixes the last bits, so it is the same on every path:
//  - run 1, samples[position ..] with coefficients[0 ..]: whole blocks of eight in
//    groups of four into accumulators A0..A3, then V = (A3 + A2) + (A1 + A0) lane
//    by lane, the blocks left over added to V, the last pairs to the scalar s;
//  - run 2, samples[0 .. position) with the rest of the coefficients: below eight
//    pairs all into s; otherwise the pairs before the coefficients' first 32-byte
//    boundary into s, whole blocks in groups of four into fresh B0..B3, then
//    V = ((B3 + B2) + (B1 + B0)) + V, the blocks left over into V, the rest into s;
//  - T = ((V4 + V5) + (V6 + V7)) + ((V0 + V1) + (V2 + V3)) in float, and the
//    result T + s in double.
// Every product is added by a single-precision fused multiply-add. Four
// accumulators per run keep consecutive fused steps from waiting on each other.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "common/lanes.h"
#include "zrcalc.h"

namespace {

constexpr std::size_t kBlock = 8;  // floats per 256-bit vector

inline __m256 fused_block(const float* samples, const float* coefficients, __m256 acc)
{
    return _mm256_fmadd_ps(_mm256_loadu_ps(samples), _mm256_loadu_ps(coefficients), acc);
}

// Pairs [0, n) into the scalar accumulator, in index order.
inline float fused_pairs(const float* samples, const float* coefficients, std::size_t n, float s)
{
    for (std::size_t i = 0; i < n; ++i) s = zrcalc::fused_multiply_add(samples[i], coefficients[i], s);
    return s;
}

// The whole blocks of n pairs: groups of four blocks into four accumulators,
// joined as (3 + 2) + (1 + 0); the blocks left over then go into the joined sum
// `into` (V) by fused steps. Returns the pairs done.
struct Blocks {
    __m256 groups;  // ((acc3 + acc2) + (acc1 + acc0)); 0.0 without a group
    std::size_t done;
};

inline Blocks fused_groups(const float* samples, const float* coefficients, std::size_t n)
{
    __m256 acc[4] = {_mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps()};
    std::size_t i = 0;
    for (; n - i >= 4 * kBlock; i += 4 * kBlock)
        for (std::size_t j = 0; j < 4; ++j)
            acc[j] = fused_block(samples + i + j * kBlock, coefficients + i + j * kBlock, acc[j]);
    return {_mm256_add_ps(_mm256_add_ps(acc[3], acc[2]), _mm256_add_ps(acc[1], acc[0])), i};
}

inline __m256 fused_leftover_blocks(const float* samples, const float* coefficients, std::size_t from,
                                    std::size_t to, __m256 v)
{
    for (std::size_t i = from; i + kBlock <= to; i += kBlock) v = fused_block(samples + i, coefficients + i, v);
    return v;
}

// ((V4 + V5) + (V6 + V7)) + ((V0 + V1) + (V2 + V3)).
inline float reduce_v(__m256 v)
{
    const __m128 low = _mm256_castps256_ps128(v), high = _mm256_extractf128_ps(v, 1);
    const __m128 evens = _mm_shuffle_ps(high, low, _MM_SHUFFLE(2, 0, 2, 0));  // V4 V6 V0 V2
    const __m128 odds = _mm_shuffle_ps(high, low, _MM_SHUFFLE(3, 1, 3, 1));   // V5 V7 V1 V3
    const __m128 pairs = _mm_add_ps(evens, odds);  // V4+V5, V6+V7, V0+V1, V2+V3
    const __m128 halves = _mm_add_ps(pairs, _mm_movehdup_ps(pairs));  // lane 0: (4+5)+(6+7), lane 2: (0+1)+(2+3)
    return _mm_cvtss_f32(_mm_add_ss(halves, _mm_movehl_ps(halves, halves)));
}

}  // namespace

double ZRCALC_STDCALL zrcalcFIRFilter_float(const float* samples, const float* coefficients, int32_t length,
                                            int32_t position)
{
    // Outside the contract: no taps give 0.0, and a position outside 0 .. length
    // is taken modulo the length, so nothing outside the ring is read.
    if (length <= 0) return 0.0;
    if (position < 0 || position > length) position = (position % length + length) % length;
    const std::size_t n = static_cast<std::size_t>(length), p = static_cast<std::size_t>(position), m = n - p;
    float s = 0.0f;

    // Run 1: samples[p .. n) with coefficients[0 .. m).
    const Blocks run1 = fused_groups(samples + p, coefficients, m);
    const std::size_t blocks1 = m / kBlock * kBlock;
    __m256 v = fused_leftover_blocks(samples + p, coefficients, run1.done, blocks1, run1.groups);
    s = fused_pairs(samples + p + blocks1, coefficients + blocks1, m - blocks1, s);

    // Run 2: samples[0 .. p) with coefficients[m .. n).
    const float* c2 = coefficients + m;
    if (p < kBlock) {
        s = fused_pairs(samples, c2, p, s);
    } else {
        const std::size_t h = zrcalc::elements_before_boundary(c2, 32, sizeof(float));
        s = fused_pairs(samples, c2, h, s);
        const std::size_t rest = p - h, blocks2 = rest / kBlock * kBlock;
        const Blocks run2 = fused_groups(samples + h, c2 + h, rest);
        v = _mm256_add_ps(run2.groups, v);
        v = fused_leftover_blocks(samples + h, c2 + h, run2.done, blocks2, v);
        s = fused_pairs(samples + h + blocks2, c2 + h + blocks2, rest - blocks2, s);
    }
    return static_cast<double>(reduce_v(v)) + static_cast<double>(s);
}
