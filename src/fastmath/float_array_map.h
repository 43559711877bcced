// The array driver shared by the fast float functions of one argument (sine,
// arctangent): below four elements the C runtime's function in double, rounded to
// float; from four on an eight-lane kernel on every element.
//
// The kernels work on each lane alone, so any cover of the array by kernel
// vectors gives every element the same bits; the cover is chosen for speed and
// for running in place:
//  - four to seven elements: the first four and the last four as one vector of
//    eight, loaded before either half is stored;
//  - eight and more: the first eight and the last eight are loaded and computed
//    first; between them the blocks of eight from the first 32-byte boundary of
//    the input on (no load crosses a cache line), each loaded before it is stored;
//    then the first and the last eight are stored over the blocks' ends with the
//    same values.
// No element is read after it has been written, so input may be output.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "common/lanes.h"

namespace zrcalc {

template <class Kernel, class ShortRule>
inline void map_float_array(const float* input, float* output, std::uint32_t count, Kernel kernel, ShortRule rule)
{
    if (count < 4) {
        for (std::uint32_t i = 0; i < count; ++i)
            output[i] = static_cast<float>(rule(static_cast<double>(input[i])));
        return;
    }
    if (count < 8) {
        const __m256 y = kernel(_mm256_set_m128(_mm_loadu_ps(input + count - 4), _mm_loadu_ps(input)));
        _mm_storeu_ps(output, _mm256_castps256_ps128(y));
        _mm_storeu_ps(output + count - 4, _mm256_extractf128_ps(y, 1));
        return;
    }
    const __m256 head = kernel(_mm256_loadu_ps(input));
    const __m256 tail = kernel(_mm256_loadu_ps(input + count - 8));
    std::size_t i = elements_before_boundary(input, 32, sizeof(float));
    for (; count - i >= 8; i += 8) _mm256_storeu_ps(output + i, kernel(_mm256_loadu_ps(input + i)));
    _mm256_storeu_ps(output, head);
    _mm256_storeu_ps(output + count - 8, tail);
}

}  // namespace zrcalc
