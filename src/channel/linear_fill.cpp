// A buffer filled with a linear function of the element index (contract in
// zrcalc.h: one fused multiply-add of the converted index).
//
// Example: factor 0.1, offset -0.30000000000000004 gives -2.7755575615628914e-17
// at index 3, where a separate multiply and add would give 0.
//
// Every element follows that one rule whichever step computes it, so the values
// do not depend on the count. Stores are unaligned, with no peeling: the loops
// are bound by stores either way.
#include <immintrin.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "zrcalc.h"

namespace {

template <class T>
void store_one(T* p, T value)
{
    std::memcpy(p, &value, sizeof value);
}

// Indexes begin .. count-1, one at a time.
void fill_doubles(double* buffer, std::uint32_t begin, std::uint32_t count, double factor, double offset)
{
    for (std::uint32_t i = begin; i < count; ++i)
        store_one(buffer + i, std::fma(static_cast<double>(i), factor, offset));
}

void fill_floats(float* buffer, std::uint32_t begin, std::uint32_t count, float factor, float offset)
{
    for (std::uint32_t i = begin; i < count; ++i)
        store_one(buffer + i, std::fma(static_cast<float>(i), factor, offset));
}

// The unsigned index lanes as floats, each rounded once: i >> 8 and i & 255
// convert exactly, 256 * (i >> 8) is exact, and the fused sum rounds the exact
// index once. (A plain signed conversion would misread indexes of 2^31 and up.)
__m256 index_to_float(__m256i i)
{
    const __m256 high = _mm256_cvtepi32_ps(_mm256_srli_epi32(i, 8));
    const __m256 low = _mm256_cvtepi32_ps(_mm256_and_si256(i, _mm256_set1_epi32(255)));
    return _mm256_fmadd_ps(high, _mm256_set1_ps(256.0f), low);
}

}  // namespace

// 16 indexes per pass, four vectors of four. The indexes are kept as doubles and
// stepped by 16: every index below 2^32 and every step is exact in double, so a
// lane holds exactly the converted index of its element.
void ZRCALC_STDCALL zrcalcChannelFillBufferWithLinearFunction_double(double* buffer, uint32_t count, double factor,
                                                                     double offset)
{
    const __m256d factors = _mm256_set1_pd(factor);
    const __m256d offsets = _mm256_set1_pd(offset);
    const __m256d step = _mm256_set1_pd(16.0);
    __m256d x0 = _mm256_setr_pd(0.0, 1.0, 2.0, 3.0);
    __m256d x1 = _mm256_add_pd(x0, _mm256_set1_pd(4.0));
    __m256d x2 = _mm256_add_pd(x0, _mm256_set1_pd(8.0));
    __m256d x3 = _mm256_add_pd(x0, _mm256_set1_pd(12.0));
    std::uint32_t i = 0;
    for (; count - i >= 16; i += 16) {
        _mm256_storeu_pd(buffer + i, _mm256_fmadd_pd(x0, factors, offsets));
        _mm256_storeu_pd(buffer + i + 4, _mm256_fmadd_pd(x1, factors, offsets));
        _mm256_storeu_pd(buffer + i + 8, _mm256_fmadd_pd(x2, factors, offsets));
        _mm256_storeu_pd(buffer + i + 12, _mm256_fmadd_pd(x3, factors, offsets));
        x0 = _mm256_add_pd(x0, step);
        x1 = _mm256_add_pd(x1, step);
        x2 = _mm256_add_pd(x2, step);
        x3 = _mm256_add_pd(x3, step);
    }
    fill_doubles(buffer, i, count, factor, offset);
}

// 32 indexes per pass, four vectors of eight, the unsigned index lanes stepped
// by 32 and converted as index_to_float says.
void ZRCALC_STDCALL zrcalcChannelFillBufferWithLinearFunction_float(float* buffer, uint32_t count, float factor,
                                                                    float offset)
{
    const __m256 factors = _mm256_set1_ps(factor);
    const __m256 offsets = _mm256_set1_ps(offset);
    const __m256i step = _mm256_set1_epi32(32);
    __m256i i0 = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    __m256i i1 = _mm256_add_epi32(i0, _mm256_set1_epi32(8));
    __m256i i2 = _mm256_add_epi32(i0, _mm256_set1_epi32(16));
    __m256i i3 = _mm256_add_epi32(i0, _mm256_set1_epi32(24));
    std::uint32_t i = 0;
    for (; count - i >= 32; i += 32) {
        _mm256_storeu_ps(buffer + i, _mm256_fmadd_ps(index_to_float(i0), factors, offsets));
        _mm256_storeu_ps(buffer + i + 8, _mm256_fmadd_ps(index_to_float(i1), factors, offsets));
        _mm256_storeu_ps(buffer + i + 16, _mm256_fmadd_ps(index_to_float(i2), factors, offsets));
        _mm256_storeu_ps(buffer + i + 24, _mm256_fmadd_ps(index_to_float(i3), factors, offsets));
        i0 = _mm256_add_epi32(i0, step);
        i1 = _mm256_add_epi32(i1, step);
        i2 = _mm256_add_epi32(i2, step);
        i3 = _mm256_add_epi32(i3, step);
    }
    fill_floats(buffer, i, count, factor, offset);
}
