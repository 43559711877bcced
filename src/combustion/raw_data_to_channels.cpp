// Copies a window of raw samples into a channel with the zero level removed and
// finds the window's peak in the same pass (contract, tie rules included, in
// zrcalc.h).
//
// Below eight samples an element loop scans the window in increasing order. From
// eight on, eight float lanes run over the whole blocks of eight: lane l keeps the
// largest value of window positions l, l + 8, ... and that value's position, held
// as a float. The lanes merge into the outputs in lane order, then the last
// n mod 8 samples are scanned one by one. The loads and stores are unaligned from
// the window's first sample on; there is no aligned head.
//
// The positions are floats because callers compare the reported index bit for
// bit with results that were formed this way: the window start rounded to float,
// a block base that grows by 8 in single precision, the lane number added to it.
// Below 2^24 all of that is exact; above, the roundings are the result.
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

// n >= 8: the lanes over the whole blocks, merged in lane order, then the tail.
Peak lanes_then_tail(const float* window, float* destination, std::size_t n, float offset, std::uint32_t startIndex)
{
    const std::size_t blocks = n / kLanes;
    const __m256 subtrahend = _mm256_set1_ps(offset);
    const __m256 lane = _mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256 eight = _mm256_set1_ps(8.0f);

    // The start converted through double, which holds every uint32 exactly, so it
    // is rounded to float once.
    __m256 base = _mm256_set1_ps(static_cast<float>(static_cast<double>(startIndex)));

    // Block 0 starts the lanes whatever its values are; a NaN here holds its lane
    // for good, since nothing compares greater than it.
    __m256 value = _mm256_sub_ps(_mm256_loadu_ps(window), subtrahend);
    _mm256_storeu_ps(destination, value);
    __m256 position = _mm256_add_ps(base, lane);

    for (std::size_t b = 1; b < blocks; ++b) {
        base = _mm256_add_ps(base, eight);
        const __m256 x = _mm256_sub_ps(_mm256_loadu_ps(window + kLanes * b), subtrahend);
        _mm256_storeu_ps(destination + kLanes * b, x);
        // An ordered strictly-greater test: a NaN on either side keeps the lane.
        // max(x, value) is x exactly when that test holds, else value, so the value
        // lanes need no blend.
        const __m256 greater = _mm256_cmp_ps(x, value, _CMP_GT_OQ);
        value = _mm256_max_ps(x, value);
        position = _mm256_blendv_ps(position, _mm256_add_ps(base, lane), greater);
    }
    base = _mm256_add_ps(base, eight);  // the base of block B, where the tail starts

    // The positions are whole numbers, so the conversion's rounding (to nearest,
    // ties to even) never applies; one at or above 2^31 gives 0x80000000.
    alignas(32) float values[kLanes];
    alignas(32) std::int32_t positions[kLanes];
    _mm256_store_ps(values, value);
    _mm256_store_si256(reinterpret_cast<__m256i*>(positions), _mm256_cvtps_epi32(position));

    // Lane 0 first: of equal lane maxima the lowest lane is reported.
    Peak peak{kPeakStart, -1};
    for (std::size_t l = 0; l < kLanes; ++l)
        if (values[l] > peak.value) peak = {values[l], positions[l]};

    // The tail's positions count from the float base truncated to an integer (a
    // whole number, so exact; through int64, which holds every base, to wrap as
    // uint32 arithmetic would).
    const auto tailIndex = static_cast<std::uint32_t>(static_cast<std::int64_t>(_mm256_cvtss_f32(base)));
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
                                 : lanes_then_tail(window, destination, n, offset, startIndex);
    *peakValue = peak.value;
    *peakIndex = peak.index;
}
