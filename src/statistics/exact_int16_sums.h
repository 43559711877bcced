// The four double lanes of the int16 statistics, computed with integer lanes
// wherever no step of the double lanes can round. The statistics of whole and of
// copied int16 blocks share it.
//
// The double lanes: lane j (0..3) takes the samples 4k + j counted from the first
// block, in index order, S_j = S_j + x and Q_j = fma(y, y, Q_j) with y = x + offset
// in double, both starting at +0.0. Why integers give the very same doubles:
//  - |x| <= 2^15 and a lane takes fewer than 2^30 samples, so every partial S_j is
//    an integer below 2^45 in magnitude: no addition rounds, and S_j is the
//    integer sum of its samples (+0.0 when that is 0, as x + -x gives +0.0).
//  - When c * offset is an integer d for a c of 1, 2, 4 or 8 (|d| <= 2^18), every
//    y = (c * x + d) / c is a double and y * y a multiple of 1/c^2. Let R be the
//    integer sum of (c * x + d)^2 over a lane's samples so far. While R < 2^53,
//    R / c^2 is a multiple of 1/c^2 below 2^53 / c^2, hence a double, so the fused
//    step forms it without rounding and Q_j = R / c^2 exactly. The terms are never
//    negative, so R never falls: a lane whose final R is below 2^53 has had every
//    partial sum below it. The bound is checked lane by lane: four lanes each
//    below it may well add up to more.
// So the integer sums stand in for the double lanes chunk by chunk, as long as
// every lane's R stays below 2^53 after the chunk. The first chunk that would
// carry a lane to 2^53 is left to the double lanes, which go on from the exact
// values reached before it; from there on the double lanes do the rest (R only
// grows). Joining the lanes to the caller's totals is left to the double code:
// (Q0 + Q2) + (Q1 + Q3) may round, and does so on the same doubles.
//
// In a vector of 16 samples, sample k belongs to lane k mod 4 (the vector starts
// on a block). The pairs (k, k + 4) of each 128-bit half are put side by side, so
// that vpmaddwd adds two samples of one lane: int32 element p then belongs to
// lane p mod 4. The sum of two squares reaches 2^31 when both samples are -32768,
// one past the largest int32: the element is read as unsigned, which it always
// fits, and widened to 64 bits with zeros before it is added.
#pragma once

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace zrcalc {

// offset = shift / scale with scale 1, 2, 4 or 8; scale 0 when the offset has no
// such form (then the squares are not exact and only the double lanes serve).
struct ExactOffset {
    std::int32_t scale, shift;
};

inline ExactOffset exact_offset(float offset)
{
    for (std::int32_t c = 1; c <= 8; c *= 2) {
        const double d = static_cast<double>(offset) * c;  // a power of two: exact
        if (std::fabs(d) <= 0x1p18 && d == std::floor(d)) return {c, static_cast<std::int32_t>(d)};
    }
    return {0, 0};
}

// Sums of the lanes of one chunk: the int32 element p of `samples` and the 64-bit
// element q of `evenSquares` (`oddSquares`) belong to lanes p mod 4, 2q mod 4 and
// (2q + 1) mod 4. Lanes stay apart in every element; the chunk bounds their sizes.
struct ExactChunk {
    __m256i samples = _mm256_setzero_si256();
    __m256i evenSquares = _mm256_setzero_si256();
    __m256i oddSquares = _mm256_setzero_si256();

    void add(__m256i v)
    {
        const __m256i pairs = _mm256_shuffle_epi8(
            v, _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15,  //
                                0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15));
        const __m256i squares = _mm256_madd_epi16(pairs, pairs);  // unsigned: up to 2^31
        samples = _mm256_add_epi32(samples, _mm256_madd_epi16(pairs, _mm256_set1_epi16(1)));
        evenSquares = _mm256_add_epi64(evenSquares, _mm256_and_si256(squares, _mm256_set1_epi64x(0xFFFFFFFF)));
        oddSquares = _mm256_add_epi64(oddSquares, _mm256_srli_epi64(squares, 32));
    }
};

// Asks for the cache line 2 KiB past p. The integer lanes spend about a dozen
// instructions on a vector, so the out-of-order window alone keeps too few cache
// lines in flight to stream a block from memory at the speed it can sum it: on
// the benchmark machine the prefetch makes 16 Mi samples about three times faster.
// A prefetch never faults, past the end of an array neither.
inline void prefetch_ahead(const void* p)
{
    _mm_prefetch(static_cast<const char*>(p) + 2048, _MM_HINT_T0);
}

// Vectors per chunk: a lane's sample sum then stays below 2^31 in each int32
// element (two samples per vector, |x| <= 2^15) and every term of a lane's R
// below 2^52 (4096 * 4 samples).
constexpr std::size_t kExactChunk = 4096;

// Adds vectors 0 .. count-1 of 16 samples each, returned by next(k) (which may
// do more with them: compare, copy), to lanes that start at +0.0 and returns
// how many vectors it added. sums and squares receive the double lanes after
// them; the caller goes on from vector `added` with the double lanes. next(k)
// may be called again for a vector that is not added.
template <class Next>
std::size_t add_vectors_exactly(float offset, std::size_t count, Next next, __m256d& sums, __m256d& squares)
{
    const ExactOffset o = exact_offset(offset);
    if (o.scale == 0) return 0;
    const std::int64_t c = o.scale, d = o.shift;
    std::int64_t laneSums[4] = {0, 0, 0, 0};
    std::int64_t laneSquares[4] = {0, 0, 0, 0};  // R of each lane
    std::size_t added = 0;
    while (added < count) {
        const std::size_t n = std::min(kExactChunk, count - added);
        ExactChunk chunk;
        for (std::size_t k = 0; k < n; ++k) chunk.add(next(added + k));

        alignas(32) std::int32_t x[8];
        alignas(32) std::int64_t even[4], odd[4];
        _mm256_store_si256(reinterpret_cast<__m256i*>(x), chunk.samples);
        _mm256_store_si256(reinterpret_cast<__m256i*>(even), chunk.evenSquares);
        _mm256_store_si256(reinterpret_cast<__m256i*>(odd), chunk.oddSquares);
        const std::int64_t xx[4] = {even[0] + even[2], odd[0] + odd[2], even[1] + even[3], odd[1] + odd[3]};
        std::int64_t nextSums[4], nextSquares[4];
        bool below = true;
        for (int j = 0; j < 4; ++j) {
            // (c x + d)^2 summed: c^2 sum x^2 + 2 c d sum x + n d^2, each term below 2^52.
            const std::int64_t sx = std::int64_t(x[j]) + x[j + 4];
            nextSums[j] = laneSums[j] + sx;
            nextSquares[j] = laneSquares[j] + c * c * xx[j] + 2 * c * d * sx + std::int64_t(4 * n) * d * d;
            below = below && nextSquares[j] < (std::int64_t(1) << 53);
        }
        if (!below) break;
        std::copy(nextSums, nextSums + 4, laneSums);
        std::copy(nextSquares, nextSquares + 4, laneSquares);
        added += n;
    }
    // Every value is an integer below 2^53: converted exactly, then scaled by a power of two.
    const auto lanes = [](const std::int64_t (&v)[4]) {
        return _mm256_setr_pd(double(v[0]), double(v[1]), double(v[2]), double(v[3]));
    };
    sums = lanes(laneSums);
    squares = _mm256_mul_pd(lanes(laneSquares), _mm256_set1_pd(1.0 / double(c * c)));
    return added;
}

}  // namespace zrcalc
