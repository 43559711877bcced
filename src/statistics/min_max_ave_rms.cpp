
// Accumulating statistics of one block of samples: minimum, maximum, sum and sum
// of squares (of the samples shifted by an offset), folded into the caller's
// running totals. The order in which the terms are added fixes the last bits of
// the sums and is part of the contract in zrcalc.h; these are its paths:
//  - below one block width, one sample after another on the caller's totals;
//  - double, int32 and int16: single samples up to an alignment boundary, then
//    four double lanes that start at 0.0 and are added to the totals as
//    (S0 + S2) + (S1 + S3), then the remaining samples one by one;
//  - float: the first and the last eight samples enter the lanes as whole blocks
//    with the lanes outside the head and the tail left out; at the offset 0 the
//    fused steps of the squares are adds (exact squares, see kZeroOffset);
//  - int16 blocks, when the offset makes every square exact: pairs of blocks
//    summed in integer lanes, which give the double lanes' very values as long
//    as no step of those could round (statistics/exact_int16_sums.h says why),
//    and the double lanes from the first pair on where one could.
// Each square is added with a fused multiply-add, y * y + accumulator rounded
// once; a separate multiply and add changes the last bit.
//
// Minimum and maximum take the keeping steps of common/lanes.h on every path: a
// sample replaces the running value only when it compares strictly below (above)
// it, so a NaN sample is never taken and a NaN in the caller's bound stays.
#include <immintrin.h>

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "common/lanes.h"
#include "statistics/exact_int16_sums.h"
#include "zrcalc.h"

namespace zrcalc {
namespace {

// ---------------------------------------------------------------------------
// One sample at a time: the short path, and the head and tail of the block path.
// ---------------------------------------------------------------------------

// The shifted sample y whose square is summed, as the one-at-a-time steps form
// it. The float and int16 variants add their float offset in single precision
// here (and in double inside the blocks), so a block of seven and a block of
// eight can differ in the last bits of the sum of squares.
inline double shifted_sample(double x, double offset) { return x + offset; }
inline double shifted_sample(std::int32_t x, double offset) { return static_cast<double>(x) + offset; }
inline double shifted_sample(float x, float offset) { return static_cast<double>(x + offset); }
inline double shifted_sample(std::int16_t x, float offset)
{
    return static_cast<double>(static_cast<float>(x) + offset);
}

template <class Sample, class Offset>
inline void add_samples_to_sums(const Sample* x, std::size_t n, double& sum, double& squares, Offset offset)
{
    for (std::size_t i = 0; i < n; ++i) {
        sum = sum + static_cast<double>(x[i]);
        const double y = shifted_sample(x[i], offset);
        squares = std::fma(y, y, squares);
    }
}

template <class Sample, class Offset>
void accumulate_samples(const Sample* data, std::uint32_t count, Sample* minValue, Sample* maxValue, double* sum,
                        double* sumOfSquares, Offset offset)
{
    Sample lowest = *minValue;
    Sample highest = *maxValue;
    double total = *sum;
    double squares = *sumOfSquares;
    for (std::uint32_t i = 0; i < count; ++i) {
        const Sample x = data[i];
        if (x < lowest) lowest = x;
        if (x > highest) highest = x;
        add_samples_to_sums(&data[i], 1, total, squares, offset);
    }
    *minValue = lowest;
    *maxValue = highest;
    *sum = total;
    *sumOfSquares = squares;
}

// ---------------------------------------------------------------------------
// Lane steps shared by the block paths.
// ---------------------------------------------------------------------------

// The fused step fma(y, y, q). Where y * y is exact (kExactSquare), the step is
// q + y * y written as a multiply and an add: the same rounding of the same sum,
// and only the add on the chain of dependent steps, the shorter of the two.
template <bool kExactSquare = false>
inline __m256d add_square(__m256d q, __m256d y)
{
    if constexpr (kExactSquare)
        return _mm256_add_pd(q, _mm256_mul_pd(y, y));
    else
        return _mm256_fmadd_pd(y, y, q);
}

// Lane j takes two samples of a block, a = e_j and then b = e_(j+4):
// S_j = (S_j + a) + b and Q_j = fma(yb, yb, fma(ya, ya, Q_j)).
template <bool kExactSquare = false>
inline void add_pair_to_lanes(__m256d xa, __m256d xb, __m256d ya, __m256d yb, __m256d& sums, __m256d& squares)
{
    sums = _mm256_add_pd(_mm256_add_pd(sums, xa), xb);
    squares = add_square<kExactSquare>(add_square<kExactSquare>(squares, ya), yb);
}

// Running minimum and maximum over whole vectors take the keeping steps: a
// sample replaces a lane's value only when strictly beyond it, which is the
// compare of the one-at-a-time path, so a NaN sample never enters a lane.

// ---------------------------------------------------------------------------
// Block path of the double, int32 and int16 variants: single samples up to the
// boundary, whole blocks in four double lanes, single samples after them.
// A block is W samples; each kind below says how one block reaches the lanes.
// ---------------------------------------------------------------------------

// Each kind also says how many of the first blocks it can add to the lanes
// without the double steps (none where the squares may round).

// Four doubles, one per lane: S_j += x, Q_j = fma(x + offset, x + offset, Q_j).
struct DoubleBlocks {
    using Sample = double;
    using L = Lanes<double>;
    using Offset = double;
    static constexpr std::uint32_t kWidth = 4;
    static constexpr std::uintptr_t kBoundary = 32;
    static void add_block(L::V v, __m256d offset, __m256d& sums, __m256d& squares)
    {
        const __m256d y = _mm256_add_pd(v, offset);
        sums = _mm256_add_pd(sums, v);
        squares = _mm256_fmadd_pd(y, y, squares);
    }
    static std::size_t add_exactly(const double*, std::size_t, double, L::V&, L::V&, __m256d&, __m256d&) { return 0; }
};

// Four int32, one per lane, converted to double exactly.
struct Int32Blocks {
    using Sample = std::int32_t;
    using L = Lanes<std::int32_t, 16>;
    using Offset = double;
    static constexpr std::uint32_t kWidth = 4;
    static constexpr std::uintptr_t kBoundary = 16;
    static void add_block(L::V v, __m256d offset, __m256d& sums, __m256d& squares)
    {
        const __m256d x = int32x4_to_double(v);
        const __m256d y = _mm256_add_pd(x, offset);
        sums = _mm256_add_pd(sums, x);
        squares = _mm256_fmadd_pd(y, y, squares);
    }
    static std::size_t add_exactly(const std::int32_t*, std::size_t, double, L::V&, L::V&, __m256d&, __m256d&)
    {
        return 0;
    }
};

// Eight int16, two per lane: lane j takes e_j, then e_(j+4).
struct Int16Blocks {
    using Sample = std::int16_t;
    using L = Lanes<std::int16_t, 16>;
    using Offset = float;
    static constexpr std::uint32_t kWidth = 8;
    static constexpr std::uintptr_t kBoundary = 16;
    static void add_block(L::V v, __m256d offset, __m256d& sums, __m256d& squares)
    {
        const __m256i widened = int16x8_to_int32(v);
        const __m256d first = int32x4_to_double(_mm256_castsi256_si128(widened));       // e0..e3
        const __m256d second = int32x4_to_double(_mm256_extracti128_si256(widened, 1));  // e4..e7
        add_pair_to_lanes(first, second, _mm256_add_pd(first, offset), _mm256_add_pd(second, offset), sums,
                          squares);
    }
    // Pairs of blocks as vectors of 16, in integer lanes where no double step would
    // round (statistics/exact_int16_sums.h). The lanes start at 0.0, so the blocks
    // before must be none.
    static std::size_t add_exactly(const std::int16_t* block, std::size_t blocks, float offset, L::V& lowest,
                                   L::V& highest, __m256d& sums, __m256d& squares)
    {
        using Wide = Lanes<std::int16_t>;
        __m256i low = _mm256_broadcastsi128_si256(lowest);
        __m256i high = _mm256_broadcastsi128_si256(highest);
        const auto next = [&](std::size_t k) {
            prefetch_ahead(block + 16 * k);
            const __m256i v = Wide::load(block + 16 * k);
            low = Wide::min_keeping(low, v);
            high = Wide::max_keeping(high, v);
            return v;
        };
        const std::size_t vectors = add_vectors_exactly(offset, blocks / 2, next, sums, squares);
        lowest = L::min_keeping(_mm256_castsi256_si128(low), _mm256_extracti128_si256(low, 1));
        highest = L::max_keeping(_mm256_castsi256_si128(high), _mm256_extracti128_si256(high, 1));
        return 2 * vectors;
    }
};

template <class Blocks>
void accumulate_in_blocks(const typename Blocks::Sample* data, std::uint32_t count,
                          typename Blocks::Sample* minValue, typename Blocks::Sample* maxValue, double* sum,
                          double* sumOfSquares, typename Blocks::Offset offset)
{
    using Sample = typename Blocks::Sample;
    using L = typename Blocks::L;
    constexpr std::uint32_t W = Blocks::kWidth;

    // Short path: a whole vector would reach past the caller's samples.
    if (count == 0) return;
    if (count < W) return accumulate_samples(data, count, minValue, maxValue, sum, sumOfSquares, offset);

    double total = *sum;
    double squares = *sumOfSquares;

    // Head: single samples up to the boundary, so that the block loads are aligned.
    const std::uint32_t head = elements_before_boundary(data, Blocks::kBoundary, sizeof(Sample));
    add_samples_to_sums(data, head, total, squares, offset);

    // Minimum and maximum need no head: the first W samples are one whole vector.
    // Starting the lanes from the prior values folds them in with the same compare.
    auto lowest = L::min_keeping(L::splat(*minValue), L::load(data));
    auto highest = L::max_keeping(L::splat(*maxValue), L::load(data));

    // Blocks: one load serves minimum, maximum and both sums.
    const __m256d shift = _mm256_set1_pd(static_cast<double>(offset));
    __m256d laneSums = _mm256_setzero_pd();
    __m256d laneSquares = _mm256_setzero_pd();
    const Sample* block = data + head;
    const std::size_t blocks = (count - head) / W;
    const std::size_t exact = Blocks::add_exactly(block, blocks, offset, lowest, highest, laneSums, laneSquares);
    block += exact * W;
    for (std::size_t b = exact; b < blocks; ++b, block += W) {
        const auto v = L::load(block);
        lowest = L::min_keeping(lowest, v);
        highest = L::max_keeping(highest, v);
        Blocks::add_block(v, shift, laneSums, laneSquares);
    }
    // Added even when there was no whole block: the 0.0 then turns a -0.0 total into +0.0.
    total = total + sum_lanes_02_13(laneSums);
    squares = squares + sum_lanes_02_13(laneSquares);

    // Tail: the samples after the last whole block, one by one.
    add_samples_to_sums(block, count - head - blocks * W, total, squares, offset);

    // ... and for minimum and maximum the last W samples as one whole vector.
    const auto last = L::load(data + (count - W));
    lowest = L::min_keeping(lowest, last);
    highest = L::max_keeping(highest, last);

    constexpr std::size_t kBytes = sizeof(typename L::V);
    *minValue = reduce_min<Sample, kBytes>(lowest);
    *maxValue = reduce_max<Sample, kBytes>(highest);
    *sum = total;
    *sumOfSquares = squares;
}

// ---------------------------------------------------------------------------
// Block path of the float variant: eight floats per block, two per double lane.
// The head and the tail are not single samples: they are the lanes of the first
// and of the last eight samples that no whole block counts.
// ---------------------------------------------------------------------------

constexpr std::uint32_t kFloatWidth = 8;
constexpr std::uintptr_t kFloatBoundary = 32;

// Samples that the head takes, by the number h of samples before the 32-byte
// boundary: an aligned block (h = 0) counts its first eight whole.
constexpr std::uint32_t kHeadSamples[8] = {8, 1, 2, 3, 4, 5, 6, 7};

// Lane selections: the head row for h keeps the first kHeadSamples[h] lanes, the
// tail row for r keeps the last r lanes (row 0 is never used).
constexpr std::int32_t kOn = -1;
alignas(32) constexpr std::int32_t kHeadLanes[8][8] = {
    {kOn, kOn, kOn, kOn, kOn, kOn, kOn, kOn}, {kOn, 0, 0, 0, 0, 0, 0, 0},
    {kOn, kOn, 0, 0, 0, 0, 0, 0},             {kOn, kOn, kOn, 0, 0, 0, 0, 0},
    {kOn, kOn, kOn, kOn, 0, 0, 0, 0},         {kOn, kOn, kOn, kOn, kOn, 0, 0, 0},
    {kOn, kOn, kOn, kOn, kOn, kOn, 0, 0},     {kOn, kOn, kOn, kOn, kOn, kOn, kOn, 0},
};
alignas(32) constexpr std::int32_t kTailLanes[8][8] = {
    {0, 0, 0, 0, 0, 0, 0, 0},         {0, 0, 0, 0, 0, 0, 0, kOn},
    {0, 0, 0, 0, 0, 0, kOn, kOn},     {0, 0, 0, 0, 0, kOn, kOn, kOn},
    {0, 0, 0, 0, kOn, kOn, kOn, kOn}, {0, 0, 0, kOn, kOn, kOn, kOn, kOn},
    {0, 0, kOn, kOn, kOn, kOn, kOn, kOn}, {0, kOn, kOn, kOn, kOn, kOn, kOn, kOn},
};

inline __m256 load_lanes(const std::int32_t (&row)[8])
{
    return _mm256_castsi256_ps(_mm256_load_si256(reinterpret_cast<const __m256i*>(row)));
}

// Eight floats widened to two groups of four doubles: x is e_0..e_3 / e_4..e_7,
// y the same plus the offset, added in double.
struct WidenedBlock {
    __m256d first, second, shiftedFirst, shiftedSecond;
};

inline WidenedBlock widen(__m256 samples, __m256 offset)
{
    const __m256d first = lower_floats_as_doubles(samples);
    const __m256d second = upper_floats_as_doubles(samples);
    const __m256d offsetFirst = lower_floats_as_doubles(offset);
    const __m256d offsetSecond = upper_floats_as_doubles(offset);
    return {first, second, _mm256_add_pd(offsetFirst, first), _mm256_add_pd(offsetSecond, second)};
}

// The lanes that a selection leaves out carry -0.0 as sample and offset: x + -0.0
// is x for every x, +0.0 included, and (-0.0)^2 adds +0.0 to a sum of squares that
// is never -0.0, so they leave every finite sum exactly as a factor of 0.0 would.
// Unlike 0.0 * x, they stay -0.0 when the left-out sample is infinite: such a
// sample is counted once, at its own place, and yields an infinite sum, wherever
// the block lies in memory.
inline WidenedBlock widen_selected(__m256 samples, __m256 offset, __m256 lanes)
{
    const __m256 negativeZero = _mm256_set1_ps(-0.0f);
    return widen(_mm256_blendv_ps(negativeZero, samples, lanes), _mm256_blendv_ps(negativeZero, offset, lanes));
}

// kZeroOffset: the offset is 0 (or -0). Then the shifted sample of the blocks,
// x + 0.0 in double, is the widened sample x (or +0.0 for -0.0: the same
// square), and the square of a widened float is exact: 24 significant bits
// squared fit in 53, and 2^-298 .. 2^256 lies far inside the normal doubles.
// So every fused step of the sum of squares may be an add.
template <bool kZeroOffset>
void accumulate_floats_in_blocks(const float* data, std::uint32_t count, float* minValue, float* maxValue,
                                 double* sum, double* sumOfSquares, float offset)
{
    using L = Lanes<float>;

    // Short path: a whole vector would reach past the caller's samples.
    if (count == 0) return;
    if (count < kFloatWidth) return accumulate_samples(data, count, minValue, maxValue, sum, sumOfSquares, offset);

    const __m256 offsets = _mm256_set1_ps(offset);
    const __m256d shift = _mm256_set1_pd(static_cast<double>(offset));

    // Head: the first eight samples with the lanes before the boundary kept. The
    // lanes start from them: S_j = x_j + x_(j+4), Q_j = fma(y_(j+4), y_(j+4), y_j * y_j)
    // with the first square rounded by itself.
    const std::uint32_t h = elements_before_boundary(data, kFloatBoundary, sizeof(float));
    const std::uint32_t headSamples = kHeadSamples[h];
    const __m256 first = L::load(data);
    const WidenedBlock head = widen_selected(first, offsets, load_lanes(kHeadLanes[h]));
    __m256d laneSums = _mm256_add_pd(head.first, head.second);
    __m256d laneSquares = add_square<kZeroOffset>(_mm256_mul_pd(head.shiftedFirst, head.shiftedFirst),
                                                  head.shiftedSecond);
    __m256 lowest = L::min_keeping(L::splat(*minValue), first);
    __m256 highest = L::max_keeping(L::splat(*maxValue), first);

    // Blocks: one load serves minimum, maximum and both sums.
    const float* block = data + headSamples;
    const std::size_t blocks = (count - headSamples) / kFloatWidth;
    for (std::size_t b = 0; b < blocks; ++b, block += kFloatWidth) {
        const __m256 v = L::load(block);
        lowest = L::min_keeping(lowest, v);
        highest = L::max_keeping(highest, v);
        const __m256d x0 = lower_floats_as_doubles(v);
        const __m256d x1 = upper_floats_as_doubles(v);
        if constexpr (kZeroOffset)
            add_pair_to_lanes<true>(x0, x1, x0, x1, laneSums, laneSquares);
        else
            add_pair_to_lanes(x0, x1, _mm256_add_pd(x0, shift), _mm256_add_pd(x1, shift), laneSums, laneSquares);
    }

    // Tail: the last eight samples with only the lanes after the last block kept,
    // added as one more block. With nothing left over they are not read again.
    const std::uint32_t r = (count - headSamples) % kFloatWidth;
    if (r > 0) {
        const __m256 last = L::load(data + (count - kFloatWidth));
        lowest = L::min_keeping(lowest, last);
        highest = L::max_keeping(highest, last);
        const WidenedBlock tail = widen_selected(last, offsets, load_lanes(kTailLanes[r]));
        add_pair_to_lanes<kZeroOffset>(tail.first, tail.second, tail.shiftedFirst, tail.shiftedSecond, laneSums,
                                       laneSquares);
    }

    *minValue = reduce_min<float>(lowest);
    *maxValue = reduce_max<float>(highest);
    *sum = *sum + sum_lanes_02_13(laneSums);
    *sumOfSquares = *sumOfSquares + sum_lanes_02_13(laneSquares);
}

}  // namespace
}  // namespace zrcalc

void ZRCALC_STDCALL zrcalcGetMinMaxAveRMS_double(const double* data, uint32_t count, double* minValue,
                                                 double* maxValue, double* sum, double* sumOfSquares, double offset)
{
    zrcalc::accumulate_in_blocks<zrcalc::DoubleBlocks>(data, count, minValue, maxValue, sum, sumOfSquares, offset);
}

void ZRCALC_STDCALL zrcalcGetMinMaxAveRMS_float(const float* data, uint32_t count, float* minValue, float* maxValue,
                                                double* sum, double* sumOfSquares, float offset)
{
    if (offset == 0.0f)
        zrcalc::accumulate_floats_in_blocks<true>(data, count, minValue, maxValue, sum, sumOfSquares, offset);
    else
        zrcalc::accumulate_floats_in_blocks<false>(data, count, minValue, maxValue, sum, sumOfSquares, offset);
}

void ZRCALC_STDCALL zrcalcGetMinMaxAveRMS_int16_t(const int16_t* data, uint32_t count, int16_t* minValue,
                                                  int16_t* maxValue, double* sum, double* sumOfSquares, float offset)
{
    zrcalc::accumulate_in_blocks<zrcalc::Int16Blocks>(data, count, minValue, maxValue, sum, sumOfSquares, offset);
}

void ZRCALC_STDCALL zrcalcGetMinMaxAveRMS_int32_t(const int32_t* data, uint32_t count, int32_t* minValue,
                                                  int32_t* maxValue, double* sum, double* sumOfSquares, double offset)
{
    zrcalc::accumulate_in_blocks<zrcalc::Int32Blocks>(data, count, minValue, maxValue, sum, sumOfSquares, offset);
}
