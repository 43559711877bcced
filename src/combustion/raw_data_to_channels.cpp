// Copies a window of raw samples into a channel with the zero level removed and
// finds the window's peak in the same pass (contract, tie rules included, in
// zrcalc.h).
//
// Below eight samples an element loop scans the window in increasing order. From
// eight on, eight float lanes run over the whole blocks of eight: lane l keeps the
// largest value of window positions l, l + 8, ... and that value's position. The
// lanes merge into the outputs in lane order, then the last n mod 8 samples are
// scanned one by one. The loads and stores are unaligned from the window's first
// sample on; there is no aligned head.
//
// A lane position is defined in single precision (the window start rounded to
// float, a block base that grows by 8 in float, the lane number added to it):
// callers compare the reported index bit for bit with results formed that way.
// float_positions follows that definition for any window. Where the window ends
// at or below 2^24 every step of it is exact integer arithmetic, and
// exact_positions carries integer positions in two chains, which is faster.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <limits>

#include "zrcalc.h"

namespace {

constexpr std::size_t kLanes = 8;

// The search starts from the smallest positive normal float, so that zero,
// negative and subnormal values are never reported.
constexpr float kPeakStart = std::numeric_limits<float>::min();

struct Peak {
    float value;
    std::int32_t index;
};

// Window positions 0 .. count-1, in increasing order: each corrected value is
// stored and replaces the peak only when strictly greater, so the earliest of
// equal maxima stays and a NaN is never taken. Position k reports firstIndex + k.
Peak scan_in_order(const float* window, float* destination, std::size_t count, float offset,
                   std::uint32_t firstIndex, Peak peak)
{
    for (std::size_t k = 0; k < count; ++k) {
        const float v = window[k] - offset;
        destination[k] = v;
        if (v > peak.value) peak = {v, static_cast<std::int32_t>(firstIndex + static_cast<std::uint32_t>(k))};
    }
    return peak;
}

// Lane l's peak value and its position (an integer) over the whole blocks.
struct LanePeaks {
    __m256 value;
    __m256i position;
};

// Block b of the window, corrected and stored.
__m256 corrected_block(const float* window, float* destination, std::size_t b, __m256 subtrahend)
{
    const __m256 x = _mm256_sub_ps(_mm256_loadu_ps(window + kLanes * b), subtrahend);
    _mm256_storeu_ps(destination + kLanes * b, x);
    return x;
}

// Positions of `take` where `where` is set, else of `keep`; integer or float.
__m256i select(__m256 where, __m256i keep, __m256i take)
{
    return _mm256_castps_si256(_mm256_blendv_ps(_mm256_castsi256_ps(keep), _mm256_castsi256_ps(take), where));
}
__m256 select(__m256 where, __m256 keep, __m256 take) { return _mm256_blendv_ps(keep, take, where); }

// The lane step: x and its positions replace a lane only where x is strictly
// greater (an ordered test: a NaN on either side keeps the lane). max(x, value) is
// x exactly where that test holds, else value, so the values need no blend.
template <class Position>
void take_greater(__m256& value, Position& position, __m256 x, Position at)
{
    position = select(_mm256_cmp_ps(x, value, _CMP_GT_OQ), position, at);
    value = _mm256_max_ps(x, value);
}

// The rule itself, for any window: float positions. base = (float)startIndex (an
// exact uint32 to double, then one rounding), plus 8 per block in float, the lane
// number added in float. tailIndex receives the base after the last block,
// truncated.
LanePeaks float_positions(const float* window, float* destination, std::size_t blocks, __m256 subtrahend,
                          std::uint32_t startIndex, std::uint32_t& tailIndex)
{
    const __m256 lane = _mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256 eight = _mm256_set1_ps(8.0f);
    __m256 base = _mm256_set1_ps(static_cast<float>(static_cast<double>(startIndex)));
    // Block 0 starts the lanes whatever its values are; a NaN here holds its lane
    // for good, since nothing compares greater than it.
    __m256 value = corrected_block(window, destination, 0, subtrahend);
    __m256 position = _mm256_add_ps(base, lane);
    for (std::size_t b = 1; b < blocks; ++b) {
        base = _mm256_add_ps(base, eight);
        take_greater(value, position, corrected_block(window, destination, b, subtrahend), _mm256_add_ps(base, lane));
    }
    base = _mm256_add_ps(base, eight);
    // A whole number, so truncation is exact; through int64, which holds every base,
    // to wrap as uint32 arithmetic would.
    tailIndex = static_cast<std::uint32_t>(static_cast<std::int64_t>(_mm256_cvtss_f32(base)));
    // The positions are whole numbers too, so the conversion's rounding (to
    // nearest, ties to even) never applies; one at or above 2^31 gives 0x80000000.
    return {value, _mm256_cvtps_epi32(position)};
}

// The same result when the window ends at or below 2^24, which callers keep to:
// there every base and position is an integer that a float holds exactly, so the
// float sums above are the integer sums and the positions can be integers.
//
// Speed: a lane's running maximum is one chain of dependent steps, a step's
// latency per block. Two chains halve that: `even` takes blocks 0, 2, 4, ...
// (starting as block 0, as above), `odd` takes blocks 1, 3, 5, ... from -inf. Each
// holds the first of the largest non-NaN values of its blocks (or, in `even`, the
// NaN of block 0). One chain over all blocks holds the first of the largest of
// both, so `odd` wins a lane where it is strictly greater, or equal and earlier;
// a NaN in `even` compares neither greater nor equal and stays, and `odd`'s
// starting -inf (never taken from a sample) loses every tie by its position.
LanePeaks exact_positions(const float* window, float* destination, std::size_t blocks, __m256 subtrahend,
                          std::uint32_t startIndex)
{
    const __m256i eight = _mm256_set1_epi32(8);
    __m256i at = _mm256_add_epi32(_mm256_set1_epi32(static_cast<std::int32_t>(startIndex)),
                                  _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    LanePeaks even{corrected_block(window, destination, 0, subtrahend), at};
    LanePeaks odd{_mm256_set1_ps(-std::numeric_limits<float>::infinity()),
                  _mm256_set1_epi32(std::numeric_limits<std::int32_t>::max())};
    std::size_t b = 1;
    for (; b + 1 < blocks; b += 2) {
        at = _mm256_add_epi32(at, eight);
        take_greater(odd.value, odd.position, corrected_block(window, destination, b, subtrahend), at);
        at = _mm256_add_epi32(at, eight);
        take_greater(even.value, even.position, corrected_block(window, destination, b + 1, subtrahend), at);
    }
    if (b < blocks) {
        at = _mm256_add_epi32(at, eight);
        take_greater(odd.value, odd.position, corrected_block(window, destination, b, subtrahend), at);
    }
    const __m256 earlier = _mm256_castsi256_ps(_mm256_cmpgt_epi32(even.position, odd.position));
    const __m256 oddWins = _mm256_or_ps(_mm256_cmp_ps(odd.value, even.value, _CMP_GT_OQ),
                                        _mm256_and_ps(_mm256_cmp_ps(odd.value, even.value, _CMP_EQ_OQ), earlier));
    return {select(oddWins, even.value, odd.value), select(oddWins, even.position, odd.position)};
}

// n >= 8: the lanes over the whole blocks, merged in lane order, then the tail.
Peak lanes_then_tail(const float* window, float* destination, std::size_t n, float offset, std::uint32_t startIndex,
                     std::uint32_t endIndex)
{
    const std::size_t blocks = n / kLanes;
    const __m256 subtrahend = _mm256_set1_ps(offset);
    std::uint32_t tailIndex = startIndex + static_cast<std::uint32_t>(kLanes * blocks);  // float_positions: its own
    const LanePeaks lanes = endIndex <= (1u << 24)
                                ? exact_positions(window, destination, blocks, subtrahend, startIndex)
                                : float_positions(window, destination, blocks, subtrahend, startIndex, tailIndex);

    alignas(32) float values[kLanes];
    alignas(32) std::int32_t positions[kLanes];
    _mm256_store_ps(values, lanes.value);
    _mm256_store_si256(reinterpret_cast<__m256i*>(positions), lanes.position);

    // Lane 0 first: of equal lane maxima the lowest lane is reported.
    Peak peak{kPeakStart, -1};
    for (std::size_t l = 0; l < kLanes; ++l)
        if (values[l] > peak.value) peak = {values[l], positions[l]};

    const std::size_t done = kLanes * blocks;
    return scan_in_order(window + done, destination + done, n - done, offset, tailIndex, peak);
}

}  // namespace

void ZRCALC_STDCALL zrCalcCACopyRawDataToChannels(const float* source, float* destination, uint32_t startIndex,
                                                  uint32_t endIndex, float offset, float* peakValue,
                                                  int32_t* peakIndex)
{
    const std::size_t n = startIndex < endIndex ? endIndex - startIndex : 0;  // a reversed window is empty
    const float* window = source + startIndex;
    const Peak none{kPeakStart, -1};
    const Peak peak = n < kLanes ? scan_in_order(window, destination, n, offset, startIndex, none)
                                 : lanes_then_tail(window, destination, n, offset, startIndex, endIndex);
    *peakValue = peak.value;
    *peakIndex = peak.index;
}
