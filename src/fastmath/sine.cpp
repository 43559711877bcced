// Sine of a float array (contract in zrcalc.h): below four elements the C
// runtime's sine in double, rounded to float; from four on the fast kernel of
// fastmath/sin_cos.h on every element.
//
// The kernel works on each lane alone, so any cover of the array by kernel
// vectors gives every element the same bits; the cover is chosen for speed and
// for running in place:
//  - four to seven elements: the first four and the last four, both loaded before
//    either is stored;
//  - eight and more: the first eight and the last eight are loaded and computed
//    first; between them the blocks of eight from the first 32-byte boundary of
//    the input on (no load crosses a cache line; the unaligned form of the load
//    faults on no address), each loaded before it is stored; then the first and
//    the last eight are stored over the blocks' ends with the same values.
// No element is read after it has been written, so input may be output.
#include <immintrin.h>

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "common/lanes.h"
#include "fastmath/sin_cos.h"
#include "zrcalc.h"

namespace {

using zrcalc::FastSin;

void sine_of_four_to_seven(const float* input, float* output, std::uint32_t count)
{
    const __m128 head = FastSin(_mm_loadu_ps(input));
    const __m128 tail = FastSin(_mm_loadu_ps(input + count - 4));
    _mm_storeu_ps(output, head);
    _mm_storeu_ps(output + count - 4, tail);
}

void sine_of_eight_or_more(const float* input, float* output, std::uint32_t count)
{
    const __m256 head = FastSin(_mm256_loadu_ps(input));
    const __m256 tail = FastSin(_mm256_loadu_ps(input + count - 8));
    std::size_t i = zrcalc::elements_before_boundary(input, 32, sizeof(float));
    for (; count - i >= 8; i += 8) _mm256_storeu_ps(output + i, FastSin(_mm256_loadu_ps(input + i)));
    _mm256_storeu_ps(output, head);
    _mm256_storeu_ps(output + count - 8, tail);
}

}  // namespace

void ZRCALC_STDCALL zrcalcSin_float(const float* input, float* output, uint32_t count)
{
    if (count < 4) {
        for (std::uint32_t i = 0; i < count; ++i)
            output[i] = static_cast<float>(std::sin(static_cast<double>(input[i])));
        return;
    }
    if (count < 8) return sine_of_four_to_seven(input, output, count);
    sine_of_eight_or_more(input, output, count);
}
