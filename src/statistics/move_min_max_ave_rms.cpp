// Copies int16 samples read with a fixed step into a contiguous destination and,
// in the same pass, folds them into the caller's running minimum, maximum, sum
// and sum of squares. The contract, the order of the sums included, is in
// zrcalc.h; these are its paths:
//  - one at a time (short blocks, heads, tails, and every count when the stride
//    is 0 or below), on the running totals: the shifted sample is formed in
//    single precision, (double)((float)s + offset);
//  - in blocks of 16 from the destination's first 32-byte boundary (strided) or
//    the source's (contiguous): four double lanes, lane j takes samples j, j+4,
//    j+8, j+12 in this order, the shifted sample formed in double; after the last
//    block the lanes join the totals as (L0 + L2) + (L1 + L3). When the offset
//    makes every square exact, integer lanes stand in for the double lanes as
//    long as no step of those could round (statistics/exact_int16_sums.h).
// Every square is added by a fused multiply-add.
#include <immintrin.h>

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "common/lanes.h"
#include "statistics/exact_int16_sums.h"
#include "zrcalc.h"

namespace {

constexpr std::size_t kBlock = 16;  // int16 samples per 256-bit register
using Int16Lanes = zrcalc::Lanes<int16_t>;

// The caller's four statistics, held in locals for the length of a call.
struct Totals {
    int16_t lo, hi;
    double sum, sumOfSquares;
};

// Adds one sample to the sums: the element form of the shifted sample.
inline void add_to_sums(Totals& t, int16_t s, float offset)
{
    const double shifted = static_cast<double>(static_cast<float>(s) + offset);
    t.sum = t.sum + static_cast<double>(s);
    t.sumOfSquares = std::fma(shifted, shifted, t.sumOfSquares);
}

inline void compare(Totals& t, int16_t s)
{
    if (s < t.lo) t.lo = s;
    if (s > t.hi) t.hi = s;
}

// The element path over samples [begin, end): copy, compare, add.
inline void move_elements(int16_t* destination, const int16_t* source, std::ptrdiff_t stride, std::size_t begin,
                          std::size_t end, Totals& t, float offset)
{
    for (std::size_t i = begin; i < end; ++i) {
        const int16_t s = source[static_cast<std::ptrdiff_t>(i) * stride];
        destination[i] = s;
        compare(t, s);
        add_to_sums(t, s, offset);
    }
}

// Sixteen-lane minimum and maximum and the four-lane partial sums of the blocks.
struct BlockTotals {
    __m256i lo, hi;
    __m256d sum = _mm256_setzero_pd();
    __m256d sumOfSquares = _mm256_setzero_pd();
};

// Lane j of the sums takes samples j, j+4, j+8 and j+12, one after another.
inline void add_block(BlockTotals& b, __m256i block, __m256d offset)
{
    const __m256i wide = zrcalc::int16x8_to_int32(_mm256_castsi256_si128(block));          // e0..e7
    const __m256i wideHigh = zrcalc::int16x8_to_int32(_mm256_extracti128_si256(block, 1));  // e8..e15
    const __m256d quarters[4] = {
        zrcalc::int32x4_to_double(_mm256_castsi256_si128(wide)),
        zrcalc::int32x4_to_double(_mm256_extracti128_si256(wide, 1)),
        zrcalc::int32x4_to_double(_mm256_castsi256_si128(wideHigh)),
        zrcalc::int32x4_to_double(_mm256_extracti128_si256(wideHigh, 1)),
    };
    for (const __m256d x : quarters) {
        const __m256d shifted = _mm256_add_pd(x, offset);
        b.sum = _mm256_add_pd(b.sum, x);
        b.sumOfSquares = _mm256_fmadd_pd(shifted, shifted, b.sumOfSquares);
    }
}

// Blocks 0 .. blocks-1, block k read by load(k) and stored to destination + 16k:
// in integer lanes as far as no double step would round
// (statistics/exact_int16_sums.h), then in the double lanes.
template <class Load>
void move_blocks(int16_t* destination, std::size_t blocks, BlockTotals& b, float offset, Load load)
{
    const auto move = [&](std::size_t k) {
        const __m256i block = load(k);
        zrcalc::prefetch_ahead(destination + k * kBlock);  // the store's line, too, arrives in time
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + k * kBlock), block);
        b.lo = Int16Lanes::min_keeping(b.lo, block);
        b.hi = Int16Lanes::max_keeping(b.hi, block);
        return block;
    };
    const std::size_t exact = zrcalc::add_vectors_exactly(offset, blocks, move, b.sum, b.sumOfSquares);
    const __m256d offsetWide = _mm256_set1_pd(static_cast<double>(offset));
    for (std::size_t k = exact; k < blocks; ++k) add_block(b, move(k), offsetWide);
}

// The lanes join the totals once, after the last block (adding 0.0 when there
// was none).
inline void join_sums(Totals& t, const BlockTotals& b)
{
    t.sum = t.sum + zrcalc::sum_lanes_02_13(b.sum);
    t.sumOfSquares = t.sumOfSquares + zrcalc::sum_lanes_02_13(b.sumOfSquares);
}

inline __m256i load16(const int16_t* p) { return Int16Lanes::load(p); }

// Sixteen samples at the step stride, each read on its own: the samples lie apart
// and the array may end right after the last one.
inline __m256i gather16(const int16_t* p, std::ptrdiff_t stride)
{
    const auto at = [=](std::ptrdiff_t k) { return static_cast<int>(p[k * stride]); };
    __m128i lo = _mm_cvtsi32_si128(at(0));
    __m128i hi = _mm_cvtsi32_si128(at(8));
    lo = _mm_insert_epi16(lo, at(1), 1);
    hi = _mm_insert_epi16(hi, at(9), 1);
    lo = _mm_insert_epi16(lo, at(2), 2);
    hi = _mm_insert_epi16(hi, at(10), 2);
    lo = _mm_insert_epi16(lo, at(3), 3);
    hi = _mm_insert_epi16(hi, at(11), 3);
    lo = _mm_insert_epi16(lo, at(4), 4);
    hi = _mm_insert_epi16(hi, at(12), 4);
    lo = _mm_insert_epi16(lo, at(5), 5);
    hi = _mm_insert_epi16(hi, at(13), 5);
    lo = _mm_insert_epi16(lo, at(6), 6);
    hi = _mm_insert_epi16(hi, at(14), 6);
    lo = _mm_insert_epi16(lo, at(7), 7);
    hi = _mm_insert_epi16(hi, at(15), 7);
    return _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
}

// stride >= 2: the blocks align the destination, so every block is one aligned
// store; the head up to that boundary and the tail go one sample at a time.
void move_strided(int16_t* destination, const int16_t* source, std::size_t count, std::ptrdiff_t stride,
                  Totals& t, float offset)
{
    // Head: the element path up to the destination's first 32-byte boundary.
    const std::size_t head = zrcalc::elements_before_boundary(destination, 32, sizeof(int16_t));
    move_elements(destination, source, stride, 0, head, t, offset);

    // Blocks: the lanes continue from the totals after the head.
    BlockTotals b;
    b.lo = Int16Lanes::splat(t.lo);
    b.hi = Int16Lanes::splat(t.hi);
    const std::size_t blocks = (count - head) / kBlock;
    move_blocks(destination + head, blocks, b, offset, [=](std::size_t k) {
        return gather16(source + static_cast<std::ptrdiff_t>(head + k * kBlock) * stride, stride);
    });
    const std::size_t i = head + blocks * kBlock;
    join_sums(t, b);
    t.lo = zrcalc::reduce_min<int16_t>(b.lo);
    t.hi = zrcalc::reduce_max<int16_t>(b.hi);

    // Tail: the element path.
    move_elements(destination, source, stride, i, count, t, offset);
}

// stride = 1: the blocks align the source. The minimum and maximum need no head
// or tail of their own: the first and the last 16 samples, loaded whole, cover
// them. Source and destination may be the same array (then every store writes
// back the value just read).
void move_contiguous(int16_t* destination, const int16_t* source, std::size_t count, Totals& t, float offset)
{
    // Head: copied and added one at a time up to the source's 32-byte boundary.
    const std::size_t head = zrcalc::elements_before_boundary(source, 32, sizeof(int16_t));
    const __m256i first = load16(source);
    for (std::size_t i = 0; i < head; ++i) {
        destination[i] = source[i];
        add_to_sums(t, source[i], offset);
    }

    // Blocks: the lanes start from the prior extremes and the first 16 samples.
    BlockTotals b;
    b.lo = Int16Lanes::min_keeping(Int16Lanes::splat(t.lo), first);
    b.hi = Int16Lanes::max_keeping(Int16Lanes::splat(t.hi), first);
    const std::size_t blocks = (count - head) / kBlock;
    move_blocks(destination + head, blocks, b, offset,
                [=](std::size_t k) {
                    zrcalc::prefetch_ahead(source + head + k * kBlock);
                    return load16(source + head + k * kBlock);
                });
    std::size_t i = head + blocks * kBlock;
    join_sums(t, b);

    // Last 16 samples: they cover the tail for the minimum and maximum.
    const __m256i last = load16(source + (count - kBlock));
    b.lo = Int16Lanes::min_keeping(b.lo, last);
    b.hi = Int16Lanes::max_keeping(b.hi, last);

    // Tail: copied and added one at a time.
    for (; i < count; ++i) {
        destination[i] = source[i];
        add_to_sums(t, source[i], offset);
    }

    t.lo = zrcalc::reduce_min<int16_t>(b.lo);
    t.hi = zrcalc::reduce_max<int16_t>(b.hi);
}

}  // namespace

void ZRCALC_STDCALL zrcalcMoveAndGetMinMaxAveRMS_int16_t(int16_t* destination, const int16_t* source,
                                                         uint32_t count, int16_t* minValue, int16_t* maxValue,
                                                         double* sum, double* sumOfSquares, float offset,
                                                         int32_t stride)
{
    if (count == 0) return;

    Totals t{*minValue, *maxValue, *sum, *sumOfSquares};
    if (count < kBlock || stride <= 0)
        move_elements(destination, source, stride, 0, count, t, offset);
    else if (stride == 1)
        move_contiguous(destination, source, count, t, offset);
    else
        move_strided(destination, source, count, stride, t, offset);
    *minValue = t.lo;
    *maxValue = t.hi;
    *sum = t.sum;
    *sumOfSquares = t.sumOfSquares;
}
